// lab-panel: the panels of the panel lab.
//   lab-panel --config FILE [--relay-host H] [--relay-port N] [--out DIR] [--events FILE]
//             [--only IMEI[,IMEI...]] [--check]
#include "labcommandline.h"
#include "labconfig.h"
#include "labeventlog.h"
#include "labstopsignals.h"
#include "panelclient.h"
#include "panelsettings.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

int main(int argc, char *argv[])
{
    // The plain Unix event loop: with the GLib one every socket write wakes the loop once
    // more (a notifier turned on and off), a turn per forwarded message.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    LabCommandLine commandLine(QStringLiteral("lab-panel"), QStringLiteral("Panels of the panel lab"),
                               QStringLiteral("Exit 0 when the config has panels."));
    const QCommandLineOption hostOpt(QStringLiteral("relay-host"), QStringLiteral("Relay host (127.0.0.1)."), QStringLiteral("H"));
    const QCommandLineOption portOpt(QStringLiteral("relay-port"), QStringLiteral("Relay port."), QStringLiteral("N"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Folder for received files."), QStringLiteral("DIR"));
    const QCommandLineOption onlyOpt(QStringLiteral("only"), QStringLiteral("Play only these IMEIs."), QStringLiteral("IMEI,..."));
    commandLine.process({commandLine.config, hostOpt, portOpt, outOpt, commandLine.events, onlyOpt, commandLine.check});

    QJsonObject config;
    if (!commandLine.loadConfig(&config))
        return 2;
    const QJsonArray panels = config.value(QStringLiteral("panels")).toArray();
    if (commandLine.isSet(commandLine.check))
        return panels.isEmpty() ? 1 : 0;

    QSet<QString> only;
    if (commandLine.isSet(onlyOpt)) {
        for (const QString &imei : commandLine.value(onlyOpt).split(QLatin1Char(','), Qt::SkipEmptyParts))
            only.insert(imei.trimmed());
    }
    QList<PanelSettings> chosen;
    QSet<QString> seen;
    for (const QJsonValue &v : panels) {
        QStringList problems;
        const PanelSettings s = PanelSettings::fromJson(v.toObject(), &problems);
        for (const QString &p : problems)
            commandLine.warn(p);
        if (s.imei.isEmpty() || (!only.isEmpty() && !only.contains(s.imei)))
            continue;
        if (seen.contains(s.imei)) {
            commandLine.warn(QStringLiteral("panel %1 listed twice, the first one plays").arg(s.imei));
            continue;
        }
        seen.insert(s.imei);
        chosen.append(s);
    }
    for (const QString &imei : only) {
        if (!seen.contains(imei))
            commandLine.warn(QStringLiteral("--only %1 is not in the config").arg(imei));
    }
    if (chosen.isEmpty()) {
        commandLine.warn(QStringLiteral("no panels to play"));
        return 2;
    }

    const QJsonObject relay = config.value(QStringLiteral("relay")).toObject();
    const QString host = commandLine.isSet(hostOpt) ? commandLine.value(hostOpt) : QStringLiteral("127.0.0.1");
    int port = LabConfig::portValue(relay.value(QStringLiteral("port")), 10745);
    if (!commandLine.portOption(portOpt, 1, &port))
        return 2;
    QString outDir = config.value(QStringLiteral("panelOut")).toString();
    if (commandLine.isSet(outOpt))
        outDir = commandLine.value(outOpt);
    if (outDir.isEmpty())
        outDir = QStringLiteral("lab-out/panels");

    LabEventLog events;
    if (!commandLine.openEvents(&events, config.value(QStringLiteral("panelEvents")).toString()))
        return 2;

    LabStopSignals stopSignals;
    stopSignals.install();

    QStringList imeis;
    QSet<QString> waiting;
    QList<PanelClient *> clients;
    for (const PanelSettings &s : chosen) {
        imeis << s.imei;
        waiting.insert(s.imei);
        clients << new PanelClient(s, host, quint16(port), outDir, &events, &app);
    }
    for (PanelClient *c : clients) {
        QObject::connect(c, &PanelClient::registered, &app, [&waiting, &imeis](const QString &imei) {
            if (!waiting.remove(imei) || !waiting.isEmpty())
                return;
            LabCommandLine::printReady({{QStringLiteral("ready"), true},
                                        {QStringLiteral("service"), QStringLiteral("panel")},
                                        {QStringLiteral("panels"), QJsonArray::fromStringList(imeis)}});
        });
        c->start();
    }
    const int rc = app.exec();
    qDeleteAll(clients);
    events.write(QString(), QStringLiteral("stopped"));
    return rc;
}
