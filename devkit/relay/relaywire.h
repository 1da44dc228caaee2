#ifndef RELAYWIRE_H
#define RELAYWIRE_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The relay's messages: what a fresh connection registers with, how a desktop
// registration is matched against the panels online, and the go-ahead variants.
// Pure functions; the server only moves bytes.
namespace RelayWire {

extern const QByteArray kDelimiter;      // "$_$"
extern const QByteArray kPanelAck;       // "ok$_$"
extern const QByteArray kGoAhead;        // "start$_$"
extern const QByteArray kOffline;        // "offline$_$"
extern const QByteArray kBusy;           // "busy$_$"
extern const QByteArray kEnd;            // "end$_$"
extern const QByteArray kPanelGone;      // "disconnected,2$_$"
constexpr int kMaxRegistration = 256;    // bytes before "$_$" is required
constexpr int kMaxId = 64;

enum class Kind { Incomplete, Panel, Desktop, Garbage };
enum class Form { Download, Passthrough };

struct Registration
{
    Kind kind = Kind::Incomplete;
    int length = 0;        // bytes taken from the buffer, "$_$" included
    QByteArray body;       // the message without "$_$"
    QString imei;          // panel registrations
    QString reason;        // garbage: why
};

// Looks at the start of what a new connection sent.
Registration parseRegistration(const QByteArray &buffer);

struct DesktopMatch
{
    bool found = false;
    Form form = Form::Download;
    QString imei;              // the matched panel, or the pass-through reading when none
    QString passthroughImei;   // "<IMEI>,1"  -> IMEI
    QString downloadImei;      // "<IMEI>1,1" -> IMEI (empty when the body cannot be one)
};

// A desktop body "<X>,1": the pass-through reading (IMEI = X) wins over the download
// reading (X = IMEI + "1") when that panel is online.
DesktopMatch matchDesktop(const QByteArray &body, const std::function<bool(const QString &)> &isOnline);

QString formName(Form form);
QByteArray sessionMessage(Form form);    // "session,download$_$" / "session,passthrough$_$"

struct GoAheadStep
{
    QByteArray bytes;
    int delayMs = 0;    // after the previous step
};

bool isGoAheadVariant(const QString &variant);
// "" or "normal", "split", "extra", "case", "zeroTail", "none" (no steps).
QList<GoAheadStep> goAheadSteps(const QString &variant);

bool isValidId(const QByteArray &id);

} // namespace RelayWire

#endif // RELAYWIRE_H
