#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "cloudsettings.h"
#include "cuslineedite.h"
#include "managerdevlist.h"
#include "language.h"
#include "testcerts.h"
#include "testfiles.h"
#include "usersettings.h"
#include "vantelo.h"

// Saved accounts in "User.ini", the account widgets and the checks made before anything
// is sent. Every test runs in a fresh working directory of its own.
class TestAccounts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void startup_data();
    void startup();
    void pickingAccountFillsSavedPassword();
    void save_data();
    void save();
    void nextStartFindsSignedInAccount();
    void chineseNamesAreEscaped();
    void fileIsReplacedAtomically();
    void refusedBeforeSending_data();
    void refusedBeforeSending();
    void rememberDisablesAutoLogin();
    void serverSettings_data();
    void serverSettings();
    void qtTexts_data();
    void qtTexts();
    void clearButtons();

private:
    std::unique_ptr<Vantelo> makeWindow();
    QStringList comboItems(Vantelo *w);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCwd;
};

namespace {
QString iniPath()
{
    return QDir::current().filePath(QStringLiteral("User.ini"));
}

QByteArray entry(int i, const char *name, const char *password, bool remember)
{
    return QByteArray::number(i) + "\\user_name=" + name + "\n" + QByteArray::number(i)
           + "\\password=" + password + "\n" + QByteArray::number(i) + "\\bremember="
           + (remember ? "true" : "false") + "\n" + QByteArray::number(i) + "\\useAutoLogin=false\n";
}

struct Saved
{
    QString sCurName;
    QString sBaseUrl;
    QVector<UserInfo> users;
};

// What a fresh reader finds in the file (independent of the window's own settings object).
Saved readBack()
{
    QSettings s(iniPath(), QSettings::IniFormat);
    Saved out;
    out.sCurName = s.value(QStringLiteral("CurUser/curname")).toString();
    out.sBaseUrl = s.value(QStringLiteral("Domain/name")).toString();
    const int n = s.beginReadArray(QStringLiteral("UserInfo"));
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        UserInfo u;
        u.sUserName = s.value(QStringLiteral("user_name")).toString();
        u.sPassword = s.value(QStringLiteral("password")).toString();
        u.bRemember = s.value(QStringLiteral("bremember")).toBool();
        u.bAutoLogin = s.value(QStringLiteral("useAutoLogin")).toBool();
        out.users.append(u);
    }
    s.endArray();
    return out;
}

UserInfo user(const QString &name, const QString &password, bool remember)
{
    UserInfo u;
    u.sUserName = name;
    u.sPassword = password;
    u.bRemember = remember;
    return u;
}
} // namespace

Q_DECLARE_METATYPE(QVector<UserInfo>)

void TestAccounts::init()
{
    m_oldCwd = QDir::currentPath();
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    CloudSettings::setBaseUrl(QString());
}

void TestAccounts::cleanup()
{
    QDir::setCurrent(m_oldCwd);
    m_dir.reset();
}

std::unique_ptr<Vantelo> TestAccounts::makeWindow()
{
    return std::unique_ptr<Vantelo>(new Vantelo);
}

QStringList TestAccounts::comboItems(Vantelo *w)
{
    auto *cbx = w->findChild<QComboBox *>(QStringLiteral("cbx_user"));
    QStringList items;
    for (int i = 0; i < cbx->count(); ++i)
        items << cbx->itemText(i);
    return items;
}

