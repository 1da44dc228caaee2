#include "downfileobj.h"

#include <memory>

#include "cloudsync.h"
#include "firmwaredownload.h"
#include "logging.h"
#include "projectdownload.h"
#include "relayendpoint.h"
#include "relayframe.h"
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

UpdateStep::Progress DownFileOBJ::progressOf(UpdateOperation op)
{
    // The steps send it as often as the dialog wants it (UpdateStep::setProgress).
    return [this, op](qint64 done, qint64 total, int file, int files) {
        emit progress(int(op), done, total, file, files);
    };
}

void DownFileOBJ::setUnpackRoot(const QString &dir)
{
    unpackRoot = dir;
}

void DownFileOBJ::setUnpackedProject(const QString &dir)
{
    unpackedProject = dir;
}

QString DownFileOBJ::unpackDir(const char *name) const
{
    if (unpackRoot.isEmpty())
        return UnpackFolders::forProgram(QLatin1String(name));
    return unpackRoot + QLatin1Char('/') + QLatin1String(name);
}

void DownFileOBJ::updateCloudConf(QString sPath, bool useName)
{
    qCDebug(lcRelay) << "DownFileOBJ::updateCloudConf" << sPath << useName;
    if (!cloudSync)
        cloudSync.reset(new CloudSync(cloud, iMei, account, password, unpackDir("target"),
                                      reporter(UpdateOperation::CloudSync),
                                      [this] { return waits.stopRequested(); }));
    cloudSync->setProgress(progressOf(UpdateOperation::CloudSync));
    cloudSync->run(sPath, useName);
    emit finishThrd(int(UpdateOperation::CloudSync));
}

void DownFileOBJ::updateConfigTcp(QString sPath, int nFrameByte, bool bHzFile, bool updateFlag)
{
    qCDebug(lcRelay) << "DownFileOBJ::updateConfigTcp" << sPath << nFrameByte << bHzFile
                     << updateFlag;
    waits.clearStop();
    // The download closes the link whichever way it ends, before the end signal.
    const bool unpacked = !unpackedProject.isEmpty();
    ProjectDownload download(*link, waits, iMei, unpacked ? unpackedProject : unpackDir("compile"),
                             reporter(UpdateOperation::Project), unpacked);
    download.setProgress(progressOf(UpdateOperation::Project));
    download.run(sPath, nFrameByte, bHzFile, updateFlag);
    emit finishThrd(int(UpdateOperation::Project));
}

void DownFileOBJ::updateFirmWareTcp(QString sPath, int nFrameByte)
{
    qCDebug(lcRelay) << "DownFileOBJ::updateFirmWareTcp" << sPath << nFrameByte;
    waits.clearStop();
    {
        FirmwareDownload download(*link, waits, iMei, reporter(UpdateOperation::Firmware));
        download.setProgress(progressOf(UpdateOperation::Firmware));
        download.run(sPath, nFrameByte);
    }
    emit finishThrd(int(UpdateOperation::Firmware));
}

void DownFileOBJ::queryPanelInfo()
{
    qCDebug(lcRelay) << "DownFileOBJ::queryPanelInfo" << iMei;
    waits.clearStop();
    QByteArray model;
    quint32 version = 0;
    bool answered = false;
    bool versionAnswered = false;
    if (link->open(iMei, waits.connectTimeoutMs(), false) == RelayLink::Opening::Ready) {
        answered = link->queryModel(waits.ioTimeoutMs(), &model) == RelayLink::Query::Answered
                   && model.size() >= RelayFrame::kModelReplySize;
        versionAnswered = answered && !waits.stopRequested()
                          && link->queryVersion(waits.ioTimeoutMs(), &version)
                                 == RelayLink::Query::Answered;
    }
    link->close();
    // A partial model reply tells nothing: no fields rather than guessed ones.
    const RelayFrame::ModelReply r = RelayFrame::modelReply(answered ? model : QByteArray());
    qCDebug(lcRelay) << "DownFileOBJ::queryPanelInfo" << answered << model.toHex() << versionAnswered
                     << version;
    emit panelInfo(answered, r.model, r.comm, r.module, versionAnswered ? qint64(version) : -1);
}
