#ifndef PASSTHROUGHFRAMING_H
#define PASSTHROUGHFRAMING_H

#include <QByteArray>
#include <QString>

// Bytes of the pass-through link through the relay server.
//
// Desktop to relay: the registration (RelayFrame::passthroughRegistration) once, then
// every serial read followed by "$_$" (RelayFrame::trailer). Relay to desktop: payloads
// each followed by "$_$", and "disconnected,2$_$" when the panel has gone.
//
// Every "$_$" from the relay ends a message. Whatever has arrived up to the last
// delimiter goes to the serial port at once, every delimiter taken out (a read holding
// "AB$_$CD$_$" gives "ABCD"); a message that is exactly "disconnected,2" is the relay's
// note that the panel has gone and never reaches the serial port, wherever it stands
// among the others. Only the unfinished rest after the last delimiter is kept for the
// next read; a rest over the limit is dropped (but for a trailing "$" or "$_" that may
// still become its delimiter).
// Pure: no sockets, no QObject.
class PassthroughFraming
{
public:
    static constexpr int kDefaultLimit = 64 * 1024;

    struct Result
    {
        QByteArray toSerial;          // to write to the serial port; may be empty
        bool hmiDisconnected = false; // "disconnected,2$_$" arrived
        int dropped = 0;              // bytes given up because the limit was exceeded
    };

    explicit PassthroughFraming(int limit = kDefaultLimit);

    static QByteArray serialToRelay(const QByteArray &serialData);

    // Takes one read from the relay connection.
    Result feed(const QByteArray &read);

    // Bytes kept so far, waiting for their delimiter.
    int pending() const { return m_kept.size(); }
    void clear() { m_kept.clear(); }

private:
    // One complete message without its delimiter: the disconnect note, or data.
    static void take(const char *message, int size, Result *result);

    int m_limit;
    QByteArray m_kept;
};

#endif // PASSTHROUGHFRAMING_H
