#ifndef PANELWIRE_H
#define PANELWIRE_H

#include <QByteArray>
#include <QString>

// What the panel reads and answers on a download session: command frames, the
// replies to them, checksums and the pass-through framing. Pure functions.
namespace PanelWire {

extern const QByteArray kMagic;        // the 17 magic characters at the start of a command frame
extern const QByteArray kDelimiter;    // "$_$"
extern const QByteArray kSessionEnd;   // "end$_$", the relay's note that the desktop left
extern const QByteArray kNextSession;  // "end$_$session,": an end note with the next session behind it

constexpr int kCommandSize = 35;
constexpr int kMaxChunk = 8992;                        // frame size 9000 less the 8 header bytes
constexpr int kFrameOverhead = 11;                     // index, chunk sum, "$_$"
constexpr quint32 kMaxFileSize = 256u * 1024u * 1024u;

constexpr quint8 kCodeModel = 0x46;      // 'F'
constexpr quint8 kCodeVersion = 0x53;    // 'S'
constexpr quint8 kCodeFirmware = 0x69;   // 'i'
constexpr quint8 kCodeEnd = 0x35;        // '5'
constexpr quint8 kCodeComplete = 27;

struct CommandFrame
{
    bool valid = false;
    quint8 code = 0;
    quint32 size = 0;
    quint32 sum = 0;
};

quint32 readU32le(const char *p);
quint32 byteSum(const char *data, int size);
inline quint32 byteSum(const QByteArray &data) { return byteSum(data.constData(), data.size()); }

// True when the buffer could still be (the start of) a command frame.
bool startsLikeCommand(const QByteArray &buffer);
// The first 35 bytes of the buffer as a command frame (magic and trailer checked).
CommandFrame parseCommand(const QByteArray &buffer);
// 0x69 and the project file codes 10-25, 29, 31, 54.
bool isAnnounceCode(quint8 code);

QByteArray modelReply(int model, int comm, int module);
QByteArray versionReply(quint32 version);

// Hex text ("46 02 02", "460202") to bytes; false on anything else.
bool parseHex(const QString &text, QByteArray *bytes);

// Where an end note followed by the next session's start stands in the buffer; -1
// when it does not. Such a pair ends the session even after a half-sent message.
int nextSessionAt(const QByteArray &buffer);

// Pass-through: every "$_$" ends a message. Takes every complete message from the
// collected bytes and leaves the unfinished rest; the payloads of the messages, their
// delimiters taken out, form one delivery for the serial side. A message "end" is the
// relay's note that the desktop left: it ends the session, the messages before it are
// still delivered and the bytes after it are returned in rest for the idle side.
struct PassthroughTake
{
    bool complete = false;
    bool hasPayload = false;
    QByteArray payload;
    bool sessionEnd = false;
    QByteArray rest;
};
PassthroughTake takePassthrough(QByteArray *collected);

} // namespace PanelWire

#endif // PANELWIRE_H
