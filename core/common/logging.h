#ifndef LOGGING_H
#define LOGGING_H

#include <QLoggingCategory>

// The diagnostics categories of the program, one per area. Every trace goes to the
// debug output under its area's category and starts with the class and method it comes
// from ("RelayLink::check_ok timeout ..."). There is no log file; the usual rules of
// the toolkit choose what is shown, e.g. QT_LOGGING_RULES="vantelo.*.debug=false;
// vantelo.relay.debug=true", and QT_MESSAGE_PATTERN adds times or categories.
Q_DECLARE_LOGGING_CATEGORY(lcCloud)         // vantelo.cloud: cloud service, settings, keychain
Q_DECLARE_LOGGING_CATEGORY(lcRelay)         // vantelo.relay: download link and downloads
Q_DECLARE_LOGGING_CATEGORY(lcRelayFrames)   // vantelo.relay.frames: every data frame sent;
                                            // off unless a rule turns it on
Q_DECLARE_LOGGING_CATEGORY(lcPassthrough)   // vantelo.passthrough: pass-through bridge
Q_DECLARE_LOGGING_CATEGORY(lcPorts)         // vantelo.ports: port list, virtual port pairs
Q_DECLARE_LOGGING_CATEGORY(lcProject)       // vantelo.project: archives and project files
Q_DECLARE_LOGGING_CATEGORY(lcUi)            // vantelo.ui: windows and dialogs

#endif // LOGGING_H
