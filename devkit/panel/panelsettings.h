#ifndef PANELSETTINGS_H
#define PANELSETTINGS_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// One panel of the "panels" section: identity, model answers, serial side and the
// faults it plays.
struct PanelSettings
{
    struct PlanEntry
    {
        int code = -1;             // file code the entry is for; -1 = any file
        quint32 index = 0;         // data frame index
        QList<QByteArray> replies; // per arrival: bytes to answer; empty = silence
    };

    QString imei;
    int model = 0;
    int comm = 0;
    int module = 0;
    quint32 version = 0;
    QString serial;                // device path; empty = echo

    int replyDelayMs = 0;
    QList<PlanEntry> framePlan;
    bool hasModelReply = false;
    QByteArray modelReply;
    bool hasVersionReply = false;
    QByteArray versionReply;
    int disconnectAfterFrames = 0; // 0 = never
    bool noEndAck = false;
    bool passthroughSplit = false;
    int passthroughLeaveAfter = 0; // leave the relay right after the Nth pass-through reply; 0 = never
    qint64 passthroughSend = 0;    // bytes sent unasked at the start of each pass-through session

    // Keys read by the relay, not by the panel.
    static bool isRelayFault(const QString &key);

    static PanelSettings fromJson(const QJsonObject &panel, QStringList *problems);
};

#endif // PANELSETTINGS_H
