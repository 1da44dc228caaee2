// Reassembly of what the relay server delivers on the pass-through link. The input is
// a limit byte and a sequence of reads (a length byte, then the read). Every byte that
// came in is accounted for: given to the serial port, part of a "disconnected,2$_$"
// message, still kept, or dropped as an unfinished message over the limit.
#include "fuzzsupport.h"
#include "passthroughframing.h"

namespace {

// "disconnected,2$_$" as the whole of the bytes up to their first zero.
bool isDisconnect(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return (zero < 0 ? bytes : bytes.left(zero)) == "disconnected,2$_$";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // Small limits reach the overflow path; 0 stands for the default limit.
    const int limit = data[0] == 0 ? PassthroughFraming::kDefaultLimit : int(data[0]) * 4;
    PassthroughFraming framing(limit);
    FuzzSupport::ReadSplitter reads(data + 1, size - 1);

    QByteArray since; // everything fed since the last message went out or was dropped
    QByteArray read;
    while (reads.next(&read)) {
        since += read;
        const PassthroughFraming::Result r = framing.feed(read);
        FUZZ_CHECK(r.dropped >= 0);
        FUZZ_CHECK(!(r.hmiDisconnected && !r.toSerial.isEmpty()));

        // What must have gone out, and what must still be kept.
        QByteArray complete, rest = since;
        if (since.endsWith("$_$")) {
            complete = since;
            rest.clear();
        } else if (since.size() > limit) {
            const int last = since.lastIndexOf("$_$");
            if (last >= 0) {
                complete = since.left(last + 3);
                rest = since.mid(last + 3);
            }
        }
        if (complete.isEmpty()) {
            FUZZ_CHECK(r.toSerial.isEmpty() && !r.hmiDisconnected);
        } else if (isDisconnect(complete)) {
            FUZZ_CHECK(r.hmiDisconnected);
        } else {
            // Complete messages go out whole, only their final delimiter taken off.
            FUZZ_CHECK(!r.hmiDisconnected);
            FUZZ_CHECK(r.toSerial == complete.left(complete.size() - 3));
        }
        if (rest.size() > limit) {
            // Only an unfinished message over the limit is given up, all of it.
            FUZZ_CHECK(r.dropped == rest.size());
            FUZZ_CHECK(framing.pending() == 0);
            since.clear();
        } else {
            FUZZ_CHECK(r.dropped == 0);
            FUZZ_CHECK(framing.pending() == rest.size());
            since = rest;
        }
    }
    return 0;
}
