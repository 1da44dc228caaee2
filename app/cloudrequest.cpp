#include "cloudrequest.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#ifndef QT_NO_SSL
#include <QSslConfiguration>
#include <QSslSocket>
#endif

namespace {
QString &baseUrlStore()
{
    static QString url;
    return url;
}
} // namespace

QString CloudRequest::baseUrl()
{
    return baseUrlStore();
}

void CloudRequest::setBaseUrl(const QString &url)
{
    baseUrlStore() = url;
}

int CloudRequest::timeoutMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VANTELO_CLOUD_TIMEOUT_MS", &ok);
    return (ok && ms > 0) ? ms : 30000;
}

QNetworkRequest CloudRequest::makeRequest(const QUrl &url, const QByteArray &contentType)
{
    QNetworkRequest request(url);
    if (!contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
#ifndef QT_NO_SSL
    QSslConfiguration ssl = request.sslConfiguration();
    ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
    ssl.setProtocol(QSsl::AnyProtocol);
    request.setSslConfiguration(ssl);
#endif
    return request;
}

CloudRequest::Result CloudRequest::postAndWait(QNetworkAccessManager &manager, QEventLoop &loop,
                                               const QNetworkRequest &request,
                                               const QByteArray &body)
{
    Result result;
    QPointer<QNetworkReply> reply = manager.post(request, body);

    bool timedOut = false;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, [&timedOut, &loop] {
        timedOut = true;
        loop.quit();
    });
    bound.start(timeoutMs());

    // The manager's finished() quits the loop; so does a quit of the thread.
    // A reply that finished before exec() (an immediate failure) needs no wait.
    if (reply && !reply->isFinished())
        loop.exec();
    bound.stop();

    if (!reply) {
        result.outcome = Outcome::Interrupted;
        return result;
    }
    if (reply->isFinished()) {
        result.outcome = Outcome::Finished;
        result.body = reply->readAll();
        if (reply->error() != QNetworkReply::NoError)
            result.errorText = reply->errorString();
    } else {
        result.outcome = timedOut ? Outcome::TimedOut : Outcome::Interrupted;
        if (timedOut)
            result.errorText = QObject::tr("等待超时(%1秒)").arg(timeoutMs() / 1000);
        // Ending the request emits finished(), which quits a loop that is no longer
        // running: harmless, exec() starts afresh next time.
        reply->abort();
    }
    qDebug() << "CloudRequest::postAndWait" << request.url().toString()
             << int(result.outcome) << result.body.size() << result.errorText;
    reply->deleteLater();
    return result;
}
