#include <QtTest>

#include "downloadlab.h"

namespace {

// Test images: deterministic bytes with the relay delimiter inside.
QByteArray image(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 131 + 7) & 0xff);
    for (int at = 5; at + 3 <= size; at += 997)
        b.replace(at, 3, "$_$");
    return b;
}

QJsonArray replies(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QJsonObject plan(std::initializer_list<QPair<int, QStringList>> entries)
{
    QJsonArray a;
    for (const auto &e : entries)
        a.append(QJsonObject{{"index", e.first}, {"replies", replies(e.second)}});
    return QJsonObject{{"framePlan", a}};
}

// Frame 1's 'K' comes 800 ms late: after the wait for it (500 ms at kLateScale), and
// before the end command would have waited out its own.
constexpr int kLateMs = 800;
const char kLateScale[] = "0.1";
QJsonObject lateAck(QJsonObject faults = {})
{
    faults.insert("framePlan", QJsonArray{QJsonObject{{"index", 1}, {"replies", QJsonArray{"K"}}, {"delayMs", kLateMs}}});
    return faults;
}

QStringList repeat(const QString &s, int n)
{
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << s;
    return l;
}

const QString kConnect = QStringLiteral("连接TCP服务器");
const QString kOpened = QStringLiteral("开启TCP服务成功");
const QString kInfo = QStringLiteral("写入底层信息");
const QString kStart = QStringLiteral("开始写入底层");
const QString kDone = QStringLiteral("写入底层成功");

const char kScale[] = "0.03"; // relay waits at 3 % where a row waits for a time-out

} // namespace

class TestFirmwareDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void success_data();
    void success();
    void failure_data();
    void failure();
    void retries_data();
    void retries();
    void closedPort();
    void frameSizeRefused_data();
    void frameSizeRefused();
    void stopDuringDataPhase_data();
    void stopDuringDataPhase();
    void panelInfo_data();
    void panelInfo();

private:
    WorkerRun download(const QString &imei, const QString &path, int frameSize, int timeoutMs = 15000,
                       const std::function<void(WorkerRun &, DownFileOBJ *)> &onMessage = {});
    QString writeImage(const QString &name, const QByteArray &bytes);

    RelayLab m_lab;
    QTemporaryDir m_files;
};

void TestFirmwareDownload::initTestCase()
{
    QVERIFY(m_files.isValid());
    const QJsonArray panels = {
        labPanel("861000000000001", 46, 2, 3),
        labPanel("861000000000002", 60, 1, 2),
        labPanel("861000000000003", 70, 2, 2),
        labPanel("861000000000004", 90, 1, 1),
        labPanel("861000000000005", 70, 1, 1, 0, {{"goAhead", "zeroTail"}}),
        labPanel("861000000000006", 60, 2, 1),
        labPanel("861000000000007", 90, 2, 2),
        labPanel("861000000000008", 46, 2, 1),
        labPanel("861000000000009", 90, 1, 2, 0x01020304),
        // link faults
        labPanel("861000000000020", 70, 2, 2, 0, {{"goAhead", "split"}}),
        labPanel("861000000000021", 70, 2, 2, 0, {{"goAhead", "extra"}}),
        labPanel("861000000000022", 70, 2, 2, 0, {{"goAhead", "case"}}),
        labPanel("861000000000023", 70, 2, 2, 0, {{"goAhead", "none"}}),
        labPanel("861000000000024", 70, 2, 2, 0, {{"refuse", true}}),
        labPanel("861000000000025", 70, 2, 2, 0, {{"modelReply", ""}}),
        labPanel("861000000000026", 70, 2, 2, 0, {{"modelReply", "46"}}),
        labPanel("861000000000027", 70, 2, 2, 0, {{"noEndAck", true}}),
        // acknowledgement plans
        labPanel("861000000000030", 70, 2, 2, 0, plan({{1, {"M", "M"}}})),
        labPanel("861000000000031", 70, 2, 2, 0, plan({{0, repeat("M", 10)}})),
        labPanel("861000000000032", 70, 2, 2, 0, plan({{0, repeat("silence", 10)}})),
        labPanel("861000000000033", 70, 2, 2, 0, plan({{1, repeat("M", 9) << "silence"}})),
        labPanel("861000000000034", 70, 2, 2, 0, plan({{0, repeat("silence", 9) << "M"}})),
        labPanel("861000000000035", 70, 2, 2, 0, plan({{0, repeat("M", 9)}, {1, repeat("silence", 9)}})),
        labPanel("861000000000040", 70, 2, 2, 0, {{"replyDelayMs", 20}}),
        // replies a byte at a time; the link lost on the second data frame
        labPanel("861000000000041", 70, 2, 2, 0, {{"splitReplies", true}}),
        labPanel("861000000000042", 70, 2, 2, 0, {{"disconnectAfterFrames", 2}}),
        labPanel("861000000000043", 70, 2, 2, 0, {{"resetAfterFrames", 2}}),
        // frame 1 answered 'K' after the wait for it has ended
        labPanel("861000000000044", 70, 2, 2, 0, lateAck()),
        labPanel("861000000000045", 70, 2, 2, 0, lateAck({{"noEndAck", true}})),
        // frame 0 never answered, for the stop test alone
        labPanel("861000000000046", 70, 2, 2, 0, plan({{0, repeat("silence", 10)}})),
    };
    QVERIFY2(m_lab.start(panels), qPrintable(m_lab.failure()));
}

