#ifndef LABRAWCLIENT_H
#define LABRAWCLIENT_H

#include <QByteArray>
#include <QTcpSocket>

// A plain TCP client for the lab tests: writes bytes as given and reads what comes,
// with bounded waits. Plays a desktop or a panel on the relay link.
class LabRawClient
{
public:
    bool connectTo(quint16 port, int ms = 2000);
    void send(const QByteArray &bytes);

    // Everything that arrives within ms.
    QByteArray readFor(int ms);
    // Reads until n bytes have come (or ms passed); keeps any surplus for later reads.
    QByteArray readBytes(int n, int ms = 3000);
    // The bytes of the first read that brings anything (empty on time-out).
    QByteArray readOnce(int ms = 3000);
    // True once the far side has closed the connection (within ms).
    bool waitClosed(int ms = 3000);

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void close() { m_socket.abort(); }
    QByteArray takeBuffered();
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_pending;
};

#endif // LABRAWCLIENT_H
