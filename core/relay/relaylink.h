#ifndef RELAYLINK_H
#define RELAYLINK_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

#include "relayendpoint.h"

class QDeadlineTimer;
class QFile;
class QObject;
class QTcpSocket;
class RelayWaits;

// The download link to a panel through the relay server, driven with the blocking
// waits of QTcpSocket on the thread of the worker that owns it: connection,
// registration and go-ahead, command frames and the panel's acknowledgements, data
// frames with their retries, the end of a file, the model and version queries.
//
// Whatever already waits on the link is dropped before every command, and before every
// frame once a wait on the link has run out or an answer brought more than was asked, so
// an answer that came after its wait is never taken for the answer to what is sent next.
// A connection that the relay closed or reset is seen at once (lost()). Every wait is
// bounded, ended at once by a stop request (RelayWaits; where the system gives no wake
// descriptor, within one slice), and scaled by the factor of the run-time overrides.
class RelayLink
{
public:
    // How the sending of a file (or of its frames, or of its end command) went.
    enum class Outcome {
        Done,
        AnnounceNotSent,    // the announcing command frame was not written whole
        AnnounceRefused,    // the panel did not accept the announcement
        ChecksumErrors,     // the last frame was refused for its checksum 10 times
        NoAcknowledgement,  // the last frame went unanswered 10 times
        ShortWrites,        // a frame could not be written whole, or had no room for data
        Stopped,            // the stop request, looked at between frames
        LinkLost,           // the relay closed or reset the connection
        ReadFailed,         // the file could not be read
        EndRefused,         // the end command was not accepted in 10 attempts
    };
    enum class Opening { Ready, NotConnected, NoGoAhead };
    enum class Query { Answered, NotSent, NoAnswer };

    // owner: the parent of the socket (the worker, so that the socket lives on its
    // thread); waits: the worker's stop request and bounds, read at every wait.
    RelayLink(QObject *owner, const RelayEndpoint &endpoint, double waitScale,
              const RelayWaits &waits);
    ~RelayLink();
    RelayLink(const RelayLink &) = delete;
    RelayLink &operator=(const RelayLink &) = delete;

    // Connects (within connectMs), registers imei for a download and waits for the
    // go-ahead, each registration wait bounded by the waits' I/O bound (ioBound) or
    // their connect bound, as they are when the wait starts. Without a connection or
    // without the go-ahead the link is closed again.
    Opening open(const QString &imei, int connectMs, bool ioBound);
    // Closes the connection and releases the socket; nothing when there is none.
    void close();
    // The relay closed or reset the connection, or a write failed on it.
    bool lost() const;

    // Sends a command frame and waits up to waitMs for it to be written; what write()
    // took (35 when the whole frame was taken).
    qint64 sendCommand(uchar code, quint32 size, quint32 sum, int waitMs);
    // Waits for one acknowledgement and classifies it: 1 accepted, 2 checksum error,
    // 0 anything else (no answer within the reply bound, or the stop request).
    int check_ok();
    // Waits up to ms until everything is written; false when it was not.
    bool waitWritten(int ms);

    // The model query: the reply as it came (complete, 3 bytes, or what came within
    // replyMs). NoAnswer when nothing came.
    Query queryModel(int replyMs, QByteArray *reply);
    // The version query: the panel's project version (4 bytes big-endian). NoAnswer
    // when fewer than 4 bytes came within replyMs.
    Query queryVersion(int replyMs, quint32 *version);

    // Sends size bytes of file in frames of at most chunkSize bytes, each one until
    // the panel accepts it, at most 10 attempts per frame. Each frame's chunk is read
    // from the file when the frame is built, while the panel answers the frame before
    // it; a frame sent again is not read again. progress gets the offset after an
    // accepted frame once the next frame has been written: after the first and the last
    // frame always, after the ones between at most every progressEveryMs (0: after every
    // one), and after the last accepted one before any outcome other than Done (the
    // progress is never left behind). stopBetweenFrames: the stop
    // request is looked at before every frame (else a stop runs into the unanswered
    // attempts). *unanswered is set when an attempt got no answer within its wait (one
    // may still come).
    Outcome sendFrames(QFile &file, qint64 size, int chunkSize, int progressEveryMs,
                       const std::function<void(qint64)> &progress, bool stopBetweenFrames,
                       bool *unanswered);
    // The end command, up to 10 attempts: Done once the panel accepts the file. After
    // unanswered attempts their late answers get one reply wait to come and are
    // dropped first: the answer to the end command alone decides.
    Outcome sendEndOfFile(bool lateAnswersPossible);
    // One whole file: announced with code, size and sum (and its acknowledgement),
    // sent in frames (sendFrames), ended (sendEndOfFile). announced is called once the
    // panel has accepted the announcement.
    Outcome sendFile(QFile &file, qint64 size, quint32 sum, uchar code, int chunkSize,
                     bool stopBetweenFrames, int progressEveryMs,
                     const std::function<void(qint64)> &progress,
                     const std::function<void()> &announced);

private:
    int scaledWait(int ms) const;
    bool stopRequested() const;
    void await(bool writable, qint64 ms);
    qint64 writeBytes(const char *data, qint64 len);
    qint64 readAndDrop(char *first, int firstSize);
    qint64 readAck(char *first);
    qint64 ackRead(qint64 n);
    void blockingAnswers(bool on);
    Outcome sendFramesOf(QFile &file, qint64 size, int chunkSize, int progressEveryMs,
                         const std::function<void(qint64)> &progress, bool stopBetweenFrames,
                         bool *unanswered);
    void watchAnswers();
    bool waitReadable(int ms);
    bool waitReadableUntil(const QDeadlineTimer &deadline);
    QByteArray collectReply(int size, int ms);
    void discardWaiting(const char *before, qint64 which);
    void discardLateAnswers();

    QObject *m_owner;
    RelayEndpoint m_endpoint;
    double m_waitScale;
    const RelayWaits &m_waits;
    QTcpSocket *m_socket = nullptr;
    int m_fd = -1;          // the socket's descriptor while connected
    int m_answers = -1;     // the epoll set of the socket and the stop's wake descriptor
    bool m_blocking = false;   // frames go: the socket blocks, with timeouts
    bool m_ended = false;   // a read straight from the descriptor found the connection ended
    // A wait on the link ran out or an answer brought more than asked: from then on,
    // bytes may wait on the link before a frame goes out (a late answer), and they are
    // dropped first. Before that, nothing can wait but what the panel sent unasked.
    bool m_lateAnswersPossible = false;
};

#endif // RELAYLINK_H
