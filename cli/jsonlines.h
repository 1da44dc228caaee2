#ifndef JSONLINES_H
#define JSONLINES_H

#include <QByteArray>

#include "panelevent.h"

struct DevInfo;

// The --json output: one compact JSON object a line, UTF-8, ending in "\n". Pure.
namespace JsonLines {

// {"panel","phase","bytes","text"}, and "total" for progress.
QByteArray event(const PanelEvent &e);
// A panel of the account: {"panel","online","status"}.
QByteArray device(const DevInfo &d);

} // namespace JsonLines

#endif // JSONLINES_H
