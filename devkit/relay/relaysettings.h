#ifndef RELAYSETTINGS_H
#define RELAYSETTINGS_H

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// The relay's part of the lab config: the "relay" section and, from each entry of
// "panels", the faults that the relay plays for sessions to that panel.
struct RelaySettings
{
    struct PanelRule
    {
        QString goAhead;       // go-ahead variant for sessions to this panel ("" = relay default)
        bool refuse = false;   // answer "offline$_$" although the panel is online
        bool resetDesktop = false; // resetAfterFrames: a download desktop is reset when the panel leaves
    };

    int port = 10745;
    QString events;
    QString goAhead;           // relay-wide go-ahead variant
    QHash<QString, PanelRule> panels;
    QStringList warnings;      // unknown values, reported once at start

    static RelaySettings fromJson(const QJsonObject &config);
    QString goAheadFor(const QString &imei) const;
    bool refuses(const QString &imei) const;
    bool resetsDesktop(const QString &imei) const;
};

#endif // RELAYSETTINGS_H
