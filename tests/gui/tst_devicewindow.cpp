#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringListModel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <functional>

#include "cloudsettings.h"
#include "managerdevlist.h"
#include "messageboxcloser.h"

Q_DECLARE_METATYPE(QVector<DevInfo>)

namespace {
DevInfo dev(const char *imei, const QString &status)
{
    DevInfo d;
    d.iMei = QString::fromLatin1(imei);
    d.status = status;
    return d;
}

const QString on = QStringLiteral("在线");
const QString off = QStringLiteral("离线");

// Offline first, a status of neither kind, online panels spread out.
QVector<DevInfo> fixture()
{
    return {dev("860000000000901", off), dev("860000000000101", on), dev("860000000000102", on),
            dev("860000000000905", QStringLiteral("维护中")), dev("860000000000902", off),
            dev("860000000000112", on)};
}

QStringList imeis(const QVector<DevInfo> &list)
{
    QStringList out;
    for (const DevInfo &d : list)
        out << d.iMei;
    return out;
}

// Closes every modal dialog that opens while it lives, recording its class, the text
// of its label_IMEI and the object names of its checked check boxes.
class ModalCloser : public QObject
{
public:
    ModalCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || qobject_cast<QMessageBox *>(w))
                return;
            QStringList checked;
            for (QCheckBox *c : w->findChildren<QCheckBox *>())
                if (c->isChecked())
                    checked << c->objectName();
            checked.sort();
            const QLabel *imei = w->findChild<QLabel *>(QStringLiteral("label_IMEI"));
            seen << QStringLiteral("%1|%2|%3").arg(QString::fromLatin1(w->metaObject()->className()),
                                                  imei ? imei->text() : QString(),
                                                  checked.join(QLatin1Char(',')));
            w->close();
        });
        m_timer.start(20);
    }
    QStringList seen;

private:
    QTimer m_timer;
};

} // namespace

class TestDeviceWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form();
    void setDevListMakesRows();
    void setDevListReturnsToAll();
    void filter_data();
    void filter();
    void onlyOffline_data();
    void onlyOffline();
    void search_data();
    void search();
    void searchOutsideSearchModes();
    void selectionShowsPanel_data();
    void selectionShowsPanel();
    void offlineRowCannotBeSelected();
    void actions_data();
    void actions();
    void replacedCompletersAreDisposed();
    void switchAccountSignal();
    void refreshUnreachableKeepsRows();
    void secondRefreshRefused();

private:
    QListWidget *list() { return m_w->findChild<QListWidget *>(QStringLiteral("listWidget")); }
    QComboBox *mode() { return m_w->findChild<QComboBox *>(QStringLiteral("cbx_state")); }
    QString label(const char *name) { return m_w->findChild<QLabel *>(QLatin1String(name))->text(); }
    QStringList rows();
    QList<int> disabledRows();
    QStringList candidates();

    std::unique_ptr<ManagerDevList> m_w;
};

void TestDeviceWindow::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    qputenv("VANTELO_CLOUD_TIMEOUT_MS", "1500");
}

void TestDeviceWindow::init()
{
    m_w.reset(new ManagerDevList);
}

QStringList TestDeviceWindow::rows()
{
    QStringList out;
    for (int i = 0; i < list()->count(); ++i)
        out << list()->item(i)->text();
    return out;
}

QList<int> TestDeviceWindow::disabledRows()
{
    QList<int> out;
    for (int i = 0; i < list()->count(); ++i) {
        if (list()->item(i)->flags() == Qt::NoItemFlags)
            out << i;
        else if (!(list()->item(i)->flags() & Qt::ItemIsSelectable))
            out << -100;   // neither disabled nor selectable: never expected
    }
    return out;
}

QStringList TestDeviceWindow::candidates()
{
    auto *edit = m_w->findChild<QLineEdit *>(QStringLiteral("ldt_SeachImei"));
    if (!edit->completer())
        return QStringList();
    auto *model = qobject_cast<QStringListModel *>(edit->completer()->model());
    return model ? model->stringList() : QStringList{"?"};
}

