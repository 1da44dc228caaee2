// lab-relay: the relay server of the panel lab.
//   lab-relay --config FILE [--port N] [--events FILE] [--check]
#include "labcommandline.h"
#include "labeventlog.h"
#include "labstopsignals.h"
#include "relayserver.h"
#include "relaysettings.h"

#include <QCoreApplication>
#include <QJsonObject>

int main(int argc, char *argv[])
{
    // The plain Unix event loop: with the GLib one every socket write wakes the loop once
    // more (a notifier turned on and off), a turn per forwarded message.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    LabCommandLine commandLine(QStringLiteral("lab-relay"), QStringLiteral("Relay server of the panel lab"),
                               QStringLiteral("Exit 0 when the config has a relay section."));
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0 = free)."), QStringLiteral("N"));
    commandLine.process({commandLine.config, portOpt, commandLine.events, commandLine.check});

    QJsonObject config;
    if (!commandLine.loadConfig(&config))
        return 2;
    if (commandLine.isSet(commandLine.check))
        return config.value(QStringLiteral("relay")).isObject() ? 0 : 1;

    RelaySettings settings = RelaySettings::fromJson(config);
    for (const QString &w : settings.warnings)
        commandLine.warn(w);
    int port = settings.port;
    if (!commandLine.portOption(portOpt, 0, &port))
        return 2;
    LabEventLog events;
    if (!commandLine.openEvents(&events, settings.events))
        return 2;

    LabStopSignals stopSignals;
    stopSignals.install();

    RelayServer server(settings, &events);
    QString error;
    if (!server.listen(quint16(port), &error)) {
        commandLine.warn(QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(error));
        return 1;
    }
    LabCommandLine::printReady({{QStringLiteral("ready"), true},
                                {QStringLiteral("service"), QStringLiteral("relay")},
                                {QStringLiteral("port"), int(server.port())}});
    events.write(QString(), QStringLiteral("listening"), {{QStringLiteral("port"), int(server.port())}});

    const int rc = app.exec();
    events.write(QString(), QStringLiteral("stopped"));
    return rc;
}
