#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include "cloudreply.h"

Q_DECLARE_METATYPE(QVector<DevInfo>)

namespace {
DevInfo dev(const QString &imei, const QString &status)
{
    DevInfo d;
    d.iMei = imei;
    d.status = status;
    return d;
}

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}
} // namespace

class TestCloudReply : public QObject
{
    Q_OBJECT

private slots:
    void operationUrl_data();
    void operationUrl();
    void deviceListBody_data();
    void deviceListBody();
    void parseObject_data();
    void parseObject();
    void code_data();
    void code();
    void msg_data();
    void msg();
    void devList_data();
    void devList();
    void deviceListReply_data();
    void deviceListReply();
};

void TestCloudReply::operationUrl_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("url");
    QTest::newRow("plain") << "http://127.0.0.1:8080" << "device/getDeviceList"
                           << "http://127.0.0.1:8080/iot-gateway-mqtt/device/getDeviceList";
    QTest::newRow("empty base") << "" << "device/getDeviceList"
                                << "/iot-gateway-mqtt/device/getDeviceList";
    QTest::newRow("trailing slash kept") << "https://cloud.example/" << "project/checkUuidIsExist"
                                         << "https://cloud.example//iot-gateway-mqtt/project/checkUuidIsExist";
    QTest::newRow("percent in base") << "http://h/%1%2" << "project/uploadToObject"
                                     << "http://h/%1%2/iot-gateway-mqtt/project/uploadToObject";
}

void TestCloudReply::operationUrl()
{
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, url);
    QCOMPARE(CloudReply::operationUrl(base, path), url);
}

void TestCloudReply::deviceListBody_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("ascii") << "demo" << "demo123"
                           << QByteArray(R"({"account":"demo","password":"demo123"})");
    QTest::newRow("empty") << "" << "" << QByteArray(R"({"account":"","password":""})");
    QTest::newRow("chinese utf-8") << QStringLiteral("测试账号") << QStringLiteral("测试123")
                                   << QByteArray("{\"account\":\"\xe6\xb5\x8b\xe8\xaf\x95\xe8\xb4\xa6\xe5\x8f\xb7\","
                                                 "\"password\":\"\xe6\xb5\x8b\xe8\xaf\x95" "123\"}");
    QTest::newRow("quotes and blanks as typed") << " a\"b " << "p\\w"
                                                << QByteArray(R"({"account":" a\"b ","password":"p\\w"})");
}

void TestCloudReply::deviceListBody()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QByteArray, body);
    QCOMPARE(CloudReply::deviceListBody(account, password), body);
}

void TestCloudReply::parseObject_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<int>("keys");
    QTest::newRow("empty") << QByteArray() << false << 0;
    QTest::newRow("html") << QByteArray("<html>502 Bad Gateway</html>") << false << 0;
    QTest::newRow("array") << QByteArray("[{\"code\":200}]") << false << 0;
    QTest::newRow("string") << QByteArray("\"ok\"") << false << 0;
    QTest::newRow("null") << QByteArray("null") << false << 0;
    QTest::newRow("truncated") << QByteArray("{\"code\":200,\"data\":[") << false << 0;
    QTest::newRow("trailing garbage") << QByteArray("{\"code\":200} x") << false << 0;
    QTest::newRow("empty object") << QByteArray("{}") << true << 0;
    QTest::newRow("object") << QByteArray("{\"code\":200,\"msg\":\"ok\",\"data\":[]}") << true << 3;
    QTest::newRow("object with blanks") << QByteArray("  {\"code\":401}\n") << true << 1;
}

void TestCloudReply::parseObject()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, usable);
    QFETCH(int, keys);
    QJsonObject obj;
    obj.insert(QStringLiteral("stale"), 1);
    QCOMPARE(CloudReply::parseObject(body, &obj), usable);
    if (usable)
        QCOMPARE(obj.size(), keys);
    QCOMPARE(CloudReply::parseObject(body, nullptr), usable);
}

