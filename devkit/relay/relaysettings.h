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

        // Pass-through faults (0 = off).
        int closeAfterBytes = 0;   // close the desktop connection once N desktop bytes passed
        int resetAfterBytes = 0;   // the same with a reset (RST)
        int coalesceMs = 0;        // panel bytes for the desktop gathered and written every N ms
        int pauseDesktopMs = 0;    // read nothing from the desktop for N ms after the go-ahead
    };

    int port = 10745;
    QString events;
    QString goAhead;           // relay-wide go-ahead variant
    QHash<QString, PanelRule> panels;
    QStringList warnings;      // unknown values, reported once at start

    static RelaySettings fromJson(const QJsonObject &config);
    void readPassthroughFaults(const QJsonObject &faults, const QString &imei, PanelRule *rule);
    QString goAheadFor(const QString &imei) const;
    PanelRule ruleFor(const QString &imei) const;
    bool refuses(const QString &imei) const;
    bool resetsDesktop(const QString &imei) const;
};

#endif // RELAYSETTINGS_H
