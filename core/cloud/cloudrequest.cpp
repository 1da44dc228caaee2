#include "cloudrequest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#ifndef QT_NO_SSL
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#endif

#include <functional>

#include "cloudendpoint.h"
#include "logging.h"

namespace {

// How far beyond the bound the network thread reads ahead of this one.
constexpr qint64 kReadAheadBeyondBound = 64 * 1024;

using Post = std::function<QNetworkReply *(QNetworkAccessManager &, const QNetworkRequest &)>;

CloudRequest::Result postAndWaitWith(const CloudEndpoint &endpoint, QNetworkAccessManager &manager,
                                     QEventLoop &loop, const QNetworkRequest &request, const Post &post)
{
    CloudRequest::Result result;
    if (request.url().scheme() == QLatin1String("https")) {
        const QString caError = endpoint.caError();
        if (!caError.isEmpty()) {
            // Nothing goes out rather than trusting less (or more) than was configured.
            result.outcome = CloudRequest::Outcome::NotSent;
            result.errorText = caError;
            qCDebug(lcCloud) << "CloudRequest::postAndWait not sent" << request.url().toString()
                             << caError;
            return result;
        }
    }

    QPointer<QNetworkReply> reply = post(manager, request);

    bool timedOut = false;
    bool tooLarge = false;
    QStringList tlsErrors;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, [&timedOut, &loop] {
        timedOut = true;
        loop.quit();
    });
    bound.start(endpoint.timeoutMs());

    if (reply) {
        // The network thread stops reading a little beyond the bound until this thread has
        // judged the size: however slow this thread is to cut an oversized or endless body
        // off, no more than that is taken from the service meanwhile.
        reply->setReadBufferSize(CloudRequest::kMaxReplyBytes + kReadAheadBeyondBound);
        // A body being sent keeps the wait alive while it makes progress.
        QObject::connect(reply, &QNetworkReply::uploadProgress, &bound, [&bound, &endpoint](qint64 sent, qint64) {
            if (sent > 0)
                bound.start(endpoint.timeoutMs());
        });
        // The size is judged as soon as the head announces it and whenever more arrived,
        // so that an oversized or endless body is cut off there.
        const auto checkSize = [&reply, &tooLarge, &loop] {
            if (tooLarge || !reply)
                return;
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (reply->bytesAvailable() > CloudRequest::kMaxReplyBytes
                || (length.isValid() && length.toLongLong() > CloudRequest::kMaxReplyBytes)) {
                tooLarge = true;
                loop.quit();
            }
        };
        QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, checkSize);
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, checkSize);
#ifndef QT_NO_SSL
        QObject::connect(reply, &QNetworkReply::sslErrors, &loop,
                         [&tlsErrors](const QList<QSslError> &errors) {
                             for (const QSslError &e : errors)
                                 tlsErrors << e.errorString();
                         });
#endif
    }

    // The manager's finished() quits the loop; so does a quit of the thread.
    // A reply that finished before exec() (an immediate failure) needs no wait.
    if (reply && !reply->isFinished())
        loop.exec();
    bound.stop();

    if (!reply) {
        result.outcome = CloudRequest::Outcome::Interrupted;
        return result;
    }
    if (tooLarge) {
        result.outcome = CloudRequest::Outcome::TooLarge;
        result.errorText = CloudRequest::tr("云服务应答超过%1 MiB,已停止接收")
                               .arg(CloudRequest::kMaxReplyBytes / (1024 * 1024));
        if (!reply->isFinished())
            reply->abort();
    } else if (reply->isFinished()) {
        result.outcome = CloudRequest::Outcome::Finished;
        result.body = reply->readAll();
        if (reply->error() != QNetworkReply::NoError) {
            // A refused certificate: the reasons the TLS library gave, not only that
            // the handshake failed.
            result.errorText = tlsErrors.isEmpty() ? reply->errorString()
                                                   : tlsErrors.join(QStringLiteral("; "));
        }
    } else {
        result.outcome = timedOut ? CloudRequest::Outcome::TimedOut
                                  : CloudRequest::Outcome::Interrupted;
        if (timedOut)
            result.errorText = CloudRequest::tr("等待超时(%1秒)").arg(endpoint.timeoutMs() / 1000);
        // Ending the request emits finished(), which quits a loop that is no longer
        // running: harmless, exec() starts afresh next time.
        reply->abort();
    }
    qCDebug(lcCloud) << "CloudRequest::postAndWait" << request.url().toString()
                     << int(result.outcome) << result.body.size() << result.errorText;
    reply->deleteLater();
    return result;
}

} // namespace

QNetworkRequest CloudRequest::makeRequest(const CloudEndpoint &endpoint, const QUrl &url,
                                          const QByteArray &contentType)
{
    QNetworkRequest request(url);
    if (!contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
#ifndef QT_NO_SSL
    const QList<QSslCertificate> authorities = endpoint.authorities();
    QSslConfiguration ssl = request.sslConfiguration();
    if (endpoint.insecure()) {
        // Asked for in "User.ini": any certificate, any protocol version.
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        ssl.setProtocol(QSsl::AnyProtocol);
    } else {
        ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!authorities.isEmpty())
            ssl.setCaCertificates(authorities);
    }
    request.setSslConfiguration(ssl);
#endif
    return request;
}

QString CloudRequest::failureText(const Result &result)
{
    if (result.outcome == Outcome::TooLarge)
        return result.errorText;
    return result.errorText.isEmpty() ? tr("无法连接云服务")
                                      : tr("无法连接云服务: %1").arg(result.errorText);
}

CloudRequest::Result CloudRequest::postAndWait(const CloudEndpoint &endpoint,
                                               QNetworkAccessManager &manager, QEventLoop &loop,
                                               const QNetworkRequest &request,
                                               const QByteArray &body)
{
    return postAndWaitWith(endpoint, manager, loop, request,
                           [&body](QNetworkAccessManager &m, const QNetworkRequest &r) {
                               return m.post(r, body);
                           });
}

CloudRequest::Result CloudRequest::postAndWait(const CloudEndpoint &endpoint,
                                               QNetworkAccessManager &manager, QEventLoop &loop,
                                               const QNetworkRequest &request, QIODevice *body)
{
    QNetworkRequest sized = request;
    sized.setHeader(QNetworkRequest::ContentLengthHeader, body->size());
    return postAndWaitWith(endpoint, manager, loop, sized,
                           [body](QNetworkAccessManager &m, const QNetworkRequest &r) {
                               return m.post(r, body);
                           });
}
