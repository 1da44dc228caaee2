#include "labeventlog.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

LabEventLog::LabEventLog()
{
    m_clock.start();
}

LabEventLog::~LabEventLog()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable())
        m_writer.join();   // the writer empties the queue before it ends
}

bool LabEventLog::open(const QString &path, QString *error, OpenMode mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (path.isEmpty()) {
        m_sink = Sink::Stderr;
        return true;
    }
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    m_file.setFileName(info.absoluteFilePath());
    const QIODevice::OpenMode how = mode == OpenMode::Append ? QIODevice::Append : QIODevice::Truncate;
    if (!m_file.open(QIODevice::WriteOnly | how)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_sink = Sink::File;
    return true;
}

void LabEventLog::append(QByteArray *out, QJsonObject line, qint64 t)
{
    line.insert(QStringLiteral("t"), double(t));
    *out += QJsonDocument(line).toJson(QJsonDocument::Compact);
    *out += '\n';
}

namespace {
// Text that a JSON writer puts out as it is.
bool isPlain(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == QLatin1Char('"') || c == QLatin1Char('\\')
            || c == QLatin1Char('/'))
            return false;
    }
    return true;
}
} // namespace

// A line of bytes, put together directly: the same bytes as QJsonDocument's compact
// form of eventLine() with bytesFields() (keys in order, whole numbers as integers).
void LabEventLog::appendBytesLine(QByteArray *out, const Queued &q)
{
    const int shown = qMin(q.bytes.size(), q.hexBytes);
    *out += "{\"event\":\"";
    *out += q.event.toLatin1();
    *out += "\",\"hex\":\"";
    *out += QByteArray::fromRawData(q.bytes.constData(), shown).toHex();
    *out += '"';
    if (q.bytes.size() > q.hexBytes)
        *out += ",\"hexCut\":true";
    *out += ",\"imei\":\"";
    *out += q.imei.toLatin1();
    *out += "\",\"len\":";
    *out += QByteArray::number(q.bytes.size());
    *out += ",\"t\":";
    *out += QByteArray::number(q.t);
    *out += "}\n";
}

void LabEventLog::append(QByteArray *out, Queued *q)
{
    if (q->hexBytes >= 0 && isPlain(q->imei) && isPlain(q->event)) {
        appendBytesLine(out, *q);
        return;
    }
    const QJsonObject fields = q->hexBytes < 0 ? std::move(q->fields) : bytesFields(q->bytes, q->hexBytes);
    append(out, eventLine(q->imei, q->event, fields), q->t);
}

// Called by one thread at a time: under the lock, or by the writer while m_writing.
void LabEventLog::put(const QByteArray &bytes)
{
    if (m_sink == Sink::Stderr) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    } else if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        qWarning() << "LabEventLog::put failed" << m_file.errorString();
    }
}

void LabEventLog::write(QJsonObject line)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_sink == Sink::None)
        return;
    const qint64 t = m_clock.elapsed();
    m_idle.wait(lock, [this] { return !m_writing; });
    QByteArray bytes;
    for (Queued &q : m_queued)
        append(&bytes, &q);
    m_queued.clear();
    append(&bytes, std::move(line), t);
    put(bytes);
}

QJsonObject LabEventLog::eventLine(const QString &imei, const QString &event, const QJsonObject &fields)
{
    QJsonObject line = fields;
    line.insert(QStringLiteral("imei"), imei);
    line.insert(QStringLiteral("event"), event);
    return line;
}

void LabEventLog::write(const QString &imei, const QString &event, const QJsonObject &fields)
{
    write(eventLine(imei, event, fields));
}

void LabEventLog::writeSoon(const QString &imei, const QString &event, const QJsonObject &fields)
{
    queue({imei, event, fields, QByteArray(), -1, 0});
}

void LabEventLog::writeBytesSoon(const QString &imei, const QString &event, const QByteArray &bytes, int hexBytes)
{
    queue({imei, event, QJsonObject(), bytes, qMax(0, hexBytes), 0});
}

QJsonObject LabEventLog::bytesFields(const QByteArray &bytes, int hexBytes)
{
    QJsonObject fields{{QStringLiteral("hex"), QString::fromLatin1(bytes.left(hexBytes).toHex())},
                       {QStringLiteral("len"), bytes.size()}};
    if (bytes.size() > hexBytes)
        fields.insert(QStringLiteral("hexCut"), true);
    return fields;
}

void LabEventLog::queue(Queued &&q)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_sink == Sink::None)
        return;
    q.t = m_clock.elapsed();
    m_queued.push_back(std::move(q));
    if (!m_writer.joinable()) {
        m_writer = std::thread([this] { runWriter(); });
    } else if (m_queued.size() == 1 && m_writerIdle) {
        // Woken once the lock is free, so that the writer does not wait for it.
        lock.unlock();
        m_wake.notify_one();
    }
}

void LabEventLog::runWriter()
{
    std::vector<Queued> taken;   // swapped with the queue: neither gives its room back
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_writerIdle = true;
        m_wake.wait(lock, [this] { return m_ending || !m_queued.empty(); });
        m_writerIdle = false;
        if (m_queued.empty())
            return;   // ending, nothing left
        // Lines of a stream come close together: until a look finds none, the writer
        // looks again kLingerUs after each write instead of being woken per line.
        while (!m_queued.empty()) {
            taken.swap(m_queued);
            m_writing = true;
            lock.unlock();
            QByteArray bytes;
            for (Queued &q : taken)
                append(&bytes, &q);
            taken.clear();   // the lines' bytes are let go here, not under the lock
            put(bytes);
            lock.lock();
            m_writing = false;
            m_idle.notify_all();
            m_wake.wait_for(lock, std::chrono::microseconds(kLingerUs), [this] { return m_ending; });
        }
    }
}
