#include "benchlab.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

BenchLab::BenchLab()
{
    m_relay.setProcessChannelMode(QProcess::SeparateChannels);
    m_panel.setProcessChannelMode(QProcess::SeparateChannels);
    m_cloud.setProcessChannelMode(QProcess::SeparateChannels);
}

BenchLab::~BenchLab()
{
    stop();
}

QString BenchLab::binDir()
{
    return QCoreApplication::applicationDirPath();
}

bool BenchLab::start(const QJsonArray &panels)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString config = m_dir.filePath(QStringLiteral("lab.json"));
    const QJsonObject relay{{QStringLiteral("port"), 0}};
    if (!writeConfig(config, QJsonObject{{QStringLiteral("relay"), relay},
                                         {QStringLiteral("panels"), panels}}))
        return false;

    QJsonObject ready;
    if (!startProcess(&m_relay, QStringLiteral("lab-relay"),
                      {QStringLiteral("--config"), config, QStringLiteral("--port"), QStringLiteral("0"),
                       QStringLiteral("--events"), m_dir.filePath(QStringLiteral("relay.jsonl"))},
                      &ready))
        return false;
    m_relayPort = quint16(ready.value(QStringLiteral("port")).toInt());
    if (!startProcess(&m_panel, QStringLiteral("lab-panel"),
                      {QStringLiteral("--config"), config, QStringLiteral("--relay-port"),
                       QString::number(m_relayPort), QStringLiteral("--out"),
                       m_dir.filePath(QStringLiteral("out")), QStringLiteral("--events"),
                       m_dir.filePath(QStringLiteral("panel.jsonl"))},
                      &ready))
        return false;
    qputenv("VANTELO_RELAY_HOST", "127.0.0.1");
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(m_relayPort));
    return true;
}

bool BenchLab::writeConfig(const QString &path, const QJsonObject &config)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(config).toJson()) <= 0) {
        m_error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool BenchLab::startCloud(const QJsonArray &accounts)
{
    const QString config = m_dir.filePath(QStringLiteral("cloud.json"));
    if (!writeConfig(config, QJsonObject{{QStringLiteral("cloud"),
                                          QJsonObject{{QStringLiteral("accounts"), accounts}}}}))
        return false;
    QJsonObject ready;
    if (!startProcess(&m_cloud, QStringLiteral("lab-cloud"),
                      {QStringLiteral("--config"), config, QStringLiteral("--port"), QStringLiteral("0"),
                       QStringLiteral("--events"), m_dir.filePath(QStringLiteral("cloud.jsonl")),
                       QStringLiteral("--store"), m_dir.filePath(QStringLiteral("store"))},
                      &ready))
        return false;
    m_cloudUrl = QStringLiteral("http://127.0.0.1:%1").arg(ready.value(QStringLiteral("port")).toInt());
    return true;
}

bool BenchLab::startProcess(QProcess *process, const QString &program, const QStringList &args,
                            QJsonObject *ready)
{
    process->start(binDir() + QLatin1Char('/') + program, args);
    if (!process->waitForStarted(5000)) {
        m_error = QStringLiteral("%1 does not start: %2").arg(program, process->errorString());
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!process->canReadLine())
            process->waitForReadyRead(100);
        while (process->canReadLine()) {
            const QJsonObject line = QJsonDocument::fromJson(process->readLine().trimmed()).object();
            if (line.value(QStringLiteral("ready")).toBool()) {
                *ready = line;
                return true;
            }
        }
        if (process->state() == QProcess::NotRunning)
            break;
    }
    m_error = QStringLiteral("%1 not ready: %2")
                  .arg(program, QString::fromLocal8Bit(process->readAllStandardError()));
    return false;
}

void BenchLab::stop()
{
    for (QProcess *p : {&m_panel, &m_relay, &m_cloud}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
}
