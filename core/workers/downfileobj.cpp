#include "downfileobj.h"


#include "cloudsync.h"
#include "firmwaredownload.h"
#include "logging.h"
#include "projectdownload.h"
#include "relayendpoint.h"
#include "relaylink.h"
#include "runtimeoverrides.h"
#include "unpackfolders.h"

DownFileOBJ::DownFileOBJ(QString iMei, QString account, QString password, QObject *parent)
    : DownFileOBJ(std::move(iMei), std::move(account), std::move(password), CloudEndpoint(), parent)
{
}

DownFileOBJ::DownFileOBJ(QString iMei, QString account, QString password,
                         const CloudEndpoint &cloud, QObject *parent)
    : QObject(parent),
      iMei(std::move(iMei)),
      account(std::move(account)),
      password(std::move(password)),
      cloud(cloud)
{
    const RuntimeOverrides overrides = RuntimeOverrides::read();
    link.reset(new RelayLink(this, RelayEndpoint::with(overrides), overrides.relayTimeoutScale, waits));
}

DownFileOBJ::~DownFileOBJ() = default;

void DownFileOBJ::setStopFlag(bool bflag)
{
    waits.setStop(bflag);
}

std::function<void(const QString &)> DownFileOBJ::reporter(UpdateOperation op)
{
    return [this, op](const QString &text) { emit information(int(op), text); };
}

QString DownFileOBJ::unpackDir(const char *name)
{
    return UnpackFolders::forProgram(QLatin1String(name));
}

void DownFileOBJ::updateCloudConf(QString sPath, bool useName)
{
    qCDebug(lcRelay) << "DownFileOBJ::updateCloudConf" << sPath << useName;
    if (!cloudSync)
        cloudSync.reset(new CloudSync(cloud, iMei, account, password, unpackDir("target"),
                                      reporter(UpdateOperation::CloudSync),
                                      [this] { return waits.stopRequested(); }));
    cloudSync->run(sPath, useName);
    emit finishThrd(int(UpdateOperation::CloudSync));
}

void DownFileOBJ::updateConfigTcp(QString sPath, int nFrameByte, bool bHzFile, bool updateFlag)
{
    qCDebug(lcRelay) << "DownFileOBJ::updateConfigTcp" << sPath << nFrameByte << bHzFile
                     << updateFlag;
    waits.clearStop();
    // The download closes the link whichever way it ends, before the end signal.
    ProjectDownload(*link, waits, iMei, unpackDir("compile"), reporter(UpdateOperation::Project))
        .run(sPath, nFrameByte, bHzFile, updateFlag);
    emit finishThrd(int(UpdateOperation::Project));
}

void DownFileOBJ::updateFirmWareTcp(QString sPath, int nFrameByte)
{
    qCDebug(lcRelay) << "DownFileOBJ::updateFirmWareTcp" << sPath << nFrameByte;
    waits.clearStop();
    FirmwareDownload(*link, waits, iMei, reporter(UpdateOperation::Firmware)).run(sPath, nFrameByte);
    emit finishThrd(int(UpdateOperation::Firmware));
}
