#include "labprocess.h"

#include "testfiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QtTest>

LabProcess::LabProcess(const QString &program) : m_program(program)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

LabProcess::~LabProcess()
{
    stop();
}

QString LabProcess::binDir()
{
    const QByteArray env = qgetenv("VANTELO_BIN_DIR");
    return env.isEmpty() ? QStringLiteral(VANTELO_BIN_DIR) : QString::fromLocal8Bit(env);
}

QString LabProcess::programPath(const QString &program)
{
    return QDir(binDir()).filePath(program);
}

bool LabProcess::start(const QStringList &args, int timeoutMs)
{
    m_ready = QJsonObject();
    m_process.start(programPath(m_program), args);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    QDeadlineTimer deadline(timeoutMs);
    QByteArray pending;
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine())
            m_process.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(100, deadline.remainingTime()))));
        m_stderr += m_process.readAllStandardError();
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            const QJsonObject obj = QJsonDocument::fromJson(line).object();
            if (obj.value(QStringLiteral("ready")).toBool()) {
                m_ready = obj;
                return true;
            }
        }
        if (m_process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

void LabProcess::stop()
{
    stopProcess(m_process);
}

bool LabProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

quint16 LabProcess::port() const
{
    return quint16(m_ready.value(QStringLiteral("port")).toInt());
}

QString LabProcess::diagnostics()
{
    m_stderr += m_process.readAllStandardError();
    return QString::fromUtf8(m_stderr);
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

qint64 residentKiB(qint64 pid)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool residentSizeTellsUse()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return false;
#else
    return true;
#endif
}

quint16 freeLoopbackPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

QList<QJsonObject> readEventLines(const QString &path)
{
    QList<QJsonObject> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            lines.append(doc.object());
    }
    return lines;
}

// Strings compare as text; numbers and booleans as JSON values (their text is empty).
static bool holds(const QJsonObject &line, const QJsonObject &fields)
{
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const QJsonValue v = line.value(it.key());
        if (it.value().isString() ? v.toString() != it.value().toString() : v != it.value())
            return false;
    }
    return true;
}

QList<QJsonObject> linesWith(const QList<QJsonObject> &lines, const QJsonObject &fields)
{
    QList<QJsonObject> out;
    for (const QJsonObject &l : lines)
        if (holds(l, fields))
            out.append(l);
    return out;
}

QList<QJsonObject> waitForLinesWith(const QString &path, const QJsonObject &fields, int n, int timeoutMs)
{
    const auto match = [&](const QJsonObject &l) { return holds(l, fields); };
    return linesWith(waitForEventLines(path, n, match, timeoutMs), fields);
}

void verifyCheckOption(const QString &program, const QString &dir)
{
    QFETCH(QJsonObject, config);
    QFETCH(int, exitCode);
    const QString path = QDir(dir).filePath(QStringLiteral("check.json"));
    QVERIFY(TestFiles::writeJson(path, config));
    QCOMPARE(QProcess::execute(LabProcess::programPath(program), {"--config", path, "--check"}), exitCode);
}
