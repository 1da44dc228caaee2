#include "safeunzip.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <JlCompress.h>
#include <quazip.h>
#include <quazipfileinfo.h>

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

} // namespace

Result extractBytes(const QByteArray &archive, const QString &dir)
{
    Result result;
    const QString cleanDir = QDir::cleanPath(QDir(dir).absolutePath());

    QByteArray data = archive;   // QBuffer wants a non-const array; shares the bytes
    {
        QBuffer buffer(&data);
        QuaZip zip(&buffer);
        if (!zip.open(QuaZip::mdUnzip)) {
            qDebug() << "SafeUnzip::extractBytes cannot open archive" << zip.getZipError();
            return result;
        }
        for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
            QuaZipFileInfo64 info;
            if (!zip.getCurrentFileInfo(&info)) {
                qDebug() << "SafeUnzip::extractBytes unreadable entry" << zip.getZipError();
                return result;
            }
            if (!isSafeEntryName(info.name) || isSymlinkEntry(info.externalAttr)
                || passesExistingLink(cleanDir, info.name)) {
                qDebug() << "SafeUnzip::extractBytes refused" << info.name
                         << Qt::hex << info.externalAttr;
                result.status = Status::Refused;
                result.refusedEntry = info.name;
                return result;
            }
        }
        zip.close();
    }

    if (!QDir().mkpath(cleanDir)) {
        qDebug() << "SafeUnzip::extractBytes cannot create" << cleanDir;
        return result;
    }
    QBuffer buffer(&data);
    QuaZip zip(&buffer);
    const QStringList unpacked = JlCompress::extractDir(zip, cleanDir);
    for (const QString &path : unpacked)
        if (!path.endsWith(QLatin1Char('/')))
            result.files.append(path);
    // An archive without entries unpacks to nothing and is read like one that cannot
    // be unpacked: both give an empty list.
    result.status = unpacked.isEmpty() ? Status::Unreadable : Status::Extracted;
    return result;
}

Result extractFile(const QString &archivePath, const QString &dir)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "SafeUnzip::extractFile cannot open" << archivePath;
        return Result();
    }
    return extractBytes(file.readAll(), dir);
}

} // namespace SafeUnzip
