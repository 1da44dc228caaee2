#include "relayendpoint.h"

#include "runtimeoverrides.h"

RelayEndpoint RelayEndpoint::with(const RuntimeOverrides &overrides)
{
    RelayEndpoint e;
    e.host = overrides.relayHost.isEmpty() ? QStringLiteral(VANTELO_RELAY_HOST_DEFAULT)
                                           : overrides.relayHost;
    if (overrides.relayPort > 0)
        e.port = overrides.relayPort;
    return e;
}