void TestDeviceWindow::form()
{
    QCOMPARE(m_w->objectName(), QStringLiteral("ManagerDevList"));
    QCOMPARE(m_w->minimumSize(), QSize(622, 624));
    // It can grow, and the list with it.
    QCOMPARE(m_w->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    m_w->show();
    const QSize listBefore = list()->size();
    m_w->resize(900, 800);
    QTRY_VERIFY(list()->width() > listBefore.width() && list()->height() > listBefore.height());
    QCOMPARE(m_w->windowTitle(), QStringLiteral("设备管理 ") + ManagerDevList::versionString());

    QListWidget *lw = list();
    QCOMPARE(lw->font().pointSize(), 12);
    QCOMPARE(lw->layoutDirection(), Qt::RightToLeft);
    QCOMPARE(lw->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(lw->spacing(), 2);
    QCOMPARE(lw->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);

    const QStringList items{"全部", "在线", "搜索全部", "搜索在线", "搜索离线"};
    QCOMPARE(mode()->count(), items.size());
    for (int i = 0; i < items.size(); ++i)
        QCOMPARE(mode()->itemText(i), items.at(i));

    auto *search = m_w->findChild<QPushButton *>(QStringLiteral("pbtn_Search"));
    QVERIFY(search->text().isEmpty());
    QVERIFY(search->isFlat());
    QVERIFY(!search->icon().pixmap(32, 32).isNull());
    QCOMPARE(search->iconSize(), QSize(32, 32));

    const QList<QPair<const char *, QString>> texts{
        {"label_IMEI", "设备IMEI: "}, {"label_state", "设备状态: "}, {"label_SIMEI", ""},
        {"label_Sstate", ""}, {"label_version", ""}};
    for (const auto &t : texts)
        QCOMPARE(label(t.first), t.second);
    const QList<QPair<const char *, QString>> buttons{
        {"pbtn_updateFirm", "升级底层"}, {"pbtn_updateConfig", "升级组态"},
        {"pbtn_updateCloud", "同步云组态"}, {"pntn_OpenPenet", "开启穿透"},
        {"pbtn_update", "刷新"}, {"tbtn_menue", "切换账号"}};
    for (const auto &b : buttons)
        QCOMPARE(m_w->findChild<QPushButton *>(QLatin1String(b.first))->text(), b.second);

    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    QVERIFY(!m_w->findChild<QLineEdit *>(QStringLiteral("ldt_SeachImei"))->isVisible());
    QVERIFY(!search->isVisible());
}

void TestDeviceWindow::setDevListMakesRows()
{
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    QCOMPARE(m_w->windowTitle(),
             QStringLiteral("设备管理 %1    用户: demo").arg(ManagerDevList::versionString()));
    QCOMPARE(rows(), imeis(fixture()));
    QCOMPARE(disabledRows(), (QList<int>{0, 4}));
    QCOMPARE(list()->currentRow(), -1);
    QVERIFY(list()->selectedItems().isEmpty());
    for (int i = 0; i < list()->count(); ++i) {
        QCOMPARE(list()->item(i)->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignHCenter));
        QVERIFY(!list()->item(i)->icon().pixmap(16, 16).isNull());
    }
    QCOMPARE(m_w->allDevices(), fixture());
    QCOMPARE(m_w->shownDevices(), fixture());
    QCOMPARE(m_w->account(), QStringLiteral("demo"));
}

void TestDeviceWindow::setDevListReturnsToAll()
{
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    mode()->setCurrentIndex(3);
    QVERIFY(!candidates().isEmpty());
    const QVector<DevInfo> next{dev("1", on), dev("2", off)};
    m_w->setDevList(QStringLiteral("field"), QStringLiteral("pw2"), next);
    QCOMPARE(mode()->currentIndex(), 0);
    QCOMPARE(rows(), (QStringList{"1", "2"}));
    QCOMPARE(disabledRows(), QList<int>{1});
    QCOMPARE(m_w->shownDevices(), next);
    QCOMPARE(list()->currentRow(), -1);
    QVERIFY(m_w->windowTitle().endsWith(QStringLiteral("用户: field")));
}

void TestDeviceWindow::filter_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("disabled");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("searchRow");
    QTest::addColumn<QStringList>("candidates");

    const QStringList all = imeis(fixture());
    const QStringList online{"860000000000101", "860000000000102", "860000000000112"};
    QTest::newRow("0 全部") << 0 << all << QList<int>{0, 4} << 1 << false << QStringList();
    QTest::newRow("1 在线") << 1 << online << QList<int>() << 0 << false << QStringList();
    QTest::newRow("2 搜索全部") << 2 << QStringList() << QList<int>() << -1 << true << all;
    QTest::newRow("3 搜索在线") << 3 << QStringList() << QList<int>() << -1 << true << online;
    QTest::newRow("4 搜索离线") << 4 << QStringList() << QList<int>() << -1 << true
                                << QStringList{"860000000000901", "860000000000902"};
}

