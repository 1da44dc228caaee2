#include <QtTest>

#include "downloadlab.h"
#include "testzip.h"

namespace {

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(QByteArray(h));
}

QByteArray field(const QByteArray &bytes, int size)
{
    QByteArray f = bytes.left(size);
    return f + QByteArray(size - f.size(), '\0');
}

// modelData.bin: 9 header bytes (hex), font (64), COM1 (50) and COM2 (51) names.
QByteArray record(const char *headerHex, const QByteArray &font = "HZK16.fnt",
                  const QByteArray &com1 = "ModbusRTU_Master.drv", const QByteArray &com2 = "ModbusRTU_Slave.drv")
{
    return hex(headerHex) + field(font, 64) + field(com1, 50) + field(com2, 51);
}

// Model 70, WIFI, module 2, version 0x0102; COM1, COM2 and start-up screen flags as given.
const char kAllFlags[] = "4600" "02" "02" "0201" "01" "01" "01";
const char kNoFlags[] = "4600" "02" "02" "0201" "00" "00" "00";

QByteArray content(int code, int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 29 + code * 7) & 0xff);
    if (size > 40)
        b.replace(17, 3, "$_$");
    return b;
}

using Entries = QList<TestZip::Entry>;

const Entries &mandatoryFiles()
{
    static const Entries files = {
        {"SysPara.dat", content(10, 5000)},
        {"ControlPara.dat", content(11, 700)},
        {"SheetPara.dat", content(12, 300)},
        {"AlarmPara.dat", content(14, 64)},
        {"SheetPixel.dat", content(15, 20000)},
    };
    return files;
}

const Entries &optionalFiles()
{
    static const Entries files = {
        {"MarcoVar.dat", content(54, 90)},
        {"MarcoRun.dat", content(29, 91)},
        {"AlarmMuti.dat", content(22, 92)},
        {"SimMessage.dat", content(23, 93)},
        {"Collect.dat", content(21, 94)},
        {"Recipe.dat", content(25, 95)},
        {"AddrPara.dat", content(18, 96)},
        {"PicLenPara.dat", content(20, 97)},
        {"Curve.dat", content(13, 98)},
        {"ControlPixel.dat", content(16, 1500)},
    };
    return files;
}

const Entries &extraFiles()
{
    static const Entries files = {
        {"LogoPixel.dat", content(31, 1200)},
        {"ModbusRTU_Master.drv", content(17, 2100)},
        {"ModbusRTU_Slave.drv", content(19, 2200)},
        {"HZK16.fnt", content(24, 3000)},
    };
    return files;
}

Entries fullProject(const QByteArray &modelData)
{
    Entries e{{"modelData.bin", modelData}};
    e += mandatoryFiles();
    e += optionalFiles();
    e += extraFiles();
    return e;
}

Entries minimalProject(const QByteArray &modelData)
{
    Entries e{{"modelData.bin", modelData}};
    e += mandatoryFiles();
    return e;
}

Entries without(Entries e, const QString &name)
{
    for (int i = e.size() - 1; i >= 0; --i)
        if (e.at(i).name == name)
            e.removeAt(i);
    return e;
}

Entries replaced(Entries e, const QString &name, const QByteArray &bytes)
{
    for (auto &entry : e)
        if (entry.name == name)
            entry.data = bytes;
    return e;
}

QByteArray bytesOf(const Entries &entries, const QString &name)
{
    for (const auto &e : entries)
        if (e.name == name)
            return e.data;
    return QByteArray();
}

QStringList announcedCodes(const QList<QJsonObject> &lines)
{
    QStringList codes;
    for (const QJsonObject &l : RelayLab::events(lines, "announce"))
        codes << QString::number(l.value("code").toInt());
    return codes;
}

QList<int> frameLens(const QList<QJsonObject> &lines, int code)
{
    QList<int> lens;
    for (const QJsonObject &l : RelayLab::events(lines, "frame"))
        if (l.value("code").toInt() == code)
            lens << l.value("len").toInt();
    return lens;
}

