#ifndef CLOUDCLIENT_H
#define CLOUDCLIENT_H

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

#include "cloudreply.h"
#include "cloudrequest.h"
#include "multipartbody.h"

class CloudEndpoint;
class QEventLoop;
class QIODevice;
class QNetworkAccessManager;

// Talks to the cloud service from one thread: owns the network manager and the event
// loop in which every call waits (both made at the first call, on the calling thread,
// so that a worker that never calls the service has neither). One call at a time; every
// wait is bounded (CloudRequest), and ends early when the thread is told to quit.
class CloudClient
{
public:
    // How the text of an operation URL becomes a URL: QUrl::fromUserInput (sign-in and
    // cloud project sync), or the QUrl constructor in tolerant mode (refresh).
    enum class UrlForm { UserInput, Tolerant };

    CloudClient();
    ~CloudClient();
    CloudClient(const CloudClient &) = delete;
    CloudClient &operator=(const CloudClient &) = delete;

    // "<base URL>/iot-gateway-mqtt/<path>" made a URL in the given form.
    static QUrl operationUrl(const CloudEndpoint &endpoint, const QString &path, UrlForm form);

    CloudRequest::Result post(const CloudEndpoint &endpoint, const QNetworkRequest &request,
                              const QByteArray &body);
    // The body is read from device while it is sent (see CloudRequest::postAndWait).
    CloudRequest::Result post(const CloudEndpoint &endpoint, const QNetworkRequest &request,
                              QIODevice *body);

    struct DeviceList
    {
        CloudRequest::Result result;   // how the call went
        CloudReply::DeviceListReply reply;
    };
    // The device-list query with the account and password as typed.
    DeviceList deviceList(const CloudEndpoint &endpoint, UrlForm form, const QString &account,
                          const QString &password);

    // The cloud project sync's check whether the service holds the project identity
    // uuid for the panel gatewayId (CloudSyncReply::checkBody; judged by
    // CloudSyncReply::judgeCheck).
    CloudRequest::Result checkProject(const CloudEndpoint &endpoint, const QString &uuid,
                                      const QString &gatewayId, const QString &account,
                                      const QString &password, bool useName);
    // The upload of the archive at path with fields (fields.fileName is set here): the
    // multipart body with a boundary that occurs nowhere in it, the archive read from
    // its file while it is sent. NotSent, with the reason, when the archive cannot be
    // read (judged by CloudSyncReply::judgeUpload).
    using UploadProgress = std::function<void(qint64 done, qint64 total)>;
    CloudRequest::Result uploadProject(const CloudEndpoint &endpoint, MultipartBody::Fields fields,
                                       const QString &path, const UploadProgress &progress = {});

private:
    void prepare();

    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::unique_ptr<QEventLoop> m_loop;
};

#endif // CLOUDCLIENT_H
