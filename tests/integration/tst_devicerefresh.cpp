#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "cloudsettings.h"
#include "labprocess.h"
#include "managerdevlist.h"
#include "messageboxcloser.h"
#include "testcerts.h"
#include "testfiles.h"

Q_DECLARE_METATYPE(QVector<DevInfo>)

// The device window's refresh against the lab's cloud service, over HTTP and HTTPS.
class TestDeviceRefresh : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void refresh_data();
    void refresh();
    void staleReplyAfterNewSignInIsDropped();

private:
    QListWidget *list() { return m_w->findChild<QListWidget *>("listWidget"); }
    QStringList rows();

    QTemporaryDir m_labDir;
    std::unique_ptr<LabProcess> m_lab;
    std::unique_ptr<LabProcess> m_tlsLab;   // a certificate of an authority nobody trusts
    QString m_events;                        // written by both
    std::unique_ptr<ManagerDevList> m_w;
};

namespace {
QJsonObject panel(const char *imei, const char *status)
{
    return QJsonObject{{"imei", QString::fromLatin1(imei)}, {"status", QString::fromUtf8(status)}};
}

QJsonObject account(const QString &name, const QJsonArray &panels, const QJsonObject &fault = QJsonObject())
{
    QJsonObject a{{"account", name}, {"password", "pw"}, {"panels", panels}};
    if (!fault.isEmpty())
        a.insert("faults", QJsonObject{{"getDeviceList", fault}});
    return a;
}

DevInfo dev(const char *imei, const char *status)
{
    DevInfo d;
    d.iMei = QString::fromLatin1(imei);
    d.status = QString::fromUtf8(status);
    return d;
}

// What the window shows before the refresh: two online rows and an offline one.
QVector<DevInfo> before()
{
    return {dev("111", "在线"), dev("222", "离线"), dev("333", "在线")};
}

} // namespace

void TestDeviceRefresh::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    qputenv("VANTELO_CLOUD_TIMEOUT_MS", "1500");
    QVERIFY(m_labDir.isValid());
    const QJsonArray panels{panel("860000000000101", "在线"), panel("860000000000901", "离线"),
                            panel("860000000000102", "在线"), panel("860000000000103", "在线")};
    const QJsonArray accounts{
        account("demo", panels),
        account("nocode", panels, {{"noCode", true}}),
        account("nodata", panels, {{"noData", true}}),
        account("strcode", panels, {{"codeAsString", "200"}}),
        account("html", panels, {{"body", "<html>oops</html>"}}),
        account("hang", panels, {{"hang", true}}),
        account("slow", panels, {{"delayMs", 600}}),
        account("huge", panels, {{"bodyBytes", 64.0 * 1024 * 1024}}),
        account("kept", QJsonArray{panel("555", "在线"), panel("444", "离线"), panel("111", "在线"),
                                   panel("333", "在线")}),
    };
    const QString config = m_labDir.filePath("lab.json");
    QVERIFY(TestFiles::writeJson(config, QJsonObject{{"cloud", QJsonObject{{"accounts", accounts}}}}));
    m_events = m_labDir.filePath("events.jsonl");
    m_lab.reset(new LabProcess("lab-cloud"));
    QVERIFY2(m_lab->start({"--config", config, "--port", "0", "--events", m_events}),
             qPrintable(m_lab->diagnostics()));
    TestCerts::Files certs;
    QString error;
    QVERIFY2(TestCerts::make(m_labDir.path(), &certs, &error), qPrintable(error));
    m_tlsLab.reset(new LabProcess("lab-cloud"));
    QVERIFY2(m_tlsLab->start({"--config", config, "--port", "0", "--events", m_events, "--tls-cert",
                              certs.server, "--tls-key", certs.serverKey}),
             qPrintable(m_tlsLab->diagnostics()));
}

void TestDeviceRefresh::cleanupTestCase()
{
    m_w.reset();
    m_lab.reset();
    m_tlsLab.reset();
}

void TestDeviceRefresh::init()
{
    CloudSettings::setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_lab->port()));
    m_w.reset(new ManagerDevList);
    m_w->show();
}

QStringList TestDeviceRefresh::rows()
{
    QStringList out;
    for (int i = 0; i < list()->count(); ++i)
        out << list()->item(i)->text();
    return out;
}

void TestDeviceRefresh::refresh_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("box");        // "title|text"; "..." at the end: text starts so; empty: no box
    QTest::addColumn<QStringList>("rows");   // shown after the refresh; empty: the rows stay as they were
    QTest::addColumn<int>("current");        // the selected row after an accepted refresh
    QTest::addColumn<bool>("tls");           // the service behind a certificate nobody trusts
    QTest::addColumn<int>("requests");       // requests the lab saw

    // The filter (在线) stays; so does the selected panel when the new list has it.
    const QStringList fresh{"860000000000101", "860000000000102", "860000000000103"};
    QTest::newRow("accepted") << "demo" << "pw" << "" << fresh << 0 << false << 1;
    QTest::newRow("accepted, selected panel kept") << "kept" << "pw" << "" << QStringList{"555", "111", "333"}
                                                   << 2 << false << 1;
    QTest::newRow("code 401") << "demo" << "bad" << QStringLiteral("提示|账号不存在或验证错误") << QStringList() << -1 << false << 1;
    QTest::newRow("code as a string") << "strcode" << "pw" << QStringLiteral("提示|账号不存在或验证错误")
                                      << QStringList() << -1 << false << 1;
    QTest::newRow("no code: silent") << "nocode" << "pw" << "" << QStringList() << -1 << false << 1;
    QTest::newRow("no data: silent") << "nodata" << "pw" << "" << QStringList() << -1 << false << 1;
    QTest::newRow("non-JSON body") << "html" << "pw" << QStringLiteral("提示|无法连接云服务") << QStringList() << -1 << false << 1;
    QTest::newRow("hanging service") << "hang" << "pw" << QStringLiteral("提示|无法连接云服务: 等待超时...")
                                     << QStringList() << -1 << false << 1;
    QTest::newRow("64 MiB body") << "huge" << "pw" << QStringLiteral("提示|云服务应答超过8 MiB,已停止接收")
                                 << QStringList() << -1 << false << 1;
    QTest::newRow("certificate refused") << "demo" << "pw" << QStringLiteral("提示|无法连接云服务: ...")
                                         << QStringList() << -1 << true << 0;
}

