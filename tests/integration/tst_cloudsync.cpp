#include <QtTest>

#include <QCheckBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include "cloudsettings.h"
#include "downfileobj.h"
#include "labprocess.h"
#include "testcerts.h"
#include "testfiles.h"
#include "testzip.h"
#include "updatefiledlg.h"

namespace {

const char kImei[] = "860000000000101";
const char kAccount[] = "demo";
const char kPassword[] = "demo123";

using TestZip::Entry;

QString md5Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

// A project as the host software leaves it: a folder entry, files in it and beside it.
const QByteArray kPage = QByteArray("page-1\x00\x01\x02", 9);
const QByteArray kDriver = QByteArray(3000, 'd');
const QByteArray kClosingDelimiter = "\r\n--YourBoundaryString--\r\n";

// With boundaryInside, a page holds the upload's usual closing delimiter, stored
// uncompressed: the archive's bytes hold it too.
QByteArray projectZip(bool boundaryInside = false)
{
    const QByteArray page = boundaryInside ? kPage + kClosingDelimiter : kPage;
    return TestZip::makeZip({{"pages/", {}, 040755u << 16},
                             {"pages/page1.bin", page, 0100644u << 16},
                             {"driver.bin", kDriver, 0100644u << 16}},
                            boundaryInside ? 0 : -1);
}
const QString kProjectIdentity = md5Hex(kPage + kDriver);

// What one sync reported.
struct SyncRun
{
    QStringList texts;
    int finished = 0;
    qint64 elapsedMs = 0;
};

} // namespace

class TestCloudSync : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void uploadBindsProject_data();
    void uploadBindsProject();
    void replies_data();
    void replies();
    void brokenArchivesRefused_data();
    void brokenArchivesRefused();
    void hostileArchivesRefused_data();
    void hostileArchivesRefused();
    void missingArchive();
    void unreachableService_data();
    void unreachableService();
    void hangingService_data();
    void hangingService();
    void stopEndsWaitSilently();
    void dialogClosesPromptlyDuringSync();

private:
    bool startLab(const QJsonObject &faults = {}, const QJsonArray &bindings = {},
                  const QStringList &extraArgs = {});
    SyncRun sync(const QString &path, bool useName = false, const QString &account = kAccount,
                 const QString &password = kPassword, const QString &imei = kImei);
    QList<QJsonObject> requests() const;
    QString unpackDir() const { return QCoreApplication::applicationDirPath() + "/target"; }

    bool m_haveLab = false;
    QTemporaryDir *m_dir = nullptr;
    LabProcess *m_lab = nullptr;
    QString m_events;
    QString m_store;
    QString m_oldCwd;
};

void TestCloudSync::initTestCase()
{
    m_haveLab = QFileInfo(LabProcess::programPath("lab-cloud")).isExecutable();
}

void TestCloudSync::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_events = m_dir->filePath("events.jsonl");
    m_store = m_dir->filePath("store");
    m_oldCwd = QDir::currentPath();
    qputenv("VANTELO_CLOUD_TIMEOUT_MS", "10000");
    QDir(unpackDir()).removeRecursively();
}

void TestCloudSync::cleanup()
{
    delete m_lab;
    m_lab = nullptr;
    QDir::setCurrent(m_oldCwd);
    delete m_dir;
    m_dir = nullptr;
}

