#ifndef LABSTOPSIGNALS_H
#define LABSTOPSIGNALS_H

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a clean QCoreApplication::quit() (self-pipe: the
// handler only writes one byte, the event loop does the rest).
class LabStopSignals : public QObject
{
    Q_OBJECT
public:
    explicit LabStopSignals(QObject *parent = nullptr);
    ~LabStopSignals() override;

    bool install();

signals:
    void stopRequested(int signalNumber);

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
};

#endif // LABSTOPSIGNALS_H
