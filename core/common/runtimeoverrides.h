#ifndef RUNTIMEOVERRIDES_H
#define RUNTIMEOVERRIDES_H

#include <QString>
#include <QtGlobal>

// The environment variables that override built-in settings at run time, for the lab,
// the tests and staging set-ups. They are read here and nowhere else, all at once,
// when an object that uses them is made (a worker, a cloud endpoint); the object keeps
// what was read for its whole life, so nothing reads the environment while it works.
//
//   VANTELO_RELAY_HOST            relay server host instead of the build's
//   VANTELO_RELAY_PORT            relay server port instead of 10745
//   VANTELO_RELAY_TIMEOUT_SCALE   factor between 0 and 1 applied to every wait of the
//                                 download link (short test runs)
//   VANTELO_CLOUD_TIMEOUT_MS      bound on every wait for the cloud service
//   VANTELO_PASSTHROUGH_WAIT_MS   bound on the pass-through's connect and go-ahead waits
//
// A variable that is unset or out of range counts as not set.
struct RuntimeOverrides
{
    QString relayHost;              // empty: not set (a blank value is not set either)
    quint16 relayPort = 0;          // 0: not set; else 1 to 65535
    double relayTimeoutScale = 1;   // 1: not set; else above 0 and below 1
    int cloudTimeoutMs = 0;         // 0: not set; else positive
    int passthroughWaitMs = 0;      // 0: not set; else positive

    static RuntimeOverrides read();
};

#endif // RUNTIMEOVERRIDES_H
