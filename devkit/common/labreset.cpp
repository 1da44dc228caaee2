#include "labreset.h"

#include <QDebug>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

bool LabReset::resetOnClose(qintptr descriptor)
{
#ifdef Q_OS_UNIX
    if (descriptor < 0)
        return false;
    struct linger off = {1, 0};
    if (::setsockopt(int(descriptor), SOL_SOCKET, SO_LINGER, &off, sizeof off) == 0)
        return true;
    qDebug() << "LabReset::resetOnClose failed" << descriptor;
    return false;
#else
    Q_UNUSED(descriptor)
    return false;
#endif
}
