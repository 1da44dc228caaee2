// The pass-through dialog: its form, its enabled states, the start request it sends
// and the delete button's messages. The worker runs for real: the ports it meets
// live in a private pair directory and the relay port is closed, so every start
// ends quickly at the port or at the connection.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLibrary>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "pairsweep.h"
#include "labprocess.h"
#include "penetration_setdlg.h"

namespace {
using PairFn = bool (*)(const char *, const char *);
} // namespace

class TestPenetrationDlg : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void formTexts_data();
    void formTexts();
    void lineSettingItems_data();
    void lineSettingItems();
    void portList();
    void initialState();
    void setImeiShowsIt();

    void startSendsDefaults_data();
    void startSendsDefaults();
    void failedStartStaysStartedUntilStop();
    void finishThrdReturnsToIdle();

    void deleteMessages_data();
    void deleteMessages();
    void deleteRemovesFreePair();
    void dismissStopsWorker_data();
    void dismissStopsWorker();

private:
    static int threadCount();
    bool createPair(int n);
    bool pairLinked(int n) const;
    void expectIdle(Penetration_setDlg &dlg);
    void expectStarted(Penetration_setDlg &dlg);
    template <typename T> T *child(QObject &o, const char *name);

    QTemporaryDir m_pairDir;
    QLibrary m_driver;
    int m_hardwareMaster = -1;
};

template <typename T> T *TestPenetrationDlg::child(QObject &o, const char *name)
{
    T *w = o.findChild<T *>(QLatin1String(name));
    if (!w)
        qWarning("missing widget %s", name);
    return w;
}

void TestPenetrationDlg::initTestCase()
{
    QVERIFY(m_pairDir.isValid());
    qputenv("VSPD_DIR", QFile::encodeName(m_pairDir.path()));
    // Nothing listens here: every start that gets past the port ends at once.
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(freeLoopbackPort()));
    qputenv("VANTELO_PASSTHROUGH_WAIT_MS", "800");

    m_driver.setFileName(LabProcess::programPath(QStringLiteral("libvspdctl.so")));
    QVERIFY2(m_driver.load(), qPrintable(m_driver.errorString()));

    // A port of some other hardware: COM3 is listed, PENT3 is not.
    m_hardwareMaster = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(m_hardwareMaster >= 0);
    QVERIFY(grantpt(m_hardwareMaster) == 0 && unlockpt(m_hardwareMaster) == 0);
    QVERIFY(QFile::link(QString::fromLocal8Bit(ptsname(m_hardwareMaster)),
                        QDir(m_pairDir.path()).filePath(QStringLiteral("COM3"))));
}

void TestPenetrationDlg::cleanupTestCase()
{
    sweepPairs(m_pairDir.path(), m_driver.fileName());
    if (m_hardwareMaster >= 0)
        ::close(m_hardwareMaster);
}

bool TestPenetrationDlg::createPair(int n)
{
    auto create = reinterpret_cast<PairFn>(m_driver.resolve("CreatePair"));
    if (!create)
        return false;
    return create(QStringLiteral("COM%1").arg(n).toLocal8Bit().constData(),
                  QStringLiteral("PENT%1").arg(n).toLocal8Bit().constData());
}

bool TestPenetrationDlg::pairLinked(int n) const
{
    const QDir dir(m_pairDir.path());
    return QFileInfo(dir.filePath(QStringLiteral("COM%1").arg(n))).isSymLink()
        || QFileInfo(dir.filePath(QStringLiteral("PENT%1").arg(n))).isSymLink();
}

void TestPenetrationDlg::expectIdle(Penetration_setDlg &dlg)
{
    QVERIFY(child<QGroupBox>(dlg, "groupBox_portSet")->isEnabled());
    QVERIFY(child<QPushButton>(dlg, "btn_openNetUsbPenetrate")->isEnabled());
    QVERIFY(child<QComboBox>(dlg, "comboBox_addPort1")->isEnabled());
    QVERIFY(!child<QPushButton>(dlg, "btn_closeNetUsbPenetrate")->isEnabled());
    QVERIFY(child<QPushButton>(dlg, "pbtn_del")->isEnabled());
}

