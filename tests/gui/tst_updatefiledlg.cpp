#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "cloudsettings.h"
#include "messageboxcloser.h"
#include "testfiles.h"
#include "testzip.h"
#include "updatefiledlg.h"

namespace {

// The dialog with the file choice answered by the test instead of a file dialog.
class ScriptedDlg : public UpdateFileDlg
{
public:
    explicit ScriptedDlg(QWidget *parent = nullptr) : UpdateFileDlg(parent) {}

    struct Call
    {
        QString caption, dir, filter;
    };
    QStringList answers;
    QList<Call> calls;

protected:
    QString chooseFile(const QString &caption, const QString &dir, const QString &filter) override
    {
        calls.append({caption, dir, filter});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

// A cloud service that accepts connections and never answers.
class SilentService : public QTcpServer
{
public:
    SilentService()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                ++connections;
                s->setParent(this);
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }
    int connections = 0;
};

const char *const kButtons[] = {"pbtn_run", "pbtn_updateCloud", "pbtn_updateConfig", "pbtn_updateFirm"};

} // namespace

class TestUpdateFileDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void form();
    void widgets_data();
    void widgets();
    void widgetsDoNotOverlap();
    void preselect_data();
    void preselect();
    void checkBoxRules_data();
    void checkBoxRules();
    void validation_data();
    void validation();
    void pathsPersist();
    void emptyIniGivesEmptyPaths();
    void browse_data();
    void browse();
    void cancelledChoiceKeepsPath();
    void information_data();
    void information();
    void workerEndEnablesButtons();
    void projectAndCloudStartTogether();
    void finishWorkStopsOnlyItsThread();
    void keysDoNotCloseOrRun();
    void restartIsNotEndedByTheStoppedRun();
    void destroyWhileSyncWaits();
    void screenshot();

private:
    template <typename T>
    static T *child(QWidget *dlg, const char *name)
    {
        T *w = dlg->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qWarning() << "no widget" << name;
        return w;
    }
    static bool buttonsEnabled(QWidget *dlg, bool enabled);
    void setPaths(const QString &firm, const QString &config, const QString &cloud);

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCwd;
};

void TestUpdateFileDlg::init()
{
    m_oldCwd = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));   // FilePath.ini lies in the working directory
    qputenv("VANTELO_CLOUD_TIMEOUT_MS", "10000");
    CloudSettings::setBaseUrl(QString());
}

void TestUpdateFileDlg::cleanup()
{
    QDir::setCurrent(m_oldCwd);
    delete m_dir;
    m_dir = nullptr;
}

bool TestUpdateFileDlg::buttonsEnabled(QWidget *dlg, bool enabled)
{
    for (const char *name : kButtons)
        if (child<QPushButton>(dlg, name)->isEnabled() != enabled)
            return false;
    return true;
}

void TestUpdateFileDlg::setPaths(const QString &firm, const QString &config, const QString &cloud)
{
    QSettings s(QStringLiteral("FilePath.ini"), QSettings::IniFormat);
    s.setValue("FilePath/firmPath", firm);
    s.setValue("FilePath/ConfigPath", config);
    s.setValue("FilePath/CloudPath", cloud);
}

void TestUpdateFileDlg::form()
{
    UpdateFileDlg dlg(nullptr);
    QCOMPARE(dlg.objectName(), QString("UpdateFileDlg"));
    QCOMPARE(dlg.windowTitle(), QString("升级文件"));
    // Taller than before by the panel's details and a progress bar under each operation.
    QCOMPARE(dlg.size(), QSize(644, 680));
    QCOMPARE(dlg.minimumSize(), QSize(644, 680));
    QCOMPARE(dlg.maximumSize(), QSize(644, 680));
}

