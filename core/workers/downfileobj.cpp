#include "downfileobj.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkRequest>
#include <QTcpSocket>

#include "cloudclient.h"
#include "cloudrequest.h"
#include "cloudsyncreply.h"
#include "typecompare.h"
#include "modelrecord.h"
#include "multipartbody.h"
#include "projectfiles.h"
#include "projectidentity.h"
#include "relayframe.h"
#include "runtimeoverrides.h"
#include "safeunzip.h"
#include "uploadbodydevice.h"

DownFileOBJ::DownFileOBJ(QString iMei, QString account, QString password, QObject *parent)
    : DownFileOBJ(std::move(iMei), std::move(account), std::move(password), CloudEndpoint(), parent)
{
}

DownFileOBJ::DownFileOBJ(QString iMei, QString account, QString password,
                         const CloudEndpoint &cloud, QObject *parent)
    : QObject(parent),
      iMei(std::move(iMei)),
      account(std::move(account)),
      password(std::move(password)),
      bStop(false),
      nReplyTimeout(kReplyTimeoutMs),
      nIoTimeout(kIoTimeoutMs),
      nConnectTimeout(kConnectTimeoutMs),
      cloud(cloud),
      waitScale(1),
      tcpSocket(nullptr)
{
    const RuntimeOverrides overrides = RuntimeOverrides::read();
    relay = RelayEndpoint::with(overrides);
    waitScale = overrides.relayTimeoutScale;
    qDebug() << "DownFileOBJ::DownFileOBJ";
}

DownFileOBJ::~DownFileOBJ() = default;

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

    if (!QFile(sPath).open(QIODevice::ReadOnly)) {
        emit information(2, tr("文件打开异常"));
        emit finishThrd(2);
        return;
    }

    // Nothing goes to the service unless the archive unpacked whole: its identity would
    // be that of what could be read, not of the project.
    const QString unpackDir = QCoreApplication::applicationDirPath() + QStringLiteral("/target");
    QStringList files;
    if (!unpackArchive(2, sPath, unpackDir, tr("压缩文件无法解压,已停止"), &files)) {
        emit finishThrd(2);
        return;
    }

    ProjectIdentity identity;
    for (const QString &path : qAsConst(files)) {
        QFile entry(path);
        const bool read = entry.open(QIODevice::ReadOnly)
            && readInPieces(entry, [&identity](const char *data, qint64 len) { identity.addContent(data, len); });
        if (stopRequested()) {
            qDebug() << "DownFileOBJ::updateCloudConf stopped";
            emit finishThrd(2);
            return;
        }
        if (!read) {
            qDebug() << "DownFileOBJ::updateCloudConf cannot read" << path;
            emit information(2, tr("压缩文件缺失"));
            emit finishThrd(2);
            return;
        }
    }
    const QString uuid = identity.result();
    qDebug() << "DownFileOBJ::updateCloudConf uuid" << uuid << files.size();

    if (!cloudClient)
        cloudClient.reset(new CloudClient);
    QNetworkRequest checkRequest = CloudRequest::makeRequest(
        cloud, CloudClient::operationUrl(cloud, QStringLiteral("project/checkUuidIsExist"),
                                         CloudClient::UrlForm::UserInput),
        QByteArrayLiteral("application/json"));
    emit information(2, tr("云组态验证"));
    const CloudRequest::Result check = cloudClient->post(
        cloud, checkRequest,
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
        cloud, CloudClient::operationUrl(cloud, QStringLiteral("project/uploadToObject"),
                                         CloudClient::UrlForm::UserInput),
        QByteArray());
    request.setRawHeader(QByteArrayLiteral("Content-Type"), MultipartBody::contentType(boundary));
    const CloudRequest::Result upload = cloudClient->post(cloud, request, &body);
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
// Files are summed and hashed in pieces of this size, never read whole; the stop
// request is looked at between pieces.
constexpr qint64 kPieceBytes = 1024 * 1024;
// The size fields of a command frame are 32 bits wide.
constexpr qint64 kMaxSendableSize = 0xffffffffLL;

} // namespace

// Relay waits may be shortened as a whole for test runs: VANTELO_RELAY_TIMEOUT_SCALE
// is a factor (e.g. 0.05) applied to every wait of the relay link.
int DownFileOBJ::scaledWait(int ms) const
{
    if (ms <= 1)
        return ms < 1 ? 1 : ms;
    if (waitScale >= 1.0)
        return ms;
    return qMax(1, int(ms * waitScale + 0.5));
}

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
    return waitReadableUntil(QDeadlineTimer(scaledWait(ms)));
}

