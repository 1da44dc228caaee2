#include <QtTest>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "downloadlab.h"
#include "testzip.h"
#include "updatefiledlg.h"

namespace {

// The dialog with its file choice answered by the test.
class ChosenFileDlg : public UpdateFileDlg
{
public:
    explicit ChosenFileDlg(QWidget *parent = nullptr) : UpdateFileDlg(parent) {}
    QString next;

protected:
    QString chooseFile(const QString &, const QString &, const QString &) override { return next; }
};

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

private:
    RelayLab m_lab;
    QTemporaryDir m_files;
    const QString m_imei = QStringLiteral("863000000000001");
};

void TestUpdateDlgDownload::initTestCase()
{
    QVERIFY(m_files.isValid());
    QVERIFY2(m_lab.start({labPanel(m_imei, 70, 2, 2, 0x0102)}), qPrintable(m_lab.failure()));
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
    QTest::mouseClick(run, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(firmLabel->text(), QStringLiteral("写入底层成功"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(run->isEnabled(), 5000);
    QCOMPARE(TestFiles::readFile(m_lab.stored(m_imei, 105)), image);

    dlg.next = project;
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_updateConfig"), Qt::LeftButton);
    QTest::mouseClick(dlg.findChild<QCheckBox *>("ckx_updateConfig"), Qt::LeftButton);
    QVERIFY(!firmBox->isChecked());
    frame->setValue(1024);
    QTest::mouseClick(run, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(configLabel->text(), QStringLiteral("组态升级完成"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(run->isEnabled(), 5000);
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
    dlg.findChild<QSpinBox *>("spx_Frame")->setValue(8);
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_run"), Qt::LeftButton);
    auto *label = dlg.findChild<QLabel *>("label_updateFirmR");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("帧大小必须大于8字节"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.findChild<QPushButton *>("pbtn_run")->isEnabled(), 5000);
}

QTEST_MAIN(TestUpdateDlgDownload)
#include "tst_updatedlgdownload.moc"
