#include "relaysettings.h"

#include "labconfig.h"
#include "relaywire.h"

#include <QJsonArray>

RelaySettings RelaySettings::fromJson(const QJsonObject &config)
{
    RelaySettings s;
    const QJsonObject relay = config.value(QStringLiteral("relay")).toObject();
    s.port = LabConfig::portValue(relay.value(QStringLiteral("port")), 10745);
    s.events = relay.value(QStringLiteral("events")).toString();
    const QJsonObject faults = relay.value(QStringLiteral("faults")).toObject();
    s.goAhead = faults.value(QStringLiteral("goAhead")).toString();
    if (!RelayWire::isGoAheadVariant(s.goAhead)) {
        s.warnings << QStringLiteral("unknown relay goAhead \"%1\", using the normal go-ahead").arg(s.goAhead);
        s.goAhead.clear();
    }
    const QJsonArray panels = config.value(QStringLiteral("panels")).toArray();
    for (const QJsonValue &v : panels) {
        const QJsonObject panel = v.toObject();
        const QString imei = LabConfig::imeiValue(panel.value(QStringLiteral("imei")));
        if (imei.isEmpty())
            continue;
        const QJsonObject pf = panel.value(QStringLiteral("faults")).toObject();
        PanelRule rule;
        rule.goAhead = pf.value(QStringLiteral("goAhead")).toString();
        if (!RelayWire::isGoAheadVariant(rule.goAhead)) {
            s.warnings << QStringLiteral("unknown goAhead \"%1\" for %2").arg(rule.goAhead, imei);
            rule.goAhead.clear();
        }
        rule.refuse = pf.value(QStringLiteral("refuse")).toBool();
        rule.resetDesktop = pf.value(QStringLiteral("resetAfterFrames")).toInt() > 0;
        s.panels.insert(imei, rule);
    }
    return s;
}

QString RelaySettings::goAheadFor(const QString &imei) const
{
    const auto it = panels.constFind(imei);
    if (it != panels.constEnd() && !it->goAhead.isEmpty())
        return it->goAhead;
    return goAhead;
}

bool RelaySettings::refuses(const QString &imei) const
{
    const auto it = panels.constFind(imei);
    return it != panels.constEnd() && it->refuse;
}

bool RelaySettings::resetsDesktop(const QString &imei) const
{
    const auto it = panels.constFind(imei);
    return it != panels.constEnd() && it->resetDesktop;
}
