#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "cloudsettings.h"
#include "labprocess.h"
#include "managerdevlist.h"
#include "secretservicelab.h"
#include "testcerts.h"
#include "testfiles.h"
#include "vantelo.h"

// The sign-in window against the lab's cloud service over real HTTP and HTTPS on
// 127.0.0.1, with a Secret Service of the test's own as the keychain. Each account of
// the lab answers the device-list query in its own way.
class TestSignIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void outcome_data();
    void outcome();
    void handOverAndBack();
    void refusedSignInKeepsBoxes();
    void notRememberedStillHandsOverPassword();
    void secondClickRefusedDuringWait();
    void boxesChangedDuringWaitDoNotLeak();
    void enterSignsInShowingTheWait();
    void firstStartAsksForTheServer();
    void keychain_data();
    void keychain();

private:
    QList<QJsonObject> requestsOf(const QString &account);
    void type(Vantelo *w, const QString &account, const QString &password, bool remember);
    void clickLogin(Vantelo *w);
    QString state(Vantelo *w) { return w->findChild<QLabel *>(QStringLiteral("label_state"))->text(); }
    QStringList rows(ManagerDevList *d);

    std::unique_ptr<LabProcess> startLab(const QString &config, const QStringList &tls);
    QString keychainKey(const QString &account) const;

    SecretServiceLab m_secrets;
    TestCerts::Files m_certs;
    QTemporaryDir m_labDir;
    std::unique_ptr<LabProcess> m_lab;
    std::unique_ptr<LabProcess> m_tlsLab;     // certificate for 127.0.0.1 from the test's authority
    std::unique_ptr<LabProcess> m_otherLab;   // certificate for another host name, same authority
    QString m_events;                          // written by all three
    QString m_baseUrl;
    std::unique_ptr<QTemporaryDir> m_cwd;
    QString m_oldCwd;
};

namespace {
QJsonObject panel(const char *imei, const char *status)
{
    return QJsonObject{{"imei", QString::fromLatin1(imei)}, {"status", QString::fromUtf8(status)}};
}

QJsonObject account(const QString &name, const QString &password, const QJsonArray &panels,
                    const QJsonObject &deviceListFault = QJsonObject())
{
    QJsonObject a{{"account", name}, {"password", password}, {"panels", panels}};
    if (!deviceListFault.isEmpty())
        a.insert("faults", QJsonObject{{"getDeviceList", deviceListFault}});
    return a;
}

// With $VANTELO_SHOTS_DIR set, saves a picture of the window there (for a look by people).
void shot(QWidget *w, const char *name)
{
    const QString dir = qEnvironmentVariable("VANTELO_SHOTS_DIR");
    if (!dir.isEmpty())
        w->grab().save(QDir(dir).filePath(QLatin1String(name)));
}

const QJsonArray kPanels{panel("860000000000101", "在线"), panel("860000000000901", "离线"),
                         panel("860000000000102", "在线")};
} // namespace

