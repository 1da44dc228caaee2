#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "labprocess.h"
#include "relaylab.h"
#include "testfiles.h"
#include "testzip.h"

// vantelo-cli against the lab's cloud service, relay and 20 panels: the outcome of each
// panel in a roll-out, the exit status, the output forms, and Ctrl-C.
namespace {

constexpr int kPanels = 20;

QString imei(int i)
{
    return QStringLiteral("8630000000001%1").arg(i, 2, 10, QLatin1Char('0'));
}

QByteArray content(int seed, int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 31 + seed * 7) & 0xff);
    return b;
}

// The project's files (after modelData.bin) with the codes the panel stores them under.
struct ProjectFile
{
    const char *name;
    int code;
    int size;
};
const ProjectFile kFiles[] = {{"SysPara.dat", 10, 3000}, {"ControlPara.dat", 11, 1200},
                              {"SheetPara.dat", 12, 300}, {"AlarmPara.dat", 14, 64},
                              {"SheetPixel.dat", 15, 20000}};

QJsonObject cloudPanel(const QString &id, const QString &status)
{
    return QJsonObject{{"imei", id}, {"status", status}};
}

// 20 plain panels; overrides replace (by index) the lab panel.
QJsonArray labPanels(const QMap<int, QJsonObject> &overrides = {}, const QJsonObject &faultsForAll = {})
{
    QJsonArray a;
    for (int i = 1; i <= kPanels; ++i)
        a << overrides.value(i, labPanel(imei(i), 70, 2, 2, 0x0102, faultsForAll));
    return a;
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QList<QJsonObject> events;   // with --json
    bool parsed = true;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void outcomes_data();
    void outcomes();
    void interrupt();

private:
    QStringList args(const QString &command, const QString &account, bool json) const;
    QProcess *start(QProcess &p, const QStringList &arguments) const;
    static Run finish(QProcess &p, bool json);

    QTemporaryDir m_dir;
    std::unique_ptr<LabProcess> m_cloud;
    QString m_archive;
    QString m_config;
    QString m_from;
};

void TestCli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QList<TestZip::Entry> entries{{"modelData.bin", QByteArray::fromHex("460002020201000000") + QByteArray(165, '\0')}};
    for (const ProjectFile &f : kFiles)
        entries << TestZip::Entry{f.name, content(f.code, f.size)};
    m_archive = m_dir.filePath("compile.zip");
    QVERIFY(TestZip::writeZip(m_archive, entries));

    QJsonArray online, mixed;
    QByteArray from;
    for (int i = 1; i <= kPanels; ++i) {
        online << cloudPanel(imei(i), QStringLiteral("在线"));
        mixed << cloudPanel(imei(i), QString::fromUtf8(i == 2 ? "离线" : "在线"));
        from += imei(i).toLatin1() + '\n';
    }
    const QJsonArray accounts{QJsonObject{{"account", "fleet"}, {"password", "pw"}, {"panels", online}},
                              QJsonObject{{"account", "mixed"}, {"password", "pw"}, {"panels", mixed}}};
    const QString cloudConfig = m_dir.filePath("cloud.json");
    QVERIFY(TestFiles::writeJson(cloudConfig, QJsonObject{{"cloud", QJsonObject{{"accounts", accounts}}}}));
    m_cloud.reset(new LabProcess(QStringLiteral("lab-cloud")));
    QVERIFY2(m_cloud->start({"--config", cloudConfig, "--port", "0", "--events", m_dir.filePath("cloud.jsonl"),
                             "--store", m_dir.filePath("store")}),
             qPrintable(m_cloud->diagnostics()));
    m_config = m_dir.filePath("User.ini");
    QVERIFY(TestFiles::writeFile(m_config, QStringLiteral("[Domain]\nname=http://127.0.0.1:%1\n")
                                               .arg(m_cloud->port()).toUtf8()));
    m_from = m_dir.filePath("fleet.txt");
    QVERIFY(TestFiles::writeFile(m_from, "# the fleet\n" + from));
}

void TestCli::cleanupTestCase()
{
    m_cloud.reset();
}

QStringList TestCli::args(const QString &command, const QString &account, bool json) const
{
    QStringList a{command};
    if (command == QLatin1String("project"))
        a << m_archive;
    a << QStringList{"--from", m_from, "--parallel", QString::number(kPanels), "--config", m_config,
                     "--account", account};
    if (json)
        a << "--json";
    return a;
}

QProcess *TestCli::start(QProcess &p, const QStringList &arguments) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTELO_PASSWORD", "pw");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_dir.path());
    p.start(LabProcess::programPath("vantelo-cli"), arguments);
    p.waitForStarted(10000);
    return &p;
}

Run TestCli::finish(QProcess &p, bool json)
{
    Run r;
    if (!p.waitForFinished(60000))
        p.kill();
    p.waitForFinished(5000);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    if (!json)
        return r;
    for (const QByteArray &line : r.out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        r.parsed = r.parsed && error.error == QJsonParseError::NoError && doc.isObject();
        r.events << doc.object();
    }
    return r;
}

