#include "panelclient.h"

#include "labeventlog.h"
#include "labreadtap.h"
#include "labreset.h"
#include "panelserial.h"
#include "panelwire.h"
#include "replydeadline.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTcpSocket>

#include <cerrno>

#include <sys/socket.h>

namespace {
const QByteArray kRegistered = QByteArrayLiteral("ok");
const QByteArray kSessionDownload = QByteArrayLiteral("session,download");
const QByteArray kSessionPassthrough = QByteArrayLiteral("session,passthrough");
const QByteArray kEnd = QByteArrayLiteral("end");
const QString kFrameEvent = QStringLiteral("frame");
} // namespace

PanelClient::PanelClient(const PanelSettings &settings, const QString &relayHost, quint16 relayPort,
                         const QString &outDir, LabEventLog *events, QObject *parent)
    : QObject(parent), m_settings(settings), m_host(relayHost), m_port(relayPort), m_outDir(outDir),
      m_events(events), m_transfer(settings), m_serial(new PanelSerial(settings.serial, this)),
      m_sendDeadline(new ReplyDeadline(this))
{
    m_replies.reserve(kPassthroughReadBuffer + kPassthroughReadBuffer / 16);   // kept: sending allocates nothing
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &PanelClient::connectToRelay);
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        m_readAt = ReplyDeadline::now();
        if (m_mode == Mode::Download)
            runActions(m_transfer.quiet());
    });
    connect(m_sendDeadline, &ReplyDeadline::expired, this, &PanelClient::flushOutgoing);
    connect(m_serial, &PanelSerial::dataRead, this, &PanelClient::onSerialData);
}

PanelClient::~PanelClient()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void PanelClient::start()
{
    connectToRelay();
}

void PanelClient::event(const QString &name, const QJsonObject &fields)
{
    m_events->write(m_settings.imei, name, fields);
}

void PanelClient::connectToRelay()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &PanelClient::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &PanelClient::onReadyRead);
    connect(m_socket, &QTcpSocket::stateChanged, this, &PanelClient::onSocketState);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &PanelClient::onBytesWritten);
    m_socket->connectToHost(m_host, m_port);
}

void PanelClient::onConnected()
{
    ++m_connections;
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);   // one-byte replies go out at once
    QTcpSocket *socket = m_socket;
    LabReadTap::attach(socket, [this, socket] { return socket == m_socket && readPassthroughDirect(); });
    m_mode = Mode::Registering;
    m_control.clear();
    m_writer.writeNow(m_socket, "panel," + m_settings.imei.toLatin1() + PanelWire::kDelimiter);
}

void PanelClient::onSocketState()
{
    if (m_socket && m_socket->state() == QAbstractSocket::UnconnectedState)
        goOffline();
}

void PanelClient::goOffline()
{
    const bool wasOnline = m_mode != Mode::Offline && m_mode != Mode::Registering;
    if (m_mode == Mode::Download || m_mode == Mode::Passthrough)
        endSession(QStringLiteral("connection lost"));
    if (wasOnline)
        event(QStringLiteral("offline"));
    m_mode = Mode::Offline;
    m_leaving = false;
    m_outgoing.clear();
    m_replies.resize(0);
    m_sendDeadline->cancel();
    m_quiet.stop();
    if (!m_retry.isActive())
        m_retry.start();
}

void PanelClient::onReadyRead()
{
    m_readAt = ReplyDeadline::now();
    if (!m_socket || passthroughBackedUp())
        return;
    const QByteArray bytes = m_socket->readAll();
    switch (m_mode) {
    case Mode::Offline:
        break;
    case Mode::Registering:
    case Mode::Idle:
        handleControl(bytes);
        break;
    case Mode::Download:
        handleDownload(bytes);
        break;
    case Mode::Passthrough:
        handlePassthrough(bytes);
        break;
    }
}