void TestAccounts::form()
{
    auto w = makeWindow();
    QCOMPARE(w->objectName(), QStringLiteral("Vantelo"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Vantelo"));
    QCOMPARE(w->size(), QSize(383, 205));
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));

    auto *cbx = w->findChild<QComboBox *>(QStringLiteral("cbx_user"));
    QVERIFY(cbx);
    QVERIFY(cbx->isEditable());
    QVERIFY(qobject_cast<CusLineEdite *>(cbx->lineEdit()));
    QCOMPARE(cbx->iconSize(), QSize(32, 32));
    QCOMPARE(cbx->styleSheet(), QStringLiteral("QComboBox QAbstractItemView::item {min-height: 25px;}"));
    QVERIFY(qobject_cast<QListView *>(cbx->view()));

    auto *pw = w->findChild<CusLineEdite *>(QStringLiteral("lineEdit_passWord"));
    QVERIFY(pw);
    QCOMPARE(pw->echoMode(), QLineEdit::Password);
    QCOMPARE(cbx->lineEdit()->font(), pw->font());

    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    for (const char *hidden : {"ckx_autoLogin", "pbtn_regist", "pbtn_forget"})
        QVERIFY2(!w->findChild<QWidget *>(QLatin1String(hidden))->isVisible(), hidden);
    QCOMPARE(w->findChild<QPushButton *>(QStringLiteral("pbt_login"))->text(), QStringLiteral("登录"));
    QCOMPARE(w->findChild<QCheckBox *>(QStringLiteral("ckx_remember"))->text(), QStringLiteral("记住密码"));
    auto *state = w->findChild<QLabel *>(QStringLiteral("label_state"));
    QVERIFY(state->text().isEmpty());
    QVERIFY(state->minimumHeight() >= 30);
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("label_user"))->font().pointSize(), 10);
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTRY_VERIFY(cbx->lineEdit()->hasFocus());   // the account editor, through the combo box
    QVERIFY(!w->deviceWindow()->isVisible());
}

void TestAccounts::startup_data()
{
    QTest::addColumn<QByteArray>("ini");        // empty: no file at all
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<QString>("baseUrl");
    QTest::addColumn<bool>("insecure");   // the warning line about the certificate shows

    QTest::newRow("no file") << QByteArray() << QStringList() << "" << "" << false << "" << false;
    QTest::newRow("current account remembered")
        << QByteArray("[Domain]\nname=http://127.0.0.1:9\n[CurUser]\ncurname=demo\n[UserInfo]\n"
                      + entry(1, "demo", "demo123", true) + "size=1\n")
        << QStringList{"demo"} << "demo" << "demo123" << true << "http://127.0.0.1:9" << false;
    QTest::newRow("current account not remembered")
        << QByteArray("[CurUser]\ncurname=demo\n[UserInfo]\n" + entry(1, "demo", "demo123", false)
                      + "size=1\n")
        << QStringList{"demo"} << "demo" << "" << false << "" << false;
    QTest::newRow("two entries, no current account")
        << QByteArray("[UserInfo]\n" + entry(1, "first", "p1", false) + entry(2, "second", "p2", true)
                      + "size=2\n")
        << QStringList{"first", "second"} << "first" << "p1" << false << "" << false;
    QTest::newRow("current account is the second")
        << QByteArray("[CurUser]\ncurname=second\n[UserInfo]\n" + entry(1, "first", "p1", false)
                      + entry(2, "second", "p2", true) + "size=2\n")
        << QStringList{"first", "second"} << "second" << "p2" << true << "" << false;
    QTest::newRow("current account unknown")
        << QByteArray("[CurUser]\ncurname=gone\n[UserInfo]\n" + entry(1, "first", "p1", true)
                      + "size=1\n")
        << QStringList{"first"} << "first" << "p1" << true << "" << false;
    QTest::newRow("current account matched case-sensitively")
        << QByteArray("[CurUser]\ncurname=Demo\n[UserInfo]\n" + entry(1, "x", "px", false)
                      + entry(2, "demo", "p2", true) + "size=2\n")
        << QStringList{"x", "demo"} << "x" << "px" << false << "" << false;
    QTest::newRow("escaped chinese name")
        << QByteArray("[CurUser]\ncurname=\\x6d4b\\x8bd5\n[UserInfo]\n"
                      + entry(1, "\\x6d4b\\x8bd5", "\\x5bc6", true) + "size=1\n")
        << QStringList{QStringLiteral("测试")} << QStringLiteral("测试") << QStringLiteral("密") << true << "" << false;
    QTest::newRow("empty name listed")
        << QByteArray("[UserInfo]\n" + entry(1, "", "", false) + entry(2, "b", "pb", true) + "size=2\n")
        << QStringList{"", "b"} << "" << "" << false << "" << false;
    QTest::newRow("size without entries")
        << QByteArray("[UserInfo]\nsize=2\n") << QStringList{"", ""} << "" << "" << false << "" << false;

    // A corrupt file: at most 1000 entries whatever "size" says; values of the wrong
    // type read as absent.
    QStringList bound;
    for (int i = 0; i < UserSettings::kMaxAccounts; ++i)
        bound << QString();
    QTest::newRow("size far beyond the bound")
        << QByteArray("[UserInfo]\nsize=2147483647\n") << bound << "" << "" << false << "" << false;
    QTest::newRow("negative size") << QByteArray("[UserInfo]\nsize=-3\n1\\user_name=a\n") << QStringList()
                                   << "" << "" << false << "" << false;
    QTest::newRow("wrong types read as absent")
        << QByteArray("[Domain]\nname=@Invalid()\n[CurUser]\ncurname=b\n[UserInfo]\n"
                      "1\\user_name=a, b\n1\\password=@ByteArray(pw)\n1\\bremember=maybe\n"
                      "2\\user_name=b\n2\\password=@Variant(\\0\\0\\0\\x1\\0\\x1)\n2\\bremember=TRUE\n"
                      "size=2\n")
        << QStringList{"", "b"} << "b" << "" << true << "" << false;
    QTest::newRow("private authority, certificates unchecked")
        << QByteArray("[Domain]\nname=https://cloud.test\ncafile=ca.pem\ninsecure=true\n")
        << QStringList() << "" << "" << false << "https://cloud.test" << true;
    QTest::newRow("insecure other than true")
        << QByteArray("[Domain]\nname=https://cloud.test\ninsecure=yes\n")
        << QStringList() << "" << "" << false << "https://cloud.test" << false;
}

