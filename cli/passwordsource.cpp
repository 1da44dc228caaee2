#include "passwordsource.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

#include "logging.h"
#include "passwordstore.h"

QString PasswordSource::obtain(bool fromStdin, const QString &baseUrl, const QString &account)
{
    if (fromStdin)
        return readLine();
    const QByteArray env = qgetenv("VANTELO_PASSWORD");
    if (!env.isEmpty())
        return QString::fromUtf8(env);
    const QString kept = fromKeychain(baseUrl, account);
    if (!kept.isEmpty())
        return kept;
    if (::isatty(STDIN_FILENO))
        return prompt(account);
    return QString();
}

QString PasswordSource::readLine()
{
    QByteArray line;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n' && line.size() < kMaxLine)
        line += char(c);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

QString PasswordSource::fromKeychain(const QString &baseUrl, const QString &account)
{
    QString password;
    PasswordStore store;
    QEventLoop loop;
    store.read(baseUrl, account, [&](PasswordStore::Result r, const QString &value) {
        qCDebug(lcCloud) << "PasswordSource::fromKeychain" << int(r);
        if (r == PasswordStore::Result::Ok)
            password = value;
        loop.quit();
    });
    if (store.pendingJobs() > 0) {
        QTimer::singleShot(kKeychainMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return password;
}

QString PasswordSource::prompt(const QString &account)
{
    std::fprintf(stderr, "Password for %s: ", account.toLocal8Bit().constData());
    std::fflush(stderr);
    termios old = {};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (quiet) {
        termios silent = old;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const QString password = readLine();
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputc('\n', stderr);
    return password;
}
