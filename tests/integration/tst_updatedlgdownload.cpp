#include <QtTest>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include "downloadlab.h"
#include "firmwaremodeltable.h"
#include "messageboxcloser.h"
#include "testzip.h"
#include "updatefiledlg.h"

namespace {

// The dialog with its file choice answered by the test.
class ChosenFileDlg : public UpdateFileDlg
{
public:
    explicit ChosenFileDlg(QWidget *parent = nullptr) : UpdateFileDlg(parent) {}
    QString next;
    QString filter;   // of the last choice

protected:
    QString chooseFile(const QString &, const QString &, const QString &f) override
    {
        filter = f;
        return next;
    }
};

// Opens the dialog for the panel and waits until its details (a model 70 panel) are shown.
bool openWithDetails(ChosenFileDlg &dlg, const QString &imei)
{
    dlg.setDeviceInfo(imei, "demo", "demo123", 0);
    dlg.show();
    return QTest::qWaitFor(
        [&dlg] {
            return dlg.findChild<QLabel *>("label_panelInfo")->text().startsWith(QStringLiteral("型号 70"));
        },
        10000);
}

QByteArray bytes(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 13 + seed) & 0xff);
    return b;
}

bool writeProject(const QString &path)
{
    // Model 70, WIFI, module 2, version 0x0102, no drivers, no start-up screen.
    const QByteArray modelData = QByteArray::fromHex("4600" "02" "02" "0201" "00" "00" "00")
        + QByteArray(165, '\0');
    return TestZip::writeZip(path, {
        {"modelData.bin", modelData},      {"SysPara.dat", bytes(3000, 1)},
        {"ControlPara.dat", bytes(800, 2)}, {"SheetPara.dat", bytes(500, 3)},
        {"AlarmPara.dat", bytes(40, 4)},    {"SheetPixel.dat", bytes(9000, 5)},
    });
}

} // namespace

class TestUpdateDlgDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firmwareThenProject();
    void frameSizeTooSmall();
    void confirmations_data();
    void confirmations();
    void progressStopsOnFailure();
    void panelDetails_data();
    void panelDetails();

private:
    RelayLab m_lab;
    QTemporaryDir m_files;
    const QString m_imei = QStringLiteral("863000000000001");
    const QString m_slowImei = QStringLiteral("863000000000002");   // each reply 100 ms late
    const QString m_brokenImei = QStringLiteral("863000000000003");   // slow, gone after 8 frames
};

void TestUpdateDlgDownload::initTestCase()
{
    QVERIFY(m_files.isValid());
    QVERIFY2(m_lab.start({labPanel(m_imei, 70, 2, 2, 0x0102),
                          labPanel(m_slowImei, 70, 2, 2, 0x0102, QJsonObject{{"replyDelayMs", 100}}),
                          labPanel(m_brokenImei, 70, 2, 2, 0x0102, QJsonObject{{"replyDelayMs", 100}, {"disconnectAfterFrames", 8}})}),
             qPrintable(m_lab.failure()));
}

void TestUpdateDlgDownload::cleanupTestCase()
{
    m_lab.stop();
}

