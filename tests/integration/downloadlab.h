#ifndef DOWNLOADLAB_H
#define DOWNLOADLAB_H

// Shared by the download tests: the lab's relay and panels (RelayLab), and a
// DownFileOBJ run on a thread of its own the way the update dialog runs it.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "downfileobj.h"
#include "relaylab.h"
#include "testfiles.h"

// One operation of a DownFileOBJ on its own thread: request queued like the dialog's
// signal, messages collected, bounded wait for finishThrd.
struct WorkerRun
{
    QStringList messages;
    QList<int> types;
    QList<int> finishes;
    QElapsedTimer clock;      // started when the request goes out
    qint64 elapsedMs = 0;
    bool socketReleased = false;
    qint64 stopAtMs = -1;     // when `during` asked for the stop
    int messagesAtStop = -1;
    QList<QList<qint64>> progressSignals;   // done, total, file, files
    QVariantList panelInfo;                 // the arguments of panelInfo, when it came

    bool finished() const { return finishes.size() == 1; }
    QString last() const { return messages.isEmpty() ? QString() : messages.last(); }
    // The messages without the progress lines (those holding ":n/m").
    QStringList steps() const
    {
        QStringList out;
        static const QRegularExpression progress(QStringLiteral(":\\d+/\\d+$"));
        for (const QString &m : messages)
            if (!progress.match(m).hasMatch())
                out << m;
        return out;
    }
    QStringList progress() const
    {
        QStringList out;
        static const QRegularExpression progress(QStringLiteral(":\\d+/\\d+$"));
        for (const QString &m : messages)
            if (progress.match(m).hasMatch())
                out << m;
        return out;
    }
};

class WorkerHarness
{
public:
    explicit WorkerHarness(const QString &imei)
        : m_worker(new DownFileOBJ(imei, QStringLiteral("demo"), QStringLiteral("demo123")))
    {
        m_worker->moveToThread(&m_thread);
    }

    ~WorkerHarness()
    {
        m_worker->setStopFlag(true);
        m_thread.quit();
        m_thread.wait(10000);
        delete m_worker;
    }

    DownFileOBJ *worker() const { return m_worker; }

    // call: invokes the slot on the worker (queued onto its thread).
    // onMessage: called on the test thread for each message, may stop the worker.
    WorkerRun run(const std::function<void(DownFileOBJ *)> &call, int timeoutMs,
                  const std::function<void(WorkerRun &, DownFileOBJ *)> &onMessage = {})
    {
        WorkerRun r;
        QObject context;
        QObject::connect(m_worker, &DownFileOBJ::information, &context, [&](int type, const QString &msg) {
            r.types << type;
            r.messages << msg;
            if (onMessage)
                onMessage(r, m_worker);
        });
        QObject::connect(m_worker, &DownFileOBJ::finishThrd, &context, [&](int op) {
            r.finishes << op;
            r.elapsedMs = r.clock.elapsed();
        });
        QObject::connect(m_worker, &DownFileOBJ::progress, &context,
                         [&](int, qint64 done, qint64 total, int file, int files) {
                             r.progressSignals << QList<qint64>{done, total, file, files};
                         });
        QObject::connect(m_worker, &DownFileOBJ::panelInfo, &context,
                         [&](bool answered, int model, int comm, int module, qint64 version) {
                             r.panelInfo = {answered, model, comm, module, version};
                         });
        m_worker->setStopFlag(false);
        r.clock.start();
        m_thread.start();
        DownFileOBJ *w = m_worker;
        QMetaObject::invokeMethod(w, [w, call] { call(w); }, Qt::QueuedConnection);
        QEventLoop loop;
        QObject::connect(m_worker, &DownFileOBJ::finishThrd, &loop, &QEventLoop::quit,
                         Qt::QueuedConnection);
        QObject::connect(m_worker, &DownFileOBJ::panelInfo, &loop, &QEventLoop::quit,
                         Qt::QueuedConnection);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        // Like the dialog: stop the thread once the worker reports the end.
        m_thread.quit();
        m_thread.wait(10000);
        QCoreApplication::processEvents(); // late queued signals, if any
        r.socketReleased = m_worker->findChildren<QTcpSocket *>().isEmpty();
        return r;
    }

private:
    QThread m_thread;
    DownFileOBJ *m_worker;
};

#endif // DOWNLOADLAB_H
