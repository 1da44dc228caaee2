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

    if (!m_kept.endsWith(kDelimiter)) {
        if (m_kept.size() > m_limit) {
            result.dropped = m_kept.size();
            qDebug() << "PassthroughFraming::feed dropped" << result.dropped
                     << "bytes without delimiter";
            m_kept.clear();
        }
        return result;
    }

    const int zero = m_kept.indexOf('\0');
    const QByteArray text = zero < 0 ? m_kept : m_kept.left(zero);
    if (text == kDisconnected) {
        result.hmiDisconnected = true;
    } else {
        m_kept.chop(kDelimiter.size());
        result.toSerial = m_kept;
    }
    m_kept.clear();
    return result;
}
