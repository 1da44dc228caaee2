#include "penetration_setdlg.h"
#include "ui_penetration_setdlg.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "logging.h"
#include "portplatform.h"
#include "transfermeter.h"

Penetration_setDlg::Penetration_setDlg(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::Penetration_setDlg),
      portPairs([this](const QString &text) { ui->label_networkInfo->setText(text); })
{
    ui->setupUi(this);
    setWindowTitle(tr("穿透设置"));
    sNoInformation = ui->label_networkInfo->text();

    fillComboBoxes();
    addMonitorRows();
    setFixedSize(size().expandedTo(sizeHint()));

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
    connect(worker, &PenetrationOBJ::traffic, this, &Penetration_setDlg::showTraffic);

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
        findChild<QPushButton *>(QStringLiteral("pbtn_copyPath"))->setText(tr("复制路径"));
        traceButton->setText(tracePath.isEmpty() ? tr("开始记录") : tr("停止记录"));
        if (!tracePath.isEmpty())
            traceLabel->setText(tr("记录到 %1").arg(tracePath));
        showTraffic(lastToPanel, lastFromPanel);
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

QString Penetration_setDlg::comPath(int comIndex)
{
    const QString name = QStringLiteral("COM%1").arg(comIndex + 1);
    const QString dir = PortPlatform::pairDirectory();
    return dir.isEmpty() ? name : dir + QLatin1Char('/') + name;
}

// Under the port choice: the COM side's full path with a copy button, the traffic
// both ways, and the trace.
void Penetration_setDlg::addMonitorRows()
{
    comPathLabel = new QLabel(this);
    comPathLabel->setObjectName(QStringLiteral("label_comPath"));
    comPathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    comPathLabel->setWordWrap(true);
    auto *copy = new QPushButton(tr("复制路径"), this);
    copy->setObjectName(QStringLiteral("pbtn_copyPath"));
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(comPathLabel, 1);
    pathRow->addWidget(copy);
    const auto showPath = [this] { comPathLabel->setText(comPath(ui->comboBox_addPort1->currentIndex())); };
    showPath();
    connect(ui->comboBox_addPort1, QOverload<int>::of(&QComboBox::currentIndexChanged), this, showPath);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(comPathLabel->text()); });

    trafficLabel = new QLabel(this);
    trafficLabel->setObjectName(QStringLiteral("label_traffic"));
    trafficLabel->setAlignment(Qt::AlignCenter);

    traceLabel = new QLabel(this);
    traceLabel->setObjectName(QStringLiteral("label_trace"));
    traceLabel->setWordWrap(true);
    traceButton = new QPushButton(tr("开始记录"), this);
    traceButton->setObjectName(QStringLiteral("pbtn_trace"));
    auto *traceRow = new QHBoxLayout;
    traceRow->addWidget(traceLabel, 1);
    traceRow->addWidget(traceButton);
    connect(traceButton, &QPushButton::clicked, this, [this] {
        if (tracePath.isEmpty())
            startTrace();
        else
            stopTrace();
    });

    const int at = ui->verticalLayout_main->indexOf(ui->label_networkInfo);
    ui->verticalLayout_main->insertLayout(at, pathRow);
    ui->verticalLayout_main->insertWidget(at + 1, trafficLabel);
    ui->verticalLayout_main->insertLayout(at + 2, traceRow);
    showTraffic(0, 0);
}

QString Penetration_setDlg::chooseTraceFile()
{
    return QFileDialog::getSaveFileName(this, tr("保存穿透记录"), QString(),
                                        tr("文本文件 (*.txt);;所有文件 (*)"));
}

void Penetration_setDlg::startTrace()
{
    if (!penetration || !penetration->isRunning())
        return;
    const QString path = chooseTraceFile();
    if (path.isEmpty())
        return;
    tracePath = path;
    QMetaObject::invokeMethod(penetration->worker(), "setTraceFile", Qt::BlockingQueuedConnection,
                              Q_ARG(QString, path));
    traceLabel->setText(tr("记录到 %1").arg(path));
    traceButton->setText(tr("停止记录"));
}

void Penetration_setDlg::stopTrace()
{
    if (tracePath.isEmpty())
        return;
    if (penetration) {
        if (penetration->isRunning())
            QMetaObject::invokeMethod(penetration->worker(), "setTraceFile",
                                      Qt::BlockingQueuedConnection, Q_ARG(QString, QString()));
        else
            penetration->worker()->setTraceFile(QString());   // its thread has ended
    }
    traceLabel->setText(tr("已记录到 %1").arg(tracePath));
    tracePath.clear();
    traceButton->setText(tr("开始记录"));
}

void Penetration_setDlg::showTraffic(qint64 toPanel, qint64 fromPanel)
{
    const qint64 elapsed = trafficClock.isValid() ? trafficClock.restart() : 0;
    if (!trafficClock.isValid())
        trafficClock.start();
    const auto rate = [elapsed](qint64 now, qint64 before) {
        return TransferMeter::rateText(elapsed > 0 ? double(now - before) * 1000.0 / double(elapsed) : 0.0);
    };
    trafficLabel->setText(tr("发送 %1 字节 (%2)\n接收 %3 字节 (%4)")
                              .arg(toPanel)
                              .arg(rate(toPanel, lastToPanel))
                              .arg(fromPanel)
                              .arg(rate(fromPanel, lastFromPanel)));
    lastToPanel = toPanel;
    lastFromPanel = fromPanel;
}

// Started: only "关闭穿透" can be used; idle: everything but "关闭穿透".
void Penetration_setDlg::showStarted(bool started)
{
    const std::initializer_list<QWidget *> idleOnly = {
        ui->groupBox_portSet, ui->btn_openNetUsbPenetrate, ui->comboBox_addPort1, ui->pbtn_del};
    for (QWidget *w : idleOnly)
        w->setEnabled(!started);
    ui->btn_closeNetUsbPenetrate->setEnabled(started);
    if (traceButton)
        traceButton->setEnabled(started);
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
    trafficClock.invalidate();
    lastToPanel = lastFromPanel = 0;
    showTraffic(0, 0);
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
    stopTrace();
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
    stopTrace();
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
