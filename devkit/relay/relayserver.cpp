#include "relayserver.h"

#include "labeventlog.h"
#include "labreset.h"

#include <QDebug>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

using RelayWire::Form;
using RelayWire::Kind;

RelayServer::RelayServer(const RelaySettings &settings, LabEventLog *events, QObject *parent)
    : QObject(parent), m_settings(settings), m_events(events)
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
        Peer *peer = new Peer;
        peer->socket = socket;
        peer->id = m_nextId++;
        m_peers.insert(socket, peer);
        connect(socket, &QTcpSocket::readyRead, this, [this, peer] { onReadyRead(peer); });
        connect(socket, &QTcpSocket::disconnected, this, [this, peer] { onDisconnected(peer); });
        qDebug() << "RelayServer::onNewConnection" << peer->id << socket->peerPort();
    }
}

void RelayServer::onReadyRead(Peer *peer)
{
    if (!peer->socket)
        return;
    const QByteArray bytes = peer->socket->readAll();
    if (bytes.isEmpty())
        return;
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
        if (!desktop->heldForDesktop.isEmpty()) {
            desktop->socket->write(desktop->heldForDesktop);
            desktop->heldForDesktop.clear();
        }
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
        from->toPanel += bytes.size();
        to->toPanel += bytes.size();
        to->socket->write(bytes);
    } else {
        from->toDesktop += bytes.size();
        to->toDesktop += bytes.size();
        if (to->goAheadPending) {
            // Held until the go-ahead is out; with "none" it never is, so keep a bound.
            if (to->heldForDesktop.size() + bytes.size() <= kMaxHeld)
                to->heldForDesktop += bytes;
            else
                qDebug() << "RelayServer::forward held bytes over the bound dropped" << bytes.size();
        } else
            to->socket->write(bytes);
    }
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
}

void RelayServer::onDisconnected(Peer *peer)
{
    if (!m_peers.contains(peer->socket) || m_peers.value(peer->socket) != peer)
        return;
    if (peer->role == Role::Desktop) {
        if (Peer *panel = peer->partner) {
            endSession(peer, panel, QStringLiteral("desktop-left"));
            if (panel->socket)
                panel->socket->write(RelayWire::kEnd);
        }
        m_events->write(peer->imei, QStringLiteral("desktop-left"), {{QStringLiteral("peer"), peer->id}});
    } else if (peer->role == Role::Panel) {
        const bool inSession = peer->partner != nullptr;
        if (Peer *desktop = peer->partner) {
            endSession(desktop, peer, QStringLiteral("panel-left"));
            if (desktop->socket) {
                if (desktop->form == Form::Passthrough) {
                    desktop->panelGone = true;
                    if (desktop->goAheadPending)
                        desktop->heldForDesktop += RelayWire::kPanelGone;
                    else
                        desktop->socket->write(RelayWire::kPanelGone);
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
