#ifndef PENETRATIONOBJ_H
#define PENETRATIONOBJ_H

#include <QByteArray>
#include <QLibrary>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

#include "passthroughframing.h"
#include "passthroughtrace.h"
#include "relayendpoint.h"
#include "virtualportpairs.h"

class DescriptorBridge;
class QTcpSocket;
class QTimer;

// The worker of the serial pass-through. Lives in a thread of its own (owned by
// Penetration_setDlg) and does all the blocking work there: makes sure the virtual
// pair COMn/PENTn exists and opens PENTn, connects to the relay server, registers
// the panel's IMEI, waits for the go-ahead and then copies bytes both ways between
// the serial port and the relay connection until it is told to stop.
class PenetrationOBJ : public QObject
{
    Q_OBJECT
public:
    explicit PenetrationOBJ(QString iMei, QObject *parent = nullptr);
    ~PenetrationOBJ() override;

    // Called directly from the GUI thread while the window closes: later waits of
    // the start sequence shrink to 1 ms.
    void setAbort(bool abort);

    // While bridging, bytes queued toward either side are bounded: once this many wait
    // to be written to one side, the other side is no longer read until they drain.
    static constexpr qint64 kMaxQueuedBytes = 1024 * 1024;
    // What one read takes at most from each side; a side that is not read holds no
    // more than this in the program (the rest waits in the driver or the TCP stack).
    // A serial read goes to the relay as one message.
    static constexpr qint64 kSerialReadBuffer = 16 * 1024;
    static constexpr qint64 kRelayReadBuffer = 64 * 1024;

signals:
    void information(QString text, bool ok);
    void finishThrd();
    // Payload bytes so far, both counted from the start of the pass-through: read from the
    // COM port's side and sent to the panel, and received from the panel for that side.
    // At most 5 times a second, and once more when the counts stop changing.
    void traffic(qint64 toPanel, qint64 fromPanel);

public slots:
    void openNetComPenetrate(QString iMei, int comIndex, int baudrate, int dataBit,
                             int parity, int stopBit, int timeout);
    void closeNetComPenetrate();
    void writeTcpData();
    void writeComData();
    // Starts a trace of every chunk into path, or stops it (empty path). A file that
    // cannot be written is reported through information.
    void setTraceFile(QString path);

private:
    void applyLineSettings(int baudrate, int dataBit, int parity, int stopBit);
    bool waitForGoAhead();
    // Links the two sides once the relay has given the go-ahead.
    void startBridge();
    // Bytes for the port, written at once while nothing older waits.
    void writeSerial(const char *data, qint64 len);
    // A read from the port: counted and sent to the relay as one message.
    void forwardToRelay(const char *data, qint64 len);
    // A read from the relay: its complete messages go to the port.
    void forwardToSerial(const char *data, qint64 len);
    bool serialOpen() const;
    // A side has written some of its queue: reading of the other side goes on.
    void serialDrained();
    void relayDrained();
    // The relay connection ended (closed, reset or failed) while bridging.
    void relayLost();
    // Removes the links to the socket and the port, closes and releases the socket,
    // then the port.
    void releasePortAndSocket(bool disconnectFromRelay = false);
    void endConnection(const QString &message);
    void emitInfo(const QString &text, bool ok = false);
    void serialPortLost();
    // Every payload chunk of the bridge passes here, for the counts and the trace. On Linux
    // these, forwardToRelay and forwardToSerial run on the bridge's thread.
    void countToPanel(const char *data, qint64 len);
    void countFromPanel(const char *data, qint64 len);
    // From any thread: the traffic signal goes out within 200 ms.
    void scheduleTraffic();
    // From the bridge's thread: fn runs on this object's thread, unless the bridge of
    // that run has ended by then.
    void onWorkerThread(int run, std::function<void()> fn);

    // Taken when the worker is made: where the relay is, and the time-out of the two
    // socket waits of the start sequence (5000 ms, or VANTELO_PASSTHROUGH_WAIT_MS).
    RelayEndpoint relay;
    int normalWaitMs;
    std::atomic<bool> abortFlag;
    std::atomic<int> waitMs;
    QSerialPort *serialPort = nullptr;
    QTcpSocket *tcpSocket = nullptr;
    // Linux, while bridging: reads and writes the descriptors of both on a thread of its
    // own. bridgeRun counts the bridges started, so that a late word from one that has
    // ended is told apart.
    std::unique_ptr<DescriptorBridge> bridge;
    int bridgeRun = 0;
    QString iMei;
    QLibrary portLibrary;
    int portIndex = 1;
    int timeout = 0;

    VirtualPortPairs portPairs;
    PassthroughFraming relayFraming;
    PassthroughTrace trace;
    QTimer *trafficTimer = nullptr;
    std::atomic<qint64> bytesToPanel{0};
    std::atomic<qint64> bytesFromPanel{0};
    // The traffic signal is to go out at the timer.
    std::atomic<bool> trafficDue{false};
};

#endif // PENETRATIONOBJ_H
