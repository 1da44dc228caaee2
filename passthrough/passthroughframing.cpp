#include "passthroughframing.h"

#include <QDebug>

namespace {
const QByteArray kDelimiter = QByteArrayLiteral("$_$");
const QByteArray kDisconnected = QByteArrayLiteral("disconnected,2$_$");
} // namespace

PassthroughFraming::PassthroughFraming(int limit)
    : m_limit(limit > 0 ? limit : kDefaultLimit)
{
}

QByteArray PassthroughFraming::registration(const QString &imei)
{
    return imei.toUtf8() + QByteArrayLiteral(",1$_$");
}

QByteArray PassthroughFraming::serialToRelay(const QByteArray &serialData)
{
    return serialData + kDelimiter;
}

PassthroughFraming::Result PassthroughFraming::feed(const QByteArray &read)
{
    Result result;
    if (read.isEmpty())
        return result;
    m_kept.append(read);

    if (m_kept.endsWith(kDelimiter)) {
        take(m_kept, &result);
        m_kept.clear();
        return result;
    }
    if (m_kept.size() <= m_limit)
        return result;

    // Over the limit without a delimiter at the end: a steady stream whose reads keep
    // ending inside a message. What ends with a delimiter is complete and goes out;
    // only the unfinished rest is kept, and dropped if it alone is over the limit.
    const int last = m_kept.lastIndexOf(kDelimiter);
    if (last >= 0) {
        take(m_kept.left(last + kDelimiter.size()), &result);
        m_kept.remove(0, last + kDelimiter.size());
    }
    if (m_kept.size() > m_limit) {
        result.dropped = m_kept.size();
        qDebug() << "PassthroughFraming::feed dropped" << result.dropped
                 << "bytes without delimiter";
        m_kept.clear();
    }
    return result;
}

void PassthroughFraming::take(const QByteArray &complete, Result *result)
{
    const int zero = complete.indexOf('\0');
    const QByteArray text = zero < 0 ? complete : complete.left(zero);
    if (text == kDisconnected)
        result->hmiDisconnected = true;
    else
        result->toSerial = complete.left(complete.size() - kDelimiter.size());
}