const QString kOpened = QStringLiteral("开启TCP服务成功");
const QString kLatePanel = QStringLiteral("862000000000028");
const QString kSplitPanel = QStringLiteral("862000000000025");
const QString kDrivers = QStringLiteral("下载PLC驱动");
const QString kDone = QStringLiteral("组态升级完成");
const QString kNoRecord = QStringLiteral("组态文件没有型号以及版本参数");

QStringList written(const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        out << QStringLiteral("写入%1").arg(n);
    return out;
}

const QStringList kAllNames = {"系统参数", "控件参数", "启动画面", "画面参数", "宏指令变量表", "宏指令",
                               "报警参数", "报警多语言参数", "消息显示器参数", "历史数据采集器参数",
                               "配方参数", "地址数据", "控件索引参数", "曲线数据", "控件图像数据",
                               "画面图像数据"};

QStringList namesWithoutLogo()
{
    QStringList n = kAllNames;
    n.removeAll(QStringLiteral("启动画面"));
    return n;
}

} // namespace

class TestProjectDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void complete_data();
    void complete();
    void fileFailures_data();
    void fileFailures();
    void modelChecks_data();
    void modelChecks();
    void noRecord_data();
    void noRecord();
    void secondDownloadAfterFailure();
    void staleFilesNotSent();
    void closedPort();

private:
    QString archive(const Entries &entries);
    QString brokenArchive(const QString &kind);
    WorkerRun download(WorkerHarness &harness, const QString &path, int frameSize, bool hz,
                       bool updateFlag = false);

    RelayLab m_lab;
    QTemporaryDir m_files;
    int m_archives = 0;
    const QString m_panel = QStringLiteral("862000000000001");
};

void TestProjectDownload::initTestCase()
{
    QVERIFY(m_files.isValid());
    const QJsonArray panels = {
        labPanel(m_panel, 70, 2, 2, 0x0102),
        labPanel("862000000000002", 70, 2, 2, 0x0102),
        labPanel("862000000000010", 60, 2, 2),
        labPanel("862000000000011", 70, 1, 2),
        labPanel("862000000000012", 70, 2, 1),
        labPanel("862000000000013", 70, 1, 1),
        labPanel("862000000000014", 70, 3, 2),
        labPanel("862000000000015", 70, 2, 2, 0x0102, {{"modelReply", "46"}}),
        labPanel("862000000000016", 70, 2, 2, 0x0102, {{"modelReply", "ae0202"}}),
        labPanel("862000000000017", 70, 2, 2, 0x0103),
        labPanel("862000000000018", 70, 2, 2, 0x0102, {{"versionReply", "01000102"}}),
        labPanel("862000000000019", 70, 2, 2, 0x0102, {{"versionReply", "000001"}}),
        labPanel("862000000000020", 70, 2, 2, 0x0102, {{"versionReply", ""}}),
        labPanel("862000000000021", 70, 2, 2, 0x0102, {{"modelReply", ""}}),
        labPanel("862000000000022", 70, 2, 2, 0x0102, {{"goAhead", "extra"}}),
        labPanel("862000000000023", 70, 2, 2, 0x0102, {{"noEndAck", true}}),
        labPanel("862000000000024", 70, 2, 2, 0x0102,
                 {{"framePlan", QJsonArray{QJsonObject{{"code", 11}, {"index", 0},
                                                       {"replies", QJsonArray{"M", "M", "M", "M", "M",
                                                                              "M", "M", "M", "M", "M"}}}}}}),
        labPanel("862000000000025", 70, 2, 2, 0x0102, {{"splitReplies", true}}),
        labPanel("862000000000026", 70, 2, 2, 0x0102, {{"disconnectAfterFrames", 3}}),
        labPanel("862000000000027", 70, 2, 2, 0x0102, {{"resetAfterFrames", 3}}),
        // the system parameters' frame 1 answered 'K' after the wait for it has ended
        labPanel(kLatePanel, 70, 2, 2, 0x0102,
                 {{"framePlan", QJsonArray{QJsonObject{{"code", 10}, {"index", 1}, {"replies", QJsonArray{"K"}},
                                                       {"delayMs", 800}}}}}),
    };
    QVERIFY2(m_lab.start(panels), qPrintable(m_lab.failure()));
}

