#ifndef CLOUDENDPOINT_H
#define CLOUDENDPOINT_H

#include <QList>
#include <QString>
#ifndef QT_NO_SSL
#include <QSslCertificate>
#endif

// How the cloud service is reached: its base URL, how its certificate is checked, and
// the bound on every wait for it. A value: made on the GUI thread from the settings of
// "User.ini" group "Domain" and handed, copied, to whatever talks to the service, so
// that a worker never reads settings that another thread may change.
class CloudEndpoint
{
public:
    static constexpr int kDefaultTimeoutMs = 30000;

    // No base URL, the system's authorities.
    CloudEndpoint();
    // baseUrl: "name"; caFile: "cafile", a PEM file of a private authority trusted
    // besides the system's (relative to the working directory), read here, once;
    // insecure: "insecure", any certificate is accepted (an explicit choice).
    // Both constructors take the bound from VANTELO_CLOUD_TIMEOUT_MS when it is set
    // (RuntimeOverrides), else 30000 ms.
    CloudEndpoint(const QString &baseUrl, const QString &caFile, bool insecure);

    QString baseUrl() const { return m_baseUrl; }
    QString caFile() const { return m_caFile; }
    bool insecure() const { return m_insecure; }
    int timeoutMs() const { return m_timeoutMs; }

    // Why nothing may be sent over https: the private authority could not be read.
    // Empty when requests may go out.
    QString caError() const { return m_caError; }
#ifndef QT_NO_SSL
    // The system's authorities and the private one; empty without "cafile" (the
    // system's are then looked up by the TLS library as needed).
    QList<QSslCertificate> authorities() const { return m_authorities; }
#endif

private:
    QString m_baseUrl;
    QString m_caFile;
    bool m_insecure = false;
    int m_timeoutMs = kDefaultTimeoutMs;
    QString m_caError;
#ifndef QT_NO_SSL
    QList<QSslCertificate> m_authorities;
#endif
};

#endif // CLOUDENDPOINT_H
