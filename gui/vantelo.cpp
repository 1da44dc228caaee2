#include "vantelo.h"
#include "ui_vantelo.h"

#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListView>
#include <QSettings>

#include "cloudclient.h"
#include "cloudrequest.h"
#include "cloudsettings.h"
#include "cuslineedite.h"
#include "language.h"
#include "logging.h"
#include "managerdevlist.h"
#include "passwordstore.h"
#include "serversettingsdlg.h"
#include "usersettings.h"

Vantelo::Vantelo(QWidget *parent) : QWidget(parent), ui(new Ui::Vantelo)
{
    ui->setupUi(this);

    m_pUserEdit = new CusLineEdite(this);
    m_pUserEdit->setObjectName(QStringLiteral("ldt_user"));
    m_pUserEdit->setFont(ui->lineEdit_passWord->font());
    ui->cbx_user->setLineEdit(m_pUserEdit);
    ui->cbx_user->setFont(ui->lineEdit_passWord->font());

    ui->cbx_user->setView(new QListView(ui->cbx_user));
    ui->cbx_user->setStyleSheet(QStringLiteral("QComboBox QAbstractItemView::item {min-height: 25px;}"));

    ui->ckx_autoLogin->hide();
    ui->pbtn_regist->hide();
    ui->pbtn_forget->hide();
    ui->label_keychain->hide();

    // Enter in either box signs in, taken before the boxes see it (the combo box would
    // hand it to its editor a second time).
    m_pUserEdit->installEventFilter(this);
    ui->lineEdit_passWord->installEventFilter(this);
    connect(ui->pbtn_server, &QPushButton::clicked, this, &Vantelo::openServerSettings);

    m_pPasswords = new PasswordStore(this);
    initUserPara();
    addLanguageBox();

    m_pDevWindow = new ManagerDevList();
    m_pDevWindow->hide();

    m_pUserEdit->setFocus(Qt::OtherFocusReason);

    m_pCloud.reset(new CloudClient);
    connect(m_pDevWindow, &ManagerDevList::sig_showLogo, this, &Vantelo::on_showLogo_interface);

    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
}

Vantelo::~Vantelo()
{
    // Lets a password handed to the keychain just before the end reach it, while the
    // window's members are still there.
    delete m_pPasswords;
    delete m_pDevWindow;
    delete ui;
}

void Vantelo::addLanguageBox()
{
    // Each language named in itself; the box shows the language installed.
    m_pLanguageBox = new QComboBox(this);
    m_pLanguageBox->setObjectName(QStringLiteral("cmb_language"));
    m_pLanguageBox->addItem(QStringLiteral("中文"), QStringLiteral("zh"));
    m_pLanguageBox->addItem(QStringLiteral("English"), QStringLiteral("en"));
    m_pLanguageBox->setCurrentIndex(qMax(0, m_pLanguageBox->findData(Language::current())));
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_pLanguageBox);
    ui->verticalLayout->insertLayout(0, row);
    connect(m_pLanguageBox, QOverload<int>::of(&QComboBox::activated), this,
            &Vantelo::languageChosen);
}

void Vantelo::languageChosen(int index)
{
    const QString code = m_pLanguageBox->itemData(index).toString();
    if (code == Language::current())
        return;
    if (!Language::install(code)) {
        // No translation to show: the box goes back to the language still shown.
        qCWarning(lcUi) << "Vantelo::languageChosen cannot install" << code;
        m_pLanguageBox->setCurrentIndex(qMax(0, m_pLanguageBox->findData(Language::current())));
        return;
    }
    Language::write(*m_pSettings, code);
    if (!UserSettings::syncPrivately(*m_pSettings))
        qCWarning(lcUi) << "Vantelo::languageChosen not saved" << m_pSettings->fileName();
}

void Vantelo::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        // The state line holds a message of the other language: it goes.
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}

void Vantelo::initUserPara()
{
    m_pSettings = UserSettings::open();

    const UserSettings::Content c = UserSettings::read(*m_pSettings);
    m_sCurUser = c.sCurName;
    applyDomain();

    m_userList = c.users;
    // Passwords of older files: used as they are, moved to the keychain at the next
    // accepted sign-in.
    m_legacyPasswords.clear();
    for (const UserInfo &u : qAsConst(m_userList))
        if (u.bRemember && !u.sPassword.isEmpty())
            m_legacyPasswords << u.sUserName;
    QStringList names;
    for (const UserInfo &u : qAsConst(m_userList))
        names << u.sUserName;
    ui->cbx_user->addItems(names);

    // The account completer lists the accounts of "User.ini" as read at start.
    delete m_pCompleter;
    m_pCompleter = new QCompleter(names, this);
    m_pUserEdit->setCompleter(m_pCompleter);

    const int i = UserSettings::indexOf(m_userList, m_sCurUser);
    if (i >= 0) {
        const UserInfo &u = m_userList.at(i);
        m_pUserEdit->setText(u.sUserName);
        if (u.bRemember)
            fillSavedPassword(i);
        else
            ui->lineEdit_passWord->setText(QString());
        ui->ckx_remember->setChecked(u.bRemember);
    }
}