void TestFirmwareDownload::cleanupTestCase()
{
    m_lab.stop();
}

void TestFirmwareDownload::init()
{
    qunsetenv("VANTELO_RELAY_TIMEOUT_SCALE");
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(m_lab.relayPort()));
}

QString TestFirmwareDownload::writeImage(const QString &name, const QByteArray &bytes)
{
    const QString dir = m_files.filePath(QString::number(qHash(name) ^ uint(bytes.size())));
    QDir().mkpath(dir);
    const QString path = dir + "/" + name;
    if (!TestFiles::writeFile(path, bytes))
        return QString();
    return path;
}

WorkerRun TestFirmwareDownload::download(const QString &imei, const QString &path, int frameSize,
                                         int timeoutMs,
                                         const std::function<void(WorkerRun &, DownFileOBJ *)> &onMessage)
{
    WorkerHarness harness(imei);
    return harness.run([path, frameSize](DownFileOBJ *w) { w->updateFirmWareTcp(path, frameSize); },
                       timeoutMs, onMessage);
}

void TestFirmwareDownload::success_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<QList<int>>("chunks");

    QTest::newRow("replies a byte at a time") << "861000000000041" << "PLN080K01_WIFI02.bin"
        << 3000 << 2048 << QList<int>{2040, 960};
    QTest::newRow("model 46, 20000 at 8192") << "861000000000001" << "PRV052K118-E600X600N_WIFI03.bin"
        << 20000 << 8192 << QList<int>{8184, 8184, 3632};
    QTest::newRow("model 60, 5000 at 1024") << "861000000000002" << "PLN050K01_4G02.bin"
        << 5000 << 1024 << QList<int>{1016, 1016, 1016, 1016, 936};
    QTest::newRow("model 70, exactly one chunk") << "861000000000003" << "PLN080K01_WIFI02.bin"
        << 1016 << 1024 << QList<int>{1016};
    QTest::newRow("model 90, smallest frame size") << "861000000000004" << "PLN120K01_4G01.bin"
        << 4 << 9 << QList<int>{1, 1, 1, 1};
    QTest::newRow("second extension") << "861000000000003" << "PLN080K01_WIFI02.new.bin"
        << 3000 << 2048 << QList<int>{2040, 960};
    QTest::newRow("go-ahead with zero tail") << "861000000000005" << "PLN080K01_4G01.bin"
        << 600 << 512 << QList<int>{504, 96};
    QTest::newRow("model 60 WIFI01") << "861000000000006" << "PLN050K01_WIFI01.bin"
        << 100 << 8192 << QList<int>{100};
    QTest::newRow("model 90 WIFI02") << "861000000000007" << "PLN120K01_WIFI02.bin"
        << 100 << 8192 << QList<int>{100};
    QTest::newRow("model 46 WIFI01") << "861000000000008" << "PRV052K118-E600X600N_WIFI01.bin"
        << 100 << 8192 << QList<int>{100};
    QList<int> many = QVector<int>(295, 1016).toList();   // more frames than texts a second
    many << 280;
    QTest::newRow("model 60, 300000 at 1024") << "861000000000002" << "PLN050K01_4G02.bin"
        << 300000 << 1024 << many;
    QTest::newRow("empty image") << "861000000000003" << "PLN080K01_WIFI02.bin"
        << 0 << 512 << QList<int>{};
}

