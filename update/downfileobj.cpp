#include "downfileobj.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include "cloudreply.h"
#include "cloudrequest.h"
#include "cloudsyncreply.h"
#include "multipartbody.h"
#include "projectidentity.h"
#include "safeunzip.h"

DownFileOBJ::DownFileOBJ(QString iMei, QString account, QString password, QObject *parent)
    : QObject(parent),
      iMei(std::move(iMei)),
      account(std::move(account)),
      password(std::move(password)),
      bStop(false),
      nReplyTimeout(kReplyTimeoutMs),
      nIoTimeout(kIoTimeoutMs),
      nConnectTimeout(kConnectTimeoutMs),
      manager(nullptr),
      eventLoop(nullptr),
      tcpSocket(nullptr)
{
    // Children, so that they follow the worker to its thread.
    eventLoop = new QEventLoop(this);
    manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, eventLoop, &QEventLoop::quit);
    qDebug() << "DownFileOBJ::DownFileOBJ";
}

void DownFileOBJ::setStopFlag(bool bflag)
{
    bStop.store(bflag, std::memory_order_relaxed);
    nReplyTimeout.store(bflag ? 1 : kReplyTimeoutMs, std::memory_order_relaxed);
    nIoTimeout.store(bflag ? 1 : kIoTimeoutMs, std::memory_order_relaxed);
    nConnectTimeout.store(bflag ? 1 : kConnectTimeoutMs, std::memory_order_relaxed);
}

void DownFileOBJ::updateCloudConf(QString sPath, bool useName)
{
    qDebug() << "DownFileOBJ::updateCloudConf" << sPath << useName;

    QFile file(sPath);
    if (!file.open(QIODevice::ReadOnly)) {
        emit information(2, tr("文件打开异常"));
        emit finishThrd(2);
        return;
    }
    const QByteArray archive = file.readAll();
    file.close();

    // The bytes unpacked are the bytes uploaded.
    const QString unpackDir = QCoreApplication::applicationDirPath() + QStringLiteral("/target");
    const SafeUnzip::Result unpacked = SafeUnzip::extractBytes(archive, unpackDir);
    if (unpacked.status == SafeUnzip::Status::Refused) {
        qDebug() << "DownFileOBJ::updateCloudConf refused entry" << unpacked.refusedEntry;
        emit information(2, tr("压缩文件包含不安全的路径,已拒绝"));
        emit finishThrd(2);
        return;
    }

    ProjectIdentity identity;
    for (const QString &path : unpacked.files) {
        QFile entry(path);
        if (!entry.open(QIODevice::ReadOnly)) {
            qDebug() << "DownFileOBJ::updateCloudConf cannot open" << path;
            emit information(2, tr("压缩文件缺失"));
            emit finishThrd(2);
            return;
        }
        identity.addContent(entry.readAll());
    }
    const QString uuid = identity.result();
    qDebug() << "DownFileOBJ::updateCloudConf uuid" << uuid << unpacked.files.size();

    QNetworkRequest checkRequest = CloudRequest::makeRequest(
        QUrl::fromUserInput(CloudReply::operationUrl(CloudRequest::baseUrl(),
                                                     QStringLiteral("project/checkUuidIsExist"))),
        QByteArrayLiteral("application/json"));
    emit information(2, tr("云组态验证"));
    const CloudRequest::Result check = CloudRequest::postAndWait(
        *manager, *eventLoop, checkRequest,
        CloudSyncReply::checkBody(uuid, iMei, account, password, useName));
    const CloudSyncReply::CheckVerdict verdict = CloudSyncReply::judgeCheck(check);
    qDebug() << "DownFileOBJ::updateCloudConf check" << int(check.outcome) << check.body.left(200);
    if (!verdict.text.isEmpty())
        emit information(2, verdict.text);

    if (verdict.upload) {
        QNetworkRequest uploadRequest = CloudRequest::makeRequest(
            QUrl::fromUserInput(CloudReply::operationUrl(CloudRequest::baseUrl(),
                                                         QStringLiteral("project/uploadToObject"))),
            QByteArray());
        uploadRequest.setRawHeader(QByteArrayLiteral("Content-Type"), MultipartBody::contentType());
        MultipartBody::Fields fields;
        fields.uuid = uuid;
        fields.useName = useName;
        fields.gatewayId = iMei;
        fields.account = account;
        fields.password = password;
        fields.fileName = MultipartBody::fileNameOf(sPath);
        const CloudRequest::Result upload = CloudRequest::postAndWait(
            *manager, *eventLoop, uploadRequest, MultipartBody::build(fields, archive));
        qDebug() << "DownFileOBJ::updateCloudConf upload" << int(upload.outcome) << upload.body.left(200);
        const QString text = CloudSyncReply::judgeUpload(upload);
        if (!text.isEmpty())
            emit information(2, text);
    }
    emit finishThrd(2);
}

// The two relay slots below are completed by the relay download code.
void DownFileOBJ::updateConfigTcp(QString sPath, int nFrameByte, bool bHzFile, bool updateFlag)
{
    qDebug() << "DownFileOBJ::updateConfigTcp" << sPath << nFrameByte << bHzFile << updateFlag;
    emit finishThrd(1);
}

void DownFileOBJ::updateFirmWareTcp(QString sPath, int nFrameByte)
{
    qDebug() << "DownFileOBJ::updateFirmWareTcp" << sPath << nFrameByte;
    emit finishThrd(0);
}