bool Vantelo::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress
        && (watched == m_pUserEdit || watched == ui->lineEdit_passWord)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui->pbt_login->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Vantelo::applyDomain()
{
    const UserSettings::Content c = UserSettings::read(*m_pSettings);
    CloudSettings::setEndpoint(CloudEndpoint(c.sBaseUrl, c.sCaFile, c.bInsecure));
    ui->label_insecure->setVisible(c.bInsecure);
    qCDebug(lcUi) << "Vantelo::applyDomain base url" << c.sBaseUrl << c.sCaFile << c.bInsecure;
}

void Vantelo::openServerSettings()
{
    if (m_bSigningIn || !m_pSettings)
        return;
    auto *dlg = new ServerSettingsDlg(*m_pSettings, this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    connect(dlg, &QDialog::accepted, this, [this] {
        applyDomain();
        showState(QString());
    });
    dlg->open();
}

void Vantelo::fillSavedPassword(int i)
{
    const UserInfo &u = m_userList.at(i);
    ui->lineEdit_passWord->setText(u.sPassword);
    if (!u.sPassword.isEmpty() || !u.bRemember)
        return;
    const QString name = u.sUserName;
    m_pPasswords->read(CloudSettings::baseUrl(), name,
                       [this, name](PasswordStore::Result r, const QString &password) {
        qCDebug(lcUi) << "Vantelo::fillSavedPassword read" << name << int(r);
        if (r == PasswordStore::Result::Unavailable) {
            noteKeychainUnavailable();
            return;
        }
        if (r != PasswordStore::Result::Ok)
            return;
        const int j = UserSettings::indexOf(m_userList, name);
        if (j >= 0 && m_userList.at(j).sPassword.isEmpty())
            m_userList[j].sPassword = password;
        // Only into a box nobody has typed in since, for the account still shown.
        if (m_pUserEdit->text() == name && ui->lineEdit_passWord->text().isEmpty())
            ui->lineEdit_passWord->setText(password);
    });
}

void Vantelo::storePassword(const QString &baseUrl, const QString &account, const QString &password)
{
    m_pPasswords->write(baseUrl, account, password, [this, account](PasswordStore::Result r) {
        qCDebug(lcUi) << "Vantelo::storePassword" << account << int(r);
        if (r != PasswordStore::Result::Ok)
            noteKeychainUnavailable();
    });
}

void Vantelo::noteKeychainUnavailable()
{
    if (m_bKeychainNoted)
        return;
    m_bKeychainNoted = true;
    ui->label_keychain->show();
}

void Vantelo::saveUserInfo()
{
    UserInfo u;
    u.sUserName = m_pUserEdit->text();
    u.sPassword = ui->lineEdit_passWord->text();
    u.bRemember = ui->ckx_remember->isChecked();
    u.bAutoLogin = ui->ckx_autoLogin->isChecked();
    saveUserInfo(u);
}

void Vantelo::saveUserInfo(const UserInfo &signedIn)
{
    if (!m_pSettings)
        return;
    UserInfo u = signedIn;
    // A password that is not to be remembered is not written either.
    if (!u.bRemember)
        u.sPassword.clear();

    m_sCurUser = u.sUserName;
    UserSettings::upsert(m_userList, u);

    const CloudEndpoint cloud = CloudSettings::endpoint();
    UserSettings::Content c;
    c.sBaseUrl = cloud.baseUrl();
    c.sCaFile = cloud.caFile();
    c.bInsecure = cloud.insecure();
    c.sCurName = m_sCurUser;
    c.users = m_userList;
    const bool ok = UserSettings::write(*m_pSettings, c);
    qCDebug(lcUi) << "Vantelo::saveUserInfo" << u.sUserName << m_userList.size() << ok;

    // The file holds no password any more: the account's goes to the keychain when it
    // is to be remembered (else any kept one is removed), and so do the remembered
    // passwords that an older file held.
    if (u.bRemember) {
        storePassword(cloud.baseUrl(), u.sUserName, u.sPassword);
    } else {
        m_pPasswords->remove(cloud.baseUrl(), u.sUserName, [name = u.sUserName](PasswordStore::Result r) {
            qCDebug(lcUi) << "Vantelo::saveUserInfo removed" << name << int(r);
        });
    }
    for (const QString &name : qAsConst(m_legacyPasswords)) {
        const int i = UserSettings::indexOf(m_userList, name);
        if (name != u.sUserName && i >= 0 && m_userList.at(i).bRemember
            && !m_userList.at(i).sPassword.isEmpty())
            storePassword(cloud.baseUrl(), name, m_userList.at(i).sPassword);
    }
    m_legacyPasswords.clear();

    ui->cbx_user->clear();
    for (const UserInfo &saved : qAsConst(m_userList))
        ui->cbx_user->addItem(saved.sUserName);
}

void Vantelo::showState(const QString &text)
{
    ui->label_state->setText(text);
}

void Vantelo::setStateColour(bool error)
{
    QPalette pal = ui->label_state->palette();
    pal.setBrush(QPalette::All, QPalette::WindowText,
                 error ? QBrush(Qt::red, Qt::SolidPattern) : palette().brush(QPalette::WindowText));
    ui->label_state->setPalette(pal);
}

void Vantelo::on_pbt_login_clicked()
{
    if (m_bSigningIn) {
        qCDebug(lcUi) << "Vantelo::on_pbt_login_clicked busy";
        return;
    }

    // What is sent is what is saved and handed over, even if the boxes change during
    // the wait.
    UserInfo typed;
    typed.sUserName = m_pUserEdit->text();
    typed.sPassword = ui->lineEdit_passWord->text();
    typed.bRemember = ui->ckx_remember->isChecked();
    typed.bAutoLogin = ui->ckx_autoLogin->isChecked();

    setStateColour(true);

    if (typed.sUserName.isEmpty()) {
        showState(tr("账号不能为空"));
        return;
    }
    if (typed.sPassword.isEmpty()) {
        showState(tr("密码不能为空"));
        return;
    }

    const CloudEndpoint cloud = CloudSettings::endpoint();
    qCDebug(lcUi) << "Vantelo::on_pbt_login_clicked base url" << cloud.baseUrl();
    if (cloud.baseUrl().trimmed().isEmpty()) {
        // Nothing to send to: the address is asked for instead.
        showState(tr("无法连接云服务: 未设置服务器地址"));
        openServerSettings();
        return;
    }
    m_bSigningIn = true;
    ui->pbt_login->setEnabled(false);
    ui->pbtn_server->setEnabled(false);
    setStateColour(false);
    showState(tr("正在登录…"));
    const CloudClient::DeviceList answer = m_pCloud->deviceList(
        cloud, CloudClient::UrlForm::UserInput, typed.sUserName, typed.sPassword);
    m_bSigningIn = false;
    ui->pbt_login->setEnabled(true);
    ui->pbtn_server->setEnabled(true);
    setStateColour(true);
    showState(QString());
    m_devList.clear();

    if (!answer.reply.usable) {
        // No usable answer: the account was not checked, so nothing is saved and the
        // window stays.
        qCDebug(lcUi) << "Vantelo::on_pbt_login_clicked no usable reply"
                      << int(answer.result.outcome) << answer.result.errorText;
        showState(CloudRequest::failureText(answer.result));
        return;
    }
    qCDebug(lcUi) << "Vantelo::on_pbt_login_clicked code" << answer.reply.hasCode
                  << answer.reply.code;
    if (!answer.reply.hasCode || answer.reply.code != 200) {
        showState(tr("账号不存在或验证错误"));
        return;
    }

    saveUserInfo(typed);
    m_devList = answer.reply.devices;

    hide();
    m_pDevWindow->setDevList(typed.sUserName, typed.sPassword, m_devList);
    m_pDevWindow->show();
}

void Vantelo::on_ckx_remember_clicked(bool checked)
{
    ui->ckx_autoLogin->setEnabled(!checked);
}

void Vantelo::on_lineEdit_passWord_textChanged(const QString &arg1)
{
    ui->lineEdit_passWord->setClearButtonEnabled(!arg1.isEmpty());
}

void Vantelo::on_cbx_user_currentIndexChanged(const QString &arg1)
{
    if (!m_pUserEdit)
        return;
    m_pUserEdit->setText(arg1);
    const int i = ui->cbx_user->currentIndex();
    if (i < 0 || i >= m_userList.size())
        return;
    ui->ckx_remember->setChecked(m_userList.at(i).bRemember);
    fillSavedPassword(i);
}

void Vantelo::on_showLogo_interface()
{
    m_pDevWindow->hide();
    showState(QString());
    show();
}