void PanelClient::handleControl(const QByteArray &bytes)
{
    m_control += bytes;
    for (;;) {
        if (m_mode != Mode::Registering && m_mode != Mode::Idle) {
            // A session began: what follows belongs to it.
            const QByteArray rest = m_control;
            m_control.clear();
            if (!rest.isEmpty()) {
                if (m_mode == Mode::Download)
                    handleDownload(rest);
                else if (m_mode == Mode::Passthrough)
                    handlePassthrough(rest);
            }
            return;
        }
        const int end = m_control.indexOf(PanelWire::kDelimiter);
        if (end < 0) {
            if (m_control.size() > kMaxControl) {
                event(QStringLiteral("refused"), {{QStringLiteral("reason"), QStringLiteral("relay message too long")}});
                m_control.clear();
                m_socket->abort();
            }
            return;
        }
        const QByteArray message = m_control.left(end);
        m_control.remove(0, end + PanelWire::kDelimiter.size());
        if (message == kRegistered && m_mode == Mode::Registering) {
            m_mode = Mode::Idle;
            event(QStringLiteral("registered"), {{QStringLiteral("connection"), m_connections}});
            if (!m_everRegistered) {
                m_everRegistered = true;
                emit registered(m_settings.imei);
            }
        } else if (message == kSessionDownload && m_mode == Mode::Idle) {
            startSession(Mode::Download);
        } else if (message == kSessionPassthrough && m_mode == Mode::Idle) {
            startSession(Mode::Passthrough);
        } else if (message == kEnd) {
            // A late end note for a session already over.
        } else {
            event(QStringLiteral("unknown-control"), {{QStringLiteral("hex"), QString::fromLatin1(message.left(64).toHex())}});
        }
    }
}

void PanelClient::startSession(Mode mode)
{
    ++m_sessions;
    m_mode = mode;
    m_transfer.reset();
    m_collected.clear();
    const bool download = mode == Mode::Download;
    QJsonObject fields{{QStringLiteral("form"), download ? QStringLiteral("download") : QStringLiteral("passthrough")}};
    if (!download) {
        // Bounded reads: while the relay does not take the replies, the relay is not read.
        m_socket->setReadBufferSize(kPassthroughReadBuffer);
        m_passthroughReplies = 0;
        m_unaskedSent = m_settings.passthroughSend;   // nothing until the delay is over
        QString error;
        fields.insert(QStringLiteral("serial"), m_settings.serial.isEmpty() ? QStringLiteral("echo") : m_settings.serial);
        if (!m_serial->open(&error))
            fields.insert(QStringLiteral("serialError"), error);
    }
    event(QStringLiteral("session"), fields);
    if (!download && m_settings.passthroughSend > 0) {
        const int session = m_sessions;
        QTimer::singleShot(kUnaskedDelayMs, this, [this, session] {
            if (session != m_sessions || m_mode != Mode::Passthrough)
                return;
            event(QStringLiteral("fault"), {{QStringLiteral("fault"), QStringLiteral("passthroughSend")},
                                            {QStringLiteral("len"), double(m_settings.passthroughSend)}});
            m_unaskedSent = 0;
            sendUnasked();
        });
    }
}

void PanelClient::endSession(const QString &reason)
{
    m_serial->close();
    m_quiet.stop();
    m_collected.clear();
    // Replies still held back for their reply delay are in flight to a desktop that has
    // left: the relay would drop them, never hand them to the next session.
    m_outgoing.clear();
    m_sendDeadline->cancel();
    if (m_socket)
        m_socket->setReadBufferSize(0);
    event(QStringLiteral("session-end"), {{QStringLiteral("reason"), reason}});
    m_mode = Mode::Idle;
}

void PanelClient::handleDownload(const QByteArray &bytes)
{
    runActions(m_transfer.feed(bytes));
    if (m_mode == Mode::Download && m_transfer.hasPending())
        m_quiet.start();
    else
        m_quiet.stop();
}

void PanelClient::runActions(const QList<PanelAction> &actions)
{
    for (const PanelAction &a : actions) {
        switch (a.type) {
        case PanelAction::Reply:
            sendDownloadReply(a);
            break;
        case PanelAction::Event:
            if (a.name == kFrameEvent)   // one per data frame: off the reply's path
                m_events->writeSoon(m_settings.imei, a.name, a.fields);
            else
                event(a.name, a.fields);
            break;
        case PanelAction::Store: {
            QString error;
            QJsonObject fields = a.fields;
            const QString path = storeFile(a.code, a.bytes, &error);
            fields.insert(QStringLiteral("path"), path);
            if (path.isEmpty())
                fields.insert(QStringLiteral("storeError"), error);
            event(QStringLiteral("end"), fields);
            break;
        }
        case PanelAction::Close:
            dropConnection(a);
            return;
        case PanelAction::SessionEnd: {
            endSession(QStringLiteral("desktop left"));
            const QByteArray rest = m_transfer.takeRest();
            if (!rest.isEmpty())
                handleControl(rest);
            break;
        }
        }
    }
}

