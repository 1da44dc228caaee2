#include "relayserver.h"

#include "labeventlog.h"
#include "labreadtap.h"
#include "labreset.h"

#include <QDebug>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>

using RelayWire::Form;
using RelayWire::Kind;

RelayServer::RelayServer(const RelaySettings &settings, LabEventLog *events, QObject *parent)
    : QObject(parent), m_settings(settings), m_events(events), m_directBuffer(kReadBuffer, Qt::Uninitialized)
{
    connect(&m_server, &QTcpServer::newConnection, this, &RelayServer::onNewConnection);
}

RelayServer::~RelayServer()
{
    m_server.close();
    const auto peers = m_peers.values();
    for (Peer *p : peers) {
        if (p->socket) {
            p->socket->disconnect(this);
            p->socket->abort();
        }
        delete p;
    }
    m_peers.clear();
    m_panels.clear();
}

bool RelayServer::listen(quint16 port, QString *error)
{
    if (!m_server.listen(QHostAddress::LocalHost, port)) {
        *error = m_server.errorString();
        return false;
    }
    return true;
}

quint16 RelayServer::port() const
{
    return m_server.serverPort();
}

void RelayServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);   // forward small writes at once
        socket->setReadBufferSize(kReadBuffer);
        Peer *peer = new Peer;
        peer->socket = socket;
        peer->id = m_nextId++;
        m_peers.insert(socket, peer);
        connect(socket, &QTcpSocket::readyRead, this, [this, peer] { onReadyRead(peer); });
        connect(socket, &QTcpSocket::disconnected, this, [this, peer] { onDisconnected(peer); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, peer] { onBytesWritten(peer); });
        LabReadTap::attach(socket, [this, socket] { return forwardDirect(socket); });
        qDebug() << "RelayServer::onNewConnection" << peer->id << socket->peerPort();
    }
}

void RelayServer::onReadyRead(Peer *peer)
{
    if (!peer->socket)
        return;
    // A partner that does not take what it gets: this side is not read until it drains
    // (onBytesWritten); its bytes wait in the socket, then in the TCP stack.
    if (peer->partner && (peer->readPaused || queuedFor(peer->partner) >= kMaxHeld))
        return;
    const qint64 available = peer->socket->bytesAvailable();
    if (available <= 0)
        return;
    // Read into room kept from the last read; the copy below only shares it, so that a
    // read costs no allocation unless a holder of the bytes keeps them.
    m_readBuffer.resize(int(available));
    const qint64 n = peer->socket->read(m_readBuffer.data(), m_readBuffer.size());
    if (n <= 0)
        return;
    m_readBuffer.resize(int(n));
    const QByteArray bytes = m_readBuffer;
    switch (peer->role) {
    case Role::Unknown:
        peer->pending += bytes;
        handleRegistration(peer);
        break;
    case Role::Panel:
        if (peer->partner)
            forward(peer, bytes);
        else
            qDebug() << "RelayServer::onReadyRead idle panel bytes dropped" << peer->imei << bytes.size();
        break;
    case Role::Desktop:
        if (peer->partner)
            forward(peer, bytes);
        else   // its panel has left: nothing to deliver to
            qDebug() << "RelayServer::onReadyRead desktop bytes without panel dropped" << bytes.size();
        break;
    }
}

void RelayServer::handleRegistration(Peer *peer)
{
    const RelayWire::Registration reg = RelayWire::parseRegistration(peer->pending);
    switch (reg.kind) {
    case Kind::Incomplete:
        return;
    case Kind::Garbage:
        refuse(peer, reg.reason, QString(), QByteArray());
        return;
    case Kind::Panel:
        peer->pending.remove(0, reg.length);
        if (!peer->pending.isEmpty())
            qDebug() << "RelayServer::handleRegistration bytes after panel registration dropped"
                     << peer->pending.size();
        peer->pending.clear();
        registerPanel(peer, reg.imei);
        return;
    case Kind::Desktop:
        peer->pending.remove(0, reg.length);
        registerDesktop(peer, reg.body);
        return;
    }
}

