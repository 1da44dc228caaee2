#ifndef FIRMWAREDOWNLOAD_H
#define FIRMWAREDOWNLOAD_H

#include <QString>

#include "relaydownload.h"

// The firmware download ("升级底层") of one .bin image, in steps: the link is opened and
// the image summed, the panel's model reply is checked against the image's name (the
// firmware model table), then the image is announced, sent and ended. It is read from
// its file frame by frame, never held whole.
class FirmwareDownload : public RelayDownload
{
    Q_DECLARE_TR_FUNCTIONS(FirmwareDownload)

public:
    FirmwareDownload(RelayLink &link, const RelayWaits &waits, QString imei, Report report);

    void run(const QString &sPath, int nFrameByte);

private:
    QString m_imei;
};

#endif // FIRMWAREDOWNLOAD_H