QString PanelClient::storeFile(int code, const QByteArray &data, QString *error)
{
    QDir dir(m_outDir);
    if (!dir.mkpath(m_settings.imei)) {
        *error = QStringLiteral("cannot create %1").arg(dir.filePath(m_settings.imei));
        return QString();
    }
    const QString path = QDir(dir.filePath(m_settings.imei)).filePath(QStringLiteral("%1.bin").arg(code));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        *error = file.errorString();
        return QString();
    }
    return QFileInfo(path).absoluteFilePath();
}

bool PanelClient::readPassthroughDirect()
{
    if (m_mode != Mode::Passthrough || m_socket->bytesAvailable() > 0 || passthroughBackedUp())
        return false;
    const int have = m_collected.size();
    if (m_collected.capacity() < have + kPassthroughReadBuffer)
        m_collected.reserve(have + kPassthroughReadBuffer);   // kept while the session lasts
    m_collected.resize(have + kPassthroughReadBuffer);
    const ssize_t n = ::recv(int(m_socket->socketDescriptor()), m_collected.data() + have,
                             size_t(kPassthroughReadBuffer), 0);
    m_collected.resize(have + int(qMax<ssize_t>(n, 0)));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return true;
    if (n <= 0)
        return false;   // the end of the connection, or its error: the socket reports it
    m_readAt = ReplyDeadline::now();
    takeCollected();
    return true;
}

void PanelClient::handlePassthrough(const QByteArray &bytes)
{
    m_collected += bytes;
    takeCollected();
}

void PanelClient::takeCollected()
{
    const PanelWire::PassthroughTake take = PanelWire::takePassthrough(&m_collected);
    if (take.hasPayload) {
        m_events->writeBytesSoon(m_settings.imei, QStringLiteral("passthrough-in"), take.payload, kEventHexBytes);
        // An echo answers at once: not for a message the session's end came behind.
        if (!take.sessionEnd || !m_serial->isEcho()) {
            // The echo's answers (one per kEchoRead bytes) go out together once it returns.
            m_gatherReplies = true;
            m_serial->write(take.payload);
            m_gatherReplies = false;
            if (m_repliesWaiting) {
                m_repliesWaiting = false;
                sendReplies();
            }
        }
    }
    if (take.sessionEnd) {
        endSession(QStringLiteral("desktop left"));
        if (!take.rest.isEmpty())
            handleControl(take.rest);
        return;
    }
    if (m_collected.size() > kMaxPassthrough) {
        event(QStringLiteral("passthrough-dropped"), {{QStringLiteral("len"), m_collected.size()}});
        m_collected.clear();
    }
}

void PanelClient::onSerialData(const QByteArray &data)
{
    if (m_mode != Mode::Passthrough)
        return;
    m_readAt = ReplyDeadline::now();
    m_events->writeBytesSoon(m_settings.imei, QStringLiteral("passthrough-out"), data, kEventHexBytes);
    sendReply(data + PanelWire::kDelimiter, m_settings.passthroughSplit);
    if (m_settings.passthroughLeaveAfter > 0 && ++m_passthroughReplies == m_settings.passthroughLeaveAfter) {
        m_leaving = true;
        leaveWhenSent();
    }
}

bool PanelClient::passthroughBackedUp() const
{
    return m_mode == Mode::Passthrough && m_socket->bytesToWrite() >= kMaxQueued;
}

// passthroughSend: a stream in messages of kUnaskedMessage bytes, byte p of the stream
// being p % 251 + 1 (never zero, never "$_$"), written as fast as the relay takes it.
void PanelClient::sendUnasked()
{
    if (m_mode != Mode::Passthrough || m_unaskedSent >= m_settings.passthroughSend)
        return;
    while (m_mode == Mode::Passthrough && m_unaskedSent < m_settings.passthroughSend
           && m_socket->bytesToWrite() < kMaxQueued) {
        const int n = int(qMin<qint64>(kUnaskedMessage, m_settings.passthroughSend - m_unaskedSent));
        QByteArray message(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i)
            message[i] = char((m_unaskedSent + i) % 251 + 1);
        m_socket->write(message + PanelWire::kDelimiter);
        m_unaskedSent += n;
    }
}

void PanelClient::onBytesWritten()
{
    if (m_writer.writing()) {
        // Written from inside a handler: what the drain allows is done once it returns.
        const bool more = m_mode == Mode::Passthrough
                          && (m_socket->bytesAvailable() > 0 || m_unaskedSent < m_settings.passthroughSend);
        if (more)
            QMetaObject::invokeMethod(this, [this] { onBytesWritten(); }, Qt::QueuedConnection);
        return;
    }
    sendUnasked();
    // The relay took some of the replies: what waits from it is read again.
    if (m_mode == Mode::Passthrough && m_socket->bytesAvailable() > 0)
        onReadyRead();
}

