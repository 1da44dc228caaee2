#include "relaylink.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>

#include "logging.h"
#include "relayframe.h"
#include "relaywaits.h"

namespace {

constexpr int kFrameWriteMs = 10000;
constexpr int kFrameAttempts = 10;
constexpr int kEndAttempts = 10;
// A stop from the dialog ends a running wait within one slice; every slice that passes
// without data wakes the worker (about 0.1 ms of CPU each), so slices are not shorter
// than a stop needs: at a 100 ms round trip, 20 ms slices doubled the CPU per frame.
constexpr int kWaitSliceMs = 100;

} // namespace

RelayLink::RelayLink(QObject *owner, const RelayEndpoint &endpoint, double waitScale,
                     const RelayWaits &waits)
    : m_owner(owner), m_endpoint(endpoint), m_waitScale(waitScale), m_waits(waits)
{
}

RelayLink::~RelayLink()
{
    close();
}

// Relay waits may be shortened as a whole for test runs: VANTELO_RELAY_TIMEOUT_SCALE
// is a factor (e.g. 0.05) applied to every wait of the relay link.
int RelayLink::scaledWait(int ms) const
{
    if (ms <= 1)
        return ms < 1 ? 1 : ms;
    if (m_waitScale >= 1.0)
        return ms;
    return qMax(1, int(ms * m_waitScale + 0.5));
}

bool RelayLink::stopRequested() const
{
    return m_waits.stopRequested();
}

RelayLink::Opening RelayLink::open(const QString &imei, int connectMs, bool ioBound)
{
    if (!m_socket)
        m_socket = new QTcpSocket(m_owner);
    qCDebug(lcRelay) << "RelayLink::open" << m_endpoint.host << m_endpoint.port;
    m_socket->connectToHost(m_endpoint.host, m_endpoint.port, QIODevice::ReadWrite,
                            QAbstractSocket::AnyIPProtocol);
    // One call: a timed-out waitForConnected abandons the connection attempt.
    if (stopRequested() || !m_socket->waitForConnected(scaledWait(connectMs))) {
        qCDebug(lcRelay) << "RelayLink::open connect failed" << m_socket->errorString();
        close();
        return Opening::NotConnected;
    }
    // Frames go one at a time and each waits for its answer: no coalescing delay.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const auto bound = [this, ioBound] {
        return ioBound ? m_waits.ioTimeoutMs() : m_waits.connectTimeoutMs();
    };
    m_socket->write(RelayFrame::downloadRegistration(imei));
    waitWritten(bound());
    QByteArray answer;
    if (waitReadable(bound()))
        answer = m_socket->readAll();
    if (!RelayFrame::isGoAhead(answer)) {
        qCDebug(lcRelay) << "RelayLink::open no go-ahead" << answer.left(64);
        m_socket->disconnectFromHost();
        close();
        return Opening::NoGoAhead;
    }
    return Opening::Ready;
}

void RelayLink::close()
{
    if (!m_socket)
        return;
    m_socket->close();
    m_socket->deleteLater();
    m_socket = nullptr;
}

bool RelayLink::lost() const
{
    return !m_socket || m_socket->state() != QAbstractSocket::ConnectedState;
}

// The read and write waits below are cut into short slices so that a stop from the
// dialog ends a wait that is already running, not only the next one.
bool RelayLink::waitWritten(int ms)
{
    QElapsedTimer timer;
    timer.start();
    const int bound = scaledWait(ms);
    while (m_socket->bytesToWrite() > 0) {
        const int left = bound - int(timer.elapsed());
        if (left <= 0 || stopRequested() || m_socket->state() != QAbstractSocket::ConnectedState)
            return false;
        m_socket->waitForBytesWritten(qMin(left, kWaitSliceMs));
    }
    return true;
}

bool RelayLink::waitReadable(int ms)
{
    return waitReadableUntil(QDeadlineTimer(scaledWait(ms)));
}

bool RelayLink::waitReadableUntil(const QDeadlineTimer &deadline)
{
    while (m_socket->bytesAvailable() <= 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || stopRequested() || m_socket->state() != QAbstractSocket::ConnectedState)
            return false;
        m_socket->waitForReadyRead(int(qMin<qint64>(left, kWaitSliceMs)));
    }
    return true;
}

// A reply may come in pieces: the bytes are gathered until the reply is complete or
// the wait ends; what came by then is the reply.
QByteArray RelayLink::collectReply(int size, int ms)
{
    const QDeadlineTimer deadline(scaledWait(ms));
    QByteArray reply;
    while (reply.size() < size && waitReadableUntil(deadline))
        reply += m_socket->readAll();
    return reply;
}

// An answer that came after its wait had ended must not be taken for the answer to
// what is sent next: whatever is already waiting on the link is dropped before a send.
void RelayLink::discardWaiting(const char *before, qint64 which)
{
    m_socket->waitForReadyRead(0);   // also what the system holds, not read yet
    const QByteArray stale = m_socket->readAll();
    if (!stale.isEmpty())
        qCDebug(lcRelay) << "RelayLink::discardWaiting before" << before << which << stale.size()
                         << stale.left(16).toHex();
}

// After attempts whose wait ran out, their answers may still be on the way, and one
// of them must not be taken for the panel's answer to the end command: that answer
// decides whether the file arrived whole. They are given one reply wait to come and
// are dropped.
void RelayLink::discardLateAnswers()
{
    const QDeadlineTimer deadline(scaledWait(m_waits.replyTimeoutMs()));
    qint64 dropped = 0;
    while (waitReadableUntil(deadline))
        dropped += m_socket->readAll().size();
    qCDebug(lcRelay) << "RelayLink::discardLateAnswers" << dropped;
}

