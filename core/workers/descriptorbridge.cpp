#include "descriptorbridge.h"

#include <QSocketNotifier>

#include "logging.h"

#include <cerrno>

#ifndef Q_OS_WIN
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
                                   qint64 serialReadSize, qint64 relayReadSize, Handlers handlers,
                                   QObject *parent)
    : QObject(parent),
      maxQueued(maxQueued),
      serialBuffer(int(serialReadSize), Qt::Uninitialized),
      relayBuffer(int(relayReadSize), Qt::Uninitialized),
      handlers(std::move(handlers))
{
    setUp(serial, serialFd);
    setUp(relay, relayFd);
    connect(serial.readable, &QSocketNotifier::activated, this, &DescriptorBridge::readSerial);
    connect(relay.readable, &QSocketNotifier::activated, this, &DescriptorBridge::readRelay);
    connect(serial.writable, &QSocketNotifier::activated, this, [this] { drain(serial); });
    connect(relay.writable, &QSocketNotifier::activated, this, [this] { drain(relay); });
}

DescriptorBridge::~DescriptorBridge() = default;

void DescriptorBridge::setUp(Side &side, int fd)
{
    side.fd = fd;
    side.readable = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    side.writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    side.writable->setEnabled(false);
}

void DescriptorBridge::quietDevice(QObject *device)
{
    for (QSocketNotifier *notifier : device->findChildren<QSocketNotifier *>())
        notifier->setEnabled(false);
}

void DescriptorBridge::readSerial()
{
    const qint64 n = readSome(serial.fd, false, serialBuffer.data(), serialBuffer.size());
    if (n > 0) {
        handlers.serialRead(serialBuffer.constData(), n);
    } else if (n < 0) {
        qCDebug(lcPassthrough) << "DescriptorBridge::readSerial ended" << errno;
        loseSerial();
    }
}

void DescriptorBridge::readRelay()
{
    const qint64 n = readSome(relay.fd, true, relayBuffer.data(), relayBuffer.size());
    if (n > 0) {
        handlers.relayRead(relayBuffer.constData(), n);
    } else if (n < 0) {
        qCDebug(lcPassthrough) << "DescriptorBridge::readRelay ended" << errno;
        loseRelay();
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
        side.writable->setEnabled(true);
    }
    side.queue.append(data, int(len));
    if (tailLen > 0)
        side.queue.append(tail, int(tailLen));
    updateReading();
    return true;
}

void DescriptorBridge::writeToRelay(const char *data, qint64 len, const char *tail, qint64 tailLen)
{
    if (!write(relay, data, len, tail, tailLen))
        loseRelay();
}

void DescriptorBridge::writeToSerial(const char *data, qint64 len)
{
    if (!write(serial, data, len))
        loseSerial();
}

void DescriptorBridge::drain(Side &side)
{
    const bool toRelay = &side == &relay;
    const qint64 n = writeSome(side.fd, toRelay, side.queue.constData() + side.head, side.queued());
    if (n < 0) {
        qCDebug(lcPassthrough) << "DescriptorBridge::drain" << toRelay << errno;
        toRelay ? loseRelay() : loseSerial();
        return;
    }
    side.head += n;
    if (side.queued() == 0) {
        side.queue.clear();
        side.head = 0;
        side.writable->setEnabled(false);
    } else if (side.head > side.queue.size() / 2) {
        side.queue.remove(0, int(side.head));
        side.head = 0;
    }
    updateReading();
}

// A side is read only while the queue toward the other side is under the bound.
void DescriptorBridge::updateReading()
{
    if (serial.readable)
        serial.readable->setEnabled(relay.queued() < maxQueued);
    if (relay.readable)
        relay.readable->setEnabled(serial.queued() < maxQueued);
}

void DescriptorBridge::release(Side &side)
{
    // Possibly from within a notifier's own signal: turned off now, deleted with the bridge.
    for (QSocketNotifier *notifier : {side.readable, side.writable}) {
        if (notifier)
            notifier->setEnabled(false);
    }
    side.readable = nullptr;
    side.writable = nullptr;
    side.fd = -1;
    side.queue.clear();
    side.head = 0;
}

void DescriptorBridge::loseSerial()
{
    if (serial.fd < 0)
        return;
    release(serial);
    updateReading();
    if (handlers.serialLost)
        handlers.serialLost();
}

void DescriptorBridge::loseRelay()
{
    if (relay.fd < 0)
        return;
    release(relay);
    updateReading();
    if (handlers.relayLost)
        handlers.relayLost();
}

void DescriptorBridge::stop()
{
    release(serial);
    release(relay);
}

