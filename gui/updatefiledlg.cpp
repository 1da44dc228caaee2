#include "updatefiledlg.h"
#include "ui_updatefiledlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>

#include "cloudsettings.h"
#include "firmwaremodeltable.h"
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
    clock.start();
    for (UpdateOperation op : {UpdateOperation::Firmware, UpdateOperation::Project,
                               UpdateOperation::CloudSync})
        progressBar(op)->setFormat(QStringLiteral("%p%"));
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
        // Result lines first, then the rates and times left of the last transfers.
        QLabel *const kept[] = {ui->label_updateFirmR, ui->label_updateConfigR,
                                ui->label_updateCloudR, ui->label_rateFirm,
                                ui->label_rateConfig, ui->label_rateCloud};
        QStringList shown;
        for (QLabel *label : kept)
            shown << label->text();
        ui->retranslateUi(this);
        setWindowTitle(tr("升级文件"));
        if (!iMei.isEmpty())
            ui->label_IMEI->setText(tr("IMEI:%1").arg(iMei));
        showPanelInfoText(panelInfoText);
        for (int i = 0; i < shown.size(); ++i) {
            if (i >= kUpdateOperations || shown.at(i) != sNotStarted)
                kept[i]->setText(shown.at(i));
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
        connect(w->worker(), &DownFileOBJ::progress, this, &UpdateFileDlg::showProgress);
    }
    // The panel's details, read on a worker of their own while the dialog is open.
    firmNames.clear();
    showPanelInfoText([] { return tr("正在读取设备信息…"); });
    infoWorker.reset(new Worker(new DownFileOBJ(iMei, account, password, cloud)));
    connect(infoWorker->worker(), &DownFileOBJ::panelInfo, this, &UpdateFileDlg::showPanelInfo);
    connect(this, &UpdateFileDlg::queryPanelInfo, infoWorker->worker(), &DownFileOBJ::queryPanelInfo);
    infoWorker->start();
    emit queryPanelInfo();

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
    // With the panel's details known, the names that fit it come first.
    QString filter = tr("bin (*.bin)");
    if (!firmNames.isEmpty())
        filter = tr("适用于此设备的底层 (%1)").arg(firmNames.join(QStringLiteral(".bin ")) + QStringLiteral(".bin"))
                 + QStringLiteral(";;") + filter;
    pickFile(tr("选择底层文件"), filter, &sFirmPath, ui->ldt_updateFirm);
}

void UpdateFileDlg::showPanelInfo(bool answered, int model, int comm, int module, qint64 version)
{
    qCDebug(lcUi) << "UpdateFileDlg::showPanelInfo" << answered << model << comm << module << version;
    if (infoWorker)
        infoWorker->stop();
    if (!answered) {
        showPanelInfoText([] { return tr("设备未应答,型号未知"); });
        return;
    }
    firmNames = FirmwareModelTable::namesFor(uchar(model), uchar(comm), uchar(module));
    const QStringList names = firmNames;
    showPanelInfoText([=] {
        const QString commText = comm == 1 ? QStringLiteral("4G")
                                 : comm == 2 ? QStringLiteral("WIFI")
                                             : tr("未知(%1)").arg(comm);
        const QString versionText = version < 0 ? tr("未知")
                                                : QStringLiteral("0x%1").arg(version, 4, 16, QLatin1Char('0'));
        return tr("型号 %1  通信 %2  模块 %3  组态版本 %4\n适用底层: %5")
            .arg(model)
            .arg(commText)
            .arg(module)
            .arg(versionText, names.isEmpty() ? tr("无") : names.join(QStringLiteral(", ")));
    });
}

void UpdateFileDlg::showPanelInfoText(std::function<QString()> text)
{
    panelInfoText = std::move(text);
    ui->label_panelInfo->setText(panelInfoText ? panelInfoText() : QString());
}

