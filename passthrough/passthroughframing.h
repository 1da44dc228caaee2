#ifndef PASSTHROUGHFRAMING_H
#define PASSTHROUGHFRAMING_H

#include <QByteArray>
#include <QString>

// Bytes of the pass-through link through the relay server.
//
// Desktop to relay: the registration (IMEI + ",1$_$") once, then every serial read
// followed by "$_$". Relay to desktop: payloads each followed by "$_$", and
// "disconnected,2$_$" when the panel has gone.
//
// The relay side is reassembled: what arrives is kept until a read ends with "$_$";
// then everything kept is handed to the serial port without that final delimiter
// (a read holding "AB$_$CD$_$" gives "AB$_$CD"). Kept bytes are bounded: when more
// than the limit has gathered without a delimiter at its end, everything up to the last
// delimiter goes out the same way and only the unfinished rest is kept; a rest that is
// itself over the limit is dropped.
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

    static QByteArray registration(const QString &imei);
    static QByteArray serialToRelay(const QByteArray &serialData);

    // Takes one read from the relay connection.
    Result feed(const QByteArray &read);

    // Bytes kept so far, waiting for their delimiter.
    int pending() const { return m_kept.size(); }
    void clear() { m_kept.clear(); }

private:
    // Complete bytes (ending with the delimiter): the disconnect message, or data.
    static void take(const QByteArray &complete, Result *result);

    int m_limit;
    QByteArray m_kept;
};

#endif // PASSTHROUGHFRAMING_H
