#include "labrawclient.h"

#include <QDeadlineTimer>
#include <QHostAddress>

bool LabRawClient::connectTo(quint16 port, int ms)
{
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    if (!m_socket.waitForConnected(ms))
        return false;
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

void LabRawClient::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.waitForBytesWritten(2000);
}

QByteArray LabRawClient::readFor(int ms)
{
    QByteArray all = takeBuffered();
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired() && m_socket.state() == QAbstractSocket::ConnectedState) {
        if (m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            all += m_socket.readAll();
    }
    all += m_socket.readAll();
    return all;
}

QByteArray LabRawClient::readBytes(int n, int ms)
{
    QDeadlineTimer deadline(ms);
    while (m_pending.size() < n && !deadline.hasExpired()) {
        m_pending += m_socket.readAll();
        if (m_pending.size() >= n || m_socket.state() != QAbstractSocket::ConnectedState)
            break;
        m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    m_pending += m_socket.readAll();
    const QByteArray head = m_pending.left(n);
    m_pending.remove(0, head.size());
    return head;
}

QByteArray LabRawClient::readOnce(int ms)
{
    if (!m_pending.isEmpty())
        return takeBuffered();
    if (m_socket.bytesAvailable() == 0)
        m_socket.waitForReadyRead(ms);
    return m_socket.readAll();
}

bool LabRawClient::waitClosed(int ms)
{
    QDeadlineTimer deadline(ms);
    while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            m_pending += m_socket.readAll();
    }
    m_pending += m_socket.readAll();
    return m_socket.state() != QAbstractSocket::ConnectedState;
}

QByteArray LabRawClient::takeBuffered()
{
    QByteArray b = m_pending;
    m_pending.clear();
    return b;
}