bool DownFileOBJ::waitReadableUntil(const QDeadlineTimer &deadline)
{
    while (tcpSocket->bytesAvailable() <= 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || stopRequested() || tcpSocket->state() != QAbstractSocket::ConnectedState)
            return false;
        tcpSocket->waitForReadyRead(int(qMin<qint64>(left, kWaitSliceMs)));
    }
    return true;
}

// The relay closed or reset the connection, or a write failed on it.
bool DownFileOBJ::linkLost() const
{
    return tcpSocket->state() != QAbstractSocket::ConnectedState;
}

// A reply may come in pieces: the bytes are gathered until the reply is complete or
// the wait ends; what came by then is the reply.
QByteArray DownFileOBJ::collectReply(int size, int ms)
{
    const QDeadlineTimer deadline(scaledWait(ms));
    QByteArray reply;
    while (reply.size() < size && waitReadableUntil(deadline))
        reply += tcpSocket->readAll();
    return reply;
}

// An answer that came after its wait had ended must not be taken for the answer to
// what is sent next: whatever is already waiting on the link is dropped before a send.
void DownFileOBJ::discardWaiting(const char *before, qint64 which)
{
    tcpSocket->waitForReadyRead(0);   // also what the system holds, not read yet
    const QByteArray stale = tcpSocket->readAll();
    if (!stale.isEmpty())
        qDebug() << "DownFileOBJ::discardWaiting before" << before << which << stale.size()
                 << stale.left(16).toHex();
}

// After attempts whose wait ran out, their answers may still be on the way, and one
// of them must not be taken for the panel's answer to the end command: that answer
// decides whether the file arrived whole. They are given one reply wait to come and
// are dropped.
void DownFileOBJ::discardLateAnswers()
{
    const QDeadlineTimer deadline(scaledWait(nReplyTimeout.load(std::memory_order_relaxed)));
    qint64 dropped = 0;
    while (waitReadableUntil(deadline))
        dropped += tcpSocket->readAll().size();
    qDebug() << "DownFileOBJ::discardLateAnswers" << dropped;
}

qint64 DownFileOBJ::sendCommand(uchar code, quint32 size, quint32 sum, int waitMs)
{
    discardWaiting("command", code);
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
    const QString host = relay.host;
    const quint16 port = relay.port;
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
    *reply = collectReply(RelayFrame::kModelReplySize, replyMs);
    if (reply->isEmpty()) {
        emit information(op, tr("查询型号命令失败"));
        return false;
    }
    return true;
}

bool DownFileOBJ::queryVersion(quint32 *version)
{
    if (sendCommand(RelayFrame::kQueryVersion, 0, 0, nIoTimeout.load(std::memory_order_relaxed))
        != RelayFrame::kCommandFrameSize) {
        emit information(1, tr("发送查询版本命令失败"));
        return false;
    }
    const QByteArray reply = collectReply(RelayFrame::kVersionReplySize,
                                          nIoTimeout.load(std::memory_order_relaxed));
    qDebug() << "DownFileOBJ::queryVersion" << reply.toHex();
    if (!RelayFrame::versionReply(reply, version)) {
        emit information(1, tr("查询型号命令失败"));
        return false;
    }
    return true;
}

// Reads the file from its start in pieces, handing each to take. False when a read
// fails or the stop request came.
bool DownFileOBJ::readInPieces(QFile &file, const std::function<void(const char *, qint64)> &take)
{
    if (!file.seek(0))
        return false;
    QByteArray piece(int(kPieceBytes), Qt::Uninitialized);
    for (;;) {
        if (stopRequested())
            return false;
        const qint64 n = file.read(piece.data(), kPieceBytes);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        take(piece.constData(), n);
    }
}

