#include "relaywaits.h"

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

RelayWaits::RelayWaits()
{
#ifdef Q_OS_LINUX
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
#endif
}

RelayWaits::~RelayWaits()
{
#ifdef Q_OS_LINUX
    if (m_wake >= 0)
        ::close(m_wake);
#endif
}

void RelayWaits::setStop(bool stop)
{
    m_stop.store(stop, std::memory_order_relaxed);
    m_replyMs.store(stop ? 1 : kReplyTimeoutMs, std::memory_order_relaxed);
    m_ioMs.store(stop ? 1 : kIoTimeoutMs, std::memory_order_relaxed);
    m_connectMs.store(stop ? 1 : kConnectTimeoutMs, std::memory_order_relaxed);
    setWake(stop);
#ifdef Q_OS_LINUX
    if (stop) {
        const std::lock_guard<std::mutex> locked(m_attachedLock);
        if (m_attached >= 0)
            ::shutdown(m_attached, SHUT_RD);
    }
#endif
}

void RelayWaits::attach(int socketDescriptor) const
{
    const std::lock_guard<std::mutex> locked(m_attachedLock);
    m_attached = socketDescriptor;
#ifdef Q_OS_LINUX
    if (m_attached >= 0 && stopRequested())
        ::shutdown(m_attached, SHUT_RD);
#endif
}

void RelayWaits::detach() const
{
    const std::lock_guard<std::mutex> locked(m_attachedLock);
    m_attached = -1;
}

void RelayWaits::setWake(bool readable)
{
#ifdef Q_OS_LINUX
    if (m_wake < 0)
        return;
    eventfd_t value = 1;
    if (readable)
        ::eventfd_write(m_wake, value);
    else
        ::eventfd_read(m_wake, &value);   // back to zero; nothing to read is fine too
#else
    Q_UNUSED(readable)
#endif
}
