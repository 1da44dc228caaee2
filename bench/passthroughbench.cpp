// Pass-through figures: round-trip latency (median, p99) and stream throughput from a
// virtual port through the bridge, lab-relay and a lab panel that echoes its serial
// side, and back; beside the same hops built from socat alone:
//   socat pty pair  ->  socat port-to-TCP  ->  socat TCP forwarder  ->  socat echo (PIPE)
// Then the bridge alone against a socat bridge on the same hops (a socat relay hop and
// a small C echo, vantelo-bench-cecho), for 8, 256 and 4096 bytes, over several runs.
// Then two floods with peak memory of the program side and bytes lost: through the
// echo (each way) while the relay reads nothing from the bridge at first, and from the
// panel toward the port while nobody reads the port at first. Each flood runs in a
// process of its own (the program started again with --flood), so that its peak
// resident size is not hidden by memory an earlier run left to the allocator.
//
//   vantelo-bench-passthrough [--messages 300] [--size 8] [--stream-kib 1024] [--window-kib 16]
//                             [--flood-mib 256] [--pause-ms 2000] [--hop-messages 2000] [--runs 3] [--smoke]
//   vantelo-bench-passthrough --flood echo|port [--flood-mib 256] [--pause-ms 2000]
//
// The program side is driven like the pass-through dialog drives it: PenetrationOBJ on
// a thread of its own at highest priority, the pair created through libvspdctl.so.
// The measuring side writes to COMn and reads the echo, on raw file descriptors.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <atomic>
#include <functional>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "benchfigures.h"
#include "benchlab.h"
#include "penetrationobj.h"

namespace {

void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

struct Figures
{
    bool ok = false;
    QString error;
    double p50us = 0, p99us = 0;
    int lostReplies = 0;
    double streamMBs = 0;
    bool intact = false;
    qint64 streamSent = 0, streamBack = 0;
    int insertedDelimiters = 0; // "$_$" in the echo that the stream did not hold
    double bridgeUsPerKiB = -1;  // CPU of the port-to-relay hop per KiB of the stream
    double bridgeUsPerMessage = -1; // the same per round trip of the messages
    QString note;
};

int openRaw(const QString &path, int waitMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < waitMs) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios tio{};
            if (::tcgetattr(fd, &tio) == 0) {
                ::cfmakeraw(&tio);
                ::tcsetattr(fd, TCSANOW, &tio);
            }
            return fd;
        }
        QThread::msleep(10);
    }
    return -1;
}

// Reads whatever is there within ms (one poll), appending to got.
void readSome(int fd, QByteArray *got, int ms)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN))
        return;
    char buf[65536];
    const ssize_t r = ::read(fd, buf, sizeof buf);
    if (r > 0)
        got->append(buf, int(r));
}

void drain(int fd)
{
    QByteArray junk;
    for (int i = 0; i < 20; ++i)
        readSome(fd, &junk, 10);
}

// CPU time in ns used so far by the hop between the port and the relay (-1: unknown).
using CpuProbe = std::function<qint64()>;

// Round trips of `messages` messages of `size` bytes one at a time (after a warm-up),
// into f: the percentiles, the messages lost, and the bridge's CPU per message.
void latency(int fd, int messages, int size, const CpuProbe &cpu, Figures *f)
{
    drain(fd);
    QVector<double> samples;
    const int warmup = 20;
    const qint64 cpuBefore = cpu();
    for (int i = 0; i < warmup + messages; ++i) {
        QByteArray msg = BenchFigures::noise(size, quint32(i + 1));
        // No '$' at all: neither the relay delimiter nor a piece of it that a read's end
        // and the delimiter after it would complete.
        msg.replace('$', '#');
        QElapsedTimer t;
        t.start();
        if (::write(fd, msg.constData(), size_t(msg.size())) != msg.size()) {
            f->error = QStringLiteral("short write on the port");
            return;
        }
        QByteArray got;
        while (got.size() < msg.size() && t.elapsed() < 2000)
            readSome(fd, &got, 50);
        const double us = t.nsecsElapsed() / 1000.0;
        if (got != msg) {
            ++f->lostReplies;
            drain(fd);
            continue;
        }
        if (i >= warmup)
            samples << us;
    }
    const qint64 cpuAfter = cpu();
    if (cpuBefore >= 0 && cpuAfter >= cpuBefore)
        f->bridgeUsPerMessage = (cpuAfter - cpuBefore) / 1e3 / (warmup + messages);
    f->p50us = BenchFigures::percentile(samples, 0.5);
    f->p99us = BenchFigures::percentile(samples, 0.99);
    f->ok = true;
}

