#include "labcommandline.h"

#include "labconfig.h"
#include "labeventlog.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

LabCommandLine::LabCommandLine(const QString &program, const QString &description, const QString &checkHelp)
    : config(QStringLiteral("config"), QStringLiteral("Lab config (JSON)."), QStringLiteral("FILE")),
      events(QStringLiteral("events"), QStringLiteral("Event lines file."), QStringLiteral("FILE")),
      check(QStringLiteral("check"), checkHelp),
      m_program(program)
{
    QCoreApplication::setApplicationName(program);
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
}

void LabCommandLine::process(const QList<QCommandLineOption> &options)
{
    m_parser.addOptions(options);
    m_parser.process(QCoreApplication::arguments());
}

bool LabCommandLine::loadConfig(QJsonObject *configObject) const
{
    if (!m_parser.isSet(config)) {
        warn(QStringLiteral("--config FILE is required"));
        return false;
    }
    QString error;
    if (!LabConfig::load(m_parser.value(config), configObject, &error)) {
        warn(error);
        return false;
    }
    return true;
}

bool LabCommandLine::portOption(const QCommandLineOption &option, int lowest, int *port) const
{
    if (!m_parser.isSet(option))
        return true;
    bool ok = false;
    const int value = m_parser.value(option).toInt(&ok);
    if (!ok || value < lowest || value > 65535) {
        warn(QStringLiteral("bad --%1 %2").arg(option.names().first(), m_parser.value(option)));
        return false;
    }
    *port = value;
    return true;
}

bool LabCommandLine::openEvents(LabEventLog *log, const QString &fallback) const
{
    const QString path = m_parser.isSet(events) ? m_parser.value(events) : fallback;
    QString error;
    if (!log->open(path, &error)) {
        warn(QStringLiteral("cannot open events file %1: %2").arg(path, error));
        return false;
    }
    return true;
}

void LabCommandLine::warn(const QString &text) const
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(m_program), qPrintable(text));
}

void LabCommandLine::printReady(const QJsonObject &ready)
{
    std::printf("%s\n", QJsonDocument(ready).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}
