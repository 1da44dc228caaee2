#ifndef MULTIPARTBODY_H
#define MULTIPARTBODY_H

#include <QByteArray>
#include <QString>

#include <functional>

// The multipart body of the cloud project upload ("project/uploadToObject"): the
// head (every field and the file part's header), the archive, the tail. The archive
// itself is never held here: the body is sent from the file (UploadBodyDevice).
// Pure functions: no network, no QObject, no files.
namespace MultipartBody {

// The boundary used whenever the body does not hold it.
QByteArray defaultBoundary();
// The raw Content-Type header value that announces boundary.
QByteArray contentType(const QByteArray &boundary);

// The upload's file name: the part of the path after its last "/", the whole path
// when it holds none (a path with backslashes only is sent as it is).
QString fileNameOf(const QString &sPath);

struct Fields
{
    QString uuid;        // project identity
    bool useName = false;
    QString gatewayId;   // the panel's IMEI
    QString account;
    QString password;
    QString fileName;
};

// Parts uuid, usePrjName ("1"/"0"), gatewayId, account, password and the head of the
// part "file" (application/zip), in this order; values as UTF-8 without quoting or
// escaping. The archive's bytes follow it directly.
QByteArray head(const Fields &fields, const QByteArray &boundary);
// What follows the archive's bytes: the closing delimiter.
QByteArray tail(const QByteArray &boundary);
// head + archive + tail.
QByteArray build(const Fields &fields, const QByteArray &archive,
                 const QByteArray &boundary = defaultBoundary());

// Looks for needle in a stream handed over piece by piece, also across the borders
// of pieces: carry keeps the end of what came before (fewer bytes than needle; start
// with it empty) and is updated for the next piece.
bool pieceHolds(QByteArray *carry, const QByteArray &piece, const QByteArray &needle);

enum class Scan { Absent, Present, Failed };
using ArchiveScan = std::function<Scan(const QByteArray &needle)>;

// Random suffixes tried before giving up.
constexpr int kSuffixAttempts = 8;

// The boundary for an upload: the default one when neither a field value nor the
// archive holds it, else the default followed by a suffix from nextSuffix, checked in
// the same way, up to kSuffixAttempts suffixes. Empty when the archive could not be
// read or no candidate was free.
QByteArray chooseBoundary(const Fields &fields, const ArchiveScan &archive,
                          const std::function<QByteArray()> &nextSuffix);

} // namespace MultipartBody

#endif // MULTIPARTBODY_H
