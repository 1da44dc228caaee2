#include "cloudendpoint.h"

#include <QCoreApplication>
#include <QFile>
#ifndef QT_NO_SSL
#include <QSslConfiguration>
#endif

#include "logging.h"
#include "runtimeoverrides.h"

CloudEndpoint::CloudEndpoint()
{
    const int ms = RuntimeOverrides::read().cloudTimeoutMs;
    if (ms > 0)
        m_timeoutMs = ms;
}

CloudEndpoint::CloudEndpoint(const QString &baseUrl, const QString &caFile, bool insecure)
    : CloudEndpoint()
{
    m_baseUrl = baseUrl;
    m_caFile = caFile;
    m_insecure = insecure;
#ifndef QT_NO_SSL
    if (!caFile.isEmpty()) {
        QFile file(caFile);
        QList<QSslCertificate> own;
        if (file.open(QIODevice::ReadOnly))
            own = QSslCertificate::fromData(file.read(1024 * 1024), QSsl::Pem);
        if (own.isEmpty())
            m_caError = QCoreApplication::translate("CloudEndpoint", "无法读取证书文件 %1").arg(caFile);
        else
            m_authorities = QSslConfiguration::systemCaCertificates() + own;
        qCDebug(lcCloud) << "CloudEndpoint::CloudEndpoint cafile" << caFile << own.size();
    }
#endif
}