void TestCli::outcomes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QJsonArray>("panels");
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("exitCode");
    // Every panel's "result|text", but for those listed.
    QTest::addColumn<QString>("usual");
    QTest::addColumn<QVariantMap>("others");

    const QString done = QStringLiteral("succeeded|组态升级完成");
    QTest::newRow("all succeed") << "project" << "fleet" << labPanels() << false << 0 << done << QVariantMap();
    const QJsonArray tenRefusals{"M", "M", "M", "M", "M", "M", "M", "M", "M", "M"};
    QTest::newRow("mix") << "project" << "mixed"
        << labPanels({{5, labPanel(imei(5), 71, 2, 2)},
                      {9, labPanel(imei(9), 70, 2, 2, 0x0102, {{"disconnectAfterFrames", 3}})},
                      {14, labPanel(imei(14), 70, 2, 2, 0x0102,
                                    {{"framePlan", QJsonArray{QJsonObject{{"code", 11}, {"index", 0},
                                                                          {"replies", tenRefusals}}}}})}})
        << true << 1 << done
        << QVariantMap{{imei(2), "offline|离线"},
                       {imei(5), "failed|组态型号和触摸屏型号不一致"},
                       {imei(9), "failed|系统参数写入失败:连接已断开"},
                       {imei(14), "failed|控件参数写入校验错误"}};
    QTest::newRow("info") << "info" << "mixed"
        << labPanels({{5, labPanel(imei(5), 71, 1, 3, 0x0207)}, {7, labPanel(imei(7), 70, 2, 2, 0x0102, {{"refuse", true}})}})
        << true << 1 << "succeeded|model 70, comm 2 (WIFI), module 2, version 258"
        << QVariantMap{{imei(2), "offline|离线"},
                       {imei(5), "succeeded|model 71, comm 1 (4G), module 3, version 519"},
                       {imei(7), "failed|查询型号命令失败"}};
}

void TestCli::outcomes()
{
    QFETCH(QString, command);
    QFETCH(QString, account);
    QFETCH(QJsonArray, panels);
    QFETCH(bool, json);
    QFETCH(int, exitCode);
    QFETCH(QString, usual);
    QFETCH(QVariantMap, others);
    RelayLab lab;
    QVERIFY2(lab.start(panels), qPrintable(lab.failure()));
    QProcess p;
    start(p, args(command, account, json));
    const Run r = finish(p, json);
    QCOMPARE(r.exitCode, exitCode);

    QHash<QString, QStringList> phases;   // per panel, in order
    QHash<QString, QString> ends;         // per panel: "result|text"
    if (json) {
        QVERIFY(r.parsed);
        for (const QJsonObject &e : r.events) {
            const QString panel = e.value("panel").toString();
            const QString phase = e.value("phase").toString();
            phases[panel] << phase;
            ends[panel] = phase + '|' + e.value("text").toString();
        }
    } else {
        for (const char c : r.out)
            QVERIFY2(uchar(c) >= 0x20 || c == '\n', "a control character in the output");
        // The summary: "<panel>  <result>  <text>  <time>".
        const QList<QByteArray> lines = r.out.split('\n');
        int header = -1;
        for (int i = 0; i < lines.size(); ++i)
            if (QString::fromUtf8(lines.at(i)).contains(QRegularExpression("^panel +result +text +time$")))
                header = i;
        QVERIFY2(header >= 0, r.out.right(2000).constData());
        for (int i = header + 1; i < lines.size(); ++i) {
            const QStringList cols = QString::fromUtf8(lines.at(i)).split(QRegularExpression(" {2,}"));
            if (cols.size() >= 3)
                ends[cols.at(0)] = cols.at(1) + '|' + cols.at(2);
        }
    }
    for (int i = 1; i <= kPanels; ++i) {
        const QString id = imei(i);
        const QString expected = others.value(id, usual).toString();
        QCOMPARE(ends.value(id), expected);
        if (json && !expected.startsWith("offline")) {
            QCOMPARE(phases.value(id).first(), QStringLiteral("start"));
            QVERIFY(phases.value(id).contains(command == QLatin1String("info") ? "info" : "step")
                    || expected.startsWith("failed"));
        }
        if (command != QLatin1String("project") || !expected.startsWith("succeeded"))
            continue;
        if (json)
            QVERIFY(phases.value(id).contains("progress"));
        for (const ProjectFile &f : kFiles)
            QCOMPARE(TestFiles::readFile(lab.stored(id, f.code)), content(f.code, f.size));
    }
    lab.stop();
}

void TestCli::interrupt()
{
    // Every reply a while late: the downloads are under way for seconds.
    RelayLab lab;
    QVERIFY2(lab.start(labPanels({}, {{"replyDelayMs", 60}})), qPrintable(lab.failure()));
    QProcess p;
    start(p, args("project", "fleet", true));
    // Ctrl-C once every panel is sending.
    QSet<QString> sending;
    QByteArray out;
    QDeadlineTimer deadline(30000);
    while (sending.size() < kPanels && !deadline.hasExpired() && p.state() == QProcess::Running) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput();
        for (const QByteArray &line : out.split('\n')) {
            const QJsonObject e = QJsonDocument::fromJson(line).object();
            if (e.value("phase").toString() == "progress" && e.value("bytes").toDouble() > 0)
                sending << e.value("panel").toString();
        }
    }
    QCOMPARE(sending.size(), kPanels);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(5000));
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(p.exitCode(), 1);
    out += p.readAllStandardOutput();
    int stopped = 0;
    for (const QByteArray &line : out.split('\n'))
        stopped += QJsonDocument::fromJson(line).object().value("phase").toString() == "stopped";
    QCOMPARE(stopped, kPanels);
    // The relay saw every session end: no connection of the run is left.
    QList<QJsonObject> ends;
    QDeadlineTimer relayDeadline(3000);
    do {
        QTest::qWait(50);
        ends = RelayLab::events(readEventLines(lab.relayEvents()), "session-end");
    } while (ends.size() < kPanels && !relayDeadline.hasExpired());
    QCOMPARE(ends.size(), kPanels);
    lab.stop();
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
