#include "safeunzip.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>
#include <unzip.h>

#include "logging.h"

namespace SafeUnzip {

bool isSafeEntryName(const QString &name)
{
    if (name.isEmpty())
        return false;
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/')))
        return false;
    // On the host systems a colon is either a drive ("C:") or an alternate data
    // stream ("a.txt:x"); neither names a plain file inside the directory.
    if (path.contains(QLatin1Char(':')))
        return false;
    for (QChar c : path)
        if (c.unicode() < 0x20)
            return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part == QLatin1String("."))
            continue;
        // Windows drops trailing dots and spaces from a component, so "..", "..."
        // and ".. " all climb out; a component of dots and spaces only is refused.
        bool onlyDotsAndSpaces = !part.isEmpty();
        for (QChar c : part)
            if (c != QLatin1Char('.') && c != QLatin1Char(' '))
                onlyDotsAndSpaces = false;
        if (onlyDotsAndSpaces)
            return false;
    }
    return true;
}

bool isSymlinkEntry(quint32 externalAttributes)
{
    const quint32 mode = externalAttributes >> 16;
    return (mode & 0170000u) == 0120000u;
}

namespace {

// Unpacking reads and writes an entry in pieces of this size; the stop request is
// looked at between them.
constexpr qint64 kPieceBytes = 64 * 1024;

bool stopped(const Options &options)
{
    return options.stopRequested && options.stopRequested();
}

// A link already lying in dir (left by some other program) would carry an entry
// outside: refuse entries whose existing path components below dir are links.
bool passesExistingLink(const QString &dir, const QString &name)
{
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = dir;
    for (const QString &part : parts) {
        current += QLatin1Char('/') + part;
        const QFileInfo info(current);
#ifdef Q_OS_WIN
        // Qt reports shell shortcuts as links too; the file system does not follow them.
        if (info.suffix().compare(QLatin1String("lnk"), Qt::CaseInsensitive) == 0)
            continue;
#endif
        if (info.isSymLink())
            return true;
    }
    return false;
}

// Removes everything inside dir without following links; false when something stays.
bool removeContents(const QString &dir, const std::function<bool()> &stopRequested)
{
    bool ok = true;
    const QFileInfoList entries = QDir(dir).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (stopRequested && stopRequested())
            return false;
        const QString path = entry.absoluteFilePath();
        bool removed;
        if (entry.isDir() && !entry.isSymLink())
            removed = removeContents(path, stopRequested) && QDir().rmdir(path);
        else
            removed = QFile::remove(path);
        if (!removed) {
            qCDebug(lcProject) << "SafeUnzip::clearDirectory cannot remove" << path;
            ok = false;
        }
    }
    return ok;
}

// The archive's directory: every entry safe, the declared sizes and the entry count
// within the limits. Nothing is written.
Status checkDirectory(QuaZip &zip, const QString &dir, const Options &options, Result *result)
{
    const int declaredCount = zip.getEntriesCount();
    if (declaredCount < 0 || declaredCount > options.maxEntries) {
        qCDebug(lcProject) << "SafeUnzip::checkDirectory entries" << declaredCount;
        return Status::TooLarge;
    }
    quint64 declaredBytes = 0;
    int count = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        if (stopped(options))
            return Status::Stopped;
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info)) {
            qCDebug(lcProject) << "SafeUnzip::checkDirectory unreadable entry" << zip.getZipError();
            return Status::Unreadable;
        }
        if (!isSafeEntryName(info.name) || isSymlinkEntry(info.externalAttr)
            || passesExistingLink(dir, info.name)) {
            qCDebug(lcProject) << "SafeUnzip::checkDirectory refused" << info.name << Qt::hex
                               << info.externalAttr;
            result->refusedEntry = info.name;
            return Status::Refused;
        }
        declaredBytes += qMin<quint64>(info.uncompressedSize, quint64(options.maxBytes) + 1);
        if (++count > options.maxEntries || declaredBytes > quint64(options.maxBytes)) {
            qCDebug(lcProject) << "SafeUnzip::checkDirectory over the limits" << count
                               << declaredBytes;
            return Status::TooLarge;
        }
    }
    if (zip.getZipError() != UNZ_OK) {
        qCDebug(lcProject) << "SafeUnzip::checkDirectory directory unreadable" << zip.getZipError();
        return Status::Unreadable;
    }
    // An archive without entries unpacks to nothing and is read like one that cannot
    // be unpacked.
    return count == 0 ? Status::Unreadable : Status::Extracted;
}

