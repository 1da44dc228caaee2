#ifndef LABEVENTLOG_H
#define LABEVENTLOG_H

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QString>

#include <mutex>

// Event lines of a lab process: one JSON object per line, flushed per line, each
// stamped with "t", the milliseconds since the log was created. Written to a file, or
// to stderr after open() with an empty path; before open() lines are dropped. Safe to
// use from several threads.
class LabEventLog
{
public:
    enum class OpenMode { Truncate, Append };

    LabEventLog();

    // Opens the file, creating its folder. Empty path: stderr.
    bool open(const QString &path, QString *error, OpenMode mode = OpenMode::Truncate);
    // The absolute path of the file (empty when there is none).
    QString path() const { return m_file.fileName(); }

    void write(QJsonObject line);
    // A line with "imei" and "event" besides the given fields.
    void write(const QString &imei, const QString &event, const QJsonObject &fields = QJsonObject());

private:
    enum class Sink { None, File, Stderr };

    QElapsedTimer m_clock;
    QFile m_file;
    Sink m_sink = Sink::None;
    std::mutex m_mutex;
};

#endif // LABEVENTLOG_H