void TestProjectDownload::cleanupTestCase()
{
    m_lab.stop();
}

void TestProjectDownload::init()
{
    qunsetenv("VANTELO_RELAY_TIMEOUT_SCALE");
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(m_lab.relayPort()));
}

QString TestProjectDownload::archive(const Entries &entries)
{
    const QString path = m_files.filePath(QStringLiteral("p%1/compile.zip").arg(++m_archives));
    QDir().mkpath(QFileInfo(path).path());
    return TestZip::writeZip(path, entries) ? path : QString();
}

// A complete project whose system parameters fail their checksum ("damaged"), or a
// few-MB project whose entries declare 2 GiB each ("declared-GiB").
QString TestProjectDownload::brokenArchive(const QString &kind)
{
    Entries entries = minimalProject(record(kNoFlags));
    QByteArray zip;
    if (kind == "damaged") {
        entries = replaced(entries, "SysPara.dat", QByteArray("system parameters"));
        zip = TestZip::makeZip(entries, 0);
        zip.replace("system parameters", "system parameterz");
    } else {
        entries << TestZip::Entry{"SheetPixel2.dat", QByteArray(3 << 20, 'p')};
        zip = TestZip::declareSizes(TestZip::makeZip(entries), 0x7fffffffu);
    }
    const QString path = m_files.filePath(QStringLiteral("p%1/compile.zip").arg(++m_archives));
    QDir().mkpath(QFileInfo(path).path());
    return TestFiles::writeFile(path, zip) ? path : QString();
}

WorkerRun TestProjectDownload::download(WorkerHarness &harness, const QString &path, int frameSize,
                                        bool hz, bool updateFlag)
{
    return harness.run([=](DownFileOBJ *w) { w->updateConfigTcp(path, frameSize, hz, updateFlag); }, 20000);
}

