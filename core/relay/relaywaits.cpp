#include "relaywaits.h"

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <sys/eventfd.h>
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