void TestPenetrationDlg::expectStarted(Penetration_setDlg &dlg)
{
    QVERIFY(!child<QGroupBox>(dlg, "groupBox_portSet")->isEnabled());
    QVERIFY(!child<QPushButton>(dlg, "btn_openNetUsbPenetrate")->isEnabled());
    QVERIFY(!child<QComboBox>(dlg, "comboBox_addPort1")->isEnabled());
    QVERIFY(child<QPushButton>(dlg, "btn_closeNetUsbPenetrate")->isEnabled());
    QVERIFY(!child<QPushButton>(dlg, "pbtn_del")->isEnabled());
}

void TestPenetrationDlg::formTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("groupBox_portSet") << "groupBox_portSet" << QStringLiteral("端口设置（ PLC程序通信参数）");
    QTest::newRow("label_Baudrate") << "label_Baudrate" << QStringLiteral("波特率：");
    QTest::newRow("label_DataBit") << "label_DataBit" << QStringLiteral("数据位：");
    QTest::newRow("label_CheckBit") << "label_CheckBit" << QStringLiteral("检验位：");
    QTest::newRow("label_StopBit") << "label_StopBit" << QStringLiteral("停止位：");
    QTest::newRow("label_networkInfo") << "label_networkInfo" << QStringLiteral("信息提示");
    QTest::newRow("btn_openNetUsbPenetrate") << "btn_openNetUsbPenetrate" << QStringLiteral("开启穿透");
    QTest::newRow("btn_closeNetUsbPenetrate") << "btn_closeNetUsbPenetrate" << QStringLiteral("关闭穿透");
    QTest::newRow("label_addPort1") << "label_addPort1" << QStringLiteral("PLC程序端口：");
    QTest::newRow("pbtn_del") << "pbtn_del" << QStringLiteral("删除当前虚拟串口");
    QTest::newRow("label_IMEI") << "label_IMEI" << QString();
}

void TestPenetrationDlg::formTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    Penetration_setDlg dlg;
    QObject *w = dlg.findChild<QObject *>(name);
    QVERIFY2(w, qPrintable(name));
    const QString shown = qobject_cast<QGroupBox *>(w) ? qobject_cast<QGroupBox *>(w)->title()
                                                       : w->property("text").toString();
    QCOMPARE(shown, text);
}

void TestPenetrationDlg::lineSettingItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("defaultIndex");
    QTest::newRow("baud rate") << "comboBox_Baudrate"
        << QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", "187500"}
        << QList<int>{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 187500} << 3;
    QTest::newRow("data bits") << "comboBox_DataBit" << QStringList{"7 Bits", "8 Bits"}
                               << QList<int>{7, 8} << 1;
    QTest::newRow("parity") << "comboBox_CheckBit" << QStringList{"NONE", "EVEN", "ODD"}
                            << QList<int>{0, 2, 3} << 1;
    QTest::newRow("stop bits") << "comboBox_StopBit" << QStringList{"1 Bit", "2 Bit"}
                               << QList<int>{1, 2} << 0;
}

void TestPenetrationDlg::lineSettingItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, values);
    QFETCH(int, defaultIndex);
    Penetration_setDlg dlg;
    auto *box = dlg.findChild<QComboBox *>(name);
    QVERIFY(box);
    QCOMPARE(box->count(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        QCOMPARE(box->itemText(i), texts.at(i));
        const QVariant data = box->itemData(i, Qt::UserRole);
        QCOMPARE(data.userType(), int(QMetaType::Int));
        QCOMPARE(data.toInt(), values.at(i));
    }
    QCOMPARE(box->currentIndex(), defaultIndex);
}

void TestPenetrationDlg::portList()
{
    Penetration_setDlg dlg;
    auto *box = child<QComboBox>(dlg, "comboBox_addPort1");
    QVERIFY(box);
    QCOMPARE(box->count(), 255);
    for (int i = 0; i < 255; ++i) {
        QCOMPARE(box->itemText(i), QStringLiteral("COM%1").arg(i + 1));
        QVERIFY(!box->itemData(i, Qt::UserRole).isValid());
    }
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(box->maxVisibleItems(), 20);
    // The full path of the chosen COM side follows the choice.
    auto *path = child<QLabel>(dlg, "label_comPath");
    QVERIFY2(path->text().endsWith(QStringLiteral("COM1")), qPrintable(path->text()));
    box->setCurrentIndex(4);
    QVERIFY2(path->text().endsWith(QStringLiteral("COM5")) && path->text().size() > 4, qPrintable(path->text()));
}

