#ifndef LABEVENTLOG_H
#define LABEVENTLOG_H

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QString>

// Event lines of a lab process: one JSON object per line, flushed per line, with
// "t" (ms since the process started), "imei" and "event" besides the given fields.
// Written to a file, or to stderr when no file is given.
class LabEventLog
{
public:
    LabEventLog();

    // Opens (truncates) the file, creating its folder. Empty path: stderr.
    bool open(const QString &path, QString *error);

    void write(const QString &imei, const QString &event, const QJsonObject &fields = QJsonObject());

private:
    QElapsedTimer m_clock;
    QFile m_file;
    bool m_toFile = false;
};

#endif // LABEVENTLOG_H
