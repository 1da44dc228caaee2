// lab-cloud: the cloud service of the panel lab.
//
//   lab-cloud --config FILE [--port N] [--events FILE] [--store DIR]
//             [--tls-cert PEM --tls-key PEM] [--check]
//
// Serves the "cloud" section of FILE on 127.0.0.1 (HTTPS with the given certificate
// and key) and prints one ready line {"ready":true,"service":"cloud","port":N,
// "scheme":"http"|"https"} once it listens. Stops on SIGTERM/SIGINT.

#include "labcloudconfig.h"
#include "labcloudserver.h"
#include "labcloudservice.h"
#include "labeventlog.h"
#include "labfault.h"

#include <QDebug>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "usage: lab-cloud --config FILE [--port N] [--events FILE] [--store DIR]\n"
                 "                 [--tls-cert PEM --tls-key PEM] [--check]\n");
}

} // namespace

int main(int argc, char **argv)
{
    QString configPath, eventsPath, storePath, tlsCert, tlsKey;
    int port = -1;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (arg == QLatin1String("--check")) {
            check = true;
        } else if (arg == QLatin1String("--config") && hasValue) {
            configPath = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--events") && hasValue) {
            eventsPath = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--store") && hasValue) {
            storePath = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--tls-cert") && hasValue) {
            tlsCert = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--tls-key") && hasValue) {
            tlsKey = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--port") && hasValue) {
            bool ok = false;
            port = QString::fromLocal8Bit(argv[++i]).toInt(&ok);
            if (!ok || port < 0 || port > 65535) {
                std::fprintf(stderr, "lab-cloud: bad port %s\n", argv[i]);
                return 2;
            }
        } else {
            usage();
            return 2;
        }
    }
    if (configPath.isEmpty() || tlsCert.isEmpty() != tlsKey.isEmpty()) {
        usage();
        return 2;
    }

    QJsonObject section;
    QString error;
    const bool hasSection = LabCloudConfig::loadSection(configPath, &section, &error);
    if (check)
        return hasSection ? 0 : 1;
    if (!hasSection) {
        std::fprintf(stderr, "lab-cloud: %s\n", qPrintable(error));
        return 1;
    }
    LabCloudConfig config;
    if (!config.parse(section, &error)) {
        std::fprintf(stderr, "lab-cloud: %s: %s\n", qPrintable(configPath), qPrintable(error));
        return 1;
    }
    auto warnFaults = [&config](const QString &where, const QJsonObject &faults) {
        for (auto it = faults.begin(); it != faults.end(); ++it)
            for (const QString &key : LabFault::unknownKeys(it.value().toObject()))
                config.warnings.append(QStringLiteral("%1: fault \"%2\" has unknown switch \"%3\"")
                                           .arg(where, it.key(), key));
    };
    warnFaults(QStringLiteral("cloud"), config.faults);
    for (const LabAccount &a : config.accounts)
        warnFaults(a.account, a.faults);
    for (const QString &w : config.warnings)
        std::fprintf(stderr, "lab-cloud: warning: %s\n", qPrintable(w));

    // Signals are taken by the main thread only (sigwait below); every thread started
    // from here on inherits the blocked mask. Writes to a vanished client must not end
    // the process.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    LabEventLog events;
    if (eventsPath.isEmpty())
        eventsPath = config.events;
    if (!eventsPath.isEmpty() && !events.open(eventsPath, &error, LabEventLog::OpenMode::Append)) {
        std::fprintf(stderr, "lab-cloud: cannot open %s: %s\n", qPrintable(eventsPath), qPrintable(error));
        return 1;
    }

    QTemporaryDir tempStore(QDir::tempPath() + QStringLiteral("/lab-cloud-store-XXXXXX"));
    if (storePath.isEmpty())
        storePath = config.store;
    if (storePath.isEmpty()) {
        if (!tempStore.isValid()) {
            std::fprintf(stderr, "lab-cloud: cannot create a temporary store\n");
            return 1;
        }
        storePath = tempStore.path();
    }
    if (!QDir().mkpath(storePath)) {
        std::fprintf(stderr, "lab-cloud: cannot create the store %s\n", qPrintable(storePath));
        return 1;
    }
    storePath = QDir(storePath).absolutePath();

    LabCloudService service(config, storePath);
    LabCloudServer server(&service, &events, tlsCert, tlsKey);
    if (!server.isValid()) {
        std::fprintf(stderr, "lab-cloud: cannot use the certificate %s with the key %s\n",
                     qPrintable(tlsCert), qPrintable(tlsKey));
        return 1;
    }
    const char *scheme = server.isHttps() ? "https" : "http";
    if (port < 0)
        port = config.port;
    const int bound = server.bind(port);
    if (bound <= 0) {
        std::fprintf(stderr, "lab-cloud: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::fprintf(stderr, "lab-cloud: serving %s on 127.0.0.1:%d, store %s, events %s\n", scheme, bound,
                 qPrintable(storePath), eventsPath.isEmpty() ? "none" : qPrintable(events.path()));
    std::printf("{\"ready\":true,\"service\":\"cloud\",\"port\":%d,\"scheme\":\"%s\"}\n", bound, scheme);
    std::fflush(stdout);

    std::atomic<bool> stopping{false};
    std::atomic<bool> failed{false};
    std::thread serving([&] {
        const bool ok = server.serve();
        if (!stopping) {
            // The server ended on its own: wake the main thread.
            failed = true;
            qWarning() << "main the server ended, ok:" << ok;
            kill(getpid(), SIGTERM);
        }
    });

    int sig = 0;
    sigwait(&stopSignals, &sig);
    stopping = true;
    qDebug() << "main stopping on signal" << sig;
    server.stop();
    serving.join();
    if (failed) {
        std::fprintf(stderr, "lab-cloud: the server ended unexpectedly\n");
        return 1;
    }
    return 0;
}
