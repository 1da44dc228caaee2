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
    for (Stamped &q : m_queued)
        append(&bytes, std::move(q.first), q.second);
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
    QJsonObject line = eventLine(imei, event, fields);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_sink == Sink::None)
        return;
    m_queued.emplace_back(std::move(line), m_clock.elapsed());
    if (!m_writer.joinable()) {
        m_writer = std::thread([this] { runWriter(); });
    } else if (m_queued.size() == 1 && !m_writing) {
        // Woken once the lock is free, so that the writer does not wait for it.
        lock.unlock();
        m_wake.notify_one();
    }
}

void LabEventLog::runWriter()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_ending || !m_queued.empty(); });
        if (m_queued.empty())
            return;   // ending, nothing left
        std::vector<Stamped> taken;
        taken.swap(m_queued);
        m_writing = true;
        lock.unlock();
        QByteArray bytes;
        for (Stamped &q : taken)
            append(&bytes, std::move(q.first), q.second);
        put(bytes);
        lock.lock();
        m_writing = false;
        m_idle.notify_all();
    }
}
