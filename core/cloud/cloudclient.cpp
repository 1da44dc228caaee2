#include "cloudclient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "cloudendpoint.h"

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
    QObject::connect(m_manager.get(), &QNetworkAccessManager::finished, m_loop.get(), &QEventLoop::quit);
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
