// lab-relay: the relay server of the panel lab.
//   lab-relay --config FILE [--port N] [--events FILE] [--check]
#include "labconfig.h"
#include "labeventlog.h"
#include "labstopsignals.h"
#include "relayserver.h"
#include "relaysettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lab-relay"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Relay server of the panel lab"));
    parser.addHelpOption();
    const QCommandLineOption configOpt(QStringLiteral("config"), QStringLiteral("Lab config (JSON)."), QStringLiteral("FILE"));
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0 = free)."), QStringLiteral("N"));
    const QCommandLineOption eventsOpt(QStringLiteral("events"), QStringLiteral("Event lines file."), QStringLiteral("FILE"));
    const QCommandLineOption checkOpt(QStringLiteral("check"), QStringLiteral("Exit 0 when the config has a relay section."));
    parser.addOptions({configOpt, portOpt, eventsOpt, checkOpt});
    parser.process(app);

    if (!parser.isSet(configOpt)) {
        std::fprintf(stderr, "lab-relay: --config FILE is required\n");
        return 2;
    }
    QJsonObject config;
    QString error;
    if (!LabConfig::load(parser.value(configOpt), &config, &error)) {
        std::fprintf(stderr, "lab-relay: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(checkOpt))
        return config.value(QStringLiteral("relay")).isObject() ? 0 : 1;

    RelaySettings settings = RelaySettings::fromJson(config);
    for (const QString &w : settings.warnings)
        std::fprintf(stderr, "lab-relay: %s\n", qPrintable(w));
    int port = settings.port;
    if (parser.isSet(portOpt)) {
        bool ok = false;
        port = parser.value(portOpt).toInt(&ok);
        if (!ok || port < 0 || port > 65535) {
            std::fprintf(stderr, "lab-relay: bad --port %s\n", qPrintable(parser.value(portOpt)));
            return 2;
        }
    }
    LabEventLog events;
    const QString eventsPath = parser.isSet(eventsOpt) ? parser.value(eventsOpt) : settings.events;
    if (!events.open(eventsPath, &error)) {
        std::fprintf(stderr, "lab-relay: cannot open events file %s: %s\n", qPrintable(eventsPath), qPrintable(error));
        return 2;
    }

    LabStopSignals stopSignals;
    stopSignals.install();

    RelayServer server(settings, &events);
    if (!server.listen(quint16(port), &error)) {
        std::fprintf(stderr, "lab-relay: cannot listen on 127.0.0.1:%d: %s\n", port, qPrintable(error));
        return 1;
    }
    const QJsonObject ready{{QStringLiteral("ready"), true},
                            {QStringLiteral("service"), QStringLiteral("relay")},
                            {QStringLiteral("port"), int(server.port())}};
    std::printf("%s\n", QJsonDocument(ready).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    events.write(QString(), QStringLiteral("listening"), {{QStringLiteral("port"), int(server.port())}});

    const int rc = app.exec();
    events.write(QString(), QStringLiteral("stopped"));
    return rc;
}