// Writes the current entry to path in pieces. The bytes written may not exceed the
// entry's declared size nor, with *total, the limit of the whole archive, and must
// come to the declared size with a matching checksum.
Status writeEntry(QuaZip &zip, const QuaZipFileInfo64 &info, const QString &path, const Options &options,
                  qint64 *total)
{
    QuaZipFile in(&zip);
    if (!in.open(QIODevice::ReadOnly)) {
        qCDebug(lcProject) << "SafeUnzip::writeEntry cannot read" << info.name << in.getZipError();
        return Status::Unreadable;
    }
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCDebug(lcProject) << "SafeUnzip::writeEntry cannot write" << path << out.errorString();
        return Status::Unreadable;
    }
    QByteArray piece(int(kPieceBytes), Qt::Uninitialized);
    quint64 written = 0;
    for (;;) {
        if (stopped(options))
            return Status::Stopped;
        const qint64 n = in.read(piece.data(), kPieceBytes);
        if (n < 0) {
            qCDebug(lcProject) << "SafeUnzip::writeEntry read error" << info.name
                               << in.getZipError();
            return Status::Unreadable;
        }
        if (n == 0)
            break;
        written += quint64(n);
        *total += n;
        if (written > info.uncompressedSize || *total > options.maxBytes) {
            qCDebug(lcProject) << "SafeUnzip::writeEntry over the declared size or the limit"
                               << info.name << written << info.uncompressedSize << *total;
            return Status::TooLarge;
        }
        if (out.write(piece.constData(), n) != n) {
            qCDebug(lcProject) << "SafeUnzip::writeEntry write error" << path << out.errorString();
            return Status::Unreadable;
        }
    }
    in.close();
    if (in.getZipError() != UNZ_OK || written != info.uncompressedSize) {
        qCDebug(lcProject) << "SafeUnzip::writeEntry damaged entry" << info.name << in.getZipError()
                           << written << info.uncompressedSize;
        return Status::Unreadable;
    }
    if (!out.flush()) {
        qCDebug(lcProject) << "SafeUnzip::writeEntry write error" << path << out.errorString();
        return Status::Unreadable;
    }
    return Status::Extracted;
}

Status writeEntries(QuaZip &zip, const QString &dir, const Options &options, Result *result)
{
    qint64 total = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info))
            return Status::Unreadable;
        const QString path = QDir::cleanPath(dir + QLatin1Char('/') + info.name);
        if (!path.startsWith(dir + QLatin1Char('/'))) {
            qCDebug(lcProject) << "SafeUnzip::writeEntries outside" << info.name;
            return Status::Unreadable;
        }
        if (info.name.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(path))
                return Status::Unreadable;
            continue;
        }
        if (!QDir().mkpath(QFileInfo(path).path()))
            return Status::Unreadable;
        const Status s = writeEntry(zip, info, path, options, &total);
        if (s != Status::Extracted)
            return s;
        result->files.append(path);
    }
    return zip.getZipError() == UNZ_OK ? Status::Extracted : Status::Unreadable;
}

Result extract(QuaZip &zip, const QString &dir, const Options &options)
{
    Result result;
    const QString cleanDir = QDir::cleanPath(QDir(dir).absolutePath());
    if (!clearDirectory(cleanDir, options.stopRequested)) {
        result.status = stopped(options) ? Status::Stopped : Status::Unreadable;
        return result;
    }
    if (!zip.open(QuaZip::mdUnzip)) {
        qCDebug(lcProject) << "SafeUnzip::extract cannot open archive" << zip.getZipError();
        return result;
    }
    result.status = checkDirectory(zip, cleanDir, options, &result);
    if (result.status == Status::Extracted)
        result.status = writeEntries(zip, cleanDir, options, &result);
    zip.close();
    if (result.status != Status::Extracted) {
        result.files.clear();
        // What a failed unpack wrote is never used; a stop ends at once instead.
        if (result.status != Status::Stopped)
            clearDirectory(cleanDir);
    }
    return result;
}

} // namespace

bool clearDirectory(const QString &dir, const std::function<bool()> &stopRequested)
{
    const QFileInfo info(dir);
    if (info.isSymLink() || (info.exists() && !info.isDir())) {
        if (!QFile::remove(dir)) {
            qCDebug(lcProject) << "SafeUnzip::clearDirectory cannot remove" << dir;
            return false;
        }
    }
    if (!QDir().mkpath(dir)) {
        qCDebug(lcProject) << "SafeUnzip::clearDirectory cannot create" << dir;
        return false;
    }
    return removeContents(dir, stopRequested);
}

Result extractBytes(const QByteArray &archive, const QString &dir, const Options &options)
{
    QByteArray data = archive;   // QBuffer wants a non-const array; shares the bytes
    QBuffer buffer(&data);
    QuaZip zip(&buffer);
    return extract(zip, dir, options);
}

Result extractFile(const QString &archivePath, const QString &dir, const Options &options)
{
    QuaZip zip(archivePath);   // reads the file in pieces as it goes
    return extract(zip, dir, options);
}

} // namespace SafeUnzip
