#include "builddate.h"

#include <QStringList>

namespace BuildDate {

namespace {
// The number that starts at offset pos, after any blanks; 0 when there is none.
int numberAt(const QString &text, int pos)
{
    int i = pos;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    int value = 0;
    int digits = 0;
    while (i < text.size() && text.at(i).isDigit() && digits < 9) {
        value = value * 10 + text.at(i).digitValue();
        ++i;
        ++digits;
    }
    return value;
}
} // namespace

QString versionText(const QString &buildDate)
{
    static const QStringList months = {
        QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
        QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
        QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
        QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    const int month = months.indexOf(buildDate.left(3)) + 1;   // 0 when unknown
    const int day = numberAt(buildDate, 4) % 100;
    const int year = numberAt(buildDate, 7);
    return QStringLiteral("%1-%2-%3")
        .arg(year)
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

} // namespace BuildDate
