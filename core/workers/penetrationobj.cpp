#include "penetrationobj.h"

#include <QAbstractSocket>
#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

#include "descriptorbridge.h"
#include "logging.h"
#include "relayframe.h"
#include "runtimeoverrides.h"

namespace {
constexpr int kNormalWaitMs = 5000;
constexpr int kWaitSliceMs = 50;
constexpr int kTrafficIntervalMs = 200;
} // namespace

PenetrationOBJ::PenetrationOBJ(QString iMei, QObject *parent)
    : QObject(parent),
      normalWaitMs(kNormalWaitMs),
      abortFlag(false),
      waitMs(kNormalWaitMs),
      iMei(iMei),
      portPairs([this](const QString &text) { emitInfo(text, false); })
{
    const RuntimeOverrides overrides = RuntimeOverrides::read();
    relay = RelayEndpoint::with(overrides);
    if (overrides.passthroughWaitMs > 0)
        normalWaitMs = overrides.passthroughWaitMs;
    waitMs = normalWaitMs;
    trafficTimer = new QTimer(this);
    trafficTimer->setSingleShot(true);
    trafficTimer->setInterval(kTrafficIntervalMs);
    connect(trafficTimer, &QTimer::timeout, this, [this] {
        if (trafficDue.exchange(false))
            emit traffic(bytesToPanel.load(), bytesFromPanel.load());
    });
    VirtualPortPairs::prepareLibrary(portLibrary);
    qCDebug(lcPassthrough) << "PenetrationOBJ::PenetrationOBJ" << portLibrary.fileName();
}

// Children (port, socket) go with the object, after the bridge that uses them and the
// members its thread touches; the library stays loaded.
PenetrationOBJ::~PenetrationOBJ()
{
    if (bridge)
        bridge->stop();
}

void PenetrationOBJ::setAbort(bool abort)
{
    abortFlag = abort;
    waitMs = abort ? 1 : normalWaitMs;
}

void PenetrationOBJ::emitInfo(const QString &text, bool ok)
{
    qCDebug(lcPassthrough) << "PenetrationOBJ::information" << text << ok;
    emit information(text, ok);
}

void PenetrationOBJ::applyLineSettings(int baudrate, int dataBit, int parity, int stopBit)
{
    serialPort->setBaudRate(baudrate, QSerialPort::AllDirections);
    serialPort->setDataBits(static_cast<QSerialPort::DataBits>(dataBit));
    serialPort->setParity(static_cast<QSerialPort::Parity>(parity));
    serialPort->setStopBits(static_cast<QSerialPort::StopBits>(stopBit));
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
}

