// Firmware download through lab-relay and lab-panel: throughput per frame size and
// emulated round trip beside the stop-and-wait bound, the tool's CPU time per frame,
// and the peak memory of one large download.
//
//   vantelo-bench-download [--sizes 1024,4096,8192,9000] [--rtts 0,20,50,100]
//                          [--image-mib 8] [--cap-seconds 4] [--runs 3]
//   vantelo-bench-download --memory 256    peak memory of a 256 MiB download (own process)
//   vantelo-bench-download --smoke         one small cell, a few seconds
//
// The round trip is emulated by the panel's reply delay (replyDelayMs): every answer of
// the panel is held back that long. At a round trip above 0 a cell sends at most
// cap-seconds worth of frames at the bound (the image is cut to that size), so that
// the whole matrix takes minutes, not hours. The worker runs on a thread of its own as
// the update dialog runs it; its start text and every progress report are timed on that
// thread. Beside it, in runs alternated with it, the minimal blocking C client
// (vantelo-bench-cdownload) downloads the same image through the same lab: the cost the
// worker is held to; and the same client once more, grown first to this process's
// resident memory, for machines where a wake costs more the more a process holds.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <cstdio>

#include "benchfigures.h"
#include "benchlab.h"
#include "downfileobj.h"
#include "relayframe.h"

