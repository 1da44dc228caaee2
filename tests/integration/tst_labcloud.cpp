// The lab's cloud service seen from outside: raw HTTP requests on loopback, replies,
// event lines and stored archives. Nothing of the program is used here; expected bytes
// are written out literally or computed from literal data.

#include "labprocess.h"
#include "testcerts.h"
#include "testfiles.h"
#include "testzip.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray kDeviceList = "/iot-gateway-mqtt/device/getDeviceList";
const QByteArray kCheck = "/iot-gateway-mqtt/project/checkUuidIsExist";
const QByteArray kUpload = "/iot-gateway-mqtt/project/uploadToObject";
const QByteArray kMultipartType = "multipart/form-data; boundary=YourBoundaryString";
const QString kBoundUuid = QStringLiteral("0123456789abcdef0123456789abcdef");

const char *const kBaseSection = R"({
  "accounts": [
    {"account": "demo", "password": "demo123", "panels": [
      {"imei": "860000000000101", "status": "在线"},
      {"imei": "860000000000102", "status": "在线"},
      {"imei": "860000000000901", "status": "离线"}]},
    {"account": "field", "password": "field456", "panels": [
      {"imei": "860000000000107", "status": "在线"}]},
    {"account": "测试账号", "password": "测试123", "panels": [
      {"imei": "860000000000110", "status": "在线"}]}
  ],
  "bindings": [{"gatewayId": "860000000000102", "uuid": "0123456789abcdef0123456789abcdef"}]
})";

QJsonObject json(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

QJsonObject baseSection()
{
    return json(kBaseSection);
}

struct HttpReply
{
    bool complete = false;
    int status = 0;
    QByteArray body;
    QByteArray received;
};

// Complete once the head and Content-Length bytes of body are in.
bool parseReply(const QByteArray &in, HttpReply *reply)
{
    reply->received = in;
    const int headEnd = in.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = in.left(headEnd).split('\n');
    reply->status = lines.value(0).split(' ').value(1).toInt();
    int length = 0;
    for (const QByteArray &l : lines)
        if (l.toLower().startsWith("content-length:"))
            length = l.mid(15).trimmed().toInt();
    reply->body = in.mid(headEnd + 4);
    reply->complete = reply->body.size() >= length;
    return reply->complete;
}

HttpReply readReply(QTcpSocket &socket, int timeoutMs)
{
    HttpReply reply;
    QByteArray in;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() == 0 && socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForReadyRead(20);
        in += socket.readAll();
        if (parseReply(in, &reply) || socket.state() != QAbstractSocket::ConnectedState)
            break;
    }
    parseReply(in, &reply);
    return reply;
}

QByteArray request(const QByteArray &method, const QByteArray &path, const QByteArray &contentType,
                   const QByteArray &body)
{
    QByteArray r = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!contentType.isNull())
        r += "Content-Type: " + contentType + "\r\n";
    return r + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

HttpReply exchange(quint16 port, const QByteArray &raw, int timeoutMs = 5000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return HttpReply();
    socket.write(raw);
    return readReply(socket, timeoutMs);
}

HttpReply post(quint16 port, const QByteArray &path, const QByteArray &contentType, const QByteArray &body)
{
    return exchange(port, request("POST", path, contentType, body));
}

HttpReply postJson(quint16 port, const QByteArray &path, const QByteArray &body)
{
    return post(port, path, "application/json", body);
}

QString md5Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

// One multipart body laid out as the program sends it.
struct Upload
{
    QByteArray uuid;
    QByteArray usePrjName = "0";
    QByteArray gatewayId = "860000000000101";
    QByteArray account = "demo";
    QByteArray password = "demo123";
    QByteArray fileName = "target.zip";
    QByteArray fileType = "application/zip";
    QByteArray archive;
    QByteArray boundary = "YourBoundaryString";
    QList<QByteArray> dropped;
    QByteArray extra; // appended before the file part

    QByteArray field(const QByteArray &name, const QByteArray &value) const
    {
        if (dropped.contains(name))
            return QByteArray();
        return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    }

    QByteArray body() const
    {
        QByteArray b = field("uuid", uuid) + field("usePrjName", usePrjName) + field("gatewayId", gatewayId)
                       + field("account", account) + field("password", password) + extra;
        b += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"";
        if (!fileName.isNull())
            b += "; filename=\"" + fileName + "\"";
        b += "\r\nContent-Type: " + fileType + "\r\n\r\n" + archive + "\r\n--" + boundary + "--\r\n";
        return b;
    }
};

QByteArray checkBody(const QString &uuid, const QString &gatewayId, const QString &account = QStringLiteral("demo"),
                     const QString &password = QStringLiteral("demo123"))
{
    return QJsonDocument(QJsonObject{{"uuid", uuid}, {"gatewayId", gatewayId}, {"account", account},
                                     {"password", password}, {"usePrjName", false}, {"check", true}})
        .toJson(QJsonDocument::Compact);
}

QStringList storedFiles(const QString &store)
{
    QStringList files;
    QDirIterator it(store, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

} // namespace

class tst_LabCloud : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void checkOption_data();
    void checkOption();
    void deviceList_data();
    void deviceList();
    void deviceListFaults_data();
    void deviceListFaults();
    void streamedBodies_data();
    void streamedBodies();
    void delayedAnswer();
    void hangingRequestsStarveNothing();
    void stopsCleanlyWhileHanging();
    void checkRefusals_data();
    void checkRefusals();
    void syncFlow();
    void uploadAccepted_data();
    void uploadAccepted();
    void uploadRefusals_data();
    void uploadRefusals();
    void uploadUnderFaults_data();
    void uploadUnderFaults();
    void unknownPaths_data();
    void unknownPaths();
    void badTraffic();
    void httpsMode();

private:
    bool startLab(const QJsonObject &section);
    quint16 port() const { return m_lab->port(); }
    QList<QJsonObject> events() const { return readEventLines(m_events); }
    QList<QJsonObject> waitForEvent(const QString &event, const QByteArray &path, int n = 1, int timeoutMs = 5000);

    QTemporaryDir m_dir;
    std::unique_ptr<LabProcess> m_lab;
    QString m_events;
    QString m_store;
    int m_run = 0;

    // Archive with a directory entry; its identity from the literal entry contents.
    QByteArray m_archive;
    QString m_identity;
    QByteArray m_reordered; // the same entries in another order
    QByteArray m_other;     // other contents
    QString m_otherIdentity;
};

