#ifndef DOWNLOADLAB_H
#define DOWNLOADLAB_H

// Shared by the download tests: a relay and panels of the lab on free ports, and a
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
#include "labprocess.h"
#include "testfiles.h"

class DownloadLab
{
public:
    // panels: the "panels" section; relayFaults: relay.faults.
    bool start(const QJsonArray &panels, const QJsonObject &relayFaults = QJsonObject())
    {
        if (!m_dir.isValid())
            return false;
        QJsonObject relay{{"port", 0}, {"faults", relayFaults}};
        const QJsonObject config{{"relay", relay}, {"panels", panels}};
        if (!TestFiles::writeJson(configPath(), config))
            return false;
        if (!m_relay.start({"--config", configPath(), "--port", "0", "--events", relayEvents()})) {
            qWarning() << "relay:" << m_relay.diagnostics();
            return false;
        }
        QStringList imeis;
        for (const QJsonValue &p : panels)
            imeis << p.toObject().value("imei").toString();
        if (!m_panel.start({"--config", configPath(), "--relay-port", QString::number(m_relay.port()),
                            "--out", outDir(), "--events", panelEvents()})) {
            qWarning() << "panel:" << m_panel.diagnostics();
            return false;
        }
        qputenv("VANTELO_RELAY_HOST", "127.0.0.1");
        qputenv("VANTELO_RELAY_PORT", QByteArray::number(m_relay.port()));
        return true;
    }

    void stop()
    {
        m_panel.stop();
        m_relay.stop();
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString configPath() const { return path("lab.json"); }
    QString relayEvents() const { return path("relay.jsonl"); }
    QString panelEvents() const { return path("panel.jsonl"); }
    QString outDir() const { return path("out"); }
    QString stored(const QString &imei, int code) const
    {
        return QStringLiteral("%1/%2/%3.bin").arg(outDir(), imei).arg(code);
    }
    quint16 relayPort() const { return m_relay.port(); }

    // The panel's event lines for imei, from line number `from` of the file on.
    QList<QJsonObject> panelLines(const QString &imei, int from = 0) const
    {
        return filtered(readEventLines(panelEvents()).mid(from), imei);
    }
    int panelLineCount() const { return readEventLines(panelEvents()).size(); }

    // Waits (bounded) for an event of that name for imei after line `from`.
    QList<QJsonObject> waitPanelEvent(const QString &imei, const QString &event, int from = 0,
                                      int timeoutMs = 5000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            const QList<QJsonObject> lines = panelLines(imei, from);
            for (const QJsonObject &l : lines)
                if (l.value("event").toString() == event)
                    return lines;
            if (deadline.hasExpired())
                return lines;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
    }

    static QList<QJsonObject> filtered(const QList<QJsonObject> &lines, const QString &imei)
    {
        QList<QJsonObject> out;
        for (const QJsonObject &l : lines)
            if (l.value("imei").toString() == imei)
                out << l;
        return out;
    }

    static QList<QJsonObject> events(const QList<QJsonObject> &lines, const QString &name)
    {
        QList<QJsonObject> out;
        for (const QJsonObject &l : lines)
            if (l.value("event").toString() == name)
                out << l;
        return out;
    }

private:
    QTemporaryDir m_dir;
    LabProcess m_relay{QStringLiteral("lab-relay")};
    LabProcess m_panel{QStringLiteral("lab-panel")};
};

// A panel of the "panels" section.
inline QJsonObject labPanel(const QString &imei, int model, int comm, int module, int version = 0x0102,
                            const QJsonObject &faults = QJsonObject())
{
    QJsonObject p{{"imei", imei}, {"model", model}, {"comm", comm}, {"module", module},
                  {"version", version}};
    if (!faults.isEmpty())
        p.insert("faults", faults);
    return p;
}

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
        m_worker->setStopFlag(false);
        r.clock.start();
        m_thread.start();
        DownFileOBJ *w = m_worker;
        QMetaObject::invokeMethod(w, [w, call] { call(w); }, Qt::QueuedConnection);
        QEventLoop loop;
        QObject::connect(m_worker, &DownFileOBJ::finishThrd, &loop, &QEventLoop::quit,
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
