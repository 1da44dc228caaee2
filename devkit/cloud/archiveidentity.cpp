#include "archiveidentity.h"

#include <QBuffer>
#include <QCryptographicHash>

#include <quazip.h>
#include <quazipfile.h>

bool ArchiveIdentity::compute(const QByteArray &archive, QString *identity, QString *error)
{
    QByteArray bytes = archive;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdUnzip)) {
        *error = QStringLiteral("not a zip archive (error %1)").arg(zip.getZipError());
        return false;
    }
    const int entries = zip.getEntriesCount();
    QCryptographicHash md5(QCryptographicHash::Md5);
    int seen = 0;
    for (bool more = entries > 0 && zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        ++seen;
        const QString name = zip.getCurrentFileName();
        if (name.endsWith(QLatin1Char('/')))
            continue;
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("entry %1 cannot be opened (error %2)").arg(name).arg(file.getZipError());
            return false;
        }
        char chunk[65536];
        for (;;) {
            const qint64 n = file.read(chunk, sizeof chunk);
            if (n < 0) {
                *error = QStringLiteral("entry %1 cannot be read").arg(name);
                return false;
            }
            if (n == 0)
                break;
            md5.addData(chunk, int(n));
        }
        file.close();
        if (file.getZipError() != 0) {
            *error = QStringLiteral("entry %1 is damaged (error %2)").arg(name).arg(file.getZipError());
            return false;
        }
    }
    if (seen != entries || zip.getZipError() != 0) {
        *error = QStringLiteral("the entry list is damaged (%1 of %2 entries read)").arg(seen).arg(entries);
        return false;
    }
    *identity = QString::fromLatin1(md5.result().toHex());
    return true;
}
