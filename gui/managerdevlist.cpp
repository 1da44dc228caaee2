#include "managerdevlist.h"
#include "ui_managerdevlist.h"

#include <QCompleter>
#include <QEvent>
#include <QListWidgetItem>
#include <QMessageBox>

#include "builddate.h"
#include "cloudclient.h"
#include "cloudrequest.h"
#include "cloudsettings.h"
#include "logging.h"
#include "penetration_setdlg.h"
#include "updatefiledlg.h"

namespace {
const QString kOnline = QStringLiteral("在线");
const QString kOffline = QStringLiteral("离线");

enum FilterMode { AllMode = 0, OnlineMode = 1, SearchAllMode = 2, SearchOnlineMode = 3,
                  SearchOfflineMode = 4 };
} // namespace

ManagerDevList::ManagerDevList(QWidget *parent) : QWidget(parent), ui(new Ui::ManagerDevList)
{
    ui->setupUi(this);
    showTitle();
    // Larger is fine: the list grows with the window.
    setMinimumSize(size());
    ui->ldt_SeachImei->hide();
    ui->pbtn_Search->hide();
    connect(ui->ldt_SeachImei, &QLineEdit::returnPressed, this, &ManagerDevList::on_pbtn_Search_clicked);
    updateActions();

    m_pCloud.reset(new CloudClient);
    connect(ui->tbtn_menue, &QPushButton::clicked, this, [this] { emit sig_showLogo(); });
}

ManagerDevList::~ManagerDevList()
{
    delete ui;
}

QString ManagerDevList::versionString()
{
    return BuildDate::versionText(QStringLiteral(__DATE__));
}

void ManagerDevList::showTitle()
{
    setWindowTitle(m_sAccount.isEmpty()
                       ? tr("设备管理 %1").arg(versionString())
                       : tr("设备管理 %1    用户: %2").arg(versionString(), m_sAccount));
}

void ManagerDevList::showStatus(const QString &status)
{
    m_sShownStatus = status;
    ui->label_Sstate->setText(status == kOnline    ? tr("在线")
                              : status == kOffline ? tr("离线")
                                                   : status);
}

void ManagerDevList::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        showTitle();
        showStatus(m_sShownStatus);
    }
    QWidget::changeEvent(event);
}

void ManagerDevList::addRow(const DevInfo &dev, bool centred)
{
    auto *item = new QListWidgetItem(QIcon(QStringLiteral(":/images/onlinesimulation.ico")), dev.iMei);
    if (dev.status == kOffline)
        item->setFlags(Qt::NoItemFlags);
    if (centred)
        item->setData(Qt::TextAlignmentRole, int(Qt::AlignHCenter));
    ui->listWidget->addItem(item);
}

void ManagerDevList::setDevList(const QString &account, const QString &password,
                                const QVector<DevInfo> &list)
{
    ++m_nListGeneration;
    m_sAccount = account;
    showTitle();

    ui->cbx_state->setCurrentIndex(AllMode);
    ui->listWidget->clear();

    m_sPassword = password;
    m_allDevs = list;
    m_showDevs = m_allDevs;
    qCDebug(lcUi) << "ManagerDevList::setDevList" << account << m_allDevs.size();

    for (const DevInfo &dev : qAsConst(m_allDevs))
        addRow(dev, true);
    updateActions();
}

void ManagerDevList::replaceSearchCompleter(QCompleter *completer)
{
    // The completer of the previous search mode goes; the line edit does not own it.
    QCompleter *old = m_pSearchCompleter;
    ui->ldt_SeachImei->setCompleter(completer);
    m_pSearchCompleter = completer;
    if (old)
        old->deleteLater();
}

