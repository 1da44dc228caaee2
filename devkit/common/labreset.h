#ifndef LABRESET_H
#define LABRESET_H

#include <QtGlobal>

// Makes the next close of a TCP connection a reset (RST) instead of an orderly close
// (FIN): linger on, with a time of zero. Used by the lab to play a connection that
// is torn down rather than ended.
class LabReset
{
public:
    // descriptor: the socket's native descriptor (QAbstractSocket::socketDescriptor()).
    // False when the option could not be set; the close is then an ordinary one.
    static bool resetOnClose(qintptr descriptor);
};

#endif // LABRESET_H
