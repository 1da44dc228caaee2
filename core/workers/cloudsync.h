#ifndef CLOUDSYNC_H
#define CLOUDSYNC_H

#include <QString>
#include <QStringList>

#include "cloudclient.h"
#include "cloudendpoint.h"
#include "updatestep.h"

// The cloud project sync ("同步云组态") of one target.zip, in steps: the archive is
// unpacked whole (nothing goes to the service otherwise), its project identity worked
// out from the unpacked files, the service asked whether it holds that project for the
// panel, and the archive uploaded when it does not. Talks to the service through a
// client of its own, made on the worker's thread at the first call.
class CloudSync : public UpdateStep
{
    Q_DECLARE_TR_FUNCTIONS(CloudSync)

public:
    // unpackDir: where target.zip is unpacked (emptied first).
    CloudSync(CloudEndpoint endpoint, QString imei, QString account, QString password,
              QString unpackDir, Report report, StopRequested stopRequested);

    void run(const QString &sPath, bool useName);

private:
    // The project identity of the unpacked files, in the archive's order; false when a
    // file cannot be read (reported here) or the stop request came (silently).
    bool identify(const QStringList &files, QString *uuid);

    CloudEndpoint m_endpoint;
    QString m_imei;
    QString m_account;
    QString m_password;
    QString m_unpackDir;
    CloudClient m_client;
};

#endif // CLOUDSYNC_H
