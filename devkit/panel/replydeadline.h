#ifndef REPLYDEADLINE_H
#define REPLYDEADLINE_H

#include <QObject>
#include <QTimer>

class QSocketNotifier;

// When the panel's next held reply is due, on a monotonic clock in nanoseconds. On
// Linux a timerfd armed at the absolute due time wakes the event loop at that moment
// (a millisecond QTimer overshoots, and the overshoot would add to every round trip
// the lab emulates); elsewhere a precise QTimer rounded up to the next millisecond.
// Never early: expired() comes when now() >= the armed time.
class ReplyDeadline : public QObject
{
    Q_OBJECT
public:
    explicit ReplyDeadline(QObject *parent = nullptr);
    ~ReplyDeadline() override;

    // Nanoseconds on the clock the deadline is armed on.
    static qint64 now();

    void arm(qint64 dueNs);
    void cancel();

signals:
    void expired();

private:
    void onFd();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_timer;
};

#endif // REPLYDEADLINE_H
