#include <QtTest>

#include "modelrecord.h"
#include "projectfiles.h"
#include "relayframe.h"

namespace {

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(QByteArray(h));
}

// A name field: the bytes, then zeros up to the field's size.
QByteArray field(const QByteArray &bytes, int size)
{
    QByteArray f = bytes.left(size);
    f.append(QByteArray(size - f.size(), '\0'));
    return f;
}

// The 174-byte record from its parts: 9 header bytes given as hex, then the three names.
QByteArray record(const char *headerHex, const QByteArray &font = QByteArray(),
                  const QByteArray &com1 = QByteArray(), const QByteArray &com2 = QByteArray())
{
    const QByteArray r = hex(headerHex) + field(font, 64) + field(com1, 50) + field(com2, 51);
    Q_ASSERT(r.size() == 174);
    return r;
}

ModelRecord withFlags(bool logo, bool com1, bool com2)
{
    ModelRecord r;
    r.startupScreen = logo;
    r.com1Driver = com1;
    r.com2Driver = com2;
    r.fontName = QStringLiteral("hz16.bin");
    r.com1Name = QStringLiteral("modbus.drv");
    r.com2Name = QStringLiteral("fx.drv");
    return r;
}

} // namespace

class TestModelRecord : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void shortRecordRefused_data();
    void shortRecordRefused();
    void usableFileName_data();
    void usableFileName();
    void modelMatches_data();
    void modelMatches();
    void versionMatches_data();
    void versionMatches();
    void optionalCodes();
    void plan_data();
    void plan();
    void planNames_data();
    void planNames();
    void planHostileNames_data();
    void planHostileNames();
};

void TestModelRecord::parse_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("comm");
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("flags"); // COM1, COM2, start-up screen as 0/1
    QTest::addColumn<QString>("font");
    QTest::addColumn<QString>("com1");
    QTest::addColumn<QString>("com2");

    QTest::newRow("little-endian numbers")
        << record("3412" "02" "03" "0201" "01" "00" "01", "hz.bin", "m.drv", "f.drv")
        << 0x1234 << 2 << 3 << 0x0102 << "101" << "hz.bin" << "m.drv" << "f.drv";
    QTest::newRow("high model code, any non-zero flag")
        << record("aeff" "01" "01" "ffff" "00" "80" "ff")
        << 0xffae << 1 << 1 << 0xffff << "011" << "" << "" << "";
    QTest::newRow("longer file, bytes after the record ignored")
        << record("3c00" "01" "02" "0500" "00" "00" "00", "a") + QByteArray(50, 'x')
        << 60 << 1 << 2 << 5 << "000" << "a" << "" << "";
    QTest::newRow("names end at their first zero")
        << record("4600" "02" "02" "0100" "01" "01" "00",
                  QByteArray("ab\0cd", 5), QByteArray("x\0y", 3), QByteArray("\0z", 2))
        << 70 << 2 << 2 << 1 << "110" << "ab" << "x" << "";
    QTest::newRow("names that fill their fields stay in them")
        << record("5a00" "01" "01" "0000" "01" "01" "00",
                  QByteArray(64, 'F'), QByteArray(50, 'C'), QByteArray(51, 'D'))
        << 90 << 1 << 1 << 0 << "110" << QString(64, 'F') << QString(50, 'C') << QString(51, 'D');
    QTest::newRow("utf-8 names")
        << record("2e00" "02" "01" "0100" "01" "00" "00",
                  "\xe5\xad\x97\xe5\xba\x93.bin", "\xe9\xa9\xb1\xe5\x8a\xa8.drv")
        << 46 << 2 << 1 << 1 << "100"
        << QString::fromUtf8("\xe5\xad\x97\xe5\xba\x93.bin")
        << QString::fromUtf8("\xe9\xa9\xb1\xe5\x8a\xa8.drv") << "";
}

void TestModelRecord::parse()
{
    QFETCH(QByteArray, data);
    QFETCH(int, model);
    QFETCH(int, comm);
    QFETCH(int, module);
    QFETCH(int, version);
    QFETCH(QString, flags);
    QFETCH(QString, font);
    QFETCH(QString, com1);
    QFETCH(QString, com2);

    ModelRecord r;
    QVERIFY(ModelRecord::parse(data, &r));
    QCOMPARE(int(r.model), model);
    QCOMPARE(int(r.comm), comm);
    QCOMPARE(int(r.module), module);
    QCOMPARE(int(r.version), version);
    QCOMPARE(QString("%1%2%3").arg(int(r.com1Driver)).arg(int(r.com2Driver)).arg(int(r.startupScreen)),
             flags);
    QCOMPARE(r.fontName, font);
    QCOMPARE(r.com1Name, com1);
    QCOMPARE(r.com2Name, com2);
}

