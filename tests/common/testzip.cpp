#include "testzip.h"

#include <QBuffer>
#include <QtEndian>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

namespace TestZip {

namespace {

bool fill(QuaZip &zip, const QList<Entry> &entries, int level)
{
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const Entry &e : entries) {
        QuaZipNewInfo info(e.name);
        info.externalAttr = e.externalAttr;
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, info, nullptr, 0, 8 /* deflate */, level))
            return false;
        file.write(e.data);
        file.close();
    }
    zip.close();
    return zip.getZipError() == 0;
}

} // namespace

QByteArray makeZip(const QList<Entry> &entries, int level)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    return fill(zip, entries, level) ? bytes : QByteArray();
}

bool writeZip(const QString &path, const QList<Entry> &entries)
{
    QuaZip zip(path);
    return fill(zip, entries, -1);
}

QByteArray declareSizes(QByteArray zip, quint32 size)
{
    // Local header: signature PK\3\4, uncompressed size at 22. Directory entry:
    // signature PK\1\2, uncompressed size at 24.
    const struct { const char *signature; int offset; } headers[] = {{"PK\x03\x04", 22}, {"PK\x01\x02", 24}};
    for (const auto &h : headers) {
        for (int at = zip.indexOf(h.signature); at >= 0 && at + h.offset + 4 <= zip.size();
             at = zip.indexOf(h.signature, at + 4))
            qToLittleEndian<quint32>(size, zip.data() + at + h.offset);
    }
    return zip;
}

bool writeZeros(const QString &path, int count, qint64 size)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    const QByteArray piece(1 << 20, '\0');
    for (int i = 0; i < count; ++i) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(QStringLiteral("zeros%1.bin").arg(i)), nullptr, 0,
                       8 /* deflate */, 1))
            return false;
        for (qint64 done = 0; done < size; done += piece.size())
            file.write(piece.constData(), qMin<qint64>(piece.size(), size - done));
        file.close();
    }
    zip.close();
    return zip.getZipError() == 0;
}

} // namespace TestZip
