#include <QtTest>

#include <QSettings>
#include <QTemporaryDir>

#include "language.h"

class TestLanguageSetting : public QObject
{
    Q_OBJECT
private slots:
    void fromSettings_data();
    void fromSettings();
    void install();
};

void TestLanguageSetting::fromSettings_data()
{
    QTest::addColumn<QByteArray>("ini");   // null: no file
    QTest::addColumn<QString>("expected");
    QTest::newRow("no file") << QByteArray() << "zh";
    QTest::newRow("no group") << QByteArray("[Domain]\nname=http://x\n") << "zh";
    QTest::newRow("english") << QByteArray("[Language]\nui=en\n") << "en";
    QTest::newRow("chinese") << QByteArray("[Language]\nui=zh\n") << "zh";
    QTest::newRow("spaces") << QByteArray("[Language]\nui= en \n") << "en";
    QTest::newRow("unknown") << QByteArray("[Language]\nui=fr\n") << "zh";
    QTest::newRow("capitals") << QByteArray("[Language]\nui=EN\n") << "en";
    QTest::newRow("list") << QByteArray("[Language]\nui=en, zh\n") << "zh";
    QTest::newRow("other key") << QByteArray("[Language]\nlang=en\n") << "zh";
}

void TestLanguageSetting::fromSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("User.ini"));
    if (!ini.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }
    QCOMPARE(Language::fromSettings(path), expected);
}

void TestLanguageSetting::install()
{
    const char *const source = "登录";
    // Nothing beside the test program: English cannot be shown, the texts stay Chinese.
    QVERIFY(!Language::install(QStringLiteral("en")));
    QCOMPARE(Language::current(), QStringLiteral("zh"));
    QCOMPARE(QCoreApplication::translate("Vantelo", source), QString::fromUtf8(source));

    Language::addSearchPath(QStringLiteral(VANTELO_BIN_DIR "/translations"));
    QVERIFY(Language::install(QStringLiteral("en")));
    QCOMPARE(Language::current(), QStringLiteral("en"));
    const QString english = QCoreApplication::translate("Vantelo", source);
    QVERIFY(!english.isEmpty() && english != QString::fromUtf8(source));

    QVERIFY(!Language::install(QStringLiteral("fr")));
    QCOMPARE(Language::current(), QStringLiteral("en"));

    QVERIFY(Language::install(QStringLiteral("zh")));
    QCOMPARE(QCoreApplication::translate("Vantelo", source), QString::fromUtf8(source));
}

QTEST_GUILESS_MAIN(TestLanguageSetting)
#include "tst_languagesetting.moc"
