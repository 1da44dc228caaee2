#include "descriptorbridge.h"

#include <QSocketNotifier>
#include <QThread>

#include "logging.h"

#include <cerrno>

#ifndef Q_OS_WIN
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace {

// One read or write on a non-blocking descriptor: the count, 0 when it would block, -1 at
// the end of the stream or on a failure (in errno). Windows bridges through the devices
// themselves and never gets here.
qint64 readSome(int fd, bool socket, char *data, qint64 len)
{
#ifndef Q_OS_WIN
    ssize_t n;
    do {
        n = socket ? ::recv(fd, data, size_t(len), 0) : ::read(fd, data, size_t(len));
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    return n == 0 ? -1 : n;
#else
    Q_UNUSED(fd) Q_UNUSED(socket) Q_UNUSED(data) Q_UNUSED(len)
    return -1;
#endif
}

// Writes data and then tail (when tailLen > 0) in one call: the count taken of both
// together, 0 when it would block, -1 on a failure (in errno).
qint64 writeSome(int fd, bool socket, const char *data, qint64 len, const char *tail = nullptr,
                 qint64 tailLen = 0)
{
#ifndef Q_OS_WIN
    ssize_t n;
    if (tailLen <= 0) {
        do {
            n = socket ? ::send(fd, data, size_t(len), MSG_NOSIGNAL) : ::write(fd, data, size_t(len));
        } while (n < 0 && errno == EINTR);
    } else {
        iovec parts[2] = {{const_cast<char *>(data), size_t(len)}, {const_cast<char *>(tail), size_t(tailLen)}};
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = 2;
        do {
            n = socket ? ::sendmsg(fd, &message, MSG_NOSIGNAL) : ::writev(fd, parts, 2);
        } while (n < 0 && errno == EINTR);
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    return n;
#else
    Q_UNUSED(fd) Q_UNUSED(socket) Q_UNUSED(data) Q_UNUSED(len) Q_UNUSED(tail) Q_UNUSED(tailLen)
    return -1;
#endif
}

} // namespace

DescriptorBridge::DescriptorBridge(int serialFd, int relayFd, qint64 maxQueued,
                                   qint64 serialReadSize, qint64 relayReadSize, Handlers handlers)
    : maxQueued(maxQueued),
      serialBuffer(int(serialReadSize), Qt::Uninitialized),
      relayBuffer(int(relayReadSize), Qt::Uninitialized),
      handlers(std::move(handlers))
{
    serial.fd = serialFd;
    relay.fd = relayFd;
}

DescriptorBridge::~DescriptorBridge()
{
    stop();
}

bool DescriptorBridge::start()
{
#ifndef Q_OS_WIN
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        qCWarning(lcPassthrough) << "DescriptorBridge::start eventfd" << errno;
        return false;
    }
    thread = QThread::create([this] { run(); });
    // The name shows in ps, top and a debugger, and lets a benchmark find the thread.
    thread->setObjectName(QStringLiteral("vantelo-bridge"));
    thread->start();
    return true;
#else
    return false;
#endif
}

void DescriptorBridge::stop()
{
#ifndef Q_OS_WIN
    if (thread) {
        const quint64 one = 1;
        if (::write(wakeFd, &one, sizeof one) != ssize_t(sizeof one))
            qCWarning(lcPassthrough) << "DescriptorBridge::stop wake" << errno;
        // The loop ends at the wake-up: it only ever waits in poll.
        thread->wait();
        delete thread;
        thread = nullptr;
    }
    if (wakeFd >= 0) {
        ::close(wakeFd);
        wakeFd = -1;
    }
#endif
    release(serial);
    release(relay);
}

void DescriptorBridge::quietDevice(QObject *device)
{
    for (QSocketNotifier *notifier : device->findChildren<QSocketNotifier *>())
        notifier->setEnabled(false);
}

short DescriptorBridge::events(const Side &side, const Side &other) const
{
#ifndef Q_OS_WIN
    short wanted = 0;
    if (other.queued() < maxQueued)
        wanted |= POLLIN;
    if (side.queued() > 0)
        wanted |= POLLOUT;
    return wanted;
#else
    Q_UNUSED(side) Q_UNUSED(other)
    return 0;
#endif
}

void DescriptorBridge::run()
{
#ifndef Q_OS_WIN
    for (;;) {
        // A side that is gone, or waits for nothing, is left out (a negative descriptor).
        const short serialEvents = serial.fd >= 0 ? events(serial, relay) : 0;
        const short relayEvents = relay.fd >= 0 ? events(relay, serial) : 0;
        pollfd fds[3] = {{wakeFd, POLLIN, 0},
                         {serialEvents ? serial.fd : -1, serialEvents, 0},
                         {relayEvents ? relay.fd : -1, relayEvents, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcPassthrough) << "DescriptorBridge::run poll" << errno;
            return;
        }
        if (fds[0].revents)
            return;
        serve(serial, serialEvents, fds[1].revents);
        serve(relay, relayEvents, fds[2].revents);
    }
#endif
}

void DescriptorBridge::serve(Side &side, short requested, short returned)
{
#ifndef Q_OS_WIN
    if (side.fd < 0 || returned == 0)
        return;
    const short ended = POLLERR | POLLHUP | POLLNVAL;
    if ((returned & (POLLOUT | ended)) && side.queued() > 0 && !drain(side)) {
        lose(side);
        return;
    }
    if (requested & POLLIN) {
        if (returned & (POLLIN | ended))
            readSide(side);
    } else if (returned & ended) {
        // Not read for now, and it would report the hang-up again at once: it is gone.
        qCDebug(lcPassthrough) << "DescriptorBridge::serve hang-up" << (&side == &relay) << returned;
        lose(side);
    }
#else
    Q_UNUSED(side) Q_UNUSED(requested) Q_UNUSED(returned)
#endif
}

void DescriptorBridge::readSide(Side &side)
{
    const bool isRelay = &side == &relay;
    QByteArray &buffer = isRelay ? relayBuffer : serialBuffer;
    const qint64 n = readSome(side.fd, isRelay, buffer.data(), buffer.size());
    if (n > 0) {
        (isRelay ? handlers.relayRead : handlers.serialRead)(buffer.constData(), n);
    } else if (n < 0) {
        qCDebug(lcPassthrough) << "DescriptorBridge::readSide ended" << isRelay << errno;
        lose(side);
    }
}

bool DescriptorBridge::write(Side &side, const char *data, qint64 len, const char *tail, qint64 tailLen)
{
    if (side.fd < 0 || len + tailLen <= 0)
        return true;
    if (side.queued() == 0) {
        qint64 n = writeSome(side.fd, &side == &relay, data, len, tail, tailLen);
        if (n < 0) {
            qCDebug(lcPassthrough) << "DescriptorBridge::write" << (&side == &relay) << errno;
            return false;
        }
        if (n == len + tailLen)
            return true;
        // What was not taken, of data and then of tail, waits.
        const qint64 ofData = qMin(n, len);
        data += ofData;
        len -= ofData;
        n -= ofData;
        tail += n;
        tailLen -= n;
    }
    side.queue.append(data, int(len));
    if (tailLen > 0)
        side.queue.append(tail, int(tailLen));
    return true;
}

void DescriptorBridge::writeToRelay(const char *data, qint64 len, const char *tail, qint64 tailLen)
{
    if (!write(relay, data, len, tail, tailLen))
        lose(relay);
}

void DescriptorBridge::writeToSerial(const char *data, qint64 len)
{
    if (!write(serial, data, len))
        lose(serial);
}

bool DescriptorBridge::drain(Side &side)
{
    const bool toRelay = &side == &relay;
    const qint64 n = writeSome(side.fd, toRelay, side.queue.constData() + side.head, side.queued());
    if (n < 0) {
        qCDebug(lcPassthrough) << "DescriptorBridge::drain" << toRelay << errno;
        return false;
    }
    side.head += n;
    if (side.queued() == 0) {
        side.queue.clear();
        side.head = 0;
    } else if (side.head > side.queue.size() / 2) {
        side.queue.remove(0, int(side.head));
        side.head = 0;
    }
    return true;
}

void DescriptorBridge::release(Side &side)
{
    side.fd = -1;
    side.queue.clear();
    side.head = 0;
}

void DescriptorBridge::lose(Side &side)
{
    if (side.fd < 0)
        return;
    release(side);
    const auto &lost = &side == &relay ? handlers.relayLost : handlers.serialLost;
    if (lost)
        lost();
}
