#include "pairsweep.h"

#include <QDir>
#include <QFile>
#include <QLibrary>

#include <signal.h>
#include <sys/types.h>

void sweepPairs(const QString &pairDir, const QString &driverPath)
{
    using DeleteFn = bool (*)(const char *);
    QLibrary driver(driverPath);
    const auto del = reinterpret_cast<DeleteFn>(driver.resolve("DeletePair"));
    const QStringList pidFiles = QDir(pairDir).entryList({QStringLiteral("COM*.pid")}, QDir::Files);
    for (const QString &pidName : pidFiles) {
        const QString com = pidName.chopped(4);
        if (del && del(com.toLatin1().constData()))
            continue;
        QFile file(QDir(pairDir).filePath(pidName));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const pid_t pid = pid_t(file.readAll().trimmed().toLongLong());
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        // Only the socat of this very directory.
        if (pid > 0 && cmdline.open(QIODevice::ReadOnly)
            && cmdline.readAll().contains(QFile::encodeName(pairDir))) {
            qWarning("sweepPairs: %s still held, stopping its socat %d", qPrintable(com), int(pid));
            ::kill(pid, SIGTERM);
        }
    }
}
