#include "downfileobj.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QUrl>

#include "cloudreply.h"
#include "cloudrequest.h"
#include "cloudsyncreply.h"
#include "firmwaremodeltable.h"
#include "modelrecord.h"
#include "multipartbody.h"
#include "projectfiles.h"
#include "projectidentity.h"
#include "relayendpoint.h"
#include "relayframe.h"
#include "safeunzip.h"
#include "uploadbodydevice.h"

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
        const QString text = uploadArchive(sPath, uuid, useName);
        if (!text.isEmpty())
            emit information(2, text);
    }
    emit finishThrd(2);
}

QString DownFileOBJ::uploadArchive(const QString &sPath, const QString &uuid, bool useName)
{
    MultipartBody::Fields fields;
    fields.uuid = uuid;
    fields.useName = useName;
    fields.gatewayId = iMei;
    fields.account = account;
    fields.password = password;
    fields.fileName = MultipartBody::fileNameOf(sPath);
    // A boundary that occurs nowhere in the body; the archive is read from its file
    // while it is sent.
    const QByteArray boundary = UploadBodyDevice::boundaryFor(fields, sPath);
    UploadBodyDevice body(MultipartBody::head(fields, boundary), sPath, MultipartBody::tail(boundary));
    if (boundary.isEmpty() || !body.open(QIODevice::ReadOnly)) {
        qDebug() << "DownFileOBJ::uploadArchive cannot read" << sPath << boundary << body.errorString();
        return tr("云组态上传异常：%1").arg(tr("文件打开异常"));
    }
    qDebug() << "DownFileOBJ::uploadArchive" << boundary << body.size();

    QNetworkRequest request = CloudRequest::makeRequest(
        QUrl::fromUserInput(CloudReply::operationUrl(CloudRequest::baseUrl(),
                                                     QStringLiteral("project/uploadToObject"))),
        QByteArray());
    request.setRawHeader(QByteArrayLiteral("Content-Type"), MultipartBody::contentType(boundary));
    const CloudRequest::Result upload = CloudRequest::postAndWait(*manager, *eventLoop, request, &body);
    qDebug() << "DownFileOBJ::uploadArchive reply" << int(upload.outcome) << upload.body.left(200);
    return CloudSyncReply::judgeUpload(upload);
}

// ---- Relay downloads: link, framed transfer, project and firmware download ----

namespace {

constexpr int kFirmwareConnectMs = 10000;
constexpr int kFirmwareModelReplyMs = 30000;
constexpr int kFrameWriteMs = 10000;
constexpr int kFrameAttempts = 10;
constexpr int kEndAttempts = 10;
// A stop from the dialog ends a running wait within one slice; every slice that passes
// without data wakes the worker (about 0.1 ms of CPU each), so slices are not shorter
// than a stop needs: at a 100 ms round trip, 20 ms slices doubled the CPU per frame.
constexpr int kWaitSliceMs = 100;

// Relay waits may be shortened as a whole for test runs: VANTELO_RELAY_TIMEOUT_SCALE
// is a factor (e.g. 0.05) applied to every wait of the relay link.
int scaledWait(int ms)
{
    if (ms <= 1)
        return ms < 1 ? 1 : ms;
    bool ok = false;
    const double factor = qEnvironmentVariable("VANTELO_RELAY_TIMEOUT_SCALE").toDouble(&ok);
    if (!ok || factor <= 0.0 || factor >= 1.0)
        return ms;
    return qMax(1, int(ms * factor + 0.5));
}

} // namespace

bool DownFileOBJ::stopRequested() const
{
    return bStop.load(std::memory_order_relaxed);
}

// The read and write waits below are cut into short slices so that a stop from the
// dialog ends a wait that is already running, not only the next one. The connect wait
// is one call: a timed-out waitForConnected abandons the connection attempt.
bool DownFileOBJ::waitConnected(int ms)
{
    if (stopRequested())
        return false;
    return tcpSocket->waitForConnected(scaledWait(ms));
}

