#include <QtTest>

#include "builddate.h"
#include "managerdevlist.h"

class TestVersionString : public QObject
{
    Q_OBJECT

private slots:
    void versionText_data();
    void versionText();
    void versionStringIsTodaysBuild();
};

void TestVersionString::versionText_data()
{
    QTest::addColumn<QString>("buildDate");
    QTest::addColumn<QString>("version");
    QTest::newRow("Dec 11 2024") << "Dec 11 2024" << "2024-12-11";
    QTest::newRow("single-digit day, blank padded") << "Jan  5 2025" << "2025-01-05";
    const char *months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; ++m) {
        const QString date = QStringLiteral("%1 28 2023").arg(QLatin1String(months[m]));
        QTest::newRow(qPrintable(date)) << date
                                        << QStringLiteral("2023-%1-28").arg(m + 1, 2, 10, QLatin1Char('0'));
    }
    QTest::newRow("unknown month") << "Foo 11 2024" << "2024-00-11";
    QTest::newRow("month in other case") << "dec 11 2024" << "2024-00-11";
    QTest::newRow("day modulo 100") << "Mar 123 024" << "24-03-23";
    QTest::newRow("empty") << "" << "0-00-00";
}

void TestVersionString::versionText()
{
    QFETCH(QString, buildDate);
    QFETCH(QString, version);
    QCOMPARE(BuildDate::versionText(buildDate), version);
}

void TestVersionString::versionStringIsTodaysBuild()
{
    // The window's version comes from the compiler's date of the build, which is not
    // in the future and has the yyyy-mm-dd shape.
    const QString v = ManagerDevList::versionString();
    const QDate d = QDate::fromString(v, QStringLiteral("yyyy-MM-dd"));
    QVERIFY2(d.isValid(), qPrintable(v));
    QVERIFY(d <= QDate::currentDate().addDays(1));
    QVERIFY(d.year() >= 2024);
}

QTEST_APPLESS_MAIN(TestVersionString)
#include "tst_versionstring.moc"
