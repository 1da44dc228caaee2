#include "penetration_setdlg.h"
#include "ui_penetration_setdlg.h"

#include <QCloseEvent>
#include <QEvent>

#include "logging.h"

Penetration_setDlg::Penetration_setDlg(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::Penetration_setDlg),
      portPairs([this](const QString &text) { ui->label_networkInfo->setText(text); })
{
    ui->setupUi(this);
    setWindowTitle(tr("穿透设置"));
    sNoInformation = ui->label_networkInfo->text();
    setFixedSize(size());

    fillComboBoxes();

    ui->buttonBox->hide();
    ui->groupBox_portSet->hide();
    showStarted(false);

    penetration.reset(new WorkerThread<PenetrationOBJ>(new PenetrationOBJ(iMei)));
    PenetrationOBJ *worker = penetration->worker();
    connect(this, &Penetration_setDlg::openNetComPenetrateSig, worker,
            &PenetrationOBJ::openNetComPenetrate);
    connect(this, &Penetration_setDlg::closeNetComPenetrateSig, worker,
            &PenetrationOBJ::closeNetComPenetrate, Qt::BlockingQueuedConnection);
    connect(worker, &PenetrationOBJ::finishThrd, this, &Penetration_setDlg::finishThrd);
    connect(worker, &PenetrationOBJ::information, this, &Penetration_setDlg::information);

    bOpened = false;
    bClosing = false;
}

Penetration_setDlg::~Penetration_setDlg()
{
    // Normally the close event or done() has already stopped and released the
    // worker; a dialog deleted without either must not leave it running.
    if (penetration)
        shutDown();
    delete ui;
}

void Penetration_setDlg::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        const QString shown = ui->label_networkInfo->text();
        ui->retranslateUi(this);
        if (!iMei.isEmpty())
            setIMEI(iMei);
        if (shown != sNoInformation)
            ui->label_networkInfo->setText(shown);
        sNoInformation = ui->label_networkInfo->text();
    }
    QDialog::changeEvent(event);
}

void Penetration_setDlg::fillComboBoxes()
{
    const int baudrates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 187500};
    for (int b : baudrates)
        ui->comboBox_Baudrate->addItem(QString::number(b), b);
    ui->comboBox_DataBit->addItem(QStringLiteral("7 Bits"), 7);
    ui->comboBox_DataBit->addItem(QStringLiteral("8 Bits"), 8);
    ui->comboBox_CheckBit->addItem(QStringLiteral("NONE"), 0);
    ui->comboBox_CheckBit->addItem(QStringLiteral("EVEN"), 2);
    ui->comboBox_CheckBit->addItem(QStringLiteral("ODD"), 3);
    ui->comboBox_StopBit->addItem(QStringLiteral("1 Bit"), 1);
    ui->comboBox_StopBit->addItem(QStringLiteral("2 Bit"), 2);
    for (int n = 1; n <= 255; ++n)
        ui->comboBox_addPort1->addItem(QStringLiteral("COM%1").arg(n));
    ui->comboBox_addPort1->setMaxVisibleItems(20);

    ui->comboBox_Baudrate->setCurrentIndex(3);
    ui->comboBox_DataBit->setCurrentIndex(1);
    ui->comboBox_CheckBit->setCurrentIndex(1);
    ui->comboBox_StopBit->setCurrentIndex(0);
    ui->comboBox_addPort1->setCurrentIndex(0);
}

// Started: only "关闭穿透" can be used; idle: everything but "关闭穿透".
void Penetration_setDlg::showStarted(bool started)
{
    const std::initializer_list<QWidget *> idleOnly = {
        ui->groupBox_portSet, ui->btn_openNetUsbPenetrate, ui->comboBox_addPort1, ui->pbtn_del};
    for (QWidget *w : idleOnly)
        w->setEnabled(!started);
    ui->btn_closeNetUsbPenetrate->setEnabled(started);
}

void Penetration_setDlg::setIMEI(QString iMei)
{
    this->iMei = iMei;
    ui->label_IMEI->setText(tr("IMEI:%1").arg(iMei));
}

void Penetration_setDlg::information(QString text, bool ok)
{
    if (ok)
        bBridging = true;
    ui->label_networkInfo->setText(text);
}

void Penetration_setDlg::on_btn_openNetUsbPenetrate_clicked()
{
    qCDebug(lcUi) << "Penetration_setDlg::on_btn_openNetUsbPenetrate_clicked";
    if (!penetration)
        return;
    penetration->stop();

    const int baudrate = ui->comboBox_Baudrate->currentData(Qt::UserRole).toInt();
    const int dataBit = ui->comboBox_DataBit->currentData(Qt::UserRole).toInt();
    const int parity = ui->comboBox_CheckBit->currentData(Qt::UserRole).toInt();
    const int stopBit = ui->comboBox_StopBit->currentData(Qt::UserRole).toInt();
    const int comIndex = ui->comboBox_addPort1->currentIndex();

    penetration->start(QThread::HighestPriority);
    showStarted(true);
    emit openNetComPenetrateSig(iMei, comIndex, baudrate, dataBit, parity, stopBit, 30000);
    bOpened = true;
    bBridging = false;
}

void Penetration_setDlg::on_btn_closeNetUsbPenetrate_clicked()
{
    qCDebug(lcUi) << "Penetration_setDlg::on_btn_closeNetUsbPenetrate_clicked";
    if (bClosing || !bOpened || !penetration)
        return;
    bClosing = true;
    if (penetration->isRunning()) {
        emit closeNetComPenetrateSig();
        penetration->stop();
    }
    showStarted(false);
    ui->label_networkInfo->setText(tr("穿透服务断开"));
    bOpened = false;
    bBridging = false;
    bClosing = false;
}

void Penetration_setDlg::finishThrd()
{
    qCDebug(lcUi) << "Penetration_setDlg::finishThrd";
    if (penetration)
        penetration->stop();
    showStarted(false);
    // A failed start ends with the stop text; a bridge that broke keeps its reason.
    if (!bBridging)
        ui->label_networkInfo->setText(tr("穿透服务断开"));
    bOpened = false;
    bBridging = false;
}

void Penetration_setDlg::on_pbtn_del_clicked()
{
    qCDebug(lcUi) << "Penetration_setDlg::on_pbtn_del_clicked"
                  << ui->comboBox_addPort1->currentIndex();
    portPairs.deletePortPair(ui->comboBox_addPort1->currentIndex());
}

void Penetration_setDlg::on_buttonBox_accepted()
{
    accept();
}

bool Penetration_setDlg::shutDown()
{
    if (bClosing)
        return false;
    bClosing = true;
    if (penetration) {
        if (penetration->isRunning()) {
            penetration->worker()->setAbort(true);
            emit closeNetComPenetrateSig();
        }
        penetration.reset();
    }
    bClosing = false;
    return true;
}

void Penetration_setDlg::closeEvent(QCloseEvent *event)
{
    qCDebug(lcUi) << "Penetration_setDlg::closeEvent";
    if (!shutDown()) {
        event->ignore();
        return;
    }
    event->accept();
}

void Penetration_setDlg::done(int r)
{
    qCDebug(lcUi) << "Penetration_setDlg::done" << r;
    if (penetration && !shutDown())
        return;
    QDialog::done(r);
}
