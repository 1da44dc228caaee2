#ifndef PENETRATIONOBJ_H
#define PENETRATIONOBJ_H

#include <QByteArray>
#include <QLibrary>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <atomic>

#include "passthroughframing.h"
#include "virtualportpairs.h"

class QTcpSocket;

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

    // The time-out of the two socket waits of the start sequence: 5000 ms, unless
    // the environment variable VANTELO_PASSTHROUGH_WAIT_MS names another value.
    static int defaultWaitMs();

signals:
    void information(QString text, bool ok);
    void finishThrd();

public slots:
    void openNetComPenetrate(QString iMei, int comIndex, int baudrate, int dataBit,
                             int parity, int stopBit, int timeout);
    void closeNetComPenetrate();
    void writeTcpData();
    void writeComData();

private:
    void applyLineSettings(int baudrate, int dataBit, int parity, int stopBit);
    bool waitForGoAhead();
    // Removes the readyRead links, closes and releases the socket, then the port.
    void releasePortAndSocket(bool disconnectFromRelay = false);
    void endConnection(const QString &message);
    void emitInfo(const QString &text, bool ok = false);
    void serialPortLost();

    std::atomic<bool> abortFlag;
    std::atomic<int> waitMs;
    QSerialPort *serialPort = nullptr;
    QTcpSocket *tcpSocket = nullptr;
    QString iMei;
    QLibrary portLibrary;
    int portIndex = 1;
    int timeout = 0;

    VirtualPortPairs portPairs;
    PassthroughFraming relayFraming;
};

#endif // PENETRATIONOBJ_H
