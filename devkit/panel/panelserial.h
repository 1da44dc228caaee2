#ifndef PANELSERIAL_H
#define PANELSERIAL_H

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// The serial side of a panel during a pass-through: an echo (what is written comes
// back before write() returns, in reads of at most kEchoRead bytes), or a device such as a pty where a Modbus
// RTU slave listens. A device is opened raw; what it answers is gathered until it has
// been quiet for a few ms, so that one reply goes out as one read.
class PanelSerial : public QObject
{
    Q_OBJECT
public:
    explicit PanelSerial(const QString &device, QObject *parent = nullptr);
    ~PanelSerial() override;

    bool open(QString *error);
    void close();
    bool isOpen() const { return m_open; }
    bool isEcho() const { return m_device.isEmpty(); }
    void write(const QByteArray &data);

    static constexpr int kGatherMs = 5;
    static constexpr int kMaxGather = 64 * 1024;
    // The echo gives back what was written in reads of at most this size, as a serial
    // line would.
    static constexpr int kEchoRead = 4096;

signals:
    void dataRead(const QByteArray &data);

private:
    void onReadable();
    void onGathered();

    QString m_device;
    bool m_open = false;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_gather;
    QByteArray m_pending;
};

#endif // PANELSERIAL_H
