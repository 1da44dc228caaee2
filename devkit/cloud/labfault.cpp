#include "labfault.h"

#include <QJsonDocument>

static const char *const kStockFaultMsg = "模拟故障";

LabReply LabFault::shape(const QJsonObject &fault, const QJsonObject &answer)
{
    LabReply reply;
    reply.delayMs = qMax(0, fault.value(QStringLiteral("delayMs")).toInt(0));

    if (fault.value(QStringLiteral("hang")).toBool()) {
        reply.hang = true;
        reply.changed = true;
        reply.eventCode = QStringLiteral("hang");
        return reply;
    }

    const QJsonValue rawBody = fault.value(QStringLiteral("body"));
    if (rawBody.isString()) {
        reply.raw = true;
        reply.changed = true;
        reply.body = rawBody.toString().toUtf8();
        reply.eventCode = QStringLiteral("raw");
        return reply;
    }

    QJsonObject obj = answer;
    const QJsonValue faultCode = fault.value(QStringLiteral("code"));
    const QJsonValue faultMsg = fault.value(QStringLiteral("msg"));
    bool changed = false;

    if (faultCode.isDouble()) {
        obj.insert(QStringLiteral("code"), faultCode);
        if (faultCode.toDouble() != 200)
            obj.remove(QStringLiteral("data"));
        obj.insert(QStringLiteral("msg"),
                   faultMsg.isString() ? faultMsg.toString() : QString::fromUtf8(kStockFaultMsg));
        changed = true;
    } else if (faultMsg.isString()) {
        obj.insert(QStringLiteral("msg"), faultMsg);
        changed = true;
    }

    auto successWith = [&](const QJsonValue *data) {
        if (!faultCode.isDouble()) {
            obj.insert(QStringLiteral("code"), 200);
            obj.insert(QStringLiteral("msg"),
                       faultMsg.isString() ? faultMsg.toString() : QStringLiteral("成功"));
        }
        if (data)
            obj.insert(QStringLiteral("data"), *data);
        else
            obj.remove(QStringLiteral("data"));
        changed = true;
    };
    if (fault.value(QStringLiteral("noData")).toBool())
        successWith(nullptr);
    const QJsonValue dataRaw = fault.value(QStringLiteral("dataRaw"));
    if (!dataRaw.isUndefined())
        successWith(&dataRaw);

    const QJsonValue asString = fault.value(QStringLiteral("codeAsString"));
    if (asString.isString()) {
        obj.insert(QStringLiteral("code"), asString);
        changed = true;
    } else if (asString.toBool()) {
        const QJsonValue code = obj.value(QStringLiteral("code"));
        obj.insert(QStringLiteral("code"),
                   code.isDouble() ? QString::number(code.toDouble(), 'g', 15) : code.toString());
        changed = true;
    }

    if (fault.value(QStringLiteral("omitMsg")).toBool()) {
        obj.remove(QStringLiteral("msg"));
        changed = true;
    }
    if (fault.value(QStringLiteral("noCode")).toBool()) {
        obj.remove(QStringLiteral("code"));
        changed = true;
    }

    reply.padTo = qint64(qMax(0.0, fault.value(QStringLiteral("bodyBytes")).toDouble(0)));
    reply.endless = fault.value(QStringLiteral("endless")).toBool();
    if (reply.padTo > 0 || reply.endless)
        changed = true;

    reply.changed = changed;
    reply.body = QJsonDocument(obj).toJson(QJsonDocument::Compact);
    reply.eventCode = obj.contains(QStringLiteral("code")) ? obj.value(QStringLiteral("code"))
                                                           : QJsonValue(QStringLiteral("nocode"));
    return reply;
}

QStringList LabFault::unknownKeys(const QJsonObject &fault)
{
    static const QStringList known = {
        QStringLiteral("delayMs"),  QStringLiteral("hang"),         QStringLiteral("body"),
        QStringLiteral("code"),     QStringLiteral("msg"),          QStringLiteral("omitMsg"),
        QStringLiteral("noCode"),   QStringLiteral("codeAsString"), QStringLiteral("noData"),
        QStringLiteral("dataRaw"),  QStringLiteral("bodyBytes"),    QStringLiteral("endless")};
    QStringList unknown;
    for (auto it = fault.begin(); it != fault.end(); ++it)
        if (!known.contains(it.key()))
            unknown.append(it.key());
    return unknown;
}