void TestPenetrationDlg::initialState()
{
    Penetration_setDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("穿透设置"));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QCOMPARE(dlg.size(), dlg.minimumSize());
    QVERIFY(child<QGroupBox>(dlg, "groupBox_portSet")->isHidden());
    auto *box = child<QDialogButtonBox>(dlg, "buttonBox");
    QVERIFY(box->isHidden());
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok);
    QCOMPARE(box->orientation(), Qt::Horizontal);
    QVERIFY(box->centerButtons());
    QVERIFY(child<QLabel>(dlg, "label_networkInfo")->alignment() & Qt::AlignHCenter);
    QVERIFY(child<QLabel>(dlg, "label_IMEI")->alignment() & Qt::AlignHCenter);
    expectIdle(dlg);
}

void TestPenetrationDlg::setImeiShowsIt()
{
    Penetration_setDlg dlg;
    dlg.setIMEI(QStringLiteral("123"));
    QCOMPARE(child<QLabel>(dlg, "label_IMEI")->text(), QStringLiteral("IMEI:123"));
    dlg.setIMEI(QStringLiteral("860000000000101"));
    QCOMPARE(child<QLabel>(dlg, "label_IMEI")->text(), QStringLiteral("IMEI:860000000000101"));
}

void TestPenetrationDlg::startSendsDefaults_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<int>("comIndex");
    QTest::newRow("COM3") << "860000000000101" << 2;
    QTest::newRow("COM1, no IMEI yet") << "" << 0;
}