void TestDeviceWindow::filter()
{
    QFETCH(int, index);
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, disabled);
    QFETCH(int, current);
    QFETCH(bool, searchRow);
    QFETCH(QStringList, candidates);

    m_w->show();
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    // Come from another mode, so that every index runs the filter.
    mode()->setCurrentIndex(index == 2 ? 3 : 2);
    mode()->setCurrentIndex(index);

    QCOMPARE(this->rows(), rows);
    QCOMPARE(disabledRows(), disabled);
    QCOMPARE(list()->currentRow(), current);
    QCOMPARE(m_w->shownDevices().size(), rows.size());
    QCOMPARE(imeis(m_w->shownDevices()), rows);
    QCOMPARE(m_w->findChild<QLineEdit *>(QStringLiteral("ldt_SeachImei"))->isVisible(), searchRow);
    QCOMPARE(m_w->findChild<QPushButton *>(QStringLiteral("pbtn_Search"))->isVisible(), searchRow);
    QCOMPARE(this->candidates(), candidates);
    if (searchRow) {
        QCompleter *c = m_w->findChild<QLineEdit *>(QStringLiteral("ldt_SeachImei"))->completer();
        QCOMPARE(c->completionMode(), QCompleter::PopupCompletion);
        QCOMPARE(c->filterMode(), Qt::MatchContains);
    }
    if (current >= 0) {
        QCOMPARE(label("label_SIMEI"), rows.at(current));
        QCOMPARE(label("label_Sstate"), on);
        QCOMPARE(m_w->currentImei(), rows.at(current));
    } else {
        QCOMPARE(label("label_SIMEI"), QString());
    }
}

void TestDeviceWindow::onlyOffline_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("rowCount");
    QTest::newRow("全部: all rows disabled") << 0 << 2;
    QTest::newRow("在线: no rows") << 1 << 0;
}

void TestDeviceWindow::onlyOffline()
{
    QFETCH(int, index);
    QFETCH(int, rowCount);
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"),
                    {dev("860000000000901", off), dev("860000000000902", off)});
    mode()->setCurrentIndex(2);
    mode()->setCurrentIndex(index);
    QCOMPARE(list()->count(), rowCount);
    QCOMPARE(disabledRows().size(), rowCount);
    QCOMPARE(list()->currentRow(), -1);
    QCOMPARE(label("label_SIMEI"), QString());
}

void TestDeviceWindow::search_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("disabled");
    QTest::addColumn<int>("current");

    QTest::newRow("全部, empty text: every candidate")
        << 2 << "" << imeis(fixture()) << QList<int>{0, 4} << 1;
    QTest::newRow("全部, no online match")
        << 2 << "90" << QStringList{"860000000000901", "860000000000905", "860000000000902"}
        << QList<int>{0, 2} << -1;
    QTest::newRow("在线, three digits in the middle")
        << 3 << "010" << QStringList{"860000000000101", "860000000000102"} << QList<int>() << 0;
    QTest::newRow("在线, one match") << 3 << "112" << QStringList{"860000000000112"} << QList<int>() << 0;
    QTest::newRow("在线, no match") << 3 << "999" << QStringList() << QList<int>() << -1;
    QTest::newRow("在线, text is taken as typed") << 3 << " 112" << QStringList() << QList<int>() << -1;
    QTest::newRow("在线, empty text")
        << 3 << "" << QStringList{"860000000000101", "860000000000102", "860000000000112"}
        << QList<int>() << 0;
    QTest::newRow("离线, empty text: all disabled")
        << 4 << "" << QStringList{"860000000000901", "860000000000902"} << QList<int>{0, 1} << -1;
    QTest::newRow("离线, match") << 4 << "902" << QStringList{"860000000000902"} << QList<int>{0} << -1;
}