void TestUpdateFileDlg::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    auto row = [](const char *name, const char *cls, const char *prop, const QVariant &v) {
        QTest::addRow("%s.%s", name, prop) << name << cls << prop << v;
    };
    const struct { const char *key, *text; } rows[] = {
        {"Firm", "升级底层(bin)"}, {"Config", "升级组态\n(compile.zip)"}, {"Cloud", "同步云组态\n(target.zip)"}};
    for (const auto &r : rows) {
        const QByteArray k(r.key);
        row("ckx_update" + k, "QCheckBox", "text", QString(r.text));
        row("ckx_update" + k, "QCheckBox", "checked", false);
        row("ldt_update" + k, "QLineEdit", "readOnly", true);
        row("ldt_update" + k, "QLineEdit", "text", QString());
        row("pbtn_update" + k, "QPushButton", "text", QString("浏览"));
        row("label_update" + k + "R", "QLabel", "text", QString("未开始"));
        row("label_update" + k + "R", "QLabel", "alignment", int(Qt::AlignCenter));
    }
    row("label", "QLabel", "text",
        QString("同步云组态：文件名为target.zip,路径在上位程序安装目录cloudcompile文件夹\n\n"
                "升级组态：文件名为compile.zip,路径在上位程序安装根目录cloudcompile文件夹"));
    row("label", "QLabel", "wordWrap", true);
    row("label_IMEI", "QLabel", "text", QString());
    row("label_IMEI", "QLabel", "alignment", int(Qt::AlignCenter));
    row("label_IMEI", "QLabel", "textInteractionFlags", int(Qt::TextSelectableByMouse));
    row("label_2", "QLabel", "text", QString("字节/帧(升级底层和升级组态有效)"));
    row("spx_Frame", "QSpinBox", "minimum", 9);   // a frame of 8 or less is refused anyway
    row("spx_Frame", "QSpinBox", "maximum", 9000);
    row("spx_Frame", "QSpinBox", "value", 8192);
    row("checkBox_HZ", "QCheckBox", "text", QString("更新字库"));
    row("checkBox_HZ", "QCheckBox", "checked", false);
    row("ckx_useName", "QCheckBox", "text", QString("设备名称使用工程名"));
    row("ckx_useName", "QCheckBox", "checked", false);
    row("pbtn_run", "QPushButton", "text", QString("执行"));
}

void TestUpdateFileDlg::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    UpdateFileDlg dlg(nullptr);
    QWidget *w = dlg.findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QVERIFY(w->inherits(qPrintable(className)));
    const QVariant actual = w->property(qPrintable(property));
    QVERIFY(actual.isValid());
    if (value.type() == QVariant::Int)
        QCOMPARE(actual.toInt(), value.toInt());
    else
        QCOMPARE(actual, value);
}

void TestUpdateFileDlg::widgetsDoNotOverlap()
{
    UpdateFileDlg dlg(nullptr);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(child<QCheckBox>(&dlg, "ckx_useName")->isHidden());
    const QList<QWidget *> all = dlg.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QList<QWidget *> shown;
    for (QWidget *w : all)
        if (w->isVisible())
            shown << w;
    QCOMPARE(shown.size(), 25);   // with the panel's details, a progress bar and a rate line for each operation
    for (QWidget *w : shown) {
        QVERIFY2(dlg.rect().contains(w->geometry()), qPrintable(w->objectName()));
        QVERIFY2(w->sizeHint().height() <= w->height() || w->inherits("QLabel"),
                 qPrintable(w->objectName() + QString(" %1 > %2").arg(w->sizeHint().height()).arg(w->height())));
        for (QWidget *o : shown)
            if (o != w)
                QVERIFY2(!w->geometry().intersects(o->geometry()),
                         qPrintable(w->objectName() + " / " + o->objectName()));
    }
}