void tst_LabCloud::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo::exists(LabProcess::programPath("lab-cloud")), "lab-cloud is not built");
    const QByteArray a = "alpha\n", b = QByteArray("\x00\x01" "beta", 6);
    m_archive = TestZip::makeZip({{"a.txt", a}, {"sub/", QByteArray()}, {"sub/b.bin", b}});
    m_reordered = TestZip::makeZip({{"sub/b.bin", b}, {"a.txt", a}});
    m_other = TestZip::makeZip({{"a.txt", "gamma"}});
    QVERIFY(!m_archive.isEmpty() && !m_reordered.isEmpty() && !m_other.isEmpty());
    m_identity = md5Hex(a + b);
    m_otherIdentity = md5Hex("gamma");
}

void tst_LabCloud::cleanup()
{
    m_lab.reset();
}

bool tst_LabCloud::startLab(const QJsonObject &section)
{
    const QString base = m_dir.filePath(QStringLiteral("run%1").arg(++m_run));
    const QString config = base + QStringLiteral("/lab.json");
    if (!TestFiles::writeJson(config, QJsonObject{{"cloud", section}}))
        return false;
    m_events = base + QStringLiteral("/deep/events/cloud.jsonl"); // parent folders do not exist yet
    m_store = base + QStringLiteral("/store");
    m_lab.reset(new LabProcess(QStringLiteral("lab-cloud")));
    const bool ok = m_lab->start({"--config", config, "--port", "0", "--events", m_events, "--store", m_store});
    if (!ok)
        qWarning() << "lab-cloud did not start:" << m_lab->diagnostics();
    return ok && m_lab->port() != 0;
}

QList<QJsonObject> tst_LabCloud::waitForEvent(const QString &event, const QByteArray &path, int n, int timeoutMs)
{
    return waitForLinesWith(m_events, {{"event", event}, {"path", QString::fromUtf8(path)}}, n, timeoutMs);
}

void tst_LabCloud::checkOption_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("cloud section") << QByteArray(R"({"cloud":{"port":1}})") << 0;
    QTest::newRow("empty cloud section") << QByteArray(R"({"relay":{},"cloud":{}})") << 0;
    QTest::newRow("other sections only") << QByteArray(R"({"relay":{"port":10745}})") << 1;
    QTest::newRow("cloud not an object") << QByteArray(R"({"cloud":[]})") << 1;
    QTest::newRow("not JSON") << QByteArray("cloud: yes") << 1;
    QTest::newRow("no file") << QByteArray() << 1;
}

void tst_LabCloud::checkOption()
{
    QFETCH(QByteArray, config);
    QFETCH(int, exitCode);
    const QString path = m_dir.filePath(QStringLiteral("check-%1.json").arg(QTest::currentDataTag()));
    if (!config.isNull())
        QVERIFY(TestFiles::writeFile(path, config));
    QProcess p;
    p.start(LabProcess::programPath("lab-cloud"), {"--config", path, "--check"});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY(!p.readAllStandardOutput().contains("ready"));
}

void tst_LabCloud::deviceList_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray demoList =
        R"([{"deviceImei":"860000000000101","deviceStatus":"在线"},{"deviceImei":"860000000000102","deviceStatus":"在线"},)"
        R"({"deviceImei":"860000000000901","deviceStatus":"离线"}])";
    QTest::newRow("demo in config order")
        << QByteArray(R"({"account":"demo","password":"demo123"})")
        << QByteArray(R"({"code":200,"msg":"成功","data":)" + demoList + "}");
    QTest::newRow("chinese account")
        << QByteArray(R"({"account":"测试账号","password":"测试123"})")
        << QByteArray(R"({"code":200,"msg":"成功","data":[{"deviceImei":"860000000000110","deviceStatus":"在线"}]})");
    QTest::newRow("wrong password")
        << QByteArray(R"({"account":"demo","password":"demo124"})")
        << QByteArray(R"({"code":401,"msg":"账号不存在或密码错误"})");
    QTest::newRow("password of another account")
        << QByteArray(R"({"account":"demo","password":"field456"})")
        << QByteArray(R"({"code":401,"msg":"账号不存在或密码错误"})");
    QTest::newRow("unknown account")
        << QByteArray(R"({"account":"nobody","password":"demo123"})")
        << QByteArray(R"({"code":401,"msg":"账号不存在或密码错误"})");
    QTest::newRow("form body") << QByteArray("account=demo&password=demo123") << QByteArray("400");
    QTest::newRow("array body") << QByteArray(R"(["demo","demo123"])") << QByteArray("400");
    QTest::newRow("empty body") << QByteArray("") << QByteArray("400");
    QTest::newRow("password a number") << QByteArray(R"({"account":"demo","password":123})") << QByteArray("400");
    QTest::newRow("no password") << QByteArray(R"({"account":"demo"})") << QByteArray("400");
}

