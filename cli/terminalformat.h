#ifndef TERMINALFORMAT_H
#define TERMINALFORMAT_H

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// The texts of the human-readable output: the live line of a running panel, the
// summary table at the end, and the sizes and times in them. Pure; no control
// characters in anything made here.
namespace TerminalFormat {

// "512 B", "1.5 KiB", "12.0 MiB", "1.2 GiB".
QString bytes(qint64 n);
// "12.3 s" under a minute, then "m:ss", and "h:mm:ss" from an hour on.
QString duration(qint64 ms);
// Columns a text takes on a terminal: East Asian wide characters take two.
int displayWidth(const QString &text);
// text cut to at most width columns.
QString fitted(const QString &text, int width);

// text with every control character (a line break, an escape) made a space.
QString printable(const QString &text);

// A text of a download that only tells how far a file is (name + ":done/total").
bool isProgressText(const QString &text);

// One running panel: "<panel> [#####-----]  52%  1.0 MiB/2.0 MiB  340.0 KiB/s  0:03 left
// <text>", at most width columns. total 0: no bar, only the text.
QString liveLine(const QString &panel, qint64 done, qint64 total, qint64 elapsedMs,
                 const QString &text, int width);

struct Row
{
    QString panel;
    QString result;
    QString text;
    qint64 ms = -1;   // -1: not run
};
// The rows under the header "panel result text time", columns aligned.
QString summary(const QVector<Row> &rows);

} // namespace TerminalFormat

#endif // TERMINALFORMAT_H
