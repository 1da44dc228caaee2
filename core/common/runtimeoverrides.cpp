#include "runtimeoverrides.h"

#include <QByteArray>

namespace {

int positiveInt(const char *name)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : 0;
}

} // namespace

RuntimeOverrides RuntimeOverrides::read()
{
    RuntimeOverrides o;
    const QByteArray host = qgetenv("VANTELO_RELAY_HOST").trimmed();
    if (!host.isEmpty())
        o.relayHost = QString::fromLocal8Bit(host);
    const int port = positiveInt("VANTELO_RELAY_PORT");
    if (port < 65536)
        o.relayPort = quint16(port);
    bool ok = false;
    const double scale = qEnvironmentVariable("VANTELO_RELAY_TIMEOUT_SCALE").toDouble(&ok);
    if (ok && scale > 0.0 && scale < 1.0)
        o.relayTimeoutScale = scale;
    o.cloudTimeoutMs = positiveInt("VANTELO_CLOUD_TIMEOUT_MS");
    o.passthroughWaitMs = positiveInt("VANTELO_PASSTHROUGH_WAIT_MS");
    return o;
}
