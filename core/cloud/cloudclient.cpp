#include "cloudclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "cloudendpoint.h"
#include "cloudsyncreply.h"
#include "logging.h"
#include "uploadbodydevice.h"

CloudClient::CloudClient() = default;

CloudClient::~CloudClient() = default;

QUrl CloudClient::operationUrl(const CloudEndpoint &endpoint, const QString &path, UrlForm form)
{
    const QString text = CloudReply::operationUrl(endpoint.baseUrl(), path);
    return form == UrlForm::UserInput ? QUrl::fromUserInput(text) : QUrl(text, QUrl::TolerantMode);
}

void CloudClient::prepare()
{
    if (m_manager)
        return;
    m_loop.reset(new QEventLoop);
    m_manager.reset(new QNetworkAccessManager);
    QObject::connect(m_manager.get(), &QNetworkAccessManager::finished, m_loop.get(),
                     &QEventLoop::quit);
}

CloudRequest::Result CloudClient::post(const CloudEndpoint &endpoint, const QNetworkRequest &request,
                                       const QByteArray &body)
{
    prepare();
    return CloudRequest::postAndWait(endpoint, *m_manager, *m_loop, request, body);
}

CloudRequest::Result CloudClient::post(const CloudEndpoint &endpoint, const QNetworkRequest &request,
                                       QIODevice *body)
{
    prepare();
    return CloudRequest::postAndWait(endpoint, *m_manager, *m_loop, request, body);
}

CloudClient::DeviceList CloudClient::deviceList(const CloudEndpoint &endpoint, UrlForm form,
                                                const QString &account, const QString &password)
{
    const QUrl url = operationUrl(endpoint, QLatin1String(CloudReply::kDeviceListPath), form);
    DeviceList answer;
    answer.result = post(endpoint, CloudRequest::makeRequest(endpoint, url, "application/json"),
                         CloudReply::deviceListBody(account, password));
    answer.reply = CloudReply::deviceListReply(answer.result.body);
    return answer;
}

CloudRequest::Result CloudClient::checkProject(const CloudEndpoint &endpoint, const QString &uuid,
                                               const QString &gatewayId, const QString &account,
                                               const QString &password, bool useName)
{
    const QUrl url
        = operationUrl(endpoint, QStringLiteral("project/checkUuidIsExist"), UrlForm::UserInput);
    return post(endpoint, CloudRequest::makeRequest(endpoint, url, "application/json"),
                CloudSyncReply::checkBody(uuid, gatewayId, account, password, useName));
}

CloudRequest::Result CloudClient::uploadProject(const CloudEndpoint &endpoint,
                                                MultipartBody::Fields fields, const QString &path,
                                                const UploadProgress &progress)
{
    fields.fileName = MultipartBody::fileNameOf(path);
    const QByteArray boundary = UploadBodyDevice::boundaryFor(fields, path);
    UploadBodyDevice body(MultipartBody::head(fields, boundary), path, MultipartBody::tail(boundary));
    if (boundary.isEmpty() || !body.open(QIODevice::ReadOnly)) {
        qCDebug(lcCloud) << "CloudClient::uploadProject cannot read" << path << boundary
                         << body.errorString();
        CloudRequest::Result notSent;
        notSent.outcome = CloudRequest::Outcome::NotSent;
        notSent.errorText = QCoreApplication::translate("CloudClient", "文件打开异常");
        return notSent;
    }
    qCDebug(lcCloud) << "CloudClient::uploadProject" << boundary << body.size();
    if (progress)
        QObject::connect(&body, &UploadBodyDevice::bodyRead, &body, progress);
    QNetworkRequest request = CloudRequest::makeRequest(
        endpoint, operationUrl(endpoint, QStringLiteral("project/uploadToObject"), UrlForm::UserInput),
        QByteArray());
    request.setRawHeader(QByteArrayLiteral("Content-Type"), MultipartBody::contentType(boundary));
    return post(endpoint, request, &body);
}
