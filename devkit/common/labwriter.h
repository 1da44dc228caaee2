#ifndef LABWRITER_H
#define LABWRITER_H

#include <QByteArray>

class QTcpSocket;

// Writes a lab peer's bytes in the loop turn that made them (flush() after write()),
// and tells whether such a write is under way: a bytesWritten that the flush emits is
// then handled once it returns, never inside it.
class LabWriter
{
public:
    // bytes may be empty: what the socket holds goes out.
    void writeNow(QTcpSocket *socket, const QByteArray &bytes);
    bool writing() const { return m_writing; }

private:
    bool m_writing = false;
};

#endif // LABWRITER_H