void RelayServer::registerPanel(Peer *peer, const QString &imei)
{
    if (Peer *old = m_panels.value(imei)) {
        // The panel came back before its old connection was noticed as gone.
        m_events->write(imei, QStringLiteral("panel-replaced"), {{QStringLiteral("old"), old->id}});
        QTcpSocket *oldSocket = old->socket;
        onDisconnected(old);
        if (oldSocket)
            oldSocket->abort();
    }
    peer->role = Role::Panel;
    peer->imei = imei;
    m_panels.insert(imei, peer);
    peer->socket->write(RelayWire::kPanelAck);
    m_events->write(imei, QStringLiteral("panel-registered"), {{QStringLiteral("peer"), peer->id}});
}

void RelayServer::registerDesktop(Peer *peer, const QByteArray &body)
{
    peer->role = Role::Desktop;
    const RelayWire::DesktopMatch m = RelayWire::matchDesktop(
        body, [this](const QString &imei) { return m_panels.contains(imei); });
    QJsonObject fields{{QStringLiteral("registration"), QString::fromLatin1(body + RelayWire::kDelimiter)},
                       {QStringLiteral("peer"), peer->id}};
    if (!m.found) {
        fields.insert(QStringLiteral("form"), QStringLiteral("unknown"));
        fields.insert(QStringLiteral("downloadImei"), m.downloadImei);
        m_events->write(m.passthroughImei, QStringLiteral("desktop-registered"), fields);
        refuse(peer, QStringLiteral("offline"), m.passthroughImei, RelayWire::kOffline);
        return;
    }
    peer->imei = m.imei;
    fields.insert(QStringLiteral("form"), RelayWire::formName(m.form));
    m_events->write(m.imei, QStringLiteral("desktop-registered"), fields);
    if (m_settings.refuses(m.imei)) {
        refuse(peer, QStringLiteral("refused by config"), m.imei, RelayWire::kOffline);
        return;
    }
    Peer *panel = m_panels.value(m.imei);
    if (panel->partner) {
        refuse(peer, QStringLiteral("busy"), m.imei, RelayWire::kBusy);
        return;
    }
    startSession(peer, panel, m.form);
}

void RelayServer::startSession(Peer *desktop, Peer *panel, Form form)
{
    desktop->partner = panel;
    desktop->form = form;
    panel->partner = desktop;
    panel->form = form;
    panel->toPanel = panel->toDesktop = 0;
    desktop->toPanel = desktop->toDesktop = 0;
    desktop->rule = m_settings.ruleFor(panel->imei);

    const QString variant = m_settings.goAheadFor(panel->imei);
    const QList<RelayWire::GoAheadStep> steps = RelayWire::goAheadSteps(variant);
    m_events->write(panel->imei, QStringLiteral("session-start"),
                    {{QStringLiteral("form"), RelayWire::formName(form)},
                     {QStringLiteral("desktop"), desktop->id},
                     {QStringLiteral("panel"), panel->id}});
    panel->socket->write(RelayWire::sessionMessage(form));
    m_events->write(panel->imei, QStringLiteral("go-ahead"),
                    {{QStringLiteral("variant"), variant.isEmpty() ? QStringLiteral("normal") : variant},
                     {QStringLiteral("sent"), !steps.isEmpty()}});
    desktop->goAheadPending = true;
    writeGoAheadStep(desktop, steps, 0);
    if (desktop->rule.pauseDesktopMs > 0)
        pauseDesktop(desktop);

    // Bytes the desktop sent right behind its registration belong to the panel.
    if (!desktop->pending.isEmpty()) {
        const QByteArray early = desktop->pending;
        desktop->pending.clear();
        forward(desktop, early);
    }
}

void RelayServer::writeGoAheadStep(Peer *desktop, const QList<RelayWire::GoAheadStep> &steps, int index)
{
    if (!desktop->socket)
        return;
    if (index >= steps.size()) {
        if (steps.isEmpty())
            return;   // "none": the desktop never hears back; its panel bytes stay held
        desktop->goAheadPending = false;
        flushHeld(desktop);
        return;
    }
    desktop->socket->write(steps.at(index).bytes);
    if (index + 1 < steps.size()) {
        QPointer<QTcpSocket> guard = desktop->socket;
        QTimer::singleShot(steps.at(index + 1).delayMs, this, [this, guard, desktop, steps, index] {
            if (guard && m_peers.value(guard) == desktop)
                writeGoAheadStep(desktop, steps, index + 1);
        });
    } else {
        writeGoAheadStep(desktop, steps, index + 1);
    }
}

