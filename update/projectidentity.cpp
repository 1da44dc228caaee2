#include "projectidentity.h"

ProjectIdentity::ProjectIdentity() : m_hash(QCryptographicHash::Md5)
{
}

void ProjectIdentity::addContent(const QByteArray &content)
{
    m_hash.addData(content);
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
