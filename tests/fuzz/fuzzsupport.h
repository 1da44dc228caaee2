#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property of the decoder under test does not hold: say which and abort, so that
// libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                                \
    do {                                                                                \
        if (!(cond)) {                                                                  \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__,      \
                         __LINE__);                                                     \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

namespace FuzzSupport {

// The input without a copy and without the terminating zero a QByteArray normally
// carries, so that a read past the end lands outside libFuzzer's buffer.
inline QByteArray rawBytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
}

// Splits the input into a sequence of reads: each read is one length byte and that
// many bytes (fewer at the end of the input).
class ReadSplitter
{
public:
    ReadSplitter(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool next(QByteArray *read)
    {
        if (m_pos >= m_size)
            return false;
        size_t len = m_data[m_pos++];
        if (len > m_size - m_pos)
            len = m_size - m_pos;
        *read = QByteArray(reinterpret_cast<const char *>(m_data + m_pos), int(len));
        m_pos += len;
        return true;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace FuzzSupport

#endif // FUZZSUPPORT_H