void TestProjectDownload::complete_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<bool>("hz");
    QTest::addColumn<bool>("updateFlag");
    QTest::addColumn<QStringList>("messages");  // without progress lines
    QTest::addColumn<QStringList>("codes");     // announced, in order
    QTest::addColumn<QString>("imei");

    const QStringList all = QStringList{kOpened} + written(kAllNames) + QStringList{kDrivers}
        + written({"COM1驱动", "COM2驱动", "汉字库"}) + QStringList{kDone};
    QTest::newRow("full project, fixed order") << fullProject(record(kAllFlags)) << 1024 << true << false
        << all << QString("10,11,31,12,54,29,14,22,23,21,25,18,20,13,16,15,17,19,24").split(',') << m_panel;

    const QStringList minimal = QStringList{kOpened} + written(namesWithoutLogo()) + QStringList{kDrivers, kDone};
    QTest::newRow("optional files missing") << minimalProject(record(kNoFlags)) << 8192 << false << false
        << minimal << QString("10,11,12,14,15").split(',') << m_panel;
    QTest::newRow("optional files empty")
        << replaced(replaced(fullProject(record(kNoFlags)), "Curve.dat", QByteArray()), "MarcoVar.dat", QByteArray())
        << 8192 << false << false << minimal
        << QString("10,11,12,29,14,22,23,21,25,18,20,16,15").split(',') << m_panel;
    QTest::newRow("font only")
        << fullProject(record(kNoFlags)) << 4096 << true << false
        << QStringList{kOpened} + written(namesWithoutLogo()) + QStringList{kDrivers} + written({"汉字库"})
               + QStringList{kDone}
        << QString("10,11,12,54,29,14,22,23,21,25,18,20,13,16,15,24").split(',') << m_panel;
    // A font name that fills its field is cut at the field's end, not run into the next one.
    const QByteArray longFont(64, 'F');
    QTest::newRow("font name filling its field")
        << minimalProject(record(kNoFlags, longFont + "X", "ModbusRTU_Master.drv"))
               + Entries{{QString(longFont), content(24, 333)}}
        << 512 << true << false
        << QStringList{kOpened} + written(namesWithoutLogo()) + QStringList{kDrivers} + written({"汉字库"})
               + QStringList{kDone}
        << QString("10,11,12,14,15,24").split(',') << m_panel;
    QTest::newRow("model byte 0xae matches 0xffae")
        << minimalProject(record("aeff" "02" "02" "0201" "00" "00" "00")) << 8192 << false << false
        << minimal << QString("10,11,12,14,15").split(',') << "862000000000016";
    QTest::newRow("version mismatch, going on")
        << minimalProject(record(kNoFlags)) << 8192 << false << true
        << QStringList{kOpened, QStringLiteral("组态与版本不一致")} + written(namesWithoutLogo())
               + QStringList{kDrivers, kDone}
        << QString("10,11,12,14,15").split(',') << "862000000000017";
    QTest::newRow("replies a byte at a time")
        << minimalProject(record(kNoFlags)) << 8192 << false << false
        << minimal << QString("10,11,12,14,15").split(',') << kSplitPanel;
    QTest::newRow("late acknowledgement")
        << minimalProject(record(kNoFlags)) << 4096 << false << false
        << minimal << QString("10,11,12,14,15").split(',') << kLatePanel;
    QTest::newRow("end command never acknowledged")
        << minimalProject(record(kNoFlags)) << 8192 << false << false
        << QStringList{kOpened, QStringLiteral("写入系统参数"), QStringLiteral("系统参数写入结束命令错误")}
        << QStringList{"10"} << "862000000000023";
}