void PenetrationOBJ::openNetComPenetrate(QString iMei, int comIndex, int baudrate, int dataBit,
                                         int parity, int stopBit, int timeout)
{
    qCDebug(lcPassthrough) << "PenetrationOBJ::openNetComPenetrate" << iMei << comIndex << baudrate
                           << dataBit << parity << stopBit << timeout;

    if (!portLibrary.isLoaded() && !portLibrary.load()) {
        qCDebug(lcPassthrough) << "PenetrationOBJ::openNetComPenetrate load"
                               << portLibrary.errorString();
        emitInfo(tr("加载vspdctl.dll失败"), false);
        return;
    }

    this->iMei = iMei;
    portIndex = comIndex;
    this->timeout = timeout;
    abortFlag = false;

    // Left over from a start that was never stopped: release before starting anew.
    releasePortAndSocket();
    serialPort = new QSerialPort(this);
    tcpSocket = new QTcpSocket(this);
    relayFraming.clear();
    bytesToPanel = 0;
    bytesFromPanel = 0;

    applyLineSettings(baudrate, dataBit, parity, stopBit);

    abortFlag = false;
    waitMs = normalWaitMs;

    if (!portPairs.createPortPairAndOpen(serialPort, portIndex, portLibrary)) {
        releasePortAndSocket();
        return;
    }
    // A device that disappears reports errors in a busy loop unless closed at once.
    VirtualPortPairs::closeOnDeviceLoss(serialPort, [this] { serialPortLost(); });

    tcpSocket->connectToHost(relay.host, relay.port, QIODevice::ReadWrite,
                             QAbstractSocket::AnyIPProtocol);
    // Once the stop has been requested the wait is skipped; the reply wait below
    // then ends the start.
    if (!abortFlag && !tcpSocket->waitForConnected(waitMs)) {
        emitInfo(tr("连接服务器超时"), false);
        qCDebug(lcPassthrough) << "PenetrationOBJ::openNetComPenetrate connect"
                               << QNetworkProxy::applicationProxy().type() << waitMs.load()
                               << tcpSocket->errorString();
        releasePortAndSocket();
        return;
    }
    // Interactive serial traffic: every read goes out at once.
    tcpSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    const QByteArray registration = RelayFrame::passthroughRegistration(this->iMei);
    tcpSocket->write(registration);

    if (abortFlag || !waitForGoAhead()) {
        qCDebug(lcPassthrough) << "PenetrationOBJ::openNetComPenetrate no go-ahead"
                               << tcpSocket->errorString() << registration;
        tcpSocket->disconnectFromHost();
        endConnection(tr("连接穿透服务超时"));
        return;
    }

    const QByteArray reply = tcpSocket->readAll();
    const bool accepted = RelayFrame::isGoAhead(reply);
    qCDebug(lcPassthrough) << "PenetrationOBJ::openNetComPenetrate reply" << reply.left(64)
                           << this->timeout << accepted;

    if (accepted) {
        emitInfo(tr("穿透服务打开成功"), true);
        startBridge();
        return;
    }

    tcpSocket->disconnectFromHost();
    endConnection(tr("穿透服务打开失败"));
}

bool PenetrationOBJ::waitForGoAhead()
{
    // Waited for in short slices, so that a stop requested meanwhile (setAbort from
    // the closing window) ends the wait at once instead of after its full time.
    QDeadlineTimer deadline(waitMs.load());
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (tcpSocket->waitForReadyRead(int(qBound<qint64>(1, left, kWaitSliceMs))))
            return true;
        if (abortFlag || deadline.hasExpired() || tcpSocket->state() != QAbstractSocket::ConnectedState)
            return false;
    }
}

void PenetrationOBJ::startBridge()
{
#ifdef Q_OS_WIN
    // Bounded reads: a side that is not read keeps at most one read's worth here.
    serialPort->setReadBufferSize(kSerialReadBuffer);
    tcpSocket->setReadBufferSize(kRelayReadBuffer);
    connect(serialPort, &QSerialPort::readyRead, this, &PenetrationOBJ::writeTcpData);
    connect(tcpSocket, &QTcpSocket::readyRead, this, &PenetrationOBJ::writeComData);
    connect(serialPort, &QSerialPort::bytesWritten, this, &PenetrationOBJ::serialDrained);
    connect(tcpSocket, &QTcpSocket::bytesWritten, this, &PenetrationOBJ::relayDrained);
    connect(tcpSocket, &QTcpSocket::disconnected, this, &PenetrationOBJ::relayLost);
    connect(tcpSocket, &QAbstractSocket::errorOccurred, this, &PenetrationOBJ::relayLost);
#else
    // Both descriptors read and written directly, on the bridge's own thread: a message goes
    // out in the turn of its poll that read it. Whatever the port took in before is sent
    // first. The ends of the sides are dealt with here, on this thread.
    const QByteArray early = serialPort->bytesAvailable() > 0 ? serialPort->readAll() : QByteArray();
    DescriptorBridge::quietDevice(serialPort);
    DescriptorBridge::quietDevice(tcpSocket);
    const int run = ++bridgeRun;
    DescriptorBridge::Handlers handlers;
    handlers.serialRead = [this](const char *data, qint64 len) { forwardToRelay(data, len); };
    handlers.relayRead = [this](const char *data, qint64 len) { forwardToSerial(data, len); };
    handlers.serialLost = [this, run] {
        onWorkerThread(run, [this] {
            serialPort->close();
            serialPortLost();
        });
    };
    handlers.relayLost = [this, run] { onWorkerThread(run, [this] { relayLost(); }); };
    bridge = std::make_unique<DescriptorBridge>(serialPort->handle(), int(tcpSocket->socketDescriptor()),
                                                kMaxQueuedBytes, kSerialReadBuffer, kRelayReadBuffer,
                                                std::move(handlers));
    if (!early.isEmpty())
        forwardToRelay(early.constData(), early.size());
    if (!bridge->start()) {
        endConnection(tr("穿透服务连接已断开"));
        return;
    }
#endif
    // Gone already while the go-ahead was read: no signal will tell.
    if (tcpSocket && tcpSocket->state() != QAbstractSocket::ConnectedState)
        relayLost();
}

