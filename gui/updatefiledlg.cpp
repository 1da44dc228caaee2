#include "updatefiledlg.h"
#include "ui_updatefiledlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>

#include "cloudsettings.h"
#include "logging.h"
#include "usersettings.h"

namespace {
const char kIniFile[] = "FilePath.ini";
}

UpdateFileDlg::UpdateFileDlg(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::UpdateFileDlg),
      bBusy(false)
{
    ui->setupUi(this);
    setWindowTitle(tr("升级文件"));
    sNotStarted = ui->label_updateFirmR->text();
    setFixedSize(size());
    ui->ckx_useName->hide();
    initPathINI();
}

UpdateFileDlg::~UpdateFileDlg()
{
    releaseWorkers();
    delete ui;
}

void UpdateFileDlg::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        QLabel *const results[] = {ui->label_updateFirmR, ui->label_updateConfigR,
                                   ui->label_updateCloudR};
        QStringList shown;
        for (QLabel *label : results)
            shown << label->text();
        ui->retranslateUi(this);
        setWindowTitle(tr("升级文件"));
        if (!iMei.isEmpty())
            ui->label_IMEI->setText(tr("IMEI:%1").arg(iMei));
        for (int i = 0; i < shown.size(); ++i) {
            if (shown.at(i) != sNotStarted)
                results[i]->setText(shown.at(i));
        }
        sNotStarted = ui->label_updateFirmR->text();
    }
    QDialog::changeEvent(event);
}

void UpdateFileDlg::initPathINI()
{
    QSettings settings(QString::fromLatin1(kIniFile), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("FilePath"));
    sFirmPath = settings.value(QStringLiteral("firmPath")).toString();
    sConfigPath = settings.value(QStringLiteral("ConfigPath")).toString();
    sCloudPath = settings.value(QStringLiteral("CloudPath")).toString();
    settings.endGroup();
    qCDebug(lcUi) << "UpdateFileDlg::initPathINI()" << sFirmPath << sConfigPath << sCloudPath;
    ui->ldt_updateFirm->setText(sFirmPath);
    ui->ldt_updateCloud->setText(sCloudPath);
    ui->ldt_updateConfig->setText(sConfigPath);
}

void UpdateFileDlg::setDeviceInfo(QString iMei, QString account, QString password, int type)
{
    releaseWorkers();
    this->iMei = iMei;
    this->account = account;
    this->password = password;
    ui->label_IMEI->setText(tr("IMEI:%1").arg(iMei));

    ui->ckx_updateFirm->setChecked(type != int(UpdateOperation::Project)
                                   && type != int(UpdateOperation::CloudSync));
    ui->ckx_updateConfig->setChecked(type == int(UpdateOperation::Project));
    ui->ckx_updateCloud->setChecked(type == int(UpdateOperation::CloudSync));

    // Every worker keeps the cloud service's settings as they are now.
    const CloudEndpoint cloud = CloudSettings::endpoint();
    for (std::unique_ptr<Worker> &w : workers) {
        w.reset(new Worker(new DownFileOBJ(iMei, account, password, cloud)));
        connect(w->worker(), &DownFileOBJ::information, this, &UpdateFileDlg::information);
        connect(w->worker(), &DownFileOBJ::finishThrd, this, &UpdateFileDlg::finishWork);
    }
    const auto worker = [this](UpdateOperation op) { return workerOf(int(op))->worker(); };
    connect(this, &UpdateFileDlg::sendUpdateCloudFile, worker(UpdateOperation::CloudSync),
            &DownFileOBJ::updateCloudConf);
    connect(this, &UpdateFileDlg::sendUpdateFirmFileTcp, worker(UpdateOperation::Firmware),
            &DownFileOBJ::updateFirmWareTcp);
    connect(this, &UpdateFileDlg::sendUpdateConfigTcp, worker(UpdateOperation::Project),
            &DownFileOBJ::updateConfigTcp);
}

bool UpdateFileDlg::isRunning(int op) const
{
    const Worker *w = workerOf(op);
    return w && w->isRunning();
}

UpdateFileDlg::Worker *UpdateFileDlg::workerOf(int op) const
{
    return op >= 0 && op < kUpdateOperations ? workers[op].get() : nullptr;
}

QString UpdateFileDlg::chooseFile(const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileName(this, caption, dir, filter);
}

// Every choice starts in the firmware file's folder. A cancelled choice keeps the
// previous file, in the member and in the line edit.
void UpdateFileDlg::pickFile(const QString &caption, const QString &filter, QString *chosen,
                             QLineEdit *edit)
{
    const QString path = chooseFile(caption, sFirmPath, filter);
    if (path.isEmpty())
        return;
    *chosen = path;
    edit->setText(path);
}

void UpdateFileDlg::on_pbtn_updateFirm_clicked()
{
    pickFile(tr("选择底层文件"), tr("bin (*.bin)"), &sFirmPath, ui->ldt_updateFirm);
}

void UpdateFileDlg::on_pbtn_updateCloud_clicked()
{
    pickFile(tr("选择云组态文件"), tr("zip (target.zip)"), &sCloudPath, ui->ldt_updateCloud);
}

void UpdateFileDlg::on_pbtn_updateConfig_clicked()
{
    pickFile(tr("选择组态文件"), tr("zip (compile.zip)"), &sConfigPath, ui->ldt_updateConfig);
}

void UpdateFileDlg::on_ckx_updateFirm_clicked(bool checked)
{
    if (!checked)
        return;
    ui->ckx_updateCloud->setChecked(false);
    ui->ckx_updateConfig->setChecked(false);
}