void RelayServer::forward(Peer *from, const QByteArray &bytes)
{
    Peer *to = from->partner;
    if (!to || !to->socket)
        return;
    if (from->role == Role::Desktop) {
        const QByteArray out = cutForLeaving(from, bytes);
        if (from->form == Form::Passthrough)
            keepTail(&from->toPanelTail, out.constData(), out.size());
        from->toPanel += out.size();
        to->toPanel += out.size();
        m_writer.writeNow(to->socket, out);
    } else {
        from->toDesktop += bytes.size();
        to->toDesktop += bytes.size();
        holdForDesktop(to, bytes);
    }
}

bool RelayServer::canForwardDirect(const Peer *from) const
{
    const Peer *to = from->partner;
    if (!to || !from->socket || !to->socket || from->readPaused)
        return false;
    const Peer *desktop = from->role == Role::Desktop ? from : to;
    if (desktop->goAheadPending || desktop->leaving || desktop->flushPending)
        return false;
    // The byte faults hold for pass-through sessions only.
    const RelaySettings::PanelRule &rule = desktop->rule;
    if (from->form == Form::Passthrough
        && (rule.coalesceMs > 0 || rule.closeAfterBytes > 0 || rule.resetAfterBytes > 0))
        return false;
    // Bytes the socket or the relay already holds go first, on the usual path.
    return from->pending.isEmpty() && from->socket->bytesAvailable() == 0 && to->socket->bytesToWrite() == 0
           && to->heldForDesktop.isEmpty();
}

