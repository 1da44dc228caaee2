// The port platform on Linux: libvspdctl.so (vspd/) joins two ptys with socat and
// puts the links COMn and PENTn into the pair directory.
#include "portplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QThread>

#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PortPlatform {

QString pairDirectory()
{
    QString dir = qEnvironmentVariable("VSPD_DIR");
    if (dir.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        dir = runtime.isEmpty() ? QStringLiteral("/tmp/vspd-%1").arg(::getuid())
                                : runtime + QStringLiteral("/vspd");
    }
    dir = QDir::cleanPath(dir);

    const QByteArray path = QFile::encodeName(dir);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        const QString parent = QFileInfo(dir).path();
        if (!QDir().mkpath(parent) || (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST))
            return QString();
        if (::lstat(path.constData(), &st) != 0)
            return QString();
    }
    // Never a symbolic link or somebody else's folder: the links in it name the devices
    // that the program opens.
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return QString();
    return dir;
}

QString toolSideDevicePath(int n)
{
    return pairDirectory() + QStringLiteral("/PENT%1").arg(n);
}

QString driverLibraryFileName()
{
    const QString bin = QCoreApplication::applicationDirPath();
    if (bin.isEmpty())
        return QStringLiteral("vspdctl");
    // Beside the program (build folder), then in the program's private library folder
    // of an installation (<prefix>/lib/.../vantelo beside <prefix>/bin).
    for (const QString &dir : {bin, QDir::cleanPath(bin + QStringLiteral("/" VANTELO_PRIVATE_LIBDIR))}) {
        const QString file = dir + QStringLiteral("/libvspdctl.so");
        if (QFileInfo::exists(file))
            return file;
    }
    return QStringLiteral("vspdctl");
}

void sleepMs(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms < 0 ? 0 : ms));
}

bool serialDeviceGone(const QSerialPort *port)
{
    const int fd = port->handle();
    if (fd < 0)
        return true;
    pollfd p{fd, POLLIN | POLLOUT, 0};
    int n;
    do {
        n = ::poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void prepareOpenedPort(QSerialPort *port)
{
    // A pty takes any baud rate but refuses parity (the kernel keeps 8 bits, no
    // parity): that is not an error on a virtual pair.
    if (port->error() == QSerialPort::UnsupportedOperationError)
        port->clearError();
    // Bytes that the user side wrote while the tool side was closed wait in the pty;
    // they belong to no pass-through.
    port->clear();
}

} // namespace PortPlatform