bool TestCloudSync::startLab(const QJsonObject &faults, const QJsonArray &bindings,
                             const QStringList &extraArgs)
{
    const QJsonObject panel{{"imei", kImei}, {"status", "在线"}};
    const QJsonObject other{{"account", "other"}, {"password", "pw"},
                            {"panels", QJsonArray{QJsonObject{{"imei", "860000000000999"}, {"status", "在线"}}}}};
    QJsonObject cloud{{"accounts", QJsonArray{QJsonObject{{"account", kAccount}, {"password", kPassword},
                                                           {"panels", QJsonArray{panel}}},
                                              other}},
                      {"bindings", bindings},
                      {"faults", faults}};
    const QString config = m_dir->filePath("lab.json");
    if (!TestFiles::writeJson(config, QJsonObject{{"cloud", cloud}}))
        return false;
    m_lab = new LabProcess("lab-cloud");
    if (!m_lab->start(QStringList{"--config", config, "--port", "0", "--events", m_events, "--store", m_store}
                      + extraArgs)) {
        qWarning() << "lab-cloud did not start" << m_lab->diagnostics();
        return false;
    }
    CloudSettings::setBaseUrl(QStringLiteral("%1://127.0.0.1:%2")
                                 .arg(m_lab->readyInfo().value("scheme").toString())
                                 .arg(m_lab->port()));
    return true;
}

SyncRun TestCloudSync::sync(const QString &path, bool useName, const QString &account,
                            const QString &password, const QString &imei)
{
    SyncRun run;
    QThread thread;
    auto *worker = new DownFileOBJ(imei, account, password, CloudSettings::endpoint());
    worker->moveToThread(&thread);
    connect(worker, &DownFileOBJ::information, this, [&run](int type, QString msg) {
        if (type != 2)
            run.texts << QStringLiteral("type %1: %2").arg(type).arg(msg);
        else
            run.texts << msg;
    });
    connect(worker, &DownFileOBJ::finishThrd, this, [&run](int op) {
        run.finished += op == 2 ? 1 : 100;
    });
    QElapsedTimer clock;
    clock.start();
    thread.start();
    QMetaObject::invokeMethod(worker, "updateCloudConf", Qt::QueuedConnection,
                              Q_ARG(QString, path), Q_ARG(bool, useName));
    QDeadlineTimer bound(15000);
    while (run.finished == 0 && !bound.hasExpired())
        QTest::qWait(10);
    run.elapsedMs = clock.elapsed();
    QTest::qWait(50);   // a second end signal would arrive here
    thread.quit();
    thread.wait();
    delete worker;
    return run;
}

QList<QJsonObject> TestCloudSync::requests() const
{
    return linesWith(readEventLines(m_events), {{"event", "request"}});
}

void TestCloudSync::uploadBindsProject_data()
{
    QTest::addColumn<bool>("useName");
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("boundaryInside");
    QTest::newRow("useName 0") << false << "cloudcompile/target.zip" << "target.zip" << false;
    QTest::newRow("useName 1") << true << "cloudcompile/target.zip" << "target.zip" << false;
    QTest::newRow("no slash: whole path is the name") << false << "cc\\target.zip" << "cc\\target.zip" << false;
    QTest::newRow("archive holding the boundary") << false << "target.zip" << "target.zip" << true;
}

