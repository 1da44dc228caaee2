#ifndef CLOUDSYNCREPLY_H
#define CLOUDSYNCREPLY_H

#include <QByteArray>
#include <QString>

#include "cloudrequest.h"

// The cloud project sync's side of the cloud service: the body of the check request
// and the judging of the check and upload replies into the texts the dialog shows.
// Pure functions: no network, no QObject.
namespace CloudSyncReply {

// Compact JSON of "project/checkUuidIsExist": uuid, gatewayId, account, password,
// usePrjName and "check":true.
QByteArray checkBody(const QString &uuid, const QString &gatewayId, const QString &account,
                     const QString &password, bool useName);

struct CheckVerdict
{
    QString text;        // text to report; empty: report nothing
    bool upload = false; // the service wants the archive
};

// Code 200 up to date, 401 bad account, 500 upload, other codes "云组态验证异常:<msg>".
// A wait cut short by the worker's stop reports nothing; a reply that never came
// (time-out, service unreachable) or that is not a JSON object with "code" is reported
// with the network error, or "云服务应答无效" when there is none.
CheckVerdict judgeCheck(const CloudRequest::Result &result);

// Code 200 "组态工程上传成功且已重新绑定", anything else "云组态上传异常：<msg>";
// waits that end without a usable reply as for the check. Empty: report nothing.
QString judgeUpload(const CloudRequest::Result &result);

} // namespace CloudSyncReply

#endif // CLOUDSYNCREPLY_H
