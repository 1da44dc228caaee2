#ifndef PANELCLIENT_H
#define PANELCLIENT_H

#include "labwriter.h"
#include "panelsettings.h"
#include "paneltransfer.h"

#include <QObject>
#include <QQueue>
#include <QTimer>

class QTcpSocket;
class LabEventLog;
class PanelSerial;
class ReplyDeadline;

// One panel of the lab: keeps a connection to the relay (reconnecting and
// registering again after any loss), and plays a download or pass-through session
// when the relay starts one.
class PanelClient : public QObject
{
    Q_OBJECT
public:
    PanelClient(const PanelSettings &settings, const QString &relayHost, quint16 relayPort,
                const QString &outDir, LabEventLog *events, QObject *parent = nullptr);
    ~PanelClient() override;

    void start();
    QString imei() const { return m_settings.imei; }

    static constexpr int kRetryMs = 200;
    static constexpr int kQuietMs = 300;
    static constexpr int kSplitGapMs = 30;
    static constexpr int kMaxControl = 256;
    static constexpr qint64 kNsPerMs = 1000000;
    static constexpr int kMaxPassthrough = 64 * 1024;
    // Pass-through: bytes queued toward the relay before the relay is no longer read,
    // and what one read takes from it.
    static constexpr int kMaxQueued = 1024 * 1024;
    static constexpr int kPassthroughReadBuffer = 64 * 1024;
    // Event lines show at most this many bytes of a pass-through message in hex.
    static constexpr int kEventHexBytes = 256;
    // passthroughSend: the size of each message, and the time after the session's start
    // before the first (so that it never shares a read with the relay's go-ahead).
    static constexpr int kUnaskedMessage = 4096;
    static constexpr int kUnaskedDelayMs = 300;

signals:
    void registered(const QString &imei);

private:
    enum class Mode { Offline, Registering, Idle, Download, Passthrough };

    struct Outgoing
    {
        qint64 due;        // ns on ReplyDeadline::now()
        QByteArray bytes;
    };

    void connectToRelay();
    void onConnected();
    void onReadyRead();
    void onSocketState();
    void goOffline();

    void handleControl(const QByteArray &bytes);
    void startSession(Mode mode);
    void endSession(const QString &reason);
    void handleDownload(const QByteArray &bytes);
    void runActions(const QList<PanelAction> &actions);
    void handlePassthrough(const QByteArray &bytes);
    // Pass-through bytes read from the descriptor straight into what was collected, when
    // the socket holds none of its own; false when the socket is to be read as usual.
    bool readPassthroughDirect();
    void takeCollected();
    void onSerialData(const QByteArray &data);
    bool passthroughBackedUp() const;
    void onBytesWritten();
    void leaveWhenSent();
    void sendUnasked();

    void sendReply(const QByteArray &bytes, bool split = false);
    void sendDownloadReply(const PanelAction &reply);
    void dropConnection(const PanelAction &close);
    void flushOutgoing();
    // Puts out the replies gathered in m_replies: sent at once when nothing waits in the
    // socket, else (and for what the relay does not take at once) written to the socket.
    void sendReplies();
    // Writes to the relay and puts the bytes out in this loop turn.
    void event(const QString &name, const QJsonObject &fields = QJsonObject());
    QString storeFile(int code, const QByteArray &data, QString *error);

    const PanelSettings m_settings;
    const QString m_host;
    const quint16 m_port;
    const QString m_outDir;
    LabEventLog *m_events;

    QTcpSocket *m_socket = nullptr;
    Mode m_mode = Mode::Offline;
    QByteArray m_control;
    QByteArray m_collected;
    PanelTransfer m_transfer;
    PanelSerial *m_serial;
    QTimer m_retry;
    QTimer m_quiet;
    ReplyDeadline *m_sendDeadline;
    // When the bytes being handled were read: a reply's delay counts from here, so that
    // the emulated round trip holds none of the lab's own work.
    qint64 m_readAt = 0;
    LabWriter m_writer;   // writes in the loop turn; bytesWritten handled after it
    bool m_gatherReplies = false;  // inside the echo's write: replies are put out after it
    bool m_repliesWaiting = false; // replies gathered but not yet put out
    QByteArray m_replies;          // replies due, gathered for one send
    QQueue<Outgoing> m_outgoing;
    bool m_everRegistered = false;
    int m_connections = 0;
    int m_passthroughReplies = 0;  // serial replies sent in this pass-through session
    bool m_leaving = false;        // passthroughLeaveAfter: leave once the reply is out
    qint64 m_unaskedSent = 0;      // passthroughSend: bytes of this session sent so far
    int m_sessions = 0;            // sessions begun on this panel
};

#endif // PANELCLIENT_H
