#ifndef CLOUDREQUEST_H
#define CLOUDREQUEST_H

#include <QByteArray>
#include <QCoreApplication>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

class QEventLoop;
class QIODevice;
class QNetworkAccessManager;
class CloudEndpoint;

// What every call to the cloud service has in common: request set-up for an endpoint
// (content type, TLS settings, no redirects) and the bounded wait for a bounded reply in
// the caller's own event loop.
class CloudRequest
{
    Q_DECLARE_TR_FUNCTIONS(CloudRequest)

public:
    // A reply body longer than this is refused: reading stops as soon as more arrived.
    static constexpr qint64 kMaxReplyBytes = 8 * 1024 * 1024;

    enum class Outcome {
        Finished,     // the reply finished (successfully or with a network error)
        TimedOut,     // no reply within the bound; the request was aborted
        Interrupted,  // the wait loop was ended from outside (the thread was told to quit)
        TooLarge,     // the body passed kMaxReplyBytes; the request was aborted there
        NotSent,      // the request could not be made (the private authority is unreadable)
    };

    struct Result {
        Outcome outcome = Outcome::Interrupted;
        QByteArray body;      // whole body of a finished reply, empty otherwise
        QString errorText;    // why no usable reply came (network or TLS error, time-out,
                              // size), else empty
    };

    // Request for a URL of the endpoint: the peer is verified against the system's
    // authorities and the endpoint's private one, unless the endpoint is insecure.
    // Redirects are not followed. contentType empty: no Content-Type header is set here.
    static QNetworkRequest makeRequest(const CloudEndpoint &endpoint, const QUrl &url,
                                       const QByteArray &contentType);

    // Posts body and runs loop until the reply finishes, the endpoint's bound passes,
    // the body grows past kMaxReplyBytes or the loop is quit from outside. Nothing is
    // sent over https while the endpoint's private authority is unreadable. The
    // manager's finished() must already be connected to loop.quit(). The reply object
    // is released before returning.
    static Result postAndWait(const CloudEndpoint &endpoint, QNetworkAccessManager &manager,
                              QEventLoop &loop, const QNetworkRequest &request,
                              const QByteArray &body);

    // The same with a body read from device (open, not sequential, with a known size),
    // which must stay valid until this returns.
    static Result postAndWait(const CloudEndpoint &endpoint, QNetworkAccessManager &manager,
                              QEventLoop &loop, const QNetworkRequest &request, QIODevice *body);

    // What the sign-in and the refresh show when a call brought no usable reply:
    // "无法连接云服务", with the reason when there is one; an oversized reply by its
    // reason alone.
    static QString failureText(const Result &result);
};

#endif // CLOUDREQUEST_H
