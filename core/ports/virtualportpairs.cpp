#include "virtualportpairs.h"

#include <QByteArray>
#include <QLibrary>
#include <QSerialPort>

#include "logging.h"
#include "portplatform.h"

namespace {

using CreatePairFunction = bool (*)(const char *userSide, const char *toolSide);
using DeletePairFunction = bool (*)(const char *userSide);

// A new pair is looked for ten times, 500 ms apart: 5 s in all.
constexpr int kAppearTests = 10;
constexpr int kAppearIntervalMs = 500;

} // namespace

VirtualPortPairs::VirtualPortPairs(MessageSink sink)
    : m_sink(std::move(sink))
{
}

void VirtualPortPairs::report(const QString &text)
{
    qCDebug(lcPorts) << "VirtualPortPairs::report" << text;
    if (m_sink)
        m_sink(text);
}

QString VirtualPortPairs::comName(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

QString VirtualPortPairs::pentName(int n)
{
    return QStringLiteral("PENT%1").arg(n);
}

QString VirtualPortPairs::toolSideDevicePath(int n)
{
    return PortPlatform::toolSideDevicePath(n);
}

void VirtualPortPairs::prepareLibrary(QLibrary &library)
{
    library.setFileName(PortPlatform::driverLibraryFileName());
}

QString VirtualPortPairs::readSerialCommEntry(int index, const QString &kind)
{
    bool listOpened = true;
    const QString entry = m_reader.readEntry(index, kind, &listOpened);
    if (!listOpened)
        report(tr("注册表打开失败\r\n请检查注册表路径是否正确!"));
    return entry;
}

QStringList VirtualPortPairs::serialCommPortNames()
{
    QStringList names;
    const int count = m_reader.entryCount();
    for (int i = 0; i < count; ++i)
        names << readSerialCommEntry(i, QStringLiteral("value"));
    return names;
}

bool VirtualPortPairs::checkPortPair(int comboIndex)
{
    if (comboIndex < 0)
        return false;
    const QStringList names = serialCommPortNames();
    const QString com = comName(comboIndex + 1);
    const QString pent = pentName(comboIndex + 1);
    if (!names.contains(com)) {
        report(tr("%1串口不存在").arg(com));
        return false;
    }
    if (!names.contains(pent)) {
        report(tr("%1不是该软件创建的串口").arg(com));
        return false;
    }
    return true;
}

bool VirtualPortPairs::portPairExists(int portIndex)
{
    if (portIndex < 0)
        return false;
    const QStringList names = serialCommPortNames();
    return names.contains(comName(portIndex + 1)) && names.contains(pentName(portIndex + 1));
}

bool VirtualPortPairs::createPortPairAndOpen(QSerialPort *port, int portIndex, QLibrary &library)
{
    port->close();

    const int n = portIndex + 1;
    const QString com = comName(n);
    const QString pent = pentName(n);
    const QStringList names = serialCommPortNames();

    if (names.contains(com)) {
        // A COMn without PENTn belongs to other hardware and is never touched.
        if (!names.contains(pent)) {
            report(tr("%1不是该软件创建的串口").arg(com));
            return false;
        }
        report(tr("%1已存在").arg(com));
    } else {
        const auto createPair = reinterpret_cast<CreatePairFunction>(library.resolve("CreatePair"));
        if (createPair) {
            const QByteArray userSide = com.toLocal8Bit();
            const QByteArray toolSide = pent.toLocal8Bit();
            if (!createPair(userSide.constData(), toolSide.constData())) {
                qCDebug(lcPorts) << "VirtualPortPairs::createPortPairAndOpen CreatePair" << com
                                 << library.errorString();
                report(tr("创建串口%1失败").arg(com));
                return false;
            }
            bool listed = false;
            for (int test = 0; test < kAppearTests; ++test) {
                if (portPairExists(portIndex)) {
                    listed = true;
                    break;
                }
                PortPlatform::sleepMs(kAppearIntervalMs);
            }
            if (!listed) {
                report(tr("串口%1不存在").arg(com));
                return false;
            }
        } else {
            qCDebug(lcPorts) << "VirtualPortPairs::createPortPairAndOpen no CreatePair"
                             << library.fileName() << library.errorString();
        }
    }

    port->setPortName(toolSideDevicePath(n));
    if (!port->open(QIODevice::ReadWrite)) {
        const int code = port->error();
        qCDebug(lcPorts) << "VirtualPortPairs::createPortPairAndOpen open" << port->portName()
                         << port->errorString();
        report(tr("串口%1打开失败:%2").arg(com).arg(code));
        port->close();
        return false;
    }
    PortPlatform::prepareOpenedPort(port);
    report(tr("%1打开成功").arg(com));
    return true;
}

void VirtualPortPairs::deletePortPair(int comboIndex)
{
    deletePortPair(comboIndex, PortPlatform::driverLibraryFileName());
}

void VirtualPortPairs::deletePortPair(int comboIndex, const QString &libraryFileName)
{
    report(QString());
    if (!checkPortPair(comboIndex))
        return;

    // Never unloaded: the QLibrary object is simply dropped.
    QLibrary library(libraryFileName);
    if (!library.isLoaded() && !library.load()) {
        qCDebug(lcPorts) << "VirtualPortPairs::deletePortPair load" << library.errorString();
        report(tr("加载vspdctl.dll失败"));
        return;
    }
    const QString com = comName(comboIndex + 1);
    const auto deletePair = reinterpret_cast<DeletePairFunction>(library.resolve("DeletePair"));
    if (!deletePair) {
        qCDebug(lcPorts) << "VirtualPortPairs::deletePortPair no DeletePair" << library.fileName();
        return;
    }
    const QByteArray userSide = com.toLocal8Bit();
    if (!deletePair(userSide.constData()))
        report(tr("%1端口被占用，请先关闭串口或者该串口不是该软件所创建").arg(com));
}

QMetaObject::Connection VirtualPortPairs::closeOnDeviceLoss(QSerialPort *port,
                                                            std::function<void()> onLost)
{
    // Queued: the port is closed once its own error handling has returned. Errors that
    // were queued meanwhile find it closed and are ignored.
    return QObject::connect(
        port, &QSerialPort::errorOccurred, port,
        [port, onLost](QSerialPort::SerialPortError error) {
            if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
                return;
            if (!port->isOpen())
                return;
            if (error == QSerialPort::ResourceError && !PortPlatform::serialDeviceGone(port)) {
                qCDebug(lcPorts) << "VirtualPortPairs::closeOnDeviceLoss would block, kept"
                                 << port->portName() << port->errorString();
                port->clearError();
                // A read that would have blocked turned the port's reading off; this
                // turns it on again without taking anything from its buffer.
                port->setReadBufferSize(port->readBufferSize());
                return;
            }
            qCDebug(lcPorts) << "VirtualPortPairs::closeOnDeviceLoss" << port->portName() << error;
            port->close();
            if (onLost)
                onLost();
        },
        Qt::QueuedConnection);
}
