#ifndef INTERRUPTWATCH_H
#define INTERRUPTWATCH_H

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into the signal interrupted() on the event loop of the thread
// that made it (through a pipe that the handler writes one byte to). After the first,
// the signals take their default action again, so a second Ctrl-C ends the process.
// One at a time in a process.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    void interrupted();

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};

#endif // INTERRUPTWATCH_H
