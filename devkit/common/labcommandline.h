#ifndef LABCOMMANDLINE_H
#define LABCOMMANDLINE_H

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonObject>
#include <QList>
#include <QString>

class LabEventLog;

// The command line of a lab program: --config FILE (required), --events FILE and
// --check besides the program's own options. Messages go to stderr as "<program>: ...".
class LabCommandLine
{
public:
    // Also names the application.
    LabCommandLine(const QString &program, const QString &description, const QString &checkHelp);

    const QCommandLineOption config;
    const QCommandLineOption events;
    const QCommandLineOption check;

    // Parses the application's arguments, offering the options in the given order. Exits
    // on --help and on unknown options.
    void process(const QList<QCommandLineOption> &options);
    bool isSet(const QCommandLineOption &option) const { return m_parser.isSet(option); }
    QString value(const QCommandLineOption &option) const { return m_parser.value(option); }

    // Reads the --config file. False, with the reason printed, when it is not given or
    // cannot be read.
    bool loadConfig(QJsonObject *config) const;
    // When the option is given, its value as a port from `lowest` to 65535 into *port.
    // False, with the reason printed, when the value is not such a port.
    bool portOption(const QCommandLineOption &option, int lowest, int *port) const;
    // Opens the --events file, or `fallback` when the option is not given (empty: stderr).
    // False, with the reason printed, when it cannot be opened.
    bool openEvents(LabEventLog *log, const QString &fallback) const;

    void warn(const QString &text) const;
    // The ready line on stdout: the JSON object in one line.
    static void printReady(const QJsonObject &ready);

private:
    QString m_program;
    QCommandLineParser m_parser;
};

#endif // LABCOMMANDLINE_H
