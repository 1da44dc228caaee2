#include "cloudreply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>
#include <QVariantMap>

namespace CloudReply {

QString operationUrl(const QString &baseUrl, const QString &path)
{
    return QStringLiteral("%1/iot-gateway-mqtt/").arg(baseUrl) + path;
}

QByteArray deviceListBody(const QString &account, const QString &password)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("account"), account);
    obj.insert(QStringLiteral("password"), password);
    // QJsonObject keeps its keys sorted; "account" < "password" is the wire order too.
    return QJsonDocument(obj).toJson(QJsonDocument::Compact);
}

bool parseObject(const QByteArray &body, QJsonObject *out)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    if (doc.isNull() || err.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    if (out)
        *out = doc.object();
    return true;
}

int code(const QJsonObject &obj)
{
    const QJsonValue v = obj.value(QStringLiteral("code"));
    return v.isDouble() ? v.toInt() : 0;
}

QString msg(const QJsonObject &obj)
{
    const QJsonValue v = obj.value(QStringLiteral("msg"));
    if (!v.isString())
        return QString();
    QString text = v.toString();
    if (text.size() <= kMaxMsgChars)
        return text;
    int cut = kMaxMsgChars;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    text.truncate(cut);
    return text + QChar(0x2026);
}

QVector<DevInfo> devList(const QJsonValue &data)
{
    QVector<DevInfo> list;
    if (!data.isArray())
        return list;
    const QVariantList items = data.toArray().toVariantList();
    list.reserve(items.size());
    for (const QVariant &item : items) {
        const QVariantMap map = item.toMap();
        DevInfo dev;
        dev.iMei = map.value(QStringLiteral("deviceImei")).toString();
        dev.status = map.value(QStringLiteral("deviceStatus")).toString();
        list.append(dev);
    }
    return list;
}

const char kDeviceListPath[] = "device/getDeviceList";

DeviceListReply deviceListReply(const QByteArray &body)
{
    DeviceListReply r;
    QJsonObject obj;
    r.usable = parseObject(body, &obj);
    if (!r.usable)
        return r;
    r.hasCode = obj.contains(QStringLiteral("code"));
    r.code = code(obj);
    const QJsonValue data = obj.value(QStringLiteral("data"));
    r.hasList = data.isArray();
    r.devices = devList(data);
    return r;
}

} // namespace CloudReply