void tst_LabCloud::deviceList()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    QVERIFY(startLab(baseSection()));

    const HttpReply reply = postJson(port(), kDeviceList, body);
    QVERIFY(reply.complete);
    const QJsonDocument doc = QJsonDocument::fromJson(reply.body);
    QVERIFY2(doc.isObject(), reply.body.constData());
    int code = expected.toInt();
    if (code == 0) { // a whole reply object
        QCOMPARE(doc.object(), json(expected));
        code = json(expected).value("code").toInt();
    } else {
        QCOMPARE(doc.object().value("code"), QJsonValue(code));
        QVERIFY(doc.object().value("msg").isString());
        QVERIFY(!doc.object().contains("data"));
    }

    const QList<QJsonObject> requests = waitForEvent("request", kDeviceList);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].value("code"), QJsonValue(code));
    QCOMPARE(requests[0].value("headers").toObject().value("Content-Type").toString(), QString("application/json"));
    const QJsonObject sent = json(body);
    if (!sent.isEmpty()) {
        QCOMPARE(requests[0].value("fields").toObject(), sent); // password included
        QCOMPARE(requests[0].value("account"), sent.value("account"));
    }
    const QList<QJsonObject> replies = waitForEvent("reply", kDeviceList);
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies[0].value("body").toString().toUtf8(), reply.body);
}

void tst_LabCloud::deviceListFaults_data()
{
    QTest::addColumn<QByteArray>("globalFault");
    QTest::addColumn<QByteArray>("demoFault");
    QTest::addColumn<QByteArray>("account");
    QTest::addColumn<QByteArray>("expected"); // a JSON object, or raw bytes
    QTest::addColumn<QByteArray>("eventCode"); // JSON value

    const QByteArray list = R"([{"deviceImei":"860000000000107","deviceStatus":"在线"}])";
    QTest::newRow("raw html") << QByteArray(R"({"body":"<html>busy</html>"})") << QByteArray() << QByteArray("field")
                              << QByteArray("<html>busy</html>") << QByteArray(R"("raw")");
    QTest::newRow("empty body") << QByteArray(R"({"body":""})") << QByteArray() << QByteArray("field")
                                << QByteArray("") << QByteArray(R"("raw")");
    QTest::newRow("code as string") << QByteArray(R"({"codeAsString":true})") << QByteArray() << QByteArray("field")
                                    << QByteArray(R"({"code":"200","msg":"成功","data":)" + list + "}")
                                    << QByteArray(R"("200")");
    QTest::newRow("code as given string") << QByteArray(R"({"codeAsString":"200.0"})") << QByteArray()
                                          << QByteArray("field")
                                          << QByteArray(R"({"code":"200.0","msg":"成功","data":)" + list + "}")
                                          << QByteArray(R"("200.0")");
    QTest::newRow("no data") << QByteArray(R"({"noData":true})") << QByteArray() << QByteArray("field")
                             << QByteArray(R"({"code":200,"msg":"成功"})") << QByteArray("200");
    QTest::newRow("data raw") << QByteArray(R"({"dataRaw":[1,"x",{"deviceImei":"5"}]})") << QByteArray()
                              << QByteArray("field")
                              << QByteArray(R"({"code":200,"msg":"成功","data":[1,"x",{"deviceImei":"5"}]})")
                              << QByteArray("200");
    QTest::newRow("code and msg") << QByteArray(R"({"code":503,"msg":"维护中"})") << QByteArray()
                                  << QByteArray("field") << QByteArray(R"({"code":503,"msg":"维护中"})")
                                  << QByteArray("503");
    QTest::newRow("code without msg member") << QByteArray(R"({"code":500,"omitMsg":true})") << QByteArray()
                                             << QByteArray("field") << QByteArray(R"({"code":500})")
                                             << QByteArray("500");
    QTest::newRow("no code") << QByteArray(R"({"noCode":true})") << QByteArray() << QByteArray("field")
                             << QByteArray(R"({"msg":"成功","data":)" + list + "}") << QByteArray(R"("nocode")");
    QTest::newRow("account fault overrides global")
        << QByteArray(R"({"code":503,"msg":"全局"})") << QByteArray(R"({"noData":true})") << QByteArray("demo")
        << QByteArray(R"({"code":200,"msg":"成功"})") << QByteArray("200");
    QTest::newRow("global fault for other accounts")
        << QByteArray(R"({"code":503,"msg":"全局"})") << QByteArray(R"({"noData":true})") << QByteArray("field")
        << QByteArray(R"({"code":503,"msg":"全局"})") << QByteArray("503");
    QTest::newRow("delay alone keeps the answer")
        << QByteArray() << QByteArray(R"({"delayMs":1})") << QByteArray("field")
        << QByteArray(R"({"code":200,"msg":"成功","data":)" + list + "}") << QByteArray("200");
}

void tst_LabCloud::deviceListFaults()
{
    QFETCH(QByteArray, globalFault);
    QFETCH(QByteArray, demoFault);
    QFETCH(QByteArray, account);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, eventCode);

    QJsonObject section = baseSection();
    if (!globalFault.isNull())
        section.insert("faults", QJsonObject{{"getDeviceList", json(globalFault)}});
    if (!demoFault.isNull()) {
        QJsonArray accounts = section.value("accounts").toArray();
        QJsonObject demo = accounts[0].toObject();
        demo.insert("faults", QJsonObject{{"getDeviceList", json(demoFault)}});
        accounts[0] = demo;
        section.insert("accounts", accounts);
    }
    QVERIFY(startLab(section));

    const QByteArray password = account == "demo" ? "demo123" : "field456";
    const HttpReply reply =
        postJson(port(), kDeviceList, R"({"account":")" + account + R"(","password":")" + password + "\"}");
    QVERIFY(reply.complete);
    if (expected.startsWith('{'))
        QCOMPARE(QJsonDocument::fromJson(reply.body).object(), json(expected));
    else
        QCOMPARE(reply.body, expected);

    const QList<QJsonObject> requests = waitForEvent("request", kDeviceList);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].value("code"), QJsonDocument::fromJson("[" + eventCode + "]").array().at(0));
}