void UpdateFileDlg::on_ckx_updateCloud_clicked(bool checked)
{
    if (checked)
        ui->ckx_updateFirm->setChecked(false);
}

void UpdateFileDlg::on_ckx_updateConfig_clicked(bool checked)
{
    if (checked)
        ui->ckx_updateFirm->setChecked(false);
}

bool UpdateFileDlg::warnEmptyPath(bool checked, const QString &path, const QString &title)
{
    if (!checked || !path.isEmpty())
        return false;
    QMessageBox::warning(this, title, tr("路径不能空"), QMessageBox::Ok);
    return true;
}

void UpdateFileDlg::on_pbtn_run_clicked()
{
    const bool config = ui->ckx_updateConfig->isChecked();
    const bool cloud = ui->ckx_updateCloud->isChecked();
    const bool firm = ui->ckx_updateFirm->isChecked();
    if (warnEmptyPath(config, sConfigPath, tr("远程升级组态"))
        || warnEmptyPath(cloud, sCloudPath, tr("升级云组态"))
        || warnEmptyPath(firm, sFirmPath, tr("远程升级底层")))
        return;
    if (!config && !cloud && !firm) {
        // Nothing would start, and nothing would enable the buttons again.
        QMessageBox::warning(this, tr("升级文件"), tr("请选择要执行的操作"), QMessageBox::Ok);
        return;
    }
    if (!workers[int(UpdateOperation::Firmware)])
        return;   // setDeviceInfo has not been called: there is no panel to work on

    bBusy = true;
    setButtonsEnabled(false);

    if (config) {
        startOperation(UpdateOperation::Project, tr("组态正在升级中."), [&] {
            ui->label_updateConfigR->setText(tr("组态开始升级."));
            emit sendUpdateConfigTcp(sConfigPath, ui->spx_Frame->value(),
                                     ui->checkBox_HZ->isChecked(), false);
        });
    }
    if (cloud) {
        startOperation(UpdateOperation::CloudSync, tr("云组态正在更新中."), [&] {
            emit sendUpdateCloudFile(sCloudPath, ui->ckx_useName->isChecked());
        });
    }
    if (firm) {
        startOperation(UpdateOperation::Firmware, tr("底层正在升级中."), [&] {
            emit sendUpdateFirmFileTcp(sFirmPath, ui->spx_Frame->value());
        });
    }

    bBusy = false;
}

void UpdateFileDlg::startOperation(UpdateOperation op, const QString &runningText,
                                   const std::function<void()> &request)
{
    Worker &w = *workerOf(int(op));
    if (w.isRunning()) {
        qCDebug(lcUi) << "UpdateFileDlg::startOperation stopping" << int(op);
        information(int(op), runningText);
        stopThread(w);
    }
    w.worker()->setStopFlag(false);
    w.start();
    request();
}

void UpdateFileDlg::stopThread(Worker &worker)
{
    worker.worker()->setStopFlag(true);
    worker.stop();
    if (bBusy) {
        // The stopped worker's last texts and its end signal are still queued: handle
        // them before the restart, so that they cannot end the run started next.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        setButtonsEnabled(false);
    }
}

void UpdateFileDlg::information(int type, QString msg)
{
    switch (UpdateOperation(type)) {
    case UpdateOperation::Firmware:
        ui->label_updateFirmR->setText(msg);
        break;
    case UpdateOperation::Project:
        ui->label_updateConfigR->setText(msg);
        break;
    case UpdateOperation::CloudSync:
        ui->label_updateCloudR->setText(msg);
        break;
    }
}

void UpdateFileDlg::finishWork(int op)
{
    if (Worker *w = workerOf(op)) {
        qCDebug(lcUi) << "UpdateFileDlg::finishWork" << op << w->isRunning();
        w->stop();
    }
    setButtonsEnabled(true);
}

void UpdateFileDlg::setButtonsEnabled(bool enabled)
{
    ui->pbtn_run->setEnabled(enabled);
    ui->pbtn_updateCloud->setEnabled(enabled);
    ui->pbtn_updateConfig->setEnabled(enabled);
    ui->pbtn_updateFirm->setEnabled(enabled);
}

void UpdateFileDlg::keyPressEvent(QKeyEvent *event)
{
    // Keys never reach the dialog's default handling: Escape does not close it and
    // Return does not press a button.
    event->setAccepted(!bBusy);
}

void UpdateFileDlg::closeEvent(QCloseEvent *event)
{
    {
        QSettings settings(QString::fromLatin1(kIniFile), QSettings::IniFormat);
        if (!sFirmPath.isEmpty())
            settings.setValue(QStringLiteral("FilePath/firmPath"), sFirmPath);
        if (!sConfigPath.isEmpty())
            settings.setValue(QStringLiteral("FilePath/ConfigPath"), sConfigPath);
        if (!sCloudPath.isEmpty())
            settings.setValue(QStringLiteral("FilePath/CloudPath"), sCloudPath);
        // The paths are the user's own business: the file is for the owner only.
        if (!sFirmPath.isEmpty() || !sConfigPath.isEmpty() || !sCloudPath.isEmpty())
            UserSettings::syncPrivately(settings);
    }
    qCDebug(lcUi) << "UpdateFileDlg::closeEvent" << sFirmPath << sConfigPath << sCloudPath;
    if (bBusy) {
        event->ignore();
        return;
    }
    for (std::unique_ptr<Worker> &w : workers)
        if (w && w->isRunning())
            stopThread(*w);
    bBusy = false;
    event->accept();
}

void UpdateFileDlg::releaseWorkers()
{
    for (std::unique_ptr<Worker> &w : workers) {
        if (w && w->isRunning())
            stopThread(*w);
        w.reset();
    }
}
