#ifndef UNPACKFOLDERS_H
#define UNPACKFOLDERS_H

#include <QString>

// Where the downloads unpack their archives: the folders "compile" (compile.zip) and
// "target" (target.zip). They live beside the program when its folder is writable (a
// build folder, a copy in the user's home), else under the per-user data folder, as for
// an installed program in /usr/bin.
class UnpackFolders
{
public:
    // The folder `name` under programDir when programDir is a folder this process may
    // write to, else under perUserDir, which is created then. Never empty: where
    // neither can be written (or perUserDir is empty), the unpack into the folder
    // returned fails as for any folder that cannot be written.
    static QString choose(const QString &programDir, const QString &perUserDir,
                          const QString &name);

    // choose() for this program: its application directory, and the
    // QStandardPaths::AppLocalDataLocation of this user.
    static QString forProgram(const QString &name);
};

#endif // UNPACKFOLDERS_H
