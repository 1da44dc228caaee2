#include "labcloudconfig.h"

#include "labconfig.h"

#include <QJsonArray>

bool LabCloudConfig::loadSection(const QString &path, QJsonObject *section, QString *error)
{
    QJsonObject config;
    if (!LabConfig::load(path, &config, error))
        return false;
    const QJsonValue cloud = config.value(QStringLiteral("cloud"));
    if (!cloud.isObject()) {
        *error = QStringLiteral("%1 has no \"cloud\" section").arg(path);
        return false;
    }
    *section = cloud.toObject();
    return true;
}

QStringList LabCloudConfig::operations()
{
    return {QStringLiteral("getDeviceList"), QStringLiteral("checkUuidIsExist"),
            QStringLiteral("uploadToObject")};
}

static bool checkFaults(const QJsonValue &value, const QString &where, QJsonObject *out,
                        QStringList *warnings, QString *error)
{
    if (value.isUndefined() || value.isNull()) {
        *out = QJsonObject();
        return true;
    }
    if (!value.isObject()) {
        *error = QStringLiteral("%1: \"faults\" must be an object").arg(where);
        return false;
    }
    const QJsonObject faults = value.toObject();
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (!it.value().isObject()) {
            *error = QStringLiteral("%1: fault \"%2\" must be an object").arg(where, it.key());
            return false;
        }
        if (!LabCloudConfig::operations().contains(it.key()))
            warnings->append(QStringLiteral("%1: fault for unknown operation \"%2\" is never used")
                                 .arg(where, it.key()));
    }
    *out = faults;
    return true;
}

bool LabCloudConfig::parse(const QJsonObject &section, QString *error)
{
    const QJsonValue portValue = section.value(QStringLiteral("port"));
    if (!portValue.isUndefined()) {
        const int p = portValue.toInt(-1);
        if (!portValue.isDouble() || p < 0 || p > 65535) {
            *error = QStringLiteral("\"port\" must be a number from 0 to 65535");
            return false;
        }
        port = p;
    }
    events = section.value(QStringLiteral("events")).toString();
    store = section.value(QStringLiteral("store")).toString();
    if (!checkFaults(section.value(QStringLiteral("faults")), QStringLiteral("cloud"), &faults,
                     &warnings, error))
        return false;

    const QJsonValue accountsValue = section.value(QStringLiteral("accounts"));
    if (!accountsValue.isUndefined() && !accountsValue.isArray()) {
        *error = QStringLiteral("\"accounts\" must be an array");
        return false;
    }
    const QJsonArray accountArray = accountsValue.toArray();
    for (int i = 0; i < accountArray.size(); ++i) {
        const QString where = QStringLiteral("accounts[%1]").arg(i);
        const QJsonObject a = accountArray.at(i).toObject();
        if (!a.value(QStringLiteral("account")).isString()
            || !a.value(QStringLiteral("password")).isString()) {
            *error = where + QStringLiteral(": \"account\" and \"password\" must be strings");
            return false;
        }
        LabAccount account;
        account.account = a.value(QStringLiteral("account")).toString();
        account.password = a.value(QStringLiteral("password")).toString();
        if (findAccount(account.account)) {
            *error = where + QStringLiteral(": account \"%1\" is listed twice").arg(account.account);
            return false;
        }
        const QJsonArray panels = a.value(QStringLiteral("panels")).toArray();
        for (int k = 0; k < panels.size(); ++k) {
            const QJsonObject p = panels.at(k).toObject();
            if (!p.value(QStringLiteral("imei")).isString()
                || !p.value(QStringLiteral("status")).isString()) {
                *error = where + QStringLiteral(".panels[%1]: \"imei\" and \"status\" must be strings").arg(k);
                return false;
            }
            account.panels.append({p.value(QStringLiteral("imei")).toString(),
                                   p.value(QStringLiteral("status")).toString()});
        }
        if (!checkFaults(a.value(QStringLiteral("faults")), where, &account.faults, &warnings, error))
            return false;
        accounts.append(account);
    }

    const QJsonArray bindingArray = section.value(QStringLiteral("bindings")).toArray();
    for (int i = 0; i < bindingArray.size(); ++i) {
        const QJsonObject b = bindingArray.at(i).toObject();
        if (!b.value(QStringLiteral("gatewayId")).isString() || !b.value(QStringLiteral("uuid")).isString()) {
            *error = QStringLiteral("bindings[%1]: \"gatewayId\" and \"uuid\" must be strings").arg(i);
            return false;
        }
        bindings.append({b.value(QStringLiteral("gatewayId")).toString(),
                         b.value(QStringLiteral("uuid")).toString()});
    }
    return true;
}

const LabAccount *LabCloudConfig::findAccount(const QString &name) const
{
    for (const LabAccount &a : accounts)
        if (a.account == name)
            return &a;
    return nullptr;
}

QJsonObject LabCloudConfig::faultFor(const QString &operation, const QString &account) const
{
    if (const LabAccount *a = findAccount(account)) {
        const QJsonValue own = a->faults.value(operation);
        if (own.isObject())
            return own.toObject();
    }
    return faults.value(operation).toObject();
}
