#ifndef DOWNFILEOBJ_H
#define DOWNFILEOBJ_H

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "cloudendpoint.h"
#include "relaywaits.h"
#include "updateoperation.h"
#include "updatestep.h"

class CloudSync;
class RelayLink;

// Carries out one remote update operation for one panel on a thread of its own:
// code 0 firmware download, 1 project download, 2 cloud project sync (UpdateOperation).
// Requests come in through the slots (queued from the update dialog); every slot
// reports with information(code, text) and ends with exactly one finishThrd(code).
// The work itself is done by the operation's steps: FirmwareDownload and
// ProjectDownload over the relay link (RelayLink), CloudSync with the cloud service.
class DownFileOBJ : public QObject
{
    Q_OBJECT
public:
    // A worker whose cloud project sync talks to no service: it has no base URL.
    DownFileOBJ(QString iMei, QString account, QString password, QObject *parent = nullptr);
    // cloud: the service of the cloud project sync, as the settings read at start say.
    // The relay endpoint and the run-time overrides are taken here, once.
    DownFileOBJ(QString iMei, QString account, QString password, const CloudEndpoint &cloud,
                QObject *parent = nullptr);
    ~DownFileOBJ() override;

    // Called directly from the dialog's thread, also while an operation runs: true
    // shortens every relay wait to 1 ms so a running download ends at once; false
    // restores the normal waits.
    void setStopFlag(bool bflag);

    // Called before the worker's first operation. Where its operations unpack their
    // archives: by default the folders that UnpackFolders chooses (beside the program, or
    // under the per-user data folder when the program's folder is not writable), which
    // only one worker at a time may use; workers that run side by side each get a folder
    // of their own here.
    void setUnpackRoot(const QString &dir);
    // The project download takes the project from dir, already unpacked and checked by
    // the caller, and only reads it: the archive of a request is not unpacked again.
    void setUnpackedProject(const QString &dir);

    bool stopFlag() const { return waits.stopRequested(); }
    int replyTimeout() const { return waits.replyTimeoutMs(); }
    int ioTimeout() const { return waits.ioTimeoutMs(); }
    int connectTimeout() const { return waits.connectTimeoutMs(); }

signals:
    void information(int type, QString msg);
    void finishThrd(int op);
    // Bytes done of total for operation op (an UpdateOperation): the firmware image, the
    // project's files together (file n of files), or the upload body. Sent when a file
    // starts, at most 4 times a second while bytes move, and when a file is complete.
    void progress(int op, qint64 done, qint64 total, int file, int files);
    // What queryPanelInfo found: the model reply (answered false when it got none) and
    // the project version (-1 when that query got no answer).
    void panelInfo(bool answered, int model, int comm, int module, qint64 version);

public slots:
    void updateCloudConf(QString sPath, bool useName);
    void updateConfigTcp(QString sPath, int nFrameByte = 512, bool bHzFile = false,
                         bool updateFlag = false);
    void updateFirmWareTcp(QString sPath, int nFrameByte = 512);
    // Reads the panel's model and project version over the relay, then closes the link;
    // ends with panelInfo, exactly once, and never with finishThrd.
    void queryPanelInfo();

private:
    // Where the texts of operation op go: information(op, text).
    std::function<void(const QString &)> reporter(UpdateOperation op);
    UpdateStep::Progress progressOf(UpdateOperation op);
    // The folder where an operation unpacks its archive: under the unpack root when one
    // is set, else as UnpackFolders chooses.
    QString unpackDir(const char *name) const;

    QString iMei;
    QString account;
    QString password;
    RelayWaits waits;                 // stop request and relay bounds (setStopFlag)
    CloudEndpoint cloud;
    QString unpackRoot;               // empty: as UnpackFolders chooses
    QString unpackedProject;          // empty: the project download unpacks its archive
    std::unique_ptr<RelayLink> link;  // the socket is made by a download, on this thread
    std::unique_ptr<CloudSync> cloudSync;   // made by the first cloud project sync
};

#endif // DOWNFILEOBJ_H
