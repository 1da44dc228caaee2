#ifndef USERINFO_H
#define USERINFO_H

#include <QString>

// One saved account of the sign-in window, as kept in "User.ini".
struct UserInfo
{
    QString sUserName;        // "user_name": the account as typed at the sign-in
    QString sPassword;        // "password": clear text; empty unless remembered
    bool bRemember = false;   // "bremember": state of "记住密码" at the sign-in
    bool bAutoLogin = false;  // "useAutoLogin": saved, never acted upon

    bool operator==(const UserInfo &o) const
    {
        return sUserName == o.sUserName && sPassword == o.sPassword
               && bRemember == o.bRemember && bAutoLogin == o.bAutoLogin;
    }
};

#endif // USERINFO_H
