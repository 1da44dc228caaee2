#ifndef CLOUDREQUEST_H
#define CLOUDREQUEST_H

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

class QEventLoop;
class QIODevice;
class QNetworkAccessManager;

// What every call to the cloud service has in common: the process-wide settings (base
// URL and how the service's certificate is checked), request set-up (content type, TLS
// settings, no redirects) and the bounded wait for a bounded reply in the caller's own
// event loop. The settings are set on the GUI thread and read by the update workers'
// threads: every access goes through one lock and hands out copies.
class CloudRequest
{
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

    // How the service is reached, from "User.ini" group "Domain".
    struct Settings {
        QString sBaseUrl;     // "name"
        QString sCaFile;      // "cafile": PEM file of a private authority trusted besides
                              // the system's; relative to the working directory
        bool bInsecure = false;   // "insecure": accept any certificate (explicit choice)
    };

    static Settings settings();
    // Takes over the settings; the private authority's file is read here, once.
    static void setSettings(const Settings &s);

    static QString baseUrl();
    static void setBaseUrl(const QString &url);

    // Bound on every wait for the service, in ms: $VANTELO_CLOUD_TIMEOUT_MS when set
    // to a positive number, else 30000. While a body is being sent the bound counts
    // from the last progress of the upload.
    static int timeoutMs();

    // Request for a URL: the peer is verified against the system's authorities and the
    // private one, unless "insecure" is set. Redirects are not followed.
    // contentType empty: no Content-Type header is set here.
    static QNetworkRequest makeRequest(const QUrl &url, const QByteArray &contentType);

    // Posts body and runs loop until the reply finishes, the bound passes, the body
    // grows past kMaxReplyBytes or the loop is quit from outside. The manager's
    // finished() must already be connected to loop.quit(). The reply object is released
    // before returning.
    static Result postAndWait(QNetworkAccessManager &manager, QEventLoop &loop,
                              const QNetworkRequest &request, const QByteArray &body);
    // What the sign-in and the refresh show when a call brought no usable reply:
    // "无法连接云服务", with the reason when there is one; an oversized reply by its
    // reason alone.
    static QString failureText(const Result &result);

    // The same with a body read from device (open, not sequential, with a known size),
    // which must stay valid until this returns.
    static Result postAndWait(QNetworkAccessManager &manager, QEventLoop &loop,
                              const QNetworkRequest &request, QIODevice *body);
};

#endif // CLOUDREQUEST_H
