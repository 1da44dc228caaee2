#ifndef SAFEUNZIP_H
#define SAFEUNZIP_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

// Unpacking of project archives confined to one directory and bounded in size. The
// archive's directory is checked before anything is written: one unsafe entry refuses
// the whole archive, and so does a declared size or entry count over the limits. The
// limits are enforced again while writing, since declared sizes can lie.
namespace SafeUnzip {

// Generous for real projects; an archive over either limit is refused.
constexpr qint64 kMaxUnpackedBytes = qint64(1) << 30;   // 1 GiB in total
constexpr int kMaxEntries = 65536;

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
    TooLarge,    // over the size or entry limit; nothing is left in dir
    Unreadable,  // the archive could not be read or unpacked; nothing is left in dir
    Stopped,     // the stop request was seen; what was written so far stays
};

struct Options
{
    qint64 maxBytes = kMaxUnpackedBytes;
    int maxEntries = kMaxEntries;
    // Looked at between entries and between pieces of an entry.
    std::function<bool()> stopRequested;
};

struct Result
{
    Status status = Status::Unreadable;
    QStringList files;     // unpacked file paths in entry order, directory entries left out
    QString refusedEntry;  // the first unsafe entry (Refused)
};

// Empties dir: every file, folder and link inside it goes; links are removed, never
// followed. A dir that is itself a link or a file is replaced by a plain directory;
// a missing dir is created. False when something could not be removed, or when the
// stop request came first.
bool clearDirectory(const QString &dir, const std::function<bool()> &stopRequested = {});

// Empties dir (clearDirectory), then unpacks the archive bytes into it. A failure
// other than a stop empties dir again, so a half-unpacked archive is never used.
Result extractBytes(const QByteArray &archive, const QString &dir, const Options &options = Options());

// The same for an archive file, read in pieces; a file that cannot be read is Unreadable.
Result extractFile(const QString &archivePath, const QString &dir, const Options &options = Options());

} // namespace SafeUnzip

#endif // SAFEUNZIP_H