void TestPenetrationDlg::startSendsDefaults()
{
    QFETCH(QString, imei);
    QFETCH(int, comIndex);
    Penetration_setDlg dlg;
    if (!imei.isEmpty())
        dlg.setIMEI(imei);
    dlg.show();
    child<QComboBox>(dlg, "comboBox_addPort1")->setCurrentIndex(comIndex);
    QSignalSpy spy(&dlg, &Penetration_setDlg::openNetComPenetrateSig);
    QTest::mouseClick(child<QPushButton>(dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    const QList<QVariant> args = spy.takeFirst();
    QCOMPARE(args.at(0).toString(), imei);
    QCOMPARE(args.at(1).toInt(), comIndex);
    QCOMPARE(args.at(2).toInt(), 9600);
    QCOMPARE(args.at(3).toInt(), 8);
    QCOMPARE(args.at(4).toInt(), 2);
    QCOMPARE(args.at(5).toInt(), 1);
    QCOMPARE(args.at(6).toInt(), 30000);
    expectStarted(dlg);
    // Let the worker reach its end before the window goes.
    auto *info = child<QLabel>(dlg, "label_networkInfo");
    QTRY_VERIFY_WITH_TIMEOUT(info->text() != QStringLiteral("信息提示"), 8000);
    dlg.close();
}

void TestPenetrationDlg::failedStartStaysStartedUntilStop()
{
    // COM3 belongs to other hardware: the worker refuses it and ends without
    // finishThrd, so the dialog stays started until the user stops.
    Penetration_setDlg dlg;
    dlg.setIMEI(QStringLiteral("860000000000101"));
    dlg.show();
    child<QComboBox>(dlg, "comboBox_addPort1")->setCurrentIndex(2);
    QTest::mouseClick(child<QPushButton>(dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    auto *info = child<QLabel>(dlg, "label_networkInfo");
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("COM3不是该软件创建的串口"), 5000);
    QTest::qWait(100);
    expectStarted(dlg);
    QVERIFY(!pairLinked(3) || QFileInfo(QDir(m_pairDir.path()).filePath("COM3")).exists());
    QVERIFY(!QFileInfo(QDir(m_pairDir.path()).filePath("PENT3")).exists());

    QTest::mouseClick(child<QPushButton>(dlg, "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    QCOMPARE(info->text(), QStringLiteral("穿透服务断开"));
    expectIdle(dlg);

    // The stop button is inert once idle.
    info->setText(QStringLiteral("x"));
    QTest::mouseClick(child<QPushButton>(dlg, "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    QCOMPARE(info->text(), QStringLiteral("x"));
}

void TestPenetrationDlg::finishThrdReturnsToIdle()
{
    Penetration_setDlg dlg;
    dlg.show();
    child<QComboBox>(dlg, "comboBox_addPort1")->setCurrentIndex(2);
    QTest::mouseClick(child<QPushButton>(dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    expectStarted(dlg);
    auto *info = child<QLabel>(dlg, "label_networkInfo");
    // The worker's own answer to the start comes first; the end signal follows it.
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("COM3不是该软件创建的串口"), 5000);
    QMetaObject::invokeMethod(&dlg, "finishThrd", Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("穿透服务断开"), 5000);
    expectIdle(dlg);
    // Starting again works after the thread was stopped.
    QTest::mouseClick(child<QPushButton>(dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    expectStarted(dlg);
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("COM3不是该软件创建的串口"), 5000);
}

void TestPenetrationDlg::deleteMessages_data()
{
    QTest::addColumn<int>("comIndex");
    QTest::addColumn<bool>("holdOpen");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such port") << 6 << false << QStringLiteral("COM7串口不存在");
    QTest::newRow("other hardware") << 2 << false << QStringLiteral("COM3不是该软件创建的串口");
    QTest::newRow("own pair in use")
        << 10 << true << QStringLiteral("COM11端口被占用，请先关闭串口或者该串口不是该软件所创建");
}

void TestPenetrationDlg::deleteMessages()
{
    QFETCH(int, comIndex);
    QFETCH(bool, holdOpen);
    QFETCH(QString, message);
    int fd = -1;
    if (holdOpen) {
        QVERIFY(createPair(comIndex + 1));
        const QByteArray path = QFile::encodeName(
            QDir(m_pairDir.path()).filePath(QStringLiteral("COM%1").arg(comIndex + 1)));
        fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
    }
    Penetration_setDlg dlg;
    dlg.show();
    child<QComboBox>(dlg, "comboBox_addPort1")->setCurrentIndex(comIndex);
    QTest::mouseClick(child<QPushButton>(dlg, "pbtn_del"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(dlg, "label_networkInfo")->text(), message);
    if (fd >= 0)
        ::close(fd);
    if (holdOpen)
        QVERIFY(pairLinked(comIndex + 1));
    // Other hardware is never touched.
    QVERIFY(QFileInfo(QDir(m_pairDir.path()).filePath(QStringLiteral("COM3"))).isSymLink());
}

void TestPenetrationDlg::deleteRemovesFreePair()
{
    QVERIFY(createPair(12));
    QVERIFY(pairLinked(12));
    Penetration_setDlg dlg;
    dlg.show();
    child<QComboBox>(dlg, "comboBox_addPort1")->setCurrentIndex(11);
    QTest::mouseClick(child<QPushButton>(dlg, "pbtn_del"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(dlg, "label_networkInfo")->text(), QString());
    QVERIFY(!pairLinked(12));
}

int TestPenetrationDlg::threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

void TestPenetrationDlg::dismissStopsWorker_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Escape") << 0;
    QTest::newRow("close") << 1;
    QTest::newRow("deleted without closing") << 2;
}

void TestPenetrationDlg::dismissStopsWorker()
{
    // A start that failed without finishThrd keeps the worker's thread running;
    // every way of leaving the dialog must end that thread, and quickly.
    QFETCH(int, how);
    const int before = threadCount();
    auto *dlg = new Penetration_setDlg;
    dlg->show();
    child<QComboBox>(*dlg, "comboBox_addPort1")->setCurrentIndex(2);
    QTest::mouseClick(child<QPushButton>(*dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(*dlg, "label_networkInfo")->text(),
                              QStringLiteral("COM3不是该软件创建的串口"), 5000);
    QCOMPARE(threadCount(), before + 1);

    QElapsedTimer clock;
    clock.start();
    if (how == 0) {
        int result = -1;
        QTimer::singleShot(50, dlg, [dlg] { QTest::keyClick(dlg, Qt::Key_Escape); });
        QTimer::singleShot(5000, dlg, [dlg] { dlg->hide(); }); // bound if Escape did nothing
        result = dlg->exec();
        QCOMPARE(result, int(QDialog::Rejected));
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before, 1000);
        delete dlg;
    } else if (how == 1) {
        QVERIFY(dlg->close());
        QVERIFY(!dlg->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before, 1000);
        delete dlg;
    } else {
        delete dlg;
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before, 1000);
    }
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestPenetrationDlg)
#include "tst_penetrationdlg.moc"
