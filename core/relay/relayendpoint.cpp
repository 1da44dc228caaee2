#include "relayendpoint.h"

#include <QByteArray>

namespace RelayEndpoint {

QString host()
{
    const QByteArray env = qgetenv("VANTELO_RELAY_HOST");
    if (!env.trimmed().isEmpty())
        return QString::fromLocal8Bit(env.trimmed());
    return QStringLiteral(VANTELO_RELAY_HOST_DEFAULT);
}

quint16 port()
{
    bool ok = false;
    const int p = qEnvironmentVariableIntValue("VANTELO_RELAY_PORT", &ok);
    if (ok && p > 0 && p < 65536)
        return quint16(p);
    return kDefaultPort;
}

} // namespace RelayEndpoint
