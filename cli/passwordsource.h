#ifndef PASSWORDSOURCE_H
#define PASSWORDSOURCE_H

#include <QString>

// Where the password of a run comes from, never the command line: the first line of
// standard input (--password-stdin), else VANTELO_PASSWORD, else the keychain entry
// the program saved for the base URL and account, else a prompt without echo when
// standard input is a terminal. Empty when none gave one.
class PasswordSource
{
public:
    // The keychain is given this long to answer.
    static constexpr int kKeychainMs = 10000;
    // The longest password line read.
    static constexpr int kMaxLine = 4096;

    static QString obtain(bool fromStdin, const QString &baseUrl, const QString &account);

private:
    static QString readLine();
    static QString fromKeychain(const QString &baseUrl, const QString &account);
    static QString prompt(const QString &account);
};

#endif // PASSWORDSOURCE_H