void TestModelRecord::shortRecordRefused_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("empty") << 0 << false;
    QTest::newRow("header only") << 9 << false;
    QTest::newRow("one byte short") << 173 << false;
    QTest::newRow("exact") << 174 << true;
}

void TestModelRecord::shortRecordRefused()
{
    QFETCH(int, size);
    QFETCH(bool, accepted);
    // Taken from a longer buffer so that a read past the data would find names.
    const QByteArray full = record("3c00" "01" "01" "0100" "01" "01" "01", "font", "c1", "c2");
    const QByteArray data = full.left(size);
    ModelRecord r;
    r.model = 0x7777;
    QCOMPARE(ModelRecord::parse(data, &r), accepted);
    if (!accepted)
        QCOMPARE(int(r.model), 0x7777); // untouched
}

void TestModelRecord::usableFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("usable");

    QTest::newRow("plain") << "modbus.drv" << true;
    QTest::newRow("chinese") << QString::fromUtf8("\xe5\xad\x97\xe5\xba\x93.bin") << true;
    QTest::newRow("dots inside") << "a..b" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("parent path") << "../evil.drv" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("subdirectory") << "sub/x.drv" << false;
    QTest::newRow("backslash") << "..\\x.drv" << false;
    QTest::newRow("drive letter") << "C:x.drv" << false;
    QTest::newRow("drive path") << "c:\\windows\\x.dll" << false;
}

void TestModelRecord::usableFileName()
{
    QFETCH(QString, name);
    QFETCH(bool, usable);
    QCOMPARE(ModelRecord::isUsableFileName(name), usable);
}

void TestModelRecord::modelMatches_data()
{
    QTest::addColumn<int>("recordModel");
    QTest::addColumn<int>("replyByte");
    QTest::addColumn<bool>("match");

    QTest::newRow("0xae widened to 0xffae") << 0xffae << 0xae << true;
    QTest::newRow("0xae is not 0x00ae") << 0x00ae << 0xae << false;
    QTest::newRow("0x2e") << 0x002e << 0x2e << true;
    QTest::newRow("0x2e is not 0xff2e") << 0xff2e << 0x2e << false;
    QTest::newRow("0x80") << 0xff80 << 0x80 << true;
    QTest::newRow("0x7f") << 0x007f << 0x7f << true;
    QTest::newRow("different") << 0x003c << 0x46 << false;
}

void TestModelRecord::modelMatches()
{
    QFETCH(int, recordModel);
    QFETCH(int, replyByte);
    QFETCH(bool, match);
    ModelRecord r;
    r.model = quint16(recordModel);
    QCOMPARE(r.modelMatches(uchar(replyByte)), match);
}

void TestModelRecord::versionMatches_data()
{
    QTest::addColumn<int>("recordVersion");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("match");

    QTest::newRow("00 00 01 02") << 0x0102 << hex("00000102") << true;
    QTest::newRow("01 00 01 02") << 0x0102 << hex("01000102") << false;
    QTest::newRow("ffff") << 0xffff << hex("0000ffff") << true;
    QTest::newRow("ffffffff") << 0xffff << hex("ffffffff") << false;
    QTest::newRow("little-endian reading would match") << 0x0201 << hex("00000102") << false;
}

void TestModelRecord::versionMatches()
{
    QFETCH(int, recordVersion);
    QFETCH(QByteArray, reply);
    QFETCH(bool, match);
    ModelRecord r;
    r.version = quint16(recordVersion);
    quint32 panelVersion = 0;
    QVERIFY(RelayFrame::versionReply(reply, &panelVersion));
    QCOMPARE(r.versionMatches(panelVersion), match);
}

void TestModelRecord::optionalCodes()
{
    const QList<int> optional = {13, 16, 18, 20, 21, 22, 23, 25, 29, 54};
    for (int code = 0; code < 256; ++code)
        QVERIFY2(ProjectFiles::isOptionalCode(uchar(code)) == optional.contains(code),
                 qPrintable(QString::number(code)));
}

void TestModelRecord::plan_data()
{
    QTest::addColumn<bool>("logo");
    QTest::addColumn<bool>("com1");
    QTest::addColumn<bool>("com2");
    QTest::addColumn<bool>("font");
    QTest::addColumn<QString>("codes");

    QTest::newRow("nothing conditional") << false << false << false << false
        << "10,11,12,54,29,14,22,23,21,25,18,20,13,16,15";
    QTest::newRow("start-up screen") << true << false << false << false
        << "10,11,31,12,54,29,14,22,23,21,25,18,20,13,16,15";
    QTest::newRow("COM2 driver only") << false << false << true << false
        << "10,11,12,54,29,14,22,23,21,25,18,20,13,16,15,19";
    QTest::newRow("font only") << false << false << false << true
        << "10,11,12,54,29,14,22,23,21,25,18,20,13,16,15,24";
    QTest::newRow("everything") << true << true << true << true
        << "10,11,31,12,54,29,14,22,23,21,25,18,20,13,16,15,17,19,24";
}