void TestCloudSync::uploadBindsProject()
{
    QFETCH(bool, useName);
    QFETCH(QString, relativePath);
    QFETCH(QString, fileName);
    QFETCH(bool, boundaryInside);
    if (!m_haveLab)
        QSKIP("lab-cloud is not built");
    QVERIFY(startLab());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const QByteArray archive = projectZip(boundaryInside);
    QCOMPARE(archive.contains(kClosingDelimiter), boundaryInside);
    const QString identity = boundaryInside ? md5Hex(kPage + kClosingDelimiter + kDriver) : kProjectIdentity;
    QVERIFY(TestFiles::writeFile(m_dir->filePath(relativePath), archive));

    const SyncRun run = sync(relativePath, useName);
    QCOMPARE(run.texts, (QStringList{"云组态验证", "云组态开始更新", "组态工程上传成功且已重新绑定"}));
    QCOMPARE(run.finished, 1);

    const QList<QJsonObject> reqs = requests();
    QCOMPARE(reqs.size(), 2);
    QCOMPARE(reqs[0].value("path").toString(), QString("/iot-gateway-mqtt/project/checkUuidIsExist"));
    QCOMPARE(reqs[0].value("headers").toObject().value("Content-Type").toString(), QString("application/json"));
    QCOMPARE(reqs[0].value("fields").toObject(),
             (QJsonObject{{"uuid", identity}, {"gatewayId", kImei}, {"account", kAccount},
                          {"password", kPassword}, {"usePrjName", useName}, {"check", true}}));
    QCOMPARE(reqs[0].value("code").toInt(), 500);

    const QJsonObject up = reqs[1];
    QCOMPARE(up.value("path").toString(), QString("/iot-gateway-mqtt/project/uploadToObject"));
    // The usual boundary, or, when the archive holds it, one with a suffix that it
    // does not hold; the header names the one used.
    const QString boundary = up.value("boundary").toString();
    QCOMPARE(up.value("headers").toObject().value("Content-Type").toString(),
             "multipart/form-data; boundary=" + boundary);
    if (boundaryInside) {
        QVERIFY2(boundary.startsWith("YourBoundaryString") && boundary.size() == 34, qPrintable(boundary));
        QVERIFY(!archive.contains(boundary.toLatin1()));
    } else {
        QCOMPARE(boundary, QString("YourBoundaryString"));
    }
    QCOMPARE(up.value("fields").toObject(),
             (QJsonObject{{"uuid", identity}, {"usePrjName", useName ? "1" : "0"},
                          {"gatewayId", kImei}, {"account", kAccount}, {"password", kPassword}}));
    const QJsonObject file = up.value("file").toObject();
    QCOMPARE(file.value("name").toString(), fileName);
    QCOMPARE(file.value("contentType").toString(), QString("application/zip"));
    QCOMPARE(file.value("md5").toString(), md5Hex(archive));
    QCOMPARE(up.value("identity").toString(), identity);   // the lab's own reading
    QCOMPARE(up.value("code").toInt(), 200);
    const QString stored = m_store + "/" + kImei + "/" + fileName;
    QCOMPARE(file.value("stored").toString(), stored);
    QCOMPARE(TestFiles::readFile(stored), archive);

    // Unpacked beside the program, folder entries made as folders.
    QCOMPARE(TestFiles::readFile(unpackDir() + "/pages/page1.bin"),
             boundaryInside ? kPage + kClosingDelimiter : kPage);
    QCOMPARE(TestFiles::readFile(unpackDir() + "/driver.bin"), kDriver);

    // Now bound: the next sync finds it up to date and uploads nothing.
    const SyncRun again = sync(relativePath, useName);
    QCOMPARE(again.texts, (QStringList{"云组态验证", "云组态工程已经是最新"}));
    QCOMPARE(requests().size(), 3);
}

