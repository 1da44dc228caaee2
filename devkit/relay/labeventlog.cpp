#include "labeventlog.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

LabEventLog::LabEventLog()
{
    m_clock.start();
}

bool LabEventLog::open(const QString &path, QString *error)
{
    if (path.isEmpty()) {
        m_toFile = false;
        return true;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_toFile = true;
    return true;
}

void LabEventLog::write(const QString &imei, const QString &event, const QJsonObject &fields)
{
    QJsonObject line = fields;
    line.insert(QStringLiteral("t"), double(m_clock.elapsed()));
    line.insert(QStringLiteral("imei"), imei);
    line.insert(QStringLiteral("event"), event);
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    if (m_toFile) {
        m_file.write(bytes);
        m_file.flush();
    } else {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
}
