#ifndef PANELTRANSFER_H
#define PANELTRANSFER_H

#include "framescan.h"
#include "panelsettings.h"
#include "panelwire.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QVector>

// What the panel should do after reading bytes of a download session.
struct PanelAction
{
    enum Type {
        Reply,      // send bytes to the relay
        Event,      // write an event line (name, fields)
        Store,      // a verified file: store bytes as <code>.bin, then write the "end" event
        Close,      // drop the connection (name = reason)
        SessionEnd  // the desktop left; bytes after the note are in PanelTransfer::takeRest()
    };
    Type type = Event;
    QByteArray bytes;
    QString name;
    QJsonObject fields;
    int code = 0;
    int delayMs = 0;     // Reply: sent this much later, on its own (a late acknowledgement)
    bool reset = false;  // Close: reset the connection instead of closing it
};

// The panel's side of a download session as a state machine over the byte stream:
// command frames, announced files, data frames and their acknowledgements, with the
// configured faults. No sockets and no files: the caller carries out the actions.
class PanelTransfer
{
public:
    explicit PanelTransfer(const PanelSettings &settings);

    // A new session starts (frame counts and any half-received file are dropped; the
    // frame plan keeps its place).
    void reset();
    QList<PanelAction> feed(const QByteArray &bytes);
    // Called when no bytes came for a while with some still unread.
    QList<PanelAction> quiet();
    bool hasPending() const { return !m_buffer.isEmpty(); }
    QByteArray takeRest();

private:
    enum class Step { Consumed, NeedMore, Stop };

    Step processOne(QList<PanelAction> *out);
    void handleCommand(const PanelWire::CommandFrame &cmd, QList<PanelAction> *out);
    void handleEnd(QList<PanelAction> *out);
    bool handleFrame(const FrameScan::Result &frame, const QByteArray &chunk, QList<PanelAction> *out);
    bool dropConnectionFault(const FrameScan::Result &frame, QList<PanelAction> *out);
    void handleUnmatched(const FrameScan::Result &frame, QList<PanelAction> *out);
    bool dropPartialBeforeNextSession(QList<PanelAction> *out);
    void refuse(const QString &reason, const QJsonObject &extra, QList<PanelAction> *out);
    bool dataExpected() const;
    FrameScan::Context context() const;

    static void addEvent(QList<PanelAction> *out, const QString &name, const QJsonObject &fields);
    static void addReply(QList<PanelAction> *out, const QByteArray &bytes, int delayMs = 0);
    // Answers a model or version query: `reply`, or the fault's reply when one is set.
    static void answerQuery(QList<PanelAction> *out, const QString &event, const QString &fault,
                            const QByteArray &reply, const QByteArray *faultReply);

    const PanelSettings m_settings;
    QByteArray m_buffer;
    QByteArray m_rest;
    bool m_stopped = false;

    bool m_fileActive = false;
    quint8 m_code = 0;
    quint32 m_size = 0;
    quint32 m_sum = 0;
    QByteArray m_data;
    quint32 m_expected = 0;
    int m_chunkSize = 0;
    bool m_haveLast = false;
    quint32 m_lastIndex = 0;
    int m_lastChunkLen = 0;
    bool m_ended = false;

    int m_sessionFrames = 0;
    QVector<int> m_planCursor;
};

#endif // PANELTRANSFER_H
