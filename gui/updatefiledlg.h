#ifndef UPDATEFILEDLG_H
#define UPDATEFILEDLG_H

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "downfileobj.h"
#include "transfermeter.h"
#include "updateoperation.h"
#include "workerthread.h"

class QCloseEvent;
class QEvent;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QLineEdit;

namespace Ui {
class UpdateFileDlg;
}

// Modal dialog in which the user updates one panel: firmware download (code 0),
// project download (code 1) and cloud project sync (code 2), each carried out by its
// own DownFileOBJ on its own thread (WorkerThread). The last chosen file of each kind
// is kept in FilePath.ini in the working directory.
class UpdateFileDlg : public QDialog
{
    Q_OBJECT
public:
    explicit UpdateFileDlg(QWidget *parent);
    ~UpdateFileDlg() override;

    // Called once, right after construction: the panel, the signed-in user and the
    // operation to preselect (0 firmware, 1 project, 2 cloud project, others as 0).
    void setDeviceInfo(QString iMei, QString account, QString password, int type);

    void initPathINI();

    // Whether the thread of operation op is running.
    bool isRunning(int op) const;

    // The firmware base names that fit the panel, empty while they are not known.
    QStringList firmwareNames() const { return firmNames; }

signals:
    void queryPanelInfo();
    void sendUpdateCloudFile(QString sPath, bool useName);
    void sendUpdateFirmFileTcp(QString sPath, int value);
    void sendUpdateConfigTcp(QString sPath, int value, bool bHzFile, bool updateFlag);

public slots:
    void information(int type, QString msg);
    void finishWork(int op);
    // Bytes done of total of operation op, file n of files: the bar and, at most a few
    // times a second, the rate and the time left beside it.
    void showProgress(int op, qint64 done, qint64 total, int file, int files);
    // What the panel said about itself: shown under its IMEI with the firmware names
    // that fit it; a panel that did not answer leaves a short note.
    void showPanelInfo(bool answered, int model, int comm, int module, qint64 version);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // A change of language: the form's texts and those set here again; a result line
    // that shows a message of the run keeps it, and so do the rates and times left.
    void changeEvent(QEvent *event) override;

    // The file chosen by the user, empty when the choice was cancelled.
    virtual QString chooseFile(const QString &caption, const QString &dir, const QString &filter);

private slots:
    void on_pbtn_updateFirm_clicked();
    void on_pbtn_updateCloud_clicked();
    void on_pbtn_updateConfig_clicked();
    void on_ckx_updateFirm_clicked(bool checked);
    void on_ckx_updateCloud_clicked(bool checked);
    void on_ckx_updateConfig_clicked(bool checked);
    void on_pbtn_run_clicked();

private:
    using Worker = WorkerThread<DownFileOBJ>;

    // Shows the panel's details line that text makes, and makes it again when the
    // language changes; null: no line.
    void showPanelInfoText(std::function<QString()> text);

    // The worker of operation op (0 to 2), or null: none before setDeviceInfo.
    Worker *workerOf(int op) const;
    void setButtonsEnabled(bool enabled);
    bool warnEmptyPath(bool checked, const QString &path, const QString &title);
    // Whether the user agrees (a question with "确定" and "取消", "取消" by default).
    bool confirm(const QString &title, const QString &text);
    // Asks before anything is sent to the panel: its IMEI, each file and its size.
    bool confirmDownload(bool firm, bool config);
    // Whether a download to the panel is under way (the cloud sync does not count).
    bool downloadRunning() const;
    void pickFile(const QString &caption, const QString &filter, QString *chosen, QLineEdit *edit);
    // Starts operation op on its thread with request, which emits the request signal;
    // a run of it still under way is stopped first, with runningText shown.
    void startOperation(UpdateOperation op, const QString &runningText,
                        const std::function<void()> &request);
    // Abandons the running operation of worker: stop flag with 1 ms waits, then the
    // thread's stop sequence.
    void stopThread(Worker &worker);
    void releaseWorkers();
    // Ends a panel query still under way (its answer is then not shown).
    void stopPanelQuery();
    QProgressBar *progressBar(UpdateOperation op) const;
    QLabel *rateLabel(UpdateOperation op) const;

    Ui::UpdateFileDlg *ui;
    QString sFirmPath;
    QString sConfigPath;
    QString sCloudPath;
    std::unique_ptr<Worker> workers[kUpdateOperations];   // by operation code
    QString iMei;
    QString account;
    QString password;
    bool bBusy;
    QString sNotStarted;   // the form's text of a result line, in the language shown
    std::unique_ptr<Worker> infoWorker;   // reads the panel's details when the dialog opens
    QStringList firmNames;
    // The panel's details line, made again in the language shown; empty: no line.
    std::function<QString()> panelInfoText;
    TransferMeter meters[kUpdateOperations];   // by operation code
    QElapsedTimer clock;                       // the meters' time
};

#endif // UPDATEFILEDLG_H
