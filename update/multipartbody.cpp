#include "multipartbody.h"

namespace MultipartBody {

QByteArray boundary()
{
    return QByteArrayLiteral("YourBoundaryString");
}

QByteArray contentType()
{
    return QByteArrayLiteral("multipart/form-data; boundary=") + boundary();
}

QString fileNameOf(const QString &sPath)
{
    const int slash = sPath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? sPath : sPath.mid(slash + 1);
}

namespace {
void appendField(QByteArray &body, const char *name, const QByteArray &value)
{
    body += "--" + boundary() + "\r\n";
    body += QByteArrayLiteral("Content-Disposition: form-data; name=\"");
    body += name;
    body += "\"\r\n\r\n";
    body += value;
    body += "\r\n";
}
} // namespace

QByteArray build(const Fields &fields, const QByteArray &archive)
{
    QByteArray body;
    body.reserve(archive.size() + 1024);
    appendField(body, "uuid", fields.uuid.toUtf8());
    appendField(body, "usePrjName", fields.useName ? "1" : "0");
    appendField(body, "gatewayId", fields.gatewayId.toUtf8());
    appendField(body, "account", fields.account.toUtf8());
    appendField(body, "password", fields.password.toUtf8());
    body += "--" + boundary() + "\r\n";
    body += QByteArrayLiteral("Content-Disposition: form-data; name=\"file\"; filename=\"");
    body += fields.fileName.toUtf8();
    body += "\"\r\n";
    body += QByteArrayLiteral("Content-Type: application/zip\r\n\r\n");
    body += archive;
    body += "\r\n--" + boundary() + "--\r\n";
    return body;
}

} // namespace MultipartBody
