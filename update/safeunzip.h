#ifndef SAFEUNZIP_H
#define SAFEUNZIP_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Unpacking of project archives confined to one directory. Every entry is checked
// before anything is written; one unsafe entry refuses the whole archive.
namespace SafeUnzip {

// An entry name may be unpacked when, with "\" taken as a separator too, it is not
// empty, not absolute, holds no drive or stream colon, no control character and no
// ".." component (nor one that Windows reads as "..": dots and spaces only).
bool isSafeEntryName(const QString &name);

// The Unix file mode in the high 16 bits of a zip entry's external attributes marks
// a symbolic link.
bool isSymlinkEntry(quint32 externalAttributes);

enum class Status {
    Extracted,   // every entry checked and unpacked
    Refused,     // an entry is unsafe; nothing was written
    Unreadable,  // the archive could not be read or unpacked; files is empty
};

struct Result
{
    Status status = Status::Unreadable;
    QStringList files;     // unpacked file paths in entry order, directory entries left out
    QString refusedEntry;  // the first unsafe entry (Refused)
};

// Unpacks the archive bytes into dir (created when missing). Files of the same name
// are overwritten; other files in dir are left alone.
Result extractBytes(const QByteArray &archive, const QString &dir);

// The same for an archive file; a file that cannot be read is Unreadable.
Result extractFile(const QString &archivePath, const QString &dir);

} // namespace SafeUnzip

#endif // SAFEUNZIP_H
