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
        int delayMs = 0;           // the planned replies go out this much later, on their own
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
    // Download faults: replies written a byte at a time; the connection reset (not
    // closed) on the Nth data frame of a session, the relay resetting the desktop's.
    bool splitReplies = false;
    int resetAfterFrames = 0;      // 0 = never
    int passthroughLeaveAfter = 0; // leave the relay right after the Nth pass-through reply; 0 = never
    qint64 passthroughSend = 0;    // bytes sent unasked at the start of each pass-through session

    // Keys read by the relay, not by the panel.
    static bool isRelayFault(const QString &key);

    static PanelSettings fromJson(const QJsonObject &panel, QStringList *problems);

private:
    static bool isDownloadFault(const QString &key);
    static void readDownloadFaults(const QJsonObject &faults, PanelSettings *s, QStringList *problems);
};

#endif // PANELSETTINGS_H