void TestSignIn::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    qputenv("VANTELO_CLOUD_TIMEOUT_MS", "1500");
    // Before anything touches D-Bus.
    QString error;
    QVERIFY2(m_secrets.start(&error), qPrintable(error));
    QVERIFY(m_labDir.isValid());
    QVERIFY2(TestCerts::make(m_labDir.path(), &m_certs, &error), qPrintable(error));
    const QJsonArray accounts{
        account("demo", "demo123", kPanels),
        account(QStringLiteral("测试账号"), QStringLiteral("测试123"), QJsonArray{panel("860000000000110", "在线")}),
        account("empty", "pw", QJsonArray()),
        account("nodata", "pw", kPanels, QJsonObject{{"noData", true}}),
        account("dataobj", "pw", kPanels, QJsonObject{{"dataRaw", QJsonObject{{"deviceImei", "1"}}}}),
        account("strcode", "pw", kPanels, QJsonObject{{"codeAsString", "200"}}),
        account("nocode", "pw", kPanels, QJsonObject{{"noCode", true}}),
        account("code500", "pw", kPanels, QJsonObject{{"code", 500}, {"msg", "服务器错误"}}),
        account("html", "pw", kPanels, QJsonObject{{"body", "<html>502 Bad Gateway</html>"}}),
        account("emptybody", "pw", kPanels, QJsonObject{{"body", ""}}),
        account("hang", "pw", kPanels, QJsonObject{{"hang", true}}),
        account("slow", "pw", kPanels, QJsonObject{{"delayMs", 700}}),
        // Valid answers, were they read to the end: 1 GiB long, and without an end.
        account("huge", "pw", kPanels, QJsonObject{{"bodyBytes", double(1 << 30)}}),
        account("endless", "pw", kPanels, QJsonObject{{"endless", true}}),
        account("field", "field456", kPanels),
    };
    const QString config = m_labDir.filePath("lab.json");
    QVERIFY(TestFiles::writeJson(config, QJsonObject{{"cloud", QJsonObject{{"accounts", accounts}}}}));
    m_events = m_labDir.filePath("cloud-events.jsonl");
    m_lab = startLab(config, {});
    m_tlsLab = startLab(config, {"--tls-cert", m_certs.server, "--tls-key", m_certs.serverKey});
    m_otherLab = startLab(config, {"--tls-cert", m_certs.otherHost, "--tls-key", m_certs.otherHostKey});
    QVERIFY(m_lab && m_tlsLab && m_otherLab);
    QCOMPARE(m_tlsLab->readyInfo().value("scheme").toString(), QStringLiteral("https"));
    m_baseUrl = QStringLiteral("http://127.0.0.1:%1").arg(m_lab->port());
}

std::unique_ptr<LabProcess> TestSignIn::startLab(const QString &config, const QStringList &tls)
{
    std::unique_ptr<LabProcess> lab(new LabProcess(QStringLiteral("lab-cloud")));
    if (!lab->start(QStringList{"--config", config, "--port", "0", "--events", m_events, "--store",
                                m_labDir.filePath("store")}
                    + tls)) {
        qWarning() << "lab-cloud did not start" << lab->diagnostics();
        return nullptr;
    }
    return lab;
}

void TestSignIn::cleanupTestCase()
{
    m_lab.reset();
    m_tlsLab.reset();
    m_otherLab.reset();
}

void TestSignIn::init()
{
    m_oldCwd = QDir::currentPath();
    m_cwd.reset(new QTemporaryDir);
    QVERIFY(QDir::setCurrent(m_cwd->path()));
    QVERIFY(TestFiles::writeFile(QDir::current().filePath("User.ini"),
                                 "[Domain]\nname=" + m_baseUrl.toUtf8() + "\n"));
}

void TestSignIn::cleanup()
{
    QDir::setCurrent(m_oldCwd);
    m_cwd.reset();
}

QList<QJsonObject> TestSignIn::requestsOf(const QString &account)
{
    return linesWith(readEventLines(m_events), {{"event", "request"}, {"account", account}});
}

void TestSignIn::type(Vantelo *w, const QString &account, const QString &password, bool remember)
{
    w->findChild<QComboBox *>("cbx_user")->lineEdit()->setText(account);
    w->findChild<QLineEdit *>("lineEdit_passWord")->setText(password);
    w->findChild<QCheckBox *>("ckx_remember")->setChecked(remember);
}

void TestSignIn::clickLogin(Vantelo *w)
{
    QTest::mouseClick(w->findChild<QPushButton *>("pbt_login"), Qt::LeftButton);
}

QStringList TestSignIn::rows(ManagerDevList *d)
{
    auto *lw = d->findChild<QListWidget *>("listWidget");
    QStringList out;
    for (int i = 0; i < lw->count(); ++i)
        out << lw->item(i)->text();
    return out;
}

