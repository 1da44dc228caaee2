#ifndef LABEVENTLOG_H
#define LABEVENTLOG_H

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>

#include <mutex>

// One JSON object per line, appended and flushed line by line, each stamped with "t",
// the milliseconds since the log was created. Safe to use from several threads. Without
// a file (open() never called) lines are dropped.
class LabEventLog
{
public:
    LabEventLog();

    bool open(const QString &path, QString *error);
    QString path() const { return m_file.fileName(); }

    void write(QJsonObject line);

private:
    std::mutex m_mutex;
    QElapsedTimer m_clock;
    QFile m_file;
};

#endif // LABEVENTLOG_H
