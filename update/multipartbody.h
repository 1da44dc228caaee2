#ifndef MULTIPARTBODY_H
#define MULTIPARTBODY_H

#include <QByteArray>
#include <QString>

// The multipart body of the cloud project upload ("project/uploadToObject").
// Pure functions: no network, no QObject.
namespace MultipartBody {

// The fixed boundary and the raw Content-Type header value that announces it.
QByteArray boundary();
QByteArray contentType();

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

// Parts uuid, usePrjName ("1"/"0"), gatewayId, account, password and the archive as
// "file" (application/zip), in this order; values as UTF-8 without quoting or escaping.
QByteArray build(const Fields &fields, const QByteArray &archive);

} // namespace MultipartBody

#endif // MULTIPARTBODY_H