void TestUpdateFileDlg::preselect_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("firm");
    QTest::addColumn<bool>("config");
    QTest::addColumn<bool>("cloud");
    QTest::newRow("0 firmware") << 0 << true << false << false;
    QTest::newRow("1 project") << 1 << false << true << false;
    QTest::newRow("2 cloud") << 2 << false << false << true;
    QTest::newRow("3 as firmware") << 3 << true << false << false;
    QTest::newRow("-1 as firmware") << -1 << true << false << false;
}

void TestUpdateFileDlg::preselect()
{
    QFETCH(int, type);
    QFETCH(bool, firm);
    QFETCH(bool, config);
    QFETCH(bool, cloud);
    UpdateFileDlg dlg(nullptr);
    for (const char *n : {"ckx_updateFirm", "ckx_updateConfig", "ckx_updateCloud"})
        child<QCheckBox>(&dlg, n)->setChecked(true);
    dlg.setDeviceInfo("860000000000101", "demo", "demo123", type);
    QCOMPARE(child<QCheckBox>(&dlg, "ckx_updateFirm")->isChecked(), firm);
    QCOMPARE(child<QCheckBox>(&dlg, "ckx_updateConfig")->isChecked(), config);
    QCOMPARE(child<QCheckBox>(&dlg, "ckx_updateCloud")->isChecked(), cloud);
    QCOMPARE(child<QLabel>(&dlg, "label_IMEI")->text(), QString("IMEI:860000000000101"));
    QVERIFY(!dlg.isRunning(0) && !dlg.isRunning(1) && !dlg.isRunning(2));
}

void TestUpdateFileDlg::checkBoxRules_data()
{
    // States as "firm config cloud", e.g. "100".
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("click");
    QTest::addColumn<QString>("after");
    QTest::newRow("config excludes firmware") << "100" << "ckx_updateConfig" << "010";
    QTest::newRow("cloud excludes firmware") << "100" << "ckx_updateCloud" << "001";
    QTest::newRow("cloud beside config") << "010" << "ckx_updateCloud" << "011";
    QTest::newRow("config beside cloud") << "001" << "ckx_updateConfig" << "011";
    QTest::newRow("firmware excludes both") << "011" << "ckx_updateFirm" << "100";
    QTest::newRow("unchecking config changes nothing else") << "011" << "ckx_updateConfig" << "001";
    QTest::newRow("unchecking firmware changes nothing else") << "100" << "ckx_updateFirm" << "000";
}

void TestUpdateFileDlg::checkBoxRules()
{
    QFETCH(QString, before);
    QFETCH(QString, click);
    QFETCH(QString, after);
    UpdateFileDlg dlg(nullptr);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const char *names[] = {"ckx_updateFirm", "ckx_updateConfig", "ckx_updateCloud"};
    for (int i = 0; i < 3; ++i)
        child<QCheckBox>(&dlg, names[i])->setChecked(before[i] == '1');
    QCheckBox *box = dlg.findChild<QCheckBox *>(click);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QString state;
    for (const char *n : names)
        state += child<QCheckBox>(&dlg, n)->isChecked() ? '1' : '0';
    QCOMPARE(state, after);
}

void TestUpdateFileDlg::validation_data()
{
    // Checked boxes and stored paths as "firm config cloud".
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("paths");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("project without path") << "010" << "101" << "远程升级组态" << "路径不能空";
    QTest::newRow("project path looked at first") << "011" << "100" << "远程升级组态" << "路径不能空";
    QTest::newRow("cloud without path beside project") << "011" << "110" << "升级云组态" << "路径不能空";
    QTest::newRow("firmware without path") << "100" << "011" << "远程升级底层" << "路径不能空";
    QTest::newRow("unchecked paths do not count") << "001" << "101" << "" << "";
    QTest::newRow("nothing checked") << "000" << "111" << "升级文件" << "请选择要执行的操作";
}

