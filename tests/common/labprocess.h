#ifndef LABPROCESS_H
#define LABPROCESS_H

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// One process of the panel lab (lab-cloud, lab-relay, lab-panel) started by a test.
// A lab process prints one JSON line {"ready":true,...} on its standard output once it
// serves; start() waits for it (bounded). The process is stopped by stop() or on
// destruction.
class LabProcess
{
public:
    explicit LabProcess(const QString &program);
    ~LabProcess();

    LabProcess(const LabProcess &) = delete;
    LabProcess &operator=(const LabProcess &) = delete;

    bool start(const QStringList &args, int timeoutMs = 10000);
    void stop();
    bool isRunning() const;
    qint64 processId() const { return m_process.processId(); }

    // The ready line, and its "port" member (0 when there is none).
    QJsonObject readyInfo() const { return m_ready; }
    quint16 port() const;

    // Everything the process wrote to stderr so far (for failure messages).
    QString diagnostics();

    static QString binDir();
    static QString programPath(const QString &program);

private:
    QString m_program;
    QProcess m_process;
    QJsonObject m_ready;
    QByteArray m_stderr;
};

// Ends a process: terminated, killed when it has not ended within 3 s.
void stopProcess(QProcess &process);

// A free TCP port on 127.0.0.1 at the moment of the call.
quint16 freeLoopbackPort();

// The resident size in KiB of a process (0: this one); -1 when it cannot be read.
qint64 residentKiB(qint64 pid = 0);
// False in a build with a sanitizer, whose own bookkeeping (freed memory held in
// quarantine, shadow memory) makes resident sizes say nothing about a program's use.
bool residentSizeTellsUse();

// Event lines that a lab process wrote to a file, one JSON object per line.
QList<QJsonObject> readEventLines(const QString &path);

// Waits (bounded, processing events) until the file holds at least n event lines
// for which pred is true; returns the lines read last.
template <typename Pred>
QList<QJsonObject> waitForEventLines(const QString &path, int n, Pred pred, int timeoutMs = 10000);

// The lines that hold each of the given fields with the same text (strings) or value
// (numbers, booleans), e.g. {{"imei", imei}, {"event", "session-start"}}.
QList<QJsonObject> linesWith(const QList<QJsonObject> &lines, const QJsonObject &fields);

// Waits (bounded, processing events) until the file holds at least n such lines;
// returns those lines.
QList<QJsonObject> waitForLinesWith(const QString &path, const QJsonObject &fields, int n = 1,
                                    int timeoutMs = 3000);

// The body of a data-driven test of a lab program's --check: writes the row's "config"
// (QJsonObject) into dir and expects the row's "exitCode" (int).
void verifyCheckOption(const QString &program, const QString &dir);

#include "labprocess_impl.h"

#endif // LABPROCESS_H
