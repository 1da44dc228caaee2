#ifndef CLOUDREQUEST_H
#define CLOUDREQUEST_H

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

class QEventLoop;
class QNetworkAccessManager;

// What every call to the cloud service has in common: the process-wide base URL,
// request set-up (content type, TLS settings) and the bounded wait for the reply
// in the caller's own event loop.
class CloudRequest
{
public:
    enum class Outcome {
        Finished,     // the reply finished (successfully or with a network error)
        TimedOut,     // no reply within the bound; the request was aborted
        Interrupted,  // the wait loop was ended from outside (the thread was told to quit)
    };

    struct Result {
        Outcome outcome = Outcome::Interrupted;
        QByteArray body;      // whole body of a finished reply, empty otherwise
        QString errorText;    // network error text of a failed or timed-out request, else empty
    };

    static QString baseUrl();
    static void setBaseUrl(const QString &url);

    // Bound on every wait for the service, in ms: $VANTELO_CLOUD_TIMEOUT_MS when set
    // to a positive number, else 30000.
    static int timeoutMs();

    // Request for a URL with TLS peer verification off and any protocol allowed.
    // contentType empty: no Content-Type header is set here.
    static QNetworkRequest makeRequest(const QUrl &url, const QByteArray &contentType);

    // Posts body and runs loop until the reply finishes, the bound passes or the loop is
    // quit from outside. The manager's finished() must already be connected to loop.quit().
    // The reply object is released before returning.
    static Result postAndWait(QNetworkAccessManager &manager, QEventLoop &loop,
                              const QNetworkRequest &request, const QByteArray &body);
};

#endif // CLOUDREQUEST_H