void TestUpdateFileDlg::validation()
{
    QFETCH(QString, checked);
    QFETCH(QString, paths);
    QFETCH(QString, title);
    QFETCH(QString, text);
    // A cloud archive that does not exist ends that sync at once, without the network.
    const QString missing = m_dir->filePath("missing/target.zip");
    setPaths(paths[0] == '1' ? "/nowhere/a.bin" : "", paths[1] == '1' ? "/nowhere/compile.zip" : "",
             paths[2] == '1' ? missing : "");
    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo("86", "demo", "demo123", 0);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const char *names[] = {"ckx_updateFirm", "ckx_updateConfig", "ckx_updateCloud"};
    for (int i = 0; i < 3; ++i)
        child<QCheckBox>(&dlg, names[i])->setChecked(checked[i] == '1');

    // Texts the line edits show do not count, only the stored paths.
    child<QLineEdit>(&dlg, "ldt_updateConfig")->setText("/shown/compile.zip");

    MessageBoxCloser boxes;
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_run"), Qt::LeftButton);
    if (title.isEmpty()) {
        QVERIFY(boxes.seen.isEmpty());
        QTRY_COMPARE(child<QLabel>(&dlg, "label_updateCloudR")->text(), QString("文件打开异常"));
        QTRY_VERIFY(buttonsEnabled(&dlg, true));
        return;
    }
    QCOMPARE(boxes.seen, QStringList{title + '|' + text});
    QCOMPARE(boxes.icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
    QCOMPARE(boxes.standardButtons, QList<QMessageBox::StandardButtons>{QMessageBox::Ok});
    QVERIFY(buttonsEnabled(&dlg, true));
    QVERIFY(!dlg.isRunning(0) && !dlg.isRunning(1) && !dlg.isRunning(2));
    QTest::qWait(50);
    for (const char *l : {"label_updateFirmR", "label_updateConfigR", "label_updateCloudR"})
        QCOMPARE(child<QLabel>(&dlg, l)->text(), QString("未开始"));
}

void TestUpdateFileDlg::pathsPersist()
{
    {
        QSettings s("FilePath.ini", QSettings::IniFormat);
        s.setValue("FilePath/firmPath", "/fw/HMI7.bin");
    }
    {
        ScriptedDlg dlg;
        QCOMPARE(child<QLineEdit>(&dlg, "ldt_updateFirm")->text(), QString("/fw/HMI7.bin"));
        QCOMPARE(child<QLineEdit>(&dlg, "ldt_updateConfig")->text(), QString());
        dlg.answers << "/host/cloudcompile/compile.zip";
        QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_updateConfig"), Qt::LeftButton);
        dlg.close();
    }
    {
        QSettings s("FilePath.ini", QSettings::IniFormat);
        QCOMPARE(s.value("FilePath/firmPath").toString(), QString("/fw/HMI7.bin"));
        QCOMPARE(s.value("FilePath/ConfigPath").toString(), QString("/host/cloudcompile/compile.zip"));
        QVERIFY(!s.contains("FilePath/CloudPath"));   // an empty path is never written
    }
    {
        // Chosen in an earlier opening, not in this one: still there afterwards.
        ScriptedDlg dlg;
        QCOMPARE(child<QLineEdit>(&dlg, "ldt_updateConfig")->text(), QString("/host/cloudcompile/compile.zip"));
        dlg.answers << "/host/cloudcompile/target.zip";
        QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_updateCloud"), Qt::LeftButton);
        dlg.close();
    }
    QSettings s("FilePath.ini", QSettings::IniFormat);
    QCOMPARE(s.value("FilePath/firmPath").toString(), QString("/fw/HMI7.bin"));
    QCOMPARE(s.value("FilePath/ConfigPath").toString(), QString("/host/cloudcompile/compile.zip"));
    QCOMPARE(s.value("FilePath/CloudPath").toString(), QString("/host/cloudcompile/target.zip"));
}

void TestUpdateFileDlg::emptyIniGivesEmptyPaths()
{
    {
        QSettings s("FilePath.ini", QSettings::IniFormat);
        s.setValue("Other/key", "x");
    }
    UpdateFileDlg dlg(nullptr);
    for (const char *n : {"ldt_updateFirm", "ldt_updateConfig", "ldt_updateCloud"})
        QCOMPARE(child<QLineEdit>(&dlg, n)->text(), QString());
    dlg.close();
    QSettings s("FilePath.ini", QSettings::IniFormat);
    QCOMPARE(s.allKeys(), QStringList{"Other/key"});
}

void TestUpdateFileDlg::browse_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("lineEdit");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("iniKey");
    QTest::newRow("firmware") << "pbtn_updateFirm" << "ldt_updateFirm" << "选择底层文件" << "bin (*.bin)"
                              << "firmPath";
    QTest::newRow("cloud") << "pbtn_updateCloud" << "ldt_updateCloud" << "选择云组态文件"
                           << "zip (target.zip)" << "CloudPath";
    QTest::newRow("project") << "pbtn_updateConfig" << "ldt_updateConfig" << "选择组态文件"
                             << "zip (compile.zip)" << "ConfigPath";
}

