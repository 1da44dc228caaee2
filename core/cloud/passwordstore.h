#ifndef PASSWORDSTORE_H
#define PASSWORDSTORE_H

#include <QObject>
#include <QString>

#include <functional>

namespace QKeychain {
class Job;
}

// Remembered passwords in the system keychain (Secret Service on Linux, Credential
// Manager on Windows), one entry per base URL and account. Every operation is a job
// of the keychain that answers later, on this thread's event loop: the caller is told
// through its callback, never waits. A job that no keychain answers ends with
// Unavailable (the keychain's own bus time-out bounds it).
class PasswordStore : public QObject
{
    Q_OBJECT

public:
    enum class Result { Ok, NotFound, Unavailable };

    using ReadDone = std::function<void(Result, const QString &password)>;
    using Done = std::function<void(Result)>;

    // The service name of every entry, and the entry's key: the base URL and the
    // account as a compact JSON array, ["<base URL>","<account>"].
    static const char kService[];
    static QString keyFor(const QString &baseUrl, const QString &account);

    explicit PasswordStore(QObject *parent = nullptr);
    // Waits (bounded, in a local event loop) for writes and removals still under way,
    // so that a password handed over just before the end is not lost. Callbacks are
    // not called any more.
    ~PasswordStore() override;

    void read(const QString &baseUrl, const QString &account, ReadDone done);
    void write(const QString &baseUrl, const QString &account, const QString &password, Done done);
    void remove(const QString &baseUrl, const QString &account, Done done);

    int pendingJobs() const { return m_nPending; }

private:
    void run(QKeychain::Job *job, std::function<void(QKeychain::Job *)> finished);

    static constexpr int kDrainMs = 3000;
    int m_nPending = 0;
    bool m_bClosing = false;
};

#endif // PASSWORDSTORE_H
