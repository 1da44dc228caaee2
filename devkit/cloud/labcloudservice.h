#ifndef LABCLOUDSERVICE_H
#define LABCLOUDSERVICE_H

#include "labcloudconfig.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <mutex>

// One part of a multipart upload as the HTTP layer parsed it.
struct LabUploadPart
{
    QString name;
    QString filename;
    QString contentType;
    QByteArray content;
};

// The service's judgement of one request, before anything is answered.
struct LabOutcome
{
    QJsonObject answer;   // the service's own reply object
    QJsonObject event;    // what the request carried: "account", "fields", "file", "identity"
    QString account;      // the account named in the request, for picking faults

    // An accepted upload: commit() stores the archive and binds the project.
    bool accepted = false;
    QString gatewayId;
    QString fileName;
    QString uuid;
    QByteArray archive;
};

// The operations of the cloud service: accounts, panels, project bindings and the
// archive store. Judging a request changes nothing; commit() carries out an accepted
// upload. Safe to use from the server's worker threads.
class LabCloudService
{
public:
    // The Content-Type of an upload: this followed by a boundary (1 to 70 characters
    // of those RFC 2046 allows, not ending in a blank).
    static const char *const uploadContentTypePrefix;

    LabCloudService(const LabCloudConfig &config, const QString &storeDir);

    const LabCloudConfig &config() const { return m_config; }

    LabOutcome deviceList(const QByteArray &body) const;
    LabOutcome checkUuid(const QByteArray &body) const;
    LabOutcome upload(const QString &contentType, const QList<LabUploadPart> &parts) const;

    // Stores the archive under <store>/<gatewayId>/<file name> and binds the uuid to the
    // gateway. When the archive cannot be stored the answer becomes an error and nothing
    // is bound.
    void commit(LabOutcome *outcome);

    bool isBound(const QString &gatewayId, const QString &uuid) const;

private:
    // The account when the password is right; otherwise null, with the refusal as the
    // outcome's answer.
    const LabAccount *signIn(const QString &account, const QString &password, LabOutcome *outcome) const;

    LabCloudConfig m_config;
    QString m_storeDir;
    mutable std::mutex m_mutex;
    QHash<QString, QString> m_bindings; // gatewayId -> uuid of the project bound last
};

#endif // LABCLOUDSERVICE_H
