#include "testzip.h"

#include <QBuffer>

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

} // namespace TestZip
