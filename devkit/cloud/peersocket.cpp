#include "peersocket.h"

#include <QDebug>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <cstdlib>
#include <cstring>
#include <thread>

PeerSocket::PeerSocket(const std::string &remoteAddr, int remotePort, int localPort)
{
    in_addr remote{};
    if (remotePort <= 0 || inet_pton(AF_INET, remoteAddr.c_str(), &remote) != 1)
        return;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    while (dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(dir))
            continue;
        sockaddr_in local{}, peer{};
        socklen_t localLen = sizeof local, peerLen = sizeof peer;
        if (getsockname(int(fd), reinterpret_cast<sockaddr *>(&local), &localLen) != 0
            || local.sin_family != AF_INET || ntohs(local.sin_port) != localPort)
            continue;
        if (getpeername(int(fd), reinterpret_cast<sockaddr *>(&peer), &peerLen) != 0
            || ntohs(peer.sin_port) != remotePort || peer.sin_addr.s_addr != remote.s_addr)
            continue;
        m_fd = int(fd);
        break;
    }
    closedir(dir);
    if (m_fd < 0)
        qDebug() << "PeerSocket::PeerSocket no socket for" << remoteAddr.c_str() << remotePort;
}

bool PeerSocket::waitGone(int ms) const
{
    if (m_fd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return false;
    }
    pollfd p{m_fd, short(POLLRDHUP), 0};
    if (poll(&p, 1, ms) <= 0)
        return false;
    return (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void PeerSocket::shutDown()
{
    if (m_fd >= 0)
        shutdown(m_fd, SHUT_RDWR);
}
