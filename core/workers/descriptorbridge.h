#ifndef DESCRIPTORBRIDGE_H
#define DESCRIPTORBRIDGE_H

#include <QByteArray>

#include <functional>

class QObject;
class QThread;

// Moves the pass-through's bytes on two descriptors that are open already and
// non-blocking: the serial port's and the relay connection's (Linux). It runs on a thread
// of its own ("vantelo-bridge") around one poll of both descriptors and a wake-up
// descriptor: a readable side is read once per turn and what its handler makes of the
// bytes is written to the other side in the same turn. What a side does not take at once
// (it would block) waits in a queue of its own, written when the side turns writable;
// while that queue holds maxQueued bytes or more, the other side is not read. A side that
// would block is never taken for a lost one. The descriptors stay owned by their devices:
// the bridge is stopped before they are closed, and the devices' own notifiers are turned
// off (quietDevice) while it runs.
class DescriptorBridge
{
public:
    // Called on the bridge's thread (a loss found by a write before start(): on the owner's),
    // never after stop() has returned.
    struct Handlers
    {
        // Bytes read from the port; the handler hands what goes to the relay to writeToRelay.
        std::function<void(const char *data, qint64 len)> serialRead;
        // Bytes read from the relay connection; the same toward writeToSerial.
        std::function<void(const char *data, qint64 len)> relayRead;
        // The port ended (hang-up, end of file, a failed read or write). The bridge has let
        // go of it already; the relay side goes on.
        std::function<void()> serialLost;
        // The relay connection ended (end of file, reset, a failed read or write). The
        // bridge has let go of it already.
        std::function<void()> relayLost;
    };

    DescriptorBridge(int serialFd, int relayFd, qint64 maxQueued, qint64 serialReadSize,
                     qint64 relayReadSize, Handlers handlers);
    // Stops the bridge first.
    ~DescriptorBridge();
    DescriptorBridge(const DescriptorBridge &) = delete;
    DescriptorBridge &operator=(const DescriptorBridge &) = delete;

    // Starts the bridge's thread; false when it cannot run (no wake-up descriptor, no
    // thread). Before it, writeTo* may be called from the owner's thread.
    bool start();
    // The rest, from the bridge's thread (the handlers) once started.
    // A message for the relay: data and then tail, in one write.
    void writeToRelay(const char *data, qint64 len, const char *tail, qint64 tailLen);
    void writeToSerial(const char *data, qint64 len);
    bool hasSerial() const { return serial.fd >= 0; }
    // From the owner's thread, never from a handler: wakes the bridge and waits for its
    // thread to end. Nothing is read or written any more; the descriptors can be closed.
    void stop();

    // Turns off the notifiers that a device (QSerialPort, QTcpSocket) keeps on its
    // descriptor, so that it reads nothing while the bridge does.
    static void quietDevice(QObject *device);

private:
    struct Side
    {
        int fd = -1;
        QByteArray queue; // bytes not written yet, from head on
        qint64 head = 0;
        qint64 queued() const { return queue.size() - head; }
    };

    void run();
    // The poll events a side waits for now: readable while the queue toward the other side
    // is under the bound, writable while its own queue holds bytes.
    short events(const Side &side, const Side &other) const;
    // Acts on what one poll returned for the side.
    void serve(Side &side, short requested, short returned);
    void readSide(Side &side);
    // Writes data and then tail at once as far as the side takes them; queues the rest.
    // False: the side failed.
    bool write(Side &side, const char *data, qint64 len, const char *tail = nullptr, qint64 tailLen = 0);
    // The side turned writable: its queue goes on. False: the side failed.
    bool drain(Side &side);
    void lose(Side &side);
    static void release(Side &side);

    Side serial;
    Side relay;
    qint64 maxQueued;
    QByteArray serialBuffer;
    QByteArray relayBuffer;
    Handlers handlers;
    int wakeFd = -1;
    QThread *thread = nullptr;
};

#endif // DESCRIPTORBRIDGE_H
