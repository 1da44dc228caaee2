#ifndef PORTPLATFORM_H
#define PORTPLATFORM_H

#include <QString>

class QSerialPort;

// What the virtual port pairs need from the operating system: one interface, with one
// source file per platform that the build picks (portplatform_linux.cpp,
// portplatform_win.cpp). On Windows the pairs come from a virtual serial port driver
// controlled through vspdctl.dll and the tool side is the device \\.\PENTn. On Linux
// they come from libvspdctl.so (vspd/), which joins two ptys with socat and puts the
// links COMn and PENTn into the pair directory; the tool side is
// <pair directory>/PENTn.
namespace PortPlatform {

// Linux: $VSPD_DIR when set, else $XDG_RUNTIME_DIR/vspd, else /tmp/vspd-<uid>; created
// with mode 0700 when missing. Empty when it cannot be created or is not a directory
// owned by this user. Windows: always empty (the registry lists the ports).
QString pairDirectory();

// The device path of the tool side PENTn.
QString toolSideDevicePath(int n);

// The file name to give the QLibrary of the pair driver. Windows: "vspdctl.dll".
// Linux: the absolute path of libvspdctl.so in the application directory when it is
// there, else in the installation's private library folder (VANTELO_PRIVATE_LIBDIR,
// relative to the application directory) when it is there, else "vspdctl" (found
// through the library path).
QString driverLibraryFileName();

// Blocks the calling thread.
void sleepMs(int ms);

// Whether the serial device behind the open `port` is gone. A pty reports a hang-up
// once its other side has been closed; a full pty (a write that would block) is not
// gone. Windows: always true, a resource error there means the device was removed.
bool serialDeviceGone(const QSerialPort *port);

// Makes a tool side that was just opened ready for the pass-through. Linux: a pty's
// refusal of parity is cleared (no error on a virtual pair), and bytes that the user
// side wrote while the tool side was closed are dropped. Windows: nothing.
void prepareOpenedPort(QSerialPort *port);

} // namespace PortPlatform

#endif // PORTPLATFORM_H
