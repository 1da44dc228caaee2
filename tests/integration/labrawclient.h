#ifndef LABRAWCLIENT_H
#define LABRAWCLIENT_H

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>

// A plain TCP client for the lab tests: writes bytes as given and reads what comes,
// with bounded waits. Plays a desktop or a panel on the relay link.
class LabRawClient
{
public:
    bool connectTo(quint16 port, int ms = 2000)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (!m_socket.waitForConnected(ms))
            return false;
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }

    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(2000);
    }

    // Everything that arrives within ms.
    QByteArray readFor(int ms)
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

    // Reads until n bytes have come (or ms passed); keeps any surplus for later reads.
    QByteArray readBytes(int n, int ms = 3000)
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

    // The bytes of the first read that brings anything (empty on time-out).
    QByteArray readOnce(int ms = 3000)
    {
        if (!m_pending.isEmpty())
            return takeBuffered();
        if (m_socket.bytesAvailable() == 0)
            m_socket.waitForReadyRead(ms);
        return m_socket.readAll();
    }

    // True once the far side has closed the connection (within ms).
    bool waitClosed(int ms = 3000)
    {
        QDeadlineTimer deadline(ms);
        while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            if (m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                m_pending += m_socket.readAll();
        }
        m_pending += m_socket.readAll();
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void close() { m_socket.abort(); }
    QByteArray takeBuffered()
    {
        QByteArray b = m_pending;
        m_pending.clear();
        return b;
    }
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_pending;
};

#endif // LABRAWCLIENT_H
