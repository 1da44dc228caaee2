// Pass-through figures: round-trip latency (median, p99) and stream throughput from a
// virtual port through the bridge, lab-relay and a lab panel that echoes its serial
// side, and back; beside the same hops built from socat alone:
//   socat pty pair  ->  socat port-to-TCP  ->  socat TCP forwarder  ->  socat echo (PIPE)
//
//   vantelo-bench-passthrough [--messages 300] [--size 8] [--stream-kib 1024] [--window-kib 16]
//                             [--smoke]
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

Figures measure(int fd, int messages, int size, qint64 streamBytes, qint64 window, const CpuProbe &cpu)
{
    Figures f;
    drain(fd);
    QVector<double> samples;
    const int warmup = 20;
    for (int i = 0; i < warmup + messages; ++i) {
        QByteArray msg = BenchFigures::noise(size, quint32(i + 1));
        msg.replace("$_$", "$-$"); // the relay delimiter does not occur in the messages
        QElapsedTimer t;
        t.start();
        if (::write(fd, msg.constData(), size_t(msg.size())) != msg.size()) {
            f.error = QStringLiteral("short write on the port");
            return f;
        }
        QByteArray got;
        while (got.size() < msg.size() && t.elapsed() < 2000)
            readSome(fd, &got, 50);
        const double us = t.nsecsElapsed() / 1000.0;
        if (got != msg) {
            ++f.lostReplies;
            drain(fd);
            continue;
        }
        if (i >= warmup)
            samples << us;
    }
    f.p50us = BenchFigures::percentile(samples, 0.5);
    f.p99us = BenchFigures::percentile(samples, 0.99);

    // Stream: writes of 1 KiB as fast as the port takes them while at most `window`
    // bytes are on their way (an echo loop with more in flight than its buffers hold
    // stalls on blocking writes), the echo read meanwhile.
    QByteArray stream = BenchFigures::noise(streamBytes, 99);
    stream.replace("$_$", "$-$");
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
        f.bridgeUsPerKiB = (cpuAfter - cpuBefore) / 1e3 / (streamBytes / 1024.0);
    drain(fd);
    f.streamSent = sent;
    f.streamBack = back.size();
    f.intact = back == stream;
    f.insertedDelimiters = back.count("$_$") - stream.count("$_$");
    f.streamMBs = qMin<qint64>(back.size(), stream.size()) / seconds / 1e6;
    f.ok = true;
    return f;
}

quint16 freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

Figures productChain(const QString &pairDir, int messages, int size, qint64 streamBytes, qint64 window)
{
    Figures f;
    BenchLab lab;
    const QString imei = QStringLiteral("860000000009201");
    const QJsonObject panel{{QStringLiteral("imei"), imei}, {QStringLiteral("model"), 70},
                            {QStringLiteral("comm"), 2}, {QStringLiteral("module"), 2},
                            {QStringLiteral("version"), 258}};
    if (!lab.start(QJsonArray{panel})) {
        f.error = lab.error();
        return f;
    }
    const int n = 201;
    QThread thread;
    auto *worker = new PenetrationOBJ(QString());
    worker->moveToThread(&thread);
    std::atomic<int> state{0}; // 1 up, 2 failed
    QObject::connect(worker, &PenetrationOBJ::information, worker, [&state](const QString &text, bool ok) {
        if (ok)
            state = 1;
        else if (!text.startsWith(QStringLiteral("COM")))
            state = 2;
    }, Qt::DirectConnection);
    thread.start(QThread::HighestPriority);
    QMetaObject::invokeMethod(worker, [worker, imei, n] {
        worker->openNetComPenetrate(imei, n - 1, 115200, 8, 0, 1, 30000);
    }, Qt::QueuedConnection);
    QElapsedTimer t;
    t.start();
    while (state == 0 && t.elapsed() < 15000)
        QThread::msleep(10);
    if (state == 1) {
        const int fd = openRaw(pairDir + QStringLiteral("/COM%1").arg(n), 2000);
        if (fd < 0) {
            f.error = QStringLiteral("cannot open COM%1").arg(n);
        } else {
            // The bridge's thread reports its own CPU time.
            const CpuProbe probe = [worker] {
                qint64 ns = -1;
                QMetaObject::invokeMethod(worker, [&ns] { ns = BenchFigures::threadCpuNs(); },
                                          Qt::BlockingQueuedConnection);
                return ns;
            };
            f = measure(fd, messages, size, streamBytes, window, probe);
            ::close(fd);
        }
    } else {
        f.error = QStringLiteral("the pass-through did not start");
    }
    QMetaObject::invokeMethod(worker, &PenetrationOBJ::closeNetComPenetrate, Qt::BlockingQueuedConnection);
    // What the lab panel gave up (its own bound on a message without delimiter).
    QFile events(QDir(lab.dir()).filePath(QStringLiteral("panel.jsonl")));
    if (events.open(QIODevice::ReadOnly)) {
        const int drops = events.readAll().count("\"passthrough-dropped\"");
        if (drops)
            f.note = QStringLiteral("lab panel dropped %1 unfinished messages").arg(drops);
    }
    worker->deleteLater();
    thread.quit();
    thread.wait();
    QLibrary driver(BenchLab::binDir() + QStringLiteral("/libvspdctl.so"));
    auto deletePair = reinterpret_cast<bool (*)(const char *)>(driver.resolve("DeletePair"));
    if (deletePair)
        deletePair(qPrintable(QStringLiteral("COM%1").arg(n)));
    return f;
}

