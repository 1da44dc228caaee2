#include "relaylab.h"

#include "testfiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

bool RelayLab::start(const QJsonArray &panels, const QJsonObject &relayFaults, const QStringList &only)
{
    if (!m_dir.isValid()) {
        m_failure = QStringLiteral("no temporary folder");
        return false;
    }
    QJsonObject relay{{"port", 0}, {"faults", relayFaults}};
    const QJsonObject config{{"relay", relay}, {"panels", panels}};
    if (!TestFiles::writeJson(configPath(), config)) {
        m_failure = QStringLiteral("cannot write ") + configPath();
        return false;
    }
    if (!m_relay.start({"--config", configPath(), "--port", "0", "--events", relayEvents()})) {
        m_failure = QStringLiteral("relay: ") + m_relay.diagnostics();
        return false;
    }
    if (!startPanels(m_panel, panelEvents(), only))
        return false;
    qputenv("VANTELO_RELAY_HOST", "127.0.0.1");
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(m_relay.port()));
    return true;
}

bool RelayLab::startPanels(LabProcess &process, const QString &events, const QStringList &only)
{
    QStringList args{"--config", configPath(), "--relay-port", QString::number(m_relay.port()),
                     "--out", outDir(), "--events", events};
    if (!only.isEmpty())
        args << "--only" << only.join(',');
    if (!process.start(args)) {
        m_failure = QStringLiteral("panel: ") + process.diagnostics();
        return false;
    }
    return true;
}

void RelayLab::stop()
{
    m_panel.stop();
    m_relay.stop();
}

QString RelayLab::stored(const QString &imei, int code) const
{
    return QStringLiteral("%1/%2/%3.bin").arg(outDir(), imei).arg(code);
}

QList<QJsonObject> RelayLab::panelLines(const QString &imei, int from) const
{
    return filtered(readEventLines(panelEvents()).mid(from), imei);
}

QList<QJsonObject> RelayLab::waitPanelEvent(const QString &imei, const QString &event, int from,
                                            int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QList<QJsonObject> lines = panelLines(imei, from);
        for (const QJsonObject &l : lines)
            if (l.value("event").toString() == event)
                return lines;
        if (deadline.hasExpired())
            return lines;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

QList<QJsonObject> RelayLab::filtered(const QList<QJsonObject> &lines, const QString &imei)
{
    return linesWith(lines, {{"imei", imei}});
}

QList<QJsonObject> RelayLab::events(const QList<QJsonObject> &lines, const QString &name)
{
    return linesWith(lines, {{"event", name}});
}

QJsonObject labPanel(const QString &imei, int model, int comm, int module, int version, const QJsonObject &faults)
{
    QJsonObject p{{"imei", imei}, {"model", model}, {"comm", comm}, {"module", module},
                  {"version", version}};
    if (!faults.isEmpty())
        p.insert("faults", faults);
    return p;
}