void TestCloudReply::code_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("code");
    QTest::newRow("200") << QByteArray(R"({"code":200})") << 200;
    QTest::newRow("200.0") << QByteArray(R"({"code":200.0})") << 200;
    QTest::newRow("2e2") << QByteArray(R"({"code":2e2})") << 200;
    QTest::newRow("401") << QByteArray(R"({"code":401})") << 401;
    QTest::newRow("500") << QByteArray(R"({"code":500})") << 500;
    QTest::newRow("negative") << QByteArray(R"({"code":-1})") << -1;
    QTest::newRow("string 200") << QByteArray(R"({"code":"200"})") << 0;
    QTest::newRow("fraction") << QByteArray(R"({"code":200.5})") << 0;
    QTest::newRow("bool") << QByteArray(R"({"code":true})") << 0;
    QTest::newRow("null") << QByteArray(R"({"code":null})") << 0;
    QTest::newRow("array") << QByteArray(R"({"code":[200]})") << 0;
    QTest::newRow("missing") << QByteArray(R"({"msg":"x"})") << 0;
    QTest::newRow("other case key") << QByteArray(R"({"Code":200})") << 0;
}

void TestCloudReply::code()
{
    QFETCH(QByteArray, json);
    QFETCH(int, code);
    QCOMPARE(CloudReply::code(object(json)), code);
}

void TestCloudReply::msg_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("msg");
    QTest::newRow("string") << QByteArray(R"({"msg":"账号或密码错误"})") << QStringLiteral("账号或密码错误");
    QTest::newRow("number") << QByteArray(R"({"msg":5})") << QString();
    QTest::newRow("missing") << QByteArray(R"({"code":200})") << QString();
    QTest::newRow("null") << QByteArray(R"({"msg":null})") << QString();

    // Shortened before it is shown: at most 200 characters and the cut mark.
    const auto body = [](const QString &text) {
        return QJsonDocument(QJsonObject{{QStringLiteral("msg"), text}}).toJson(QJsonDocument::Compact);
    };
    const QString limit(CloudReply::kMaxMsgChars, QChar(0x5b57));
    QTest::newRow("200 characters kept") << body(limit) << limit;
    QTest::newRow("201 characters cut") << body(limit + "x") << limit + QChar(0x2026);
    QTest::newRow("1 MiB cut") << body(QString(1 << 20, 'a'))
                               << QString(CloudReply::kMaxMsgChars, 'a') + QChar(0x2026);
    const QString emoji = QString::fromUtf8("\xf0\x9f\x98\x80");   // a surrogate pair
    QTest::newRow("pair at the cut not split")
        << body(QString(CloudReply::kMaxMsgChars - 1, 'a') + emoji + "b")
        << QString(CloudReply::kMaxMsgChars - 1, 'a') + QChar(0x2026);
}

void TestCloudReply::msg()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, msg);
    QCOMPARE(CloudReply::msg(object(json)), msg);
}

