#ifndef FLEETRUN_H
#define FLEETRUN_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

#include "cloudendpoint.h"
#include "panelevent.h"
#include "panelresult.h"
#include "updateoperation.h"
#include "workerthread.h"

class DownFileOBJ;

// One operation on many panels: each panel on a DownFileOBJ of its own, on a worker
// thread of its own with its own relay connection, at most `parallel` at a time, in
// the order given. Everything that happens is told through event(); finished() comes
// once every panel has its result.
class FleetRun : public QObject
{
    Q_OBJECT

public:
    struct Job
    {
        UpdateOperation op = UpdateOperation::Firmware;
        bool info = false;         // only the panel's model and version are read
        QString file;              // the image or archive of the request
        int frame = 512;
        bool font = false;         // project: the font library is sent too
        bool useName = false;      // cloud project sync
        QString unpackedProject;   // project: the folder the archive was unpacked into
        QString scratchRoot;       // a private folder; worker n unpacks into <root>/<n>
    };

    struct Outcome
    {
        QString imei;
        PanelResult::Result result = PanelResult::Result::Stopped;
        QString text;     // the last text of the operation
        qint64 bytes = 0; // the bytes done as last reported
        qint64 ms = -1;   // -1: never started
    };

    FleetRun(Job job, QString account, QString password, CloudEndpoint cloud, int parallel,
             QObject *parent = nullptr);
    ~FleetRun() override;

    void start(const QStringList &imeis);
    // The stop sequence of every running worker (stop request, end of its thread), all
    // requested before any is waited for; the unfinished panels become "stopped".
    void stop();

    bool isFinished() const { return m_finished; }
    const QVector<Outcome> &outcomes() const { return m_outcomes; }

signals:
    void event(const PanelEvent &e);
    void finished();

private:
    struct Running
    {
        int index = -1;
        std::unique_ptr<WorkerThread<DownFileOBJ>> holder;
        QElapsedTimer clock;
    };

    void startNext();
    void onText(int index, const QString &text);
    void onFinish(int index);
    void onInfo(int index, bool answered, int model, int comm, int module, qint64 version);
    void conclude(int index, PanelResult::Result result);
    void emitEvent(int index, const QString &phase, const QString &text, qint64 bytes = 0,
                   qint64 total = 0);
    Running *running(int index);

    Job m_job;
    QString m_account;
    QString m_password;
    CloudEndpoint m_cloud;
    int m_parallel;
    QVector<Outcome> m_outcomes;
    std::vector<std::unique_ptr<Running>> m_running;
    int m_next = 0;
    bool m_stopping = false;
    bool m_finished = false;
};

#endif // FLEETRUN_H