bool DownFileOBJ::waitWritten(int ms)
{
    QElapsedTimer timer;
    timer.start();
    const int bound = scaledWait(ms);
    while (tcpSocket->bytesToWrite() > 0) {
        const int left = bound - int(timer.elapsed());
        if (left <= 0 || stopRequested() || tcpSocket->state() != QAbstractSocket::ConnectedState)
            return false;
        tcpSocket->waitForBytesWritten(qMin(left, kWaitSliceMs));
    }
    return true;
}

bool DownFileOBJ::waitReadable(int ms)
{
    QElapsedTimer timer;
    timer.start();
    const int bound = scaledWait(ms);
    while (tcpSocket->bytesAvailable() <= 0) {
        const int left = bound - int(timer.elapsed());
        if (left <= 0 || stopRequested() || tcpSocket->state() != QAbstractSocket::ConnectedState)
            return false;
        tcpSocket->waitForReadyRead(qMin(left, kWaitSliceMs));
    }
    return true;
}

qint64 DownFileOBJ::sendCommand(uchar code, quint32 size, quint32 sum, int waitMs)
{
    const qint64 written = tcpSocket->write(RelayFrame::commandFrame(code, size, sum));
    waitWritten(waitMs);
    return written;
}

int DownFileOBJ::check_ok()
{
    if (stopRequested())
        return 0;
    if (!waitReadable(nReplyTimeout.load(std::memory_order_relaxed))) {
        qDebug() << "DownFileOBJ::check_ok() timeout" << 0 << tcpSocket->state()
                 << tcpSocket->errorString();
        return 0;
    }
    return RelayFrame::classifyAck(tcpSocket->readAll());
}

bool DownFileOBJ::openLink(int op, int connectMs, bool ioTimeouts)
{
    if (!tcpSocket)
        tcpSocket = new QTcpSocket(this);
    const QString host = RelayEndpoint::host();
    const quint16 port = RelayEndpoint::port();
    qDebug() << "DownFileOBJ::openLink" << op << host << port;
    tcpSocket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    if (op == 0)
        emit information(0, tr("连接TCP服务器"));
    if (!waitConnected(connectMs)) {
        qDebug() << "DownFileOBJ::openLink connect failed" << tcpSocket->errorString();
        emit information(op, tr("连接TCP服务器超时"));
        closeLink();
        return false;
    }
    // Frames go one at a time and each waits for its answer: no coalescing delay.
    tcpSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto t2 = [&] {
        return ioTimeouts ? nIoTimeout.load(std::memory_order_relaxed)
                          : nConnectTimeout.load(std::memory_order_relaxed);
    };
    tcpSocket->write(RelayFrame::downloadRegistration(iMei));
    waitWritten(t2());
    QByteArray answer;
    if (waitReadable(t2()))
        answer = tcpSocket->readAll();
    if (!RelayFrame::isGoAhead(answer)) {
        qDebug() << "DownFileOBJ::openLink no go-ahead" << answer.left(64);
        tcpSocket->disconnectFromHost();
        emit information(op, tr("开启TCP服务失败"));
        closeLink();
        return false;
    }
    emit information(op, tr("开启TCP服务成功"));
    return true;
}

void DownFileOBJ::closeLink()
{
    if (!tcpSocket)
        return;
    tcpSocket->close();
    tcpSocket->deleteLater();
    tcpSocket = nullptr;
}

bool DownFileOBJ::queryModel(int op, int replyMs, QByteArray *reply)
{
    if (sendCommand(RelayFrame::kQueryModel, 0, 0, nIoTimeout.load(std::memory_order_relaxed))
        != RelayFrame::kCommandFrameSize) {
        emit information(op, tr("发送查询型号命令失败"));
        return false;
    }
    if (!waitReadable(replyMs)) {
        emit information(op, tr("查询型号命令失败"));
        return false;
    }
    *reply = tcpSocket->readAll();
    return true;
}

