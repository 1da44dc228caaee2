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

void LabEventLog::write(QJsonObject line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_sink == Sink::None)
        return;
    line.insert(QStringLiteral("t"), double(m_clock.elapsed()));
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    if (m_sink == Sink::Stderr) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    } else if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        qWarning() << "LabEventLog::write failed" << m_file.errorString();
    }
}

void LabEventLog::write(const QString &imei, const QString &event, const QJsonObject &fields)
{
    QJsonObject line = fields;
    line.insert(QStringLiteral("imei"), imei);
    line.insert(QStringLiteral("event"), event);
    write(line);
}