void TestCloudSync::replies_data()
{
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<bool>("bound");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("requestCount");

    const QString checkOp = "checkUuidIsExist";
    const QString uploadOp = "uploadToObject";
    QTest::newRow("already latest") << QJsonObject() << true << kPassword << kImei
                                    << QStringList{"云组态验证", "云组态工程已经是最新"} << 1;
    QTest::newRow("bad account") << QJsonObject() << false << "wrong" << kImei
                                 << QStringList{"云组态验证", "账号不存在或密码错误"} << 1;
    QTest::newRow("panel of another account") << QJsonObject() << false << kPassword << "860000000000999"
                                              << QStringList{"云组态验证", "云组态验证异常:设备不属于该账号"} << 1;
    QTest::newRow("check code as a string")
        << QJsonObject{{checkOp, QJsonObject{{"codeAsString", true}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态验证异常:需要上传"} << 1;
    QTest::newRow("string 200 is not up to date")
        << QJsonObject{{checkOp, QJsonObject{{"codeAsString", true}}}} << true << kPassword << kImei
        << QStringList{"云组态验证", "云组态验证异常:工程已存在"} << 1;
    QTest::newRow("check without msg")
        << QJsonObject{{checkOp, QJsonObject{{"code", 418}, {"omitMsg", true}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态验证异常:"} << 1;
    QTest::newRow("check other code")
        << QJsonObject{{checkOp, QJsonObject{{"code", 503}, {"msg", "维护中"}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态验证异常:维护中"} << 1;
    QTest::newRow("check not json")
        << QJsonObject{{checkOp, QJsonObject{{"body", "<html>gateway</html>"}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态验证异常:云服务应答无效"} << 1;
    QTest::newRow("check without code")
        << QJsonObject{{checkOp, QJsonObject{{"noCode", true}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态验证异常:云服务应答无效"} << 1;
    QTest::newRow("upload refused")
        << QJsonObject{{uploadOp, QJsonObject{{"code", 500}, {"msg", "存储已满"}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态开始更新", "云组态上传异常：存储已满"} << 2;
    QTest::newRow("upload without msg")
        << QJsonObject{{uploadOp, QJsonObject{{"code", 403}, {"omitMsg", true}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态开始更新", "云组态上传异常："} << 2;
    QTest::newRow("upload code as a string")
        << QJsonObject{{uploadOp, QJsonObject{{"codeAsString", true}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态开始更新", "云组态上传异常：上传成功"} << 2;
    QTest::newRow("upload not json")
        << QJsonObject{{uploadOp, QJsonObject{{"body", "busy"}}}} << false << kPassword << kImei
        << QStringList{"云组态验证", "云组态开始更新", "云组态上传异常：云服务应答无效"} << 2;
}

void TestCloudSync::replies()
{
    QFETCH(QJsonObject, faults);
    QFETCH(bool, bound);
    QFETCH(QString, password);
    QFETCH(QString, imei);
    QFETCH(QStringList, texts);
    QFETCH(int, requestCount);
    if (!m_haveLab)
        QSKIP("lab-cloud is not built");
    QJsonArray bindings;
    if (bound)
        bindings << QJsonObject{{"gatewayId", kImei}, {"uuid", kProjectIdentity}};
    QVERIFY(startLab(faults, bindings));
    const QString path = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(path, projectZip()));

    const SyncRun run = sync(path, false, kAccount, password, imei);
    QCOMPARE(run.texts, texts);
    QCOMPARE(run.finished, 1);
    QCOMPARE(requests().size(), requestCount);
}

void TestCloudSync::brokenArchivesRefused_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("text");
    const QString unreadable = "压缩文件无法解压,已停止";
    QTest::newRow("zip signature, no zip") << QByteArray("PK\x03\x04 not really a zip") << unreadable;
    QTest::newRow("not a zip") << QByteArray("hello") << unreadable;
    QTest::newRow("empty file") << QByteArray() << unreadable;
    QTest::newRow("truncated") << projectZip().left(projectZip().size() - 30) << unreadable;
    QTest::newRow("no entries") << TestZip::makeZip({}) << unreadable;
    QByteArray damaged = TestZip::makeZip({{"first.bin", "first"}, {"page.bin", "page contents"}}, 0);
    damaged.replace("page contents", "page c0ntents");
    QTest::newRow("entry failing its checksum") << damaged << unreadable;
    // A few MB declaring 3 x 2 GiB.
    QTest::newRow("declaring GiBs")
        << TestZip::declareSizes(TestZip::makeZip({{"a.bin", QByteArray(1 << 20, 'a')}, {"b.bin", QByteArray(1 << 20, 'b')},
                                                   {"c.bin", QByteArray(1 << 20, 'c')}}), 0x7fffffffu)
        << "压缩文件超出解压限制,已拒绝";
}

// An archive that does not unpack whole is refused before anything is sent: its
// identity would be that of what could be read, not of the project.
void TestCloudSync::brokenArchivesRefused()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, text);
    if (!m_haveLab)
        QSKIP("lab-cloud is not built");
    QVERIFY(startLab());
    const QString path = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(path, archive));
    const SyncRun run = sync(path);
    QCOMPARE(run.texts, QStringList{text});
    QCOMPARE(run.finished, 1);
    QCOMPARE(requests().size(), 0);
    QVERIFY(QDir(unpackDir()).isEmpty());   // nothing of it stays on disk
}

void TestCloudSync::hostileArchivesRefused_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("symlink");
    QTest::newRow("zip slip") << "../@NAME@" << false;
    QTest::newRow("zip slip backslash") << "..\\@NAME@" << false;
    QTest::newRow("absolute") << "@OUT@/@NAME@" << false;
    QTest::newRow("symlink") << "link" << true;
}

void TestCloudSync::hostileArchivesRefused()
{
    QFETCH(QString, entry);
    QFETCH(bool, symlink);
    if (!m_haveLab)
        QSKIP("lab-cloud is not built");
    QVERIFY(startLab());
    const QString out = m_dir->filePath("outside");
    QVERIFY(QDir().mkpath(out));
    const QString name = "escaped-" + QString::number(QCoreApplication::applicationPid()) + ".txt";
    entry.replace("@OUT@", out).replace("@NAME@", name);
    QList<Entry> entries{{"first.txt", "1"}};
    if (symlink)
        entries << Entry{entry, out.toUtf8(), 0120777u << 16} << Entry{"link/" + name, "x"};
    else
        entries << Entry{entry, "x"};
    const QString path = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(path, TestZip::makeZip(entries)));

    const SyncRun run = sync(path);
    QCOMPARE(run.texts, QStringList{"压缩文件包含不安全的路径,已拒绝"});
    QCOMPARE(run.finished, 1);
    QCOMPARE(requests().size(), 0);
    QVERIFY(!QFileInfo::exists(out + "/" + name));
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + "/" + name));
    QVERIFY(!QFileInfo::exists(unpackDir() + "/first.txt"));
    QVERIFY(!QFileInfo(unpackDir() + "/link").isSymLink());
}

void TestCloudSync::missingArchive()
{
    const SyncRun run = sync(m_dir->filePath("nowhere/target.zip"));
    QCOMPARE(run.texts, QStringList{"文件打开异常"});
    QCOMPARE(run.finished, 1);
}

void TestCloudSync::unreachableService_data()
{
    QTest::addColumn<bool>("tls");
    QTest::newRow("closed port") << false;
    // A service whose certificate nobody trusts is not reached either: nothing is sent.
    QTest::newRow("certificate refused") << true;
}

void TestCloudSync::unreachableService()
{
    QFETCH(bool, tls);
    CloudSettings::setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(freeLoopbackPort()));
    if (tls) {
        if (!m_haveLab)
            QSKIP("lab-cloud is not built");
        TestCerts::Files certs;
        QString error;
        QVERIFY2(TestCerts::make(m_dir->path(), &certs, &error), qPrintable(error));
        QVERIFY(startLab({}, {}, {"--tls-cert", certs.server, "--tls-key", certs.serverKey}));
        QVERIFY(CloudSettings::baseUrl().startsWith("https://"));
    }
    const QString path = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(path, projectZip()));
    const SyncRun run = sync(path);
    QCOMPARE(run.texts.size(), 2);
    QCOMPARE(run.texts[0], QString("云组态验证"));
    QVERIFY2(run.texts[1].startsWith("云组态验证异常:") && run.texts[1].size() > 8, qPrintable(run.texts[1]));
    QVERIFY(run.elapsedMs < 5000);
    QCOMPARE(run.finished, 1);
    if (tls)
        QCOMPARE(requests().size(), 0);
}

void TestCloudSync::hangingService_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("check") << "checkUuidIsExist" << QStringList{"云组态验证", "云组态验证异常:等待超时(1秒)"};
    QTest::newRow("upload") << "uploadToObject"
                            << QStringList{"云组态验证", "云组态开始更新", "云组态上传异常：等待超时(1秒)"};
}

void TestCloudSync::hangingService()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, texts);
    if (!m_haveLab)
        QSKIP("lab-cloud is not built");
    qputenv("VANTELO_CLOUD_TIMEOUT_MS", "1500");
    QVERIFY(startLab(QJsonObject{{operation, QJsonObject{{"hang", true}}}}));
    const QString path = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(path, projectZip()));
    const SyncRun run = sync(path);
    QCOMPARE(run.texts, texts);
    QCOMPARE(run.finished, 1);
    QVERIFY2(run.elapsedMs >= 1400 && run.elapsedMs < 6000, qPrintable(QString::number(run.elapsedMs)));
}

void TestCloudSync::stopEndsWaitSilently()
{
    if (!m_haveLab)
        QSKIP("lab-cloud is not built");
    QVERIFY(startLab(QJsonObject{{"checkUuidIsExist", QJsonObject{{"hang", true}}}}));
    const QString path = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(path, projectZip()));

    QThread thread;
    auto *worker = new DownFileOBJ(kImei, kAccount, kPassword, CloudSettings::endpoint());
    worker->moveToThread(&thread);
    QStringList texts;
    QList<int> ends;
    connect(worker, &DownFileOBJ::information, this, [&](int, QString msg) { texts << msg; });
    connect(worker, &DownFileOBJ::finishThrd, this, [&](int op) { ends << op; });
    thread.start();
    QMetaObject::invokeMethod(worker, "updateCloudConf", Qt::QueuedConnection,
                              Q_ARG(QString, path), Q_ARG(bool, false));
    waitForLinesWith(m_events, {{"event", "request"}}, 1, 10000);
    QTRY_COMPARE(texts, QStringList{"云组态验证"});

    QElapsedTimer clock;
    clock.start();
    worker->setStopFlag(true);
    thread.requestInterruption();
    thread.quit();
    QVERIFY(thread.wait(3000));
    QVERIFY(clock.elapsed() < 1000);
    QTRY_COMPARE(ends, QList<int>{2});
    QTest::qWait(100);
    QCOMPARE(texts, QStringList{"云组态验证"});
    QCOMPARE(ends, QList<int>{2});
    delete worker;
}

void TestCloudSync::dialogClosesPromptlyDuringSync()
{
    if (!m_haveLab)
        QSKIP("lab-cloud is not built");
    QVERIFY(startLab(QJsonObject{{"checkUuidIsExist", QJsonObject{{"hang", true}}}}));
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const QString path = m_dir->filePath("target.zip");
    QVERIFY(TestFiles::writeFile(path, projectZip()));
    QSettings("FilePath.ini", QSettings::IniFormat).setValue("FilePath/CloudPath", path);

    UpdateFileDlg dlg(nullptr);
    dlg.setDeviceInfo(kImei, kAccount, kPassword, 2);
    dlg.show();
    QTest::mouseClick(dlg.findChild<QPushButton *>("pbtn_run"), Qt::LeftButton);
    waitForLinesWith(m_events, {{"event", "request"}}, 1, 10000);
    QLabel *label = dlg.findChild<QLabel *>("label_updateCloudR");
    QTRY_COMPARE(label->text(), QString("云组态验证"));

    QElapsedTimer clock;
    clock.start();
    QVERIFY(dlg.close());
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!dlg.isRunning(2));
    // The chosen paths are kept in a file for the owner only.
    QCOMPARE(QFile::permissions("FilePath.ini") & 0x7077, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QTest::qWait(300);
    QCOMPARE(label->text(), QString("云组态验证"));
    // The lab saw the client leave.
    QVERIFY(!waitForLinesWith(m_events, {{"event", "closed"}}).isEmpty());
}

QTEST_MAIN(TestCloudSync)
#include "tst_cloudsync.moc"
