#ifndef LABEVENTLOG_H
#define LABEVENTLOG_H

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Event lines of a lab process: one JSON object per line, each stamped with "t", the
// milliseconds since the log was created. Written to a file, or to stderr after open()
// with an empty path; before open() lines are dropped. Safe to use from several
// threads.
//
// write() puts the line out at once (flushed). writeSoon() is for lines of a kind that
// comes once per message: the caller only queues it, and a thread of the log's own
// formats and writes what queued in one go, so that a message's path does not wait for
// the log. Lines keep their order: write() first puts out every queued line, and the
// queue is emptied when the log is destroyed.
class LabEventLog
{
public:
    enum class OpenMode { Truncate, Append };

    LabEventLog();
    ~LabEventLog();

    // How long the writer waits for more lines after a write before it is woken per line
    // again: a queued line of a stream is out at most this much later.
    static constexpr int kLingerUs = 5000;

    LabEventLog(const LabEventLog &) = delete;
    LabEventLog &operator=(const LabEventLog &) = delete;

    // Opens the file, creating its folder. Empty path: stderr.
    bool open(const QString &path, QString *error, OpenMode mode = OpenMode::Truncate);
    // The absolute path of the file (empty when there is none).
    QString path() const { return m_file.fileName(); }

    void write(QJsonObject line);
    // A line with "imei" and "event" besides the given fields.
    void write(const QString &imei, const QString &event, const QJsonObject &fields = QJsonObject());
    // The same line, written soon by the log's thread.
    void writeSoon(const QString &imei, const QString &event, const QJsonObject &fields);
    // A line of a message's bytes, written soon: "len", "hex" of at most hexBytes of them
    // and, when that cut some, "hexCut". The log's thread builds the fields, so that the
    // caller only hands the bytes over (shared, not copied).
    void writeBytesSoon(const QString &imei, const QString &event, const QByteArray &bytes, int hexBytes);
    // The fields writeBytesSoon() puts in its line.
    static QJsonObject bytesFields(const QByteArray &bytes, int hexBytes);

private:
    enum class Sink { None, File, Stderr };
    // A line queued by writeSoon()/writeBytesSoon(), built by whoever puts it out.
    struct Queued
    {
        QString imei;
        QString event;
        QJsonObject fields;
        QByteArray bytes;
        int hexBytes;          // < 0: fields is the whole of the line's fields
        qint64 t;
    };

    static QJsonObject eventLine(const QString &imei, const QString &event, const QJsonObject &fields);
    static void append(QByteArray *out, QJsonObject line, qint64 t);
    static void append(QByteArray *out, Queued *q);
    static void appendBytesLine(QByteArray *out, const Queued &q);
    void queue(Queued &&q);
    void put(const QByteArray &bytes);
    void runWriter();

    QElapsedTimer m_clock;
    QFile m_file;
    Sink m_sink = Sink::None;
    std::mutex m_mutex;
    std::condition_variable m_wake;      // lines queued, or the log ends
    std::condition_variable m_idle;      // the writer put out what it took
    std::vector<Queued> m_queued;
    bool m_writing = false;              // the writer holds lines not yet out
    bool m_writerIdle = false;           // the writer waits to be woken
    bool m_ending = false;
    std::thread m_writer;                // started by the first writeSoon()
};

#endif // LABEVENTLOG_H
