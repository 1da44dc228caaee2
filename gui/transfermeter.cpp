#include "transfermeter.h"

void TransferMeter::start(qint64 nowMs)
{
    *this = TransferMeter();
    m_startMs = m_nowMs = nowMs;
}

bool TransferMeter::update(qint64 done, qint64 total, int file, qint64 nowMs)
{
    const bool fileChanged = file != m_file;
    m_done = done;
    m_total = total;
    m_file = file;
    m_nowMs = nowMs;
    const bool due = m_shownMs < 0 || nowMs - m_shownMs >= kShowEveryMs || done >= total || fileChanged;
    if (due)
        m_shownMs = nowMs;
    return due;
}

double TransferMeter::rate() const
{
    const qint64 elapsed = m_nowMs - m_startMs;
    return elapsed > 0 ? double(m_done) * 1000.0 / double(elapsed) : 0.0;
}

QString TransferMeter::text() const
{
    const double r = rate();
    if (r <= 0)
        return QString();
    if (m_done >= m_total)
        return rateText(r);
    return tr("%1  剩余 %2").arg(rateText(r), timeText(qint64((m_total - m_done) / r + 0.5)));
}

QString TransferMeter::rateText(double bytesPerSecond)
{
    if (bytesPerSecond < 1024)
        return tr("%1 B/s").arg(qRound(bytesPerSecond));
    if (bytesPerSecond < 1024 * 1024)
        return tr("%1 KiB/s").arg(bytesPerSecond / 1024, 0, 'f', 1);
    return tr("%1 MiB/s").arg(bytesPerSecond / (1024 * 1024), 0, 'f', 1);
}

QString TransferMeter::timeText(qint64 seconds)
{
    if (seconds >= 3600)
        return tr("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return tr("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
