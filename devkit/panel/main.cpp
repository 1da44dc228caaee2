// lab-panel: the panels of the panel lab.
//   lab-panel --config FILE [--relay-host H] [--relay-port N] [--out DIR] [--events FILE]
//             [--only IMEI[,IMEI...]] [--check]
#include "labconfig.h"
#include "labeventlog.h"
#include "labstopsignals.h"
#include "panelclient.h"
#include "panelsettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lab-panel"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Panels of the panel lab"));
    parser.addHelpOption();
    const QCommandLineOption configOpt(QStringLiteral("config"), QStringLiteral("Lab config (JSON)."), QStringLiteral("FILE"));
    const QCommandLineOption hostOpt(QStringLiteral("relay-host"), QStringLiteral("Relay host (127.0.0.1)."), QStringLiteral("H"));
    const QCommandLineOption portOpt(QStringLiteral("relay-port"), QStringLiteral("Relay port."), QStringLiteral("N"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Folder for received files."), QStringLiteral("DIR"));
    const QCommandLineOption eventsOpt(QStringLiteral("events"), QStringLiteral("Event lines file."), QStringLiteral("FILE"));
    const QCommandLineOption onlyOpt(QStringLiteral("only"), QStringLiteral("Play only these IMEIs."), QStringLiteral("IMEI,..."));
    const QCommandLineOption checkOpt(QStringLiteral("check"), QStringLiteral("Exit 0 when the config has panels."));
    parser.addOptions({configOpt, hostOpt, portOpt, outOpt, eventsOpt, onlyOpt, checkOpt});
    parser.process(app);

    if (!parser.isSet(configOpt)) {
        std::fprintf(stderr, "lab-panel: --config FILE is required\n");
        return 2;
    }
    QJsonObject config;
    QString error;
    if (!LabConfig::load(parser.value(configOpt), &config, &error)) {
        std::fprintf(stderr, "lab-panel: %s\n", qPrintable(error));
        return 2;
    }
    const QJsonArray panels = config.value(QStringLiteral("panels")).toArray();
    if (parser.isSet(checkOpt))
        return panels.isEmpty() ? 1 : 0;

    QSet<QString> only;
    if (parser.isSet(onlyOpt)) {
        for (const QString &imei : parser.value(onlyOpt).split(QLatin1Char(','), Qt::SkipEmptyParts))
            only.insert(imei.trimmed());
    }
    QList<PanelSettings> chosen;
    QSet<QString> seen;
    for (const QJsonValue &v : panels) {
        QStringList problems;
        const PanelSettings s = PanelSettings::fromJson(v.toObject(), &problems);
        for (const QString &p : problems)
            std::fprintf(stderr, "lab-panel: %s\n", qPrintable(p));
        if (s.imei.isEmpty() || (!only.isEmpty() && !only.contains(s.imei)))
            continue;
        if (seen.contains(s.imei)) {
            std::fprintf(stderr, "lab-panel: panel %s listed twice, the first one plays\n", qPrintable(s.imei));
            continue;
        }
        seen.insert(s.imei);
        chosen.append(s);
    }
    for (const QString &imei : only) {
        if (!seen.contains(imei))
            std::fprintf(stderr, "lab-panel: --only %s is not in the config\n", qPrintable(imei));
    }
    if (chosen.isEmpty()) {
        std::fprintf(stderr, "lab-panel: no panels to play\n");
        return 2;
    }

    const QJsonObject relay = config.value(QStringLiteral("relay")).toObject();
    const QString host = parser.isSet(hostOpt) ? parser.value(hostOpt) : QStringLiteral("127.0.0.1");
    int port = LabConfig::portValue(relay.value(QStringLiteral("port")), 10745);
    if (parser.isSet(portOpt)) {
        bool ok = false;
        port = parser.value(portOpt).toInt(&ok);
        if (!ok || port <= 0 || port > 65535) {
            std::fprintf(stderr, "lab-panel: bad --relay-port %s\n", qPrintable(parser.value(portOpt)));
            return 2;
        }
    }
    QString outDir = config.value(QStringLiteral("panelOut")).toString();
    if (parser.isSet(outOpt))
        outDir = parser.value(outOpt);
    if (outDir.isEmpty())
        outDir = QStringLiteral("lab-out/panels");

    LabEventLog events;
    const QString eventsPath = parser.isSet(eventsOpt) ? parser.value(eventsOpt)
                                                       : config.value(QStringLiteral("panelEvents")).toString();
    if (!events.open(eventsPath, &error)) {
        std::fprintf(stderr, "lab-panel: cannot open events file %s: %s\n", qPrintable(eventsPath), qPrintable(error));
        return 2;
    }

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
            const QJsonObject ready{{QStringLiteral("ready"), true},
                                    {QStringLiteral("service"), QStringLiteral("panel")},
                                    {QStringLiteral("panels"), QJsonArray::fromStringList(imeis)}};
            std::printf("%s\n", QJsonDocument(ready).toJson(QJsonDocument::Compact).constData());
            std::fflush(stdout);
        });
        c->start();
    }
    const int rc = app.exec();
    qDeleteAll(clients);
    events.write(QString(), QStringLiteral("stopped"));
    return rc;
}