void TestSignIn::outcome_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("base");          // "lab", "tls", "other-host", "closed" or a literal base URL
    QTest::addColumn<QString>("domain");        // more of "User.ini" group "Domain"; "@CA@": the authority
    QTest::addColumn<bool>("handOver");
    QTest::addColumn<QString>("message");       // label_state; "...": starts with the text before it
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("requests");          // requests seen by the lab for the account

    const QString refused = QStringLiteral("账号不存在或验证错误");
    const QString noService = QStringLiteral("无法连接云服务");
    const QStringList labRows{"860000000000101", "860000000000901", "860000000000102"};
    QTest::newRow("accepted") << "demo" << "demo123" << "lab" << "" << true << "" << labRows << 1;
    QTest::newRow("accepted, chinese account")
        << QStringLiteral("测试账号") << QStringLiteral("测试123") << "lab" << "" << true << ""
        << QStringList{"860000000000110"} << 1;
    QTest::newRow("wrong password (401)") << "demo" << "demo12" << "lab" << "" << false << refused << QStringList() << 1;
    QTest::newRow("password not trimmed") << "demo" << "demo123 " << "lab" << "" << false << refused << QStringList() << 1;
    QTest::newRow("unknown account") << "nobody" << "x" << "lab" << "" << false << refused << QStringList() << 1;
    QTest::newRow("code as a string") << "strcode" << "pw" << "lab" << "" << false << refused << QStringList() << 1;
    QTest::newRow("no code") << "nocode" << "pw" << "lab" << "" << false << refused << QStringList() << 1;
    QTest::newRow("code 500") << "code500" << "pw" << "lab" << "" << false << refused << QStringList() << 1;
    QTest::newRow("code 200 without data") << "nodata" << "pw" << "lab" << "" << true << "" << QStringList() << 1;
    QTest::newRow("code 200, data not an array") << "dataobj" << "pw" << "lab" << "" << true << "" << QStringList() << 1;
    QTest::newRow("code 200, empty data") << "empty" << "pw" << "lab" << "" << true << "" << QStringList() << 1;
    QTest::newRow("non-JSON body") << "html" << "pw" << "lab" << "" << false << noService << QStringList() << 1;
    QTest::newRow("empty body") << "emptybody" << "pw" << "lab" << "" << false << noService << QStringList() << 1;
    QTest::newRow("hanging service") << "hang" << "pw" << "lab" << "" << false
                                     << noService + QStringLiteral(": 等待超时...") << QStringList() << 1;
    QTest::newRow("closed port") << "demo" << "demo123" << "closed" << "" << false
                                 << noService + QStringLiteral(": ...") << QStringList() << 0;
    QTest::newRow("no base URL") << "demo" << "demo123" << "" << "" << false
                                 << noService + QStringLiteral(": ...") << QStringList() << 0;

    // Replies read up to a bound, and no further.
    const QString tooLarge = QStringLiteral("云服务应答超过8 MiB,已停止接收");
    QTest::newRow("1 GiB body") << "huge" << "pw" << "lab" << "" << false << tooLarge << QStringList() << 1;
    QTest::newRow("endless body") << "endless" << "pw" << "lab" << "" << false << tooLarge << QStringList() << 1;

    // The service's certificate is checked: a refusal sends nothing.
    QTest::newRow("certificate of an unknown authority") << "demo" << "demo123" << "tls" << "" << false
                                                        << noService + QStringLiteral(": ...") << QStringList() << 0;
    QTest::newRow("private authority trusted") << "demo" << "demo123" << "tls" << "cafile=@CA@" << true << ""
                                               << labRows << 1;
    QTest::newRow("certificate for another host") << "demo" << "demo123" << "other-host" << "cafile=@CA@" << false
                                                  << noService + QStringLiteral(": ...") << QStringList() << 0;
    QTest::newRow("insecure accepts any certificate") << "demo" << "demo123" << "other-host" << "insecure=true"
                                                      << true << "" << labRows << 1;
    QTest::newRow("private authority unreadable") << "demo" << "demo123" << "tls" << "cafile=nowhere.pem" << false
                                                  << noService + QStringLiteral(": 无法读取证书文件 nowhere.pem")
                                                  << QStringList() << 0;
}

