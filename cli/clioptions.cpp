#include "clioptions.h"

#include <QHash>

namespace {

struct CommandName
{
    const char *name;
    CliOptions::Command command;
    bool takesFile;
};

const CommandName kCommands[] = {
    {"devices", CliOptions::Command::Devices, false},
    {"info", CliOptions::Command::Info, false},
    {"firmware", CliOptions::Command::Firmware, true},
    {"project", CliOptions::Command::Project, true},
    {"sync", CliOptions::Command::Sync, true},
};

bool wholeNumber(const QString &text, int lo, int hi, int *out)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < lo || n > hi)
        return false;
    *out = n;
    return true;
}

CliOptions failed(const QString &error)
{
    CliOptions o;
    o.error = error;
    return o;
}

} // namespace

bool CliOptions::takesPanels() const
{
    return command == Command::Info || command == Command::Firmware || command == Command::Project
           || command == Command::Sync;
}

CliOptions CliOptions::parse(const QStringList &args)
{
    CliOptions o;
    QStringList positional;
    bool takesFile = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            CliOptions help;
            help.command = Command::Help;
            return help;
        }
        if (arg == QLatin1String("--help-man")) {
            CliOptions man;
            man.command = Command::HelpMan;
            return man;
        }
        if (!arg.startsWith(QLatin1String("--")) || arg == QLatin1String("--")) {
            if (arg == QLatin1String("--"))
                positional += args.mid(i + 1);
            else
                positional << arg;
            if (arg == QLatin1String("--"))
                break;
            continue;
        }
        QString value;
        bool hasValue = false;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasValue = true;
        }
        static const QStringList flags = {"--all-online", "--password-stdin", "--json", "--font",
                                          "--use-name"};
        static const QStringList valued = {"--from", "--config", "--account", "--frame",
                                           "--parallel", "--lang"};
        if (flags.contains(arg)) {
            if (hasValue)
                return failed(QStringLiteral("%1 takes no value").arg(arg));
            if (arg == QLatin1String("--all-online"))
                o.allOnline = true;
            else if (arg == QLatin1String("--password-stdin"))
                o.passwordStdin = true;
            else if (arg == QLatin1String("--json"))
                o.json = true;
            else if (arg == QLatin1String("--font"))
                o.font = true;
            else
                o.useName = true;
            continue;
        }
        if (!valued.contains(arg))
            return failed(QStringLiteral("unknown option %1").arg(arg));
        if (!hasValue) {
            if (i + 1 >= args.size())
                return failed(QStringLiteral("%1 needs a value").arg(arg));
            value = args.at(++i);
        }
        if (arg == QLatin1String("--from"))
            o.fromFile = value;
        else if (arg == QLatin1String("--config"))
            o.config = value;
        else if (arg == QLatin1String("--account"))
            o.account = value;
        else if (arg == QLatin1String("--frame")) {
            if (!wholeNumber(value, 9, 65535, &o.frame))
                return failed(QStringLiteral("--frame must be a whole number from 9 to 65535"));
        } else if (arg == QLatin1String("--parallel")) {
            if (!wholeNumber(value, 1, kMaxParallel, &o.parallel))
                return failed(QStringLiteral("--parallel must be a whole number from 1 to %1")
                                  .arg(kMaxParallel));
        } else {
            if (value != QLatin1String("zh") && value != QLatin1String("en"))
                return failed(QStringLiteral("--lang must be zh or en"));
            o.lang = value;
        }
    }

    if (positional.isEmpty())
        return failed(QStringLiteral("no command given"));
    const QString name = positional.takeFirst();
    bool known = false;
    for (const CommandName &c : kCommands) {
        if (name == QLatin1String(c.name)) {
            o.command = c.command;
            takesFile = c.takesFile;
            known = true;
        }
    }
    if (!known)
        return failed(QStringLiteral("unknown command %1").arg(name));
    if (takesFile) {
        if (positional.isEmpty())
            return failed(QStringLiteral("%1 needs a file").arg(name));
        o.file = positional.takeFirst();
    }
    if (o.command == Command::Devices) {
        if (!positional.isEmpty() || o.allOnline || !o.fromFile.isEmpty())
            return failed(QStringLiteral("devices takes no panels"));
    } else {
        o.panels = positional;
        if (o.panels.isEmpty() && o.fromFile.isEmpty() && !o.allOnline)
            return failed(QStringLiteral("%1 needs panels: IMEIs, --from FILE or --all-online")
                              .arg(name));
    }
    if (o.font && o.command != Command::Project)
        return failed(QStringLiteral("--font is for project only"));
    if (o.useName && o.command != Command::Sync)
        return failed(QStringLiteral("--use-name is for sync only"));
    return o;
}
