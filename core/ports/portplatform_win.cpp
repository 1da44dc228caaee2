// The port platform on Windows: a virtual serial port driver controlled through
// vspdctl.dll; the tool side is the device \\.\PENTn.
#include "portplatform.h"

#include <QSerialPort>

#include <windows.h>

namespace PortPlatform {

QString pairDirectory()
{
    return QString();
}

QString toolSideDevicePath(int n)
{
    return QStringLiteral("\\\\.\\PENT%1").arg(n);
}

QString driverLibraryFileName()
{
    return QStringLiteral("vspdctl.dll");
}

void sleepMs(int ms)
{
    Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms));
}

bool serialDeviceGone(const QSerialPort *port)
{
    Q_UNUSED(port)
    return true;
}

void prepareOpenedPort(QSerialPort *port)
{
    Q_UNUSED(port)
}

} // namespace PortPlatform