void TestDeviceWindow::search()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, disabled);
    QFETCH(int, current);

    m_w->show();
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    mode()->setCurrentIndex(index);
    auto *edit = m_w->findChild<QLineEdit *>(QStringLiteral("ldt_SeachImei"));
    edit->setText(text);
    // Enter in the box searches like the button does (the 在线 rows press Enter).
    if (index == 3)
        QTest::keyClick(edit, Qt::Key_Return);
    else
        QTest::mouseClick(m_w->findChild<QPushButton *>(QStringLiteral("pbtn_Search")), Qt::LeftButton);

    QCOMPARE(this->rows(), rows);
    QCOMPARE(disabledRows(), disabled);
    QCOMPARE(imeis(m_w->shownDevices()), rows);
    QCOMPARE(list()->currentRow(), current);
    QCOMPARE(label("label_SIMEI"), current >= 0 ? rows.at(current) : QString());
    QCOMPARE(label("label_Sstate"), current >= 0 ? on : QString());
    for (int i = 0; i < list()->count(); ++i)
        QVERIFY(!list()->item(i)->data(Qt::TextAlignmentRole).isValid());

    // The action takes the panel of the row from the shown devices.
    if (current >= 0) {
        ModalCloser modals;
        QTest::mouseClick(m_w->findChild<QPushButton *>(QStringLiteral("pntn_OpenPenet")), Qt::LeftButton);
        QCOMPARE(m_w->currentImei(), rows.at(current));
    }
}

void TestDeviceWindow::searchOutsideSearchModes()
{
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    mode()->setCurrentIndex(1);
    QCOMPARE(list()->count(), 3);
    QMetaObject::invokeMethod(m_w.get(), "on_pbtn_Search_clicked");
    QCOMPARE(list()->count(), 0);
    QCOMPARE(label("label_SIMEI"), QString());
}

void TestDeviceWindow::selectionShowsPanel_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("status");
    QTest::newRow("全部 row 2") << 0 << 2 << "860000000000102" << on;
    QTest::newRow("全部 other status") << 0 << 3 << "860000000000905" << QStringLiteral("维护中");
    QTest::newRow("在线 row 2") << 1 << 2 << "860000000000112" << on;
}

void TestDeviceWindow::selectionShowsPanel()
{
    QFETCH(int, index);
    QFETCH(int, row);
    QFETCH(QString, imei);
    QFETCH(QString, status);
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    mode()->setCurrentIndex(2);
    mode()->setCurrentIndex(index);
    list()->setCurrentRow(row);
    QCOMPARE(label("label_SIMEI"), imei);
    QCOMPARE(label("label_Sstate"), status);
    QCOMPARE(m_w->currentImei(), imei);

    // Emptying the list empties the labels; the current IMEI stays the last one chosen.
    mode()->setCurrentIndex(2);
    QCOMPARE(label("label_SIMEI"), QString());
    QCOMPARE(label("label_Sstate"), QString());
    QCOMPARE(m_w->currentImei(), imei);
}

void TestDeviceWindow::offlineRowCannotBeSelected()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    QListWidget *lw = list();
    const QRect offline = lw->visualItemRect(lw->item(0));
    QTest::mouseClick(lw->viewport(), Qt::LeftButton, {}, offline.center());
    QCOMPARE(lw->currentRow(), -1);
    QCOMPARE(label("label_SIMEI"), QString());

    const QRect online = lw->visualItemRect(lw->item(1));
    QTest::mouseClick(lw->viewport(), Qt::LeftButton, {}, online.center());
    QCOMPARE(lw->currentRow(), 1);
    QCOMPARE(label("label_SIMEI"), QStringLiteral("860000000000101"));
    QTest::mouseClick(lw->viewport(), Qt::LeftButton, {}, offline.center());
    QCOMPARE(lw->currentRow(), 1);
}

void TestDeviceWindow::actions_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("dialog");
    QTest::newRow("升级底层") << "pbtn_updateFirm" << "UpdateFileDlg|IMEI:860000000000112|ckx_updateFirm";
    QTest::newRow("升级组态") << "pbtn_updateConfig" << "UpdateFileDlg|IMEI:860000000000112|ckx_updateConfig";
    QTest::newRow("同步云组态") << "pbtn_updateCloud" << "UpdateFileDlg|IMEI:860000000000112|ckx_updateCloud";
    QTest::newRow("开启穿透") << "pntn_OpenPenet" << "Penetration_setDlg|IMEI:860000000000112|";
}

