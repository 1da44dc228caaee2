#include "usersettings.h"

#include <QFile>
#include <QSettings>

#include "language.h"
#include "logging.h"

namespace UserSettings {

namespace {
const QString kFileName = QStringLiteral("User.ini");
// Each group with its keys.
const QString kDomain = QStringLiteral("Domain"), kDomainName = QStringLiteral("name"),
              kCaFile = QStringLiteral("cafile"), kInsecure = QStringLiteral("insecure");
const QString kCurUser = QStringLiteral("CurUser"), kCurName = QStringLiteral("curname");
const QString kArray = QStringLiteral("UserInfo"), kUserName = QStringLiteral("user_name"),
              kPassword = QStringLiteral("password"), kRemember = QStringLiteral("bremember"),
              kAutoLogin = QStringLiteral("useAutoLogin");

// A text value; anything else (a list, a byte array, a serialised variant) is absent.
QString stringValue(const QSettings &settings, const QString &key)
{
    const QVariant v = settings.value(key);
    return v.userType() == QMetaType::QString ? v.toString() : QString();
}

// "true" or "false" (as QSettings writes them, in any case); anything else is absent.
bool boolValue(const QSettings &settings, const QString &key)
{
    const QVariant v = settings.value(key);
    if (v.userType() == QMetaType::Bool)
        return v.toBool();
    return v.userType() == QMetaType::QString
           && v.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}
void putDomain(QSettings &settings, const QString &baseUrl, const QString &caFile, bool insecure)
{
    settings.beginGroup(kDomain);
    settings.remove(QString());
    settings.setValue(kDomainName, baseUrl);
    if (!caFile.isEmpty())
        settings.setValue(kCaFile, caFile);
    if (insecure)
        settings.setValue(kInsecure, true);
    settings.endGroup();
}
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
    c.sCurName = stringValue(settings, kCurName);
    settings.endGroup();

    settings.beginGroup(kDomain);
    c.sBaseUrl = stringValue(settings, kDomainName);
    c.sCaFile = stringValue(settings, kCaFile);
    c.bInsecure = boolValue(settings, kInsecure);
    settings.endGroup();

    // "size" is the file's word only: never more entries than the bound.
    const int declared = settings.beginReadArray(kArray);
    const int n = qBound(0, declared, kMaxAccounts);
    if (declared > kMaxAccounts)
        qCDebug(lcCloud) << "UserSettings::read" << declared << "accounts cut to" << kMaxAccounts;
    c.users.resize(n);
    for (int i = 0; i < n; ++i) {
        settings.setArrayIndex(i);
        UserInfo &u = c.users[i];
        u.sUserName = stringValue(settings, kUserName);
        u.sPassword = stringValue(settings, kPassword);
        u.bRemember = boolValue(settings, kRemember);
        u.bAutoLogin = boolValue(settings, kAutoLogin);
    }
    settings.endArray();
    return c;
}

bool write(QSettings &settings, const Content &c)
{
    // The language chosen stays as it is.
    const bool languageChosen = settings.contains(Language::settingsKey());
    const QString language = Language::read(settings);
    settings.clear();
    if (languageChosen)
        Language::write(settings, language);
    putDomain(settings, c.sBaseUrl, c.sCaFile, c.bInsecure);

    settings.beginGroup(kCurUser);
    settings.setValue(kCurName, c.sCurName);
    settings.endGroup();

    settings.beginWriteArray(kArray, c.users.size());
    for (int i = 0; i < c.users.size(); ++i) {
        settings.setArrayIndex(i);
        const UserInfo &u = c.users.at(i);
        settings.setValue(kUserName, u.sUserName);
        settings.setValue(kPassword, QString());
        settings.setValue(kRemember, u.bRemember);
        settings.setValue(kAutoLogin, u.bAutoLogin);
    }
    settings.endArray();

    if (!syncPrivately(settings)) {
        qCDebug(lcCloud) << "UserSettings::write failed" << settings.fileName()
                         << settings.status();
        return false;
    }
    return true;
}

bool writeDomain(QSettings &settings, const QString &baseUrl, const QString &caFile, bool insecure)
{
    putDomain(settings, baseUrl, caFile, insecure);
    if (!syncPrivately(settings)) {
        qCDebug(lcCloud) << "UserSettings::writeDomain failed" << settings.fileName()
                         << settings.status();
        return false;
    }
    return true;
}

bool syncPrivately(QSettings &settings)
{
    const QString path = settings.fileName();
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (QFile::exists(path)) {
        QFile::setPermissions(path, ownerOnly);
    } else {
        QFile created(path);
        if (created.open(QIODevice::WriteOnly))
            created.setPermissions(ownerOnly);
    }
    settings.sync();
    // Also when the file could not be replaced as a whole and was written in place.
    if (QFile::exists(path))
        QFile::setPermissions(path, ownerOnly);
    return settings.status() == QSettings::NoError;
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
