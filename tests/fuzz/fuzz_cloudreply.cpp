// The device-list reply of the cloud service: usable body, "code", "msg" and the
// conversion of "data" into the device list, each alone and as the callers take them
// together. A top-level array is also handed to the conversion, so that array inputs
// reach it without the object around them.
#include <QJsonArray>
#include <QJsonDocument>

#include "cloudreply.h"
#include "fuzzsupport.h"

namespace {

void checkList(const QJsonValue &data)
{
    const QVector<DevInfo> list = CloudReply::devList(data);
    if (!data.isArray()) {
        FUZZ_CHECK(list.isEmpty());
        return;
    }
    const QJsonArray array = data.toArray();
    // One entry per element, none skipped, in order.
    FUZZ_CHECK(list.size() == array.size());
    for (int i = 0; i < array.size(); ++i) {
        const QJsonValue item = array.at(i);
        if (!item.isObject()) {
            FUZZ_CHECK(list.at(i).iMei.isEmpty() && list.at(i).status.isEmpty());
            continue;
        }
        const QJsonObject obj = item.toObject();
        const QJsonValue imei = obj.value(QStringLiteral("deviceImei"));
        const QJsonValue status = obj.value(QStringLiteral("deviceStatus"));
        if (imei.isString())
            FUZZ_CHECK(list.at(i).iMei == imei.toString());
        if (imei.isUndefined() || imei.isNull())
            FUZZ_CHECK(list.at(i).iMei.isEmpty());
        if (status.isString())
            FUZZ_CHECK(list.at(i).status == status.toString());
        if (status.isUndefined() || status.isNull())
            FUZZ_CHECK(list.at(i).status.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = FuzzSupport::rawBytes(data, size);

    QJsonObject obj;
    const bool usable = CloudReply::parseObject(body, &obj);
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    FUZZ_CHECK(usable == (err.error == QJsonParseError::NoError && doc.isObject()));

    if (usable) {
        const QJsonValue code = obj.value(QStringLiteral("code"));
        const int c = CloudReply::code(obj);
        if (!code.isDouble())
            FUZZ_CHECK(c == 0);
        else if (code.toDouble() == 200.0)
            FUZZ_CHECK(c == 200);
        const QJsonValue msg = obj.value(QStringLiteral("msg"));
        // The text as sent, or its start followed by the cut mark; never longer.
        const QString shown = CloudReply::msg(obj);
        const QString sent = msg.isString() ? msg.toString() : QString();
        FUZZ_CHECK(shown.size() <= CloudReply::kMaxMsgChars + 1);
        FUZZ_CHECK(shown == sent || (shown.endsWith(QChar(0x2026)) && sent.startsWith(shown.chopped(1))));
        checkList(obj.value(QStringLiteral("data")));
    }
    const CloudReply::DeviceListReply reply = CloudReply::deviceListReply(body);
    FUZZ_CHECK(reply.usable == usable);
    FUZZ_CHECK(reply.hasCode == (usable && obj.contains(QStringLiteral("code"))));
    FUZZ_CHECK(reply.code == (usable ? CloudReply::code(obj) : 0));
    FUZZ_CHECK(reply.hasList == (usable && obj.value(QStringLiteral("data")).isArray()));
    const QJsonValue list = obj.value(QStringLiteral("data"));
    FUZZ_CHECK(reply.devices.size() == (reply.hasList ? list.toArray().size() : 0));
    if (!usable && doc.isArray()) {
        checkList(doc.array());
    }
    return 0;
}