void UpdateFileDlg::stopPanelQuery()
{
    if (!infoWorker || !infoWorker->isRunning())
        return;
    disconnect(infoWorker->worker(), &DownFileOBJ::panelInfo, this, &UpdateFileDlg::showPanelInfo);
    infoWorker->worker()->setStopFlag(true);
    infoWorker->stop();
    showPanelInfoText(nullptr);
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
    if (!confirmDownload(firm, config))
        return;
    // A download opens its own link to the panel.
    if (firm || config)
        stopPanelQuery();

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

bool UpdateFileDlg::confirm(const QString &title, const QString &text)
{
    return QMessageBox::question(this, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel)
           == QMessageBox::Ok;
}

bool UpdateFileDlg::confirmDownload(bool firm, bool config)
{
    if (!firm && !config)
        return true;
    QStringList files;
    const auto describe = [&files](const QString &kind, const QString &path) {
        files << tr("%1: %2 (%3 字节)").arg(kind, path).arg(QFileInfo(path).size());
    };
    if (firm)
        describe(tr("底层"), sFirmPath);
    if (config)
        describe(tr("组态"), sConfigPath);
    const QString text = tr("向设备 %1 下载:\n%2\n\n下载期间请勿断电或关闭本窗口。确定开始吗?")
                             .arg(iMei, files.join(QLatin1Char('\n')));
    const bool ok = confirm(tr("确认下载"), text);
    qCDebug(lcUi) << "UpdateFileDlg::confirmDownload" << firm << config << ok;
    return ok;
}

bool UpdateFileDlg::downloadRunning() const
{
    return isRunning(int(UpdateOperation::Firmware)) || isRunning(int(UpdateOperation::Project));
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
    progressBar(op)->setValue(0);
    progressBar(op)->setFormat(QStringLiteral("%p%"));
    rateLabel(op)->clear();
    meters[int(op)].start(clock.elapsed());
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
        // A refused image: the names that would fit, beside the bar.
        if (msg == QCoreApplication::translate("FirmwareDownload", "底层与型号不匹配") && !firmNames.isEmpty())
            ui->label_rateFirm->setText(tr("应为 %1").arg(firmNames.join(QStringLiteral(".bin / ")) + QStringLiteral(".bin")));
        break;
    case UpdateOperation::Project:
        ui->label_updateConfigR->setText(msg);
        break;
    case UpdateOperation::CloudSync:
        ui->label_updateCloudR->setText(msg);
        break;
    }
}

QProgressBar *UpdateFileDlg::progressBar(UpdateOperation op) const
{
    switch (op) {
    case UpdateOperation::Firmware:
        return ui->progress_updateFirm;
    case UpdateOperation::Project:
        return ui->progress_updateConfig;
    case UpdateOperation::CloudSync:
        break;
    }
    return ui->progress_updateCloud;
}

QLabel *UpdateFileDlg::rateLabel(UpdateOperation op) const
{
    switch (op) {
    case UpdateOperation::Firmware:
        return ui->label_rateFirm;
    case UpdateOperation::Project:
        return ui->label_rateConfig;
    case UpdateOperation::CloudSync:
        break;
    }
    return ui->label_rateCloud;
}

void UpdateFileDlg::showProgress(int op, qint64 done, qint64 total, int file, int files)
{
    if (!workerOf(op) || total <= 0 || done < 0)
        return;
    done = qMin(done, total);
    TransferMeter &meter = meters[op];
    if (!meter.update(done, total, file, clock.elapsed()))
        return;
    QProgressBar *bar = progressBar(UpdateOperation(op));
    bar->setFormat(files > 1 ? tr("文件 %1/%2  %p%").arg(file).arg(files) : QStringLiteral("%p%"));
    bar->setValue(int(done * bar->maximum() / total));
    rateLabel(UpdateOperation(op))->setText(meter.text());
}

void UpdateFileDlg::finishWork(int op)
{
    if (Worker *w = workerOf(op)) {
        qCDebug(lcUi) << "UpdateFileDlg::finishWork" << op << w->isRunning();
        w->stop();
        // A transfer that ended short stays where it stopped, with no time left shown.
        QProgressBar *bar = progressBar(UpdateOperation(op));
        if (bar->value() > 0 && bar->value() < bar->maximum())
            rateLabel(UpdateOperation(op))->clear();
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
    if (downloadRunning()
        && !confirm(tr("关闭"), tr("下载尚未结束。现在关闭将中断下载,设备可能处于升级了一半的状态。确定关闭吗?"))) {
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
    stopPanelQuery();
    infoWorker.reset();
    for (std::unique_ptr<Worker> &w : workers) {
        if (w && w->isRunning())
            stopThread(*w);
        w.reset();
    }
}
