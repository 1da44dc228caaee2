// A real Modbus RTU master on COMn polls a Modbus RTU slave behind a panel, through
// the whole chain: COMn/PENTn pair, pass-through worker, lab-relay, lab-panel, a
// socat pty pair and the slave program.
//
//   mbpoll --COMn==PENTn-- worker --tcp-- lab-relay --tcp-- lab-panel --pty==pty-- slave
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QLibrary>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "labprocess.h"
#include "pairsweep.h"
#include "penetration_setdlg.h"
#include "testfiles.h"

namespace {
const QString kImei = QStringLiteral("860000000000401");
constexpr int kPort = 21; // COM21
const QStringList kRegisters{"1234", "5678", "42", "65535", "7", "0", "32768", "4660"};
} // namespace

class TestModbus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pollHoldingRegisters_data();
    void pollHoldingRegisters();

private:
    QString runMbpoll(const QStringList &args, int *exitCode);

    QTemporaryDir m_dir;
    QTemporaryDir m_pairDir;
    QProcess m_socat;
    LabProcess m_slave{QStringLiteral("modbus-rtu-slave")};
    LabProcess m_relay{QStringLiteral("lab-relay")};
    LabProcess m_panel{QStringLiteral("lab-panel")};
    QString m_panelEvents;
    QPointer<Penetration_setDlg> m_dlg;
    QString m_mbpoll;
};

void TestModbus::initTestCase()
{
    m_mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
    if (m_mbpoll.isEmpty() || socat.isEmpty())
        QSKIP("mbpoll and socat are needed");
    QVERIFY(QFileInfo::exists(LabProcess::programPath(QStringLiteral("modbus-rtu-slave"))));
    QVERIFY(m_dir.isValid() && m_pairDir.isValid());
    qputenv("VSPD_DIR", QFile::encodeName(m_pairDir.path()));

    // The panel's serial line: two ptys joined by socat, the slave on one end.
    const QString slaveSide = m_dir.filePath("slave");
    const QString panelSide = m_dir.filePath("panelside");
    m_socat.start(socat, {"pty,raw,echo=0,link=" + slaveSide, "pty,raw,echo=0,link=" + panelSide});
    QVERIFY(m_socat.waitForStarted(3000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(slaveSide) && QFileInfo::exists(panelSide), 3000);
    QVERIFY2(m_slave.start(QStringList{slaveSide, "1", "9600", "E"} + kRegisters),
             qPrintable(m_slave.diagnostics()));

    m_panelEvents = m_dir.filePath("panel.jsonl");
    const QJsonObject panel{{"imei", kImei}, {"model", 70}, {"comm", 2}, {"module", 2},
                            {"version", 258}, {"serial", panelSide}};
    const QJsonObject config{{"relay", QJsonObject{{"port", 0}}}, {"panels", QJsonArray{panel}}};
    const QString configPath = m_dir.filePath("lab.json");
    QVERIFY(TestFiles::writeJson(configPath, config));
    QVERIFY2(m_relay.start({"--config", configPath, "--port", "0", "--events", m_dir.filePath("relay.jsonl")}),
             qPrintable(m_relay.diagnostics()));
    QVERIFY2(m_panel.start({"--config", configPath, "--relay-port", QString::number(m_relay.port()),
                            "--out", m_dir.filePath("out"), "--events", m_panelEvents}),
             qPrintable(m_panel.diagnostics()));
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(m_relay.port()));

    // The pass-through, started from the dialog with its defaults (9600 8E1).
    m_dlg = new Penetration_setDlg;
    m_dlg->setIMEI(kImei);
    m_dlg->show();
    m_dlg->findChild<QComboBox *>("comboBox_addPort1")->setCurrentIndex(kPort - 1);
    QTest::mouseClick(m_dlg->findChild<QPushButton *>("btn_openNetUsbPenetrate"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_dlg->findChild<QLabel *>("label_networkInfo")->text(),
                              QStringLiteral("穿透服务打开成功"), 8000);
}

void TestModbus::cleanupTestCase()
{
    if (m_dlg) {
        m_dlg->close();
        delete m_dlg;
    }
    sweepPairs(m_pairDir.path(), LabProcess::programPath(QStringLiteral("libvspdctl.so")));
    m_panel.stop();
    m_relay.stop();
    m_slave.stop();
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.terminate();
        if (!m_socat.waitForFinished(3000))
            m_socat.kill();
    }
}

QString TestModbus::runMbpoll(const QStringList &args, int *exitCode)
{
    QProcess mb;
    mb.setProcessChannelMode(QProcess::MergedChannels);
    mb.start(m_mbpoll, args);
    if (!mb.waitForStarted(3000))
        return QString();
    QElapsedTimer clock;
    clock.start();
    while (mb.state() != QProcess::NotRunning && clock.elapsed() < 10000)
        if (!mb.waitForFinished(20))
            QCoreApplication::processEvents();
    if (mb.state() != QProcess::NotRunning) {
        mb.kill();
        mb.waitForFinished(1000);
    }
    *exitCode = mb.exitStatus() == QProcess::NormalExit ? mb.exitCode() : -1;
    return QString::fromLocal8Bit(mb.readAll());
}

void TestModbus::pollHoldingRegisters_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("requestHex");
    // The RTU request as it must reach the panel's serial side, CRC included.
    QTest::newRow("registers 1-4") << 1 << 4 << "010300000004" "4409";
    QTest::newRow("registers 3-8") << 3 << 6 << "010300020006" "6408";
    QTest::newRow("register 8") << 8 << 1 << "010300070001" "35cb";
}

void TestModbus::pollHoldingRegisters()
{
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(QString, requestHex);
    QVERIFY(m_dlg);
    const QString com = QDir(m_pairDir.path()).filePath(QStringLiteral("COM%1").arg(kPort));
    const int before = readEventLines(m_panelEvents).size();
    int rc = -1;
    const QString out = runMbpoll({"-m", "rtu", "-a", "1", "-b", "9600", "-P", "even", "-t", "4", "-r",
                                   QString::number(start), "-c", QString::number(count), "-1", "-o", "2", com},
                                  &rc);
    QVERIFY2(rc == 0, qPrintable(out));
    for (int i = 0; i < count; ++i) {
        const int ref = start + i;
        const QRegularExpression line(QStringLiteral("^\\[%1\\]:\\s+(\\d+)").arg(ref),
                                      QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = line.match(out);
        QVERIFY2(m.hasMatch(), qPrintable(out));
        QCOMPARE(m.captured(1), kRegisters.at(ref - 1));
    }
    // The request crossed the relay unchanged, as one frame.
    QList<QJsonObject> in;
    for (const QJsonObject &e : readEventLines(m_panelEvents).mid(before))
        if (e.value("event").toString() == QLatin1String("passthrough-in"))
            in << e;
    QCOMPARE(in.size(), 1);
    QCOMPARE(in.first().value("hex").toString(), requestHex);
}

QTEST_MAIN(TestModbus)
#include "tst_modbus.moc"