void TestCloudReply::devList_data()
{
    QTest::addColumn<QByteArray>("data");   // the value of "data"
    QTest::addColumn<QVector<DevInfo>>("list");

    const QString on = QStringLiteral("在线");
    const QString off = QStringLiteral("离线");
    QTest::newRow("empty array") << QByteArray("[]") << QVector<DevInfo>();
    QTest::newRow("two in order")
        << QByteArray(R"([{"deviceImei":"860000000000102","deviceStatus":"离线"},)"
                      R"({"deviceImei":"860000000000101","deviceStatus":"在线"}])")
        << QVector<DevInfo>{dev("860000000000102", off), dev("860000000000101", on)};
    QTest::newRow("second without status")
        << QByteArray(R"([{"deviceImei":"1","deviceStatus":"在线"},{"deviceImei":"2"}])")
        << QVector<DevInfo>{dev("1", on), dev("2", "")};
    QTest::newRow("number and string elements")
        << QByteArray(R"([7,"860000000000101",{"deviceImei":"3","deviceStatus":"在线"}])")
        << QVector<DevInfo>{dev("", ""), dev("", ""), dev("3", on)};
    QTest::newRow("null, array, empty object")
        << QByteArray(R"([null,[1],{}])")
        << QVector<DevInfo>{dev("", ""), dev("", ""), dev("", "")};
    QTest::newRow("numbers give decimal text")
        << QByteArray(R"([{"deviceImei":860000000000101,"deviceStatus":1}])")
        << QVector<DevInfo>{dev("860000000000101", "1")};
    QTest::newRow("other status kept as is")
        << QByteArray(R"([{"deviceImei":"9","deviceStatus":"维护中"},{"deviceImei":"8","deviceStatus":" 在线"}])")
        << QVector<DevInfo>{dev("9", QStringLiteral("维护中")), dev("8", QStringLiteral(" 在线"))};
    QTest::newRow("extra keys ignored")
        << QByteArray(R"([{"deviceImei":"5","deviceStatus":"离线","model":46}])")
        << QVector<DevInfo>{dev("5", off)};
    QTest::newRow("duplicates kept")
        << QByteArray(R"([{"deviceImei":"5","deviceStatus":"离线"},{"deviceImei":"5","deviceStatus":"离线"}])")
        << QVector<DevInfo>{dev("5", off), dev("5", off)};
    QTest::newRow("object, not array") << QByteArray(R"({"deviceImei":"5"})") << QVector<DevInfo>();
    QTest::newRow("string, not array") << QByteArray(R"("[]")") << QVector<DevInfo>();
    QTest::newRow("null") << QByteArray("null") << QVector<DevInfo>();
}

void TestCloudReply::devList()
{
    QFETCH(QByteArray, data);
    QFETCH(QVector<DevInfo>, list);
    const QJsonObject reply = object("{\"data\":" + data + "}");
    QVERIFY2(reply.contains(QStringLiteral("data")), data.constData());
    const QVector<DevInfo> got = CloudReply::devList(reply.value(QStringLiteral("data")));
    QCOMPARE(got.size(), list.size());
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got.at(i).iMei, list.at(i).iMei);
        QCOMPARE(got.at(i).status, list.at(i).status);
    }
}

void TestCloudReply::deviceListReply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<bool>("hasCode");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("hasList");
    QTest::addColumn<QStringList>("imeis");
    QTest::newRow("empty body") << QByteArray() << false << false << 0 << false << QStringList();
    QTest::newRow("array body") << QByteArray(R"([{"deviceImei":"1"}])") << false << false << 0 << false
                                << QStringList();
    QTest::newRow("no code") << QByteArray(R"({"data":[{"deviceImei":"1"}]})") << true << false << 0
                             << true << QStringList{"1"};
    QTest::newRow("code as text") << QByteArray(R"({"code":"200","data":[]})") << true << true << 0
                                  << true << QStringList();
    QTest::newRow("refused") << QByteArray(R"({"code":401,"msg":"bad"})") << true << true << 401 << false
                             << QStringList();
    QTest::newRow("accepted without data") << QByteArray(R"({"code":200})") << true << true << 200
                                           << false << QStringList();
    QTest::newRow("data not an array") << QByteArray(R"({"code":200.0,"data":{"deviceImei":"1"}})")
                                       << true << true << 200 << false << QStringList();
    QTest::newRow("accepted with panels")
        << QByteArray(R"({"code":200,"data":[{"deviceImei":"2"},{"deviceImei":"1"}]})")
        << true << true << 200 << true << QStringList{"2", "1"};
}

void TestCloudReply::deviceListReply()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, usable);
    QFETCH(bool, hasCode);
    QFETCH(int, code);
    QFETCH(bool, hasList);
    QFETCH(QStringList, imeis);
    const CloudReply::DeviceListReply r = CloudReply::deviceListReply(body);
    QCOMPARE(r.usable, usable);
    QCOMPARE(r.hasCode, hasCode);
    QCOMPARE(r.code, code);
    QCOMPARE(r.hasList, hasList);
    QStringList got;
    for (const DevInfo &d : r.devices)
        got << d.iMei;
    QCOMPARE(got, imeis);
}

QTEST_APPLESS_MAIN(TestCloudReply)
#include "tst_cloudreply.moc"