void TestAccounts::startup()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, items);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(bool, remember);
    QFETCH(QString, baseUrl);
    QFETCH(bool, insecure);

    if (!ini.isEmpty())
        QVERIFY(TestFiles::writeFile(iniPath(), ini));
    CloudSettings::setBaseUrl(QStringLiteral("left over"));
    auto w = makeWindow();
    w->show();

    QCOMPARE(comboItems(w.get()), items);
    auto *cbx = w->findChild<QComboBox *>(QStringLiteral("cbx_user"));
    QCOMPARE(cbx->lineEdit()->text(), account);
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"))->text(), password);
    QCOMPARE(w->findChild<QCheckBox *>(QStringLiteral("ckx_remember"))->isChecked(), remember);
    QCOMPARE(CloudSettings::baseUrl(), baseUrl);
    QCOMPARE(CloudSettings::endpoint().insecure(), insecure);
    auto *warning = w->findChild<QLabel *>(QStringLiteral("label_insecure"));
    QCOMPARE(warning->isVisible(), insecure);
    QCOMPARE(warning->text(), QStringLiteral("未验证服务器证书"));
    QCOMPARE(w->savedAccounts().size(), items.size());
    // Reading alone never writes.
    QCOMPARE(QFile::exists(iniPath()), !ini.isEmpty());
}

void TestAccounts::pickingAccountFillsSavedPassword()
{
    QVERIFY(TestFiles::writeFile(iniPath(), "[CurUser]\ncurname=b\n[UserInfo]\n" + entry(1, "a", "pa", true)
                                                 + entry(2, "b", "pb", false) + "size=2\n"));
    auto w = makeWindow();
    auto *cbx = w->findChild<QComboBox *>(QStringLiteral("cbx_user"));
    auto *pw = w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"));
    auto *remember = w->findChild<QCheckBox *>(QStringLiteral("ckx_remember"));
    QCOMPARE(cbx->lineEdit()->text(), QStringLiteral("b"));
    QCOMPARE(pw->text(), QString());

    cbx->setCurrentIndex(0);   // already current: nothing changes
    QCOMPARE(pw->text(), QString());
    cbx->setCurrentIndex(1);
    QCOMPARE(cbx->lineEdit()->text(), QStringLiteral("b"));
    QCOMPARE(pw->text(), QStringLiteral("pb"));
    QVERIFY(!remember->isChecked());

    cbx->setCurrentIndex(0);
    QCOMPARE(pw->text(), QStringLiteral("pa"));
    QVERIFY(remember->isChecked());
    cbx->setCurrentIndex(1);
    QCOMPARE(cbx->lineEdit()->text(), QStringLiteral("b"));
    QCOMPARE(pw->text(), QStringLiteral("pb"));   // filled whatever the remember flag says
    QVERIFY(!remember->isChecked());
}

