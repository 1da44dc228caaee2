#include "labstopsignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};

void handleSignal(int sig)
{
    const char c = char(sig);
    if (g_pipe[0] >= 0)
        (void)::write(g_pipe[0], &c, 1);
}
} // namespace

LabStopSignals::LabStopSignals(QObject *parent) : QObject(parent) {}

LabStopSignals::~LabStopSignals()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

bool LabStopSignals::install()
{
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0) {
        qWarning() << "LabStopSignals::install socketpair failed";
        return false;
    }
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LabStopSignals::onSignal);
    struct sigaction sa = {};
    sa.sa_handler = handleSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    return true;
}

void LabStopSignals::onSignal()
{
    char c = 0;
    if (::read(g_pipe[1], &c, 1) != 1)
        return;
    qDebug() << "LabStopSignals::onSignal" << int(c);
    emit stopRequested(int(c));
    QCoreApplication::quit();
}
