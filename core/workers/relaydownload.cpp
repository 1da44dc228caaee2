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
    const RelayLink::Opening opening = m_link.open(imei, connectMs, ioBound);
    if (opening != RelayLink::Opening::Ready) {
        report(opening == RelayLink::Opening::NotConnected ? tr("连接TCP服务器超时")
                                                           : tr("开启TCP服务失败"));
        return false;
    }
    report(tr("开启TCP服务成功"));
    return true;
}

bool RelayDownload::answered(RelayLink::Query query, const QString &notSent, const QString &noAnswer)
{
    if (query == RelayLink::Query::Answered)
        return true;
    report(query == RelayLink::Query::NotSent ? notSent : noAnswer);
    return false;
}

bool RelayDownload::queryModel(int replyMs, QByteArray *reply)
{
    return answered(m_link.queryModel(replyMs, reply), tr("发送查询型号命令失败"),
                    tr("查询型号命令失败"));
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
