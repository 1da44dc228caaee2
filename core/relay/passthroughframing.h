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
//
// Nothing is allocated for a read that holds one message and nothing kept before it:
// the bytes for the port are then a part of the read itself. Otherwise they are gathered
// in a buffer of the decoder's, reused from read to read.
// Pure: no sockets, no QObject.
class PassthroughFraming
{
public:
    static constexpr int kDefaultLimit = 64 * 1024;

    struct Result
    {
        // To write to the serial port (toSerialSize bytes, possibly none): in the read
        // given to feed, or in the decoder. Valid until the next feed or clear.
        const char *toSerial = nullptr;
        int toSerialSize = 0;
        bool hmiDisconnected = false; // "disconnected,2$_$" arrived
        int dropped = 0;              // bytes given up because the limit was exceeded
    };

    explicit PassthroughFraming(int limit = kDefaultLimit);

    static QByteArray serialToRelay(const QByteArray &serialData);

    // Takes one read from the relay connection.
    Result feed(const char *read, int size);

    // Bytes kept so far, waiting for their delimiter.
    int pending() const { return m_kept.size(); }
    void clear();

private:
    // One complete message without its delimiter: the disconnect note, or data.
    void take(const char *message, int size, Result *result);

    int m_limit;
    QByteArray m_kept;
    QByteArray m_out; // the bytes for the port when they are not one part of the read
};

#endif // PASSTHROUGHFRAMING_H