void TestUpdateFileDlg::browse()
{
    QFETCH(QString, button);
    QFETCH(QString, lineEdit);
    QFETCH(QString, caption);
    QFETCH(QString, filter);
    QFETCH(QString, iniKey);
    setPaths("/fw/start.bin", "/cfg/compile.zip", "/cc/target.zip");
    ScriptedDlg dlg;
    dlg.answers << "/picked/file";
    QTest::mouseClick(dlg.findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(dlg.calls.size(), 1);
    QCOMPARE(dlg.calls[0].caption, caption);
    QCOMPARE(dlg.calls[0].filter, filter);
    QCOMPARE(dlg.calls[0].dir, QString("/fw/start.bin"));   // all three start at the firmware path
    QCOMPARE(dlg.findChild<QLineEdit *>(lineEdit)->text(), QString("/picked/file"));
    dlg.close();
    QSettings s("FilePath.ini", QSettings::IniFormat);
    QCOMPARE(s.value("FilePath/" + iniKey).toString(), QString("/picked/file"));
}

void TestUpdateFileDlg::cancelledChoiceKeepsPath()
{
    const QString missing = m_dir->filePath("gone/target.zip");
    setPaths("", "", missing);
    ScriptedDlg dlg;
    dlg.setDeviceInfo("86", "demo", "demo123", 2);
    dlg.answers << QString();   // cancelled
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_updateCloud"), Qt::LeftButton);
    QCOMPARE(dlg.calls.size(), 1);
    QCOMPARE(child<QLineEdit>(&dlg, "ldt_updateCloud")->text(), missing);

    // The kept path is the one used: no "路径不能空", the sync runs on it.
    MessageBoxCloser boxes;
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_run"), Qt::LeftButton);
    QVERIFY(boxes.seen.isEmpty());
    QTRY_COMPARE(child<QLabel>(&dlg, "label_updateCloudR")->text(), QString("文件打开异常"));
    dlg.close();
    QSettings s("FilePath.ini", QSettings::IniFormat);
    QCOMPARE(s.value("FilePath/CloudPath").toString(), missing);
}

void TestUpdateFileDlg::information_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("label");
    QTest::newRow("0") << 0 << "label_updateFirmR";
    QTest::newRow("1") << 1 << "label_updateConfigR";
    QTest::newRow("2") << 2 << "label_updateCloudR";
    QTest::newRow("3 ignored") << 3 << "";
    QTest::newRow("-1 ignored") << -1 << "";
}

void TestUpdateFileDlg::information()
{
    QFETCH(int, type);
    QFETCH(QString, label);
    UpdateFileDlg dlg(nullptr);
    const QString text = "云组态验证异常:x\n<b>y</b>";
    dlg.information(type, text);
    for (const char *l : {"label_updateFirmR", "label_updateConfigR", "label_updateCloudR"}) {
        QLabel *w = child<QLabel>(&dlg, l);
        QCOMPARE(w->text(), label == l ? text : QString("未开始"));
    }
}

