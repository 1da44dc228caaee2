#include "jsonlines.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "devinfo.h"
#include "panellist.h"

namespace JsonLines {

namespace {
QByteArray line(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}
} // namespace

QByteArray event(const PanelEvent &e)
{
    QJsonObject o{{"panel", e.panel}, {"phase", e.phase}, {"bytes", double(e.bytes)},
                  {"text", e.text}};
    if (e.phase == QLatin1String("progress"))
        o.insert(QStringLiteral("total"), double(e.total));
    return line(o);
}

QByteArray device(const DevInfo &d)
{
    return line(QJsonObject{{"panel", d.iMei},
                            {"online", PanelList::isOnline(d)},
                            {"status", d.status}});
}

} // namespace JsonLines
