#include "multipartbody.h"

namespace MultipartBody {

QByteArray defaultBoundary()
{
    return QByteArrayLiteral("YourBoundaryString");
}

QByteArray contentType(const QByteArray &boundary)
{
    return QByteArrayLiteral("multipart/form-data; boundary=") + boundary;
}

QString fileNameOf(const QString &sPath)
{
    const int slash = sPath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? sPath : sPath.mid(slash + 1);
}

namespace {
void appendField(QByteArray &body, const QByteArray &boundary, const char *name,
                 const QByteArray &value)
{
    body += "--" + boundary + "\r\n";
    body += QByteArrayLiteral("Content-Disposition: form-data; name=\"");
    body += name;
    body += "\"\r\n\r\n";
    body += value;
    body += "\r\n";
}
} // namespace

QByteArray head(const Fields &fields, const QByteArray &boundary)
{
    QByteArray body;
    appendField(body, boundary, "uuid", fields.uuid.toUtf8());
    appendField(body, boundary, "usePrjName", fields.useName ? "1" : "0");
    appendField(body, boundary, "gatewayId", fields.gatewayId.toUtf8());
    appendField(body, boundary, "account", fields.account.toUtf8());
    appendField(body, boundary, "password", fields.password.toUtf8());
    body += "--" + boundary + "\r\n";
    body += QByteArrayLiteral("Content-Disposition: form-data; name=\"file\"; filename=\"");
    body += fields.fileName.toUtf8();
    body += "\"\r\n";
    body += QByteArrayLiteral("Content-Type: application/zip\r\n\r\n");
    return body;
}

QByteArray tail(const QByteArray &boundary)
{
    return "\r\n--" + boundary + "--\r\n";
}

QByteArray build(const Fields &fields, const QByteArray &archive, const QByteArray &boundary)
{
    return head(fields, boundary) + archive + tail(boundary);
}

bool pieceHolds(QByteArray *carry, const QByteArray &piece, const QByteArray &needle)
{
    if (needle.isEmpty())
        return true;
    const int keep = needle.size() - 1;
    // Only the border needs the joined bytes; the piece itself is searched in place.
    const QByteArray border = *carry + piece.left(keep);
    const bool found = border.contains(needle) || piece.contains(needle);
    *carry = piece.size() >= keep ? piece.right(keep) : (*carry + piece).right(keep);
    return found;
}

namespace {
bool fieldsHold(const Fields &fields, const QByteArray &needle)
{
    for (const QString *value : {&fields.uuid, &fields.gatewayId, &fields.account,
                                 &fields.password, &fields.fileName})
        if (value->toUtf8().contains(needle))
            return true;
    return false;
}
} // namespace

QByteArray chooseBoundary(const Fields &fields, const ArchiveScan &archive,
                          const std::function<QByteArray()> &nextSuffix)
{
    QByteArray candidate = defaultBoundary();
    for (int attempt = 0; attempt <= kSuffixAttempts; ++attempt) {
        if (attempt > 0)
            candidate = defaultBoundary() + nextSuffix();
        if (fieldsHold(fields, candidate))
            continue;
        switch (archive(candidate)) {
        case Scan::Absent:
            return candidate;
        case Scan::Failed:
            return QByteArray();
        case Scan::Present:
            break;
        }
    }
    return QByteArray();
}

} // namespace MultipartBody
