#include "terminalformat.h"

#include <QRegularExpression>

namespace TerminalFormat {

namespace {
constexpr int kBarWidth = 20;

bool isWide(uint c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F)
           || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF)
           || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60)
           || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

QString padded(const QString &text, int width)
{
    return text + QString(qMax(0, width - displayWidth(text)), QLatin1Char(' '));
}
} // namespace

QString bytes(qint64 n)
{
    if (n < 1024)
        return QStringLiteral("%1 B").arg(n);
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double v = double(n) / 1024;
    int u = 0;
    while (v >= 1024 && u < 3) {
        v /= 1024;
        ++u;
    }
    return QStringLiteral("%1 %2").arg(v, 0, 'f', 1).arg(QLatin1String(units[u]));
}

QString duration(qint64 ms)
{
    ms = qMax<qint64>(0, ms);
    if (ms < 60000)
        return QStringLiteral("%1 s").arg(double(ms) / 1000, 0, 'f', 1);
    const qint64 s = ms / 1000;
    const QChar zero = QLatin1Char('0');
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, zero).arg(s % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, zero);
}

int displayWidth(const QString &text)
{
    int w = 0;
    for (uint c : text.toUcs4())
        w += isWide(c) ? 2 : 1;
    return w;
}

QString fitted(const QString &text, int width)
{
    QString out;
    int w = 0;
    for (uint c : text.toUcs4()) {
        const int cw = isWide(c) ? 2 : 1;
        if (w + cw > width)
            break;
        w += cw;
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

QString printable(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return out;
}

bool isProgressText(const QString &text)
{
    static const QRegularExpression progress(QStringLiteral(":\\d+/\\d+$"));
    return progress.match(text).hasMatch();
}

QString liveLine(const QString &panel, qint64 done, qint64 total, qint64 elapsedMs,
                 const QString &text, int width)
{
    QString line = printable(panel);
    if (total > 0) {
        done = qBound<qint64>(0, done, total);
        const int filled = int(done * kBarWidth / total);
        line += QStringLiteral(" [%1%2] %3%")
                    .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('-')))
                    .arg(int(done * 100 / total), 3);
        line += QStringLiteral("  %1/%2").arg(bytes(done), bytes(total));
        if (elapsedMs > 0 && done > 0) {
            const double rate = double(done) * 1000 / double(elapsedMs);
            line += QStringLiteral("  %1/s  %2 left")
                        .arg(bytes(qint64(rate)), duration(qint64(double(total - done) * 1000 / rate)));
        }
    }
    if (!text.isEmpty())
        line += QStringLiteral("  ") + printable(text);
    return fitted(line, width);
}

QString summary(const QVector<Row> &rows)
{
    const QStringList header = {QStringLiteral("panel"), QStringLiteral("result"),
                                QStringLiteral("text"), QStringLiteral("time")};
    QVector<QStringList> cells{header};
    for (const Row &r : rows)
        cells << QStringList{printable(r.panel), r.result, printable(r.text), r.ms < 0 ? QStringLiteral("-") : duration(r.ms)};
    int widths[3] = {0, 0, 0};
    for (const QStringList &c : cells)
        for (int i = 0; i < 3; ++i)
            widths[i] = qMax(widths[i], displayWidth(c.at(i)));
    QString out;
    for (const QStringList &c : cells) {
        for (int i = 0; i < 3; ++i)
            out += padded(c.at(i), widths[i]) + QStringLiteral("  ");
        out += c.at(3) + QLatin1Char('\n');
    }
    return out;
}

} // namespace TerminalFormat
