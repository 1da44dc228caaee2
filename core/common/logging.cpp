#include "logging.h"

Q_LOGGING_CATEGORY(lcCloud, "vantelo.cloud")
Q_LOGGING_CATEGORY(lcRelay, "vantelo.relay")
Q_LOGGING_CATEGORY(lcRelayFrames, "vantelo.relay.frames", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPassthrough, "vantelo.passthrough")
Q_LOGGING_CATEGORY(lcPorts, "vantelo.ports")
Q_LOGGING_CATEGORY(lcProject, "vantelo.project")
Q_LOGGING_CATEGORY(lcUi, "vantelo.ui")