// The checksum of the whole file, for its announcement. The file must not be larger
// than the announcement can tell.
bool DownFileOBJ::fileSum(QFile &file, quint32 *sum)
{
    if (file.size() > kMaxSendableSize) {
        qDebug() << "DownFileOBJ::fileSum too large" << file.fileName() << file.size();
        return false;
    }
    quint32 total = 0;
    const bool read = readInPieces(file, [&total](const char *data, qint64 len) {
        total += RelayFrame::byteSum(data, len);
    });
    *sum = total;
    return read;
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
    const qint64 size = file.size();
    qDebug() << "DownFileOBJ::writeFile" << path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)
             << size << chunkSize;
    if (size == 0 && optional)
        return true;
    if (size == 0) {
        // A project needs this file: an empty one means the project is broken, and it
        // is not announced at all.
        emit information(1, tr("%1文件为空").arg(name));
        return false;
    }
    quint32 sum = 0;
    if (!fileSum(file, &sum)) {
        if (!stopRequested())
            emit information(1, tr("打开%1文件失败").arg(name));
        return false;
    }

    if (stopRequested())
        return false;
    const QString lost = tr("%1写入失败:连接已断开").arg(name);
    const qint64 announced = sendCommand(fileCode, quint32(size), sum, nIoTimeout.load(std::memory_order_relaxed));
    if (announced != RelayFrame::kCommandFrameSize) {
        emit information(1, linkLost() ? lost : tr("发送%1命令超时").arg(name));
        return false;
    }
    if (check_ok() != 1) {
        emit information(1, linkLost() ? lost : tr("发送%1命令失败").arg(name));
        return false;
    }

    bool unanswered = false;
    const FrameOutcome outcome = sendFrames(file, size, chunkSize, [&](qint64 offset) {
        emit information(1, tr("%1已写入:%2/%3").arg(name).arg(offset).arg(size));
    }, false, &unanswered);
    switch (outcome) {
    case FrameOutcome::Done:
        break;
    case FrameOutcome::ChecksumErrors:
        emit information(1, tr("%1写入校验错误").arg(name));
        return false;
    case FrameOutcome::NoAcknowledgement:
        emit information(1, tr("%1写入超时").arg(name));
        return false;
    case FrameOutcome::LinkLost:
        emit information(1, lost);
        return false;
    case FrameOutcome::ReadFailed:
        emit information(1, tr("打开%1文件失败").arg(name));
        return false;
    case FrameOutcome::ShortWrites:
    case FrameOutcome::Stopped:
        return false;
    }

    waitWritten(nIoTimeout.load(std::memory_order_relaxed));
    switch (sendEndOfFile(unanswered)) {
    case FrameOutcome::Done:
        return true;
    case FrameOutcome::LinkLost:
        emit information(1, lost);
        return false;
    default:
        emit information(1, tr("%1写入结束命令错误").arg(name));
        return false;
    }
}

// Sends size bytes of the file in frames of at most chunkSize bytes, each one until
// the panel accepts it, at most 10 attempts per frame. Each frame's chunk is read from
// the file when the frame is built; a frame sent again is not read again. *unanswered
// is set when an attempt got no answer within its wait (one may still come).
DownFileOBJ::FrameOutcome DownFileOBJ::sendFrames(QFile &file, qint64 size, int chunkSize,
                                                  const std::function<void(qint64)> &progress,
                                                  bool firmware, bool *unanswered)
{
    qint64 offset = 0;
    quint32 index = 0;
    int attemptsLeft = kFrameAttempts;
    QByteArray frame;
    qint64 frameOffset = -1;
    while (offset < size) {
        // The firmware download looks at the stop flag before every frame and ends
        // silently; a project file runs into its unanswered attempts instead.
        if (firmware && stopRequested())
            return FrameOutcome::Stopped;
        const int n = RelayFrame::nextChunkLength(size, offset, chunkSize);
        if (n <= 0)
            return FrameOutcome::ShortWrites; // no room for data: never send empty frames
        if (frameOffset != offset) {
            const QByteArray chunk = file.seek(offset) ? file.read(n) : QByteArray();
            if (chunk.size() != n) {
                qDebug() << "DownFileOBJ::sendFrames cannot read" << file.fileName() << offset << n;
                return FrameOutcome::ReadFailed;
            }
            frame = RelayFrame::dataFrame(index, chunk.constData(), n);
            frameOffset = offset;
        }
        discardWaiting("frame", index);
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
            if (ack == RelayFrame::NotAccepted)
                *unanswered = true;
            failure = ack == RelayFrame::ChecksumError ? FrameOutcome::ChecksumErrors
                                                       : FrameOutcome::NoAcknowledgement;
            qDebug() << "DownFileOBJ::sendFrames refused" << index << ack;
        } else {
            failure = FrameOutcome::ShortWrites;
            qDebug() << "DownFileOBJ::sendFrames short write" << index << written;
        }
        if (linkLost()) {
            qDebug() << "DownFileOBJ::sendFrames link lost" << index << tcpSocket->errorString();
            return FrameOutcome::LinkLost;
        }
        if (--attemptsLeft <= 0)
            return failure;
    }
    return FrameOutcome::Done;
}

// The end command, up to 10 attempts: Done once the panel accepts the file.
DownFileOBJ::FrameOutcome DownFileOBJ::sendEndOfFile(bool lateAnswersPossible)
{
    if (lateAnswersPossible)
        discardLateAnswers();
    for (int attempt = 1; attempt <= kEndAttempts; ++attempt) {
        const qint64 written = sendCommand(RelayFrame::kEndOfFile, 0, 0,
                                           nIoTimeout.load(std::memory_order_relaxed));
        if (written == RelayFrame::kCommandFrameSize && check_ok() == 1)
            return FrameOutcome::Done;
        if (linkLost()) {
            qDebug() << "DownFileOBJ::sendEndOfFile link lost" << tcpSocket->errorString();
            return FrameOutcome::LinkLost;
        }
        qDebug() << "DownFileOBJ::sendEndOfFile attempt" << attempt << "failed";
    }
    return FrameOutcome::NoAcknowledgement;
}

