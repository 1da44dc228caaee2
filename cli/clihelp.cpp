#include "clihelp.h"

#include <QStringList>

namespace CliHelp {

namespace {

struct Item
{
    const char *term;
    const char *text;
};

const char kName[] = "vantelo-cli";
const char kSummary[] = "roll out firmware and projects to many HMI panels at once";

const char *const kSynopsis[] = {
    "vantelo-cli devices [OPTIONS]",
    "vantelo-cli info PANELS [OPTIONS]",
    "vantelo-cli firmware FILE.bin PANELS [OPTIONS]",
    "vantelo-cli project compile.zip PANELS [--font] [OPTIONS]",
    "vantelo-cli sync target.zip PANELS [--use-name] [OPTIONS]",
};

const char kDescription[] =
    "Signs in to the cloud service with the account of User.ini and works on the account's "
    "panels through the relay, with the same checks and texts as the program's update dialog. "
    "Each panel runs on a worker thread of its own with its own relay connection; at most "
    "--parallel panels run at a time. A project archive is unpacked and checked once, into a "
    "private temporary folder that the workers only read.";

const Item kCommands[] = {
    {"devices", "The account's panels with their online state."},
    {"info PANELS", "Model, communication type, module and project version of each panel."},
    {"firmware FILE.bin PANELS", "Firmware download of the image to each panel."},
    {"project compile.zip PANELS", "Project download of the compiled project to each panel; "
                                   "--font sends the font library too."},
    {"sync target.zip PANELS", "Cloud project sync of the project for each panel; --use-name "
                               "binds it by the project's name."},
};

const Item kPanels[] = {
    {"IMEI ...", "The panels named."},
    {"--from FILE", "The panels in FILE, one IMEI a line; empty lines and lines starting "
                    "with # are skipped."},
    {"--all-online", "Every panel of the account that is online."},
};

const Item kOptions[] = {
    {"--config FILE", "The settings file (default: User.ini of the working directory, as the "
                      "program)."},
    {"--account NAME", "The account (default: the account signed in last)."},
    {"--password-stdin", "Read the password from the first line of standard input."},
    {"--frame N", "Frame size in bytes of the downloads (default 512, more than 8)."},
    {"--parallel N", "Panels at a time (default 4)."},
    {"--json", "JSON Lines: one event a line with panel, phase, bytes and text."},
    {"--lang zh|en", "Language of the texts (default: the program's setting)."},
    {"--help", "This text."},
};

const char kPassword[] =
    "The password is never taken from the command line. It comes from standard input with "
    "--password-stdin, else from VANTELO_PASSWORD, else from the keychain entry that the "
    "program saved for the account, else from a prompt without echo when standard input is a "
    "terminal.";

const char kOutput[] =
    "On a terminal: one live line per running panel (bar, bytes, rate, time left) and a "
    "summary table at the end (panel, result, text, time). Otherwise, or with --json, no "
    "control characters are written. Results: succeeded, failed, stopped, offline, unknown; "
    "offline and unknown panels are reported and not attempted. Ctrl-C stops every worker and "
    "marks the unfinished panels stopped. JSON phases: start, step, progress, info, and the "
    "results.";

const Item kExit[] = {
    {"0", "Every panel succeeded."},
    {"1", "Some panels did not succeed; the others still ran."},
    {"2", "Usage error, an unusable file, or the sign-in failed."},
};

const char *const kExamples[] = {
    "vantelo-cli devices --account oem",
    "VANTELO_PASSWORD=... vantelo-cli project compile.zip --all-online --parallel 20",
    "vantelo-cli firmware panel.bin --from fleet.txt --json > rollout.jsonl",
};

QString wrap(const QString &text, int indent, int width = 78)
{
    QString out;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
            out += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        out += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
    return out;
}

template <size_t N>
QString items(const Item (&list)[N])
{
    QString out;
    for (const Item &i : list) {
        out += QStringLiteral("  ") + QLatin1String(i.term) + QLatin1Char('\n');
        out += wrap(QLatin1String(i.text), 6);
    }
    return out;
}

// roff: a backslash is doubled, a minus is "\-", a line starting with '.' or '\'' is
// escaped.
QString roff(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    out.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

template <size_t N>
QString manItems(const Item (&list)[N])
{
    QString out;
    for (const Item &i : list)
        out += QStringLiteral(".TP\n.B %1\n%2\n").arg(roff(QLatin1String(i.term)),
                                                      roff(QLatin1String(i.text)));
    return out;
}

} // namespace

QString text()
{
    QString out = QStringLiteral("%1 - %2\n\nUsage:\n").arg(QLatin1String(kName), QLatin1String(kSummary));
    for (const char *s : kSynopsis)
        out += QStringLiteral("  ") + QLatin1String(s) + QLatin1Char('\n');
    out += QLatin1Char('\n') + wrap(QLatin1String(kDescription), 0);
    out += QStringLiteral("\nCommands:\n") + items(kCommands);
    out += QStringLiteral("\nPanels:\n") + items(kPanels);
    out += QStringLiteral("\nOptions:\n") + items(kOptions);
    out += QStringLiteral("\nPassword:\n") + wrap(QLatin1String(kPassword), 2);
    out += QStringLiteral("\nOutput:\n") + wrap(QLatin1String(kOutput), 2);
    out += QStringLiteral("\nExit status:\n") + items(kExit);
    out += QStringLiteral("\nExamples:\n");
    for (const char *s : kExamples)
        out += QStringLiteral("  ") + QLatin1String(s) + QLatin1Char('\n');
    return out;
}

QString manPage(const QString &version, const QString &date)
{
    QString out = QStringLiteral(".TH VANTELO\\-CLI 1 \"%1\" \"Vantelo %2\" \"User Commands\"\n")
                      .arg(date, version);
    out += QStringLiteral(".SH NAME\n%1 \\- %2\n").arg(roff(QLatin1String(kName)), roff(QLatin1String(kSummary)));
    out += QStringLiteral(".SH SYNOPSIS\n");
    for (const char *s : kSynopsis)
        out += QStringLiteral(".B %1\n.br\n").arg(roff(QLatin1String(s)));
    out += QStringLiteral(".SH DESCRIPTION\n%1\n").arg(roff(QLatin1String(kDescription)));
    out += QStringLiteral(".SH COMMANDS\n") + manItems(kCommands);
    out += QStringLiteral(".SH PANELS\n") + manItems(kPanels);
    out += QStringLiteral(".SH OPTIONS\n") + manItems(kOptions);
    out += QStringLiteral(".SH PASSWORD\n%1\n").arg(roff(QLatin1String(kPassword)));
    out += QStringLiteral(".SH OUTPUT\n%1\n").arg(roff(QLatin1String(kOutput)));
    out += QStringLiteral(".SH EXIT STATUS\n") + manItems(kExit);
    out += QStringLiteral(".SH EXAMPLES\n.nf\n");
    for (const char *s : kExamples)
        out += roff(QLatin1String(s)) + QLatin1Char('\n');
    out += QStringLiteral(".fi\n");
    return out;
}

} // namespace CliHelp
