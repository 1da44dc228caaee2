#ifndef MANAGERDEVLIST_H
#define MANAGERDEVLIST_H

#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

#include <memory>

#include "devinfo.h"
#include "updateoperation.h"

class CloudClient;
class QCompleter;
class QEvent;

namespace Ui {
class ManagerDevList;
}

// The device management window: the panels of the signed-in account, filtered,
// searched and refreshed from the cloud service, and the per-panel actions.
class ManagerDevList : public QWidget
{
    Q_OBJECT

public:
    explicit ManagerDevList(QWidget *parent = nullptr);
    ~ManagerDevList() override;

    // Takes over the list of a sign-in or a refresh; the filter returns to "全部".
    void setDevList(const QString &account, const QString &password, const QVector<DevInfo> &list);

    // The build date as "yyyy-mm-dd".
    static QString versionString();

    const QVector<DevInfo> &allDevices() const { return m_allDevs; }
    const QVector<DevInfo> &shownDevices() const { return m_showDevs; }
    QString currentImei() const { return m_sCurImei; }
    QString account() const { return m_sAccount; }
    bool isRefreshing() const { return m_bRefreshing; }

signals:
    void sig_showLogo();

protected:
    // A change of language: the form's texts and those set here again.
    void changeEvent(QEvent *event) override;

private slots:
    void on_pbtn_updateFirm_clicked();
    void on_pbtn_updateConfig_clicked();
    void on_pbtn_updateCloud_clicked();
    void on_pntn_OpenPenet_clicked();
    void on_listWidget_currentRowChanged(int currentRow);
    void on_cbx_state_currentIndexChanged(int index);
    void on_pbtn_Search_clicked();
    void on_pbtn_update_clicked();

private:
    void addRow(const DevInfo &dev, bool centred);
    // The title with the version and, once signed in, the account.
    void showTitle();
    // The state of the panel shown: "在线" and "离线" in the language of the interface,
    // any other text as the cloud service gave it.
    void showStatus(const QString &status);
    void replaceSearchCompleter(QCompleter *completer);
    // Takes the current row's panel as the target of an action; false with no row.
    bool takeCurrentPanel();
    void openUpdateDialog(UpdateOperation op);
    void openPassThroughDialog();
    // The panel actions can be used exactly when a panel is selected.
    void updateActions();
    // After a refresh: the filter, the search and the selected panel as they were.
    void restoreView(int filter, bool searched, const QString &imei);

    Ui::ManagerDevList *ui;
    QVector<DevInfo> m_allDevs;
    QVector<DevInfo> m_showDevs;
    QVector<DevInfo> m_searchDevs;
    QString m_sPassword;
    QString m_sAccount;
    QString m_sCurImei;
    QString m_sShownStatus;   // as the cloud service gave it
    std::unique_ptr<CloudClient> m_pCloud;
    QPointer<QCompleter> m_pSearchCompleter;
    bool m_bRefreshing = false;
    bool m_bSearched = false;   // the rows are the result of a search
    quint64 m_nListGeneration = 0;   // counts setDevList calls
};

#endif // MANAGERDEVLIST_H