void ManagerDevList::on_cbx_state_currentIndexChanged(int index)
{
    ui->listWidget->clear();
    m_showDevs.clear();
    m_searchDevs.clear();
    ui->ldt_SeachImei->hide();
    ui->pbtn_Search->hide();
    replaceSearchCompleter(nullptr);
    m_bSearched = false;

    switch (index) {
    case AllMode: {
        int firstOnline = -1;
        for (const DevInfo &dev : qAsConst(m_allDevs)) {
            addRow(dev, false);
            m_showDevs.append(dev);
            if (firstOnline < 0 && dev.status == kOnline)
                firstOnline = m_showDevs.size() - 1;
        }
        if (firstOnline >= 0)
            ui->listWidget->setCurrentRow(firstOnline);
        break;
    }
    case OnlineMode:
        for (const DevInfo &dev : qAsConst(m_allDevs)) {
            if (dev.status == kOnline) {
                addRow(dev, false);
                m_showDevs.append(dev);
            }
        }
        if (!m_showDevs.isEmpty())
            ui->listWidget->setCurrentRow(0);
        break;
    case SearchAllMode:
    case SearchOnlineMode:
    case SearchOfflineMode: {
        for (const DevInfo &dev : qAsConst(m_allDevs)) {
            if (index == SearchAllMode
                || (index == SearchOnlineMode && dev.status == kOnline)
                || (index == SearchOfflineMode && dev.status == kOffline))
                m_searchDevs.append(dev);
        }
        QStringList imeis;
        for (const DevInfo &dev : qAsConst(m_searchDevs))
            imeis << dev.iMei;
        auto *completer = new QCompleter(imeis, this);
        completer->setCompletionMode(QCompleter::PopupCompletion);
        completer->setFilterMode(Qt::MatchContains);
        replaceSearchCompleter(completer);
        ui->ldt_SeachImei->show();
        ui->pbtn_Search->show();
        break;
    }
    default:
        break;
    }
    qCDebug(lcUi) << "ManagerDevList::on_cbx_state_currentIndexChanged" << index
                  << m_showDevs.size() << m_searchDevs.size();
    updateActions();
}

void ManagerDevList::on_pbtn_Search_clicked()
{
    const QString text = ui->ldt_SeachImei->text();
    const int index = ui->cbx_state->currentIndex();
    ui->listWidget->clear();
    ui->label_SIMEI->setText(QString());
    showStatus(QString());

    if (index != SearchAllMode && index != SearchOnlineMode && index != SearchOfflineMode) {
        updateActions();
        return;
    }

    m_bSearched = true;
    m_showDevs.clear();
    for (const DevInfo &dev : qAsConst(m_searchDevs)) {
        if (!dev.iMei.contains(text, Qt::CaseSensitive))
            continue;
        addRow(dev, false);
        if (index == SearchOfflineMode)
            ui->listWidget->item(ui->listWidget->count() - 1)->setFlags(Qt::NoItemFlags);
        m_showDevs.append(dev);
    }
    qCDebug(lcUi) << "ManagerDevList::on_pbtn_Search_clicked" << index << text << m_showDevs.size();

    updateActions();
    if (index == SearchOfflineMode)
        return;
    for (int row = 0; row < m_showDevs.size(); ++row) {
        if (m_showDevs.at(row).status == kOnline) {
            ui->label_SIMEI->setText(m_showDevs.at(row).iMei);
            showStatus(m_showDevs.at(row).status);
            ui->listWidget->setCurrentRow(row);
            break;
        }
    }
}

void ManagerDevList::on_listWidget_currentRowChanged(int currentRow)
{
    updateActions();
    if (currentRow < 0) {
        ui->label_SIMEI->setText(QString());
        showStatus(QString());
        return;
    }
    const int index = ui->cbx_state->currentIndex();
    if (index < 0)
        return;
    const QVector<DevInfo> &source = (index == AllMode) ? m_allDevs : m_showDevs;
    if (currentRow >= source.size())
        return;
    const DevInfo &dev = source.at(currentRow);
    ui->label_SIMEI->setText(dev.iMei);
    showStatus(dev.status);
    m_sCurImei = dev.iMei;
}

void ManagerDevList::updateActions()
{
    const int row = ui->listWidget->currentRow();
    const QListWidgetItem *item = row >= 0 && row < m_showDevs.size() ? ui->listWidget->item(row)
                                                                      : nullptr;
    const bool selected = item && (item->flags() & Qt::ItemIsEnabled);
    for (QPushButton *b : {ui->pbtn_updateFirm, ui->pbtn_updateConfig, ui->pbtn_updateCloud,
                           ui->pntn_OpenPenet})
        b->setEnabled(selected);
}

bool ManagerDevList::takeCurrentPanel()
{
    const int row = ui->listWidget->currentRow();
    if (row < 0 || row >= m_showDevs.size())
        return false;
    // A disabled (offline) row is never an action's target.
    const QListWidgetItem *item = ui->listWidget->item(row);
    if (!item || !(item->flags() & Qt::ItemIsEnabled))
        return false;
    m_sCurImei = m_showDevs.at(row).iMei;
    return true;
}