void TestProjectDownload::complete()
{
    QFETCH(Entries, entries);
    QFETCH(int, frameSize);
    QFETCH(bool, hz);
    QFETCH(bool, updateFlag);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, codes);
    QFETCH(QString, imei);

    if (imei == "862000000000023")
        qputenv("VANTELO_RELAY_TIMEOUT_SCALE", "0.03");
    if (imei == kLatePanel)   // the late answer comes 800 ms after its frame: after a 500 ms wait
        qputenv("VANTELO_RELAY_TIMEOUT_SCALE", "0.1");
    QDir(m_lab.outDir() + "/" + imei).removeRecursively();
    const QString path = archive(entries);
    const int from = m_lab.panelLineCount();
    WorkerHarness harness(imei);
    const WorkerRun r = download(harness, path, frameSize, hz, updateFlag);
    QCOMPARE(r.finishes, QList<int>{1});
    QCOMPARE(r.steps(), messages);
    QVERIFY(!r.types.contains(0) && !r.types.contains(2));
    QVERIFY(r.socketReleased);

    const bool completes = messages.last() == kDone;
    const QList<QJsonObject> lines = m_lab.waitPanelEvent(imei, completes ? "complete" : "session-end", from);
    QCOMPARE(announcedCodes(lines), codes);
    if (imei == kSplitPanel)   // model and version replies really came in pieces
        QCOMPARE(linesWith(lines, {{"event", "fault"}, {"fault", "splitReplies"}}).size(), 2);
    if (imei == kLatePanel)    // the frame was sent again before its late answer came
        QCOMPARE(linesWith(lines, {{"event", "frame"}, {"code", 10}, {"index", 1}}).size(), 2);
    if (!completes)
        return;
    QCOMPARE(RelayLab::events(lines, "complete").size(), 1);

    // Every announced file is stored as it was in the archive, and the progress of
    // each ends in size/size.
    const QMap<int, QString> names = {
        {10, "SysPara.dat"}, {11, "ControlPara.dat"}, {31, "LogoPixel.dat"}, {12, "SheetPara.dat"},
        {54, "MarcoVar.dat"}, {29, "MarcoRun.dat"}, {14, "AlarmPara.dat"}, {22, "AlarmMuti.dat"},
        {23, "SimMessage.dat"}, {21, "Collect.dat"}, {25, "Recipe.dat"}, {18, "AddrPara.dat"},
        {20, "PicLenPara.dat"}, {13, "Curve.dat"}, {16, "ControlPixel.dat"}, {15, "SheetPixel.dat"},
        {17, "ModbusRTU_Master.drv"}, {19, "ModbusRTU_Slave.drv"}, {24, QString(64, 'F')}};
    qint64 storedBytes = 0;
    for (const QString &c : codes) {
        const int code = c.toInt();
        QByteArray expected = bytesOf(entries, names.value(code));
        if (code == 24 && expected.isEmpty())
            expected = bytesOf(entries, "HZK16.fnt");
        QVERIFY2(!expected.isEmpty(), qPrintable(c));
        QCOMPARE(TestFiles::readFile(m_lab.stored(imei, code)), expected);
        storedBytes += expected.size();
    }
    // The progress signal runs over every file sent, ending with all bytes of all files.
    QCOMPARE(r.progressSignals.last(),
             (QList<qint64>{storedBytes, storedBytes, codes.size(), codes.size()}));
    // Every file shows its start, however fast the files go.
    QSet<qint64> files;
    for (const QList<qint64> &p : r.progressSignals)
        files << p.at(2);
    QCOMPARE(files.size(), codes.size());
    const QStringList progress = r.progress();
    QVERIFY(progress.contains(QStringLiteral("系统参数已写入:5000/5000")));
    QVERIFY(progress.contains(QStringLiteral("画面图像数据已写入:20000/20000")));
    if (frameSize == 1024) {
        QCOMPARE(frameLens(lines, 10), (QList<int>{1016, 1016, 1016, 1016, 936}));
        QCOMPARE(progress.first(), QStringLiteral("系统参数已写入:1016/5000"));
    }
    if (frameSize == 8192)
        QCOMPARE(frameLens(lines, 15), (QList<int>{8184, 8184, 3632}));
}

void TestProjectDownload::fileFailures_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<bool>("hz");
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("lastMessages"); // the messages after the last "写入…" before the failure
    QTest::addColumn<QStringList>("codes");

    QTest::newRow("start-up screen flag, no file")
        << without(fullProject(record(kAllFlags)), "LogoPixel.dat") << false << m_panel
        << "写入启动画面|打开启动画面文件失败" << QStringList{"10", "11"};
    QTest::newRow("mandatory file missing")
        << without(minimalProject(record(kNoFlags)), "SheetPara.dat") << false << m_panel
        << "写入画面参数|打开画面参数文件失败" << QStringList{"10", "11"};
    QTest::newRow("mandatory file empty")
        << replaced(minimalProject(record(kNoFlags)), "AlarmPara.dat", QByteArray()) << false << m_panel
        << "写入报警参数|报警参数文件为空" << QStringList{"10", "11", "12"};
    QTest::newRow("relay closes during a file")
        << minimalProject(record(kNoFlags)) << false << "862000000000026"
        << "写入系统参数|系统参数写入失败:连接已断开" << QStringList{"10"};
    QTest::newRow("relay resets during a file")
        << minimalProject(record(kNoFlags)) << false << "862000000000027"
        << "写入系统参数|系统参数写入失败:连接已断开" << QStringList{"10"};
    QTest::newRow("COM1 driver named outside the project")
        << fullProject(record(kAllFlags, "HZK16.fnt", "../hostile.drv")) << false << m_panel
        << "写入COM1驱动|打开COM1驱动文件失败" << QString("10,11,31,12,54,29,14,22,23,21,25,18,20,13,16,15").split(',');
    QTest::newRow("COM2 driver with an absolute name")
        << fullProject(record(kAllFlags, "HZK16.fnt", "ModbusRTU_Master.drv", "/etc/hostname")) << false << m_panel
        << "写入COM2驱动|打开COM2驱动文件失败" << QString("10,11,31,12,54,29,14,22,23,21,25,18,20,13,16,15,17").split(',');
    QTest::newRow("font without a name")
        << fullProject(record(kNoFlags, "")) << true << m_panel
        << "写入汉字库|打开汉字库文件失败" << QString("10,11,12,54,29,14,22,23,21,25,18,20,13,16,15").split(',');
    QTest::newRow("ten checksum errors")
        << minimalProject(record(kNoFlags)) << false << "862000000000024"
        << "写入控件参数|控件参数写入校验错误" << QStringList{"10", "11"};
}

