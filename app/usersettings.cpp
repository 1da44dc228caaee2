#include "usersettings.h"

#include <QDebug>
#include <QSettings>

namespace UserSettings {

namespace {
const QString kFileName = QStringLiteral("User.ini");
const QString kDomain = QStringLiteral("Domain");
const QString kDomainName = QStringLiteral("name");
const QString kCurUser = QStringLiteral("CurUser");
const QString kCurName = QStringLiteral("curname");
const QString kArray = QStringLiteral("UserInfo");
const QString kUserName = QStringLiteral("user_name");
const QString kPassword = QStringLiteral("password");
const QString kRemember = QStringLiteral("bremember");
const QString kAutoLogin = QStringLiteral("useAutoLogin");
} // namespace

std::unique_ptr<QSettings> open()
{
    std::unique_ptr<QSettings> settings(new QSettings(kFileName, QSettings::IniFormat));
    settings->setAtomicSyncRequired(true);
    return settings;
}

Content read(QSettings &settings)
{
    Content c;
    settings.beginGroup(kCurUser);
    c.sCurName = settings.value(kCurName).toString();
    settings.endGroup();

    settings.beginGroup(kDomain);
    c.sBaseUrl = settings.value(kDomainName).toString();
    settings.endGroup();

    const int n = settings.beginReadArray(kArray);
    c.users.resize(qMax(0, n));
    for (int i = 0; i < c.users.size(); ++i) {
        settings.setArrayIndex(i);
        UserInfo &u = c.users[i];
        u.sUserName = settings.value(kUserName).toString();
        u.sPassword = settings.value(kPassword).toString();
        u.bRemember = settings.value(kRemember, false).toBool();
        u.bAutoLogin = settings.value(kAutoLogin, false).toBool();
    }
    settings.endArray();
    return c;
}

bool write(QSettings &settings, const Content &c)
{
    settings.clear();

    settings.beginGroup(kDomain);
    settings.setValue(kDomainName, c.sBaseUrl);
    settings.endGroup();

    settings.beginGroup(kCurUser);
    settings.setValue(kCurName, c.sCurName);
    settings.endGroup();

    settings.beginWriteArray(kArray, c.users.size());
    for (int i = 0; i < c.users.size(); ++i) {
        settings.setArrayIndex(i);
        const UserInfo &u = c.users.at(i);
        settings.setValue(kUserName, u.sUserName);
        settings.setValue(kPassword, u.sPassword);
        settings.setValue(kRemember, u.bRemember);
        settings.setValue(kAutoLogin, u.bAutoLogin);
    }
    settings.endArray();

    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qDebug() << "UserSettings::write failed" << settings.fileName() << settings.status();
        return false;
    }
    return true;
}

int indexOf(const QVector<UserInfo> &users, const QString &name)
{
    for (int i = 0; i < users.size(); ++i) {
        if (users.at(i).sUserName == name)
            return i;
    }
    return -1;
}

int upsert(QVector<UserInfo> &users, const UserInfo &user)
{
    const int i = indexOf(users, user.sUserName);
    if (i >= 0) {
        users[i] = user;
        return i;
    }
    users.append(user);
    return users.size() - 1;
}

} // namespace UserSettings
