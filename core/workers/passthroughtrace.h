#ifndef PASSTHROUGHTRACE_H
#define PASSTHROUGHTRACE_H

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <mutex>

// A trace of the pass-through that the user starts, into a file of the user's choice:
// one line per chunk moved, with the local time, the direction ("TX": from the COM
// port's side to the panel, "RX": from the panel to the COM port's side), the byte
// count, the bytes in hex and as printable text ('.' for the rest). Chunks may be recorded
// on another thread than the one that starts and stops the trace.
class PassthroughTrace
{
public:
    enum class Direction { ToPanel, FromPanel };

    // Truncates and opens path; false (with errorString) when it cannot be written.
    bool start(const QString &path);
    void stop();
    bool active() const { return m_active; }
    QString errorString() const;

    void record(Direction direction, const char *data, qint64 len);

    // The line for one chunk, without the time and the line end.
    static QByteArray describe(Direction direction, const char *data, qint64 len);

private:
    mutable std::mutex m_mutex;
    QFile m_file;
    // Read without the lock: an untraced chunk costs no more than this check.
    std::atomic<bool> m_active{false};
};

#endif // PASSTHROUGHTRACE_H
