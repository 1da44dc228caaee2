#include "updatestep.h"

#include <QFile>

#include "logging.h"
#include "safeunzip.h"

namespace {
// Files are summed and hashed in pieces of this size, never read whole.
constexpr qint64 kPieceBytes = 1024 * 1024;
} // namespace

UpdateStep::UpdateStep(Report report, StopRequested stopRequested)
    : m_report(std::move(report)), m_stopRequested(std::move(stopRequested))
{
}

void UpdateStep::report(const QString &text) const
{
    m_report(text);
}

bool UpdateStep::stopRequested() const
{
    return m_stopRequested();
}

void UpdateStep::setProgress(Progress progress)
{
    m_progress = std::move(progress);
    m_lastProgress.invalidate();
    m_lastFile = -1;
}

bool UpdateStep::progressDue(bool always, int file)
{
    if (!always && file == m_lastFile && m_lastProgress.isValid()
        && m_lastProgress.elapsed() < kProgressEveryMs)
        return false;
    m_lastProgress.start();
    m_lastFile = file;
    return true;
}

void UpdateStep::progress(qint64 done, qint64 total, int file, int files)
{
    if (m_progress && progressDue(done == total, file))
        m_progress(done, total, file, files);
}

void UpdateStep::frameAccepted(const QString &pattern, qint64 offset, qint64 size, qint64 done,
                               qint64 total, int file, int files)
{
    progressDue(true, file);
    report(pattern.arg(QString::number(offset), QString::number(size)));
    if (m_progress)
        m_progress(done, total, file, files);
}

bool UpdateStep::unpackArchive(const QString &archive, const QString &dir,
                               const QString &unreadableText, QStringList *files)
{
    SafeUnzip::Options options;
    options.stopRequested = m_stopRequested;
    const SafeUnzip::Result unpacked = SafeUnzip::extractFile(archive, dir, options);
    qCDebug(lcProject) << "UpdateStep::unpackArchive" << int(unpacked.status)
                       << unpacked.files.size();
    if (unpacked.status == SafeUnzip::Status::Extracted) {
        *files = unpacked.files;
        return true;
    }
    if (unpacked.status == SafeUnzip::Status::Refused)
        qCDebug(lcProject) << "UpdateStep::unpackArchive refused entry" << unpacked.refusedEntry;
    const QString text = unpackFailureText(unpacked.status, unreadableText);
    if (!text.isEmpty())
        report(text);
    return false;
}

QString UpdateStep::unpackFailureText(SafeUnzip::Status status, const QString &unreadableText)
{
    switch (status) {
    case SafeUnzip::Status::Refused:
        return tr("压缩文件包含不安全的路径,已拒绝");
    case SafeUnzip::Status::TooLarge:
        return tr("压缩文件超出解压限制,已拒绝");
    case SafeUnzip::Status::Unreadable:
        return unreadableText;
    case SafeUnzip::Status::Extracted:
    case SafeUnzip::Status::Stopped:
        break;   // silently
    }
    return QString();
}

bool UpdateStep::readInPieces(QFile &file, const std::function<void(const char *, qint64)> &take) const
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