void TestSignIn::outcome()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QString, base);
    QFETCH(QString, domain);
    QFETCH(bool, handOver);
    QFETCH(QString, message);
    QFETCH(QStringList, rows);
    QFETCH(int, requests);

    if (base != "lab" || !domain.isEmpty()) {
        QString url = base;
        if (base == "lab")
            url = m_baseUrl;
        else if (base == "closed")
            url = QStringLiteral("http://127.0.0.1:%1").arg(freeLoopbackPort());
        else if (base == "tls")
            url = QStringLiteral("https://127.0.0.1:%1").arg(m_tlsLab->port());
        else if (base == "other-host")
            url = QStringLiteral("https://127.0.0.1:%1").arg(m_otherLab->port());
        domain.replace("@CA@", m_certs.authority);
        QVERIFY(TestFiles::writeFile(QDir::current().filePath("User.ini"),
                                     url.isEmpty() ? QByteArray()
                                                   : "[Domain]\nname=" + url.toUtf8() + "\n" + domain.toUtf8() + "\n"));
    }
    const int before = requestsOf(account).size();
    const int closedBefore = linesWith(readEventLines(m_events), {{"event", "closed"}}).size();

    Vantelo w;
    w.show();
    // The warning line shows exactly when certificates go unchecked.
    QCOMPARE(w.findChild<QLabel *>("label_insecure")->isVisible(), domain.contains("insecure=true"));
    type(&w, account, password, true);
    QElapsedTimer clock;
    clock.start();
    clickLogin(&w);
    QVERIFY2(clock.elapsed() < 4000, QByteArray::number(clock.elapsed()));   // every wait is bounded

    ManagerDevList *d = w.deviceWindow();
    QCOMPARE(w.isVisible(), !handOver);
    QCOMPARE(d->isVisible(), handOver);
    if (message.endsWith("...")) {
        const QString prefix = message.chopped(3);
        QVERIFY2(state(&w).startsWith(prefix) && state(&w).size() > prefix.size(), qPrintable(state(&w)));
    } else {
        QCOMPARE(state(&w), message);
    }
    QCOMPARE(w.findChild<QLabel *>("label_state")->palette().color(QPalette::WindowText), QColor(Qt::red));

    // The account is saved exactly when it was accepted.
    QSettings saved(QDir::current().filePath("User.ini"), QSettings::IniFormat);
    QCOMPARE(saved.value("CurUser/curname").toString(), handOver ? account : QString());
    QCOMPARE(w.savedAccounts().size(), handOver ? 1 : 0);
    if (handOver) {
        QCOMPARE(rows, this->rows(d));
        QCOMPARE(d->account(), account);
        QVERIFY(d->windowTitle().endsWith(QStringLiteral("用户: ") + account));
    }

    QTRY_COMPARE_WITH_TIMEOUT(requestsOf(account).size() - before, requests, 2000);
    // A body cut short: the service could send little beyond the bound before the
    // connection ended (a streamed body's end is waited for).
    if (message.contains(QLatin1String("MiB")))
        QTRY_VERIFY_WITH_TIMEOUT(linesWith(readEventLines(m_events), {{"event", "closed"}}).size() > closedBefore, 5000);
    const QList<QJsonObject> closed = linesWith(readEventLines(m_events), {{"event", "closed"}});
    for (int i = closedBefore; i < closed.size(); ++i)
        QVERIFY2(closed.at(i).value("sent").toDouble() < 32 * 1024 * 1024,
                 qPrintable(QString::number(closed.at(i).value("sent").toDouble())));
    if (requests > 0) {
        const QJsonObject req = requestsOf(account).last();
        QCOMPARE(req.value("method").toString(), QStringLiteral("POST"));
        QCOMPARE(req.value("path").toString(), QStringLiteral("/iot-gateway-mqtt/device/getDeviceList"));
        QCOMPARE(req.value("headers").toObject().value("Content-Type").toString(),
                 QStringLiteral("application/json"));
        QCOMPARE(req.value("fields").toObject(),
                 (QJsonObject{{"account", account}, {"password", password}}));
    }
}

