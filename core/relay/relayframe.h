#ifndef RELAYFRAME_H
#define RELAYFRAME_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Bytes of the links through the relay server: the "$_$" that ends every message, the
// registrations of a download and of a pass-through, the go-ahead, and on the download
// link the command frames, data frames and the panel's replies. (The pass-through's
// messages: PassthroughFraming.)
// Pure functions: no sockets, no QObject.
namespace RelayFrame {

// Command codes (byte 17 of a command frame).
constexpr uchar kQueryModel = 0x46;       // 'F'
constexpr uchar kQueryVersion = 0x53;     // 'S'
constexpr uchar kAnnounceFirmware = 0x69; // 'i'
constexpr uchar kEndOfFile = 0x35;        // '5'
constexpr uchar kProjectComplete = 27;

constexpr int kCommandFrameSize = 35;
constexpr int kDataFrameOverhead = 11; // index, chunk sum, trailer
constexpr int kFrameHeaderSize = 8;    // part of the user's frame size that is not file data
constexpr int kModelReplySize = 3;     // model code, communication type, module code
constexpr int kVersionReplySize = 4;   // project version, big-endian

// "$_$", the end of every message on a relay connection.
inline constexpr char kTrailer[] = "$_$";
constexpr int kTrailerSize = 3;
QByteArray trailer();

// Sum of the bytes taken as unsigned 8-bit values, modulo 2^32.
quint32 byteSum(const char *data, qint64 len);
quint32 byteSum(const QByteArray &data);

// 35 bytes: magic, code at 17, size (LE) at 21, sum (LE) at 25, "$_$" at 32, zero elsewhere.
QByteArray commandFrame(uchar code, quint32 size = 0, quint32 sum = 0);

// index (LE), chunk sum (LE), the len bytes at chunk, "$_$": len + 11 bytes.
// Only the chunk is copied, never the file it belongs to.
QByteArray dataFrame(quint32 index, const char *chunk, int len);
// The same frame made around a chunk already in place: frame + 8 holds the len bytes of
// the chunk; index, sum and trailer are written around them (frame holds len + 11).
void frameChunkInPlace(char *frame, quint32 index, int len);

// Bytes of file data per data frame for a frame size chosen by the user.
int chunkSize(int nFrameByte);
// A frame size leaves room for file data only when it is larger than 8.
bool frameSizeUsable(int nFrameByte);
// Length of the next chunk: the smaller of chunk and what is left after offset.
int nextChunkLength(qint64 fileSize, qint64 offset, int chunk);

// Registration of a download: the IMEI in UTF-8 followed by "1,1$_$".
QByteArray downloadRegistration(const QString &imei);
// Registration of a pass-through: the IMEI in UTF-8 followed by ",1$_$".
QByteArray passthroughRegistration(const QString &imei);

// The go-ahead to either registration: the read, as text up to its first zero byte,
// is exactly "start$_$".
bool isGoAhead(const QByteArray &read);

// Classification of an acknowledgement by its first byte (the values of check_ok).
enum Ack { NotAccepted = 0, Accepted = 1, ChecksumError = 2 };
Ack classifyAck(const QByteArray &read);
Ack classifyAck(const char *read, qint64 len);

// The panel's model reply; a byte missing from a short reply counts as 0.
struct ModelReply
{
    uchar model = 0;
    uchar comm = 0;
    uchar module = 0;
};
ModelReply modelReply(const QByteArray &read);

// The panel's project version: the first four bytes big-endian. False when the reply
// is shorter than 4 bytes.
bool versionReply(const QByteArray &read, quint32 *version);

} // namespace RelayFrame

#endif // RELAYFRAME_H
