#include "panellist.h"

#include <QSet>

namespace {
// The status text of an online panel in the account's list.
const QString kOnline = QStringLiteral("在线");
} // namespace

bool PanelList::isOnline(const DevInfo &device)
{
    return device.status == kOnline;
}

QStringList PanelList::fromFileContent(const QByteArray &content)
{
    QStringList out;
    for (const QByteArray &raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            out << line;
    }
    return out;
}

QVector<PanelList::Entry> PanelList::resolve(const QStringList &named, bool allOnline,
                                             const QVector<DevInfo> &devices)
{
    QStringList order = named;
    if (allOnline)
        for (const DevInfo &d : devices)
            if (isOnline(d))
                order << d.iMei;

    QVector<Entry> out;
    QSet<QString> seen;
    for (const QString &imei : order) {
        if (seen.contains(imei))
            continue;
        seen.insert(imei);
        Entry e;
        e.imei = imei;
        e.disposition = Disposition::Unknown;
        for (const DevInfo &d : devices) {
            if (d.iMei == imei) {
                e.status = d.status;
                e.disposition = isOnline(d) ? Disposition::Attempt : Disposition::Offline;
                break;
            }
        }
        out << e;
    }
    return out;
}
