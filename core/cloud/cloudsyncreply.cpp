#include "cloudsyncreply.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include "cloudreply.h"

namespace CloudSyncReply {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CloudSyncReply", text);
}

// The usable reply object (a JSON object with a "code" member), if there is one.
bool replyObject(const CloudRequest::Result &result, QJsonObject *obj)
{
    return result.outcome == CloudRequest::Outcome::Finished
           && CloudReply::parseObject(result.body, obj)
           && obj->contains(QStringLiteral("code"));
}

// Why no usable reply came: the network error, or the reply itself was not one.
QString failureReason(const CloudRequest::Result &result)
{
    return result.errorText.isEmpty() ? tr("云服务应答无效") : result.errorText;
}

} // namespace

QByteArray checkBody(const QString &uuid, const QString &gatewayId, const QString &account,
                     const QString &password, bool useName)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("uuid"), uuid);
    obj.insert(QStringLiteral("gatewayId"), gatewayId);
    obj.insert(QStringLiteral("account"), account);
    obj.insert(QStringLiteral("password"), password);
    obj.insert(QStringLiteral("usePrjName"), useName);
    obj.insert(QStringLiteral("check"), true);
    return QJsonDocument(obj).toJson(QJsonDocument::Compact);
}

CheckVerdict judgeCheck(const CloudRequest::Result &result)
{
    CheckVerdict verdict;
    if (result.outcome == CloudRequest::Outcome::Interrupted)
        return verdict;
    QJsonObject obj;
    if (!replyObject(result, &obj)) {
        verdict.text = tr("云组态验证异常:%1").arg(failureReason(result));
        return verdict;
    }
    switch (CloudReply::code(obj)) {
    case 200:
        verdict.text = tr("云组态工程已经是最新");
        break;
    case 401:
        verdict.text = tr("账号不存在或密码错误");
        break;
    case 500:
        verdict.text = tr("云组态开始更新");
        verdict.upload = true;
        break;
    default:
        verdict.text = tr("云组态验证异常:%1").arg(CloudReply::msg(obj));
        break;
    }
    return verdict;
}

QString judgeUpload(const CloudRequest::Result &result)
{
    if (result.outcome == CloudRequest::Outcome::Interrupted)
        return QString();
    QJsonObject obj;
    if (!replyObject(result, &obj))
        return tr("云组态上传异常：%1").arg(failureReason(result));
    if (CloudReply::code(obj) == 200)
        return tr("组态工程上传成功且已重新绑定");
    return tr("云组态上传异常：%1").arg(CloudReply::msg(obj));
}

} // namespace CloudSyncReply