void PenetrationOBJ::onWorkerThread(int run, std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, [this, run, fn = std::move(fn)] {
        if (bridge && run == bridgeRun)
            fn();
    }, Qt::QueuedConnection);
}

void PenetrationOBJ::relayLost()
{
    if (!tcpSocket)
        return;
    qCDebug(lcPassthrough) << "PenetrationOBJ::relayLost" << tcpSocket->state()
                           << tcpSocket->error() << tcpSocket->errorString() << "unread"
                           << tcpSocket->bytesAvailable();
    endConnection(tr("穿透服务连接已断开"));
}

void PenetrationOBJ::endConnection(const QString &message)
{
    emitInfo(message, false);
    releasePortAndSocket();
    emit finishThrd();
}

void PenetrationOBJ::releasePortAndSocket(bool disconnectFromRelay)
{
    // Before the descriptors close.
    if (bridge) {
        bridge->stop();
        bridge.reset();
    }
    if (tcpSocket) {
        // First, so that ending the connection here is not taken for its loss.
        disconnect(tcpSocket, nullptr, this, nullptr);
        if (disconnectFromRelay)
            tcpSocket->disconnectFromHost();
        tcpSocket->close();
        tcpSocket->deleteLater();
        tcpSocket = nullptr;
    }
    if (serialPort) {
        disconnect(serialPort, nullptr, this, nullptr);
        serialPort->close();
        serialPort->deleteLater();
        serialPort = nullptr;
    }
    relayFraming.clear();
    // The last counts of a bridge go out at once.
    trafficTimer->stop();
    if (trafficDue.exchange(false))
        emit traffic(bytesToPanel.load(), bytesFromPanel.load());
}

void PenetrationOBJ::setTraceFile(QString path)
{
    qCDebug(lcPassthrough) << "PenetrationOBJ::setTraceFile" << path;
    if (path.isEmpty()) {
        trace.stop();
        return;
    }
    if (!trace.start(path))
        emitInfo(tr("无法写入跟踪文件 %1: %2").arg(path, trace.errorString()), false);
}

void PenetrationOBJ::countToPanel(const char *data, qint64 len)
{
    bytesToPanel += len;
    trace.record(PassthroughTrace::Direction::ToPanel, data, len);
    scheduleTraffic();
}

void PenetrationOBJ::countFromPanel(const char *data, qint64 len)
{
    bytesFromPanel += len;
    trace.record(PassthroughTrace::Direction::FromPanel, data, len);
    scheduleTraffic();
}

void PenetrationOBJ::scheduleTraffic()
{
    // The timer is started on its own thread, once per signal; the signal reads the counts.
    if (!trafficDue.exchange(true)) {
        QTimer *timer = trafficTimer;
        QMetaObject::invokeMethod(timer, [timer] { timer->start(); }, Qt::QueuedConnection);
    }
}

bool PenetrationOBJ::serialOpen() const
{
    if (bridge)
        return bridge->hasSerial();
    return serialPort && serialPort->isOpen();
}

