#include "firmwaredownload.h"

#include <QFile>

#include "logging.h"
#include "relayframe.h"
#include "relaylink.h"
#include "transfertexts.h"
#include "typecompare.h"

namespace {
constexpr int kFirmwareConnectMs = 10000;
constexpr int kFirmwareModelReplyMs = 30000;
} // namespace

FirmwareDownload::FirmwareDownload(RelayLink &link, const RelayWaits &waits, QString imei,
                                   Report report)
    : RelayDownload(link, waits, std::move(report)), m_imei(std::move(imei))
{
}

void FirmwareDownload::run(const QString &sPath, int nFrameByte)
{
    if (!RelayFrame::frameSizeUsable(nFrameByte)) {
        report(tr("帧大小必须大于8字节"));
        return;
    }
    report(tr("连接TCP服务器"));
    if (!openLink(m_imei, kFirmwareConnectMs, true))
        return;

    const auto failure = [](RelayLink::Outcome outcome) {
        return TransferTexts::text(TransferTexts::Download::Firmware, outcome);
    };
    QFile file(sPath);
    quint32 sum = 0;
    // Each frame's chunk is read straight into the frame: no buffer of the file's own.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !fileSum(file, &sum)) {
        if (!stopRequested())
            report(failure(RelayLink::Outcome::ReadFailed));
        return;
    }
    const qint64 size = file.size();

    QByteArray reply;
    if (!queryModel(kFirmwareModelReplyMs, &reply))
        return;
    if (!typeCompare(reply, sPath)) {
        report(tr("底层与型号不匹配"));
        return;
    }

    report(tr("写入底层信息"));
    const QString writtenText = tr("底层已写入:%1/%2");   // looked up once, not per frame
    const RelayLink::Outcome outcome = link().sendFile(
        file, size, sum, RelayFrame::kAnnounceFirmware, RelayFrame::chunkSize(nFrameByte), true,
        kProgressEveryMs, [&](qint64 offset) {
            frameAccepted(writtenText, offset, size, offset, size, 1, 1);
        },
        [&] {
            report(tr("开始写入底层"));
            progress(0, size, 1, 1);
        });
    if (outcome == RelayLink::Outcome::Done) {
        report(tr("写入底层成功"));
        return;
    }
    const QString text = failure(outcome);
    if (text.isEmpty())
        qCDebug(lcRelay) << "FirmwareDownload::run ended" << int(outcome);
    else
        report(text);
}
