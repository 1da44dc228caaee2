#ifndef PANELLIST_H
#define PANELLIST_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include "devinfo.h"

// The panels of a run: those named (arguments and the lines of --from) and, with
// --all-online, every online panel of the account, each once, in that order. A panel
// that the account does not list, or lists as not online, is reported and not
// attempted. Pure.
class PanelList
{
public:
    enum class Disposition { Attempt, Offline, Unknown };

    struct Entry
    {
        QString imei;
        Disposition disposition = Disposition::Attempt;
        QString status;   // the account's status text of the panel; empty when unknown

        bool operator==(const Entry &o) const
        {
            return imei == o.imei && disposition == o.disposition && status == o.status;
        }
    };

    // The most bytes of a --from file that are read.
    static constexpr qint64 kMaxFromBytes = 1024 * 1024;

    // The IMEIs of a --from file: one a line, blanks around them ignored, empty lines
    // and lines starting with '#' skipped.
    static QStringList fromFileContent(const QByteArray &content);

    // The account lists the panel as online ("在线").
    static bool isOnline(const DevInfo &device);

    static QVector<Entry> resolve(const QStringList &named, bool allOnline,
                                  const QVector<DevInfo> &devices);
};

#endif // PANELLIST_H
