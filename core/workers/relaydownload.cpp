#include "relaydownload.h"

#include <QFile>

#include "logging.h"
#include "relayframe.h"
#include "relaylink.h"
#include "relaywaits.h"

namespace {
// The size fields of a command frame are 32 bits wide.
constexpr qint64 kMaxSendableSize = 0xffffffffLL;
} // namespace

RelayDownload::RelayDownload(RelayLink &link, const RelayWaits &waits, Report report)
    : UpdateStep(std::move(report), [&waits] { return waits.stopRequested(); }),
      m_link(link),
      m_waits(waits)
{
}

RelayDownload::~RelayDownload()
{
    m_link.close();
}

bool RelayDownload::openLink(const QString &imei, int connectMs, bool ioBound)
{
    switch (m_link.open(imei, connectMs, ioBound)) {
    case RelayLink::Opening::NotConnected:
        report(tr("连接TCP服务器超时"));
        return false;
    case RelayLink::Opening::NoGoAhead:
        report(tr("开启TCP服务失败"));
        return false;
    case RelayLink::Opening::Ready:
        break;
    }
    report(tr("开启TCP服务成功"));
    return true;
}

bool RelayDownload::queryModel(int replyMs, QByteArray *reply)
{
    switch (m_link.queryModel(replyMs, reply)) {
    case RelayLink::Query::NotSent:
        report(tr("发送查询型号命令失败"));
        return false;
    case RelayLink::Query::NoAnswer:
        report(tr("查询型号命令失败"));
        return false;
    case RelayLink::Query::Answered:
        break;
    }
    return true;
}

bool RelayDownload::fileSum(QFile &file, quint32 *sum) const
{
    if (file.size() > kMaxSendableSize) {
        qCDebug(lcRelay) << "RelayDownload::fileSum too large" << file.fileName() << file.size();
        return false;
    }
    quint32 total = 0;
    const bool read = readInPieces(file, [&total](const char *data, qint64 len) {
        total += RelayFrame::byteSum(data, len);
    });
    *sum = total;
    return read;
}

TransferOutcome RelayDownload::sendFile(QFile &file, qint64 size, quint32 sum, uchar code,
                                        int chunkSize, bool stopBetweenFrames,
                                        const std::function<void(qint64)> &progress,
                                        const std::function<void()> &announced)
{
    const qint64 written = m_link.sendCommand(code, quint32(size), sum, m_waits.ioTimeoutMs());
    if (written != RelayFrame::kCommandFrameSize)
        return m_link.lost() ? TransferOutcome::LinkLost : TransferOutcome::AnnounceNotSent;
    if (m_link.check_ok() != RelayFrame::Accepted)
        return m_link.lost() ? TransferOutcome::LinkLost : TransferOutcome::AnnounceRefused;
    if (announced)
        announced();

    bool unanswered = false;
    switch (m_link.sendFrames(file, size, chunkSize, progress, stopBetweenFrames, &unanswered)) {
    case RelayLink::FrameOutcome::Done:
        break;
    case RelayLink::FrameOutcome::ChecksumErrors:
        return TransferOutcome::ChecksumErrors;
    case RelayLink::FrameOutcome::NoAcknowledgement:
        return TransferOutcome::NoAcknowledgement;
    case RelayLink::FrameOutcome::ShortWrites:
        return TransferOutcome::ShortWrites;
    case RelayLink::FrameOutcome::Stopped:
        return TransferOutcome::Stopped;
    case RelayLink::FrameOutcome::LinkLost:
        return TransferOutcome::LinkLost;
    case RelayLink::FrameOutcome::ReadFailed:
        return TransferOutcome::ReadFailed;
    }

    m_link.waitWritten(m_waits.ioTimeoutMs());
    switch (m_link.sendEndOfFile(unanswered)) {
    case RelayLink::FrameOutcome::Done:
        return TransferOutcome::Done;
    case RelayLink::FrameOutcome::LinkLost:
        return TransferOutcome::LinkLost;
    default:
        return TransferOutcome::EndRefused;
    }
}
