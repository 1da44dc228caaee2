#include "labreadtap.h"

#include <QDebug>
#include <QEvent>
#include <QSocketNotifier>
#include <QTcpSocket>

LabReadTap::LabReadTap(QTcpSocket *socket, Handler handler) : QObject(socket), m_handler(std::move(handler)) {}

LabReadTap *LabReadTap::attach(QTcpSocket *socket, Handler handler)
{
    const qintptr fd = socket->socketDescriptor();
    const auto notifiers = socket->findChildren<QSocketNotifier *>();
    for (QSocketNotifier *n : notifiers) {
        if (n->type() == QSocketNotifier::Read && n->socket() == fd) {
            auto *tap = new LabReadTap(socket, std::move(handler));
            n->installEventFilter(tap);
            return tap;
        }
    }
    qDebug() << "LabReadTap::attach no read notifier for descriptor" << fd;
    return nullptr;
}

bool LabReadTap::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::SockAct && m_handler())
        return true;
    return QObject::eventFilter(watched, event);
}
