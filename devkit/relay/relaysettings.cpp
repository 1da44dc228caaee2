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
        s.readPassthroughFaults(pf, imei, &rule);
        s.panels.insert(imei, rule);
    }
    return s;
}

void RelaySettings::readPassthroughFaults(const QJsonObject &faults, const QString &imei, PanelRule *rule)
{
    const struct { const char *key; int *value; } counts[] = {
        {"closeAfterBytes", &rule->closeAfterBytes}, {"resetAfterBytes", &rule->resetAfterBytes},
        {"coalesceMs", &rule->coalesceMs}, {"pauseDesktopMs", &rule->pauseDesktopMs}};
    for (const auto &c : counts) {
        const QJsonValue v = faults.value(QLatin1String(c.key));
        if (v.isUndefined())
            continue;
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d < 0 || d > 0x7fffffff || d != double(qint64(d))) {
            warnings << QStringLiteral("%1 for %2 must be a whole number >= 0").arg(QLatin1String(c.key), imei);
            continue;
        }
        *c.value = int(d);
    }
}

RelaySettings::PanelRule RelaySettings::ruleFor(const QString &imei) const
{
    return panels.value(imei);
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
