#include "modelrecord.h"

#include <QtEndian>

namespace {

QString fieldName(const QByteArray &data, int offset, int size)
{
    const char *p = data.constData() + offset;
    int len = 0;
    while (len < size && p[len] != '\0')
        ++len;
    return QString::fromUtf8(p, len);
}

} // namespace

bool ModelRecord::parse(const QByteArray &data, ModelRecord *out)
{
    if (data.size() < kSize || !out)
        return false;
    const char *p = data.constData();
    ModelRecord r;
    r.model = qFromLittleEndian<quint16>(p);
    r.comm = uchar(p[2]);
    r.module = uchar(p[3]);
    r.version = qFromLittleEndian<quint16>(p + 4);
    r.com1Driver = p[6] != 0;
    r.com2Driver = p[7] != 0;
    r.startupScreen = p[8] != 0;
    r.fontName = fieldName(data, 9, 64);
    r.com1Name = fieldName(data, 73, 50);
    r.com2Name = fieldName(data, 123, 51);
    *out = r;
    return true;
}

bool ModelRecord::isUsableFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false;
    }
    return true;
}

bool ModelRecord::modelMatches(uchar replyModel) const
{
    const quint16 widened = quint16(qint16(qint8(replyModel)));
    return widened == model;
}

bool ModelRecord::versionMatches(quint32 panelVersion) const
{
    return panelVersion == quint32(version);
}
