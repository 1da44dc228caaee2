#ifndef CLOUDREPLY_H
#define CLOUDREPLY_H

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVector>

#include "devinfo.h"

// Encoding of cloud service requests and decoding of its replies.
// Pure functions: no network, no QObject.
namespace CloudReply {

// "%1/iot-gateway-mqtt/" + path, the base URL put in front unchanged.
QString operationUrl(const QString &baseUrl, const QString &path);

// Compact JSON {"account":..,"password":..} of the device-list query.
QByteArray deviceListBody(const QString &account, const QString &password);

// A body is usable when it parses without error to a JSON object.
bool parseObject(const QByteArray &body, QJsonObject *out);

// "code" as an integer when it is a JSON number, else 0 (a missing key gives 0 too;
// callers test for the key first where that matters).
int code(const QJsonObject &obj);

// A "msg" longer than this many characters is cut there, and "…" marks the cut.
constexpr int kMaxMsgChars = 200;

// "msg" when it is a string, else empty; shortened to kMaxMsgChars (never inside a
// surrogate pair) so that a service cannot fill the window with its text.
QString msg(const QJsonObject &obj);

// Conversion of the "data" array: one entry per element, in order; a missing key
// gives an empty field, a number its decimal text, a non-object element an empty entry.
QVector<DevInfo> devList(const QJsonValue &data);

// The path of the device-list query, after "%1/iot-gateway-mqtt/".
extern const char kDeviceListPath[];

// A reply to the device-list query, taken apart for its callers (sign-in and refresh),
// which decide on it each in their own way.
struct DeviceListReply
{
    bool usable = false;       // the body is a JSON object (parseObject)
    bool hasCode = false;      // it has a "code" member
    int code = 0;              // code()
    bool hasList = false;      // "data" is an array
    QVector<DevInfo> devices;  // devList() of "data"; empty without a list
};
DeviceListReply deviceListReply(const QByteArray &body);

} // namespace CloudReply

#endif // CLOUDREPLY_H
