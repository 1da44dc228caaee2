#include "relaylink.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>

#include <chrono>
#include <cstring>

#include "logging.h"
#include "relayframe.h"
#include "relaywaits.h"

#ifdef Q_OS_LINUX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

constexpr int kFrameWriteMs = 10000;
constexpr int kFrameAttempts = 10;
constexpr int kEndAttempts = 10;
// Where the stop request has no wake descriptor, a stop from the dialog ends a running
// wait within one slice; every slice that passes without data wakes the worker (about
// 0.1 ms of CPU each), so slices are not shorter than a stop needs.
constexpr int kWaitSliceMs = 100;
// An acknowledgement counts by its first byte; what follows it is read and dropped in
// pieces of this size, never kept.
constexpr int kAckRead = 64;
// Frames' chunks are read from the file this much at a time (whole chunks), one read for
// several frames.
constexpr int kReadAhead = 64 * 1024;

// The monotonic clock in ms, read once per accepted frame: straight from the system's
// clock where there is one (no Qt call on the frames' path).
qint64 monotonicMs()
{
#ifdef Q_OS_LINUX
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#else
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

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
    m_ended = false;
    m_lateAnswersPossible = false;
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
    m_fd = int(m_socket->socketDescriptor());
    watchAnswers();
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
    m_waits.detach();   // before the descriptor closes: a stop must not reach another one
    m_socket->close();
    m_socket->deleteLater();
    m_socket = nullptr;
    m_fd = -1;
    m_blocking = false;
#ifdef Q_OS_LINUX
    if (m_answers >= 0)
        ::close(m_answers);
    m_answers = -1;
#endif
}

bool RelayLink::lost() const
{
    return !m_socket || m_ended || m_socket->state() != QAbstractSocket::ConnectedState;
}

// One wait of at most ms for the socket to turn readable (or writable), that a stop
// request from the dialog ends at once: the socket's descriptor is polled together with
// the stop's wake descriptor, and the socket then moves what is ready without waiting.
// Without a wake descriptor the wait is a slice of the socket's own wait.
void RelayLink::await(bool writable, qint64 ms)
{
#ifdef Q_OS_LINUX
    const int wake = m_waits.wakeDescriptor();
    const int fd = m_fd;
    if (wake >= 0 && fd >= 0) {
        pollfd fds[2] = {{fd, short(writable ? POLLOUT : POLLIN), 0}, {wake, POLLIN, 0}};
        ::poll(fds, 2, int(qMin<qint64>(ms, kFrameWriteMs)));
        if (writable)
            m_socket->waitForBytesWritten(0);
        else
            m_socket->waitForReadyRead(0);
        return;
    }
#endif
    const int slice = int(qMin<qint64>(ms, kWaitSliceMs));
    if (writable)
        m_socket->waitForBytesWritten(slice);
    else
        m_socket->waitForReadyRead(slice);
}

bool RelayLink::waitWritten(int ms)
{
    if (m_socket->bytesToWrite() == 0)
        return true;
    const QDeadlineTimer deadline(scaledWait(ms));
    while (m_socket->bytesToWrite() > 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || stopRequested() || m_socket->state() != QAbstractSocket::ConnectedState)
            return false;
        await(true, left);
    }
    return true;
}

// Bytes for the link: written on the socket's descriptor at once while the socket holds
// nothing unwritten (one system call, no copy in the socket's buffer); what the system
// does not take then, or any byte while older ones wait, is queued on the socket, whose
// own write finds out about a failed connection. What was taken or queued.
qint64 RelayLink::writeBytes(const char *data, qint64 len)
{
#ifdef Q_OS_LINUX
    const int fd = m_fd;
    if (fd >= 0 && m_socket->bytesToWrite() == 0 && m_socket->state() == QAbstractSocket::ConnectedState) {
        const ssize_t sent = ::send(fd, data, size_t(len), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == len)
            return len;
        const qint64 done = sent > 0 ? sent : 0;
        const qint64 queued = m_socket->write(data + done, len - done);
        return queued < 0 ? done : done + queued;
    }
#endif
    return m_socket->write(data, len);
}