void TestFirmwareDownload::success()
{
    QFETCH(QString, imei);
    QFETCH(QString, fileName);
    QFETCH(int, size);
    QFETCH(int, frameSize);
    QFETCH(QList<int>, chunks);

    const QByteArray bytes = image(size);
    const QString path = writeImage(fileName, bytes);
    QFile::remove(m_lab.stored(imei, 105));
    const int from = m_lab.panelLineCount();

    const WorkerRun r = download(imei, path, frameSize);
    QCOMPARE(r.finishes, QList<int>{0});
    QCOMPARE(r.steps(), (QStringList{kConnect, kOpened, kInfo, kStart, kDone}));
    QStringList progress;
    int offset = 0;
    for (int n : chunks) {
        offset += n;
        progress << QStringLiteral("底层已写入:%1/%2").arg(offset).arg(size);
    }
    // The first and the last frame's texts, between them frames' own texts in order, at
    // most one every 250 ms.
    const QStringList shown = r.progress();
    QCOMPARE(shown.isEmpty(), progress.isEmpty());
    if (!progress.isEmpty()) {
        QCOMPARE(shown.first(), progress.first());
        QCOMPARE(shown.last(), progress.last());
        QVERIFY2(shown.size() <= 2 + r.elapsedMs / 250, qPrintable(QString::number(shown.size())));
    }
    for (int at = 0, i = 0; i < shown.size(); ++i, ++at) {
        at = progress.indexOf(shown.at(i), at);
        QVERIFY2(at >= 0, qPrintable(shown.at(i)));
    }
    // The progress signal runs from nothing to the whole image, never backwards.
    if (size > 0) {
        QCOMPARE(r.progressSignals.first(), (QList<qint64>{0, size, 1, 1}));
        QCOMPARE(r.progressSignals.last(), (QList<qint64>{size, size, 1, 1}));
        for (int i = 1; i < r.progressSignals.size(); ++i)
            QVERIFY(r.progressSignals.at(i).first() >= r.progressSignals.at(i - 1).first());
    }
    QVERIFY(!r.types.contains(1) && !r.types.contains(2));
    QVERIFY(r.socketReleased);

    const QList<QJsonObject> lines = m_lab.waitPanelEvent(imei, "end", from);
    if (imei == "861000000000041") // the model reply really came in three pieces
        QCOMPARE(linesWith(lines, {{"event", "fault"}, {"fault", "splitReplies"}}).size(), 1);
    const QList<QJsonObject> announce = RelayLab::events(lines, "announce");
    QCOMPARE(announce.size(), 1);
    QCOMPARE(announce.first().value("code").toInt(), 105);
    QCOMPARE(announce.first().value("size").toInt(), size);
    QList<int> lens;
    QList<int> indexes;
    for (const QJsonObject &f : RelayLab::events(lines, "frame")) {
        lens << f.value("len").toInt();
        indexes << f.value("index").toInt();
    }
    QCOMPARE(lens, chunks);
    for (int i = 0; i < indexes.size(); ++i)
        QCOMPARE(indexes.at(i), i);
    const QList<QJsonObject> ends = RelayLab::events(lines, "end");
    QCOMPARE(ends.size(), 1);
    QVERIFY(ends.first().value("ok").toBool());
    QCOMPARE(TestFiles::readFile(m_lab.stored(imei, 105)), bytes);
}