void ManagerDevList::on_pbtn_updateFirm_clicked()
{
    if (takeCurrentPanel())
        openUpdateDialog(UpdateOperation::Firmware);
}

void ManagerDevList::on_pbtn_updateConfig_clicked()
{
    if (takeCurrentPanel())
        openUpdateDialog(UpdateOperation::Project);
}

void ManagerDevList::on_pbtn_updateCloud_clicked()
{
    if (takeCurrentPanel())
        openUpdateDialog(UpdateOperation::CloudSync);
}

void ManagerDevList::on_pntn_OpenPenet_clicked()
{
    if (takeCurrentPanel())
        openPassThroughDialog();
}

void ManagerDevList::openUpdateDialog(UpdateOperation op)
{
    qCDebug(lcUi) << "ManagerDevList::openUpdateDialog" << int(op) << m_sCurImei;
    UpdateFileDlg *dlg = new UpdateFileDlg(this);
    dlg->setDeviceInfo(m_sCurImei, m_sAccount, m_sPassword, int(op));
    dlg->exec();
    dlg->deleteLater();
}

void ManagerDevList::openPassThroughDialog()
{
    qCDebug(lcUi) << "ManagerDevList::openPassThroughDialog" << m_sCurImei;
    Penetration_setDlg *dlg = new Penetration_setDlg(this);
    dlg->setIMEI(m_sCurImei);
    dlg->exec();
    dlg->deleteLater();
}

void ManagerDevList::on_pbtn_update_clicked()
{
    if (m_bRefreshing) {
        qCDebug(lcUi) << "ManagerDevList::on_pbtn_update_clicked busy";
        return;
    }
    const CloudEndpoint cloud = CloudSettings::endpoint();
    qCDebug(lcUi) << "ManagerDevList::on_pbtn_update_clicked" << cloud.baseUrl() << m_sAccount;

    const QString account = m_sAccount;
    const QString password = m_sPassword;
    const quint64 generation = m_nListGeneration;
    m_bRefreshing = true;
    const CloudClient::DeviceList answer = m_pCloud->deviceList(
        cloud, CloudClient::UrlForm::Tolerant, account, password);
    m_bRefreshing = false;

    // A sign-in during the wait handed over a newer list; this answer is stale.
    if (generation != m_nListGeneration) {
        qCDebug(lcUi) << "ManagerDevList::on_pbtn_update_clicked stale reply dropped";
        return;
    }

    // The rows and the shown devices stay as they are until the reply is judged good.
    if (!answer.reply.usable) {
        qCDebug(lcUi) << "ManagerDevList::on_pbtn_update_clicked no usable reply"
                      << int(answer.result.outcome) << answer.result.errorText;
        QMessageBox::warning(this, tr("提示"), CloudRequest::failureText(answer.result),
                             QMessageBox::Ok);
        return;
    }
    if (!answer.reply.hasCode) {
        qCDebug(lcUi) << "ManagerDevList::on_pbtn_update_clicked no code";
        return;
    }
    qCDebug(lcUi) << "ManagerDevList::on_pbtn_update_clicked code" << answer.reply.code;
    if (answer.reply.code != 200) {
        QMessageBox::warning(this, tr("提示"), tr("账号不存在或验证错误"), QMessageBox::Ok);
        return;
    }
    if (!answer.reply.hasList) {
        qCDebug(lcUi) << "ManagerDevList::on_pbtn_update_clicked no data";
        return;
    }
    const int filter = ui->cbx_state->currentIndex();
    const QListWidgetItem *current = ui->listWidget->currentItem();
    const QString selected = current ? current->text() : QString();
    const bool searched = m_bSearched;
    setDevList(account, password, answer.reply.devices);
    restoreView(filter, searched, selected);
}

void ManagerDevList::restoreView(int filter, bool searched, const QString &imei)
{
    ui->cbx_state->setCurrentIndex(filter);   // the search text stays in its box
    if (searched)
        on_pbtn_Search_clicked();
    for (int row = 0; row < ui->listWidget->count() && !imei.isEmpty(); ++row) {
        const QListWidgetItem *item = ui->listWidget->item(row);
        if (item->text() == imei && (item->flags() & Qt::ItemIsEnabled)) {
            ui->listWidget->setCurrentRow(row);
            break;
        }
    }
    qCDebug(lcUi) << "ManagerDevList::restoreView" << filter << searched << imei
                  << ui->listWidget->currentRow();
}