void tst_LabCloud::streamedBodies_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<qint64>("size");        // -1: no end
    QTest::newRow("padded to 3 MiB") << QByteArray(R"({"bodyBytes":3145728})") << qint64(3145728);
    QTest::newRow("endless") << QByteArray(R"({"endless":true})") << qint64(-1);
}

// Oversized and endless answers are streamed: still the service's answer as one JSON
// object (padded), and the lab notes how much went out before the client left.
void tst_LabCloud::streamedBodies()
{
    QFETCH(QByteArray, fault);
    QFETCH(qint64, size);
    QJsonObject section = baseSection();
    section.insert("faults", QJsonObject{{"getDeviceList", json(fault)}});
    QVERIFY(startLab(section));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port());
    QVERIFY(socket.waitForConnected(3000));
    socket.write(request("POST", kDeviceList, "application/json", R"({"account":"field","password":"field456"})"));
    const int enough = 2 * 1024 * 1024;
    QByteArray in;
    HttpReply reply;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000 && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(50);
        in += socket.readAll();
        if (size >= 0 ? parseReply(in, &reply) : in.size() >= enough)
            break;
    }
    if (size >= 0) {
        QVERIFY(reply.complete);
        QCOMPARE(qint64(reply.body.size()), size);
        QJsonObject obj = json(reply.body);
        const QString pad = obj.take("pad").toString();
        QVERIFY(!pad.isEmpty() && pad.count('x') == pad.size());
        QCOMPARE(obj, json(R"({"code":200,"msg":"成功","data":[{"deviceImei":"860000000000107","deviceStatus":"在线"}]})"));
        QCOMPARE(waitForEvent("closed", kDeviceList).value(0).value("reason").toString(), QString("complete"));
    } else {
        QVERIFY(in.size() >= enough);
        QVERIFY(in.contains("Transfer-Encoding: chunked"));
        socket.abort();
        const QJsonObject closed = waitForEvent("closed", kDeviceList).value(0);
        QCOMPARE(closed.value("reason").toString(), QString("client left"));
        QVERIFY(closed.value("sent").toDouble() >= enough - 4096);
    }
}

void tst_LabCloud::delayedAnswer()
{
    const int delayMs = 400;
    QJsonObject section = baseSection();
    section.insert("faults", json(R"({"getDeviceList":{"delayMs":400}})"));
    QVERIFY(startLab(section));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port());
    QVERIFY(socket.waitForConnected(3000));
    QElapsedTimer clock;
    clock.start();
    socket.write(request("POST", kDeviceList, "application/json", R"({"account":"field","password":"field456"})"));
    QVERIFY(socket.waitForBytesWritten(3000));

    // The arrival is recorded before the answer goes out.
    QCOMPARE(waitForEvent("request", kDeviceList).size(), 1);
    QCOMPARE(waitForEvent("reply", kDeviceList, 1, 0).size(), 0);
    QCOMPARE(socket.bytesAvailable(), 0);

    const HttpReply reply = readReply(socket, 5000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(reply.complete);
    QCOMPARE(json(reply.body).value("code"), QJsonValue(200));
    QVERIFY2(elapsed >= delayMs, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < delayMs + 2000, qPrintable(QString::number(elapsed)));

    const QJsonObject arrived = waitForEvent("request", kDeviceList).value(0);
    const QJsonObject answered = waitForEvent("reply", kDeviceList).value(0);
    QCOMPARE(arrived.value("delayMs"), QJsonValue(delayMs));
    QVERIFY(answered.value("t").toDouble() - arrived.value("t").toDouble() >= delayMs);
}

void tst_LabCloud::hangingRequestsStarveNothing()
{
    // More hanging requests than a thread pool sized after the processor count would hold.
    const int hanging = 100;
    QJsonObject section = baseSection();
    QJsonArray accounts = section.value("accounts").toArray();
    QJsonObject demo = accounts[0].toObject();
    demo.insert("faults", json(R"({"getDeviceList":{"hang":true}})"));
    accounts[0] = demo;
    section.insert("accounts", accounts);
    QVERIFY(startLab(section));

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < hanging; ++i) {
        clients.emplace_back(new QTcpSocket);
        clients.back()->connectToHost(QHostAddress::LocalHost, port());
        QVERIFY(clients.back()->waitForConnected(3000));
        clients.back()->write(request("POST", kDeviceList, "application/json", R"({"account":"demo","password":"demo123"})"));
        QVERIFY(clients.back()->waitForBytesWritten(3000));
    }
    const QList<QJsonObject> arrived = waitForEvent("request", kDeviceList, hanging, 10000);
    QCOMPARE(arrived.size(), hanging);
    for (const QJsonObject &e : arrived)
        QCOMPARE(e.value("code"), QJsonValue("hang"));

    // Another account is served at once.
    QElapsedTimer clock;
    clock.start();
    const HttpReply other = postJson(port(), kDeviceList, R"({"account":"field","password":"field456"})");
    QVERIFY(other.complete);
    QCOMPARE(json(other.body).value("code"), QJsonValue(200));
    QVERIFY(clock.elapsed() < 2000);

    QTest::qWait(200);
    for (auto &c : clients) {
        c->waitForReadyRead(1);
        QCOMPARE(c->bytesAvailable(), 0);
        QCOMPARE(c->state(), QAbstractSocket::ConnectedState);
    }
    QCOMPARE(waitForEvent("reply", kDeviceList).size(), 1);

    // Clients that give up free their workers: the lab notices every one of them.
    for (auto &c : clients)
        c->abort();
    QList<QJsonObject> closed = waitForEvent("closed", kDeviceList, hanging, 10000);
    QCOMPARE(closed.size(), hanging);
    QCOMPARE(closed[0].value("reason").toString(), QString("client left"));
}

