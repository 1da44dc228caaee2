#include "labeventlog.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

LabEventLog::LabEventLog()
{
    m_clock.start();
}

bool LabEventLog::open(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    m_file.setFileName(info.absoluteFilePath());
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void LabEventLog::write(QJsonObject line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file.isOpen())
        return;
    line.insert(QStringLiteral("t"), double(m_clock.elapsed()));
    QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact);
    text.append('\n');
    if (m_file.write(text) != text.size() || !m_file.flush())
        qWarning() << "LabEventLog::write failed" << m_file.errorString();
}