void TestFirmwareDownload::failure_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("fileName"); // empty: no file at all
    QTest::addColumn<bool>("scaled");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("announced");

    const QStringList mismatch{kConnect, kOpened, QStringLiteral("底层与型号不匹配")};
    QTest::newRow("other communication type") << "861000000000003" << "PLN080K01_4G02.bin" << false
        << mismatch << false;
    QTest::newRow("other module") << "861000000000003" << "PLN080K01_WIFI01.bin" << false
        << mismatch << false;
    QTest::newRow("lower case") << "861000000000003" << "pln080k01_wifi02.bin" << false
        << mismatch << false;
    QTest::newRow("other model") << "861000000000003" << "PLN050K01_WIFI02.bin" << false
        << mismatch << false;
    QTest::newRow("4G name for model 46") << "861000000000001" << "PRV052K118-E600X600N_4G03.bin" << false
        << mismatch << false;
    QTest::newRow("one-byte model reply") << "861000000000026" << "PLN080K01_WIFI02.bin" << true
        << mismatch << false;
    QTest::newRow("missing image") << "861000000000003" << "" << false
        << QStringList{kConnect, kOpened, QStringLiteral("底层文件不存在或打开失败")} << false;
    QTest::newRow("go-ahead split") << "861000000000020" << "PLN080K01_WIFI02.bin" << false
        << QStringList{kConnect, QStringLiteral("开启TCP服务失败")} << false;
    QTest::newRow("go-ahead with extra bytes") << "861000000000021" << "PLN080K01_WIFI02.bin" << false
        << QStringList{kConnect, QStringLiteral("开启TCP服务失败")} << false;
    QTest::newRow("go-ahead in upper case") << "861000000000022" << "PLN080K01_WIFI02.bin" << false
        << QStringList{kConnect, QStringLiteral("开启TCP服务失败")} << false;
    QTest::newRow("no go-ahead") << "861000000000023" << "PLN080K01_WIFI02.bin" << true
        << QStringList{kConnect, QStringLiteral("开启TCP服务失败")} << false;
    QTest::newRow("panel offline") << "861000000000024" << "PLN080K01_WIFI02.bin" << false
        << QStringList{kConnect, QStringLiteral("开启TCP服务失败")} << false;
    QTest::newRow("unknown panel") << "861000000000099" << "PLN080K01_WIFI02.bin" << false
        << QStringList{kConnect, QStringLiteral("开启TCP服务失败")} << false;
    QTest::newRow("no model reply") << "861000000000025" << "PLN080K01_WIFI02.bin" << true
        << QStringList{kConnect, kOpened, QStringLiteral("查询型号命令失败")} << false;
    QTest::newRow("end command never acknowledged") << "861000000000027" << "PLN080K01_WIFI02.bin" << true
        << QStringList{kConnect, kOpened, kInfo, kStart, QStringLiteral("写入底层结束命令超时")} << true;
    const QStringList lost{kConnect, kOpened, kInfo, kStart, QStringLiteral("写入底层失败:连接已断开")};
    QTest::newRow("relay closes during the data") << "861000000000042" << "PLN080K01_WIFI02.bin" << false
        << lost << true;
    QTest::newRow("relay resets during the data") << "861000000000043" << "PLN080K01_WIFI02.bin" << false
        << lost << true;
}

void TestFirmwareDownload::failure()
{
    QFETCH(QString, imei);
    QFETCH(QString, fileName);
    QFETCH(bool, scaled);
    QFETCH(QStringList, messages);
    QFETCH(bool, announced);

    if (scaled)
        qputenv("VANTELO_RELAY_TIMEOUT_SCALE", kScale);
    const QString path = fileName.isEmpty() ? m_files.filePath("missing/PLN080K01_WIFI02.bin")
                                            : writeImage(fileName, image(1500));
    const int from = m_lab.panelLineCount();
    const WorkerRun r = download(imei, path, 1024);
    QCOMPARE(r.finishes, QList<int>{0});
    QCOMPARE(r.steps(), messages);
    QVERIFY(r.socketReleased);
    // An image cut off by a lost link never shows as complete.
    if (announced && messages.last() != QStringLiteral("写入底层结束命令超时"))
        for (const QList<qint64> &p : r.progressSignals)
            QVERIFY(p.at(0) < p.at(1));
    // Every failure here is over within a few seconds.
    QVERIFY2(r.elapsedMs < 5000, qPrintable(QString::number(r.elapsedMs)));

    if (messages.contains(kOpened) && !fileName.isEmpty())
        QVERIFY(!RelayLab::events(m_lab.waitPanelEvent(imei, "model-query", from), "model-query").isEmpty());
    const QList<QJsonObject> lines = m_lab.panelLines(imei, from);
    QCOMPARE(!RelayLab::events(lines, "announce").isEmpty(), announced);
    if (messages.last() == QStringLiteral("写入底层结束命令超时")) {
        // The end command was given its ten attempts.
        const QList<QJsonObject> l = m_lab.waitPanelEvent(imei, "session-end", from);
        QCOMPARE(RelayLab::events(l, "end").size(), 10);
    }
}