namespace {

const QString kImageName = QStringLiteral("PLN080K01_WIFI02.bin"); // model 70, WIFI, module 2

struct Outcome
{
    bool finished = false;
    QString lastText;
    qint64 bytes = 0;
    qint64 startNs = -1, endNs = -1;       // "开始写入底层" .. last progress text
    qint64 cpuStartNs = 0, cpuEndNs = 0;   // worker thread CPU at the same moments
    // The CPU per frame of the frames between two progress reports (about 250 ms apart):
    // a host's hiccup stays in one interval instead of weighing on the whole download.
    QVector<double> intervalCpuUs;
    qint64 sampledBytes = 0, sampledCpuNs = 0;
};

void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

bool writeImage(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 block = 1 << 20;
    for (qint64 done = 0; done < size; done += block) {
        const QByteArray bytes = BenchFigures::noise(qMin(block, size - done), quint32(done / block + 7));
        if (f.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

// One firmware download by a DownFileOBJ on its own thread.
Outcome download(const QString &imei, const QString &path, int frameSize, int timeoutMs)
{
    const qint64 chunk = RelayFrame::chunkSize(frameSize);
    Outcome out;
    QMutex lock;
    QElapsedTimer clock;
    clock.start();

    QThread thread;
    auto *worker = new DownFileOBJ(imei, QString(), QString());
    worker->moveToThread(&thread);
    // On the worker's thread, right where the worker reports: the start from its text,
    // the last frame from the progress signal that always comes when the image is done.
    // Per frame the measuring costs no more than keeping the text.
    const QString started = QStringLiteral("开始写入底层");
    QObject::connect(worker, &DownFileOBJ::information, worker, [&](int, const QString &text) {
        QMutexLocker locked(&lock);
        out.lastText = text;
        if (text == started) {
            out.startNs = clock.nsecsElapsed();
            out.cpuStartNs = BenchFigures::threadCpuNs();
            out.sampledCpuNs = out.cpuStartNs;
        }
    }, Qt::DirectConnection);
    QObject::connect(worker, &DownFileOBJ::progress, worker, [&](int, qint64 done, qint64 total, int, int) {
        if (done == 0)
            return;
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = BenchFigures::threadCpuNs();
        QMutexLocker locked(&lock);
        const qint64 frames = (done + chunk - 1) / chunk - (out.sampledBytes + chunk - 1) / chunk;
        if (out.startNs >= 0 && frames > 0)
            out.intervalCpuUs << (cpu - out.sampledCpuNs) / 1e3 / frames;
        out.sampledBytes = done;
        out.sampledCpuNs = cpu;
        if (done != total)
            return;
        out.bytes = done;
        out.endNs = now;
        out.cpuEndNs = cpu;
    }, Qt::DirectConnection);

    QEventLoop loop;
    QObject::connect(worker, &DownFileOBJ::finishThrd, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    thread.start();
    QMetaObject::invokeMethod(worker, [worker, path, frameSize] {
        worker->updateFirmWareTcp(path, frameSize);
    }, Qt::QueuedConnection);
    loop.exec();

    worker->setStopFlag(true);
    worker->deleteLater();
    thread.quit();
    thread.wait();
    QMutexLocker locked(&lock);
    out.finished = out.lastText == QStringLiteral("写入底层成功");
    return out;
}

QJsonObject panel(const QString &imei, int delayMs)
{
    return QJsonObject{{QStringLiteral("imei"), imei}, {QStringLiteral("model"), 70},
                       {QStringLiteral("comm"), 2}, {QStringLiteral("module"), 2},
                       {QStringLiteral("version"), 258},
                       {QStringLiteral("faults"), QJsonObject{{QStringLiteral("replyDelayMs"), delayMs}}}};
}

QList<int> intList(const QString &text)
{
    QList<int> out;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out << part.trimmed().toInt();
    return out;
}

// One download of the image by the C client (vantelo-bench-cdownload) through the same lab;
// with residentKiB > 0, the client first grows to that much resident memory.
Outcome cDownload(const QString &imei, quint16 relayPort, const QString &path, int frameSize, int timeoutMs,
                  qint64 residentKiB)
{
    Outcome out;
    QProcess client;
    QStringList arguments{QStringLiteral("127.0.0.1"), QString::number(relayPort), imei, path,
                          QString::number(frameSize)};
    if (residentKiB > 0)
        arguments << QString::number(residentKiB);
    client.start(BenchLab::binDir() + QStringLiteral("/vantelo-bench-cdownload"), arguments);
    if (!client.waitForFinished(timeoutMs)) {
        client.kill();
        client.waitForFinished(2000);
        out.lastText = QStringLiteral("C client did not finish");
        return out;
    }
    const QStringList lines = QString::fromLatin1(client.readAllStandardOutput()).split(QLatin1Char('\n'));
    const QStringList f = lines.value(0).simplified().split(QLatin1Char(' '));
    out.lastText = f.join(QLatin1Char(' '));
    const QStringList intervals = lines.value(1).simplified().split(QLatin1Char(' '));
    if (f.size() != 5 || f.first() != QLatin1String("ok") || intervals.first() != QLatin1String("intervals"))
        return out;
    for (int i = 1; i < intervals.size(); ++i)
        out.intervalCpuUs << intervals.at(i).toDouble();
    out.finished = true;
    out.bytes = f.at(2).toLongLong();
    out.startNs = 0;
    out.endNs = qint64(f.at(3).toDouble() * 1e9);
    out.cpuEndNs = f.at(4).toLongLong();
    return out;
}

// Figures of the runs of one side in one cell.
struct Side
{
    QVector<double> mbs, ratio, cpuUs, typicalCpuUs;
    int failures = 0;
    QString lastFailure;

    void add(const Outcome &o, int chunk, int rtt)
    {
        if (!o.finished || o.endNs <= o.startNs) {
            ++failures;
            lastFailure = o.lastText;
            return;
        }
        const double seconds = (o.endNs - o.startNs) / 1e9;
        mbs << o.bytes / seconds / 1e6;
        if (rtt > 0)
            ratio << mbs.last() / (chunk / (rtt / 1000.0) / 1e6);
        const int frames = int((o.bytes + chunk - 1) / chunk);
        cpuUs << (o.cpuEndNs - o.cpuStartNs) / 1e3 / qMax(1, frames);
        typicalCpuUs << BenchFigures::percentile(o.intervalCpuUs, 0.5);
    }
};

int throughput(const QList<int> &sizes, const QList<int> &rtts, qint64 imageBytes, double capSeconds, int runs)
{
    QList<QString> imeis;
    QJsonArray panels;
    for (int i = 0; i < rtts.size(); ++i) {
        imeis << QStringLiteral("8600000000091%1").arg(i, 2, 10, QLatin1Char('0'));
        panels.append(panel(imeis.last(), rtts.at(i)));
    }
    BenchLab lab;
    if (!lab.start(panels)) {
        print(QStringLiteral("lab: %1").arg(lab.error()));
        return 1;
    }
    print(QStringLiteral("Firmware download through lab-relay and lab-panel (%1): the tool's worker beside a "
                         "minimal blocking C client").arg(kImageName));
    print(QStringLiteral("machine: %1").arg(BenchFigures::machine()));
    print(QStringLiteral("bound = data bytes per frame / round trip (stop-and-wait); RTT = the panel's reply "
                         "delay; %1 runs per side, alternated; median (min-max)").arg(runs));
    print(QStringLiteral("CPU us/frame: over the whole download; typical: the median over the download's "
                         "intervals of 250 ms (the tool's progress rate); C sized: the C client grown to this "
                         "process's resident memory"));
    print(QStringLiteral("%1 %2 %3 | %4 %5 %6 | %7 %8 | %9 | %10 %11 %12 | %13 %14")
              .arg(QStringLiteral("frame"), 6).arg(QStringLiteral("RTT ms"), 6).arg(QStringLiteral("image"), 9)
              .arg(QStringLiteral("tool MB/s"), 20).arg(QStringLiteral("tool/bound"), 18)
              .arg(QStringLiteral("tool CPU us/frame"), 20)
              .arg(QStringLiteral("C/bound"), 18).arg(QStringLiteral("C CPU us/frame"), 20)
              .arg(QStringLiteral("CPU tool/C"))
              .arg(QStringLiteral("tool typical"), 20).arg(QStringLiteral("C typical"), 20)
              .arg(QStringLiteral("typical tool/C"))
              .arg(QStringLiteral("C sized typical"), 20).arg(QStringLiteral("tool/C sized")));
    int failures = 0;
    int cell = 0;
    for (int frameSize : sizes) {
        const int chunk = RelayFrame::chunkSize(frameSize);
        for (int i = 0; i < rtts.size(); ++i) {
            const int rtt = rtts.at(i);
            qint64 size = imageBytes;
            if (rtt > 0)
                size = qMin(imageBytes, qint64(capSeconds * 1000.0 / rtt) * chunk);
            const QString path = QDir(lab.dir()).filePath(QStringLiteral("cell%1/%2").arg(++cell).arg(kImageName));
            if (!writeImage(path, size)) {
                print(QStringLiteral("cannot write %1").arg(path));
                return 1;
            }
            const int expectedMs = rtt > 0 ? int(size / chunk + 1) * rtt : 0;
            const int timeoutMs = 60000 + 3 * expectedMs;
            // The C client as it is, and grown to the resident memory of this process (the
            // tool's) as the worker runs in it.
            Side tool, c, sized;
            for (int run = 0; run < runs; ++run) {
                // Blocks alternated: the side that goes first changes from run to run.
                for (int k = 0; k < 3; ++k) {
                    const int side = (run + k) % 3;
                    if (side == 0)
                        tool.add(download(imeis.at(i), path, frameSize, timeoutMs), chunk, rtt);
                    else if (side == 1)
                        c.add(cDownload(imeis.at(i), lab.relayPort(), path, frameSize, timeoutMs, 0), chunk, rtt);
                    else
                        sized.add(cDownload(imeis.at(i), lab.relayPort(), path, frameSize, timeoutMs,
                                            BenchFigures::statusKiB("VmRSS")),
                                  chunk, rtt);
                }
            }
            QFile::remove(path);
            if (tool.failures || c.failures || sized.failures) {
                print(QStringLiteral("%1 %2  failed: tool %3 (%4), C %5 (%6), C at the tool's size %7 (%8)")
                          .arg(frameSize, 6).arg(rtt, 6)
                          .arg(tool.failures).arg(tool.lastFailure).arg(c.failures).arg(c.lastFailure)
                          .arg(sized.failures).arg(sized.lastFailure));
                ++failures;
                continue;
            }
            const QString image = size >= (1 << 20)
                                      ? QStringLiteral("%1 MiB").arg(BenchFigures::num(size / 1048576.0))
                                      : QStringLiteral("%1 KiB").arg(BenchFigures::num(size / 1024.0));
            const QString none = QStringLiteral("-");
            const auto ratio = [](const QVector<double> &tool, const QVector<double> &c) {
                return BenchFigures::num(BenchFigures::percentile(tool, 0.5) / BenchFigures::percentile(c, 0.5), 2);
            };
            print(QStringLiteral("%1 %2 %3 | %4 %5 %6 | %7 %8 | %9 | %10 %11 %12 | %13 %14")
                      .arg(frameSize, 6).arg(rtt, 6).arg(image, 9)
                      .arg(BenchFigures::medianSpread(tool.mbs), 20)
                      .arg(rtt > 0 ? BenchFigures::medianSpread(tool.ratio) : none, 18)
                      .arg(BenchFigures::medianSpread(tool.cpuUs), 20)
                      .arg(rtt > 0 ? BenchFigures::medianSpread(c.ratio) : none, 18)
                      .arg(BenchFigures::medianSpread(c.cpuUs), 20)
                      .arg(ratio(tool.cpuUs, c.cpuUs), 10)
                      .arg(BenchFigures::medianSpread(tool.typicalCpuUs), 20)
                      .arg(BenchFigures::medianSpread(c.typicalCpuUs), 20)
                      .arg(ratio(tool.typicalCpuUs, c.typicalCpuUs), 14)
                      .arg(BenchFigures::medianSpread(sized.typicalCpuUs), 20)
                      .arg(ratio(tool.typicalCpuUs, sized.typicalCpuUs)));
        }
    }
    return failures ? 1 : 0;
}

int memory(int mib)
{
    BenchLab lab;
    const QString imei = QStringLiteral("860000000009199");
    if (!lab.start(QJsonArray{panel(imei, 0)})) {
        print(QStringLiteral("lab: %1").arg(lab.error()));
        return 1;
    }
    const qint64 size = qint64(mib) << 20;
    const QString path = QDir(lab.dir()).filePath(QStringLiteral("image/%1").arg(kImageName));
    if (!writeImage(path, size)) {
        print(QStringLiteral("cannot write %1").arg(path));
        return 1;
    }
    const qint64 before = BenchFigures::statusKiB("VmHWM");
    const qint64 rssBefore = BenchFigures::statusKiB("VmRSS");
    const Outcome o = download(imei, path, 8192, 300000);
    const qint64 after = BenchFigures::statusKiB("VmHWM");
    print(QStringLiteral("Peak memory of a %1 MiB firmware download (frame 8192, RTT 0): %2")
              .arg(mib).arg(o.finished ? QStringLiteral("finished") : QStringLiteral("FAILED: ") + o.lastText));
    print(QStringLiteral("machine: %1").arg(BenchFigures::machine()));
    print(QStringLiteral("VmRSS before %1 MiB, VmHWM before %2 MiB, VmHWM after %3 MiB: "
                         "peak growth %4 MiB = %5 x the image")
              .arg(BenchFigures::num(rssBefore / 1024.0)).arg(BenchFigures::num(before / 1024.0))
              .arg(BenchFigures::num(after / 1024.0))
              .arg(BenchFigures::num((after - rssBefore) / 1024.0))
              .arg(BenchFigures::num((after - rssBefore) / 1024.0 / mib, 2)));
    return o.finished ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Firmware download figures"));
    parser.addHelpOption();
    const QCommandLineOption sizes(QStringLiteral("sizes"), QStringLiteral("Frame sizes."), QStringLiteral("LIST"),
                                   QStringLiteral("1024,4096,8192,9000"));
    const QCommandLineOption rtts(QStringLiteral("rtts"), QStringLiteral("Round trips in ms."), QStringLiteral("LIST"),
                                  QStringLiteral("0,20,50,100"));
    const QCommandLineOption imageMib(QStringLiteral("image-mib"), QStringLiteral("Image size in MiB."),
                                      QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption cap(QStringLiteral("cap-seconds"),
                                 QStringLiteral("Bound-time of frames per cell at RTT > 0."),
                                 QStringLiteral("S"), QStringLiteral("4"));
    const QCommandLineOption mem(QStringLiteral("memory"), QStringLiteral("Peak memory of one download of N MiB."),
                                 QStringLiteral("N"));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs per side and cell."),
                                  QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption smoke(QStringLiteral("smoke"), QStringLiteral("One small cell."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Keep the debug output."));
    parser.addOptions({sizes, rtts, imageMib, cap, runs, mem, smoke, verbose});
    parser.process(app);

    // The worker traces every frame; its formatting is measured, the output dropped.
    if (!parser.isSet(verbose))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    if (parser.isSet(mem))
        return memory(parser.value(mem).toInt());
    if (parser.isSet(smoke))
        return throughput({8192}, {0, 20}, 1 << 20, 0.5, 1);
    return throughput(intList(parser.value(sizes)), intList(parser.value(rtts)),
                      qint64(parser.value(imageMib).toDouble() * 1048576), parser.value(cap).toDouble(),
                      parser.value(runs).toInt());
}