bool RelayServer::forwardDirect(QTcpSocket *socket)
{
    Peer *from = m_peers.value(socket);
    if (!from || !canForwardDirect(from))
        return false;
    Peer *to = from->partner;
    char *buffer = m_directBuffer.data();
    const ssize_t n = ::recv(int(socket->socketDescriptor()), buffer, size_t(m_directBuffer.size()), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return true;
    if (n <= 0)
        return false;   // the end of the connection, or its error: the socket finds it and reports it
    const char *bytes = buffer;
    if (from->role == Role::Desktop) {
        if (from->form == Form::Passthrough)
            keepTail(&from->toPanelTail, bytes, int(n));
        from->toPanel += n;
        to->toPanel += n;
    } else {
        from->toDesktop += n;
        to->toDesktop += n;
    }
    const ssize_t sent = ::send(int(to->socket->socketDescriptor()), bytes, size_t(n), MSG_NOSIGNAL | MSG_DONTWAIT);
    const qint64 done = qMax<ssize_t>(sent, 0);
    // A partner that takes less (or fails): the rest goes the usual way, which waits for
    // room, stops reading this side while it is full, or reports the partner's end.
    if (done < n)
        m_writer.writeNow(to->socket, QByteArray(bytes + done, int(n - done)));
    return true;
}

// The last kTail bytes of what went to the panel, kept in place.
void RelayServer::keepTail(QByteArray *tail, const char *out, int size)
{
    if (size >= kTail) {
        tail->resize(kTail);
        std::memcpy(tail->data(), out + size - kTail, kTail);
    } else if (size > 0) {
        tail->append(out, size);
        tail->remove(0, qMax(0, tail->size() - kTail));
    }
}

qint64 RelayServer::queuedFor(const Peer *to) const
{
    return (to->socket ? to->socket->bytesToWrite() : 0) + to->heldForDesktop.size();
}

void RelayServer::onBytesWritten(Peer *peer)
{
    Peer *from = peer->partner;
    if (!from || !from->socket || from->socket->bytesAvailable() <= 0)
        return;
    if (m_writer.writing())   // drained from inside a forward: its source is read once that returns
        readLater(from);
    else
        onReadyRead(from);
}

void RelayServer::readLater(Peer *peer)
{
    QPointer<QTcpSocket> guard = peer->socket;
    QMetaObject::invokeMethod(this, [this, guard, peer] {
        if (guard && m_peers.value(guard) == peer && guard->bytesAvailable() > 0)
            onReadyRead(peer);
    }, Qt::QueuedConnection);
}

// Panel bytes (and the note that the panel has gone) for a desktop: held until the
// go-ahead is out (with "none" it never is: the panel is then no longer read once
// kMaxHeld are held), or gathered for coalesceMs; else written at once.
void RelayServer::holdForDesktop(Peer *desktop, const QByteArray &bytes)
{
    const int coalesceMs = desktop->form == Form::Passthrough ? desktop->rule.coalesceMs : 0;
    if (!desktop->goAheadPending && coalesceMs == 0) {
        m_writer.writeNow(desktop->socket, bytes);
        return;
    }
    desktop->heldForDesktop += bytes;
    if (coalesceMs == 0 || desktop->flushPending)
        return;
    desktop->flushPending = true;
    QPointer<QTcpSocket> guard = desktop->socket;
    QTimer::singleShot(coalesceMs, this, [this, guard, desktop] {
        if (guard && m_peers.value(guard) == desktop)
            flushHeld(desktop);
    });
}

void RelayServer::flushHeld(Peer *desktop)
{
    desktop->flushPending = false;
    if (desktop->goAheadPending || desktop->heldForDesktop.isEmpty() || !desktop->socket)
        return;
    if (desktop->rule.coalesceMs > 0 && desktop->form == Form::Passthrough)
        m_events->writeSoon(desktop->imei, QStringLiteral("fault"),
                        {{QStringLiteral("fault"), QStringLiteral("coalesceMs")},
                         {QStringLiteral("len"), desktop->heldForDesktop.size()},
                         {QStringLiteral("panelGone"), desktop->heldForDesktop.endsWith(RelayWire::kPanelGone)}});
    const QByteArray held = desktop->heldForDesktop;
    desktop->heldForDesktop.clear();
    m_writer.writeNow(desktop->socket, held);
}

// closeAfterBytes / resetAfterBytes: the desktop's bytes up to the count go to the
// panel; then the desktop connection is closed (FIN) or reset (RST).
QByteArray RelayServer::cutForLeaving(Peer *desktop, const QByteArray &bytes)
{
    if (desktop->leaving)
        return QByteArray();
    const bool reset = desktop->rule.resetAfterBytes > 0;
    const qint64 limit = reset ? desktop->rule.resetAfterBytes : desktop->rule.closeAfterBytes;
    if (desktop->form != Form::Passthrough || limit <= 0 || desktop->toPanel + bytes.size() < limit)
        return bytes;
    desktop->leaving = true;
    const QString fault = reset ? QStringLiteral("resetAfterBytes") : QStringLiteral("closeAfterBytes");
    m_events->write(desktop->imei, QStringLiteral("fault"),
                    {{QStringLiteral("fault"), fault}, {QStringLiteral("bytes"), double(limit)}});
    QPointer<QTcpSocket> guard = desktop->socket;
    QMetaObject::invokeMethod(this, [this, guard, desktop, reset] {
        if (!guard || m_peers.value(guard) != desktop)
            return;
        if (reset) {
            // No lingering: closing sends a reset instead of the orderly end.
            const linger noLinger{1, 0};
            ::setsockopt(int(guard->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
            guard->abort();
        } else {
            guard->disconnectFromHost();
        }
    }, Qt::QueuedConnection);
    return bytes.left(int(limit - desktop->toPanel));
}

void RelayServer::pauseDesktop(Peer *desktop)
{
    desktop->readPaused = true;
    m_events->write(desktop->imei, QStringLiteral("fault"),
                    {{QStringLiteral("fault"), QStringLiteral("pauseDesktopMs")},
                     {QStringLiteral("ms"), desktop->rule.pauseDesktopMs}});
    QPointer<QTcpSocket> guard = desktop->socket;
    QTimer::singleShot(desktop->rule.pauseDesktopMs, this, [this, guard, desktop] {
        if (!guard || m_peers.value(guard) != desktop)
            return;
        desktop->readPaused = false;
        m_events->write(desktop->imei, QStringLiteral("pause-end"),
                        {{QStringLiteral("waiting"), double(guard->bytesAvailable())}});
        readLater(desktop);
    });
}

void RelayServer::endSession(Peer *desktop, Peer *panel, const QString &reason)
{
    m_events->write(panel->imei, QStringLiteral("session-end"),
                    {{QStringLiteral("form"), RelayWire::formName(panel->form)},
                     {QStringLiteral("reason"), reason},
                     {QStringLiteral("toPanel"), double(panel->toPanel)},
                     {QStringLiteral("toDesktop"), double(panel->toDesktop)},
                     {QStringLiteral("desktop"), desktop->id}});
    desktop->partner = nullptr;
    panel->partner = nullptr;
    // Either side may have stopped being read while its partner was full.
    readLater(desktop);
    readLater(panel);
}

void RelayServer::onDisconnected(Peer *peer)
{
    if (!m_peers.contains(peer->socket) || m_peers.value(peer->socket) != peer)
        return;
    if (peer->role == Role::Desktop) {
        if (Peer *panel = peer->partner) {
            endSession(peer, panel, QStringLiteral("desktop-left"));
            // A pass-through desktop that left in the middle of a message: that message
            // is ended first, so that the panel cannot take the note for its last bytes.
            const bool midMessage = peer->form == Form::Passthrough && !peer->toPanelTail.isEmpty()
                                    && !peer->toPanelTail.endsWith(RelayWire::kDelimiter);
            if (panel->socket)
                panel->socket->write(midMessage ? RelayWire::kDelimiter + RelayWire::kEnd : RelayWire::kEnd);
        }
        m_events->write(peer->imei, QStringLiteral("desktop-left"), {{QStringLiteral("peer"), peer->id}});
    } else if (peer->role == Role::Panel) {
        const bool inSession = peer->partner != nullptr;
        if (Peer *desktop = peer->partner) {
            endSession(desktop, peer, QStringLiteral("panel-left"));
            if (desktop->socket) {
                if (desktop->form == Form::Passthrough) {
                    desktop->panelGone = true;
                    holdForDesktop(desktop, RelayWire::kPanelGone);
                } else {
                    dropDownloadDesktop(desktop, peer->imei);
                }
            }
        }
        if (m_panels.value(peer->imei) == peer)
            m_panels.remove(peer->imei);
        m_events->write(peer->imei, QStringLiteral("panel-left"),
                        {{QStringLiteral("peer"), peer->id}, {QStringLiteral("inSession"), inSession}});
    }
    dropPeer(peer);
}

// The panel of a download left: its desktop is disconnected, or reset when the panel's
// faults say so (resetAfterFrames). The reset is done once the panel's leaving is
// handled, outside the signal that reports it.
void RelayServer::dropDownloadDesktop(Peer *desktop, const QString &imei)
{
    if (!m_settings.resetsDesktop(imei)) {
        desktop->socket->disconnectFromHost();
        return;
    }
    m_events->write(imei, QStringLiteral("desktop-reset"), {{QStringLiteral("peer"), desktop->id}});
    const QPointer<QTcpSocket> socket = desktop->socket;
    QTimer::singleShot(0, this, [socket] {
        if (!socket)
            return;
        LabReset::resetOnClose(socket->socketDescriptor());
        socket->abort();
    });
}

void RelayServer::refuse(Peer *peer, const QString &reason, const QString &imei, const QByteArray &answer)
{
    QJsonObject fields{{QStringLiteral("reason"), reason}, {QStringLiteral("peer"), peer->id}};
    if (answer.isEmpty())
        fields.insert(QStringLiteral("head"), QString::fromLatin1(peer->pending.left(64).toHex()));
    else
        fields.insert(QStringLiteral("answer"), QString::fromLatin1(answer));
    m_events->write(imei, QStringLiteral("refused"), fields);
    QTcpSocket *socket = peer->socket;
    peer->role = Role::Unknown;
    dropPeer(peer);
    if (socket) {
        if (!answer.isEmpty())
            socket->write(answer);
        socket->disconnectFromHost();   // sends what is queued, then closes
    }
}

void RelayServer::dropPeer(Peer *peer)
{
    QTcpSocket *socket = peer->socket;
    if (socket) {
        m_peers.remove(socket);
        socket->disconnect(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->state() == QAbstractSocket::UnconnectedState)
            socket->deleteLater();
    }
    if (peer->partner && peer->partner->partner == peer)
        peer->partner->partner = nullptr;
    delete peer;
}
