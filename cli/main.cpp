#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

#include "clihelp.h"
#include "clioptions.h"
#include "cloudclient.h"
#include "cloudendpoint.h"
#include "fleetoutput.h"
#include "fleetrun.h"
#include "interruptwatch.h"
#include "jsonlines.h"
#include "language.h"
#include "modelrecord.h"
#include "panellist.h"
#include "passwordsource.h"
#include "safeunzip.h"
#include "terminalformat.h"
#include "unpackfolders.h"
#include "updatestep.h"
#include "usersettings.h"

namespace {

constexpr int kExitSucceeded = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

int usageError(const QString &text)
{
    print(stderr, QStringLiteral("vantelo-cli: %1\n").arg(TerminalFormat::printable(text)));
    return kExitUsage;
}

QString guiText(const char *source)
{
    return QCoreApplication::translate("Vantelo", source);
}

// The sign-in of the program: the device-list query, judged as the sign-in window
// judges it. Empty on success, else the text of the failure.
QString signIn(const CloudEndpoint &cloud, const QString &account, const QString &password,
               QVector<DevInfo> *devices)
{
    CloudClient client;
    const CloudClient::DeviceList answer
        = client.deviceList(cloud, CloudClient::UrlForm::UserInput, account, password);
    if (!answer.reply.usable)
        return CloudRequest::failureText(answer.result);
    if (!answer.reply.hasCode || answer.reply.code != 200)
        return guiText("账号不存在或验证错误");
    *devices = answer.reply.devices;
    return QString();
}

void showDevices(const QVector<DevInfo> &devices, bool json)
{
    QByteArray out;
    for (const DevInfo &d : devices)
        out += json ? JsonLines::device(d)
                    : TerminalFormat::printable(QStringLiteral("%1  %2").arg(d.iMei, d.status)).toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

// The named panels: the arguments, then the lines of the --from file.
bool namedPanels(const CliOptions &o, QStringList *named, QString *error)
{
    *named = o.panels;
    if (o.fromFile.isEmpty())
        return true;
    QFile from(o.fromFile);
    if (!from.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(o.fromFile);
        return false;
    }
    if (from.size() > PanelList::kMaxFromBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(o.fromFile).arg(PanelList::kMaxFromBytes);
        return false;
    }
    *named += PanelList::fromFileContent(from.read(PanelList::kMaxFromBytes));
    return true;
}

// The project archive unpacked once into dir and its model record checked; the files
// and dir are then made read-only, so that no worker can change what the others read.
// Empty on success, else the project download's text.
QString unpackProject(const QString &archive, const QString &dir)
{
    const QString noRecord = QCoreApplication::translate("ProjectDownload", "组态文件没有型号以及版本参数");
    const SafeUnzip::Result unpacked = SafeUnzip::extractFile(archive, dir);
    if (unpacked.status != SafeUnzip::Status::Extracted)
        return UpdateStep::unpackFailureText(unpacked.status, noRecord);
    QFile modelFile(dir + QStringLiteral("/modelData.bin"));
    ModelRecord record;
    if (!modelFile.open(QIODevice::ReadOnly) || !ModelRecord::parse(modelFile.read(ModelRecord::kSize), &record))
        return noRecord;
    for (const QString &f : unpacked.files)
        QFile::setPermissions(f, QFileDevice::ReadOwner);
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return QString();
}

UpdateOperation operationOf(CliOptions::Command c)
{
    if (c == CliOptions::Command::Project)
        return UpdateOperation::Project;
    if (c == CliOptions::Command::Sync)
        return UpdateOperation::CloudSync;
    return UpdateOperation::Firmware;
}

} // namespace

int main(int argc, char *argv[])
{
    // Diagnostics stay off unless asked for (QT_LOGGING_RULES comes after these rules).
    QLoggingCategory::setFilterRules(QStringLiteral("vantelo.*.debug=false"));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantelo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTELO_VERSION));

    const CliOptions o = CliOptions::parse(app.arguments().mid(1));
    if (o.command == CliOptions::Command::Help) {
        print(stdout, CliHelp::text());
        return kExitSucceeded;
    }
    if (o.command == CliOptions::Command::HelpMan) {
        print(stdout, CliHelp::manPage(QStringLiteral(VANTELO_VERSION), QStringLiteral(VANTELO_MAN_DATE)));
        return kExitSucceeded;
    }
    if (!o.error.isEmpty()) {
        usageError(o.error);
        print(stderr, QStringLiteral("Try 'vantelo-cli --help'.\n"));
        return kExitUsage;
    }

    const QString ini = o.config.isEmpty() ? QStringLiteral("User.ini") : o.config;
    if (!o.config.isEmpty() && !QFile::exists(ini))
        return usageError(QStringLiteral("cannot read %1").arg(ini));
    QSettings settings(ini, QSettings::IniFormat);
    const UserSettings::Content c = UserSettings::read(settings);
    const QString lang = o.lang.isEmpty() ? Language::read(settings) : o.lang;
    if (!Language::install(lang) && lang != QLatin1String("zh"))
        print(stderr, QStringLiteral("vantelo-cli: no translation for %1 found; the texts stay Chinese\n").arg(lang));

    const QString account = o.account.isEmpty() ? c.sCurName : o.account;
    if (account.isEmpty())
        return usageError(guiText("账号不能为空"));
    const CloudEndpoint cloud(c.sBaseUrl, c.sCaFile, c.bInsecure);
    const QString password = PasswordSource::obtain(o.passwordStdin, cloud.baseUrl(), account);
    if (password.isEmpty())
        return usageError(guiText("密码不能为空"));

    QVector<DevInfo> devices;
    const QString signInError = signIn(cloud, account, password, &devices);
    if (!signInError.isEmpty())
        return usageError(signInError);
    if (o.command == CliOptions::Command::Devices) {
        showDevices(devices, o.json);
        return kExitSucceeded;
    }

    QStringList named;
    QString error;
    if (!namedPanels(o, &named, &error))
        return usageError(error);
    if (!o.file.isEmpty() && !QFile(o.file).open(QIODevice::ReadOnly))
        return usageError(QStringLiteral("cannot read %1").arg(o.file));

    // Private to the user (mode 0700) and removed at the end; beside the program while its
    // folder is writable, else under the per-user data folder, as the windows' unpack.
    const QString scratchParent = QFileInfo(UnpackFolders::forProgram(QStringLiteral("compile"))).path();
    QTemporaryDir scratch(scratchParent + QStringLiteral("/vantelo-cli-XXXXXX"));
    if (!scratch.isValid())
        return usageError(QStringLiteral("cannot make a temporary folder"));
    FleetRun::Job job;
    job.op = operationOf(o.command);
    job.info = o.command == CliOptions::Command::Info;
    job.file = o.file;
    job.frame = o.frame;
    job.font = o.font;
    job.useName = o.useName;
    job.scratchRoot = scratch.filePath(QStringLiteral("workers"));
    if (o.command == CliOptions::Command::Project) {
        job.unpackedProject = scratch.filePath(QStringLiteral("project"));
        const QString text = unpackProject(o.file, job.unpackedProject);
        if (!text.isEmpty())
            return usageError(QStringLiteral("%1: %2").arg(o.file, text));
    }

    FleetOutput output(FleetOutput::modeFor(o.json));
    const QVector<PanelList::Entry> entries = PanelList::resolve(named, o.allOnline, devices);
    QStringList attempt;
    QVector<TerminalFormat::Row> skipped;
    for (const PanelList::Entry &e : entries) {
        if (e.disposition == PanelList::Disposition::Attempt) {
            attempt << e.imei;
            continue;
        }
        const PanelResult::Result r = e.disposition == PanelList::Disposition::Offline
                                          ? PanelResult::Result::Offline
                                          : PanelResult::Result::Unknown;
        output.show(PanelEvent{e.imei, PanelResult::word(r), 0, 0, e.status});
        skipped << TerminalFormat::Row{e.imei, PanelResult::word(r), e.status, -1};
    }

    FleetRun run(job, account, password, cloud, o.parallel);
    InterruptWatch interrupt;
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &run, &FleetRun::stop);
    QObject::connect(&run, &FleetRun::event, &output, &FleetOutput::show);
    QObject::connect(&run, &FleetRun::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    run.start(attempt);
    if (!run.isFinished())
        app.exec();

    QVector<TerminalFormat::Row> rows = skipped;
    bool allSucceeded = skipped.isEmpty();
    for (const FleetRun::Outcome &out : run.outcomes()) {
        rows << TerminalFormat::Row{out.imei, PanelResult::word(out.result), out.text, out.ms};
        allSucceeded = allSucceeded && out.result == PanelResult::Result::Succeeded;
    }
    output.summary(rows);
    if (!job.unpackedProject.isEmpty())   // writable again, so that it can be removed
        QFile::setPermissions(job.unpackedProject, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                       | QFileDevice::ExeOwner);
    return allSucceeded ? kExitSucceeded : kExitFailed;
}
