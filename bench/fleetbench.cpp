// vantelo-cli rolling a project out to a fleet: 20 panels behind an emulated round trip
// (the panels' reply delay), all at once (--parallel 20), against one panel alone. Prints
// the wall times and their ratio (the goal: the fleet costs the time of one panel), and
// the peak memory and CPU time of each vantelo-cli run.
//
//   vantelo-bench-fleet [--panels 20] [--rtt 50] [--kib 64] [--frame 4096]
//   vantelo-bench-fleet --smoke      4 panels, a small project
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include "benchfigures.h"
#include "benchlab.h"

namespace {

void print(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString imei(int i)
{
    return QStringLiteral("8640000000%1").arg(i, 5, 10, QLatin1Char('0'));
}

// A project for model 70, WIFI, module 2, version 0x0102, of about kib KiB.
bool writeProject(const QString &path, int kib)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    const QByteArray record = QByteArray::fromHex("460002020201000000") + QByteArray(165, '\0');
    const QList<QPair<QString, QByteArray>> entries{
        {QStringLiteral("modelData.bin"), record},
        {QStringLiteral("SysPara.dat"), BenchFigures::noise(4096, 1)},
        {QStringLiteral("ControlPara.dat"), BenchFigures::noise(1024, 2)},
        {QStringLiteral("SheetPara.dat"), BenchFigures::noise(512, 3)},
        {QStringLiteral("AlarmPara.dat"), BenchFigures::noise(64, 4)},
        {QStringLiteral("SheetPixel.dat"), BenchFigures::noise(qint64(qMax(1, kib - 6)) * 1024, 5)},
    };
    for (const auto &e : entries) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(e.first)) || file.write(e.second) != e.second.size())
            return false;
        file.close();
    }
    zip.close();
    return zip.getZipError() == 0;
}

struct Figures
{
    bool ok = false;
    qint64 wallMs = 0;
    qint64 cpuMs = 0;
    long peakKiB = 0;
    QString tail;
};

qint64 childCpuMs()
{
    rusage u = {};
    getrusage(RUSAGE_CHILDREN, &u);
    return (qint64(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000
           + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

// One vantelo-cli run to completion. Peak memory: the largest resident size of any
// child waited for so far (the lab's processes are still running, so: the runs').
Figures run(const QStringList &args, const QString &dir)
{
    Figures f;
    QProcess p;
    p.setWorkingDirectory(dir);
    const qint64 cpuBefore = childCpuMs();
    QElapsedTimer clock;
    clock.start();
    p.start(BenchLab::binDir() + QStringLiteral("/vantelo-cli"), args);
    p.waitForFinished(600000);
    f.wallMs = clock.elapsed();
    f.cpuMs = childCpuMs() - cpuBefore;
    rusage u = {};
    getrusage(RUSAGE_CHILDREN, &u);
    f.peakKiB = u.ru_maxrss;
    f.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    f.tail = QString::fromUtf8(p.readAllStandardOutput()).right(600)
             + QString::fromUtf8(p.readAllStandardError()).right(600);
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption panelsOpt(QStringLiteral("panels"), QStringLiteral("Panels."), QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption rttOpt(QStringLiteral("rtt"), QStringLiteral("Round trip in ms."), QStringLiteral("MS"), QStringLiteral("50"));
    const QCommandLineOption kibOpt(QStringLiteral("kib"), QStringLiteral("Project size in KiB."), QStringLiteral("KIB"), QStringLiteral("64"));
    const QCommandLineOption frameOpt(QStringLiteral("frame"), QStringLiteral("Frame size."), QStringLiteral("BYTES"), QStringLiteral("4096"));
    const QCommandLineOption smokeOpt(QStringLiteral("smoke"), QStringLiteral("4 panels, a small project."));
    parser.addOptions({panelsOpt, rttOpt, kibOpt, frameOpt, smokeOpt});
    parser.process(app);
    const bool smoke = parser.isSet(smokeOpt);
    const int panels = smoke ? 4 : parser.value(panelsOpt).toInt();
    const int rtt = parser.value(rttOpt).toInt();
    const int kib = smoke ? 16 : parser.value(kibOpt).toInt();
    const QString frame = parser.value(frameOpt);

    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("compile.zip"));
    if (!dir.isValid() || !writeProject(archive, kib)) {
        print(QStringLiteral("cannot write the project"));
        return 1;
    }
    QJsonArray labPanels, listed;
    QByteArray fleet;
    for (int i = 1; i <= panels; ++i) {
        labPanels << QJsonObject{{"imei", imei(i)}, {"model", 70}, {"comm", 2}, {"module", 2},
                                 {"version", 0x0102}, {"faults", QJsonObject{{"replyDelayMs", rtt}}}};
        listed << QJsonObject{{"imei", imei(i)}, {"status", QStringLiteral("在线")}};
        fleet += imei(i).toLatin1() + '\n';
    }
    BenchLab lab;
    if (!lab.start(labPanels)
        || !lab.startCloud(QJsonArray{QJsonObject{{"account", "fleet"}, {"password", "pw"}, {"panels", listed}}})) {
        print(lab.error());
        return 1;
    }
    QFile ini(dir.filePath(QStringLiteral("User.ini")));
    QFile from(dir.filePath(QStringLiteral("fleet.txt")));
    if (!ini.open(QIODevice::WriteOnly) || !from.open(QIODevice::WriteOnly)) {
        print(QStringLiteral("cannot write the settings"));
        return 1;
    }
    ini.write("[Domain]\nname=" + lab.cloudUrl().toUtf8() + "\n");
    ini.close();
    from.write(fleet);
    from.close();
    qputenv("VANTELO_PASSWORD", "pw");

    print(BenchFigures::machine());
    print(QStringLiteral("project %1 KiB, frame %2 bytes, round trip %3 ms (the panels' reply delay)")
              .arg(kib).arg(frame).arg(rtt));
    const QStringList common{QStringLiteral("project"), archive, QStringLiteral("--account"), QStringLiteral("fleet"),
                             QStringLiteral("--frame"), frame};
    const Figures one = run(common + QStringList{imei(1), QStringLiteral("--parallel"), QStringLiteral("1")}, dir.path());
    const Figures all = run(common + QStringList{QStringLiteral("--from"), from.fileName(), QStringLiteral("--parallel"),
                                                 QString::number(panels)},
                            dir.path());
    for (const auto &row : {qMakePair(1, one), qMakePair(panels, all)}) {
        print(QStringLiteral("%1 panel(s): wall %2 ms, CPU %3 ms, peak resident %4 MiB%5")
                  .arg(row.first, 2).arg(row.second.wallMs, 6).arg(row.second.cpuMs, 5)
                  .arg(BenchFigures::num(row.second.peakKiB / 1024.0))
                  .arg(row.second.ok ? QString() : QStringLiteral("  FAILED:\n") + row.second.tail));
    }
    if (!one.ok || !all.ok)
        return 1;
    print(QStringLiteral("fleet / one panel: %1 x wall time").arg(BenchFigures::num(double(all.wallMs) / one.wallMs)));
    return 0;
}