void TestAccounts::save_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<QVector<UserInfo>>("expected");   // in memory; the file holds no password

    const QByteArray two = "[Domain]\nname=https://cloud.test:8443\n[CurUser]\ncurname=b\n[UserInfo]\n"
                           + entry(1, "a", "pa", true) + entry(2, "b", "pb", true) + "size=2\n";
    QTest::newRow("first account, no file") << QByteArray() << "demo" << "demo123" << true
                                            << QVector<UserInfo>{user("demo", "demo123", true)};
    QTest::newRow("new account appended, others kept")
        << two << "c" << "pc" << true
        << QVector<UserInfo>{user("a", "pa", true), user("b", "pb", true), user("c", "pc", true)};
    QTest::newRow("known account updated in place")
        << two << "a" << "new" << true
        << QVector<UserInfo>{user("a", "new", true), user("b", "pb", true)};
    QTest::newRow("not remembered: no password written")
        << two << "b" << "secret" << false
        << QVector<UserInfo>{user("a", "pa", true), user("b", "", false)};
    QTest::newRow("new account not remembered")
        << two << "c" << "pc" << false
        << QVector<UserInfo>{user("a", "pa", true), user("b", "pb", true), user("c", "", false)};
    QTest::newRow("names differing in case are different accounts")
        << two << "A" << "pA" << true
        << QVector<UserInfo>{user("a", "pa", true), user("b", "pb", true), user("A", "pA", true)};
    QTest::newRow("not remembered, nothing in an older file")
        << QByteArray("[UserInfo]\n" + entry(1, "a", "", false) + "size=1\n") << "a" << "pa" << false
        << QVector<UserInfo>{user("a", "", false)};
    QTest::newRow("private authority and insecure kept")
        << QByteArray("[Domain]\nname=https://cloud.test\ncafile=/etc/ca.pem\ninsecure=true\n")
        << "c" << "pc" << true << QVector<UserInfo>{user("c", "pc", true)};
}

void TestAccounts::save()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(bool, remember);
    QFETCH(QVector<UserInfo>, expected);

    if (!ini.isEmpty())
        QVERIFY(TestFiles::writeFile(iniPath(), ini));
    auto w = makeWindow();
    const QString baseUrl = CloudSettings::baseUrl();
    auto *cbx = w->findChild<QComboBox *>(QStringLiteral("cbx_user"));
    cbx->lineEdit()->setText(account);
    w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"))->setText(password);
    w->findChild<QCheckBox *>(QStringLiteral("ckx_remember"))->setChecked(remember);

    w->show();
    w->saveUserInfo();

    const Saved saved = readBack();
    QCOMPARE(saved.sCurName, account);
    QCOMPARE(saved.sBaseUrl, baseUrl);
    QCOMPARE(saved.users.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(saved.users.at(i).sUserName, expected.at(i).sUserName);
        QCOMPARE(saved.users.at(i).sPassword, QString());   // passwords live in the keychain
        QCOMPARE(saved.users.at(i).bRemember, expected.at(i).bRemember);
        QCOMPARE(saved.users.at(i).bAutoLogin, false);
    }
    // How the service is reached stays as it was.
    QSettings domain(iniPath(), QSettings::IniFormat);
    QByteArray caFile;
    for (const QByteArray &line : ini.split('\n'))
        if (line.startsWith("cafile="))
            caFile = line.mid(7);
    QCOMPARE(domain.value(QStringLiteral("Domain/cafile")).toString(), QString::fromUtf8(caFile));
    QCOMPARE(domain.value(QStringLiteral("Domain/insecure")).toString(),
             ini.contains("insecure=true") ? QStringLiteral("true") : QString());
    QCOMPARE(QFile::permissions(iniPath()) & 0x7077, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // No keychain answers in this test: a password to be kept is not kept, and the
    // window says so (once, on its own line).
    auto *note = w->findChild<QLabel *>(QStringLiteral("label_keychain"));
    bool wanted = false;
    for (const UserInfo &u : expected)
        wanted = wanted || (u.bRemember && !u.sPassword.isEmpty());
    if (wanted)
        QTRY_VERIFY(note->isVisible());
    else
        QTest::qWait(100);
    QCOMPARE(note->isVisible(), wanted);
    QCOMPARE(note->text(), QStringLiteral("系统密钥环不可用,密码未保存"));
    // The window keeps what it wrote, and the combo box lists it with item 0 current.
    QCOMPARE(w->savedAccounts().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY(w->savedAccounts().at(i) == expected.at(i));
    QStringList names;
    for (const UserInfo &u : expected)
        names << u.sUserName;
    QCOMPARE(comboItems(w.get()), names);
    QCOMPARE(cbx->currentIndex(), 0);
    QCOMPARE(cbx->lineEdit()->text(), expected.at(0).sUserName);
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"))->text(),
             expected.at(0).sPassword);
    // A file with only INI groups of its own: nothing left from before.
    QSettings check(iniPath(), QSettings::IniFormat);
    QStringList groups = check.childGroups();
    groups.sort();
    QCOMPARE(groups, (QStringList{"CurUser", "Domain", "UserInfo"}));
}