void TestProjectDownload::fileFailures()
{
    QFETCH(Entries, entries);
    QFETCH(bool, hz);
    QFETCH(QString, imei);
    QFETCH(QString, lastMessages);
    QFETCH(QStringList, codes);

    // A file where a name escaping the unpack directory would find it.
    const QString appDir = QCoreApplication::applicationDirPath();
    QVERIFY(TestFiles::writeFile(appDir + "/hostile.drv", "not a driver"));

    const QString path = archive(entries);
    const int from = m_lab.panelLineCount();
    WorkerHarness harness(imei);
    const WorkerRun r = download(harness, path, 1024, hz);
    QCOMPARE(r.finishes, QList<int>{1});
    QVERIFY(r.socketReleased);
    const QStringList expectedTail = lastMessages.split('|');
    QCOMPARE(r.steps().mid(r.steps().size() - expectedTail.size()), expectedTail);
    QVERIFY(!r.messages.contains(kDone));
    QVERIFY2(r.elapsedMs < 5000, qPrintable(QString::number(r.elapsedMs)));   // at once, not after waits

    const QList<QJsonObject> lines = m_lab.waitPanelEvent(imei, "session-end", from);
    QCOMPARE(announcedCodes(lines), codes);
    QVERIFY(RelayLab::events(lines, "complete").isEmpty());
}

void TestProjectDownload::modelChecks_data()
{
    QTest::addColumn<QByteArray>("modelData");
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("scaled");

    const QByteArray rec = record(kNoFlags);
    QTest::newRow("model differs") << rec << "862000000000010"
        << QStringList{kOpened, QStringLiteral("组态型号和触摸屏型号不一致")} << false;
    QTest::newRow("0xae is not 0x00ae") << record("ae00" "02" "02" "0201" "00" "00" "00") << "862000000000016"
        << QStringList{kOpened, QStringLiteral("组态型号和触摸屏型号不一致")} << false;
    QTest::newRow("panel is 4G") << rec << "862000000000011"
        << QStringList{kOpened, QStringLiteral("该型号不支持4G通信")} << false;
    QTest::newRow("panel is WIFI") << record("4600" "01" "02" "0201" "00" "00" "00") << m_panel
        << QStringList{kOpened, QStringLiteral("该型号不支持WIFI通信")} << false;
    QTest::newRow("other communication type") << rec << "862000000000014" << QStringList{kOpened} << false;
    QTest::newRow("single-byte model reply") << rec << "862000000000015" << QStringList{kOpened} << true;
    QTest::newRow("WIFI module differs") << rec << "862000000000012"
        << QStringList{kOpened, QStringLiteral("该型号不兼容当前WIFI模块")} << false;
    QTest::newRow("4G module differs") << record("4600" "01" "02" "0201" "00" "00" "00") << "862000000000013"
        << QStringList{kOpened, QStringLiteral("该型号不兼容当前4G模块")} << false;
    QTest::newRow("version differs") << rec << "862000000000017"
        << QStringList{kOpened, QStringLiteral("组态与版本不一致")} << false;
    QTest::newRow("version in the high bytes") << rec << "862000000000018"
        << QStringList{kOpened, QStringLiteral("组态与版本不一致")} << false;
    QTest::newRow("short version reply") << rec << "862000000000019"
        << QStringList{kOpened, QStringLiteral("查询型号命令失败")} << true;
    QTest::newRow("no version reply") << rec << "862000000000020"
        << QStringList{kOpened, QStringLiteral("查询型号命令失败")} << true;
    QTest::newRow("no model reply") << rec << "862000000000021"
        << QStringList{kOpened, QStringLiteral("查询型号命令失败")} << true;
    QTest::newRow("go-ahead refused") << rec << "862000000000022"
        << QStringList{QStringLiteral("开启TCP服务失败")} << false;
}