Figures socatChain(const QString &pairDir, int messages, int size, qint64 streamBytes, qint64 window)
{
    Figures f;
    const quint16 echoPort = freePort();
    const quint16 relayPort = freePort();
    const QString com = pairDir + QStringLiteral("/COMs");
    const QString pent = pairDir + QStringLiteral("/PENTs");
    QList<QProcess *> procs;
    auto start = [&procs](const QStringList &args) {
        auto *p = new QProcess;
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral("socat"), args);
        procs << p;
        return p->waitForStarted(3000);
    };
    const QString tcpOpts = QStringLiteral(",bind=127.0.0.1,reuseaddr,fork,nodelay");
    // rawer: no echo, no canonical mode and no XON/XOFF on the pty (raw alone keeps
    // IXON, and an XOFF byte in the data would stop the line).
    bool ok = start({QStringLiteral("TCP-LISTEN:%1%2").arg(echoPort).arg(tcpOpts), QStringLiteral("PIPE")})
              && start({QStringLiteral("TCP-LISTEN:%1%2").arg(relayPort).arg(tcpOpts),
                        QStringLiteral("TCP:127.0.0.1:%1,nodelay").arg(echoPort)})
              && start({QStringLiteral("pty,rawer,link=%1").arg(com),
                        QStringLiteral("pty,rawer,link=%1").arg(pent)});
    QThread::msleep(300); // listeners up, pair links made
    ok = ok && start({QStringLiteral("%1,rawer").arg(pent),
                      QStringLiteral("TCP:127.0.0.1:%1,nodelay").arg(relayPort)});
    QThread::msleep(300);
    if (!ok) {
        f.error = QStringLiteral("socat did not start");
    } else {
        const int fd = openRaw(com, 2000);
        if (fd < 0) {
            f.error = QStringLiteral("cannot open %1").arg(com);
        } else {
            // The port-to-TCP socat: its time on CPU from the scheduler's statistics.
            const qint64 bridgePid = procs.last()->processId();
            const CpuProbe probe = [bridgePid] {
                QFile stat(QStringLiteral("/proc/%1/schedstat").arg(bridgePid));
                if (!stat.open(QIODevice::ReadOnly))
                    return qint64(-1);
                return stat.readAll().split(' ').value(0).toLongLong();
            };
            f = measure(fd, messages, size, streamBytes, window, probe);
            ::close(fd);
        }
    }
    for (auto it = procs.rbegin(); it != procs.rend(); ++it) {
        (*it)->terminate();
        if (!(*it)->waitForFinished(2000)) {
            (*it)->kill();
            (*it)->waitForFinished(2000);
        }
        delete *it;
    }
    return f;
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
    const QCommandLineOption smoke(QStringLiteral("smoke"), QStringLiteral("A few messages only."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Keep the debug output."));
    parser.addOptions({messages, size, stream, windowOpt, smoke, verbose});
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
    return product.ok && socat.ok ? 0 : 1;
}
