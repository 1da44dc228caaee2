#ifndef BUILDDATE_H
#define BUILDDATE_H

#include <QString>

// The program's version text, derived from the compiler's build-date text.
namespace BuildDate {

// "Mmm dd yyyy" (as __DATE__ writes it, e.g. "Dec 11 2024" or "Jan  5 2025") to
// "yyyy-mm-dd" with month and day zero-padded to two digits. An unknown month
// gives 00; the day is taken modulo 100; missing numbers count as 0.
QString versionText(const QString &buildDate);

} // namespace BuildDate

#endif // BUILDDATE_H