void TestSignIn::handOverAndBack()
{
    QVERIFY(TestFiles::writeFile(QDir::current().filePath("User.ini"),
                                 "[Domain]\nname=" + m_baseUrl.toUtf8()
                                     + "\n[UserInfo]\n1\\user_name=first\n1\\password=p1\n"
                                       "1\\bremember=true\nsize=1\n"));
    Vantelo w;
    w.show();
    type(&w, "demo", "demo123", true);
    clickLogin(&w);
    ManagerDevList *d = w.deviceWindow();
    QVERIFY(!w.isVisible());
    QVERIFY(d->isVisible());
    QCOMPARE(d->findChild<QListWidget *>("listWidget")->count(), 3);
    if (qEnvironmentVariableIsSet("VANTELO_SHOTS_DIR")) {
        d->findChild<QListWidget *>("listWidget")->setCurrentRow(0);
        shot(d, "devices.png");
        d->findChild<QComboBox *>("cbx_state")->setCurrentIndex(3);
        shot(d, "devices-search.png");
        d->findChild<QComboBox *>("cbx_state")->setCurrentIndex(0);
    }

    QTest::mouseClick(d->findChild<QPushButton *>("tbtn_menue"), Qt::LeftButton);
    QVERIFY(w.isVisible());
    QVERIFY(!d->isVisible());
    // The boxes hold what the refill of the account list left: saved account 0.
    QCOMPARE(w.findChild<QComboBox *>("cbx_user")->lineEdit()->text(), QStringLiteral("first"));
    QCOMPARE(w.findChild<QLineEdit *>("lineEdit_passWord")->text(), QStringLiteral("p1"));
    QCOMPARE(w.findChild<QComboBox *>("cbx_user")->count(), 2);
    // The device window kept its rows.
    QCOMPARE(d->findChild<QListWidget *>("listWidget")->count(), 3);

    // A further sign-in hands a fresh list to the same window.
    type(&w, QStringLiteral("测试账号"), QStringLiteral("测试123"), false);
    clickLogin(&w);
    QVERIFY(d->isVisible());
    QCOMPARE(rows(d), QStringList{"860000000000110"});
    QCOMPARE(w.deviceWindow(), d);
}

void TestSignIn::refusedSignInKeepsBoxes()
{
    Vantelo w;
    w.show();
    type(&w, "demo", "demo123", true);
    clickLogin(&w);
    QTest::mouseClick(w.deviceWindow()->findChild<QPushButton *>("tbtn_menue"), Qt::LeftButton);
    QVERIFY(w.isVisible());

    type(&w, "demo", "wrong", false);
    clickLogin(&w);
    QVERIFY(w.isVisible());
    QCOMPARE(state(&w), QStringLiteral("账号不存在或验证错误"));
    shot(&w, "signin-refused.png");
    QCOMPARE(w.findChild<QComboBox *>("cbx_user")->lineEdit()->text(), QStringLiteral("demo"));
    QCOMPARE(w.findChild<QLineEdit *>("lineEdit_passWord")->text(), QStringLiteral("wrong"));
    QVERIFY(!w.findChild<QCheckBox *>("ckx_remember")->isChecked());
    // The earlier accepted password stays in the keychain.
    bool found = false;
    QCOMPARE(m_secrets.read("Vantelo", keychainKey("demo"), &found), QStringLiteral("demo123"));
}

void TestSignIn::notRememberedStillHandsOverPassword()
{
    Vantelo w;
    w.show();
    type(&w, "demo", "demo123", false);
    clickLogin(&w);
    ManagerDevList *d = w.deviceWindow();
    QVERIFY(d->isVisible());

    QSettings saved(QDir::current().filePath("User.ini"), QSettings::IniFormat);
    QCOMPARE(saved.value("UserInfo/1/user_name").toString(), QStringLiteral("demo"));
    QCOMPARE(saved.value("UserInfo/1/password").toString(), QString());
    QCOMPARE(saved.value("UserInfo/1/bremember").toBool(), false);

    // The device window signs its refresh with the password typed, not the stored one.
    const int before = requestsOf("demo").size();
    d->findChild<QComboBox *>("cbx_state")->setCurrentIndex(1);
    QTest::mouseClick(d->findChild<QPushButton *>("pbtn_update"), Qt::LeftButton);
    QCOMPARE(d->findChild<QComboBox *>("cbx_state")->currentIndex(), 1);   // the filter stays
    QTRY_COMPARE(requestsOf("demo").size(), before + 1);
    QCOMPARE(requestsOf("demo").last().value("fields").toObject().value("password").toString(),
             QStringLiteral("demo123"));
}

void TestSignIn::secondClickRefusedDuringWait()
{
    Vantelo w;
    w.show();
    type(&w, "slow", "pw", true);
    bool busy = false;
    QTimer::singleShot(250, &w, [&] {
        busy = w.isSigningIn();
        clickLogin(&w);   // refused while the first request is outstanding
    });
    clickLogin(&w);
    QVERIFY(busy);
    QVERIFY(w.deviceWindow()->isVisible());
    QCOMPARE(rows(w.deviceWindow()).size(), 3);
    QTest::qWait(1000);   // a second request would have arrived by now
    QCOMPARE(requestsOf("slow").size(), 1);
    QCOMPARE(w.savedAccounts().size(), 1);
}