void tst_LabCloud::stopsCleanlyWhileHanging()
{
    const QString config = m_dir.filePath("stop/lab.json");
    QJsonObject section = baseSection();
    section.insert("faults", json(R"({"checkUuidIsExist":{"hang":true}})"));
    QVERIFY(TestFiles::writeJson(config, QJsonObject{{"cloud", section}}));
    m_events = m_dir.filePath("stop/events.jsonl");

    QProcess lab;
    lab.start(LabProcess::programPath("lab-cloud"), {"--config", config, "--port", "0", "--events", m_events});
    QVERIFY(lab.waitForStarted(3000));
    QDeadlineTimer deadline(5000);
    while (!lab.canReadLine() && !deadline.hasExpired())
        lab.waitForReadyRead(50);
    const QJsonObject ready = QJsonDocument::fromJson(lab.readLine()).object();
    QCOMPARE(ready.value("ready"), QJsonValue(true));
    QCOMPARE(ready.value("service"), QJsonValue("cloud"));
    const quint16 labPort = quint16(ready.value("port").toInt());
    QVERIFY(labPort != 0);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, labPort);
    QVERIFY(client.waitForConnected(3000));
    client.write(request("POST", kCheck, "application/json", checkBody(m_identity, "860000000000101")));
    QCOMPARE(waitForEvent("request", kCheck).size(), 1);

    QElapsedTimer clock;
    clock.start();
    lab.terminate();
    QVERIFY(lab.waitForFinished(3000));
    QCOMPARE(lab.exitStatus(), QProcess::NormalExit);
    QCOMPARE(lab.exitCode(), 0);
    QVERIFY(clock.elapsed() < 2000);
    // The hanging client is let go without an answer.
    QVERIFY(client.state() == QAbstractSocket::UnconnectedState || client.waitForDisconnected(2000));
    QCOMPARE(client.readAll(), QByteArray());
    const QList<QJsonObject> closed = waitForEvent("closed", kCheck);
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed[0].value("reason").toString(), QString("stopping"));
}

void tst_LabCloud::checkRefusals_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");

    auto with = [](const char *key, const QJsonValue &value, bool remove = false) {
        QJsonObject o = json(checkBody(QStringLiteral("0123456789abcdef0123456789abcdef"), "860000000000101"));
        if (remove)
            o.remove(QLatin1String(key));
        else
            o.insert(QLatin1String(key), value);
        return QJsonDocument(o).toJson(QJsonDocument::Compact);
    };
    for (const char *key : {"uuid", "gatewayId", "account", "password", "usePrjName", "check"}) {
        QTest::addRow("no %s", key) << with(key, QJsonValue(), true) << 400;
        QTest::addRow("%s of the wrong type", key)
            << with(key, QString(key) == "usePrjName" || QString(key) == "check" ? QJsonValue("false") : QJsonValue(7))
            << 400;
    }
    QTest::newRow("not JSON") << QByteArray("uuid=1") << 400;
    QTest::newRow("wrong password") << with("password", "demo") << 401;
    QTest::newRow("unknown account") << with("account", "nobody") << 401;
    QTest::newRow("panel of another account") << with("gatewayId", "860000000000107") << 403;
    QTest::newRow("unknown panel") << with("gatewayId", "860000000000999") << 403;
    QTest::newRow("not bound") << with("uuid", "fedcba9876543210fedcba9876543210") << 500;
    QTest::newRow("bound at start") << with("gatewayId", "860000000000102") << 200;
}

void tst_LabCloud::checkRefusals()
{
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    QVERIFY(startLab(baseSection()));
    const HttpReply reply = postJson(port(), kCheck, body);
    QVERIFY(reply.complete);
    const QJsonObject obj = json(reply.body);
    QCOMPARE(obj.value("code"), QJsonValue(code));
    QVERIFY(obj.value("msg").isString());
    if (code == 500)
        QCOMPARE(obj.value("msg").toString(), QString("需要上传"));
    if (code == 401)
        QCOMPARE(obj.value("msg").toString(), QString("账号不存在或密码错误"));
    QCOMPARE(waitForEvent("request", kCheck).value(0).value("code"), QJsonValue(code));
}

