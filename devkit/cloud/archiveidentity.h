#ifndef ARCHIVEIDENTITY_H
#define ARCHIVEIDENTITY_H

#include <QByteArray>
#include <QString>

// The identity of a project archive: the lowercase hex MD5 over the contents of its
// file entries, concatenated in archive order (directory entries carry no content and
// are skipped). Pure: works on the archive's bytes in memory.
class ArchiveIdentity
{
public:
    // False, with a reason, when the bytes are not a readable zip archive (not a zip,
    // an entry that cannot be opened, a CRC mismatch).
    static bool compute(const QByteArray &archive, QString *identity, QString *error);
};

#endif // ARCHIVEIDENTITY_H
