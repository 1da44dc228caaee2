#ifndef RELAYLAB_H
#define RELAYLAB_H

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "labprocess.h"

// The lab's relay and panels on a free loopback port, in a temporary folder of their
// own; the product is pointed at the relay through VANTELO_RELAY_HOST/PORT.
class RelayLab
{
public:
    // panels: the "panels" section; relayFaults: relay.faults. One lab-panel process plays
    // the panels, or only those listed in `only` when it is not empty. On failure, failure()
    // tells what did not start and why.
    bool start(const QJsonArray &panels, const QJsonObject &relayFaults = QJsonObject(),
               const QStringList &only = QStringList());
    // Another lab-panel process against the same relay, for the panels in `only`.
    bool startPanels(LabProcess &process, const QString &events, const QStringList &only = QStringList());
    void stop();
    QString failure() const { return m_failure; }

    QString dir() const { return m_dir.path(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString configPath() const { return path("lab.json"); }
    QString relayEvents() const { return path("relay.jsonl"); }
    QString panelEvents() const { return path("panel.jsonl"); }
    QString outDir() const { return path("out"); }
    QString stored(const QString &imei, int code) const;
    quint16 relayPort() const { return m_relay.port(); }
    const LabProcess &panelProcess() const { return m_panel; }

    // The panel's event lines for imei, from line number `from` of the file on.
    QList<QJsonObject> panelLines(const QString &imei, int from = 0) const;
    int panelLineCount() const { return readEventLines(panelEvents()).size(); }

    // Waits (bounded) for an event of that name for imei after line `from`.
    QList<QJsonObject> waitPanelEvent(const QString &imei, const QString &event, int from = 0,
                                      int timeoutMs = 5000) const;

    static QList<QJsonObject> filtered(const QList<QJsonObject> &lines, const QString &imei);
    static QList<QJsonObject> events(const QList<QJsonObject> &lines, const QString &name);

private:
    QTemporaryDir m_dir;
    LabProcess m_relay{QStringLiteral("lab-relay")};
    LabProcess m_panel{QStringLiteral("lab-panel")};
    QString m_failure;
};

// A panel of the "panels" section.
QJsonObject labPanel(const QString &imei, int model, int comm, int module, int version = 0x0102,
                     const QJsonObject &faults = QJsonObject());

#endif // RELAYLAB_H
