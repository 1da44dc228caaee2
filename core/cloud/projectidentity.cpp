#include "projectidentity.h"

#include <limits>

ProjectIdentity::ProjectIdentity() : m_hash(QCryptographicHash::Md5)
{
}

void ProjectIdentity::addContent(const QByteArray &content)
{
    m_hash.addData(content);
}

void ProjectIdentity::addContent(const char *data, qint64 len)
{
    // The hash takes an int's worth of bytes per call.
    while (len > 0) {
        const int n = int(qMin<qint64>(len, std::numeric_limits<int>::max()));
        m_hash.addData(data, n);
        data += n;
        len -= n;
    }
}

QString ProjectIdentity::result() const
{
    return QString::fromLatin1(m_hash.result().toHex());
}

QString ProjectIdentity::of(const QList<QByteArray> &contents)
{
    ProjectIdentity identity;
    for (const QByteArray &c : contents)
        identity.addContent(c);
    return identity.result();
}
