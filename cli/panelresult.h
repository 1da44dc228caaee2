#ifndef PANELRESULT_H
#define PANELRESULT_H

#include <QString>

#include "updateoperation.h"

// How a panel of a run ended, and its word in the output ("succeeded", "failed",
// "stopped", "offline", "unknown"). Pure.
class PanelResult
{
public:
    enum class Result { Succeeded, Failed, Stopped, Offline, Unknown };

    static QString word(Result r);

    // The operation reported its success as its last text: the image written
    // ("写入底层成功"), the project complete ("组态升级完成"), the cloud project up to date
    // or uploaded. The texts are compared in the language in use.
    static bool succeeded(UpdateOperation op, const QString &lastText);

    // The answers of the info queries: "model 70, comm 2 (WIFI), module 3, version 258";
    // version -1 (not answered) is "-".
    static QString infoText(int model, int comm, int module, qint64 version);
};

#endif // PANELRESULT_H
