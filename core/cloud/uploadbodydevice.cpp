#include "uploadbodydevice.h"

#include <QRandomGenerator>

#include <cstring>

#include "logging.h"

UploadBodyDevice::UploadBodyDevice(const QByteArray &head, const QString &filePath,
                                   const QByteArray &tail, QObject *parent)
    : QIODevice(parent), m_head(head), m_tail(tail), m_file(filePath)
{
}

bool UploadBodyDevice::open(OpenMode mode)
{
    if ((mode & ReadWrite) != ReadOnly) {
        setErrorString(QStringLiteral("read only"));
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        setErrorString(m_file.errorString());
        return false;
    }
    m_fileSize = m_file.size();
    // Unbuffered: pos() is where readData() reads next.
    return QIODevice::open(mode | Unbuffered);
}

void UploadBodyDevice::close()
{
    QIODevice::close();
    m_file.close();
}

qint64 UploadBodyDevice::size() const
{
    return m_head.size() + m_fileSize + m_tail.size();
}

qint64 UploadBodyDevice::readData(char *data, qint64 maxSize)
{
    const qint64 headEnd = m_head.size();
    const qint64 fileEnd = headEnd + m_fileSize;
    qint64 at = pos();
    qint64 done = 0;
    while (done < maxSize && at < size()) {
        qint64 n = 0;
        if (at < headEnd) {
            n = qMin(maxSize - done, headEnd - at);
            std::memcpy(data + done, m_head.constData() + at, size_t(n));
        } else if (at < fileEnd) {
            const qint64 offset = at - headEnd;
            if (m_file.pos() != offset && !m_file.seek(offset))
                n = -1;
            else
                n = m_file.read(data + done, qMin(maxSize - done, fileEnd - at));
            if (n <= 0) {
                qCDebug(lcCloud) << "UploadBodyDevice::readData file ended early"
                                 << m_file.fileName() << offset << m_fileSize;
                setErrorString(QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString()));
                return done > 0 ? done : -1;
            }
        } else {
            n = qMin(maxSize - done, size() - at);
            std::memcpy(data + done, m_tail.constData() + (at - fileEnd), size_t(n));
        }
        done += n;
        at += n;
    }
    if (done > 0)
        emit bodyRead(at, size());
    return done;
}

qint64 UploadBodyDevice::writeData(const char *, qint64)
{
    return -1;
}

MultipartBody::Scan UploadBodyDevice::scanFile(const QString &path, const QByteArray &needle)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return MultipartBody::Scan::Failed;
    QByteArray carry;
    for (;;) {
        const QByteArray piece = file.read(kScanPiece);
        if (piece.isEmpty())
            return file.error() == QFileDevice::NoError ? MultipartBody::Scan::Absent
                                                        : MultipartBody::Scan::Failed;
        if (MultipartBody::pieceHolds(&carry, piece, needle))
            return MultipartBody::Scan::Present;
    }
}

QByteArray UploadBodyDevice::boundaryFor(const MultipartBody::Fields &fields, const QString &path)
{
    return MultipartBody::chooseBoundary(
        fields, [&path](const QByteArray &needle) { return scanFile(path, needle); },
        [] { return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0'); });
}
