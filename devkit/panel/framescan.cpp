#include "framescan.h"

#include "panelwire.h"

#include <algorithm>

namespace FrameScan {

using PanelWire::kFrameOverhead;
using PanelWire::kMaxChunk;

namespace {

bool trailerAt(const QByteArray &buffer, int frameLength)
{
    return buffer.size() >= frameLength && frameLength >= kFrameOverhead
        && buffer.at(frameLength - 3) == '$' && buffer.at(frameLength - 2) == '_'
        && buffer.at(frameLength - 1) == '$';
}

Result frameOf(const QByteArray &buffer, int length, quint32 index, quint32 sum)
{
    Result r;
    r.status = Result::Frame;
    r.length = length;
    r.index = index;
    r.headerSum = sum;
    r.chunkLen = length - kFrameOverhead;
    r.sumOk = PanelWire::byteSum(buffer.constData() + 8, r.chunkLen) == sum;
    return r;
}

// Length the frame must have when the context fixes it; 0 when it does not.
int knownLength(const Context &ctx, quint32 index)
{
    if (index == ctx.expectedIndex && ctx.remaining > 0 && ctx.chunkSize > 0)
        return int(std::min<quint32>(quint32(ctx.chunkSize), ctx.remaining)) + kFrameOverhead;
    if (ctx.haveLast && index == ctx.lastIndex)
        return ctx.lastChunkLen + kFrameOverhead;
    if (ctx.chunkSize > 0) {
        // Wrong index: assume it is shaped like the frame that is due.
        const int chunk = ctx.remaining > 0 ? int(std::min<quint32>(quint32(ctx.chunkSize), ctx.remaining))
                                            : ctx.lastChunkLen;
        return chunk > 0 ? chunk + kFrameOverhead : 0;
    }
    return 0;
}

} // namespace

int maxFrameLength(const Context &ctx, quint32 index)
{
    quint32 chunk = quint32(kMaxChunk);
    if (index == ctx.expectedIndex && ctx.remaining > 0)
        chunk = std::min<quint32>(chunk, ctx.remaining);
    return int(chunk) + kFrameOverhead;
}

Result scan(const QByteArray &buffer, const Context &ctx)
{
    Result r;
    if (buffer.size() < 8)
        return r;
    const quint32 index = PanelWire::readU32le(buffer.constData());
    const quint32 sum = PanelWire::readU32le(buffer.constData() + 4);
    r.index = index;
    r.headerSum = sum;

    const int known = knownLength(ctx, index);
    if (known > 0) {
        if (buffer.size() < known)
            return r;
        if (trailerAt(buffer, known))
            return frameOf(buffer, known, index, sum);
        // The trailer is not where it must be: look for the frame as if its length were open.
    }

    const int maxLen = maxFrameLength(ctx, index);
    const int limit = std::min(buffer.size(), maxLen);
    const auto *u = reinterpret_cast<const uchar *>(buffer.constData());
    quint32 running = 0;
    int summed = 8;   // bytes 8..summed-1 are in running
    int from = 9;     // a chunk has at least one byte
    for (;;) {
        const int p = buffer.indexOf(PanelWire::kDelimiter, from);
        if (p < 0 || p + 3 > limit)
            break;
        while (summed < p)
            running += u[summed++];
        if (running == sum)
            return frameOf(buffer, p + 3, index, sum);
        from = p + 1;
    }
    if (buffer.size() >= maxLen) {
        r.status = Result::Unmatched;
        r.length = maxLen;
    }
    return r;
}

Result flushQuiet(const QByteArray &buffer)
{
    Result r;
    if (buffer.size() >= kFrameOverhead && buffer.endsWith(PanelWire::kDelimiter)) {
        r.status = Result::Unmatched;
        r.length = buffer.size();
        r.index = PanelWire::readU32le(buffer.constData());
        r.headerSum = PanelWire::readU32le(buffer.constData() + 4);
        r.chunkLen = buffer.size() - kFrameOverhead;
    }
    return r;
}

} // namespace FrameScan