void TestFirmwareDownload::retries_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("last");      // last message
    QTest::addColumn<QList<int>>("indexes"); // frame indexes the panel saw
    QTest::addColumn<bool>("stored");        // the panel took the file whole
    QTest::addColumn<QByteArray>("scale");   // of the relay waits

    QTest::newRow("M twice then K") << "861000000000030" << kDone << QList<int>{0, 1, 1, 1, 2} << true << QByteArray(kScale);
    QTest::newRow("ten checksum errors") << "861000000000031" << QStringLiteral("写入底层校验错误")
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0} << false << QByteArray(kScale);
    QTest::newRow("ten silences") << "861000000000032" << QStringLiteral("写入底层超时")
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0} << false << QByteArray(kScale);
    QTest::newRow("nine M, then silence") << "861000000000033" << QStringLiteral("写入底层超时")
        << QList<int>{0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1} << false << QByteArray(kScale);
    QTest::newRow("nine silences, then M") << "861000000000034" << QStringLiteral("写入底层校验错误")
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0} << false << QByteArray(kScale);
    QTest::newRow("counter starts over after each accepted frame") << "861000000000035" << kDone
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2} << true << QByteArray(kScale);
    // The late 'K' must not be taken for a later answer: the file arrives whole, or the
    // download fails; success only when the panel answers the end command.
    QTest::newRow("late acknowledgement") << "861000000000044" << kDone << QList<int>{0, 1, 1, 2} << true
        << QByteArray(kLateScale);
    QTest::newRow("late acknowledgement, end never answered") << "861000000000045"
        << QStringLiteral("写入底层结束命令超时") << QList<int>{0, 1, 1, 2} << true << QByteArray(kLateScale);
}

void TestFirmwareDownload::retries()
{
    QFETCH(QString, imei);
    QFETCH(QString, last);
    QFETCH(QList<int>, indexes);
    QFETCH(bool, stored);
    QFETCH(QByteArray, scale);

    qputenv("VANTELO_RELAY_TIMEOUT_SCALE", scale);
    const QByteArray bytes = image(2500); // 1016, 1016, 468 at 1024
    const QString path = writeImage("PLN080K01_WIFI02.bin", bytes);
    const int from = m_lab.panelLineCount();
    const WorkerRun r = download(imei, path, 1024);
    QCOMPARE(r.finishes, QList<int>{0});
    QCOMPARE(r.last(), last);
    QVERIFY(r.socketReleased);

    const QList<QJsonObject> lines = m_lab.waitPanelEvent(imei, "session-end", from);
    QList<int> seen;
    for (const QJsonObject &f : RelayLab::events(lines, "frame"))
        seen << f.value("index").toInt();
    QCOMPARE(seen, indexes);
    if (stored)
        QCOMPARE(TestFiles::readFile(m_lab.stored(imei, 105)), bytes);
    else
        QVERIFY(RelayLab::events(lines, "end").isEmpty());
    // A planned late answer really came late: only after the frame had been sent again.
    const QList<QJsonObject> late = RelayLab::events(lines, "late-reply");
    QCOMPARE(late.size(), linesWith(lines, {{"event", "fault"}, {"delayMs", kLateMs}}).size());
    if (!late.isEmpty()) {
        const QList<QJsonObject> again = linesWith(lines, {{"event", "frame"}, {"repeat", true}});
        QVERIFY(!again.isEmpty());
        QVERIFY(again.first().value("t").toDouble() <= late.first().value("t").toDouble());
    }
}

void TestFirmwareDownload::closedPort()
{
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(freeLoopbackPort()));
    const WorkerRun r = download("861000000000003", writeImage("PLN080K01_WIFI02.bin", image(10)), 512);
    QCOMPARE(r.finishes, QList<int>{0});
    QCOMPARE(r.messages, (QStringList{kConnect, QStringLiteral("连接TCP服务器超时")}));
    QVERIFY(r.socketReleased);
    QVERIFY(r.elapsedMs < 3000);
}

void TestFirmwareDownload::frameSizeRefused_data()
{
    QTest::addColumn<int>("frameSize");
    QTest::newRow("0") << 0;
    QTest::newRow("1") << 1;
    QTest::newRow("8") << 8;
}

void TestFirmwareDownload::frameSizeRefused()
{
    QFETCH(int, frameSize);
    const int relayLines = readEventLines(m_lab.relayEvents()).size();
    const WorkerRun r = download("861000000000003", writeImage("PLN080K01_WIFI02.bin", image(100)), frameSize);
    QCOMPARE(r.finishes, QList<int>{0});
    QCOMPARE(r.messages, QStringList{QStringLiteral("帧大小必须大于8字节")});
    QVERIFY(r.socketReleased);
    QTest::qWait(100);
    QCOMPARE(readEventLines(m_lab.relayEvents()).size(), relayLines); // never connected
}

void TestFirmwareDownload::panelInfo_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QVariantList>("info");

    QTest::newRow("answers") << "861000000000009"
                             << QVariantList{true, 90, 1, 2, qint64(0x01020304)};
    QTest::newRow("no model reply") << "861000000000025" << QVariantList{false, 0, 0, 0, qint64(-1)};
    QTest::newRow("one-byte model reply") << "861000000000026"
                                          << QVariantList{false, 0, 0, 0, qint64(-1)};
    QTest::newRow("panel offline") << "861000000000024" << QVariantList{false, 0, 0, 0, qint64(-1)};
}

