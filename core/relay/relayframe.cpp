#include "relayframe.h"

#include <QtEndian>
#include <cstring>

namespace RelayFrame {

namespace {
const char kMagic[] = "QuindarVelostemix"; // 17 characters, sent without its zero
constexpr int kMagicSize = 17;
} // namespace

QByteArray trailer()
{
    return QByteArray(kTrailer, kTrailerSize);
}

quint32 byteSum(const char *data, qint64 len)
{
    quint32 sum = 0;
    const uchar *p = reinterpret_cast<const uchar *>(data);
    for (qint64 i = 0; i < len; ++i)
        sum += p[i];
    return sum;
}

quint32 byteSum(const QByteArray &data)
{
    return byteSum(data.constData(), data.size());
}

QByteArray commandFrame(uchar code, quint32 size, quint32 sum)
{
    char p[kCommandFrameSize] = {};
    std::memcpy(p, kMagic, kMagicSize);
    p[17] = char(code);
    qToLittleEndian<quint32>(size, p + 21);
    qToLittleEndian<quint32>(sum, p + 25);
    std::memcpy(p + 32, kTrailer, kTrailerSize);
    return QByteArray(p, kCommandFrameSize);
}

QByteArray dataFrame(quint32 index, const char *chunk, int len)
{
    if (len < 0)
        len = 0;
    QByteArray frame(len + kDataFrameOverhead, Qt::Uninitialized);
    if (len > 0)
        std::memcpy(frame.data() + kFrameHeaderSize, chunk, size_t(len));
    frameChunkInPlace(frame.data(), index, len);
    return frame;
}

void frameChunkInPlace(char *frame, quint32 index, int len)
{
    if (len < 0)
        len = 0;
    qToLittleEndian<quint32>(index, frame);
    qToLittleEndian<quint32>(byteSum(frame + kFrameHeaderSize, len), frame + 4);
    std::memcpy(frame + kFrameHeaderSize + len, kTrailer, kTrailerSize);
}

int chunkSize(int nFrameByte)
{
    return nFrameByte - kFrameHeaderSize;
}

bool frameSizeUsable(int nFrameByte)
{
    return nFrameByte > kFrameHeaderSize;
}

int nextChunkLength(qint64 fileSize, qint64 offset, int chunk)
{
    const qint64 left = fileSize - offset;
    if (left <= 0 || chunk <= 0)
        return 0;
    return int(qMin<qint64>(left, chunk));
}

QByteArray downloadRegistration(const QString &imei)
{
    return imei.toUtf8() + QByteArrayLiteral("1,1") + trailer();
}

QByteArray passthroughRegistration(const QString &imei)
{
    return imei.toUtf8() + QByteArrayLiteral(",1") + trailer();
}

bool isGoAhead(const QByteArray &read)
{
    const int zero = read.indexOf('\0');
    const QByteArray text = zero < 0 ? read : read.left(zero);
    return text == QByteArrayLiteral("start") + trailer();
}

Ack classifyAck(const QByteArray &read)
{
    return classifyAck(read.constData(), read.size());
}

Ack classifyAck(const char *read, qint64 len)
{
    if (len <= 0)
        return NotAccepted;
    switch (read[0]) {
    case 'K':
    case 'O':
        return Accepted;
    case 'M':
        return ChecksumError;
    default:
        return NotAccepted;
    }
}

ModelReply modelReply(const QByteArray &read)
{
    ModelReply r;
    if (read.size() > 0)
        r.model = uchar(read.at(0));
    if (read.size() > 1)
        r.comm = uchar(read.at(1));
    if (read.size() > 2)
        r.module = uchar(read.at(2));
    return r;
}

bool versionReply(const QByteArray &read, quint32 *version)
{
    if (read.size() < 4)
        return false;
    if (version)
        *version = qFromBigEndian<quint32>(read.constData());
    return true;
}

} // namespace RelayFrame
