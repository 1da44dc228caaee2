#ifndef TRANSFERMETER_H
#define TRANSFERMETER_H

#include <QCoreApplication>
#include <QString>

// Rate and time left of one transfer from its byte counts over time: the average since
// the start, which a relay's bursts do not make jump. No widgets; times in ms.
class TransferMeter
{
    Q_DECLARE_TR_FUNCTIONS(TransferMeter)
public:
    // A new transfer, started at nowMs.
    void start(qint64 nowMs);
    // Takes done of total bytes at nowMs. True when the display is due: at most every
    // kShowEveryMs, and always at the end (done == total) or when the file changes.
    bool update(qint64 done, qint64 total, int file, qint64 nowMs);

    // Bytes a second so far (0 before a full second's worth of time is known).
    double rate() const;
    // "12.5 KiB/s  剩余 0:42"; only the rate once everything is done; empty before
    // anything was measured.
    QString text() const;

    static QString rateText(double bytesPerSecond);
    static QString timeText(qint64 seconds);

    static constexpr qint64 kShowEveryMs = 250;

private:
    qint64 m_startMs = 0;
    qint64 m_nowMs = 0;
    qint64 m_shownMs = -1;
    qint64 m_done = 0;
    qint64 m_total = 0;
    int m_file = 0;
};

#endif // TRANSFERMETER_H
