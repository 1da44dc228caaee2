// Reassembly of what the relay server delivers on the pass-through link. The input is
// a limit byte and a sequence of reads (a length byte, then the read). Every byte that
// came in is accounted for: given to the serial port, part of a "disconnected,2$_$"
// message, a delimiter, still kept, or dropped as an unfinished message over the limit.
#include "fuzzsupport.h"
#include "passthroughframing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // Small limits reach the overflow path; 0 stands for the default limit.
    const int limit = data[0] == 0 ? PassthroughFraming::kDefaultLimit : int(data[0]) * 4;
    PassthroughFraming framing(limit);
    FuzzSupport::ReadSplitter reads(data + 1, size - 1);

    QByteArray since; // everything fed since the last message ended or was dropped
    QByteArray read;
    while (reads.next(&read)) {
        since += read;
        const PassthroughFraming::Result r = framing.feed(read.constData(), read.size());
        FUZZ_CHECK(r.dropped >= 0);

        // Every "$_$", left to right, ends a message: the disconnect note is reported,
        // every other message goes out without its delimiter.
        QByteArray toSerial;
        bool disconnected = false;
        int from = 0;
        for (int at = since.indexOf("$_$"); at >= 0; at = since.indexOf("$_$", from)) {
            const QByteArray message = since.mid(from, at - from);
            if (message == "disconnected,2")
                disconnected = true;
            else
                toSerial += message;
            from = at + 3;
        }
        FUZZ_CHECK(QByteArray(r.toSerial, r.toSerialSize) == toSerial);
        FUZZ_CHECK(r.hmiDisconnected == disconnected);

        QByteArray rest = since.mid(from);
        if (rest.size() > limit) {
            // Only an unfinished message over the limit is given up, all of it but a
            // trailing start of a delimiter.
            const int keep = rest.endsWith("$_") ? 2 : rest.endsWith("$") ? 1 : 0;
            FUZZ_CHECK(r.dropped == rest.size() - keep);
            rest = rest.right(keep);
        } else {
            FUZZ_CHECK(r.dropped == 0);
        }
        FUZZ_CHECK(framing.pending() == rest.size());
        since = rest;
    }
    return 0;
}
