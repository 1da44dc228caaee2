#include "unpackfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "logging.h"

QString UnpackFolders::choose(const QString &programDir, const QString &perUserDir,
                              const QString &name)
{
    const QFileInfo program(programDir);
    if (perUserDir.isEmpty() || (program.isDir() && program.isWritable()))
        return QDir(programDir).filePath(name);
    if (!QDir().mkpath(perUserDir))
        qCWarning(lcProject) << "UnpackFolders::choose cannot create" << perUserDir;
    return QDir(perUserDir).filePath(name);
}

QString UnpackFolders::forProgram(const QString &name)
{
    return choose(QCoreApplication::applicationDirPath(),
                  QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation), name);
}
