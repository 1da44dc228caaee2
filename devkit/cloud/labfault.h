#ifndef LABFAULT_H
#define LABFAULT_H

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

// How one request is answered: when (delay, or never) and with which body.
struct LabReply
{
    bool hang = false;      // never answer
    int delayMs = 0;        // answer after this delay
    bool raw = false;       // body is not the service's JSON object
    bool changed = false;   // the fault replaced the service's own answer
    qint64 padTo = 0;       // send the body padded to this many bytes
    bool endless = false;   // send the body as a chunked stream that never ends
    QByteArray body;
    QJsonValue eventCode;   // the code as answered, or "raw", "hang", "nocode"
};

// The fault switches of the config applied to the service's own answer. Pure.
//
// Keys: "delayMs" (answer later), "hang" (never answer), "body" (this raw text instead
// of JSON), "code" (this numeric code, with "msg" or a stock msg), "msg", "omitMsg"
// (no "msg" member), "codeAsString" (true: the code as a JSON string; a string: that
// string), "noCode" (no "code" member), "noData" (code 200 without "data"), "dataRaw"
// (code 200 with this JSON value as "data"), "bodyBytes" (the answer padded to this
// many bytes, still one JSON object), "endless" (the answer followed by padding that
// never ends, chunked).
class LabFault
{
public:
    static LabReply shape(const QJsonObject &fault, const QJsonObject &answer);

    // Keys of a fault object that mean nothing (typing mistakes in a config).
    static QStringList unknownKeys(const QJsonObject &fault);
};

#endif // LABFAULT_H
