#include "fuzzsupport.h"

#include <QtGlobal>

// The decoders trace to the debug output; millions of runs need none of it.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}
