#ifndef PENETRATION_SETDLG_H
#define PENETRATION_SETDLG_H

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include <memory>

#include "penetrationobj.h"
#include "virtualportpairs.h"
#include "workerthread.h"

class QCloseEvent;
class QEvent;
class QLabel;
class QPushButton;

namespace Ui {
class Penetration_setDlg;
}

// The window in which the user starts and stops the serial pass-through for one
// panel and removes the virtual port pairs of this program. The worker
// (PenetrationOBJ) runs in a thread owned by the dialog (WorkerThread) and is driven
// by signals; the stop request is a blocking queued signal.
class Penetration_setDlg : public QDialog
{
    Q_OBJECT
public:
    explicit Penetration_setDlg(QWidget *parent = nullptr);
    ~Penetration_setDlg() override;

    void setIMEI(QString iMei);

    // Dismissing the dialog (Escape, accept, reject) stops the pass-through like
    // closing the window does.
    void done(int r) override;

    // The full path of the COM port side of the pair chosen now.
    static QString comPath(int comIndex);

signals:
    void openNetComPenetrateSig(QString iMei, int comIndex, int baudrate, int dataBit, int parity,
                                int stopBit, int timeout);
    void closeNetComPenetrateSig();

public slots:
    void information(QString text, bool ok);
    void finishThrd();
    void on_btn_openNetUsbPenetrate_clicked();
    void on_btn_closeNetUsbPenetrate_clicked();
    void on_pbtn_del_clicked();
    void on_buttonBox_accepted();
    void closeEvent(QCloseEvent *event) override;
    // Bytes moved so far each way: the counts and the rates since the last report.
    void showTraffic(qint64 toPanel, qint64 fromPanel);

protected:
    // The trace file chosen by the user, empty when the choice was cancelled.
    virtual QString chooseTraceFile();
    // A change of language: the form's texts and those set here again; a message on
    // the status line stays.
    void changeEvent(QEvent *event) override;

private:
    void addMonitorRows();
    void startTrace();
    // Ends a running trace (the worker's thread stopped or about to be asked).
    void stopTrace();
    void fillComboBoxes();
    // Enables the controls of a started pass-through (started) or of an idle dialog.
    void showStarted(bool started);
    // Stops a running worker with its waits shortened, ends the thread and releases
    // the thread and the worker. False when a stop is already under way.
    bool shutDown();

    Ui::Penetration_setDlg *ui;
    QString iMei;
    std::unique_ptr<WorkerThread<PenetrationOBJ>> penetration;   // null once released
    bool bOpened = false;
    bool bClosing = false;
    // The worker has reported the pass-through up: if it ends by itself now, its last
    // text says why and stays on the status line.
    bool bBridging = false;
    VirtualPortPairs portPairs;
    QString sNoInformation;   // the form's text of the status line, in the language shown
    QString tracePath;           // of the running trace, empty when none runs
    QElapsedTimer trafficClock;  // since the last traffic report
    qint64 lastToPanel = 0;
    qint64 lastFromPanel = 0;
    QLabel *comPathLabel = nullptr;
    QLabel *trafficLabel = nullptr;
    QLabel *traceLabel = nullptr;
    QPushButton *traceButton = nullptr;
};

#endif // PENETRATION_SETDLG_H
