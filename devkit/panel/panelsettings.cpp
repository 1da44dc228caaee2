#include "panelsettings.h"

#include "labconfig.h"
#include "panelwire.h"

#include <QJsonArray>

namespace {

int intValue(const QJsonObject &o, const char *key, int fallback, int lo, int hi, const QString &imei,
             QStringList *problems)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return fallback;
    const double d = v.toDouble(-1e300);
    if (!v.isDouble() || d < lo || d > hi || d != double(qint64(d))) {
        problems->append(QStringLiteral("%1: %2 must be a whole number in %3..%4").arg(imei, QLatin1String(key)).arg(lo).arg(hi));
        return fallback;
    }
    return int(d);
}

bool hexValue(const QJsonObject &o, const char *key, QByteArray *bytes, const QString &imei, QStringList *problems)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return false;
    if (!v.isString() || !PanelWire::parseHex(v.toString(), bytes)) {
        problems->append(QStringLiteral("%1: %2 must be a hex string").arg(imei, QLatin1String(key)));
        return false;
    }
    return true;
}

QByteArray replyBytes(const QString &text)
{
    if (text.isEmpty() || text == QLatin1String("silence"))
        return QByteArray();
    return text.toLatin1();
}

} // namespace

bool PanelSettings::isRelayFault(const QString &key)
{
    static const QStringList relayKeys = {QStringLiteral("goAhead"), QStringLiteral("refuse"),
                                          QStringLiteral("closeAfterBytes"), QStringLiteral("resetAfterBytes"),
                                          QStringLiteral("coalesceMs"), QStringLiteral("pauseDesktopMs")};
    return relayKeys.contains(key);
}

PanelSettings PanelSettings::fromJson(const QJsonObject &panel, QStringList *problems)
{
    PanelSettings s;
    s.imei = LabConfig::imeiValue(panel.value(QStringLiteral("imei")));
    if (s.imei.isEmpty())
        problems->append(QStringLiteral("a panel without \"imei\""));
    s.model = intValue(panel, "model", 0, 0, 255, s.imei, problems);
    s.comm = intValue(panel, "comm", 0, 0, 255, s.imei, problems);
    s.module = intValue(panel, "module", 0, 0, 255, s.imei, problems);
    s.version = quint32(intValue(panel, "version", 0, 0, 0x7fffffff, s.imei, problems));
    s.serial = panel.value(QStringLiteral("serial")).toString();

    const QJsonObject f = panel.value(QStringLiteral("faults")).toObject();
    s.replyDelayMs = intValue(f, "replyDelayMs", 0, 0, 600000, s.imei, problems);
    s.disconnectAfterFrames = intValue(f, "disconnectAfterFrames", 0, 0, 0x7fffffff, s.imei, problems);
    s.noEndAck = f.value(QStringLiteral("noEndAck")).toBool();
    s.passthroughSplit = f.value(QStringLiteral("passthroughSplit")).toBool();
    s.passthroughLeaveAfter = intValue(f, "passthroughLeaveAfter", 0, 0, 0x7fffffff, s.imei, problems);
    s.passthroughSend = intValue(f, "passthroughSend", 0, 0, 0x7fffffff, s.imei, problems);
    s.hasModelReply = hexValue(f, "modelReply", &s.modelReply, s.imei, problems);
    s.hasVersionReply = hexValue(f, "versionReply", &s.versionReply, s.imei, problems);

    for (const QJsonValue &v : f.value(QStringLiteral("framePlan")).toArray()) {
        const QJsonObject e = v.toObject();
        PlanEntry entry;
        entry.code = intValue(e, "code", -1, 0, 255, s.imei, problems);
        entry.index = quint32(intValue(e, "index", 0, 0, 0x7fffffff, s.imei, problems));
        entry.delayMs = intValue(e, "delayMs", 0, 0, 600000, s.imei, problems);
        const QJsonValue replies = e.value(QStringLiteral("replies"));
        if (replies.isString()) {
            entry.replies.append(replyBytes(replies.toString()));
        } else if (replies.isArray()) {
            for (const QJsonValue &r : replies.toArray())
                entry.replies.append(replyBytes(r.toString()));
        } else {
            problems->append(QStringLiteral("%1: framePlan entry without \"replies\"").arg(s.imei));
            continue;
        }
        s.framePlan.append(entry);
    }
    readDownloadFaults(f, &s, problems);
    static const QStringList known = {QStringLiteral("replyDelayMs"), QStringLiteral("framePlan"),
                                      QStringLiteral("modelReply"), QStringLiteral("versionReply"),
                                      QStringLiteral("disconnectAfterFrames"), QStringLiteral("noEndAck"),
                                      QStringLiteral("passthroughSplit"), QStringLiteral("passthroughLeaveAfter"),
                                      QStringLiteral("passthroughSend")};
    for (const QString &key : f.keys()) {
        if (!known.contains(key) && !isRelayFault(key) && !isDownloadFault(key))
            problems->append(QStringLiteral("%1: unknown fault \"%2\"").arg(s.imei, key));
    }
    return s;
}

bool PanelSettings::isDownloadFault(const QString &key)
{
    return key == QLatin1String("splitReplies") || key == QLatin1String("resetAfterFrames");
}

void PanelSettings::readDownloadFaults(const QJsonObject &faults, PanelSettings *s, QStringList *problems)
{
    s->splitReplies = faults.value(QStringLiteral("splitReplies")).toBool();
    s->resetAfterFrames = intValue(faults, "resetAfterFrames", 0, 0, 0x7fffffff, s->imei, problems);
}
