#ifndef USERSETTINGS_H
#define USERSETTINGS_H

#include <QString>
#include <QVector>

#include <memory>

#include "userinfo.h"

class QSettings;

// The layout of "User.ini":
//   [Domain]   name     = base URL of the cloud service
//              cafile   = PEM file of a private certificate authority (optional)
//              insecure = true: any certificate of the service is accepted (optional)
//   [CurUser]  curname  = the account signed in last
//   [UserInfo] size, 1\user_name, 1\password, 1\bremember, 1\useAutoLogin, 2\...
//   [Language] ui       = zh | en, the language of the interface (language.h); kept as
//                         it is by write()
// No text codec is set, so non-ASCII texts are stored as INI escapes. Passwords are
// kept in the system keychain; the "password" values are written empty, and a value
// found in an older file is still read.
namespace UserSettings {

// At most this many saved accounts are read, whatever "size" says.
constexpr int kMaxAccounts = 1000;

struct Content
{
    QString sBaseUrl;
    QString sCaFile;
    bool bInsecure = false;
    QString sCurName;
    QVector<UserInfo> users;   // in file order, entries with empty names included
};

// "User.ini" in the working directory, INI format, no parent. Atomic sync stays on,
// so a save replaces the file as a whole (never a half-written file).
std::unique_ptr<QSettings> open();

// A value of the wrong type (a list, a byte array, a serialised variant, a boolean
// that is neither "true" nor "false") reads as absent.
Content read(QSettings &settings);

// Replaces the whole content of the file with c, passwords left empty, and flushes it
// to disk, readable and writable by the owner only.
// Returns false when the file could not be written.
bool write(QSettings &settings, const Content &c);

// Replaces only group "Domain" (base URL, private authority, insecure choice), keeping
// the accounts as they are in the file, and flushes it like write().
bool writeDomain(QSettings &settings, const QString &baseUrl, const QString &caFile, bool insecure);

// Flushes settings to disk in a file readable and writable by the owner only: an
// existing file is narrowed before the new content replaces it (which keeps its mode),
// a new one is created so. Returns false when the file could not be written.
bool syncPrivately(QSettings &settings);

// Index of the first account named exactly name, or -1.
int indexOf(const QVector<UserInfo> &users, const QString &name);

// Puts the account of a sign-in into users: the entry of the same name is replaced
// in place, or the account is appended. Returns its index.
int upsert(QVector<UserInfo> &users, const UserInfo &user);

} // namespace UserSettings

#endif // USERSETTINGS_H
