#include "serialcommname.h"

namespace SerialCommName {

QString fromValueData(const unsigned char *data, int length)
{
    QString name;
    if (!data)
        return name;
    for (int i = 0; i < length; ++i) {
        if (data[i] == 0)
            continue;
        const qint16 unit = static_cast<qint8>(data[i]);
        name.append(QChar(static_cast<ushort>(unit)));
    }
    return name;
}

QString fromValueData(const QByteArray &data)
{
    return fromValueData(reinterpret_cast<const unsigned char *>(data.constData()), data.size());
}

} // namespace SerialCommName
