#ifndef RELAYSERVER_H
#define RELAYSERVER_H

#include "labwriter.h"
#include "relaysettings.h"
#include "relaywire.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;
class LabEventLog;

// The relay server of the lab: panels register and wait; a desktop registers with a
// panel's IMEI, gets the go-ahead, and from then on the two connections are joined
// byte for byte until one side leaves.
class RelayServer : public QObject
{
    Q_OBJECT
public:
    RelayServer(const RelaySettings &settings, LabEventLog *events, QObject *parent = nullptr);
    ~RelayServer() override;

    // Bytes queued toward one side (in its socket, or held for a desktop) before the
    // other side is no longer read until they drain.
    static constexpr int kMaxHeld = 1024 * 1024;
    // What the relay takes from one connection at a time; a connection that is not
    // read keeps the rest in the TCP stack.
    static constexpr int kReadBuffer = 64 * 1024;

    bool listen(quint16 port, QString *error);
    quint16 port() const;

private:
    enum class Role { Unknown, Panel, Desktop };

    struct Peer
    {
        QPointer<QTcpSocket> socket;
        Role role = Role::Unknown;
        QString imei;
        QByteArray pending;            // registration bytes, or desktop bytes held back
        Peer *partner = nullptr;
        RelayWire::Form form = RelayWire::Form::Download;
        bool goAheadPending = false;   // split go-ahead still being written
        QByteArray heldForDesktop;     // panel bytes waiting for the go-ahead to finish
        bool panelGone = false;        // pass-through desktop whose panel left
        qint64 toPanel = 0;
        qint64 toDesktop = 0;
        int id = 0;
        // Pass-through faults of the session's panel, and their state.
        RelaySettings::PanelRule rule;
        bool readPaused = false;       // pauseDesktopMs running
        bool leaving = false;          // closeAfterBytes/resetAfterBytes reached
        bool flushPending = false;     // coalesceMs: a write of heldForDesktop is due
        QByteArray toPanelTail;        // pass-through desktop: the last kTail bytes sent to the panel
    };

    void onNewConnection();
    void onReadyRead(Peer *peer);
    void onDisconnected(Peer *peer);

    void handleRegistration(Peer *peer);
    void registerPanel(Peer *peer, const QString &imei);
    void registerDesktop(Peer *peer, const QByteArray &body);
    void startSession(Peer *desktop, Peer *panel, RelayWire::Form form);
    void writeGoAheadStep(Peer *desktop, const QList<RelayWire::GoAheadStep> &steps, int index);
    void forward(Peer *from, const QByteArray &bytes);
    // A session (pass-through or download) with no fault of its own at work and nothing
    // queued on either side: what the socket's descriptor has is read and sent on to the
    // partner's at once (one recv, one send). False when the socket is to be read as usual.
    bool forwardDirect(QTcpSocket *socket);
    bool canForwardDirect(const Peer *from) const;
    static constexpr int kTail = 3;   // the size of the message delimiter
    static void keepTail(QByteArray *tail, const char *out, int size);
    // Writes forwarded bytes and puts them out in this loop turn. The socket may be gone
    // when it returns (a failed write closes it): callers touch nothing of its peer after.
    qint64 queuedFor(const Peer *to) const;
    void onBytesWritten(Peer *peer);
    // Reads what waits on the peer's socket once the event loop is back (after its
    // partner changed or a pause ended).
    void readLater(Peer *peer);
    // Pass-through faults.
    void holdForDesktop(Peer *desktop, const QByteArray &bytes);
    void flushHeld(Peer *desktop);
    QByteArray cutForLeaving(Peer *desktop, const QByteArray &bytes);
    void pauseDesktop(Peer *desktop);
    void endSession(Peer *desktop, Peer *panel, const QString &reason);
    void dropDownloadDesktop(Peer *desktop, const QString &imei);
    void refuse(Peer *peer, const QString &reason, const QString &imei, const QByteArray &answer);
    void dropPeer(Peer *peer);

    RelaySettings m_settings;
    LabEventLog *m_events;
    QTcpServer m_server;
    QHash<QTcpSocket *, Peer *> m_peers;
    QHash<QString, Peer *> m_panels;   // online panels by IMEI
    int m_nextId = 1;
    LabWriter m_writer;   // writes in the loop turn; bytesWritten handled after it
    QByteArray m_readBuffer;           // what onReadyRead() read last
    QByteArray m_directBuffer;         // what forwardDirect() read last, never shared
};

#endif // RELAYSERVER_H
