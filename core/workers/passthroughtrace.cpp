#include "passthroughtrace.h"

#include <QDateTime>

bool PassthroughTrace::start(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file.isOpen())
        m_file.close();
    m_file.setFileName(path);
    m_active = m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    return m_active;
}

void PassthroughTrace::stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_active = false;
    if (m_file.isOpen())
        m_file.close();
}

QString PassthroughTrace::errorString() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_file.errorString();
}

void PassthroughTrace::record(Direction direction, const char *data, qint64 len)
{
    if (!m_active || len <= 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file.isOpen())
        return;
    QByteArray line = QDateTime::currentDateTime()
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                          .toLatin1();
    line += ' ';
    line += describe(direction, data, len);
    line += '\n';
    m_file.write(line);
    // Whole lines reach the file as they come: the user reads it while the trace runs.
    m_file.flush();
}

QByteArray PassthroughTrace::describe(Direction direction, const char *data, qint64 len)
{
    QByteArray line = direction == Direction::ToPanel ? QByteArrayLiteral("TX ")
                                                      : QByteArrayLiteral("RX ");
    line += QByteArray::number(len);
    line += " | ";
    line += QByteArray::fromRawData(data, int(len)).toHex(' ');
    line += " | ";
    for (qint64 i = 0; i < len; ++i) {
        const uchar c = uchar(data[i]);
        line += (c >= 0x20 && c < 0x7f) ? char(c) : '.';
    }
    return line;
}
