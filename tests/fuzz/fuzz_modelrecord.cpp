// The model record at the start of a project's modelData.bin, and the file plan built
// from it: every file the plan names must lie directly inside the unpack directory.
// Bytes after the record choose the font library switch and the panel's replies.
#include <QDir>
#include <QFileInfo>

#include "fuzzsupport.h"
#include "modelrecord.h"
#include "projectfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzSupport::rawBytes(data, size);
    ModelRecord record;
    const bool parsed = ModelRecord::parse(bytes, &record);
    FUZZ_CHECK(parsed == (size >= size_t(ModelRecord::kSize)));
    if (!parsed)
        return 0;

    // Names stay in their fields and end at the first zero byte.
    FUZZ_CHECK(record.fontName.size() <= 64);
    FUZZ_CHECK(record.com1Name.size() <= 50);
    FUZZ_CHECK(record.com2Name.size() <= 51);
    FUZZ_CHECK(!record.fontName.contains(QChar(0)) && !record.com1Name.contains(QChar(0))
               && !record.com2Name.contains(QChar(0)));

    const uint8_t *extra = data + ModelRecord::kSize;
    const size_t extraSize = size - ModelRecord::kSize;
    const bool bHzFile = extraSize > 0 && (extra[0] & 1);

    const QString unpackDir = QStringLiteral("/srv/app/compile");
    const QVector<ProjectFiles::File> files = ProjectFiles::plan(record, bHzFile, unpackDir);
    int lastStep = 0;
    for (const ProjectFiles::File &f : files) {
        FUZZ_CHECK(f.step > lastStep); // the fixed order, each step at most once
        lastStep = f.step;
        if (f.path.isEmpty())
            continue; // a name the record gives that cannot be used
        const QString clean = QDir::cleanPath(f.path);
        FUZZ_CHECK(QFileInfo(clean).path() == unpackDir);
        FUZZ_CHECK(clean != unpackDir);
    }

    if (extraSize >= 2) {
        const uchar reply = extra[1];
        // The reply byte is taken as signed: 0x2E stands for 0x002E, 0xAE for 0xFFAE.
        const quint16 widened = quint16(reply | (reply & 0x80 ? 0xff00 : 0));
        FUZZ_CHECK(record.modelMatches(reply) == (record.model == widened));
    }
    if (extraSize >= 6) {
        const quint32 v = quint32(extra[2]) << 24 | quint32(extra[3]) << 16
                          | quint32(extra[4]) << 8 | extra[5];
        FUZZ_CHECK(record.versionMatches(v) == (v == record.version));
    }
    return 0;
}
