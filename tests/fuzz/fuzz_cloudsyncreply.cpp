// The cloud project sync's judging of the check and upload replies. The first byte
// chooses how the wait ended and whether a network error text came with it; the rest
// is the reply body.
#include "cloudreply.h"
#include "cloudsyncreply.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    CloudRequest::Result result;
    switch (data[0] % 3) {
    case 0: result.outcome = CloudRequest::Outcome::Finished; break;
    case 1: result.outcome = CloudRequest::Outcome::TimedOut; break;
    default: result.outcome = CloudRequest::Outcome::Interrupted; break;
    }
    if (data[0] & 0x10)
        result.errorText = QStringLiteral("Connection refused");
    // A reply body is only there when the reply finished.
    if (result.outcome == CloudRequest::Outcome::Finished)
        result.body = FuzzSupport::rawBytes(data + 1, size - 1);

    const CloudSyncReply::CheckVerdict check = CloudSyncReply::judgeCheck(result);
    const QString upload = CloudSyncReply::judgeUpload(result);

    if (result.outcome == CloudRequest::Outcome::Interrupted) {
        // A wait cut short by the stop request reports nothing and uploads nothing.
        FUZZ_CHECK(check.text.isEmpty() && !check.upload && upload.isEmpty());
        return 0;
    }
    // Every other ending is reported.
    FUZZ_CHECK(!check.text.isEmpty());
    FUZZ_CHECK(!upload.isEmpty());

    // Only a reply object whose "code" is the number 500 asks for the upload.
    QJsonObject obj;
    const bool wants = result.outcome == CloudRequest::Outcome::Finished
                       && CloudReply::parseObject(result.body, &obj)
                       && obj.value(QStringLiteral("code")).isDouble()
                       && CloudReply::code(obj) == 500;
    FUZZ_CHECK(check.upload == wants);
    return 0;
}
