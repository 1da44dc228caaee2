// The confined unpacking of a whole archive into a scratch directory. Whatever the
// archive holds, nothing may appear outside the unpack directory, no link may appear
// inside it, a refused or failed unpack leaves nothing, and every listed file lies inside.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include "fuzzsupport.h"
#include "safeunzip.h"

namespace {

// Everything below root (links not followed), relative to root.
QStringList treeOf(const QString &root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(root).relativeFilePath(it.next());
    return names;
}

bool inside(const QString &path, const QString &dir)
{
    return QDir::cleanPath(path).startsWith(dir + QLatin1Char('/'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A scratch tree per process: <tmp>/work/target is the unpack directory and
    // <tmp>/out a directory beside it that must stay empty.
    static QTemporaryDir scratch;
    FUZZ_CHECK(scratch.isValid());
    const QString root = QDir::cleanPath(scratch.path());
    const QString work = root + QStringLiteral("/work");
    const QString dir = work + QStringLiteral("/target");
    const QString out = root + QStringLiteral("/out");
    QDir(work).removeRecursively();
    QDir().mkpath(out);

    // A small limit: an input may declare or inflate to far more than it holds.
    SafeUnzip::Options options;
    options.maxBytes = 16 << 20;
    const SafeUnzip::Result r = SafeUnzip::extractBytes(FuzzSupport::rawBytes(data, size), dir, options);

    for (const QString &name : treeOf(root)) {
        FUZZ_CHECK(name == QLatin1String("out") || name == QLatin1String("work")
                   || name == QLatin1String("work/target")
                   || name.startsWith(QLatin1String("work/target/")));
        FUZZ_CHECK(!QFileInfo(root + QLatin1Char('/') + name).isSymLink());
    }
    switch (r.status) {
    case SafeUnzip::Status::Refused:
        FUZZ_CHECK(r.files.isEmpty() && !r.refusedEntry.isNull());
        FUZZ_CHECK(!QFileInfo::exists(dir) || treeOf(dir).isEmpty());
        break;
    case SafeUnzip::Status::Extracted:
        for (const QString &file : r.files)
            FUZZ_CHECK(inside(file, dir));
        break;
    case SafeUnzip::Status::TooLarge:
    case SafeUnzip::Status::Unreadable:
        // A failed unpack leaves nothing behind.
        FUZZ_CHECK(r.files.isEmpty() && treeOf(dir).isEmpty());
        break;
    case SafeUnzip::Status::Stopped:
        FUZZ_CHECK(false);   // nothing asks for a stop here
        break;
    }
    return 0;
}
