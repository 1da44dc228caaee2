#ifndef RELAYENDPOINT_H
#define RELAYENDPOINT_H

#include <QString>
#include <QtGlobal>

// Where the relay server is: the host of the build (VANTELO_RELAY_HOST, default
// 127.0.0.1) and port 10745, each overridden at run time by the environment variables
// VANTELO_RELAY_HOST and VANTELO_RELAY_PORT when they are set.
namespace RelayEndpoint {

constexpr quint16 kDefaultPort = 10745;

QString host();
quint16 port();

} // namespace RelayEndpoint

#endif // RELAYENDPOINT_H