void TestAccounts::nextStartFindsSignedInAccount()
{
    QVERIFY(TestFiles::writeFile(iniPath(), "[Domain]\nname=http://127.0.0.1:7\n[CurUser]\ncurname=a\n[UserInfo]\n"
                                                 + entry(1, "a", "pa", true) + "size=1\n"));
    {
        auto w = makeWindow();
        w->findChild<QComboBox *>(QStringLiteral("cbx_user"))->lineEdit()->setText(QStringLiteral("z"));
        w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"))->setText(QStringLiteral("pz"));
        w->findChild<QCheckBox *>(QStringLiteral("ckx_remember"))->setChecked(true);
        w->saveUserInfo();
    }
    CloudSettings::setBaseUrl(QString());
    auto w = makeWindow();
    QCOMPARE(comboItems(w.get()), (QStringList{"a", "z"}));
    QCOMPARE(w->findChild<QComboBox *>(QStringLiteral("cbx_user"))->lineEdit()->text(), QStringLiteral("z"));
    // The file holds no password and no keychain answers here: nothing to fill in.
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"))->text(), QString());
    QCOMPARE(CloudSettings::baseUrl(), QStringLiteral("http://127.0.0.1:7"));
}

void TestAccounts::chineseNamesAreEscaped()
{
    auto w = makeWindow();
    w->findChild<QComboBox *>(QStringLiteral("cbx_user"))->lineEdit()->setText(QStringLiteral("测试账号"));
    w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"))->setText(QStringLiteral("测试123"));
    w->findChild<QCheckBox *>(QStringLiteral("ckx_remember"))->setChecked(true);
    w->saveUserInfo();

    const QByteArray raw = TestFiles::readFile(iniPath());
    QVERIFY2(raw.contains("\\x6d4b\\x8bd5\\x8d26\\x53f7"), raw.constData());
    QVERIFY2(!raw.contains(QStringLiteral("测试").toUtf8()), raw.constData());
    for (char c : raw)
        QVERIFY(uchar(c) < 0x80);

    const Saved saved = readBack();
    QCOMPARE(saved.sCurName, QStringLiteral("测试账号"));
    QCOMPARE(saved.users.size(), 1);
    QCOMPARE(saved.users.at(0).sPassword, QString());
}

void TestAccounts::fileIsReplacedAtomically()
{
    std::unique_ptr<QSettings> settings = UserSettings::open();
    QVERIFY(settings->isAtomicSyncRequired());
    QCOMPARE(settings->format(), QSettings::IniFormat);
    QCOMPARE(QFileInfo(settings->fileName()).fileName(), QStringLiteral("User.ini"));
    QCOMPARE(QFileInfo(settings->fileName()).absolutePath(), QDir::current().absolutePath());

    UserSettings::Content c;
    c.sBaseUrl = QStringLiteral("http://x");
    c.sCurName = QStringLiteral("a");
    c.users = {user("a", "pa", true)};
    QVERIFY(UserSettings::write(*settings, c));
    settings.reset();

    QCOMPARE(QFile::permissions(QStringLiteral("User.ini")) & 0x7077,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // Only the file itself: no temporary copy and no lock file left behind.
    QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"User.ini"});
}