void TestUpdateFileDlg::workerEndEnablesButtons()
{
    setPaths("", "", m_dir->filePath("missing.zip"));
    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo("86", "demo", "demo123", 2);
    dlg.show();
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_run"), Qt::LeftButton);
    QTRY_COMPARE(child<QLabel>(&dlg, "label_updateCloudR")->text(), QString("文件打开异常"));
    QTRY_VERIFY(buttonsEnabled(&dlg, true));
    QTRY_VERIFY(!dlg.isRunning(2));
}

void TestUpdateFileDlg::projectAndCloudStartTogether()
{
    const QString cloudPath = m_dir->filePath("missing/target.zip");
    setPaths("", "/cfg/compile.zip", cloudPath);
    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo("86", "demo", "demo123", 1);
    child<QCheckBox>(&dlg, "ckx_updateCloud")->setChecked(true);
    child<QSpinBox>(&dlg, "spx_Frame")->setValue(1024);
    child<QCheckBox>(&dlg, "checkBox_HZ")->setChecked(true);
    QStringList order;
    QList<QVariantList> configArgs, cloudArgs;
    connect(&dlg, &UpdateFileDlg::sendUpdateConfigTcp, this,
            [&](QString p, int v, bool hz, bool flag) { order << "config"; configArgs << QVariantList{p, v, hz, flag}; });
    connect(&dlg, &UpdateFileDlg::sendUpdateCloudFile, this,
            [&](QString p, bool useName) { order << "cloud"; cloudArgs << QVariantList{p, useName}; });
    connect(&dlg, &UpdateFileDlg::sendUpdateFirmFileTcp, this, [&] { order << "firm"; });
    dlg.show();
    MessageBoxCloser boxes;   // agrees to the download
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_run"), Qt::LeftButton);
    QCOMPARE(boxes.seen, QStringList{QStringLiteral("确认下载|向设备 86 下载:\n组态: /cfg/compile.zip (0 字节)\n\n"
                                                    "下载期间请勿断电或关闭本窗口。确定开始吗?")});
    QCOMPARE(order, (QStringList{"config", "cloud"}));
    QCOMPARE(configArgs[0], (QVariantList{"/cfg/compile.zip", 1024, true, false}));
    QCOMPARE(cloudArgs[0], (QVariantList{cloudPath, false}));
    QVERIFY(child<QLabel>(&dlg, "label_updateConfigR")->text() != QString("未开始"));
    QTRY_COMPARE(child<QLabel>(&dlg, "label_updateCloudR")->text(), QString("文件打开异常"));
    QTRY_VERIFY(!dlg.isRunning(1) && !dlg.isRunning(2));
    QTRY_VERIFY(buttonsEnabled(&dlg, true));
}

void TestUpdateFileDlg::finishWorkStopsOnlyItsThread()
{
    SilentService service;
    QVERIFY(service.isListening());
    CloudSettings::setBaseUrl(service.url());
    const QString archive = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(archive, TestZip::makeZip({{"page.bin", "page"}})));
    setPaths("", "", archive);
    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo("86", "demo", "demo123", 2);
    dlg.show();
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_run"), Qt::LeftButton);
    QVERIFY(buttonsEnabled(&dlg, false));
    QTRY_COMPARE(child<QLabel>(&dlg, "label_updateCloudR")->text(), QString("云组态验证"));
    QTRY_COMPARE(service.connections, 1);
    QVERIFY(dlg.isRunning(2));

    dlg.finishWork(7);   // a code of no operation: buttons only
    QVERIFY(buttonsEnabled(&dlg, true));
    QVERIFY(dlg.isRunning(2));
    dlg.finishWork(0);
    QVERIFY(dlg.isRunning(2));

    QElapsedTimer t;
    t.start();
    dlg.finishWork(2);
    QVERIFY(t.elapsed() < 2000);
    QVERIFY(!dlg.isRunning(2));
    QTest::qWait(200);
    QCOMPARE(child<QLabel>(&dlg, "label_updateCloudR")->text(), QString("云组态验证"));
    QVERIFY(buttonsEnabled(&dlg, true));
}