void TestProjectDownload::modelChecks()
{
    QFETCH(QByteArray, modelData);
    QFETCH(QString, imei);
    QFETCH(QStringList, messages);
    QFETCH(bool, scaled);

    if (scaled)
        qputenv("VANTELO_RELAY_TIMEOUT_SCALE", "0.03");
    const QString path = archive(minimalProject(modelData));
    const int from = m_lab.panelLineCount();
    WorkerHarness harness(imei);
    const WorkerRun r = download(harness, path, 1024, false);
    QCOMPARE(r.finishes, QList<int>{1});
    QCOMPARE(r.messages, messages);
    QVERIFY(r.socketReleased);
    QVERIFY2(r.elapsedMs < 5000, qPrintable(QString::number(r.elapsedMs)));
    QTest::qWait(50);
    QVERIFY(RelayLab::events(m_lab.panelLines(imei, from), "announce").isEmpty());
}

void TestProjectDownload::noRecord_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");

    QTest::newRow("no modelData.bin") << "missing" << kNoRecord;
    QTest::newRow("173-byte modelData.bin") << "short" << kNoRecord;
    QTest::newRow("no archive") << "no-archive" << kNoRecord;
    QTest::newRow("archive escaping its directory") << "zip-slip"
        << QStringLiteral("压缩文件包含不安全的路径,已拒绝");
    QTest::newRow("frame size 8") << "frame-8" << QStringLiteral("帧大小必须大于8字节");
    QTest::newRow("damaged entry") << "damaged" << kNoRecord;
    QTest::newRow("archive declaring GiBs") << "declared-GiB" << QStringLiteral("压缩文件超出解压限制,已拒绝");
}

void TestProjectDownload::noRecord()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);

    QString path;
    int frameSize = 1024;
    if (kind == "missing")
        path = archive(without(minimalProject(record(kNoFlags)), "modelData.bin"));
    else if (kind == "short")
        path = archive(minimalProject(record(kNoFlags).left(173)));
    else if (kind == "no-archive")
        path = m_files.filePath("nowhere/compile.zip");
    else if (kind == "zip-slip")
        path = archive(minimalProject(record(kNoFlags)) + Entries{{"../escaped.dat", "x"}});
    else if (kind == "damaged" || kind == "declared-GiB")
        path = brokenArchive(kind);
    else
        path = archive(minimalProject(record(kNoFlags))), frameSize = 8;

    const int relayLines = readEventLines(m_lab.relayEvents()).size();
    WorkerHarness harness(m_panel);
    const WorkerRun r = download(harness, path, frameSize, false);
    QCOMPARE(r.finishes, QList<int>{1});
    QCOMPARE(r.messages, QStringList{message});
    QVERIFY(r.socketReleased);
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/escaped.dat"));
    if (kind == "damaged" || kind == "declared-GiB")   // nothing of it stays on disk
        QVERIFY(QDir(QCoreApplication::applicationDirPath() + "/compile").isEmpty());
    QTest::qWait(100);
    QCOMPARE(readEventLines(m_lab.relayEvents()).size(), relayLines); // never connected
}

