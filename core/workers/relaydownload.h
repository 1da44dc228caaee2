#ifndef RELAYDOWNLOAD_H
#define RELAYDOWNLOAD_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "relaylink.h"
#include "updatestep.h"

class QFile;
class RelayWaits;

// What the project and the firmware download have in common: the link to the panel
// opened with the texts the dialog shows, the queries with their failure texts, and the
// sum of a file. The link is closed when the download is over, whichever way it ends.
class RelayDownload : public UpdateStep
{
    Q_DECLARE_TR_FUNCTIONS(RelayDownload)

protected:
    RelayDownload(RelayLink &link, const RelayWaits &waits, Report report);
    ~RelayDownload();

    RelayLink &link() const { return m_link; }
    const RelayWaits &waits() const { return m_waits; }

    // Connects and registers imei, reporting "连接TCP服务器超时" or "开启TCP服务失败"
    // on failure and "开启TCP服务成功" once the relay gives the go-ahead.
    bool openLink(const QString &imei, int connectMs, bool ioBound);
    // The model query, with its failure texts.
    bool queryModel(int replyMs, QByteArray *reply);
    // True when query was answered; else notSent or noAnswer is reported.
    bool answered(RelayLink::Query query, const QString &notSent, const QString &noAnswer);
    // The checksum of the whole file, for its announcement, read in pieces. False when
    // the file cannot be read, is larger than an announcement can tell, or the stop
    // request came.
    bool fileSum(QFile &file, quint32 *sum) const;

private:
    RelayLink &m_link;
    const RelayWaits &m_waits;
};

#endif // RELAYDOWNLOAD_H