void tst_LabCloud::syncFlow()
{
    QVERIFY(startLab(baseSection()));
    const QString gw = QStringLiteral("860000000000101");
    auto check = [&](const QString &uuid, const QString &gateway) {
        return json(postJson(port(), kCheck, checkBody(uuid, gateway)).body);
    };

    QCOMPARE(check(m_identity, gw), json(R"({"code":500,"msg":"需要上传"})"));

    Upload upload;
    upload.uuid = m_identity.toLatin1();
    upload.archive = m_archive;
    const HttpReply reply = post(port(), kUpload, kMultipartType, upload.body());
    QVERIFY(reply.complete);
    QCOMPARE(json(reply.body), json(R"({"code":200,"msg":"上传成功"})"));

    const QString stored = m_store + "/" + gw + "/target.zip";
    QCOMPARE(TestFiles::readFile(stored), m_archive);
    const QJsonObject event = waitForEvent("request", kUpload).value(0);
    QCOMPARE(event.value("code"), QJsonValue(200));
    QCOMPARE(event.value("identity").toString(), m_identity);
    QCOMPARE(event.value("account").toString(), QString("demo"));
    QCOMPARE(event.value("headers").toObject().value("Content-Type").toString(), QString(kMultipartType));
    QCOMPARE(event.value("fields").toObject(),
             QJsonObject({{"uuid", m_identity}, {"usePrjName", "0"}, {"gatewayId", gw},
                          {"account", "demo"}, {"password", "demo123"}}));
    const QJsonObject file = event.value("file").toObject();
    QCOMPARE(file.value("name").toString(), QString("target.zip"));
    QCOMPARE(file.value("size").toInt(), m_archive.size());
    QCOMPARE(file.value("md5").toString(), md5Hex(m_archive));
    QCOMPARE(QFileInfo(file.value("stored").toString()).canonicalFilePath(), QFileInfo(stored).canonicalFilePath());

    QCOMPARE(check(m_identity, gw).value("code"), QJsonValue(200));
    // The binding belongs to that panel only; the one bound at start keeps its own.
    QCOMPARE(check(m_identity, "860000000000102").value("code"), QJsonValue(500));
    QCOMPARE(check(kBoundUuid, "860000000000102").value("code"), QJsonValue(200));

    // A newer project replaces the panel's binding.
    Upload newer = upload;
    newer.uuid = m_otherIdentity.toLatin1();
    newer.archive = m_other;
    QCOMPARE(json(post(port(), kUpload, kMultipartType, newer.body()).body).value("code"), QJsonValue(200));
    QCOMPARE(check(m_otherIdentity, gw).value("code"), QJsonValue(200));
    QCOMPARE(check(m_identity, gw).value("code"), QJsonValue(500));
    QCOMPARE(TestFiles::readFile(stored), m_other);
}

void tst_LabCloud::uploadAccepted_data()
{
    QTest::addColumn<QByteArray>("fileName");
    QTest::addColumn<QByteArray>("usePrjName");
    QTest::addColumn<QByteArray>("account");
    QTest::addColumn<QByteArray>("gatewayId");
    QTest::addColumn<QByteArray>("boundary");
    const QByteArray usual = "YourBoundaryString";
    QTest::newRow("plain") << QByteArray("target.zip") << QByteArray("0") << QByteArray("demo")
                           << QByteArray("860000000000101") << usual;
    QTest::newRow("backslash path as name") << QByteArray("C:\\cloudcompile\\target.zip") << QByteArray("1")
                                            << QByteArray("demo") << QByteArray("860000000000901") << usual;
    QTest::newRow("chinese names") << QByteArray("工程.zip") << QByteArray("0") << QByteArray("测试账号")
                                   << QByteArray("860000000000110") << usual;
    QTest::newRow("boundary with a suffix") << QByteArray("target.zip") << QByteArray("0") << QByteArray("demo")
                                            << QByteArray("860000000000101") << usual + "0123456789abcdef";
    QTest::newRow("any boundary RFC 2046 allows") << QByteArray("target.zip") << QByteArray("0")
                                                  << QByteArray("demo") << QByteArray("860000000000101")
                                                  << QByteArray("'()+_,-./:=? x");
}

void tst_LabCloud::uploadAccepted()
{
    QFETCH(QByteArray, fileName);
    QFETCH(QByteArray, usePrjName);
    QFETCH(QByteArray, account);
    QFETCH(QByteArray, gatewayId);
    QFETCH(QByteArray, boundary);
    QVERIFY(startLab(baseSection()));

    Upload upload;
    upload.boundary = boundary;
    upload.uuid = m_identity.toLatin1();
    upload.archive = m_archive;
    upload.fileName = fileName;
    upload.usePrjName = usePrjName;
    upload.account = account;
    upload.password = account == "demo" ? "demo123" : "测试123";
    upload.gatewayId = gatewayId;
    const HttpReply reply = post(port(), kUpload, "multipart/form-data; boundary=" + boundary, upload.body());
    QCOMPARE(json(reply.body).value("code"), QJsonValue(200));
    QCOMPARE(waitForEvent("request", kUpload).value(0).value("boundary").toString(), QString::fromLatin1(boundary));
    QCOMPARE(storedFiles(m_store), QStringList(m_store + "/" + QString::fromUtf8(gatewayId) + "/"
                                               + QString::fromUtf8(fileName)));
    QCOMPARE(TestFiles::readFile(storedFiles(m_store).value(0)), m_archive);
    const QJsonObject event = waitForEvent("request", kUpload).value(0);
    QCOMPARE(event.value("fields").toObject().value("usePrjName").toString(), QString(usePrjName));
    QCOMPARE(event.value("fields").toObject().value("password").toString(), QString::fromUtf8(upload.password));
}