qint64 RelayLink::sendCommand(uchar code, quint32 size, quint32 sum, int waitMs)
{
    discardWaiting("command", code);
    const qint64 written = m_socket->write(RelayFrame::commandFrame(code, size, sum));
    waitWritten(waitMs);
    return written;
}

int RelayLink::check_ok()
{
    if (stopRequested())
        return 0;
    if (!waitReadable(m_waits.replyTimeoutMs())) {
        qCDebug(lcRelay) << "RelayLink::check_ok timeout" << m_socket->state()
                         << m_socket->errorString();
        return 0;
    }
    return RelayFrame::classifyAck(m_socket->readAll());
}

RelayLink::Query RelayLink::queryModel(int replyMs, QByteArray *reply)
{
    if (sendCommand(RelayFrame::kQueryModel, 0, 0, m_waits.ioTimeoutMs())
        != RelayFrame::kCommandFrameSize)
        return Query::NotSent;
    *reply = collectReply(RelayFrame::kModelReplySize, replyMs);
    return reply->isEmpty() ? Query::NoAnswer : Query::Answered;
}

RelayLink::Query RelayLink::queryVersion(int replyMs, quint32 *version)
{
    if (sendCommand(RelayFrame::kQueryVersion, 0, 0, m_waits.ioTimeoutMs())
        != RelayFrame::kCommandFrameSize)
        return Query::NotSent;
    const QByteArray reply = collectReply(RelayFrame::kVersionReplySize, replyMs);
    qCDebug(lcRelay) << "RelayLink::queryVersion" << reply.toHex();
    return RelayFrame::versionReply(reply, version) ? Query::Answered : Query::NoAnswer;
}

RelayLink::Outcome RelayLink::sendFrames(QFile &file, qint64 size, int chunkSize,
                                              const std::function<void(qint64)> &progress,
                                              bool stopBetweenFrames, bool *unanswered)
{
    qint64 offset = 0;
    quint32 index = 0;
    int attemptsLeft = kFrameAttempts;
    QByteArray frame;
    qint64 frameOffset = -1;
    while (offset < size) {
        if (stopBetweenFrames && stopRequested())
            return Outcome::Stopped;
        const int n = RelayFrame::nextChunkLength(size, offset, chunkSize);
        if (n <= 0)
            return Outcome::ShortWrites; // no room for data: never send empty frames
        if (frameOffset != offset) {
            const QByteArray chunk = file.seek(offset) ? file.read(n) : QByteArray();
            if (chunk.size() != n) {
                qCDebug(lcRelay) << "RelayLink::sendFrames cannot read" << file.fileName() << offset
                                 << n;
                return Outcome::ReadFailed;
            }
            frame = RelayFrame::dataFrame(index, chunk.constData(), n);
            frameOffset = offset;
        }
        discardWaiting("frame", index);
        const qint64 written = m_socket->write(frame);
        waitWritten(kFrameWriteMs);
        qCDebug(lcRelay) << "RelayLink::sendFrames frame" << index << written << chunkSize
                         << m_socket->state();

        Outcome failure;
        if (written == frame.size()) {
            const int ack = check_ok();
            if (ack == RelayFrame::Accepted) {
                offset += n;
                ++index;
                attemptsLeft = kFrameAttempts;
                progress(offset);
                continue;
            }
            if (ack == RelayFrame::NotAccepted)
                *unanswered = true;
            failure = ack == RelayFrame::ChecksumError ? Outcome::ChecksumErrors
                                                       : Outcome::NoAcknowledgement;
            qCDebug(lcRelay) << "RelayLink::sendFrames refused" << index << ack;
        } else {
            failure = Outcome::ShortWrites;
            qCDebug(lcRelay) << "RelayLink::sendFrames short write" << index << written;
        }
        if (lost()) {
            qCDebug(lcRelay) << "RelayLink::sendFrames link lost" << index
                             << m_socket->errorString();
            return Outcome::LinkLost;
        }
        if (--attemptsLeft <= 0)
            return failure;
    }
    return Outcome::Done;
}

RelayLink::Outcome RelayLink::sendEndOfFile(bool lateAnswersPossible)
{
    if (lateAnswersPossible)
        discardLateAnswers();
    for (int attempt = 1; attempt <= kEndAttempts; ++attempt) {
        const qint64 written = sendCommand(RelayFrame::kEndOfFile, 0, 0, m_waits.ioTimeoutMs());
        if (written == RelayFrame::kCommandFrameSize && check_ok() == 1)
            return Outcome::Done;
        if (lost()) {
            qCDebug(lcRelay) << "RelayLink::sendEndOfFile link lost" << m_socket->errorString();
            return Outcome::LinkLost;
        }
        qCDebug(lcRelay) << "RelayLink::sendEndOfFile attempt" << attempt << "failed";
    }
    return Outcome::EndRefused;
}

RelayLink::Outcome RelayLink::sendFile(QFile &file, qint64 size, quint32 sum, uchar code,
                                       int chunkSize, bool stopBetweenFrames,
                                       const std::function<void(qint64)> &progress,
                                       const std::function<void()> &announced)
{
    if (sendCommand(code, quint32(size), sum, m_waits.ioTimeoutMs())
        != RelayFrame::kCommandFrameSize)
        return lost() ? Outcome::LinkLost : Outcome::AnnounceNotSent;
    if (check_ok() != RelayFrame::Accepted)
        return lost() ? Outcome::LinkLost : Outcome::AnnounceRefused;
    if (announced)
        announced();
    bool unanswered = false;
    const Outcome frames = sendFrames(file, size, chunkSize, progress, stopBetweenFrames, &unanswered);
    if (frames != Outcome::Done)
        return frames;
    waitWritten(m_waits.ioTimeoutMs());
    return sendEndOfFile(unanswered);
}
