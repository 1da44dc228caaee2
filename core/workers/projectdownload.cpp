#include "projectdownload.h"

#include <QFile>
#include <QFileInfo>

#include "logging.h"
#include "modelrecord.h"
#include "projectfiles.h"
#include "relayframe.h"
#include "relaylink.h"
#include "relaywaits.h"
#include "transfertexts.h"

ProjectDownload::ProjectDownload(RelayLink &link, const RelayWaits &waits, QString imei,
                                 QString unpackDir, Report report, bool unpacked)
    : RelayDownload(link, waits, std::move(report)),
      m_imei(std::move(imei)),
      m_unpackDir(std::move(unpackDir)),
      m_unpacked(unpacked)
{
}

void ProjectDownload::run(const QString &sPath, int nFrameByte, bool bHzFile, bool updateFlag)
{
    if (!RelayFrame::frameSizeUsable(nFrameByte)) {
        report(tr("帧大小必须大于8字节"));
        return;
    }
    ModelRecord record;
    if (!unpack(sPath, &record))
        return;
    if (stopRequested())
        return;   // stopped right after the unpacking: nothing to report
    if (!openLink(m_imei, waits().connectTimeoutMs(), false))
        return;
    if (!checkPanel(record, updateFlag))
        return;
    send(record, bHzFile, RelayFrame::chunkSize(nFrameByte));
}

// The unpack directory is emptied first; an archive that cannot be read leaves it
// empty, so there is no model record to go on with. A project unpacked beforehand is
// only read.
bool ProjectDownload::unpack(const QString &sPath, ModelRecord *record)
{
    QStringList unpacked;
    if (!m_unpacked
        && !unpackArchive(sPath, m_unpackDir, tr("组态文件没有型号以及版本参数"), &unpacked))
        return false;
    QFile modelFile(m_unpackDir + QStringLiteral("/modelData.bin"));
    if (!modelFile.open(QIODevice::ReadOnly)
        || !ModelRecord::parse(modelFile.read(ModelRecord::kSize), record)) {
        report(tr("组态文件没有型号以及版本参数"));
        return false;
    }
    return true;
}

bool ProjectDownload::checkPanel(const ModelRecord &record, bool updateFlag)
{
    QByteArray reply;
    if (!queryModel(waits().ioTimeoutMs(), &reply))
        return false;
    const RelayFrame::ModelReply r = RelayFrame::modelReply(reply);
    qCDebug(lcRelay) << "ProjectDownload::checkPanel" << reply.toHex() << int(r.model)
                     << int(r.comm) << int(r.module) << record.model << int(record.comm)
                     << int(record.module) << record.version;
    if (!record.modelMatches(r.model)) {
        report(tr("组态型号和触摸屏型号不一致"));
        return false;
    }
    // The texts name the panel's communication type (1 4G, 2 WIFI); another type gets none.
    const auto reportForComm = [this, &r](const QString &for4G, const QString &forWifi) {
        if (r.comm == 1 || r.comm == 2)
            report(r.comm == 1 ? for4G : forWifi);
    };
    if (r.comm != record.comm) {
        reportForComm(tr("该型号不支持4G通信"), tr("该型号不支持WIFI通信"));
        return false;
    }
    if (r.module != record.module) {
        reportForComm(tr("该型号不兼容当前4G模块"), tr("该型号不兼容当前WIFI模块"));
        return false;
    }

    quint32 version = 0;
    if (!answered(link().queryVersion(waits().ioTimeoutMs(), &version), tr("发送查询版本命令失败"),
                  tr("查询型号命令失败")))
        return false;
    if (!record.versionMatches(version)) {
        report(tr("组态与版本不一致"));
        if (!updateFlag)
            return false;
    }
    return true;
}

bool ProjectDownload::send(const ModelRecord &record, bool bHzFile, int chunkSize)
{
    const QVector<ProjectFiles::File> plan = ProjectFiles::plan(record, bHzFile, m_unpackDir);
    // Progress runs over the bytes of every file that will go out (empty optional files
    // and missing ones do not).
    m_sent = {};
    for (const ProjectFiles::File &f : plan) {
        const qint64 size = f.path.isEmpty() ? 0 : QFileInfo(f.path).size();
        if (size > 0) {
            m_sent.total += size;
            ++m_sent.files;
        }
    }
    for (const ProjectFiles::File &f : plan) {
        const QString name = QCoreApplication::translate("ProjectFiles", f.name);
        if (!writeFile(f.path, name, chunkSize, f.code)) {
            if (f.step == 17)
                qCDebug(lcRelay) << "ProjectDownload::send COM1 driver" << record.com1Name;
            return false;
        }
        if (f.step == ProjectFiles::kDriversFollowStep)
            report(tr("下载PLC驱动"));
    }
    if (link().sendCommand(RelayFrame::kProjectComplete, 0, 0, waits().ioTimeoutMs())
        == RelayFrame::kCommandFrameSize) {
        report(tr("组态升级完成"));
        return true;
    }
    report(tr("发送下载完成命令超时"));
    return false;
}

bool ProjectDownload::writeFile(QString path, QString name, int chunkSize, uchar fileCode)
{
    const auto failure = [&name](RelayLink::Outcome outcome) {
        return TransferTexts::text(TransferTexts::Download::Project, outcome, name);
    };
    const bool optional = ProjectFiles::isOptionalCode(fileCode);
    report(tr("写入%1").arg(name));

    QFile file(path);
    // Each frame's chunk is read straight into the frame: no buffer of the file's own.
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (optional)
            return true;
        qCDebug(lcRelay) << "ProjectDownload::writeFile cannot open" << path << int(fileCode);
        report(failure(RelayLink::Outcome::ReadFailed));
        return false;
    }
    const qint64 size = file.size();
    qCDebug(lcRelay) << "ProjectDownload::writeFile"
                     << path.mid(path.lastIndexOf(QLatin1Char('/')) + 1) << size << chunkSize;
    if (size == 0 && optional)
        return true;
    if (size == 0) {
        // A project needs this file: an empty one means the project is broken, and it
        // is not announced at all.
        report(tr("%1文件为空").arg(name));
        return false;
    }
    quint32 sum = 0;
    if (!fileSum(file, &sum)) {
        if (!stopRequested())
            report(failure(RelayLink::Outcome::ReadFailed));
        return false;
    }
    if (stopRequested())
        return false;

    ++m_sent.file;
    const QString writtenText = tr("%1已写入:%2/%3").arg(name);   // looked up once per file
    const auto written = [&](qint64 offset) {
        frameAccepted(writtenText, offset, size, m_sent.before + offset, m_sent.total, m_sent.file,
                      m_sent.files);
    };
    const auto announced = [&] {
        progress(m_sent.before, m_sent.total, m_sent.file, m_sent.files);
    };
    const RelayLink::Outcome outcome
        = link().sendFile(file, size, sum, fileCode, chunkSize, false, kProgressEveryMs,
                          written, announced);
    m_sent.before += size;
    const QString text = failure(outcome);
    if (!text.isEmpty())
        report(text);
    return outcome == RelayLink::Outcome::Done;
}