bool DownFileOBJ::queryVersion(quint32 *version)
{
    if (sendCommand(RelayFrame::kQueryVersion, 0, 0, nIoTimeout.load(std::memory_order_relaxed))
        != RelayFrame::kCommandFrameSize) {
        emit information(1, tr("发送查询版本命令失败"));
        return false;
    }
    QByteArray reply;
    if (waitReadable(nIoTimeout.load(std::memory_order_relaxed)))
        reply = tcpSocket->readAll();
    qDebug() << "DownFileOBJ::queryVersion" << reply.toHex();
    if (!RelayFrame::versionReply(reply, version)) {
        emit information(1, tr("查询型号命令失败"));
        return false;
    }
    return true;
}

bool DownFileOBJ::writeFile(QString path, QString name, int chunkSize, uchar fileCode)
{
    const bool optional = ProjectFiles::isOptionalCode(fileCode);
    emit information(1, tr("写入%1").arg(name));

    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        if (optional)
            return true;
        qDebug() << "DownFileOBJ::writeFile" << path << int(fileCode);
        emit information(1, tr("打开%1文件失败").arg(name));
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();
    qDebug() << "DownFileOBJ::writeFile" << path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)
             << data.size() << chunkSize;
    if (data.isEmpty() && optional)
        return true;

    if (stopRequested())
        return false;
    const qint64 announced = sendCommand(fileCode, quint32(data.size()), RelayFrame::byteSum(data),
                                         nIoTimeout.load(std::memory_order_relaxed));
    if (announced != RelayFrame::kCommandFrameSize) {
        emit information(1, tr("发送%1命令超时").arg(name));
        return false;
    }
    if (check_ok() != 1) {
        emit information(1, tr("发送%1命令失败").arg(name));
        return false;
    }
    if (data.isEmpty())
        return false;

    const FrameOutcome outcome = sendFrames(data, chunkSize, [&](qint64 offset) {
        emit information(1, tr("%1已写入:%2/%3").arg(name).arg(offset).arg(data.size()));
    }, false);
    switch (outcome) {
    case FrameOutcome::Done:
        break;
    case FrameOutcome::ChecksumErrors:
        emit information(1, tr("%1写入校验错误").arg(name));
        return false;
    case FrameOutcome::NoAcknowledgement:
        emit information(1, tr("%1写入超时").arg(name));
        return false;
    case FrameOutcome::ShortWrites:
    case FrameOutcome::Stopped:
        return false;
    }

    waitWritten(nIoTimeout.load(std::memory_order_relaxed));
    if (sendEndOfFile())
        return true;
    emit information(1, tr("%1写入结束命令错误").arg(name));
    return false;
}

// Sends data in frames of at most chunkSize bytes, each one until the panel accepts
// it, at most 10 attempts per frame. Frames are built from the data in place; nothing
// proportional to the file is done per frame.
DownFileOBJ::FrameOutcome DownFileOBJ::sendFrames(const QByteArray &data, int chunkSize,
                                                  const std::function<void(qint64)> &progress,
                                                  bool firmware)
{
    qint64 offset = 0;
    quint32 index = 0;
    int attemptsLeft = kFrameAttempts;
    while (offset < data.size()) {
        // The firmware download looks at the stop flag before every frame and ends
        // silently; a project file runs into its unanswered attempts instead.
        if (firmware && stopRequested())
            return FrameOutcome::Stopped;
        const int n = RelayFrame::nextChunkLength(data.size(), offset, chunkSize);
        if (n <= 0)
            return FrameOutcome::ShortWrites; // no room for data: never send empty frames
        const QByteArray frame = RelayFrame::dataFrame(index, data.constData() + offset, n);
        const qint64 written = tcpSocket->write(frame);
        waitWritten(kFrameWriteMs);
        if (firmware)
            qDebug() << "===write fireware a===" << written << chunkSize << tcpSocket->state();
        else
            qDebug() << "DownFileOBJ::writeFile frame" << index << written << chunkSize
                     << tcpSocket->state();

        FrameOutcome failure;
        if (written == frame.size()) {
            const int ack = check_ok();
            if (ack == RelayFrame::Accepted) {
                offset += n;
                ++index;
                attemptsLeft = kFrameAttempts;
                progress(offset);
                continue;
            }
            failure = ack == RelayFrame::ChecksumError ? FrameOutcome::ChecksumErrors
                                                       : FrameOutcome::NoAcknowledgement;
            qDebug() << "DownFileOBJ::sendFrames refused" << index << ack;
        } else {
            failure = FrameOutcome::ShortWrites;
            qDebug() << "DownFileOBJ::sendFrames short write" << index << written;
        }
        if (--attemptsLeft <= 0)
            return failure;
    }
    return FrameOutcome::Done;
}