void PenetrationOBJ::writeTcpData()
{
    // While the bridge runs on the descriptors, it reads the port itself.
    if (!serialPort || !tcpSocket || bridge)
        return;
    // Over the bound the relay is not taking what it gets: the serial bytes wait (in the
    // port's bounded buffer, then in the driver) until relayDrained.
    if (tcpSocket->bytesToWrite() >= kMaxQueuedBytes)
        return;
    const QByteArray data = serialPort->readAll();
    if (data.isEmpty()) {
        qCDebug(lcPassthrough) << "PenetrationOBJ::writeTcpData empty read";
        return;
    }
    if (tcpSocket->state() != QAbstractSocket::ConnectedState) {
        qCDebug(lcPassthrough) << "PenetrationOBJ::writeTcpData relay connection gone, dropped"
                               << data.size();
        return;
    }
    forwardToRelay(data.constData(), data.size());
}

void PenetrationOBJ::forwardToRelay(const char *data, qint64 len)
{
    countToPanel(data, len);
    if (bridge) {
        bridge->writeToRelay(data, len, RelayFrame::kTrailer, RelayFrame::kTrailerSize);
        return;
    }
    tcpSocket->write(PassthroughFraming::serialToRelay(QByteArray::fromRawData(data, int(len))));
    // Written in this turn of the loop, not one or two turns later; what the system does
    // not take now waits in the socket until the connection turns writable.
    tcpSocket->flush();
}

void PenetrationOBJ::writeComData()
{
    if (!tcpSocket || bridge)
        return;
    // The same the other way: the relay's bytes wait until serialDrained.
    if (serialPort && serialPort->isOpen() && serialPort->bytesToWrite() >= kMaxQueuedBytes)
        return;
    const QByteArray data = tcpSocket->readAll();
    forwardToSerial(data.constData(), data.size());
}

void PenetrationOBJ::forwardToSerial(const char *data, qint64 len)
{
    const PassthroughFraming::Result r = relayFraming.feed(data, int(len));
    if (r.dropped > 0)
        qCDebug(lcPassthrough) << "PenetrationOBJ::forwardToSerial dropped" << r.dropped
                               << "bytes without delimiter";
    // Reported only: the bridge stays, and the messages around the note still go out.
    if (r.hmiDisconnected) {
        const auto note = [this] { emitInfo(tr("HMI端断开连接"), false); };
        bridge ? onWorkerThread(bridgeRun, note) : note();
    }
    // A read that ends inside a message (most of a stream's) is not traced: it is no event.
    if (r.toSerialSize == 0)
        return;
    if (serialOpen()) {
        countFromPanel(r.toSerial, r.toSerialSize);
        writeSerial(r.toSerial, r.toSerialSize);
    } else
        qCDebug(lcPassthrough) << "PenetrationOBJ::forwardToSerial port closed, dropped"
                               << r.toSerialSize;
}

// Bytes for the port. On the descriptors, what the driver does not take now (a full pty
// says EAGAIN) waits in the bridge until the port turns writable: a full port is never a
// lost one. Else the port queues them itself.
void PenetrationOBJ::writeSerial(const char *data, qint64 len)
{
    if (bridge)
        bridge->writeToSerial(data, len);
    else
        serialPort->write(data, len);
}

void PenetrationOBJ::serialDrained()
{
    if (tcpSocket && tcpSocket->bytesAvailable() > 0)
        writeComData();
}

void PenetrationOBJ::relayDrained()
{
    if (serialPort && serialPort->bytesAvailable() > 0)
        writeTcpData();
}

void PenetrationOBJ::serialPortLost()
{
    // The port is closed already (once, at its first read or resource error); the
    // relay connection stays until the pass-through is stopped.
    const QString com = VirtualPortPairs::comName(portIndex + 1);
    qCDebug(lcPassthrough) << "PenetrationOBJ::serialPortLost" << com;
    emitInfo(tr("串口%1异常断开，已关闭").arg(com), false);
}

void PenetrationOBJ::closeNetComPenetrate()
{
    qCDebug(lcPassthrough) << "PenetrationOBJ::closeNetComPenetrate";
    abortFlag = true;
    waitMs = 1;
    releasePortAndSocket(true);
}
