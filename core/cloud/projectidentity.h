#ifndef PROJECTIDENTITY_H
#define PROJECTIDENTITY_H

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QString>

// Identity of a cloud project: lowercase hex MD5 over the contents of the unpacked
// entries, concatenated without separators in the archive's entry order.
// Contents are fed one entry at a time, so large projects need not be joined first.
class ProjectIdentity
{
public:
    ProjectIdentity();

    void addContent(const QByteArray &content);
    void addContent(const char *data, qint64 len);
    QString result() const;   // 32 lowercase hex characters

    static QString of(const QList<QByteArray> &contents);

private:
    QCryptographicHash m_hash;
};

#endif // PROJECTIDENTITY_H