// Stream: writes of 1 KiB as fast as the port takes them while at most `window`
// bytes are on their way (an echo loop with more in flight than its buffers hold
// stalls on blocking writes), the echo read meanwhile.
void stream(int fd, qint64 streamBytes, qint64 window, const CpuProbe &cpu, Figures *f)
{
    drain(fd);
    QByteArray stream = BenchFigures::noise(streamBytes, 99);
    stream.replace('$', '#');
    QByteArray back;
    qint64 sent = 0;
    const qint64 cpuBefore = cpu();
    QElapsedTimer t;
    t.start();
    qint64 lastProgress = 0;
    while (back.size() < stream.size() && t.elapsed() - lastProgress < 3000) {
        const bool room = sent < stream.size() && sent - back.size() < window;
        pollfd p{fd, short(POLLIN | (room ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        if ((p.revents & POLLOUT) && room) {
            const ssize_t w = ::write(fd, stream.constData() + sent, size_t(qMin<qint64>(1024, stream.size() - sent)));
            if (w > 0)
                sent += w;
        }
        if (p.revents & POLLIN) {
            char buf[65536];
            const ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0) {
                back.append(buf, int(r));
                lastProgress = t.elapsed();
            }
        }
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    const qint64 cpuAfter = cpu();
    if (cpuBefore >= 0 && cpuAfter >= cpuBefore)
        f->bridgeUsPerKiB = (cpuAfter - cpuBefore) / 1e3 / (streamBytes / 1024.0);
    drain(fd);
    f->streamSent = sent;
    f->streamBack = back.size();
    f->intact = back == stream;
    f->insertedDelimiters = back.count("$_$") - stream.count("$_$");
    f->streamMBs = qMin<qint64>(back.size(), stream.size()) / seconds / 1e6;
}

Figures measure(int fd, int messages, int size, qint64 streamBytes, qint64 window, const CpuProbe &cpu)
{
    Figures f;
    latency(fd, messages, size, cpu, &f);
    if (f.ok)
        stream(fd, streamBytes, window, cpu, &f);
    return f;
}

// The CPU time of a task (a single-threaded process, or a thread as "self/task/<tid>") from
// the scheduler's statistics; -1 when it is not there.
qint64 schedstatNs(const QString &task)
{
    QFile stat(QStringLiteral("/proc/%1/schedstat").arg(task));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    return stat.readAll().split(' ').value(0).toLongLong();
}

CpuProbe processCpu(qint64 pid)
{
    return [pid] { return schedstatNs(QString::number(pid)); };
}

// The CPU time of this process's threads of the given name (-1: none).
qint64 namedThreadsCpuNs(const QByteArray &name)
{
    qint64 sum = -1;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        const qint64 ns = schedstatNs(QStringLiteral("self/task/") + tid);
        if (ns >= 0)
            sum = qMax<qint64>(sum, 0) + ns;
    }
    return sum;
}

// Helper processes of a chain, stopped in the reverse order of their start.
class Helpers
{
public:
    ~Helpers()
    {
        for (auto it = m_procs.rbegin(); it != m_procs.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(2000)) {
                (*it)->kill();
                (*it)->waitForFinished(2000);
            }
            delete *it;
        }
    }
    bool start(const QString &program, const QStringList &args)
    {
        auto *p = new QProcess;
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(program, args);
        m_procs << p;
        return p->waitForStarted(3000);
    }
    bool socat(const QStringList &args) { return start(QStringLiteral("socat"), args); }
    qint64 lastPid() const { return m_procs.last()->processId(); }

private:
    QList<QProcess *> m_procs;
};

const QString kTcpListen = QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,nodelay");
const QString kTcpTo = QStringLiteral("TCP:127.0.0.1:%1,nodelay");

quint16 freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// PenetrationOBJ on a thread of its own at highest priority, bridging COMn for a
// panel, driven like the pass-through dialog drives it; the pair is made through
// libvspdctl.so and removed again at the end.
class BridgeRun
{
public:
    BridgeRun(const QString &imei, int n) : m_n(n)
    {
        worker = new PenetrationOBJ(QString());
        worker->moveToThread(&m_thread);
        QObject::connect(worker, &PenetrationOBJ::information, worker, [this](const QString &text, bool ok) {
            if (ok)
                m_state = 1;
            else if (!text.startsWith(QStringLiteral("COM")))
                m_state = 2;
        }, Qt::DirectConnection);
        m_thread.start(QThread::HighestPriority);
        PenetrationOBJ *w = worker;
        QMetaObject::invokeMethod(worker, [w, imei, n] {
            w->openNetComPenetrate(imei, n - 1, 115200, 8, 0, 1, 30000);
        }, Qt::QueuedConnection);
        QElapsedTimer t;
        t.start();
        while (m_state == 0 && t.elapsed() < 15000)
            QThread::msleep(10);
    }
    ~BridgeRun()
    {
        QMetaObject::invokeMethod(worker, &PenetrationOBJ::closeNetComPenetrate, Qt::BlockingQueuedConnection);
        worker->deleteLater();
        m_thread.quit();
        m_thread.wait();
        QLibrary driver(BenchLab::binDir() + QStringLiteral("/libvspdctl.so"));
        auto deletePair = reinterpret_cast<bool (*)(const char *)>(driver.resolve("DeletePair"));
        if (deletePair)
            deletePair(qPrintable(QStringLiteral("COM%1").arg(m_n)));
    }
    bool up() const { return m_state == 1; }
    // The worker's thread reports its own CPU time; the bridge's own thread, where there
    // is one, is added.
    CpuProbe cpuProbe() const
    {
        PenetrationOBJ *w = worker;
        return [w] {
            qint64 ns = -1;
            QMetaObject::invokeMethod(w, [&ns] { ns = BenchFigures::threadCpuNs(); }, Qt::BlockingQueuedConnection);
            const qint64 bridgeNs = namedThreadsCpuNs("vantelo-bridge");
            return ns < 0 || bridgeNs < 0 ? ns : ns + bridgeNs;
        };
    }

    PenetrationOBJ *worker;

private:
    QThread m_thread;
    std::atomic<int> m_state{0}; // 1 up, 2 failed
    int m_n;
};

QJsonObject benchPanel(const QString &imei, const QJsonObject &faults = QJsonObject())
{
    QJsonObject panel{{QStringLiteral("imei"), imei}, {QStringLiteral("model"), 70},
                      {QStringLiteral("comm"), 2}, {QStringLiteral("module"), 2},
                      {QStringLiteral("version"), 258}};
    if (!faults.isEmpty())
        panel.insert(QStringLiteral("faults"), faults);
    return panel;
}

Figures productChain(const QString &pairDir, int messages, int size, qint64 streamBytes, qint64 window)
{
    Figures f;
    BenchLab lab;
    const QString imei = QStringLiteral("860000000009201");
    if (!lab.start(QJsonArray{benchPanel(imei)})) {
        f.error = lab.error();
        return f;
    }
    const int n = 201;
    BridgeRun bridge(imei, n);
    if (bridge.up()) {
        const int fd = openRaw(pairDir + QStringLiteral("/COM%1").arg(n), 2000);
        if (fd < 0) {
            f.error = QStringLiteral("cannot open COM%1").arg(n);
        } else {
            f = measure(fd, messages, size, streamBytes, window, bridge.cpuProbe());
            ::close(fd);
        }
    } else {
        f.error = QStringLiteral("the pass-through did not start");
    }
    // What the lab panel gave up (its own bound on a message without delimiter).
    QFile events(QDir(lab.dir()).filePath(QStringLiteral("panel.jsonl")));
    if (events.open(QIODevice::ReadOnly)) {
        const int drops = events.readAll().count("\"passthrough-dropped\"");
        if (drops)
            f.note = QStringLiteral("lab panel dropped %1 unfinished messages").arg(drops);
    }
    return f;
}

struct Flood
{
    bool ok = false;
    QString error;
    qint64 sent = 0;
    qint64 back = 0;
    qint64 altered = 0;     // bytes that came back different from what was sent there
    double seconds = 0;
    double peakGrowthMiB = 0;
};

// Byte p of a flood: never zero, never "$_$" (as the lab panel's passthroughSend).
char floodByte(qint64 p)
{
    return char(p % 251 + 1);
}

// At most this much of the echo flood is on its way once the relay reads again: a
// loop through an echo with every queue on the way full stalls for good (the pair's
// socat blocks on one direction and then moves neither).
constexpr qint64 kFloodInFlight = 1 << 20;

// Floods COMn for the panel with the given faults: `writeBytes` written to the port
// (0: the panel sends by itself), `expect` bytes read back, the port not read during
// the first `pauseMs` when `portPaused`, else written to freely during them. Peak
// memory growth of this process (the bridge lives here) from the start of the flood.
Flood flood(const QString &pairDir, const QJsonObject &faults, qint64 writeBytes, qint64 expect, int pauseMs,
            bool portPaused)
{
    Flood f;
    BenchLab lab;
    const QString imei = QStringLiteral("860000000009202");
    if (!lab.start(QJsonArray{benchPanel(imei, faults)})) {
        f.error = lab.error();
        return f;
    }
    const int n = 202;
    BridgeRun bridge(imei, n);
    const int fd = bridge.up() ? openRaw(pairDir + QStringLiteral("/COM%1").arg(n), 2000) : -1;
    if (fd < 0) {
        f.error = bridge.up() ? QStringLiteral("cannot open COM%1").arg(n)
                              : QStringLiteral("the pass-through did not start");
        return f;
    }
    // The peak resident size counts from here.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    const qint64 rssBefore = BenchFigures::statusKiB("VmRSS");
    char buf[65536];
    QElapsedTimer t;
    t.start();
    qint64 lastProgress = 0;
    while (f.back < expect && t.elapsed() - lastProgress < 10000) {
        const bool paused = t.elapsed() < pauseMs;
        const bool writing = f.sent < writeBytes && (paused || f.sent - f.back < kFloodInFlight);
        const bool reading = !(paused && portPaused);
        pollfd p{fd, short((writing ? POLLOUT : 0) | (reading ? POLLIN : 0)), 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        if (writing && (p.revents & POLLOUT)) {
            const int len = int(qMin<qint64>(sizeof buf, writeBytes - f.sent));
            for (int i = 0; i < len; ++i)
                buf[i] = floodByte(f.sent + i);
            const ssize_t w = ::write(fd, buf, size_t(len));
            if (w > 0) {
                f.sent += w;
                lastProgress = t.elapsed();
            }
        }
        if (reading && (p.revents & POLLIN)) {
            const ssize_t r = ::read(fd, buf, sizeof buf);
            for (ssize_t i = 0; i < r; ++i)
                f.altered += buf[i] != floodByte(f.back + i);
            if (r > 0) {
                f.back += r;
                lastProgress = t.elapsed();
            }
        }
    }
    f.seconds = t.nsecsElapsed() / 1e9;
    f.peakGrowthMiB = (BenchFigures::statusKiB("VmHWM") - rssBefore) / 1024.0;
    ::close(fd);
    f.ok = true;
    return f;
}

QString floodRow(const Flood &f, qint64 expect)
{
    if (!f.ok)
        return QStringLiteral("  failed: %1").arg(f.error);
    return QStringLiteral("  %1 of %2 MiB back in %3 s (%4 MB/s); bytes lost %5, altered %6; "
                          "peak memory growth of the program side %7 MiB")
        .arg(BenchFigures::num(f.back / 1048576.0)).arg(BenchFigures::num(expect / 1048576.0))
        .arg(BenchFigures::num(f.seconds)).arg(BenchFigures::num(f.back / f.seconds / 1e6))
        .arg(expect - f.back).arg(f.altered).arg(BenchFigures::num(f.peakGrowthMiB));
}

Figures socatChain(const QString &pairDir, int messages, int size, qint64 streamBytes, qint64 window)
{
    Figures f;
    const quint16 echoPort = freePort();
    const quint16 relayPort = freePort();
    const QString com = pairDir + QStringLiteral("/COMs");
    const QString pent = pairDir + QStringLiteral("/PENTs");
    Helpers helpers;
    // rawer: no echo, no canonical mode and no XON/XOFF on the pty (raw alone keeps
    // IXON, and an XOFF byte in the data would stop the line).
    bool ok = helpers.socat({kTcpListen.arg(echoPort), QStringLiteral("PIPE")})
              && helpers.socat({kTcpListen.arg(relayPort), kTcpTo.arg(echoPort)})
              && helpers.socat({QStringLiteral("pty,rawer,link=%1").arg(com),
                                QStringLiteral("pty,rawer,link=%1").arg(pent)});
    QThread::msleep(300); // listeners up, pair links made
    ok = ok && helpers.socat({QStringLiteral("%1,rawer").arg(pent), kTcpTo.arg(relayPort)});
    QThread::msleep(300);
    if (!ok) {
        f.error = QStringLiteral("socat did not start");
        return f;
    }
    const int fd = openRaw(com, 2000);
    if (fd < 0) {
        f.error = QStringLiteral("cannot open %1").arg(com);
        return f;
    }
    // The port-to-TCP socat.
    f = measure(fd, messages, size, streamBytes, window, processCpu(helpers.lastPid()));
    ::close(fd);
    return f;
}

// The same hops on both sides, the bridge alone differing:
//   tool:  vspd pair  -> PenetrationOBJ -> socat relay hop -> C echo (answers the registration)
//   socat: socat pair -> socat port-to-TCP -> socat relay hop -> C echo
// Both chains stay up; per run and size the two sides' blocks follow each other, the
// side going first alternating. Medians over the runs with their spread, and the
// ratio tool/socat of each run.
int sameHops(const QString &pairDir, int messages, const QList<int> &sizes, qint64 streamBytes, qint64 window,
             int runs)
{
    Helpers helpers;
    const QString echo = BenchLab::binDir() + QStringLiteral("/vantelo-bench-cecho");
    const quint16 echoRelay = freePort(), hopTool = freePort(), echoRaw = freePort(), hopSocat = freePort();
    const QString com = pairDir + QStringLiteral("/COMh");
    const QString pent = pairDir + QStringLiteral("/PENTh");
    bool ok = helpers.start(echo, {QString::number(echoRelay), QStringLiteral("--relay")})
              && helpers.start(echo, {QString::number(echoRaw)})
              && helpers.socat({kTcpListen.arg(hopTool), kTcpTo.arg(echoRelay)})
              && helpers.socat({kTcpListen.arg(hopSocat), kTcpTo.arg(echoRaw)})
              && helpers.socat({QStringLiteral("pty,rawer,link=%1").arg(com),
                                QStringLiteral("pty,rawer,link=%1").arg(pent)});
    QThread::msleep(300);
    ok = ok && helpers.socat({QStringLiteral("%1,rawer").arg(pent), kTcpTo.arg(hopSocat)});
    const CpuProbe socatCpu = processCpu(helpers.lastPid());
    QThread::msleep(300);
    if (!ok) {
        print(QStringLiteral("same hops: a helper did not start"));
        return 1;
    }
    qputenv("VANTELO_RELAY_HOST", "127.0.0.1");
    qputenv("VANTELO_RELAY_PORT", QByteArray::number(hopTool));
    const int n = 203;
    BridgeRun bridge(QStringLiteral("860000000009203"), n);
    const int toolFd = bridge.up() ? openRaw(pairDir + QStringLiteral("/COM%1").arg(n), 2000) : -1;
    const int socatFd = openRaw(com, 2000);
    if (toolFd < 0 || socatFd < 0) {
        print(QStringLiteral("same hops: %1").arg(bridge.up() ? QStringLiteral("a port did not open")
                                                              : QStringLiteral("the pass-through did not start")));
        if (toolFd >= 0)
            ::close(toolFd);
        if (socatFd >= 0)
            ::close(socatFd);
        return 1;
    }
    const CpuProbe toolCpu = bridge.cpuProbe();

    print(QStringLiteral("Pass-through, same hops: port pair -> bridge -> socat relay hop -> C echo -> back; "
                         "the tool's bridge (PenetrationOBJ) against a socat bridge"));
    print(QStringLiteral("machine: %1").arg(BenchFigures::machine()));
    print(QStringLiteral("%1 messages per size one at a time, stream of %2 KiB in 1 KiB writes (at most %3 KiB "
                         "in flight); %4 runs, blocks alternated; median (min-max); ratio = tool/socat per run")
              .arg(messages).arg(streamBytes / 1024).arg(window / 1024).arg(runs));
    QVector<QVector<double>> p50[2], cpu[2], p50Ratio, cpuRatio;
    QVector<double> mbs[2], mbsRatio;
    for (int s = 0; s < 2; ++s) {
        p50[s].resize(sizes.size());
        cpu[s].resize(sizes.size());
    }
    p50Ratio.resize(sizes.size());
    cpuRatio.resize(sizes.size());
    int failures = 0;
    const int fds[2] = {toolFd, socatFd};
    const CpuProbe *probes[2] = {&toolCpu, &socatCpu};
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i <= sizes.size(); ++i) {
            Figures f[2];
            for (int k = 0; k < 2; ++k) {
                const int side = (run + i + k) % 2;
                if (i < sizes.size())
                    latency(fds[side], messages, sizes.at(i), *probes[side], &f[side]);
                else
                    stream(fds[side], streamBytes, window, *probes[side], &f[side]);
            }
            if (i == sizes.size()) {
                for (int side = 0; side < 2; ++side) {
                    mbs[side] << f[side].streamMBs;
                    if (!f[side].intact) {
                        ++failures;
                        print(QStringLiteral("run %1, %2 stream: %3 of %4 bytes back, not intact")
                                  .arg(run + 1).arg(side ? QStringLiteral("socat") : QStringLiteral("tool"))
                                  .arg(f[side].streamBack).arg(f[side].streamSent));
                    }
                }
                mbsRatio << f[0].streamMBs / f[1].streamMBs;
                continue;
            }
            for (int side = 0; side < 2; ++side) {
                if (!f[side].ok || f[side].lostReplies > 0) {
                    ++failures;
                    print(QStringLiteral("run %1, %2, %3 bytes: %4 messages lost %5")
                              .arg(run + 1).arg(side ? QStringLiteral("socat") : QStringLiteral("tool"))
                              .arg(sizes.at(i)).arg(f[side].lostReplies).arg(f[side].error));
                }
                p50[side][i] << f[side].p50us;
                cpu[side][i] << f[side].bridgeUsPerMessage;
            }
            p50Ratio[i] << f[0].p50us / f[1].p50us;
            cpuRatio[i] << f[0].bridgeUsPerMessage / f[1].bridgeUsPerMessage;
        }
    }
    ::close(toolFd);
    ::close(socatFd);
    print(QStringLiteral("%1 | %2 %3 %4 | %5 %6 %7")
              .arg(QStringLiteral("bytes"), 6).arg(QStringLiteral("tool p50 us"), 20)
              .arg(QStringLiteral("socat p50 us"), 20).arg(QStringLiteral("p50 ratio"), 18)
              .arg(QStringLiteral("tool CPU us/msg"), 20).arg(QStringLiteral("socat CPU us/msg"), 20)
              .arg(QStringLiteral("CPU ratio"), 18));
    for (int i = 0; i < sizes.size(); ++i)
        print(QStringLiteral("%1 | %2 %3 %4 | %5 %6 %7")
                  .arg(sizes.at(i), 6).arg(BenchFigures::medianSpread(p50[0][i]), 20)
                  .arg(BenchFigures::medianSpread(p50[1][i]), 20)
                  .arg(BenchFigures::medianSpread(p50Ratio[i], 2), 18)
                  .arg(BenchFigures::medianSpread(cpu[0][i]), 20)
                  .arg(BenchFigures::medianSpread(cpu[1][i]), 20)
                  .arg(BenchFigures::medianSpread(cpuRatio[i], 2), 18));
    print(QStringLiteral("stream MB/s: tool %1, socat %2, ratio %3%4")
              .arg(BenchFigures::medianSpread(mbs[0]), BenchFigures::medianSpread(mbs[1]),
                   BenchFigures::medianSpread(mbsRatio, 2))
              .arg(failures ? QStringLiteral("; %1 blocks lost messages or bytes").arg(failures) : QString()));
    return failures ? 1 : 0;
}

