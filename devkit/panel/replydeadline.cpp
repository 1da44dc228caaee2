#include "replydeadline.h"

#include <QSocketNotifier>

#include <chrono>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {
constexpr qint64 kNsPerMs = 1000000;
constexpr qint64 kNsPerS = 1000000000;
} // namespace

ReplyDeadline::ReplyDeadline(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_LINUX
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ReplyDeadline::onFd);
        return;
    }
#endif
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplyDeadline::expired);
}

ReplyDeadline::~ReplyDeadline()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        delete m_notifier;
        ::close(m_fd);
    }
#endif
}

qint64 ReplyDeadline::now()
{
#ifdef Q_OS_LINUX
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * kNsPerS + ts.tv_nsec;
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

void ReplyDeadline::arm(qint64 dueNs)
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        // A time of zero would disarm the timer: a due time already past is one nanosecond.
        const qint64 at = qMax<qint64>(dueNs, 1);
        itimerspec due{};
        due.it_value.tv_sec = time_t(at / kNsPerS);
        due.it_value.tv_nsec = long(at % kNsPerS);
        ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &due, nullptr);
        return;
    }
#endif
    const qint64 left = qMax<qint64>(0, dueNs - now());
    m_timer.start(int((left + kNsPerMs - 1) / kNsPerMs));
}

void ReplyDeadline::cancel()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &off, nullptr);
        return;
    }
#endif
    m_timer.stop();
}

void ReplyDeadline::onFd()
{
#ifdef Q_OS_LINUX
    quint64 expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations)
        return;   // disarmed or re-armed since it became readable
#endif
    emit expired();
}