void tst_LabCloud::uploadRefusals_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("msg"); // empty: any text

    Upload good;
    good.uuid = m_identity.toLatin1();
    good.archive = m_archive;

    const QString notZip = QStringLiteral("文件不是有效的zip压缩包");
    auto fieldMsg = [](const char *field) { return QStringLiteral("字段%1缺失或类型错误").arg(QLatin1String(field)); };
    auto row = [&](const char *name, const Upload &u, int code, const QString &msg = QString()) {
        QTest::newRow(name) << kMultipartType << u.body() << code << msg;
    };
    Upload u = good;
    u.uuid = m_otherIdentity.toLatin1();
    row("identity of other contents", u, 422, QStringLiteral("uuid与文件内容不一致"));
    u = good;
    u.archive = m_reordered;
    row("entries in another order", u, 422, QStringLiteral("uuid与文件内容不一致"));
    u = good;
    u.uuid = m_identity.toUpper().toLatin1();
    row("identity in upper case", u, 422);
    for (const char *field : {"uuid", "usePrjName", "gatewayId", "account", "password"}) {
        u = good;
        u.dropped << field;
        QTest::addRow("no %s", field) << kMultipartType << u.body() << 400 << fieldMsg(field);
        u = good;
        u.extra = u.field(field, "x");
        QTest::addRow("%s twice", field) << kMultipartType << u.body() << 400 << fieldMsg(field);
    }
    u = good;
    u.usePrjName = "true";
    row("usePrjName not 0 or 1", u, 400, fieldMsg("usePrjName"));
    u = good;
    u.fileType = "application/octet-stream";
    row("file of another type", u, 400, fieldMsg("file"));
    u = good;
    u.fileName = QByteArray();
    row("file without a name", u, 400, fieldMsg("file"));
    u = good;
    u.fileName = "..";
    row("file name leaving the folder", u, 400, QStringLiteral("文件名无效"));
    u = good;
    u.archive = "PK but not a zip";
    row("not a zip", u, 400, notZip);
    u = good;
    {
        // A byte inside the first entry's data: after the 30-byte local header, the name
        // and the extra field.
        const auto le16 = [&](int at) { return uchar(u.archive[at]) | uchar(u.archive[at + 1]) << 8; };
        const int at = 30 + le16(26) + le16(28) + 2;
        u.archive[at] = char(u.archive[at] ^ 0x55);
    }
    row("damaged entry", u, 400, notZip);
    u = good;
    u.password = "demo12";
    row("wrong password", u, 401, QStringLiteral("账号不存在或密码错误"));
    u = good;
    u.gatewayId = "860000000000107";
    row("panel of another account", u, 403);

    const QString malformed = QStringLiteral("multipart格式错误");
    u = good;
    u.boundary = "OtherBoundary";
    QTest::newRow("header names another boundary than the body") << kMultipartType << u.body() << 400 << malformed;
    const QString wrongType = QStringLiteral("Content-Type必须为multipart/form-data; boundary=<boundary>");
    QTest::newRow("json content type") << QByteArray("application/json") << good.body() << 400 << wrongType;
    u.boundary = "Your<Boundary>";
    QTest::newRow("boundary with characters not allowed")
        << QByteArray("multipart/form-data; boundary=Your<Boundary>") << u.body() << 400 << wrongType;
    u.boundary = QByteArray(71, 'b');
    QTest::newRow("boundary over 70 characters")
        << "multipart/form-data; boundary=" + u.boundary << u.body() << 400 << wrongType;
    QTest::newRow("no closing boundary") << kMultipartType << good.body().left(good.body().size() - 24) << 400
                                         << malformed;
    QTest::newRow("garbage") << kMultipartType << QByteArray("\x01\x02garbage\r\n\r\n", 13) << 400 << malformed;
}

void tst_LabCloud::uploadRefusals()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    QFETCH(QString, msg);
    QVERIFY(startLab(baseSection()));

    const HttpReply reply = post(port(), kUpload, contentType, body);
    QVERIFY(reply.complete);
    const QJsonObject obj = json(reply.body);
    QCOMPARE(obj.value("code"), QJsonValue(code));
    QVERIFY(obj.value("msg").isString());
    if (!msg.isEmpty())
        QCOMPARE(obj.value("msg").toString(), msg);
    QCOMPARE(waitForEvent("request", kUpload).value(0).value("code"), QJsonValue(code));

    // Nothing stored, nothing bound.
    QCOMPARE(storedFiles(m_store), QStringList());
    QCOMPARE(json(postJson(port(), kCheck, checkBody(m_identity, "860000000000101")).body).value("code"),
             QJsonValue(500));
}

void tst_LabCloud::uploadUnderFaults_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QByteArray>("expected"); // a JSON object, or raw bytes
    QTest::addColumn<bool>("carriedOut");
    QTest::newRow("delay only") << QByteArray(R"({"delayMs":30})") << QByteArray(R"({"code":200,"msg":"上传成功"})")
                                << true;
    QTest::newRow("error code") << QByteArray(R"({"code":500,"msg":"存储繁忙"})")
                                << QByteArray(R"({"code":500,"msg":"存储繁忙"})") << false;
    QTest::newRow("error code without msg") << QByteArray(R"({"code":503,"omitMsg":true})")
                                            << QByteArray(R"({"code":503})") << false;
    QTest::newRow("success code as string") << QByteArray(R"({"codeAsString":true})")
                                            << QByteArray(R"({"code":"200","msg":"上传成功"})") << false;
    QTest::newRow("raw body") << QByteArray(R"({"body":"<html>busy</html>"})") << QByteArray("<html>busy</html>")
                              << false;
}

// A fault that changes the answer stands for a service that failed: the archive is
// neither stored nor bound, but what arrived is still recorded.
void tst_LabCloud::uploadUnderFaults()
{
    QFETCH(QByteArray, fault);
    QFETCH(QByteArray, expected);
    QFETCH(bool, carriedOut);
    QJsonObject section = baseSection();
    section.insert("faults", QJsonObject{{"uploadToObject", json(fault)}});
    QVERIFY(startLab(section));

    Upload upload;
    upload.uuid = m_identity.toLatin1();
    upload.archive = m_archive;
    const HttpReply reply = post(port(), kUpload, kMultipartType, upload.body());
    QVERIFY(reply.complete);
    if (expected.startsWith('{'))
        QCOMPARE(QJsonDocument::fromJson(reply.body).object(), json(expected));
    else
        QCOMPARE(reply.body, expected);

    const QJsonObject event = waitForEvent("request", kUpload).value(0);
    QCOMPARE(event.value("identity").toString(), m_identity);
    QCOMPARE(event.value("file").toObject().value("md5").toString(), md5Hex(m_archive));
    QCOMPARE(event.value("file").toObject().contains("stored"), carriedOut);
    QCOMPARE(storedFiles(m_store).size(), carriedOut ? 1 : 0);
    QCOMPARE(json(postJson(port(), kCheck, checkBody(m_identity, "860000000000101")).body).value("code"),
             QJsonValue(carriedOut ? 200 : 500));
}

