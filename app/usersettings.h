#ifndef USERSETTINGS_H
#define USERSETTINGS_H

#include <QString>
#include <QVector>

#include <memory>

#include "userinfo.h"

class QSettings;

// The layout of "User.ini":
//   [Domain]   name     = base URL of the cloud service
//   [CurUser]  curname  = the account signed in last
//   [UserInfo] size, 1\user_name, 1\password, 1\bremember, 1\useAutoLogin, 2\...
// No text codec is set, so non-ASCII texts are stored as INI escapes.
namespace UserSettings {

struct Content
{
    QString sBaseUrl;
    QString sCurName;
    QVector<UserInfo> users;   // in file order, entries with empty names included
};

// "User.ini" in the working directory, INI format, no parent. Atomic sync stays on,
// so a save replaces the file as a whole (never a half-written file).
std::unique_ptr<QSettings> open();

Content read(QSettings &settings);

// Replaces the whole content of the file with c and flushes it to disk.
// Returns false when the file could not be written.
bool write(QSettings &settings, const Content &c);

// Index of the first account named exactly name, or -1.
int indexOf(const QVector<UserInfo> &users, const QString &name);

// Puts the account of a sign-in into users: the entry of the same name is replaced
// in place, or the account is appended. Returns its index.
int upsert(QVector<UserInfo> &users, const UserInfo &user);

} // namespace UserSettings

#endif // USERSETTINGS_H
