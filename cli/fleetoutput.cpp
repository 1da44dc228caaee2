#include "fleetoutput.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "jsonlines.h"

namespace {
constexpr int kRedrawMs = 100;
} // namespace

FleetOutput::Mode FleetOutput::modeFor(bool json)
{
    if (json)
        return Mode::Json;
    return ::isatty(STDOUT_FILENO) ? Mode::Terminal : Mode::Plain;
}

FleetOutput::FleetOutput(Mode mode, std::FILE *out, QObject *parent)
    : QObject(parent), m_mode(mode), m_out(out)
{
    m_redraw.setInterval(kRedrawMs);
    m_redraw.setSingleShot(true);
    connect(&m_redraw, &QTimer::timeout, this, &FleetOutput::redraw);
}

void FleetOutput::terminalSize(int *width, int *rows)
{
    winsize ws = {};
    const bool told = ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0;
    *width = told && ws.ws_col > 20 ? ws.ws_col - 1 : 79;
    *rows = told && ws.ws_row > 4 ? ws.ws_row : 24;
}

void FleetOutput::write(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

void FleetOutput::show(const PanelEvent &e)
{
    if (m_mode == Mode::Json) {
        write(JsonLines::event(e));
        return;
    }
    const bool progress = e.phase == QLatin1String("progress");
    const bool step = e.phase == QLatin1String("step");
    const bool start = e.phase == QLatin1String("start");
    if (m_mode == Mode::Plain) {
        if (progress || start)
            return;
        const QString line = step ? QStringLiteral("%1: %2").arg(e.panel, e.text)
                                  : QStringLiteral("%1: %2 %3").arg(e.panel, e.phase, e.text);
        write(TerminalFormat::printable(line.trimmed()).toUtf8() + '\n');
        return;
    }
    if (start) {
        m_order << e.panel;
        m_live[e.panel].clock.start();
    } else if (progress) {
        Live &l = m_live[e.panel];
        l.done = e.bytes;
        l.total = e.total;
    } else if (step) {
        m_live[e.panel].text = e.text;
    } else {
        m_order.removeAll(e.panel);
        m_live.remove(e.panel);
        m_pending << QStringLiteral("%1 %2 %3").arg(e.panel, e.phase, e.text).trimmed();
        redraw();
        return;
    }
    if (!m_redraw.isActive())
        m_redraw.start();
}

void FleetOutput::clearLive()
{
    if (m_drawn > 0)
        write(QByteArray("\x1b[") + QByteArray::number(m_drawn) + "A\r\x1b[J");
    m_drawn = 0;
}

void FleetOutput::redraw()
{
    m_redraw.stop();
    int width = 0, rows = 0;
    terminalSize(&width, &rows);
    clearLive();
    QByteArray out;
    for (const QString &line : m_pending)
        out += TerminalFormat::fitted(TerminalFormat::printable(line), width).toUtf8() + '\n';
    m_pending.clear();
    // The live lines stay on the screen (the cursor cannot go back above its top): those
    // that do not fit are counted in a last line.
    const int shown = m_order.size() <= rows - 2 ? m_order.size() : rows - 3;
    for (int i = 0; i < shown; ++i) {
        const QString &panel = m_order.at(i);
        const Live &l = m_live.value(panel);
        out += TerminalFormat::liveLine(panel, l.done, l.total, l.clock.elapsed(), l.text, width)
                   .toUtf8()
               + '\n';
    }
    m_drawn = shown;
    if (shown < m_order.size()) {
        out += QStringLiteral("... %1 more running\n").arg(m_order.size() - shown).toUtf8();
        ++m_drawn;
    }
    write(out);
}

void FleetOutput::summary(const QVector<TerminalFormat::Row> &rows)
{
    if (m_mode == Mode::Json)
        return;
    if (m_mode == Mode::Terminal) {
        m_order.clear();
        redraw();
    }
    write('\n' + TerminalFormat::summary(rows).toUtf8());
}
