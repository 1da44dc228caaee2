#include "passthroughframing.h"

#include <cstring>

#include "logging.h"
#include "relayframe.h"

namespace {
const QByteArray kDelimiter = RelayFrame::trailer();
const QByteArray kDisconnected = QByteArrayLiteral("disconnected,2");
} // namespace

PassthroughFraming::PassthroughFraming(int limit)
    : m_limit(limit > 0 ? limit : kDefaultLimit)
{
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
    const int before = m_kept.size();
    m_kept.append(read);

    // The kept bytes hold no delimiter, so the first one ends at the earliest in the new
    // bytes: it may begin up to two bytes before them.
    int from = 0;
    for (int at = m_kept.indexOf(kDelimiter, qMax(0, before - 2)); at >= 0;
         at = m_kept.indexOf(kDelimiter, from)) {
        take(m_kept.constData() + from, at - from, &result);
        from = at + kDelimiter.size();
    }
    m_kept.remove(0, from);

    if (m_kept.size() > m_limit) {
        // An unfinished message over the limit is given up, but for the start of a
        // delimiter at its end, which the next read may complete.
        int keep = 0;
        if (m_kept.endsWith(kDelimiter.left(2)))
            keep = 2;
        else if (m_kept.endsWith(kDelimiter.left(1)))
            keep = 1;
        result.dropped = m_kept.size() - keep;
        qCDebug(lcPassthrough) << "PassthroughFraming::feed dropped" << result.dropped
                               << "bytes without delimiter";
        m_kept.remove(0, result.dropped);
    }
    return result;
}

void PassthroughFraming::take(const char *message, int size, Result *result)
{
    if (size == kDisconnected.size() && std::memcmp(message, kDisconnected.constData(), size_t(size)) == 0)
        result->hmiDisconnected = true;
    else
        result->toSerial.append(message, size);
}
