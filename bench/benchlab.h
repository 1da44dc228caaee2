#ifndef BENCHLAB_H
#define BENCHLAB_H

#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The relay and panels of the panel lab for a benchmark run: lab-relay on a free
// loopback port and lab-panel playing the given panels, each started from the
// program's own folder and awaited until it prints its ready line.
class BenchLab
{
public:
    BenchLab();
    ~BenchLab();

    BenchLab(const BenchLab &) = delete;
    BenchLab &operator=(const BenchLab &) = delete;

    // panels: the "panels" section of the lab config. Also points the program's relay
    // endpoint (VANTELO_RELAY_HOST/PORT) at the started relay.
    bool start(const QJsonArray &panels);
    // lab-cloud as well, serving accounts (the "accounts" section); its base URL after.
    bool startCloud(const QJsonArray &accounts);
    QString cloudUrl() const { return m_cloudUrl; }
    void stop();

    quint16 relayPort() const { return m_relayPort; }
    QString dir() const { return m_dir.path(); }
    QString error() const { return m_error; }

    // The folder of the running program, where the lab programs are built too.
    static QString binDir();

private:
    bool writeConfig(const QString &path, const QJsonObject &config);
    bool startProcess(QProcess *process, const QString &program, const QStringList &args,
                      QJsonObject *ready);

    QTemporaryDir m_dir;
    QProcess m_relay;
    QProcess m_panel;
    QProcess m_cloud;
    QString m_cloudUrl;
    quint16 m_relayPort = 0;
    QString m_error;
};

#endif // BENCHLAB_H
