#ifndef CLIHELP_H
#define CLIHELP_H

#include <QString>

// The help of vantelo-cli, written once: text() is what --help prints, manPage() the
// same content as a man page (roff), which the build writes to vantelo-cli.1. Pure.
namespace CliHelp {

QString text();
// date: the date in the page's title line, e.g. "2026-12-08".
QString manPage(const QString &version, const QString &date);

} // namespace CliHelp

#endif // CLIHELP_H