// Reads what waits on the socket and drops it; the first bytes are kept in first (up to
// firstSize). The count of the bytes read.
qint64 RelayLink::readAndDrop(char *first, int firstSize)
{
    qint64 total = 0;
    char rest[kAckRead];
    while (m_socket->bytesAvailable() > 0) {
        const bool keep = total == 0 && first;
        const qint64 n = m_socket->read(keep ? first : rest, keep ? firstSize : kAckRead);
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

bool RelayLink::waitReadable(int ms)
{
    return waitReadableUntil(QDeadlineTimer(scaledWait(ms)));
}

bool RelayLink::waitReadableUntil(const QDeadlineTimer &deadline)
{
    while (m_socket->bytesAvailable() <= 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || stopRequested() || m_socket->state() != QAbstractSocket::ConnectedState) {
            m_lateAnswersPossible = true;
            return false;
        }
        await(false, left);
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
    // A stop has shut the reading down already: nothing is read any more.
    if (m_blocking && stopRequested())
        return;
#ifdef Q_OS_LINUX
    // Nothing in the socket and nothing in the system (one look, taking nothing): done.
    const int fd = m_fd;
    char probe;
    if (fd >= 0 && m_socket->bytesAvailable() == 0
        && ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) < 0 && errno == EAGAIN)
        return;
#endif
    m_socket->waitForReadyRead(0);   // also what the system holds, not read yet
    char first[16];
    const qint64 stale = readAndDrop(first, int(sizeof first));
    if (stale > 0)
        qCDebug(lcRelay) << "RelayLink::discardWaiting before" << before << which << stale
                         << QByteArray(first, int(qMin<qint64>(stale, sizeof first))).toHex();
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
    const QByteArray frame = RelayFrame::commandFrame(code, size, sum);
    const qint64 written = writeBytes(frame.constData(), frame.size());
    waitWritten(waitMs);
    return written;
}

int RelayLink::check_ok()
{
    if (stopRequested())
        return 0;
    char first[kAckRead];
    const qint64 n = readAck(first);
    if (n <= 0) {
        qCDebug(lcRelay) << "RelayLink::check_ok timeout" << m_socket->state()
                         << m_socket->errorString();
        return 0;
    }
    return RelayFrame::classifyAck(first, qMin<qint64>(n, kAckRead));
}

// An answer of n bytes came in the first read: what else waits then is read and dropped.
// The count of the bytes read.
qint64 RelayLink::ackRead(qint64 n)
{
    qint64 total = n;
#ifdef Q_OS_LINUX
    char rest[kAckRead];
    for (ssize_t more = n; more == kAckRead && (more = ::recv(m_fd, rest, kAckRead, MSG_DONTWAIT)) > 0;)
        total += more;
#endif
    if (total > 1)   // more than an acknowledgement: the stream is not in step
        m_lateAnswersPossible = true;
    return total;
}

// Answers are waited for on an epoll set that holds the socket and the stop's wake
// descriptor, made once per connection: a wait then costs the system less than a poll
// that sets both up again every time.
void RelayLink::watchAnswers()
{
#ifdef Q_OS_LINUX
    const int wake = m_waits.wakeDescriptor();
    if (m_fd < 0 || wake < 0)
        return;
    m_answers = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event socketEvent{};
    socketEvent.events = EPOLLIN;
    socketEvent.data.u32 = 0;
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u32 = 1;
    if (m_answers >= 0
        && (::epoll_ctl(m_answers, EPOLL_CTL_ADD, m_fd, &socketEvent) != 0
            || ::epoll_ctl(m_answers, EPOLL_CTL_ADD, wake, &wakeEvent) != 0)) {
        ::close(m_answers);
        m_answers = -1;
    }
#endif
}

// The panel's answer, waited for within the reply bound: its first bytes (up to kAckRead)
// in first, what else waits then read and dropped; 0 when nothing came. While the socket
// holds nothing, the answer is read straight from its descriptor: while frames go, by one
// blocking read (blockingAnswers); else once the epoll set (with the stop's wake
// descriptor) says it came. An end of the connection found that way makes lost() true.
qint64 RelayLink::readAck(char *first)
{
#ifdef Q_OS_LINUX
    const int fd = m_fd;
    if (m_blocking && m_socket->bytesAvailable() == 0) {
        ssize_t n;
        do {
            n = ::recv(fd, first, kAckRead, 0);
        } while (n < 0 && errno == EINTR && !stopRequested());
        if (n > 0)
            return ackRead(n);
        if (stopRequested() || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
            m_lateAnswersPossible = true;   // the reply bound passed
            return 0;
        }
        m_ended = true;   // the end of the connection, for lost()
        return 0;
    }
    if (m_answers >= 0 && m_socket->bytesAvailable() == 0) {
        const int replyMs = scaledWait(m_waits.replyTimeoutMs());
        const QDeadlineTimer deadline(replyMs);
        for (qint64 left = replyMs;; left = deadline.remainingTime()) {
            if (left <= 0 || stopRequested()) {
                m_lateAnswersPossible = true;
                return 0;
            }
            epoll_event ready[2];
            const int events = ::epoll_wait(m_answers, ready, 2, int(qMin<qint64>(left, kFrameWriteMs)));
            if (events <= 0 || (ready[0].data.u32 != 0 && (events < 2 || ready[1].data.u32 != 0)))
                continue;
            const ssize_t n = ::recv(fd, first, kAckRead, MSG_DONTWAIT);
            if (n > 0)
                return ackRead(n);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue;
            m_ended = true;   // the end of the connection, for lost()
            m_socket->waitForReadyRead(0);
            return 0;
        }
    }
#endif
    if (!waitReadable(m_waits.replyTimeoutMs()))
        return 0;
    const qint64 n = readAndDrop(first, kAckRead);
    if (n > 1)
        m_lateAnswersPossible = true;
    return n;
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

RelayLink::Outcome RelayLink::sendFrames(QFile &file, qint64 size, int chunkSize, int progressEveryMs,
                                              const std::function<void(qint64)> &progress,
                                              bool stopBetweenFrames, bool *unanswered)
{
    blockingAnswers(true);
    const Outcome outcome = sendFramesOf(file, size, chunkSize, progressEveryMs, progress, stopBetweenFrames,
                                         unanswered);
    blockingAnswers(false);
    return outcome;
}

// While frames go, an acknowledgement is waited for by one blocking read of the socket
// (bounded by the socket's receive timeout), as cheap as a wait gets; the stop request
// shuts the socket's reading down (RelayWaits::attach) and so ends the read at once.
// Writes then have a timeout too, so that none waits longer than the write bound.
void RelayLink::blockingAnswers(bool on)
{
#ifdef Q_OS_LINUX
    if (!on) {
        m_waits.detach();
        if (m_blocking && m_fd >= 0) {
            const int flags = ::fcntl(m_fd, F_GETFL);
            if (flags >= 0)
                ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
        }
        m_blocking = false;
        return;
    }
    const int flags = m_fd >= 0 && !lost() ? ::fcntl(m_fd, F_GETFL) : -1;
    if (flags < 0)
        return;
    const auto timeout = [](int ms) {
        timeval t{};
        t.tv_sec = ms / 1000;
        t.tv_usec = (ms % 1000) * 1000;
        return t;
    };
    const timeval receive = timeout(scaledWait(m_waits.replyTimeoutMs()));
    const timeval send = timeout(scaledWait(kFrameWriteMs));
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive) != 0
        || ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send) != 0
        || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return;
    m_blocking = true;
    m_waits.attach(m_fd);
#else
    Q_UNUSED(on)
#endif
}