void TestSignIn::boxesChangedDuringWaitDoNotLeak()
{
    Vantelo w;
    w.show();
    type(&w, "slow", "pw", true);
    QTimer::singleShot(250, &w, [&] { type(&w, "intruder", "x", false); });
    clickLogin(&w);
    // What was sent and accepted is what is saved and handed over.
    QSettings saved(QDir::current().filePath("User.ini"), QSettings::IniFormat);
    QCOMPARE(saved.value("CurUser/curname").toString(), QStringLiteral("slow"));
    QCOMPARE(saved.value("UserInfo/size").toInt(), 1);
    QCOMPARE(saved.value("UserInfo/1/user_name").toString(), QStringLiteral("slow"));
    QCOMPARE(saved.value("UserInfo/1/password").toString(), QString());
    QCOMPARE(w.deviceWindow()->account(), QStringLiteral("slow"));
    bool found = false;
    QTRY_COMPARE(m_secrets.read("Vantelo", keychainKey("slow"), &found), QStringLiteral("pw"));
    QCOMPARE(m_secrets.read("Vantelo", keychainKey("intruder"), &found), QString());
}

void TestSignIn::enterSignsInShowingTheWait()
{
    Vantelo w;
    w.show();
    auto *password = w.findChild<QLineEdit *>("lineEdit_passWord");
    auto *login = w.findChild<QPushButton *>("pbt_login");
    type(&w, "demo", "wrong", false);
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(state(&w), QStringLiteral("账号不存在或验证错误"));
    QCOMPARE(requestsOf("demo").size() > 0, true);

    const int before = requestsOf("slow").size();
    type(&w, "slow", "pw", false);
    QString during;
    bool enabledDuring = true;
    QTimer::singleShot(250, &w, [&] {
        during = state(&w);
        enabledDuring = login->isEnabled();
    });
    QTest::keyClick(w.findChild<QComboBox *>("cbx_user")->lineEdit(), Qt::Key_Return);
    QCOMPARE(during, QStringLiteral("正在登录…"));
    QVERIFY(!enabledDuring);
    QVERIFY(w.deviceWindow()->isVisible());
    QVERIFY(login->isEnabled());
    QCOMPARE(state(&w), QString());   // the earlier refusal is gone
    QCOMPARE(requestsOf("slow").size() - before, 1);
}

// No "User.ini": the sign-in asks for the service's address; what the dialog writes
// is a file the next sign-in works with.
void TestSignIn::firstStartAsksForTheServer()
{
    QVERIFY(QFile::remove(QDir::current().filePath("User.ini")));
    Vantelo w;
    w.show();
    type(&w, "demo", "demo123", false);
    clickLogin(&w);
    QCOMPARE(state(&w), QStringLiteral("无法连接云服务: 未设置服务器地址"));
    auto *dlg = w.findChild<QDialog *>("ServerSettingsDlg");
    QVERIFY(dlg && dlg->isVisible());
    shot(dlg, "server-settings.png");
    dlg->findChild<QLineEdit *>("ldt_baseUrl")->setText(m_baseUrl);
    dlg->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
    QTRY_VERIFY(!w.findChild<QDialog *>("ServerSettingsDlg"));
    QCOMPARE(state(&w), QString());

    QSettings saved(QDir::current().filePath("User.ini"), QSettings::IniFormat);
    QCOMPARE(saved.value("Domain/name").toString(), m_baseUrl);
    Vantelo next;
    next.show();
    type(&next, "demo", "demo123", false);
    clickLogin(&next);
    QVERIFY(next.deviceWindow()->isVisible());
}

QString TestSignIn::keychainKey(const QString &account) const
{
    return QStringLiteral("[\"%1\",\"%2\"]").arg(m_baseUrl, account);
}

