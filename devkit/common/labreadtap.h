#ifndef LABREADTAP_H
#define LABREADTAP_H

#include <QObject>

#include <functional>

class QTcpSocket;

// Lets the owner of a connected QTcpSocket read the descriptor itself. Each time the
// descriptor is readable, the handler is asked first: when it took the bytes (true) the
// socket does not hear of it; else the socket reads and signals as usual (its buffer,
// readyRead, the end of the connection). The readiness is the one of the socket's own
// read notifier, so that the descriptor is never watched twice. A socket whose notifier
// cannot be found gets no tap: it is then read as usual.
class LabReadTap : public QObject
{
public:
    using Handler = std::function<bool()>;

    // Owned by the socket. Returns nullptr when the socket has no read notifier.
    static LabReadTap *attach(QTcpSocket *socket, Handler handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    LabReadTap(QTcpSocket *socket, Handler handler);

    Handler m_handler;
};

#endif // LABREADTAP_H
