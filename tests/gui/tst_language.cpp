#include <QtTest>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include "language.h"
#include "managerdevlist.h"
#include "messageboxcloser.h"
#include "penetration_setdlg.h"
#include "serversettingsdlg.h"
#include "updatefiledlg.h"
#include "vantelo.h"

namespace {

bool hasCjk(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        // CJK punctuation, kana, ideographs; compatibility ideographs; full-width forms.
        if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF)
            || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// Every text a user sees in window, each as "object name: text".
QStringList visibleTexts(QWidget *window)
{
    QStringList texts{window->objectName() + QStringLiteral(" title: ") + window->windowTitle()};
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (w->window() != window || !w->isVisibleTo(window))
            continue;
        QStringList own{w->toolTip()};
        if (auto *label = qobject_cast<QLabel *>(w))
            own << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            own << button->text();
        else if (auto *box = qobject_cast<QGroupBox *>(w))
            own << box->title();
        else if (auto *edit = qobject_cast<QLineEdit *>(w))
            own << edit->text() << edit->placeholderText();
        else if (auto *list = qobject_cast<QListWidget *>(w))
            for (int i = 0; i < list->count(); ++i)
                own << list->item(i)->text();
        else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            // The language box lists each language in itself; it shows the one in use.
            if (combo->objectName() == QLatin1String("cmb_language"))
                own << combo->currentText();
            else
                for (int i = 0; i < combo->count(); ++i)
                    own << combo->itemText(i);
        }
        for (const QString &t : qAsConst(own))
            if (!t.isEmpty())
                texts << w->objectName() + QStringLiteral(": ") + t;
    }
    return texts;
}

// The visible labels and buttons whose text needs more room than they have.
QStringList clipped(QWidget *window)
{
    QStringList out;
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (w->window() != window || !w->isVisibleTo(window))
            continue;
        auto *label = qobject_cast<QLabel *>(w);
        const bool wraps = label && label->wordWrap();
        if (!label && !qobject_cast<QAbstractButton *>(w))
            continue;
        const QSize hint = w->sizeHint();
        if (wraps ? label->heightForWidth(w->width()) > w->height() : hint.width() > w->width())
            out << QStringLiteral("%1 needs %2x%3, has %4x%5")
                       .arg(w->objectName())
                       .arg(hint.width())
                       .arg(wraps ? label->heightForWidth(w->width()) : hint.height())
                       .arg(w->width())
                       .arg(w->height());
    }
    return out;
}

void choose(QComboBox *box, const QString &code)
{
    box->setCurrentIndex(box->findData(code));
    emit box->activated(box->currentIndex());
    // The toolkit posts the change of language to every window; the new texts then
    // post the layouts' requests.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyWindowFollowsTheChoice();
};

void TestLanguage::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    Language::addSearchPath(QStringLiteral(VANTELO_BIN_DIR "/translations"));
    qputenv("VANTELO_RELAY_TIMEOUT_SCALE", "0.05");
    // As the program starts with the default setting.
    QVERIFY(Language::install(QStringLiteral("zh")));
}

void TestLanguage::everyWindowFollowsTheChoice()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString oldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));   // User.ini lies in the working directory

    {
        Vantelo signIn;
        signIn.show();
        ManagerDevList *devices = signIn.deviceWindow();
        devices->setDevList(QStringLiteral("demo"), QStringLiteral("pw"),
                            {{QStringLiteral("860000000000001"), QStringLiteral("在线")},
                             {QStringLiteral("860000000000002"), QStringLiteral("离线")}});
        devices->findChild<QListWidget *>(QStringLiteral("listWidget"))->setCurrentRow(0);
        devices->show();
        UpdateFileDlg update(devices);
        update.setDeviceInfo(QStringLiteral("860000000000001"), QStringLiteral("demo"),
                             QStringLiteral("pw"), 0);
        update.show();
        // The panel's details are read as the dialog opens; no panel answers here.
        auto *panelInfo = update.findChild<QLabel *>(QStringLiteral("label_panelInfo"));
        const QString reading = panelInfo->text();
        QTRY_VERIFY_WITH_TIMEOUT(panelInfo->text() != reading, 20000);
        Penetration_setDlg passThrough(devices);
        passThrough.setIMEI(QStringLiteral("860000000000001"));
        passThrough.show();
        QSettings ini(QStringLiteral("User.ini"), QSettings::IniFormat);
        ServerSettingsDlg server(ini, &signIn);
        server.show();
        const QList<QWidget *> windows{&signIn, devices, &update, &passThrough, &server};

        auto *box = signIn.findChild<QComboBox *>(QStringLiteral("cmb_language"));
        QVERIFY(box);
        QCOMPARE(box->currentData().toString(), QStringLiteral("zh"));
        QStringList chinese;
        for (QWidget *w : windows)
            chinese << visibleTexts(w);
        QVERIFY(hasCjk(chinese.join(QString())));

        choose(box, QStringLiteral("en"));
        QCOMPARE(Language::fromSettings(QStringLiteral("User.ini")), QStringLiteral("en"));
        // Saving the accounts keeps the choice.
        signIn.saveUserInfo();
        QCOMPARE(Language::fromSettings(QStringLiteral("User.ini")), QStringLiteral("en"));
        for (QWidget *w : windows) {
            for (const QString &text : visibleTexts(w))
                QVERIFY2(!hasCjk(text), qPrintable(text));
            const QStringList tight = clipped(w);
            QVERIFY2(tight.isEmpty(), qPrintable(tight.join(QStringLiteral("; "))));
        }
        // A message of a dialog, and the toolkit's button, in English too.
        {
            MessageBoxCloser closer;
            QTest::mouseClick(update.findChild<QPushButton *>(QStringLiteral("pbtn_run")),
                              Qt::LeftButton);
            QCOMPARE(closer.seen.size(), 1);
            QVERIFY2(!hasCjk(closer.seen.first()), qPrintable(closer.seen.first()));
        }

        choose(box, QStringLiteral("zh"));
        QCOMPARE(Language::fromSettings(QStringLiteral("User.ini")), QStringLiteral("zh"));
        QStringList again;
        for (QWidget *w : windows)
            again << visibleTexts(w);
        QCOMPARE(again, chinese);
    }
    QDir::setCurrent(oldCwd);
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