void PanelClient::leaveWhenSent()
{
    if (!m_leaving || !m_outgoing.isEmpty() || !m_socket)
        return;
    m_leaving = false;
    event(QStringLiteral("fault"), {{QStringLiteral("fault"), QStringLiteral("passthroughLeaveAfter")},
                                    {QStringLiteral("replies"), m_passthroughReplies}});
    sendReplies();
    m_socket->disconnectFromHost();   // the reply goes out first
}

void PanelClient::sendReply(const QByteArray &bytes, bool split)
{
    const qint64 due = m_readAt + m_settings.replyDelayMs * kNsPerMs;
    if (split && bytes.size() >= 2) {
        const int half = bytes.size() / 2;
        m_outgoing.enqueue({due, bytes.left(half)});
        m_outgoing.enqueue({due + kSplitGapMs * kNsPerMs, bytes.mid(half)});
        event(QStringLiteral("fault"), {{QStringLiteral("fault"), QStringLiteral("passthroughSplit")},
                                        {QStringLiteral("first"), half}});
    } else {
        m_outgoing.enqueue({due, bytes});
    }
    flushOutgoing();
}

// A download reply: one planned late goes out on its own when its time comes (later
// replies do not wait for it); with splitReplies a reply is written a byte at a time.
void PanelClient::sendDownloadReply(const PanelAction &reply)
{
    if (reply.delayMs > 0) {
        const QPointer<QTcpSocket> socket = m_socket;
        const QByteArray bytes = reply.bytes;
        const qint64 due = m_readAt + (m_settings.replyDelayMs + reply.delayMs) * kNsPerMs;
        const qint64 left = qMax<qint64>(0, due - ReplyDeadline::now());
        QTimer::singleShot(int((left + kNsPerMs - 1) / kNsPerMs), Qt::PreciseTimer, this, [this, socket, bytes] {
            if (!socket || socket != m_socket || m_mode != Mode::Download
                || socket->state() != QAbstractSocket::ConnectedState)
                return;
            event(QStringLiteral("late-reply"), {{QStringLiteral("reply"), QString::fromLatin1(bytes.toHex())}});
            m_writer.writeNow(socket, bytes);
        });
        return;
    }
    if (!m_settings.splitReplies || reply.bytes.size() < 2) {
        sendReply(reply.bytes);
        return;
    }
    event(QStringLiteral("fault"), {{QStringLiteral("fault"), QStringLiteral("splitReplies")},
                                    {QStringLiteral("bytes"), reply.bytes.size()}});
    const qint64 due = m_readAt + m_settings.replyDelayMs * kNsPerMs;
    for (int i = 0; i < reply.bytes.size(); ++i)
        m_outgoing.enqueue({due + i * kSplitGapMs * kNsPerMs, reply.bytes.mid(i, 1)});
    flushOutgoing();
}

void PanelClient::dropConnection(const PanelAction &close)
{
    qDebug() << "PanelClient::dropConnection" << m_settings.imei << close.name << close.reset;
    if (!m_socket)
        return;
    if (close.reset)
        LabReset::resetOnClose(m_socket->socketDescriptor());
    m_socket->abort();
}

void PanelClient::flushOutgoing()
{
    const qint64 now = ReplyDeadline::now();
    const bool connected = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    bool wrote = false;
    while (!m_outgoing.isEmpty() && m_outgoing.head().due <= now) {
        const Outgoing o = m_outgoing.dequeue();
        if (connected) {
            m_replies += o.bytes;
            wrote = true;
        }
    }
    if (!m_outgoing.isEmpty())
        m_sendDeadline->arm(m_outgoing.head().due);   // never early
    if (wrote && m_gatherReplies)
        m_repliesWaiting = true;
    else if (wrote)
        sendReplies();
    leaveWhenSent();
}

void PanelClient::sendReplies()
{
    if (m_replies.isEmpty())
        return;
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        m_replies.resize(0);
        return;
    }
    qint64 sent = 0;
    if (m_socket->bytesToWrite() == 0) {
        sent = qMax<ssize_t>(0, ::send(int(m_socket->socketDescriptor()), m_replies.constData(),
                                       size_t(m_replies.size()), MSG_NOSIGNAL | MSG_DONTWAIT));
    }
    // The rest waits in the socket for room; a failed send is found and reported there.
    const QByteArray rest = sent < m_replies.size() ? m_replies.mid(int(sent)) : QByteArray();
    m_replies.resize(0);
    if (!rest.isEmpty())
        m_writer.writeNow(m_socket, rest);
}

