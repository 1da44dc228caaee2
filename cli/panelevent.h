#ifndef PANELEVENT_H
#define PANELEVENT_H

#include <QString>
#include <QtGlobal>

// One thing that happened to one panel of a run, as the output shows it: phase
// "start", "step" (a text of the operation), "progress" (bytes of total moved), "info"
// (the answers of the info queries), or the result: "succeeded", "failed", "stopped",
// "offline", "unknown".
struct PanelEvent
{
    QString panel;
    QString phase;
    qint64 bytes = 0;
    qint64 total = 0;
    QString text;
};

#endif // PANELEVENT_H