// The status labels show what the workers report, for both downloads.
void TestUpdateDlgDownload::firmwareThenProject()
{
    const QString firmware = m_files.filePath("PLN080K01_WIFI02.bin");
    const QByteArray image = bytes(12000, 9);
    QVERIFY(TestFiles::writeFile(firmware, image));
    const QString project = m_files.filePath("compile.zip");
    QVERIFY(writeProject(project));

    ChosenFileDlg dlg;
    dlg.setDeviceInfo(m_imei, "demo", "demo123", 0);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *run = dlg.findChild<QPushButton *>("pbtn_run");
    auto *firmLabel = dlg.findChild<QLabel *>("label_updateFirmR");
    auto *configLabel = dlg.findChild<QLabel *>("label_updateConfigR");
    auto *frame = dlg.findChild<QSpinBox *>("spx_Frame");
    QVERIFY(run && firmLabel && configLabel && frame);

    dlg.next = firmware;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_updateFirm"), Qt::LeftButton);
    auto *firmBox = dlg.findChild<QCheckBox *>("ckx_updateFirm");
    if (!firmBox->isChecked())
        QTest::mouseClick(firmBox, Qt::LeftButton);
    frame->setValue(4096);
    MessageBoxCloser boxes;
    auto *firmBar = dlg.findChild<QProgressBar *>("progress_updateFirm");
    auto *configBar = dlg.findChild<QProgressBar *>("progress_updateConfig");
    QList<int> firmValues, configValues;
    connect(firmBar, &QProgressBar::valueChanged, this, [&](int v) { firmValues << v; });
    connect(configBar, &QProgressBar::valueChanged, this, [&](int v) { configValues << v; });
    QTest::mouseClick(run, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(firmLabel->text(), QStringLiteral("写入底层成功"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(run->isEnabled(), 5000);
    // The bar went up to 100 %, never back; the rate stays beside it.
    QCOMPARE(firmBar->value(), firmBar->maximum());
    QCOMPARE(firmBar->text(), QStringLiteral("100%"));
    QVERIFY(std::is_sorted(firmValues.begin(), firmValues.end()));
    QVERIFY2(dlg.findChild<QLabel *>("label_rateFirm")->text().endsWith("/s"),
             qPrintable(dlg.findChild<QLabel *>("label_rateFirm")->text()));
    QCOMPARE(TestFiles::readFile(m_lab.stored(m_imei, 105)), image);

    dlg.next = project;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_updateConfig"), Qt::LeftButton);
    QTest::mouseClick(dlg.findChild<QCheckBox *>("ckx_updateConfig"), Qt::LeftButton);
    QVERIFY(!firmBox->isChecked());
    frame->setValue(1024);
    QTest::mouseClick(run, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(configLabel->text(), QStringLiteral("组态升级完成"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(run->isEnabled(), 5000);
    // Over all the project's files, file by file.
    QCOMPARE(configBar->value(), configBar->maximum());
    QVERIFY(std::is_sorted(configValues.begin() + 1, configValues.end()));   // after the reset to 0
    QVERIFY2(configBar->text().startsWith(QStringLiteral("文件 ")) && configBar->text().endsWith(" 100%"),
             qPrintable(configBar->text()));
    QCOMPARE(firmLabel->text(), QStringLiteral("写入底层成功"));
    QCOMPARE(TestFiles::readFile(m_lab.stored(m_imei, 10)), bytes(3000, 1));

    const QByteArray shots = qgetenv("VANTELO_SHOTS_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(shots));
        QVERIFY(dlg.grab().save(QString::fromLocal8Bit(shots) + "/updatefiledlg-downloads.png"));
    }
    dlg.close();
}

void TestUpdateDlgDownload::frameSizeTooSmall()
{
    const QString firmware = m_files.filePath("PLN080K01_WIFI02.bin");
    QVERIFY(TestFiles::writeFile(firmware, bytes(100, 1)));
    ChosenFileDlg dlg;
    dlg.setDeviceInfo(m_imei, "demo", "demo123", 0);
    dlg.next = firmware;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_updateFirm"), Qt::LeftButton);
    auto *firmBox = dlg.findChild<QCheckBox *>("ckx_updateFirm");
    if (!firmBox->isChecked())
        QTest::mouseClick(firmBox, Qt::LeftButton);
    // The box does not go below 9: the smallest frame the panel takes.
    auto *frame = dlg.findChild<QSpinBox *>("spx_Frame");
    frame->setValue(8);
    QCOMPARE(frame->value(), 9);
    MessageBoxCloser boxes;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_run"), Qt::LeftButton);
    auto *label = dlg.findChild<QLabel *>("label_updateFirmR");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("写入底层成功"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.findChild<QPushButton *>("pbtn_run")->isEnabled(), 5000);
    QCOMPARE(TestFiles::readFile(m_lab.stored(m_imei, 105)), bytes(100, 1));
}

void TestUpdateDlgDownload::panelDetails_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("details");   // "@NAMES@": the names that fit model 70, WIFI, module 2
    QTest::newRow("lab panel") << m_imei
                               << QStringLiteral("型号 70  通信 WIFI  模块 2  组态版本 0x0102\n适用底层: @NAMES@");
    QTest::newRow("no such panel") << QStringLiteral("863000000000999") << QStringLiteral("设备未应答,型号未知");
}

// The dialog reads the panel's details as it opens; the firmware choice and a refused
// image name what fits.
void TestUpdateDlgDownload::panelDetails()
{
    QFETCH(QString, imei);
    QFETCH(QString, details);
    const QStringList names = FirmwareModelTable::namesFor(70, 2, 2);
    details.replace("@NAMES@", names.join(", "));
    ChosenFileDlg dlg;
    dlg.setDeviceInfo(imei, "demo", "demo123", 0);
    dlg.show();
    auto *label = dlg.findChild<QLabel *>("label_panelInfo");
    QCOMPARE(label->text(), QStringLiteral("正在读取设备信息…"));
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), details, 20000);
    const QString shots = qEnvironmentVariable("VANTELO_SHOTS_DIR");
    if (!shots.isEmpty())
        dlg.grab().save(shots + "/updatefiledlg-details-" + QTest::currentDataTag() + ".png");
    QCOMPARE(dlg.firmwareNames(), imei == m_imei ? names : QStringList());

    const QString wrong = m_files.filePath("PLN050K01_WIFI02.bin");
    QVERIFY(TestFiles::writeFile(wrong, bytes(100, 7)));
    dlg.next = wrong;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_updateFirm"), Qt::LeftButton);
    if (imei != m_imei) {
        QCOMPARE(dlg.filter, QStringLiteral("bin (*.bin)"));
        return;
    }
    QCOMPARE(dlg.filter, QStringLiteral("适用于此设备的底层 (%1.bin);;bin (*.bin)").arg(names.join(".bin ")));
    MessageBoxCloser boxes;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_run"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.findChild<QLabel *>("label_updateFirmR")->text(),
                              QStringLiteral("底层与型号不匹配"), 10000);
    QTRY_VERIFY(dlg.findChild<QPushButton *>("pbtn_run")->isEnabled());
    QCOMPARE(dlg.findChild<QLabel *>("label_rateFirm")->text(),
             QStringLiteral("应为 %1.bin").arg(names.join(".bin / ")));
}

// The bar stops where the panel went away, with no time left shown.
void TestUpdateDlgDownload::progressStopsOnFailure()
{
    const QString firmware = m_files.filePath("PLN080K01_WIFI02.bin");
    QVERIFY(TestFiles::writeFile(firmware, bytes(12000, 5)));
    ChosenFileDlg dlg;
    QVERIFY(openWithDetails(dlg, m_brokenImei));
    dlg.next = firmware;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_updateFirm"), Qt::LeftButton);
    dlg.findChild<QSpinBox *>("spx_Frame")->setValue(512);
    MessageBoxCloser boxes;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_run"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.findChild<QPushButton *>("pbtn_run")->isEnabled(), 15000);
    QVERIFY(dlg.findChild<QLabel *>("label_updateFirmR")->text() != QStringLiteral("写入底层成功"));
    auto *bar = dlg.findChild<QProgressBar *>("progress_updateFirm");
    QVERIFY2(bar->value() > 0 && bar->value() < bar->maximum(), qPrintable(QString::number(bar->value())));
    QCOMPARE(dlg.findChild<QLabel *>("label_rateFirm")->text(), QString());
}

void TestUpdateDlgDownload::confirmations_data()
{
    QTest::addColumn<bool>("start");   // the download is agreed to
    QTest::newRow("download refused") << false;
    QTest::newRow("closing refused, then agreed") << true;
}

// Nothing reaches the panel unless the user agrees; closing during a download asks too.
void TestUpdateDlgDownload::confirmations()
{
    QFETCH(bool, start);
    const QString firmware = m_files.filePath("PLN080K01_WIFI02.bin");
    QVERIFY(TestFiles::writeFile(firmware, bytes(12000, 3)));
    ChosenFileDlg dlg;
    // The details are read first, over a link of their own.
    QVERIFY(openWithDetails(dlg, m_slowImei));
    const int relayLines = readEventLines(m_lab.relayEvents()).size();
    dlg.next = firmware;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_updateFirm"), Qt::LeftButton);
    dlg.findChild<QSpinBox *>("spx_Frame")->setValue(512);
    auto *label = dlg.findChild<QLabel *>("label_updateFirmR");

    MessageBoxCloser boxes;
    boxes.refuse = !start;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_run"), Qt::LeftButton);
    QCOMPARE(boxes.seen, QStringList{QStringLiteral("确认下载|向设备 %1 下载:\n底层: %2 (12000 字节)\n\n"
                                                    "下载期间请勿断电或关闭本窗口。确定开始吗?")
                                         .arg(m_slowImei, firmware)});
    QCOMPARE(boxes.standardButtons.at(0), QMessageBox::Ok | QMessageBox::Cancel);
    if (!start) {
        QTest::qWait(300);
        QCOMPARE(label->text(), QStringLiteral("未开始"));
        QVERIFY(dlg.findChild<QPushButton *>("pbtn_run")->isEnabled());
        QCOMPARE(readEventLines(m_lab.relayEvents()).size(), relayLines);   // never connected
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(label->text().startsWith(QStringLiteral("底层已写入")), 10000);
    boxes.refuse = true;
    QVERIFY(!dlg.close());
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.isRunning(0));
    boxes.refuse = false;
    QVERIFY(dlg.close());
    QCOMPARE(boxes.seen.size(), 3);
    QCOMPARE(boxes.seen.at(1), QStringLiteral("关闭|下载尚未结束。现在关闭将中断下载,设备可能处于升级了一半的状态。确定关闭吗?"));
    QCOMPARE(boxes.seen.at(2), boxes.seen.at(1));
    QVERIFY(!dlg.isRunning(0));
}

QTEST_MAIN(TestUpdateDlgDownload)
#include "tst_updatedlgdownload.moc"