// Unpacks the archive into dir for operation op. Every failure is reported here (a
// stop silently) and gives false.
bool DownFileOBJ::unpackArchive(int op, const QString &archive, const QString &dir,
                                const QString &unreadableText, QStringList *files)
{
    SafeUnzip::Options options;
    options.stopRequested = [this] { return stopRequested(); };
    const SafeUnzip::Result unpacked = SafeUnzip::extractFile(archive, dir, options);
    qDebug() << "DownFileOBJ::unpackArchive" << op << int(unpacked.status) << unpacked.files.size();
    switch (unpacked.status) {
    case SafeUnzip::Status::Extracted:
        *files = unpacked.files;
        return true;
    case SafeUnzip::Status::Refused:
        qDebug() << "DownFileOBJ::unpackArchive refused entry" << unpacked.refusedEntry;
        emit information(op, tr("压缩文件包含不安全的路径,已拒绝"));
        return false;
    case SafeUnzip::Status::TooLarge:
        emit information(op, tr("压缩文件超出解压限制,已拒绝"));
        return false;
    case SafeUnzip::Status::Unreadable:
        emit information(op, unreadableText);
        return false;
    case SafeUnzip::Status::Stopped:
        return false;
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

    // The unpack directory is emptied first; an archive that cannot be read leaves it
    // empty, so there is no model record to go on with.
    const QString unpackDir = QCoreApplication::applicationDirPath() + QStringLiteral("/compile");
    QStringList unpacked;
    if (!unpackArchive(1, sPath, unpackDir, tr("组态文件没有型号以及版本参数"), &unpacked)) {
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
    if (stopRequested()) {
        // Stopped right after the unpacking: nothing to report.
        emit finishThrd(1);
        return;
    }

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

    // The image is summed here and later sent frame by frame from the file; it is
    // never held in memory whole.
    QFile file(sPath);
    quint32 sum = 0;
    if (!file.open(QIODevice::ReadOnly) || !fileSum(file, &sum)) {
        if (stopRequested())
            return end();
        emit information(0, tr("底层文件不存在或打开失败"));
        return end();
    }
    const qint64 size = file.size();

    QByteArray reply;
    if (!queryModel(0, kFirmwareModelReplyMs, &reply))
        return end();
    if (!typeCompare(reply, sPath)) {
        emit information(0, tr("底层与型号不匹配"));
        return end();
    }

    const QString lost = tr("写入底层失败:连接已断开");
    emit information(0, tr("写入底层信息"));
    const qint64 announced = sendCommand(RelayFrame::kAnnounceFirmware, quint32(size), sum,
                                         nIoTimeout.load(std::memory_order_relaxed));
    if (announced != RelayFrame::kCommandFrameSize || check_ok() != 1) {
        emit information(0, linkLost() ? lost : tr("写入底层信息错误"));
        return end();
    }
    emit information(0, tr("开始写入底层"));

    bool unanswered = false;
    if (size > 0) {
        const FrameOutcome outcome = sendFrames(
            file, size, RelayFrame::chunkSize(nFrameByte),
            [&](qint64 offset) {
                emit information(0, tr("底层已写入:%1/%2").arg(offset).arg(size));
            },
            true, &unanswered);
        switch (outcome) {
        case FrameOutcome::Done:
            break;
        case FrameOutcome::ChecksumErrors:
            emit information(0, tr("写入底层校验错误"));
            return end();
        case FrameOutcome::NoAcknowledgement:
            emit information(0, tr("写入底层超时"));
            return end();
        case FrameOutcome::LinkLost:
            emit information(0, lost);
            return end();
        case FrameOutcome::ReadFailed:
            emit information(0, tr("底层文件不存在或打开失败"));
            return end();
        case FrameOutcome::ShortWrites:
        case FrameOutcome::Stopped:
            qDebug() << "DownFileOBJ::updateFirmWareTcp ended" << int(outcome);
            return end();
        }
    }

    switch (sendEndOfFile(unanswered)) {
    case FrameOutcome::Done:
        emit information(0, tr("写入底层成功"));
        break;
    case FrameOutcome::LinkLost:
        emit information(0, lost);
        break;
    default:
        emit information(0, tr("写入底层结束命令超时"));
        break;
    }
    end();
}
