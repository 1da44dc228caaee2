#ifndef FLEETOUTPUT_H
#define FLEETOUTPUT_H

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdio>

#include "panelevent.h"
#include "terminalformat.h"

// Writes the events of a run to standard output in one of three forms: JSON Lines;
// on a terminal, one live line per running panel redrawn in place, the results above
// them; otherwise plain lines (every text and result, no progress, no control
// characters). The summary table is written by summary() (not in JSON).
class FleetOutput : public QObject
{
    Q_OBJECT

public:
    enum class Mode { Json, Terminal, Plain };

    // Json with --json, Terminal when standard output is a terminal, else Plain.
    static Mode modeFor(bool json);

    explicit FleetOutput(Mode mode, std::FILE *out = stdout, QObject *parent = nullptr);

    void show(const PanelEvent &e);
    // The live lines go; the table is written (not in JSON).
    void summary(const QVector<TerminalFormat::Row> &rows);

private:
    struct Live
    {
        QElapsedTimer clock;
        qint64 done = 0;
        qint64 total = 0;
        QString text;
    };

    void write(const QByteArray &bytes);
    void redraw();
    void clearLive();
    // Columns and rows of the terminal (80 x 24 when it does not tell).
    static void terminalSize(int *width, int *rows);

    Mode m_mode;
    std::FILE *m_out;
    QStringList m_order;          // running panels, in start order
    QHash<QString, Live> m_live;
    QStringList m_pending;        // lines to write above the live lines
    int m_drawn = 0;              // live lines on the screen
    QTimer m_redraw;
};

#endif // FLEETOUTPUT_H
