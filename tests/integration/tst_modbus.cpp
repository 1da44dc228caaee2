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
#include "ptypair.h"
#include "relaylab.h"

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

    QTemporaryDir m_pairDir;
    PtyPair m_serialLine;
    LabProcess m_slave{QStringLiteral("modbus-rtu-slave")};
    RelayLab m_lab;
    QPointer<Penetration_setDlg> m_dlg;
    QString m_mbpoll;
};

void TestModbus::initTestCase()
{
    m_mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (m_mbpoll.isEmpty() || PtyPair::socat().isEmpty())
        QSKIP("mbpoll and socat are needed");
    QVERIFY(QFileInfo::exists(LabProcess::programPath(QStringLiteral("modbus-rtu-slave"))));
    QVERIFY(m_pairDir.isValid());
    qputenv("VSPD_DIR", QFile::encodeName(m_pairDir.path()));

    // The panel's serial line: two ptys joined by socat, the slave on one end.
    const QString slaveSide = m_lab.path("slave");
    const QString panelSide = m_lab.path("panelside");
    QVERIFY(m_serialLine.start(slaveSide, panelSide));
    QVERIFY2(m_slave.start(QStringList{slaveSide, "1", "9600", "E"} + kRegisters),
             qPrintable(m_slave.diagnostics()));

    QJsonObject panel = labPanel(kImei, 70, 2, 2, 258);
    panel.insert("serial", panelSide);
    QVERIFY2(m_lab.start({panel}), qPrintable(m_lab.failure()));

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
    m_lab.stop();
    m_slave.stop();
    m_serialLine.stop();
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
    const int before = m_lab.panelLineCount();
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
    const QList<QJsonObject> in = RelayLab::events(m_lab.panelLines(kImei, before), "passthrough-in");
    QCOMPARE(in.size(), 1);
    QCOMPARE(in.first().value("hex").toString(), requestHex);
}

QTEST_MAIN(TestModbus)
#include "tst_modbus.moc"