void TestAccounts::refusedBeforeSending_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("both empty") << "" << "" << QStringLiteral("账号不能为空");
    QTest::newRow("empty account") << "" << "pw" << QStringLiteral("账号不能为空");
    QTest::newRow("empty password") << "demo" << "" << QStringLiteral("密码不能为空");
}

void TestAccounts::refusedBeforeSending()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QString, message);

    // A listening service that counts connections: none may arrive.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QVERIFY(TestFiles::writeFile(iniPath(), QByteArray("[Domain]\nname=http://127.0.0.1:")
                                                 + QByteArray::number(server.serverPort()) + "\n"));
    auto w = makeWindow();
    w->show();
    w->findChild<QComboBox *>(QStringLiteral("cbx_user"))->lineEdit()->setText(account);
    w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"))->setText(password);
    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("pbt_login")), Qt::LeftButton);

    auto *state = w->findChild<QLabel *>(QStringLiteral("label_state"));
    QCOMPARE(state->text(), message);
    QCOMPARE(state->palette().color(QPalette::Active, QPalette::WindowText), QColor(Qt::red));
    QCOMPARE(state->palette().color(QPalette::Inactive, QPalette::WindowText), QColor(Qt::red));
    QTest::qWait(100);
    QVERIFY(!server.hasPendingConnections());
    QVERIFY(w->isVisible());
    QVERIFY(!w->deviceWindow()->isVisible());
    QCOMPARE(readBack().users.size(), 0);
}

void TestAccounts::serverSettings_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("caFile");
    QTest::addColumn<bool>("insecure");
    QTest::addColumn<QString>("error");   // empty: accepted and written

    QTest::newRow("https") << "https://cloud.test:8443" << "" << false << "";
    QTest::newRow("http, insecure") << " http://127.0.0.1:9 " << "" << true << "";
    QTest::newRow("private authority") << "https://cloud.test" << "ca.pem" << false << "";
    const QString badUrl = QStringLiteral("服务器地址须以 http:// 或 https:// 开头,并含主机名");
    QTest::newRow("empty") << "" << "" << false << badUrl;
    QTest::newRow("no scheme") << "cloud.test" << "" << false << badUrl;
    QTest::newRow("other scheme") << "file:///etc" << "" << false << badUrl;
    QTest::newRow("authority unreadable") << "https://cloud.test" << "nowhere.pem" << false
                                          << QStringLiteral("无法读取证书文件 nowhere.pem");
}

// "服务器设置" writes group "Domain" only when the address can be used, keeps the
// accounts, and the window uses the new service at once.
void TestAccounts::serverSettings()
{
    QFETCH(QString, url);
    QFETCH(QString, caFile);
    QFETCH(bool, insecure);
    QFETCH(QString, error);

    QVERIFY(TestFiles::writeFile(iniPath(), "[CurUser]\ncurname=a\n[UserInfo]\n" + entry(1, "a", "", true)
                                                 + "size=1\n"));
    if (caFile == "ca.pem") {
        TestCerts::Files certs;
        QString why;
        QVERIFY(QDir::current().mkdir("certs"));
        QVERIFY2(TestCerts::make(QDir::current().filePath("certs"), &certs, &why), qPrintable(why));
        QVERIFY(QFile::copy(certs.authority, caFile));
    }
    auto w = makeWindow();
    w->show();
    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("pbtn_server")), Qt::LeftButton);
    auto *dlg = w->findChild<QDialog *>(QStringLiteral("ServerSettingsDlg"));
    QVERIFY(dlg && dlg->isVisible());
    dlg->findChild<QLineEdit *>(QStringLiteral("ldt_baseUrl"))->setText(url);
    dlg->findChild<QLineEdit *>(QStringLiteral("ldt_caFile"))->setText(caFile);
    dlg->findChild<QCheckBox *>(QStringLiteral("ckx_insecure"))->setChecked(insecure);
    dlg->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();

    auto *shown = dlg->findChild<QLabel *>(QStringLiteral("label_serverError"));
    QCOMPARE(dlg->isVisible(), !error.isEmpty());
    QCOMPARE(shown->isVisible(), !error.isEmpty());
    QSettings saved(iniPath(), QSettings::IniFormat);
    QCOMPARE(saved.value("UserInfo/1/user_name").toString(), QStringLiteral("a"));
    QCOMPARE(saved.value("CurUser/curname").toString(), QStringLiteral("a"));
    if (!error.isEmpty()) {
        QCOMPARE(shown->text(), error);
        QVERIFY(!saved.contains("Domain/name"));
        QCOMPARE(CloudSettings::baseUrl(), QString());
        return;
    }
    QCOMPARE(saved.value("Domain/name").toString(), url.trimmed());
    QCOMPARE(saved.value("Domain/cafile").toString(), caFile);
    QCOMPARE(saved.value("Domain/insecure").toBool(), insecure);
    QCOMPARE(CloudSettings::baseUrl(), url.trimmed());
    QCOMPARE(CloudSettings::endpoint().caFile(), caFile);
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("label_insecure"))->isVisible(), insecure);
}