void TestModelRecord::plan()
{
    QFETCH(bool, logo);
    QFETCH(bool, com1);
    QFETCH(bool, com2);
    QFETCH(bool, font);
    QFETCH(QString, codes);

    QStringList got;
    for (const ProjectFiles::File &f : ProjectFiles::plan(withFlags(logo, com1, com2), font, "/u"))
        got << QString::number(f.code);
    QCOMPARE(got.join(','), codes);
}

void TestModelRecord::planNames_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("code");

    const char *rows[][3] = {
        {"系统参数", "/u/SysPara.dat", "10"},
        {"控件参数", "/u/ControlPara.dat", "11"},
        {"启动画面", "/u/LogoPixel.dat", "31"},
        {"画面参数", "/u/SheetPara.dat", "12"},
        {"宏指令变量表", "/u/MarcoVar.dat", "54"},
        {"宏指令", "/u/MarcoRun.dat", "29"},
        {"报警参数", "/u/AlarmPara.dat", "14"},
        {"报警多语言参数", "/u/AlarmMuti.dat", "22"},
        {"消息显示器参数", "/u/SimMessage.dat", "23"},
        {"历史数据采集器参数", "/u/Collect.dat", "21"},
        {"配方参数", "/u/Recipe.dat", "25"},
        {"地址数据", "/u/AddrPara.dat", "18"},
        {"控件索引参数", "/u/PicLenPara.dat", "20"},
        {"曲线数据", "/u/Curve.dat", "13"},
        {"控件图像数据", "/u/ControlPixel.dat", "16"},
        {"画面图像数据", "/u/SheetPixel.dat", "15"},
        {"COM1驱动", "/u/modbus.drv", "17"},
        {"COM2驱动", "/u/fx.drv", "19"},
        {"汉字库", "/u/hz16.bin", "24"},
    };
    int step = 1;
    for (const auto &r : rows) {
        QTest::newRow(r[0]) << step << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1])
                            << QByteArray(r[2]).toInt();
        ++step;
    }
}

void TestModelRecord::planNames()
{
    QFETCH(int, step);
    QFETCH(QString, name);
    QFETCH(QString, path);
    QFETCH(int, code);

    const QVector<ProjectFiles::File> files = ProjectFiles::plan(withFlags(true, true, true), true, "/u");
    QCOMPARE(files.size(), 19);
    const ProjectFiles::File &f = files.at(step - 1);
    QCOMPARE(f.step, step);
    QCOMPARE(QString::fromUtf8(f.name), name);
    QCOMPARE(f.path, path);
    QCOMPARE(int(f.code), code);
}

void TestModelRecord::planHostileNames_data()
{
    QTest::addColumn<QString>("com1");
    QTest::addColumn<QString>("com2");
    QTest::addColumn<QString>("font");
    QTest::addColumn<QString>("paths"); // of steps 17, 18, 19; "-" for none

    QTest::newRow("all usable") << "a.drv" << "b.drv" << "c.bin" << "/u/a.drv,/u/b.drv,/u/c.bin";
    QTest::newRow("parent") << "../a.drv" << "b.drv" << "c.bin" << "-,/u/b.drv,/u/c.bin";
    QTest::newRow("absolute") << "a.drv" << "/etc/passwd" << "c.bin" << "/u/a.drv,-,/u/c.bin";
    QTest::newRow("empty font name") << "a.drv" << "b.drv" << "" << "/u/a.drv,/u/b.drv,-";
    QTest::newRow("drive") << "C:\\a.drv" << ".." << "sub/c.bin" << "-,-,-";
}

void TestModelRecord::planHostileNames()
{
    QFETCH(QString, com1);
    QFETCH(QString, com2);
    QFETCH(QString, font);
    QFETCH(QString, paths);

    ModelRecord r = withFlags(false, true, true);
    r.com1Name = com1;
    r.com2Name = com2;
    r.fontName = font;
    const QVector<ProjectFiles::File> files = ProjectFiles::plan(r, true, "/u");
    QStringList got;
    for (const ProjectFiles::File &f : files) {
        if (f.step >= 17)
            got << (f.path.isEmpty() ? QStringLiteral("-") : f.path);
    }
    QCOMPARE(got.join(','), paths);
}

QTEST_APPLESS_MAIN(TestModelRecord)
#include "tst_modelrecord.moc"
