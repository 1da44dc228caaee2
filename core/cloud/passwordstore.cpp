#include "passwordstore.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <qt5keychain/keychain.h>

#include "logging.h"

const char PasswordStore::kService[] = "Vantelo";

namespace {

PasswordStore::Result resultOf(const QKeychain::Job *job)
{
    switch (job->error()) {
    case QKeychain::NoError:
        return PasswordStore::Result::Ok;
    case QKeychain::EntryNotFound:
        return PasswordStore::Result::NotFound;
    default:
        return PasswordStore::Result::Unavailable;
    }
}

} // namespace

QString PasswordStore::keyFor(const QString &baseUrl, const QString &account)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray{baseUrl, account}).toJson(QJsonDocument::Compact));
}

PasswordStore::PasswordStore(QObject *parent) : QObject(parent) {}

PasswordStore::~PasswordStore()
{
    m_bClosing = true;
    if (m_nPending <= 0)
        return;
    qCDebug(lcCloud) << "PasswordStore::~PasswordStore waiting for" << m_nPending << "jobs";
    // The jobs delete themselves when they end; a job still running at the bound is
    // left to the keychain library (deleting it would leave the library's pending
    // call with a dangling job).
    // The bound's own time-out wakes the wait when nothing else does.
    QEventLoop drain;
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(kDrainMs);
    while (m_nPending > 0 && bound.isActive())
        drain.processEvents(QEventLoop::WaitForMoreEvents);
}

void PasswordStore::run(QKeychain::Job *job, std::function<void(QKeychain::Job *)> finished)
{
    ++m_nPending;
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    connect(job, &QKeychain::Job::finished, this, [this, finished](QKeychain::Job *j) {
        --m_nPending;
        if (j->error() != QKeychain::NoError && j->error() != QKeychain::EntryNotFound)
            qCDebug(lcCloud) << "PasswordStore::run keychain error" << j->error()
                             << j->errorString();
        if (!m_bClosing)
            finished(j);
    });
    job->start();
}

void PasswordStore::read(const QString &baseUrl, const QString &account, ReadDone done)
{
    auto *job = new QKeychain::ReadPasswordJob(QLatin1String(kService));
    job->setKey(keyFor(baseUrl, account));
    run(job, [job, done](QKeychain::Job *) {
        const Result r = resultOf(job);
        done(r, r == Result::Ok ? job->textData() : QString());
    });
}

void PasswordStore::write(const QString &baseUrl, const QString &account,
                          const QString &password, Done done)
{
    auto *job = new QKeychain::WritePasswordJob(QLatin1String(kService));
    job->setKey(keyFor(baseUrl, account));
    job->setTextData(password);
    run(job, [done](QKeychain::Job *j) { done(resultOf(j)); });
}

void PasswordStore::remove(const QString &baseUrl, const QString &account, Done done)
{
    auto *job = new QKeychain::DeletePasswordJob(QLatin1String(kService));
    job->setKey(keyFor(baseUrl, account));
    run(job, [done](QKeychain::Job *j) {
        // Nothing to remove is what was wanted.
        const Result r = resultOf(j);
        done(r == Result::NotFound ? Result::Ok : r);
    });
}