void TestProjectDownload::secondDownloadAfterFailure()
{
    const QString imei = QStringLiteral("862000000000002");
    const int relayFrom = readEventLines(m_lab.relayEvents()).size();
    const int from = m_lab.panelLineCount();
    WorkerHarness harness(imei);

    const WorkerRun first = download(harness, archive(minimalProject(record("3c00" "02" "02" "0201" "00" "00" "00"))),
                                     1024, false);
    QCOMPARE(first.messages, (QStringList{kOpened, QStringLiteral("组态型号和触摸屏型号不一致")}));
    QVERIFY(first.socketReleased);

    const WorkerRun second = download(harness, archive(minimalProject(record(kNoFlags))), 1024, false);
    QCOMPARE(second.finishes, QList<int>{1});
    QCOMPARE(second.last(), kDone);
    QVERIFY(second.socketReleased);

    const QList<QJsonObject> lines = m_lab.waitPanelEvent(imei, "complete", from);
    QCOMPARE(RelayLab::events(lines, "session").size(), 2);
    QCOMPARE(RelayLab::events(lines, "model-query").size(), 2);
    // Two registrations at the relay, each on a connection of its own.
    int registrations = 0;
    for (const QJsonObject &l : readEventLines(m_lab.relayEvents()).mid(relayFrom)) {
        const QString text = QString::fromUtf8(QJsonDocument(l).toJson(QJsonDocument::Compact));
        if (text.contains(imei) && text.contains("desktop") && text.contains("download")
            && l.value("event").toString().contains("regist"))
            ++registrations;
    }
    QCOMPARE(registrations, 2);
}

void TestProjectDownload::staleFilesNotSent()
{
    // What an earlier project left in the unpack directory is never sent with a later
    // one and never stands in its way: files, folders (one named like a project file,
    // from an archive's folder entry) and links go; a link's target is left alone.
    const QString unpack = QCoreApplication::applicationDirPath() + "/compile";
    const QString outside = m_files.filePath("outside");
    QVERIFY(TestFiles::writeFile(outside + "/keep.dat", "outside"));
    WorkerHarness harness(m_panel);
    const WorkerRun first = download(harness, archive({{"modelData.bin/", {}}, {"Curve.dat", "stale"}}), 8192, false);
    QCOMPARE(first.messages, QStringList{kNoRecord});
    QVERIFY(QFileInfo(unpack + "/modelData.bin").isDir());
    QVERIFY(TestFiles::writeFile(unpack + "/sub/old.dat", "stale"));
    QVERIFY(QFile::link(outside, unpack + "/link"));

    const int from = m_lab.panelLineCount();
    const WorkerRun r = download(harness, archive(minimalProject(record(kNoFlags))), 8192, false);
    QCOMPARE(r.last(), kDone);
    const QList<QJsonObject> lines = m_lab.waitPanelEvent(m_panel, "complete", from);
    QCOMPARE(announcedCodes(lines), QString("10,11,12,14,15").split(','));
    QVERIFY(!QFile::exists(unpack + "/Curve.dat"));
    QVERIFY(!QFileInfo::exists(unpack + "/sub"));
    QVERIFY(!QFileInfo(unpack + "/link").isSymLink());
    QVERIFY(QFileInfo(unpack + "/modelData.bin").isFile());
    QCOMPARE(TestFiles::readFile(outside + "/keep.dat"), QByteArray("outside"));
}

void TestProjectDownload::closedPort()
{
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(freeLoopbackPort()));
    WorkerHarness harness(m_panel);
    const WorkerRun r = download(harness, archive(minimalProject(record(kNoFlags))), 1024, false);
    QCOMPARE(r.finishes, QList<int>{1});
    QCOMPARE(r.messages, QStringList{QStringLiteral("连接TCP服务器超时")});
    QVERIFY(r.socketReleased);
}


QTEST_GUILESS_MAIN(TestProjectDownload)
#include "tst_projectdownload.moc"