bool DownFileOBJ::sendEndOfFile()
{
    for (int attempt = 1; attempt <= kEndAttempts; ++attempt) {
        const qint64 written = sendCommand(RelayFrame::kEndOfFile, 0, 0,
                                           nIoTimeout.load(std::memory_order_relaxed));
        if (written == RelayFrame::kCommandFrameSize && check_ok() == 1)
            return true;
        qDebug() << "DownFileOBJ::sendEndOfFile attempt" << attempt << "failed";
    }
    return false;
}

void DownFileOBJ::updateConfigTcp(QString sPath, int nFrameByte, bool bHzFile, bool updateFlag)
{
    qDebug() << "DownFileOBJ::updateConfigTcp" << sPath << nFrameByte << bHzFile << updateFlag;
    bStop.store(false, std::memory_order_relaxed);
    if (!RelayFrame::frameSizeUsable(nFrameByte)) {
        emit information(1, tr("帧大小必须大于8字节"));
        emit finishThrd(1);
        return;
    }

    const QString unpackDir = QCoreApplication::applicationDirPath() + QStringLiteral("/compile");
    clearFiles(unpackDir);
    const SafeUnzip::Result unpacked = SafeUnzip::extractFile(sPath, unpackDir);
    if (unpacked.status == SafeUnzip::Status::Refused) {
        qDebug() << "DownFileOBJ::updateConfigTcp refused entry" << unpacked.refusedEntry;
        emit information(1, tr("压缩文件包含不安全的路径,已拒绝"));
        emit finishThrd(1);
        return;
    }

    ModelRecord record;
    QFile modelFile(unpackDir + QStringLiteral("/modelData.bin"));
    if (!modelFile.open(QIODevice::ReadOnly)
        || !ModelRecord::parse(modelFile.read(ModelRecord::kSize), &record)) {
        emit information(1, tr("组态文件没有型号以及版本参数"));
        emit finishThrd(1);
        return;
    }
    modelFile.close();

    const int nConnect = nConnectTimeout.load(std::memory_order_relaxed);
    if (!openLink(1, nConnect, false)) {
        emit finishThrd(1);
        return;
    }
    // Every way out after the link was opened: close it, then the end signal.
    auto end = [this] {
        closeLink();
        emit finishThrd(1);
    };

    QByteArray reply;
    if (!queryModel(1, nIoTimeout.load(std::memory_order_relaxed), &reply))
        return end();
    const RelayFrame::ModelReply r = RelayFrame::modelReply(reply);
    qDebug() << "===DownFileOBJ::updateConfigTcp===" << reply.toHex() << int(r.model) << int(r.comm)
             << int(r.module) << record.model << int(record.comm) << int(record.module)
             << record.version;
    if (!record.modelMatches(r.model)) {
        emit information(1, tr("组态型号和触摸屏型号不一致"));
        return end();
    }
    if (r.comm != record.comm) {
        if (r.comm == 1)
            emit information(1, tr("该型号不支持4G通信"));
        else if (r.comm == 2)
            emit information(1, tr("该型号不支持WIFI通信"));
        return end();
    }
    if (r.module != record.module) {
        if (r.comm == 1)
            emit information(1, tr("该型号不兼容当前4G模块"));
        else if (r.comm == 2)
            emit information(1, tr("该型号不兼容当前WIFI模块"));
        return end();
    }

    quint32 version = 0;
    if (!queryVersion(&version))
        return end();
    if (!record.versionMatches(version)) {
        emit information(1, tr("组态与版本不一致"));
        if (!updateFlag)
            return end();
    }

    const int chunk = RelayFrame::chunkSize(nFrameByte);
    for (const ProjectFiles::File &f : ProjectFiles::plan(record, bHzFile, unpackDir)) {
        if (!writeFile(f.path, tr(f.name), chunk, f.code)) {
            if (f.step == 17)
                qDebug() << "DownFileOBJ::updateConfigTcp" << record.com1Name;
            return end();
        }
        if (f.step == ProjectFiles::kDriversFollowStep)
            emit information(1, tr("下载PLC驱动"));
    }

    if (sendCommand(RelayFrame::kProjectComplete, 0, 0, nIoTimeout.load(std::memory_order_relaxed))
        == RelayFrame::kCommandFrameSize)
        emit information(1, tr("组态升级完成"));
    else
        emit information(1, tr("发送下载完成命令超时"));
    end();
}