void TestDeviceWindow::actions()
{
    QFETCH(QString, button);
    QFETCH(QString, dialog);
    // Every dialog that runs modally is seen (and closed) while the click is handled.
    ModalCloser modals;

    m_w->show();
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    auto *b = m_w->findChild<QPushButton *>(button);

    // No current row: the action cannot be used.
    QVERIFY(!b->isEnabled());
    QTest::mouseClick(b, Qt::LeftButton);
    QVERIFY2(modals.seen.isEmpty(), qPrintable(modals.seen.join('\n')));
    QCOMPARE(m_w->currentImei(), QString());

    // Search mode without rows: nothing either.
    mode()->setCurrentIndex(3);
    QTest::mouseClick(b, Qt::LeftButton);
    QVERIFY(modals.seen.isEmpty());

    // 在线 mode: the current row's panel is the target.
    mode()->setCurrentIndex(1);
    list()->setCurrentRow(2);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(m_w->currentImei(), QStringLiteral("860000000000112"));
    // The dialog ran modally for that panel, with the operation preselected, and is gone.
    QCOMPARE(modals.seen, QStringList{dialog});
}

void TestDeviceWindow::replacedCompletersAreDisposed()
{
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    for (int index : {2, 3, 4, 2, 3}) {
        mode()->setCurrentIndex(index);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(m_w->findChildren<QCompleter *>().size(), 1);
    }
    mode()->setCurrentIndex(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_w->findChildren<QCompleter *>().size(), 0);
    QVERIFY(!m_w->findChild<QLineEdit *>(QStringLiteral("ldt_SeachImei"))->completer());
}

void TestDeviceWindow::switchAccountSignal()
{
    QSignalSpy spy(m_w.get(), &ManagerDevList::sig_showLogo);
    m_w->show();
    QTest::mouseClick(m_w->findChild<QPushButton *>(QStringLiteral("tbtn_menue")), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TestDeviceWindow::refreshUnreachableKeepsRows()
{
    const quint16 port = [] {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        return s.serverPort();
    }();   // closed again: nobody listens there
    CloudSettings::setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));

    m_w->show();
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    mode()->setCurrentIndex(1);
    list()->setCurrentRow(1);

    MessageBoxCloser closer;
    QTest::mouseClick(m_w->findChild<QPushButton *>(QStringLiteral("pbtn_update")), Qt::LeftButton);
    QCOMPARE(closer.seen.size(), 1);
    QVERIFY2(closer.seen.at(0).startsWith(QStringLiteral("提示|无法连接云服务: ")), qPrintable(closer.seen.at(0)));
    QVERIFY2(closer.seen.at(0).contains(QStringLiteral("refused"), Qt::CaseInsensitive), qPrintable(closer.seen.at(0)));

    QCOMPARE(mode()->currentIndex(), 1);
    QCOMPARE(rows(), (QStringList{"860000000000101", "860000000000102", "860000000000112"}));
    QCOMPARE(imeis(m_w->shownDevices()), rows());
    QCOMPARE(list()->currentRow(), 1);
    ModalCloser modals;
    QTest::mouseClick(m_w->findChild<QPushButton *>(QStringLiteral("pbtn_updateConfig")), Qt::LeftButton);
    QCOMPARE(m_w->currentImei(), QStringLiteral("860000000000102"));
}

void TestDeviceWindow::secondRefreshRefused()
{
    // A service that takes the connection and never answers.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    QList<QTcpSocket *> held;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *s = server.nextPendingConnection()) {
            ++connections;
            held << s;
        }
    });
    CloudSettings::setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()));

    m_w->show();
    m_w->setDevList(QStringLiteral("demo"), QStringLiteral("pw"), fixture());
    auto *refresh = m_w->findChild<QPushButton *>(QStringLiteral("pbtn_update"));
    bool busyDuringWait = false;
    QTimer::singleShot(300, this, [&] {
        busyDuringWait = m_w->isRefreshing();
        QTest::mouseClick(refresh, Qt::LeftButton);   // refused: returns at once
    });
    MessageBoxCloser closer;
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(refresh, Qt::LeftButton);

    QVERIFY(busyDuringWait);
    QVERIFY2(elapsed.elapsed() >= 1400 && elapsed.elapsed() < 5000, QByteArray::number(elapsed.elapsed()));
    QCOMPARE(connections, 1);
    QCOMPARE(closer.seen.size(), 1);
    QVERIFY2(closer.seen.at(0).startsWith(QStringLiteral("提示|无法连接云服务")), qPrintable(closer.seen.at(0)));
    QVERIFY(!m_w->isRefreshing());
    QCOMPARE(rows(), imeis(fixture()));
    QCOMPARE(m_w->shownDevices(), fixture());
    qDeleteAll(held);
}

QTEST_MAIN(TestDeviceWindow)
#include "tst_devicewindow.moc"
