#ifndef VANTELO_H
#define VANTELO_H

#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <memory>

#include "devinfo.h"
#include "userinfo.h"

class CloudClient;
class CusLineEdite;
class ManagerDevList;
class PasswordStore;
class QComboBox;
class QCompleter;
class QEvent;
class QSettings;

namespace Ui {
class Vantelo;
}

// The sign-in window: account and password, the saved accounts of "User.ini" with their
// passwords in the system keychain, the device-list query that checks the account, and
// the hand-over to the device window.
class Vantelo : public QWidget
{
    Q_OBJECT

public:
    explicit Vantelo(QWidget *parent = nullptr);
    ~Vantelo() override;

    // Reads "User.ini": cloud settings, saved accounts and current account; fills the
    // boxes (a password kept in the keychain when the keychain answers).
    void initUserPara();
    // Writes the account in the boxes to "User.ini" as the current account, and its
    // password to the keychain when it is to be remembered.
    void saveUserInfo();

    ManagerDevList *deviceWindow() const { return m_pDevWindow; }
    const QVector<UserInfo> &savedAccounts() const { return m_userList; }
    bool isSigningIn() const { return m_bSigningIn; }

public slots:
    // Opens "服务器设置" (window-modal, returns at once); on "确定" the new settings of
    // the cloud service hold for the next request.
    void openServerSettings();

protected:
    // Enter in the account or password box signs in.
    bool eventFilter(QObject *watched, QEvent *event) override;
    // A change of language: the form's texts and those set here again.
    void changeEvent(QEvent *event) override;

private slots:
    void on_pbt_login_clicked();
    void on_ckx_remember_clicked(bool checked);
    void on_lineEdit_passWord_textChanged(const QString &arg1);
    void on_cbx_user_currentIndexChanged(const QString &arg1);
    void on_showLogo_interface();
    // The language box: installs the language chosen and keeps it in "User.ini".
    void languageChosen(int index);

private:
    void addLanguageBox();
    void saveUserInfo(const UserInfo &signedIn);
    void showState(const QString &text);
    // The state line in red (results) or in the window's text colour (the wait).
    void setStateColour(bool error);
    // Takes the cloud service's settings from the file's group "Domain".
    void applyDomain();
    // Shows the saved password of account i: the one in memory, else, for a remembered
    // account, the keychain's once it answers (if the box is still empty and the
    // account still the one shown).
    void fillSavedPassword(int i);
    void storePassword(const QString &baseUrl, const QString &account, const QString &password);
    void noteKeychainUnavailable();

    Ui::Vantelo *ui;
    QVector<DevInfo> m_devList;
    std::unique_ptr<QSettings> m_pSettings;
    QString m_sCurUser;
    QVector<UserInfo> m_userList;
    QCompleter *m_pCompleter = nullptr;   // child of the window
    std::unique_ptr<CloudClient> m_pCloud;
    CusLineEdite *m_pUserEdit = nullptr;
    QComboBox *m_pLanguageBox = nullptr;   // "cmb_language", child of the window
    ManagerDevList *m_pDevWindow = nullptr;   // no parent; deleted with this window
    PasswordStore *m_pPasswords = nullptr;    // deleted first by the destructor
    QStringList m_legacyPasswords;   // remembered accounts whose password "User.ini" held
    bool m_bSigningIn = false;
    bool m_bKeychainNoted = false;
};

#endif // VANTELO_H