// The details of the update dialog: the download's queries, then the link is closed;
// the answer comes as panelInfo, never as the end of an operation.
void TestFirmwareDownload::panelInfo()
{
    QFETCH(QString, imei);
    QFETCH(QVariantList, info);

    qputenv("VANTELO_RELAY_TIMEOUT_SCALE", kScale);
    const int from = m_lab.panelLineCount();
    WorkerHarness harness(imei);
    const WorkerRun r = harness.run([](DownFileOBJ *w) { w->queryPanelInfo(); }, 20000);
    QCOMPARE(r.panelInfo, info);
    QVERIFY(r.finishes.isEmpty());
    QVERIFY(r.messages.isEmpty());
    QVERIFY(r.socketReleased);
    if (info.first().toBool())
        QVERIFY(!RelayLab::events(m_lab.waitPanelEvent(imei, "version-query", from), "version-query")
                     .isEmpty());
}

void TestFirmwareDownload::stopDuringDataPhase_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<int>("afterTexts");   // frame texts before the stop; 0: stopAfterMs after the start
    QTest::addColumn<int>("stopAfterMs");
    QTest::addColumn<int>("withinMs");
    QTest::newRow("between 20 ms replies") << "861000000000040" << 3 << 0 << 500;
    // Most frames' progress then waits for its turn: the last accepted one still shows.
    // Right after a stopped download on the same panel.
    QTest::newRow("between 20 ms replies, at a time") << "861000000000040" << 0 << 420 << 500;
    // The wait for an answer that never comes would last 5 s.
    QTest::newRow("during a wait for an answer") << "861000000000046" << 0 << 300 << 1000;
}

void TestFirmwareDownload::stopDuringDataPhase()
{
    QFETCH(QString, imei);
    QFETCH(int, afterTexts);
    QFETCH(int, stopAfterMs);
    QFETCH(int, withinMs);
    // 200 frames at 20 ms each: four seconds if nothing stopped it.
    const QByteArray bytes = image(200 * 504);
    const QString path = writeImage("PLN080K01_WIFI02.bin", bytes);
    const int from = m_lab.panelLineCount();
    // A stop timed from the start of the data phase stays within the download: it is
    // dropped once the download has returned.
    QObject context;
    bool over = false;
    qint64 stopAtMs = -1;
    const WorkerRun r = download(imei, path, 512, 15000, [&](WorkerRun &run, DownFileOBJ *w) {
        if (afterTexts > 0 && stopAtMs < 0 && run.progress().size() == afterTexts) {
            stopAtMs = run.clock.elapsed();
            w->setStopFlag(true);
        } else if (afterTexts == 0 && run.last() == kStart) {
            const QElapsedTimer clock = run.clock;
            QTimer::singleShot(stopAfterMs, &context, [&over, &stopAtMs, clock, w] {
                if (over)
                    return;
                stopAtMs = clock.elapsed();
                w->setStopFlag(true);
            });
        }
    });
    over = true;
    QCOMPARE(r.finishes, QList<int>{0});
    QVERIFY2(stopAtMs >= 0, qPrintable(r.messages.join(QLatin1Char('|'))));
    QVERIFY2(r.elapsedMs - stopAtMs < withinMs, qPrintable(QString::number(r.elapsedMs - stopAtMs)));
    // Silent: nothing but progress after the stop, and no end command.
    QCOMPARE(r.steps(), (QStringList{kConnect, kOpened, kInfo, kStart}));
    QVERIFY(r.progress().size() <= 5);
    QVERIFY(r.socketReleased);
    const QList<QJsonObject> lines = m_lab.waitPanelEvent(imei, "session-end", from);
    QVERIFY(RelayLab::events(lines, "end").isEmpty());
    // The progress is not left behind the frames the panel took (the last one's answer
    // may have been cut off by the stop).
    const int taken = RelayLab::events(lines, "frame").size();
    QVERIFY(!r.progressSignals.isEmpty());
    QVERIFY2(r.progressSignals.last().first() >= qMax(0, taken - 1) * 504,
             qPrintable(QStringLiteral("%1 of %2 frames").arg(r.progressSignals.last().first()).arg(taken)));
}

QTEST_GUILESS_MAIN(TestFirmwareDownload)
#include "tst_firmwaredownload.moc"
