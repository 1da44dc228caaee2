#ifndef TRANSFERTEXTS_H
#define TRANSFERTEXTS_H

#include <QString>

#include "relaylink.h"

// What the downloads report for the ways the sending of a file over the relay link can
// end: one table, a row per outcome, a column per download.
namespace TransferTexts {

enum class Download { Project, Firmware };

// The text of download for outcome; in the project download's texts "%1" stands for
// the file's display name, given as name. Empty for Done, ShortWrites and Stopped,
// which are not reported.
QString text(Download download, RelayLink::Outcome outcome, const QString &name = QString());

} // namespace TransferTexts

#endif // TRANSFERTEXTS_H
