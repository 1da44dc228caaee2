#ifndef RELAYENDPOINT_H
#define RELAYENDPOINT_H

#include <QString>
#include <QtGlobal>

struct RuntimeOverrides;

// Where the relay server is: the host of the build (VANTELO_RELAY_HOST at configure
// time, default 127.0.0.1) and port 10745, each replaced by its run-time override
// (RuntimeOverrides) when that is set.
struct RelayEndpoint
{
    static constexpr quint16 kDefaultPort = 10745;

    QString host;
    quint16 port = kDefaultPort;

    static RelayEndpoint with(const RuntimeOverrides &overrides);
};

#endif // RELAYENDPOINT_H