void TestUpdateFileDlg::keysDoNotCloseOrRun()
{
    setPaths("", "", m_dir->filePath("missing.zip"));
    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo("86", "demo", "demo123", 2);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    child<QPushButton>(&dlg, "pbtn_run")->setFocus();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(&dlg, Qt::Key_Return);
    QTest::keyClick(&dlg, Qt::Key_Enter);
    QTest::qWait(100);
    QVERIFY(dlg.isVisible());
    QCOMPARE(child<QLabel>(&dlg, "label_updateCloudR")->text(), QString("未开始"));
}

void TestUpdateFileDlg::restartIsNotEndedByTheStoppedRun()
{
    qputenv("VANTELO_CLOUD_TIMEOUT_MS", "1500");
    SilentService service;
    CloudSettings::setBaseUrl(service.url());
    const QString archive = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(archive, TestZip::makeZip({{"page.bin", "page"}})));
    setPaths("", "", archive);
    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo("86", "demo", "demo123", 2);
    dlg.show();
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_run"), Qt::LeftButton);
    QTRY_COMPARE(service.connections, 1);

    // Another operation's end enables the buttons; "执行" now restarts the waiting sync.
    dlg.finishWork(1);
    QLabel *label = child<QLabel>(&dlg, "label_updateCloudR");
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_run"), Qt::LeftButton);
    QVERIFY(buttonsEnabled(&dlg, false));
    QTRY_COMPARE(service.connections, 2);
    QVERIFY(dlg.isRunning(2));
    // The new run goes on to its own end: the bounded wait for the silent service.
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString("云组态验证异常:等待超时(1秒)"), 5000);
    QTRY_VERIFY(!dlg.isRunning(2));
    QVERIFY(buttonsEnabled(&dlg, true));
}

void TestUpdateFileDlg::destroyWhileSyncWaits()
{
    SilentService service;
    CloudSettings::setBaseUrl(service.url());
    const QString archive = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(archive, TestZip::makeZip({{"page.bin", "page"}})));
    setPaths("", "", archive);
    auto *dlg = new UpdateFileDlg(nullptr);
    dlg->setDeviceInfo("86", "demo", "demo123", 2);
    dlg->show();
    QTest::mouseClick(child<QPushButton>(dlg, "pbtn_run"), Qt::LeftButton);
    QTRY_COMPARE(service.connections, 1);
    QElapsedTimer t;
    t.start();
    delete dlg;   // a running thread destroyed would abort the process
    QVERIFY(t.elapsed() < 2000);
}

void TestUpdateFileDlg::screenshot()
{
    const QByteArray dir = qgetenv("VANTELO_SHOTS_DIR");
    if (dir.isEmpty())
        QSKIP("set VANTELO_SHOTS_DIR to save a picture of the dialog");
    setPaths("C:/Host/cloudcompile/HMI7.bin", "C:/Host/cloudcompile/compile.zip",
             "C:/Host/cloudcompile/target.zip");
    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo("860000000000101", "demo", "demo123", 1);
    child<QCheckBox>(&dlg, "ckx_updateCloud")->setChecked(true);
    dlg.information(1, "组态开始升级.");
    dlg.information(2, "云组态工程已经是最新");
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QDir().mkpath(QString::fromLocal8Bit(dir));
    QVERIFY(dlg.grab().save(QString::fromLocal8Bit(dir) + "/updatefiledlg.png"));
}

QTEST_MAIN(TestUpdateFileDlg)
#include "tst_updatefiledlg.moc"