void tst_LabCloud::unknownPaths_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("GET of an operation") << QByteArray("GET") << kDeviceList;
    QTest::newRow("unknown operation") << QByteArray("POST") << QByteArray("/iot-gateway-mqtt/device/getDevice");
    QTest::newRow("operation without prefix") << QByteArray("POST") << QByteArray("/device/getDeviceList");
    QTest::newRow("root") << QByteArray("POST") << QByteArray("/");
}

void tst_LabCloud::unknownPaths()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QVERIFY(startLab(baseSection()));
    const HttpReply reply =
        exchange(port(), request(method, path, "application/json", R"({"account":"demo","password":"demo123"})"));
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 404);
    QCOMPARE(json(reply.body).value("code"), QJsonValue(404));
    QCOMPARE(waitForEvent("request", path).value(0).value("code"), QJsonValue(404));
}

void tst_LabCloud::badTraffic()
{
    QVERIFY(startLab(baseSection()));
    const QByteArray good = request("POST", kDeviceList, "application/json", R"({"account":"field","password":"field456"})");
    auto stillServing = [&] { return json(exchange(port(), good).body).value("code") == QJsonValue(200); };

    // Not HTTP at all.
    static const char kNotHttp[] = "\x16\x03\x01\x00\xff garbage\r\n\r\n";
    const HttpReply garbage = exchange(port(), QByteArray(kNotHttp, sizeof kNotHttp - 1), 3000);
    QVERIFY(garbage.status == 400 || garbage.received.isEmpty());
    QVERIFY(stillServing());

    // A body beyond the cap is refused.
    {
        const qint64 size = 64 * 1024 * 1024 + 1;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port());
        QVERIFY(socket.waitForConnected(3000));
        socket.write("POST " + kDeviceList + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                     "Connection: close\r\nContent-Length: " + QByteArray::number(size) + "\r\n\r\n");
        const QByteArray chunk(1024 * 1024, ' ');
        for (qint64 sent = 0; sent < size && socket.state() == QAbstractSocket::ConnectedState;) {
            const QByteArray piece = chunk.left(int(qMin<qint64>(chunk.size(), size - sent)));
            socket.write(piece);
            sent += piece.size();
            socket.waitForBytesWritten(3000);
        }
        const HttpReply big = readReply(socket, 5000);
        QCOMPARE(big.status, 413);
        QCOMPARE(json(big.body).value("code"), QJsonValue(413));
    }
    QVERIFY(stillServing());

    // A client that leaves in the middle of its body.
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port());
        QVERIFY(socket.waitForConnected(3000));
        socket.write("POST " + kUpload + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + kMultipartType
                     + "\r\nContent-Length: 5000\r\n\r\n--YourBoundaryString\r\n");
        QVERIFY(socket.waitForBytesWritten(3000));
        socket.disconnectFromHost();
    }
    const QList<QJsonObject> refused = waitForEvent("request", kUpload);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused[0].value("refused"), QJsonValue(true));
    QVERIFY(stillServing());
    QVERIFY(m_lab->isRunning());
}

// With a certificate and its key the lab speaks HTTPS only: a client that trusts the
// authority is answered; plain HTTP on that port is not, and is no request.
void tst_LabCloud::httpsMode()
{
    TestCerts::Files certs;
    QString error;
    QVERIFY2(TestCerts::make(m_dir.path(), &certs, &error), qPrintable(error));
    const QString base = m_dir.filePath(QStringLiteral("run%1").arg(++m_run));
    const QString config = base + QStringLiteral("/lab.json");
    QVERIFY(TestFiles::writeJson(config, QJsonObject{{"cloud", baseSection()}}));
    m_events = base + QStringLiteral("/cloud.jsonl");
    m_lab.reset(new LabProcess(QStringLiteral("lab-cloud")));
    QVERIFY2(m_lab->start({"--config", config, "--port", "0", "--events", m_events, "--tls-cert", certs.server,
                           "--tls-key", certs.serverKey}),
             qPrintable(m_lab->diagnostics()));
    QCOMPARE(m_lab->readyInfo().value("scheme").toString(), QStringLiteral("https"));

    const HttpReply plain = exchange(port(), request("POST", kDeviceList, "application/json",
                                                     R"({"account":"field","password":"field456"})"), 3000);
    QCOMPARE(plain.status, 0);
    QVERIFY(m_lab->isRunning());

    QSslSocket socket;
    QSslConfiguration ssl = socket.sslConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(certs.authority));
    socket.setSslConfiguration(ssl);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port());
    QVERIFY2(socket.waitForEncrypted(5000), qPrintable(socket.errorString()));
    socket.write(request("POST", kDeviceList, "application/json", R"({"account":"field","password":"field456"})"));
    const HttpReply reply = readReply(socket, 5000);
    QCOMPARE(reply.status, 200);
    QCOMPARE(json(reply.body).value("code"), QJsonValue(200));
    const QList<QJsonObject> requests = waitForEvent("request", kDeviceList);
    QCOMPARE(requests.size(), 1);   // the plain one was none

    // A key that does not belong to the certificate: the lab does not start.
    QProcess bad;
    bad.start(LabProcess::programPath("lab-cloud"), {"--config", config, "--port", "0", "--tls-cert", certs.server,
                                                     "--tls-key", certs.otherHostKey});
    QVERIFY(bad.waitForFinished(5000));
    QCOMPARE(bad.exitCode(), 1);
    QVERIFY(!bad.readAllStandardOutput().contains("ready"));
}

QTEST_GUILESS_MAIN(tst_LabCloud)
#include "tst_labcloud.moc"
