#include "cloudsync.h"

#include <QFile>

#include "cloudsyncreply.h"
#include "logging.h"
#include "multipartbody.h"
#include "projectidentity.h"

CloudSync::CloudSync(CloudEndpoint endpoint, QString imei, QString account, QString password,
                     QString unpackDir, Report report, StopRequested stopRequested)
    : UpdateStep(std::move(report), std::move(stopRequested)),
      m_endpoint(std::move(endpoint)),
      m_imei(std::move(imei)),
      m_account(std::move(account)),
      m_password(std::move(password)),
      m_unpackDir(std::move(unpackDir))
{
}

void CloudSync::run(const QString &sPath, bool useName)
{
    if (!QFile(sPath).open(QIODevice::ReadOnly)) {
        report(tr("文件打开异常"));
        return;
    }
    // Nothing goes to the service unless the archive unpacked whole: its identity would
    // be that of what could be read, not of the project.
    QStringList files;
    if (!unpackArchive(sPath, m_unpackDir, tr("压缩文件无法解压,已停止"), &files))
        return;
    QString uuid;
    if (!identify(files, &uuid))
        return;

    report(tr("云组态验证"));
    const CloudRequest::Result check
        = m_client.checkProject(m_endpoint, uuid, m_imei, m_account, m_password, useName);
    const CloudSyncReply::CheckVerdict verdict = CloudSyncReply::judgeCheck(check);
    qCDebug(lcCloud) << "CloudSync::run check" << int(check.outcome) << check.body.left(200);
    if (!verdict.text.isEmpty())
        report(verdict.text);
    if (!verdict.upload)
        return;

    const MultipartBody::Fields fields{uuid, useName, m_imei, m_account, m_password, QString()};
    const CloudRequest::Result upload = m_client.uploadProject(
        m_endpoint, fields, sPath, [this](qint64 done, qint64 total) { progress(done, total, 1, 1); });
    qCDebug(lcCloud) << "CloudSync::run upload" << int(upload.outcome) << upload.body.left(200);
    const QString text = CloudSyncReply::judgeUpload(upload);
    if (!text.isEmpty())
        report(text);
}

bool CloudSync::identify(const QStringList &files, QString *uuid)
{
    ProjectIdentity identity;
    for (const QString &path : files) {
        QFile entry(path);
        const bool read = entry.open(QIODevice::ReadOnly)
                          && readInPieces(entry, [&identity](const char *data, qint64 len) {
                                 identity.addContent(data, len);
                             });
        if (stopRequested()) {
            qCDebug(lcCloud) << "CloudSync::identify stopped";
            return false;
        }
        if (!read) {
            qCDebug(lcCloud) << "CloudSync::identify cannot read" << path;
            report(tr("压缩文件缺失"));
            return false;
        }
    }
    *uuid = identity.result();
    qCDebug(lcCloud) << "CloudSync::identify uuid" << *uuid << files.size();
    return true;
}