QString row(const QString &name, const Figures &f)
{
    if (!f.ok)
        return QStringLiteral("%1 failed: %2").arg(name, -16).arg(f.error);
    QString stream = f.intact ? QStringLiteral("intact") : QStringLiteral("%1 of %2 bytes back").arg(f.streamBack).arg(f.streamSent);
    if (f.insertedDelimiters > 0)
        stream += QStringLiteral(", %1 \"$_$\" inserted").arg(f.insertedDelimiters);
    if (!f.note.isEmpty())
        stream += QStringLiteral(", ") + f.note;
    return QStringLiteral("%1 %2 %3 %4 %5 %6  %7")
        .arg(name, -16).arg(BenchFigures::num(f.p50us), 8).arg(BenchFigures::num(f.p99us), 8)
        .arg(BenchFigures::num(f.streamMBs), 8)
        .arg(f.bridgeUsPerKiB >= 0 ? BenchFigures::num(f.bridgeUsPerKiB) : QStringLiteral("-"), 12)
        .arg(f.lostReplies, 5).arg(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pass-through figures"));
    parser.addHelpOption();
    const QCommandLineOption messages(QStringLiteral("messages"), QStringLiteral("Round trips timed."),
                                      QStringLiteral("N"), QStringLiteral("300"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Bytes per message."),
                                  QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption stream(QStringLiteral("stream-kib"), QStringLiteral("Stream size in KiB."),
                                    QStringLiteral("N"), QStringLiteral("1024"));
    const QCommandLineOption windowOpt(QStringLiteral("window-kib"), QStringLiteral("Stream bytes in flight at most, KiB."),
                                       QStringLiteral("N"), QStringLiteral("16"));
    const QCommandLineOption floodMib(QStringLiteral("flood-mib"), QStringLiteral("Flood size in MiB."),
                                      QStringLiteral("N"), QStringLiteral("256"));
    const QCommandLineOption pauseMs(QStringLiteral("pause-ms"),
                                     QStringLiteral("How long the relay, then the port, reads nothing at a flood's start."),
                                     QStringLiteral("MS"), QStringLiteral("2000"));
    const QCommandLineOption floodOnly(QStringLiteral("flood"), QStringLiteral("Only this flood, in this process."),
                                       QStringLiteral("echo|port"));
    const QCommandLineOption hopMessagesOpt(QStringLiteral("hop-messages"),
                                            QStringLiteral("Round trips per size and run on the same hops."),
                                            QStringLiteral("N"), QStringLiteral("2000"));
    const QCommandLineOption runsOpt(QStringLiteral("runs"), QStringLiteral("Runs on the same hops."),
                                     QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption smoke(QStringLiteral("smoke"), QStringLiteral("A few messages only."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Keep the debug output."));
    parser.addOptions({messages, size, stream, windowOpt, floodMib, pauseMs, floodOnly, hopMessagesOpt, runsOpt, smoke,
                       verbose});
    parser.process(app);
    if (!parser.isSet(verbose))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    const int n = parser.isSet(smoke) ? 20 : parser.value(messages).toInt();
    const int bytes = parser.value(size).toInt();
    const qint64 streamBytes = (parser.isSet(smoke) ? 64 : parser.value(stream).toLongLong()) * 1024;
    const qint64 window = parser.value(windowOpt).toLongLong() * 1024;

    QTemporaryDir tmp;
    const QString pairDir = tmp.filePath(QStringLiteral("vspd"));
    QDir().mkpath(pairDir);
    QFile::setPermissions(pairDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("VSPD_DIR", QFile::encodeName(pairDir));

    if (parser.isSet(floodOnly)) {
        const qint64 floodBytes = (parser.isSet(smoke) ? 8 : parser.value(floodMib).toLongLong()) << 20;
        const int pause = parser.isSet(smoke) ? 500 : parser.value(pauseMs).toInt();
        const bool echo = parser.value(floodOnly) == QLatin1String("echo");
        print(QString());
        Flood f;
        if (echo) {
            print(QStringLiteral("Flood of %1 MiB through the echo, each way; the relay reads nothing from the "
                                 "bridge for the first %2 ms (written to meanwhile as fast as the port "
                                 "takes it), then at most %3 MiB in flight:")
                      .arg(floodBytes >> 20).arg(pause).arg(kFloodInFlight >> 20));
            f = flood(pairDir, QJsonObject{{QStringLiteral("pauseDesktopMs"), pause}}, floodBytes, floodBytes,
                      pause, false);
        } else {
            print(QStringLiteral("Flood of %1 MiB from the panel toward the port; nobody reads the port for "
                                 "the first %2 ms:").arg(floodBytes >> 20).arg(pause));
            f = flood(pairDir, QJsonObject{{QStringLiteral("passthroughSend"), double(floodBytes)}}, 0, floodBytes,
                      pause, true);
        }
        print(floodRow(f, floodBytes));
        return f.ok && f.back == floodBytes && f.altered == 0 ? 0 : 1;
    }

    print(QStringLiteral("Pass-through round trip: port -> bridge -> relay -> panel echo -> back"));
    print(QStringLiteral("machine: %1").arg(BenchFigures::machine()));
    print(QStringLiteral("%1 messages of %2 bytes one at a time; stream of %3 KiB in 1 KiB writes, "
                         "at most %4 KiB in flight")
              .arg(n).arg(bytes).arg(streamBytes / 1024).arg(window / 1024));
    print(QStringLiteral("%1 %2 %3 %4 %5 %6  %7")
              .arg(QStringLiteral("chain"), -16).arg(QStringLiteral("p50 us"), 8)
              .arg(QStringLiteral("p99 us"), 8).arg(QStringLiteral("MB/s"), 8)
              .arg(QStringLiteral("bridge us/KiB"), 12)
              .arg(QStringLiteral("lost"), 5).arg(QStringLiteral("stream")));
    print(QStringLiteral("(bridge: the hop between the port and the relay, PenetrationOBJ's thread or "
                         "the port-to-TCP socat; lost: messages not echoed within 2 s)"));
    const Figures product = productChain(pairDir, n, bytes, streamBytes, window);
    print(row(QStringLiteral("Vantelo + lab"), product));
    const Figures socat = socatChain(pairDir, n, bytes, streamBytes, window);
    print(row(QStringLiteral("socat only"), socat));
    if (product.ok && socat.ok)
        print(QStringLiteral("ratio Vantelo/socat: p50 %1 x, p99 %2 x, throughput %3 x")
                  .arg(BenchFigures::num(product.p50us / socat.p50us, 2))
                  .arg(BenchFigures::num(product.p99us / socat.p99us, 2))
                  .arg(BenchFigures::num(product.streamMBs / socat.streamMBs, 2)));

    print(QString());
    const int hopMessages = parser.isSet(smoke) ? 50 : parser.value(hopMessagesOpt).toInt();
    const int hopRuns = parser.isSet(smoke) ? 1 : parser.value(runsOpt).toInt();
    const bool hopsOk = sameHops(pairDir, hopMessages, {8, 256, 4096}, streamBytes, window, hopRuns) == 0;

    // Each flood in a process of its own.
    bool floodsIntact = true;
    for (const QString &kind : {QStringLiteral("echo"), QStringLiteral("port")}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        QStringList args{QStringLiteral("--flood"), kind};
        for (const QCommandLineOption *o : {&floodMib, &pauseMs})
            args << QStringLiteral("--") + o->names().first() << parser.value(*o);
        if (parser.isSet(smoke))
            args << QStringLiteral("--smoke");
        if (parser.isSet(verbose))
            args << QStringLiteral("--verbose");
        child.start(QCoreApplication::applicationFilePath(), args);
        floodsIntact = child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit
                       && child.exitCode() == 0 && floodsIntact;
    }
    return product.ok && socat.ok && hopsOk && floodsIntact ? 0 : 1;
}
