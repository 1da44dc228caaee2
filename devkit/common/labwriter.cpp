#include "labwriter.h"

#include <QTcpSocket>

void LabWriter::writeNow(QTcpSocket *socket, const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        socket->write(bytes);
    const bool outer = !m_writing;
    m_writing = true;
    socket->flush();
    if (outer)
        m_writing = false;
}