RelayLink::Outcome RelayLink::sendFramesOf(QFile &file, qint64 size, int chunkSize, int progressEveryMs,
                                           const std::function<void(qint64)> &progress,
                                           bool stopBetweenFrames, bool *unanswered)
{
    qint64 offset = 0;
    quint32 index = 0;
    int attemptsLeft = kFrameAttempts;
    // Two buffers, each for a whole frame: the chunk is read from the file into its place,
    // index, sum and trailer are written around it. While the panel answers the frame in
    // one, the next frame is built in the other, so that an accepted frame is followed by
    // the write of the next one and nothing else. An accepted frame's progress is reported
    // once the next frame is on its way (the last one's at once); between the first and
    // the last frame, at most every progressEveryMs.
    QByteArray frames[2];
    for (QByteArray &frame : frames)
        frame = QByteArray(qMax(chunkSize, 0) + RelayFrame::kDataFrameOverhead, Qt::Uninitialized);
    int current = 0;
    int frameLen = 0;       // the current frame's length; 0: not built yet
    int nextLen = 0;        // the next frame's, built in the other buffer; 0: not built, -1: unreadable
    qint64 accepted = -1;   // an accepted offset whose progress is not reported yet
    qint64 progressDueMs = 0;
    // always: the progress may not wait (the last frame, an outcome other than Done).
    const auto reportAccepted = [&](bool always) {
        if (accepted < 0)
            return;
        const qint64 nowMs = progressEveryMs > 0 ? monotonicMs() : 0;
        if (always || accepted == size || nowMs >= progressDueMs) {
            progress(accepted);
            progressDueMs = nowMs + progressEveryMs;
            accepted = -1;
        }
    };
    // Chunks come out of a piece of the file read ahead: whole chunks, one read for
    // several frames.
    QByteArray ahead(qMax(1, kReadAhead / qMax(chunkSize, 1)) * qMax(chunkSize, 1), Qt::Uninitialized);
    qint64 aheadOffset = 0;
    qint64 aheadLen = 0;
    const auto readChunk = [&](qint64 at, int n, char *to) {
        if (at < aheadOffset || at + n > aheadOffset + aheadLen) {
            if (file.pos() != at && !file.seek(at))
                return false;
            const qint64 got = file.read(ahead.data(), qMin<qint64>(ahead.size(), size - at));
            if (got < n)
                return false;
            aheadOffset = at;
            aheadLen = got;
        }
        std::memcpy(to, ahead.constData() + (at - aheadOffset), size_t(n));
        return true;
    };
    // The frame of the chunk at `at` in buffer which: its length, -1 when the file cannot
    // be read there.
    const auto build = [&](int which, qint64 at, quint32 frameIndex, int n) {
        char *frame = frames[which].data();
        if (!readChunk(at, n, frame + RelayFrame::kFrameHeaderSize)) {
            qCDebug(lcRelay) << "RelayLink::sendFrames cannot read" << file.fileName() << at << n;
            return -1;
        }
        RelayFrame::frameChunkInPlace(frame, frameIndex, n);
        return n + RelayFrame::kDataFrameOverhead;
    };
    while (offset < size) {
        if (stopBetweenFrames && stopRequested()) {
            reportAccepted(true);
            return Outcome::Stopped;
        }
        const int n = RelayFrame::nextChunkLength(size, offset, chunkSize);
        if (n <= 0)
            return Outcome::ShortWrites; // no room for data: never send empty frames
        if (frameLen == 0)
            frameLen = build(current, offset, index, n);
        if (frameLen < 0) {
            reportAccepted(true);
            return Outcome::ReadFailed;
        }
        if (m_lateAnswersPossible)
            discardWaiting("frame", index);
        const qint64 written = writeBytes(frames[current].constData(), frameLen);
        waitWritten(kFrameWriteMs);
        qCDebug(lcRelayFrames) << "RelayLink::sendFrames frame" << index << written << chunkSize
                               << m_socket->state();
        reportAccepted(false);

        Outcome failure;
        if (written == frameLen) {
            const int following = RelayFrame::nextChunkLength(size, offset + n, chunkSize);
            if (nextLen == 0 && following > 0)
                nextLen = build(1 - current, offset + n, index + 1, following);
            const int ack = check_ok();
            if (ack == RelayFrame::Accepted) {
                offset += n;
                ++index;
                attemptsLeft = kFrameAttempts;
                accepted = offset;
                current = 1 - current;
                frameLen = nextLen;
                nextLen = 0;
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
        const bool linkLost = lost();
        if (linkLost || --attemptsLeft <= 0)
            reportAccepted(true);   // the outcome is decided: the progress may not wait
        if (linkLost) {
            qCDebug(lcRelay) << "RelayLink::sendFrames link lost" << index
                             << m_socket->errorString();
            return Outcome::LinkLost;
        }
        if (attemptsLeft <= 0)
            return failure;
    }
    reportAccepted(true);
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
                                       int chunkSize, bool stopBetweenFrames, int progressEveryMs,
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
    const Outcome frames = sendFrames(file, size, chunkSize, progressEveryMs, progress, stopBetweenFrames,
                                     &unanswered);
    if (frames != Outcome::Done)
        return frames;
    waitWritten(m_waits.ioTimeoutMs());
    return sendEndOfFile(unanswered);
}
