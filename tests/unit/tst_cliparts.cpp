#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "clihelp.h"
#include "clioptions.h"
#include "jsonlines.h"
#include "panellist.h"
#include "panelresult.h"
#include "terminalformat.h"

Q_DECLARE_METATYPE(CliOptions::Command)
Q_DECLARE_METATYPE(QVector<DevInfo>)
Q_DECLARE_METATYPE(QVector<PanelList::Entry>)
Q_DECLARE_METATYPE(UpdateOperation)

namespace {
const QString kOnline = QStringLiteral("在线");
const QString kOffline = QStringLiteral("离线");

QVector<DevInfo> account()
{
    return {{"101", kOnline}, {"102", kOffline}, {"103", kOnline}, {"104", QStringLiteral("维护")}};
}

PanelList::Entry entry(const QString &imei, PanelList::Disposition d, const QString &status)
{
    return PanelList::Entry{imei, d, status};
}

bool hasControl(const QString &text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}
} // namespace

class TestCliParts : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void panels_data();
    void panels();
    void jsonLines_data();
    void jsonLines();
    void liveLine_data();
    void liveLine();
    void summaryAligned();
    void succeeded_data();
    void succeeded();
    void helpNamesEveryOption();
};

void TestCliParts::parse_data()
{
    using C = CliOptions::Command;
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<C>("command");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("panels");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("error");

    const QStringList none;
    QTest::newRow("devices") << QStringList{"devices"} << C::Devices << "" << none << 4 << 512 << false;
    QTest::newRow("help anywhere") << QStringList{"project", "--help"} << C::Help << "" << none << 4 << 512 << false;
    QTest::newRow("firmware, options both forms")
        << QStringList{"firmware", "a.bin", "1", "2", "--parallel", "20", "--frame=1024"} << C::Firmware
        << "a.bin" << QStringList{"1", "2"} << 20 << 1024 << false;
    QTest::newRow("project from file") << QStringList{"--from", "f.txt", "project", "c.zip", "--font"}
                                       << C::Project << "c.zip" << none << 4 << 512 << false;
    QTest::newRow("sync all online") << QStringList{"sync", "t.zip", "--all-online", "--use-name", "--json"}
                                     << C::Sync << "t.zip" << none << 4 << 512 << false;
    QTest::newRow("info, -- ends options") << QStringList{"info", "--", "--x"} << C::Info << ""
                                           << QStringList{"--x"} << 4 << 512 << false;
    QTest::newRow("no command") << QStringList{"--json"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("unknown command") << QStringList{"flash", "1"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("unknown option") << QStringList{"info", "1", "--password", "x"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("no panels") << QStringList{"firmware", "a.bin"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("no file") << QStringList{"project"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("devices with panels") << QStringList{"devices", "1"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("parallel 0") << QStringList{"info", "1", "--parallel", "0"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("frame 8") << QStringList{"info", "1", "--frame", "8"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("value missing") << QStringList{"info", "1", "--account"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("flag with value") << QStringList{"info", "1", "--json=1"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("lang fr") << QStringList{"info", "1", "--lang", "fr"} << C::None << "" << none << 4 << 512 << true;
    QTest::newRow("font for firmware") << QStringList{"firmware", "a", "1", "--font"} << C::None << "" << none << 4 << 512 << true;
}

void TestCliParts::parse()
{
    QFETCH(QStringList, args);
    QFETCH(CliOptions::Command, command);
    QFETCH(QString, file);
    QFETCH(QStringList, panels);
    QFETCH(int, parallel);
    QFETCH(int, frame);
    QFETCH(bool, error);
    const CliOptions o = CliOptions::parse(args);
    QCOMPARE(!o.error.isEmpty(), error);
    QCOMPARE(o.command, command);
    QCOMPARE(o.file, file);
    QCOMPARE(o.panels, panels);
    QCOMPARE(o.parallel, parallel);
    QCOMPARE(o.frame, frame);
}

void TestCliParts::panels_data()
{
    using D = PanelList::Disposition;
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<QStringList>("named");
    QTest::addColumn<bool>("allOnline");
    QTest::addColumn<QVector<PanelList::Entry>>("expected");

    QTest::newRow("named, each judged") << QByteArray() << QStringList{"104", "102", "999", "101"} << false
        << QVector<PanelList::Entry>{entry("104", D::Offline, "维护"), entry("102", D::Offline, kOffline),
                                     entry("999", D::Unknown, ""), entry("101", D::Attempt, kOnline)};
    QTest::newRow("all online") << QByteArray() << QStringList() << true
        << QVector<PanelList::Entry>{entry("101", D::Attempt, kOnline), entry("103", D::Attempt, kOnline)};
    QTest::newRow("named first, each once") << QByteArray() << QStringList{"103", "102", "103"} << true
        << QVector<PanelList::Entry>{entry("103", D::Attempt, kOnline), entry("102", D::Offline, kOffline),
                                     entry("101", D::Attempt, kOnline)};
    QTest::newRow("from file: blanks, comments, CRLF") << QByteArray(" 101 \r\n\n# fleet\n\t103\n999") << QStringList{"102"} << false
        << QVector<PanelList::Entry>{entry("102", D::Offline, kOffline), entry("101", D::Attempt, kOnline),
                                     entry("103", D::Attempt, kOnline), entry("999", D::Unknown, "")};
}

void TestCliParts::panels()
{
    QFETCH(QByteArray, fromFile);
    QFETCH(QStringList, named);
    QFETCH(bool, allOnline);
    QFETCH(QVector<PanelList::Entry>, expected);
    const QVector<PanelList::Entry> got
        = PanelList::resolve(named + PanelList::fromFileContent(fromFile), allOnline, account());
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got.at(i).imei, expected.at(i).imei);
        QCOMPARE(int(got.at(i).disposition), int(expected.at(i).disposition));
        QCOMPARE(got.at(i).status, expected.at(i).status);
    }
}

void TestCliParts::jsonLines_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("step") << "step" << qint64(0) << QStringLiteral("开启TCP服务成功");
    QTest::newRow("progress, beyond 32 bits") << "progress" << (qint64(5) << 32) << QString();
    QTest::newRow("text with line breaks and quotes") << "failed" << qint64(12)
                                                      << QStringLiteral("a\n\"b\"\x1b[2J");
}

void TestCliParts::jsonLines()
{
    QFETCH(QString, phase);
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    const QByteArray line = JsonLines::event(PanelEvent{"860000000000101", phase, bytes, bytes * 2, text});
    QVERIFY(line.endsWith('\n'));
    QCOMPARE(line.count('\n'), 1);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o.value("panel").toString(), QStringLiteral("860000000000101"));
    QCOMPARE(o.value("phase").toString(), phase);
    QCOMPARE(qint64(o.value("bytes").toDouble()), bytes);
    QCOMPARE(o.value("text").toString(), text);
    QCOMPARE(o.contains("total"), phase == QLatin1String("progress"));
}

void TestCliParts::liveLine_data()
{
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("parts");

    QTest::newRow("half, rate and time left") << qint64(1024 * 1024) << qint64(2 * 1024 * 1024) << qint64(2000)
        << QStringLiteral("写入系统参数") << 200
        << QStringList{"[##########----------]", " 50%", "1.0 MiB/2.0 MiB", "512.0 KiB/s", "2.0 s left", "写入系统参数"};
    QTest::newRow("nothing moved yet: no rate") << qint64(0) << qint64(100) << qint64(0) << QString() << 200
        << QStringList{"[--------------------]", "  0%", "0 B/100 B"};
    QTest::newRow("no total: text only") << qint64(0) << qint64(0) << qint64(10) << QStringLiteral("连接TCP服务器")
        << 200 << QStringList{"860000000000101  连接TCP服务器"};
    QTest::newRow("control characters made spaces") << qint64(0) << qint64(0) << qint64(10)
        << QStringLiteral("a\r\x1b[Kb") << 200 << QStringList{"a  [Kb"};
    QTest::newRow("cut to the width, wide characters count twice") << qint64(0) << qint64(0) << qint64(10)
        << QStringLiteral("组态升级完成") << 22 << QStringList{"860000000000101  组态"};
}

void TestCliParts::liveLine()
{
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QStringList, parts);
    const QString line = TerminalFormat::liveLine("860000000000101", done, total, elapsedMs, text, width);
    QVERIFY(!hasControl(line));
    QVERIFY(TerminalFormat::displayWidth(line) <= width);
    for (const QString &p : parts)
        QVERIFY2(line.contains(p), qPrintable(line + " lacks " + p));
}

void TestCliParts::summaryAligned()
{
    const QString table = TerminalFormat::summary(
        {{"860000000000101", "succeeded", QStringLiteral("组态升级完成"), 61500},
         {"860000000000902", "offline", QStringLiteral("离线"), -1},
         {"9", "failed", QStringLiteral("a\nb"), 900}});
    const QStringList lines = table.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(!hasControl(QString(table).remove('\n')));
    // The time column starts at the same terminal column in every line.
    const QStringList times{"time", "1:01", "-", "0.9 s"};
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines.at(i).endsWith(times.at(i)), qPrintable(lines.at(i)));
        QCOMPARE(TerminalFormat::displayWidth(lines.at(i).chopped(times.at(i).size())),
                 TerminalFormat::displayWidth(lines.at(0).chopped(4)));
    }
}

void TestCliParts::succeeded_data()
{
    QTest::addColumn<UpdateOperation>("op");
    QTest::addColumn<QString>("lastText");
    QTest::addColumn<bool>("succeeded");
    QTest::newRow("firmware written") << UpdateOperation::Firmware << QStringLiteral("写入底层成功") << true;
    QTest::newRow("firmware, other's success") << UpdateOperation::Firmware << QStringLiteral("组态升级完成") << false;
    QTest::newRow("project complete") << UpdateOperation::Project << QStringLiteral("组态升级完成") << true;
    QTest::newRow("project stopped mid-way") << UpdateOperation::Project << QStringLiteral("写入系统参数") << false;
    QTest::newRow("sync up to date") << UpdateOperation::CloudSync << QStringLiteral("云组态工程已经是最新") << true;
    QTest::newRow("sync uploaded") << UpdateOperation::CloudSync << QStringLiteral("组态工程上传成功且已重新绑定") << true;
    QTest::newRow("sync upload refused") << UpdateOperation::CloudSync << QStringLiteral("云组态上传异常：x") << false;
}

void TestCliParts::succeeded()
{
    QFETCH(UpdateOperation, op);
    QFETCH(QString, lastText);
    QFETCH(bool, succeeded);
    QCOMPARE(PanelResult::succeeded(op, lastText), succeeded);
}

void TestCliParts::helpNamesEveryOption()
{
    const QString text = CliHelp::text();
    const QString man = CliHelp::manPage("1.0", "2026-01-01");
    QVERIFY(man.startsWith(".TH VANTELO\\-CLI 1 "));
    for (const char *option : {"--from", "--all-online", "--config", "--account", "--password-stdin", "--frame",
                               "--parallel", "--json", "--lang", "--font", "--use-name", "VANTELO_PASSWORD"}) {
        QVERIFY2(text.contains(QLatin1String(option)), option);
        QVERIFY2(man.contains(QString::fromLatin1(option).replace("-", "\\-")), option);
        // An option the help names is one the parser knows.
        if (QByteArray(option).startsWith("--")) {
            const CliOptions o = CliOptions::parse({"info", "1", QLatin1String(option), "zh"});
            QVERIFY2(!o.error.startsWith("unknown option"), option);
        }
    }
}

QTEST_GUILESS_MAIN(TestCliParts)
#include "tst_cliparts.moc"
