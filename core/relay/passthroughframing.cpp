#include "passthroughframing.h"

#include <cstring>

#include "logging.h"
#include "relayframe.h"

namespace {
using RelayFrame::kTrailer;
using RelayFrame::kTrailerSize;
constexpr char kDisconnected[] = "disconnected,2";
constexpr int kDisconnectedSize = 14;

// The first delimiter in data[from, size), or -1.
int findDelimiter(const char *data, int size, int from)
{
    while (from <= size - kTrailerSize) {
        const void *at = std::memchr(data + from, kTrailer[0], size_t(size - kTrailerSize + 1 - from));
        if (!at)
            return -1;
        const int i = int(static_cast<const char *>(at) - data);
        if (data[i + 1] == kTrailer[1] && data[i + 2] == kTrailer[2])
            return i;
        from = i + 1;
    }
    return -1;
}

// The kept bytes and the output buffer grow to what the traffic needs once and keep
// their room from then on (a QByteArray resized to nothing lets its room go otherwise).
void emptyKeepingRoom(QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    bytes.reserve(bytes.capacity());
    bytes.resize(0);
}
} // namespace

PassthroughFraming::PassthroughFraming(int limit)
    : m_limit(limit > 0 ? limit : kDefaultLimit)
{
}

QByteArray PassthroughFraming::serialToRelay(const QByteArray &serialData)
{
    return serialData + RelayFrame::trailer();
}

void PassthroughFraming::clear()
{
    m_kept.clear();
    m_out.clear();
}

PassthroughFraming::Result PassthroughFraming::feed(const char *read, int size)
{
    Result result;
    if (size <= 0)
        return result;
    emptyKeepingRoom(m_out);

    // Scanned in place while nothing is kept; else after the kept bytes, which hold no
    // delimiter, so the first one ends at the earliest in the new bytes: it may begin up
    // to two bytes before them.
    const char *data = read;
    int length = size;
    int at = 0;
    if (!m_kept.isEmpty()) {
        const int before = m_kept.size();
        m_kept.append(read, size);
        data = m_kept.constData();
        length = m_kept.size();
        at = qMax(0, before - 2);
    }
    int from = 0;
    for (at = findDelimiter(data, length, at); at >= 0; at = findDelimiter(data, length, from)) {
        take(data + from, at - from, &result);
        from = at + kTrailerSize;
    }
    // A single message may lie in the kept bytes, which move now: it goes to the buffer.
    if (data != read && result.toSerialSize > 0 && m_out.isEmpty()) {
        m_out.append(result.toSerial, result.toSerialSize);
        result.toSerial = m_out.constData();
    }

    if (data == read) {
        if (from < length)
            m_kept.append(read + from, length - from);
    } else if (from == length) {
        emptyKeepingRoom(m_kept);
    } else if (from > 0) {
        m_kept.remove(0, from);
    }

    if (m_kept.size() > m_limit) {
        // An unfinished message over the limit is given up, but for the start of a
        // delimiter at its end, which the next read may complete.
        int keep = 0;
        if (m_kept.endsWith(QByteArray::fromRawData(kTrailer, 2)))
            keep = 2;
        else if (m_kept.endsWith(kTrailer[0]))
            keep = 1;
        result.dropped = m_kept.size() - keep;
        qCDebug(lcPassthrough) << "PassthroughFraming::feed dropped" << result.dropped
                               << "bytes without delimiter";
        m_kept.remove(0, result.dropped);
    }
    return result;
}

// The first message of data is handed out where it lies; from the second one on, the
// messages are gathered in m_out.
void PassthroughFraming::take(const char *message, int size, Result *result)
{
    if (size == kDisconnectedSize && std::memcmp(message, kDisconnected, size_t(size)) == 0) {
        result->hmiDisconnected = true;
        return;
    }
    if (size == 0)
        return;
    if (result->toSerialSize == 0) {
        result->toSerial = message;
        result->toSerialSize = size;
        return;
    }
    if (m_out.isEmpty())
        m_out.append(result->toSerial, result->toSerialSize);
    m_out.append(message, size);
    result->toSerial = m_out.constData();
    result->toSerialSize = m_out.size();
}