void TestSignIn::keychain_data()
{
    QTest::addColumn<QByteArray>("ini");          // "User.ini" at start, after the [Domain] group
    QTest::addColumn<QString>("before");          // put into the keychain by an earlier sign-in
    QTest::addColumn<QString>("startPassword");   // the password box at start
    QTest::addColumn<bool>("remember");
    QTest::addColumn<QString>("stored");          // the keychain's entry for demo afterwards
    QTest::addColumn<QStringList>("others");      // "account=password" also in the keychain
    QTest::addColumn<bool>("noKeychain");

    QTest::newRow("remembered") << QByteArray() << "" << "" << true << "demo123" << QStringList() << false;
    QTest::newRow("older file moved to the keychain")
        << QByteArray("[CurUser]\ncurname=demo\n[UserInfo]\n1\\user_name=demo\n1\\password=demo123\n"
                      "1\\bremember=true\n2\\user_name=field\n2\\password=field456\n2\\bremember=true\nsize=2\n")
        << "" << "demo123" << true << "demo123" << QStringList{"field=field456"} << false;
    QTest::newRow("not remembered: nothing in the keychain either")
        << QByteArray() << "demo123" << "" << false << "" << QStringList() << false;
    // Last: the keychain does not come back.
    QTest::newRow("no keychain") << QByteArray() << "" << "" << true << "" << QStringList() << true;
}

// Remembered passwords live in the keychain, keyed by base URL and account, never in
// "User.ini"; the next start fills the password box from the keychain.
void TestSignIn::keychain()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, before);
    QFETCH(QString, startPassword);
    QFETCH(bool, remember);
    QFETCH(QString, stored);
    QFETCH(QStringList, others);
    QFETCH(bool, noKeychain);

    const QString file = QDir::current().filePath("User.ini");
    bool found = false;
    if (!before.isEmpty()) {
        Vantelo w;
        type(&w, "demo", before, true);
        clickLogin(&w);
        QTRY_COMPARE(m_secrets.read("Vantelo", keychainKey("demo"), &found), before);
    }
    if (noKeychain)
        m_secrets.stopKeyring();
    QVERIFY(TestFiles::writeFile(file, "[Domain]\nname=" + m_baseUrl.toUtf8() + "\n" + ini));

    {
        Vantelo w;
        w.show();
        auto *box = w.findChild<QLineEdit *>("lineEdit_passWord");
        QTRY_COMPARE(box->text(), startPassword);
        type(&w, "demo", "demo123", remember);
        clickLogin(&w);
        QVERIFY(w.deviceWindow()->isVisible());
        // Said on the sign-in window, which is hidden now and shows it on return.
        QTRY_COMPARE(!w.findChild<QLabel *>("label_keychain")->isHidden(), noKeychain);
    }

    // The file keeps its layout, with every password empty.
    const QByteArray raw = TestFiles::readFile(file);
    QVERIFY2(!raw.contains("demo123") && !raw.contains("field456"), raw.constData());
    QSettings saved(file, QSettings::IniFormat);
    QCOMPARE(saved.value("UserInfo/1/user_name").toString(), QStringLiteral("demo"));
    QVERIFY(saved.contains("UserInfo/1/password"));
    QCOMPARE(saved.value("UserInfo/1/bremember").toBool(), remember);

    QCOMPARE(m_secrets.read("Vantelo", keychainKey("demo"), &found), stored);
    QCOMPARE(found, !stored.isEmpty());
    for (const QString &other : others) {
        const QStringList pair = other.split('=');
        QCOMPARE(m_secrets.read("Vantelo", keychainKey(pair.at(0)), &found), pair.at(1));
        QCOMPARE(saved.value("UserInfo/2/password").toString(), QString());
    }

    // The next start fills the box from the keychain once it answers.
    Vantelo next;
    next.show();
    auto *box = next.findChild<QLineEdit *>("lineEdit_passWord");
    if (stored.isEmpty())
        QTest::qWait(300);
    QTRY_COMPARE(box->text(), stored);
    QCOMPARE(next.findChild<QLabel *>("label_keychain")->isVisible(), noKeychain && remember);
    if (!others.isEmpty()) {
        next.findChild<QComboBox *>("cbx_user")->setCurrentIndex(1);
        QTRY_COMPARE(box->text(), others.at(0).section('=', 1));
    }
}

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