void TestDeviceRefresh::refresh()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QString, box);
    QFETCH(QStringList, rows);
    QFETCH(int, current);
    QFETCH(bool, tls);
    QFETCH(int, requests);

    if (tls)
        CloudSettings::setBaseUrl(QStringLiteral("https://127.0.0.1:%1").arg(m_tlsLab->port()));
    const int requestsBefore = linesWith(readEventLines(m_events), {{"event", "request"}}).size();
    m_w->setDevList(account, password, before());
    auto *mode = m_w->findChild<QComboBox *>("cbx_state");
    mode->setCurrentIndex(1);   // 在线: rows 111 and 333
    list()->setCurrentRow(1);
    const QStringList rowsBefore = this->rows();

    MessageBoxCloser closer;
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(m_w->findChild<QPushButton *>("pbtn_update"), Qt::LeftButton);
    QVERIFY2(clock.elapsed() < 4000, QByteArray::number(clock.elapsed()));

    if (box.isEmpty()) {
        QCOMPARE(closer.seen, QStringList());
    } else {
        QCOMPARE(closer.seen.size(), 1);
        QCOMPARE(closer.buttons, QList<int>{1});
        if (box.endsWith("..."))
            QVERIFY2(closer.seen.at(0).startsWith(box.chopped(3)), qPrintable(closer.seen.at(0)));
        else
            QCOMPARE(closer.seen.at(0), box);
    }

    if (!rows.isEmpty()) {
        QCOMPARE(mode->currentIndex(), 1);
        QCOMPARE(this->rows(), rows);
        QCOMPARE(m_w->shownDevices().size(), rows.size());
        QCOMPARE(m_w->allDevices().at(1).status, QStringLiteral("离线"));
        QCOMPARE(list()->currentRow(), current);
        QCOMPARE(m_w->findChild<QLabel *>("label_SIMEI")->text(), rows.at(current));
        QVERIFY(m_w->findChild<QPushButton *>("pbtn_updateFirm")->isEnabled());
        QCOMPARE(m_w->account(), account);
    } else {
        // Rows, shown devices and the selection stay in step and usable.
        QCOMPARE(mode->currentIndex(), 1);
        QCOMPARE(this->rows(), rowsBefore);
        QCOMPARE(m_w->shownDevices().size(), rowsBefore.size());
        QCOMPARE(list()->currentRow(), 1);
        // The update dialog opens for the panel of the kept row; it is closed at once.
        QString dialogImei;
        QTimer::singleShot(50, this, [&dialogImei] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                if (auto *label = w->findChild<QLabel *>("label_IMEI"))
                    dialogImei = label->text();
                w->close();
            }
        });
        QTest::mouseClick(m_w->findChild<QPushButton *>("pbtn_updateFirm"), Qt::LeftButton);
        QCOMPARE(m_w->currentImei(), QStringLiteral("333"));
        QCOMPARE(dialogImei, QStringLiteral("IMEI:333"));
    }

    // The query went out with the stored account and password (unless the certificate
    // was refused: then nothing went out).
    QTRY_COMPARE(linesWith(readEventLines(m_events), {{"event", "request"}}).size() - requestsBefore, requests);
    const QList<QJsonObject> seen = linesWith(readEventLines(m_events), {{"event", "request"}});
    if (requests > 0)
        QCOMPARE(seen.last().value("fields").toObject(), (QJsonObject{{"account", account}, {"password", password}}));
}

void TestDeviceRefresh::staleReplyAfterNewSignInIsDropped()
{
    m_w->setDevList("slow", "pw", before());
    const QVector<DevInfo> newer{dev("999", "在线")};
    // A new sign-in hands over while the refresh is still waiting.
    QTimer::singleShot(200, m_w.get(), [this, newer] { m_w->setDevList("other", "pw2", newer); });
    MessageBoxCloser closer;
    QTest::mouseClick(m_w->findChild<QPushButton *>("pbtn_update"), Qt::LeftButton);
    QVERIFY(closer.seen.isEmpty());
    QCOMPARE(m_w->account(), QStringLiteral("other"));
    QCOMPARE(rows(), QStringList{"999"});
    QCOMPARE(m_w->shownDevices(), newer);
}

QTEST_MAIN(TestDeviceRefresh)
#include "tst_devicerefresh.moc"