void TestAccounts::qtTexts_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("zh") << "zh" << QStringLiteral("取消");
    QTest::newRow("en") << "en" << QStringLiteral("Cancel");
}

// Qt's own buttons (here those of "服务器设置") speak the language of the windows.
void TestAccounts::qtTexts()
{
    QFETCH(QString, language);
    QFETCH(QString, cancel);
    Language::install(language);
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), cancel);
}

void TestAccounts::rememberDisablesAutoLogin()
{
    auto w = makeWindow();
    w->show();
    auto *remember = w->findChild<QCheckBox *>(QStringLiteral("ckx_remember"));
    auto *autoLogin = w->findChild<QCheckBox *>(QStringLiteral("ckx_autoLogin"));
    QVERIFY(autoLogin->isEnabled());
    QTest::mouseClick(remember, Qt::LeftButton, {}, QPoint(5, remember->height() / 2));
    QVERIFY(remember->isChecked());
    QVERIFY(!autoLogin->isEnabled());
    QTest::mouseClick(remember, Qt::LeftButton, {}, QPoint(5, remember->height() / 2));
    QVERIFY(!remember->isChecked());
    QVERIFY(autoLogin->isEnabled());
}

void TestAccounts::clearButtons()
{
    auto w = makeWindow();
    w->show();
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QLineEdit *account = w->findChild<QComboBox *>(QStringLiteral("cbx_user"))->lineEdit();
    auto *pw = w->findChild<QLineEdit *>(QStringLiteral("lineEdit_passWord"));

    account->setFocus();
    QTRY_VERIFY(account->hasFocus());
    QVERIFY(!account->isClearButtonEnabled());
    QTest::keyClicks(account, QStringLiteral("demo"));
    QCOMPARE(account->text(), QStringLiteral("demo"));
    QVERIFY(!account->isClearButtonEnabled());   // only a focus-in with text turns it on

    pw->setFocus();
    QTRY_VERIFY(pw->hasFocus());
    QVERIFY(!account->isClearButtonEnabled());
    QVERIFY(!pw->isClearButtonEnabled());
    QTest::keyClicks(pw, QStringLiteral("x"));
    QVERIFY(pw->isClearButtonEnabled());         // as soon as it holds text

    account->setFocus();
    QTRY_VERIFY(account->hasFocus());
    QVERIFY(account->isClearButtonEnabled());
    QVERIFY(!pw->isClearButtonEnabled());        // off at the focus-out

    pw->setFocus();
    QTRY_VERIFY(pw->hasFocus());
    QVERIFY(!account->isClearButtonEnabled());
    QVERIFY(pw->isClearButtonEnabled());         // password box: focus-in with text too
    QTest::keyClick(pw, Qt::Key_Backspace);
    QVERIFY(!pw->isClearButtonEnabled());        // emptied
}

QTEST_MAIN(TestAccounts)
#include "tst_accounts.moc"
