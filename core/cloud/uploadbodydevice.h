#ifndef UPLOADBODYDEVICE_H
#define UPLOADBODYDEVICE_H

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

#include "multipartbody.h"

// The upload body as a device: the head bytes, then the archive read from its file in
// pieces, then the tail, so that an archive of any size is sent without being held in
// memory. Random access with a size known at open(): the network layer can announce
// the length and start over. A file that became shorter since open() ends the read
// with an error instead of a body shorter than announced.
class UploadBodyDevice : public QIODevice
{
    Q_OBJECT

public:
    UploadBodyDevice(const QByteArray &head, const QString &filePath, const QByteArray &tail,
                     QObject *parent = nullptr);

    // ReadOnly only. Opens the file and fixes the size.
    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return false; }
    qint64 size() const override;

    // Whether the file holds needle, read in pieces.
    static MultipartBody::Scan scanFile(const QString &path, const QByteArray &needle);
    // The boundary for uploading the file at path with fields (random suffixes from the
    // system's generator); empty when none could be chosen.
    static QByteArray boundaryFor(const MultipartBody::Fields &fields, const QString &path);

signals:
    // How far the network layer has read the body (it may read ahead of what the peer
    // has taken, by its buffer's size).
    void bodyRead(qint64 done, qint64 total);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    static constexpr qint64 kScanPiece = 1024 * 1024;

    QByteArray m_head;
    QByteArray m_tail;
    QFile m_file;
    qint64 m_fileSize = 0;
};

#endif // UPLOADBODYDEVICE_H
