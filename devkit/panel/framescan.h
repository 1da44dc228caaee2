#ifndef FRAMESCAN_H
#define FRAMESCAN_H

#include <QByteArray>

// Finding the end of one data frame (index u32 LE, chunk sum u32 LE, chunk, "$_$")
// at the start of a TCP byte stream. The chunk size is not told in advance and the
// chunk may itself hold "$_$", so:
//   - when the length is known (the file's first frame fixed the chunk size, or the
//     frame repeats the last accepted index) the trailer must stand right there;
//   - otherwise every "$_$" is a candidate end, and the first candidate whose chunk
//     fits and whose byte sum equals the header's sum is the frame (a shorter false
//     candidate cannot match: the "$_$" bytes it cuts off are not zero);
//   - a frame that matches nowhere is given up once its longest possible length is
//     in the buffer.
namespace FrameScan {

struct Context
{
    quint32 expectedIndex = 0;
    quint32 remaining = 0;       // file bytes still missing
    int chunkSize = 0;           // chunk size of this file's frames; 0 = not known yet
    bool haveLast = false;       // a frame of this file was accepted
    quint32 lastIndex = 0;
    int lastChunkLen = 0;
};

struct Result
{
    enum Status { NeedMore, Frame, Unmatched };
    Status status = NeedMore;
    int length = 0;        // bytes of the buffer that this result takes
    quint32 index = 0;
    quint32 headerSum = 0;
    int chunkLen = 0;      // chunk at offset 8
    bool sumOk = false;
};

Result scan(const QByteArray &buffer, const Context &ctx);

// The longest frame that can still come for this context.
int maxFrameLength(const Context &ctx, quint32 index);

// When the stream has gone quiet: a buffer that ends in "$_$" is taken whole as one
// frame that cannot be matched.
Result flushQuiet(const QByteArray &buffer);

} // namespace FrameScan

#endif // FRAMESCAN_H