void DownFileOBJ::updateFirmWareTcp(QString sPath, int nFrameByte)
{
    qDebug() << "DownFileOBJ::updateFirmWareTcp" << sPath << nFrameByte;
    bStop.store(false, std::memory_order_relaxed);
    if (!RelayFrame::frameSizeUsable(nFrameByte)) {
        emit information(0, tr("帧大小必须大于8字节"));
        emit finishThrd(0);
        return;
    }
    if (!openLink(0, kFirmwareConnectMs, true)) {
        emit finishThrd(0);
        return;
    }
    auto end = [this] {
        closeLink();
        emit finishThrd(0);
    };

    QFile file(sPath);
    if (!file.open(QIODevice::ReadOnly)) {
        emit information(0, tr("底层文件不存在或打开失败"));
        return end();
    }
    const QByteArray image = file.readAll();
    file.close();

    QByteArray reply;
    if (!queryModel(0, kFirmwareModelReplyMs, &reply))
        return end();
    if (!typeCompare(reply, sPath)) {
        emit information(0, tr("底层与型号不匹配"));
        return end();
    }

    emit information(0, tr("写入底层信息"));
    const qint64 announced = sendCommand(RelayFrame::kAnnounceFirmware, quint32(image.size()),
                                         RelayFrame::byteSum(image),
                                         nIoTimeout.load(std::memory_order_relaxed));
    if (announced != RelayFrame::kCommandFrameSize || check_ok() != 1) {
        emit information(0, tr("写入底层信息错误"));
        return end();
    }
    emit information(0, tr("开始写入底层"));

    if (!image.isEmpty()) {
        const FrameOutcome outcome = sendFrames(
            image, RelayFrame::chunkSize(nFrameByte),
            [&](qint64 offset) {
                emit information(0, tr("底层已写入:%1/%2").arg(offset).arg(image.size()));
            },
            true);
        switch (outcome) {
        case FrameOutcome::Done:
            break;
        case FrameOutcome::ChecksumErrors:
            emit information(0, tr("写入底层校验错误"));
            return end();
        case FrameOutcome::NoAcknowledgement:
            emit information(0, tr("写入底层超时"));
            return end();
        case FrameOutcome::ShortWrites:
        case FrameOutcome::Stopped:
            qDebug() << "DownFileOBJ::updateFirmWareTcp ended" << int(outcome);
            return end();
        }
    }

    if (sendEndOfFile())
        emit information(0, tr("写入底层成功"));
    else
        emit information(0, tr("写入底层结束命令超时"));
    end();
}

// Deletes every file below dir, keeping the directories; creates dir when missing.
void DownFileOBJ::clearFiles(const QString &dir)
{
    QDir root(dir);
    if (!root.exists()) {
        QDir().mkpath(dir);
        return;
    }
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!QFile::remove(path))
            qDebug() << "DownFileOBJ::clearFiles cannot remove" << path;
    }
}
