#ifndef DOWNFILEOBJ_H
#define DOWNFILEOBJ_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

#include "cloudendpoint.h"
#include "relayendpoint.h"

class CloudClient;
class QDeadlineTimer;
class QFile;
class QTcpSocket;

// Carries out one remote update operation for one panel on a thread of its own:
// code 0 firmware download, 1 project download, 2 cloud project sync. Requests come
// in through the slots (queued from the update dialog); every slot reports with
// information(code, text) and ends with exactly one finishThrd(code).
class DownFileOBJ : public QObject
{
    Q_OBJECT
public:
    // A worker whose cloud project sync talks to no service: it has no base URL.
    DownFileOBJ(QString iMei, QString account, QString password, QObject *parent = nullptr);
    // cloud: the service of the cloud project sync, as the settings read at start say.
    // The relay endpoint and the run-time overrides are taken here, once.
    DownFileOBJ(QString iMei, QString account, QString password, const CloudEndpoint &cloud,
                QObject *parent = nullptr);
    ~DownFileOBJ() override;

    // Called directly from the dialog's thread, also while an operation runs: true
    // shortens every relay wait to 1 ms so a running download ends at once; false
    // restores the normal waits.
    void setStopFlag(bool bflag);

    bool stopFlag() const { return bStop.load(std::memory_order_relaxed); }
    int replyTimeout() const { return nReplyTimeout.load(std::memory_order_relaxed); }
    int ioTimeout() const { return nIoTimeout.load(std::memory_order_relaxed); }
    int connectTimeout() const { return nConnectTimeout.load(std::memory_order_relaxed); }

signals:
    void information(int type, QString msg);
    void finishThrd(int op);

public slots:
    void updateCloudConf(QString sPath, bool useName);
    void updateConfigTcp(QString sPath, int nFrameByte = 512, bool bHzFile = false,
                         bool updateFlag = false);
    void updateFirmWareTcp(QString sPath, int nFrameByte = 512);

private:
    // Uploads the archive at sPath (streamed from the file) for the project uuid; the
    // text to report, empty when nothing is to be reported.
    QString uploadArchive(const QString &sPath, const QString &uuid, bool useName);

    // Relay link (runs on the worker's thread only).
    enum class FrameOutcome { Done, ChecksumErrors, NoAcknowledgement, ShortWrites, Stopped, LinkLost,
                              ReadFailed };

    int check_ok();
    bool writeFile(QString path, QString name, int chunkSize, uchar fileCode);

    bool openLink(int op, int connectMs, bool ioTimeouts);
    void closeLink();
    bool linkLost() const;
    bool queryModel(int op, int replyMs, QByteArray *reply);
    bool queryVersion(quint32 *version);
    QByteArray collectReply(int size, int ms);
    void discardWaiting(const char *before, qint64 which);
    void discardLateAnswers();
    qint64 sendCommand(uchar code, quint32 size, quint32 sum, int waitMs);
    FrameOutcome sendFrames(QFile &file, qint64 size, int chunkSize,
                            const std::function<void(qint64)> &progress, bool firmware, bool *unanswered);
    FrameOutcome sendEndOfFile(bool lateAnswersPossible);
    bool stopRequested() const;
    int scaledWait(int ms) const;
    bool waitConnected(int ms);
    bool waitWritten(int ms);
    bool waitReadable(int ms);
    bool waitReadableUntil(const QDeadlineTimer &deadline);

    // Archives and files, read in pieces.
    bool unpackArchive(int op, const QString &archive, const QString &dir, const QString &unreadableText,
                       QStringList *files);
    bool readInPieces(QFile &file, const std::function<void(const char *, qint64)> &take);
    bool fileSum(QFile &file, quint32 *sum);

    static constexpr int kReplyTimeoutMs = 5000;
    static constexpr int kIoTimeoutMs = 10000;
    static constexpr int kConnectTimeoutMs = 3000;

    QString iMei;
    QString account;
    QString password;
    std::atomic<bool> bStop;
    std::atomic<int> nReplyTimeout;    // ms, panel reply to a command frame
    std::atomic<int> nIoTimeout;       // ms, frame writes and replies during a download
    std::atomic<int> nConnectTimeout;  // ms, connection and registration with the relay
    CloudEndpoint cloud;
    RelayEndpoint relay;
    double waitScale;   // applied to every wait of the relay link
    // Made by the first cloud project sync, on the worker's thread: a download-only
    // worker has no network manager.
    std::unique_ptr<CloudClient> cloudClient;
    QTcpSocket *tcpSocket;
};

#endif // DOWNFILEOBJ_H
