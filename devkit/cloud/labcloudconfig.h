#ifndef LABCLOUDCONFIG_H
#define LABCLOUDCONFIG_H

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// The "cloud" section of the lab's JSON config: accounts with their panels, projects
// bound at start, fault switches (global and per account) and the process settings.
struct LabPanel
{
    QString imei;
    QString status;
};

struct LabAccount
{
    QString account;
    QString password;
    QList<LabPanel> panels;
    QJsonObject faults; // operation -> fault object; overrides the global ones
};

class LabCloudConfig
{
public:
    static const int defaultPort = 18080;

    // Reads the file and hands back its "cloud" section. False when the file cannot be
    // read, is not a JSON object or has no "cloud" object.
    static bool loadSection(const QString &path, QJsonObject *section, QString *error);

    // Checks and takes over a section. False, with a reason, on a malformed entry.
    bool parse(const QJsonObject &section, QString *error);

    const LabAccount *findAccount(const QString &name) const;

    // The fault object for an operation: the account's own when it has one for that
    // operation, else the global one, else an empty object.
    QJsonObject faultFor(const QString &operation, const QString &account) const;

    // The operations the service knows, for checking fault keys.
    static QStringList operations();

    int port = defaultPort;
    QString events;
    QString store;
    QJsonObject faults;
    QList<LabAccount> accounts;
    QList<QPair<QString, QString>> bindings; // gatewayId, uuid
    QStringList warnings;
};

#endif // LABCLOUDCONFIG_H
