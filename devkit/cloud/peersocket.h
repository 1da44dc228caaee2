#ifndef PEERSOCKET_H
#define PEERSOCKET_H

#include <string>

// The accepted TCP socket of one request, found by its endpoints among the process's
// open descriptors. The HTTP library does not hand the socket to request handlers; a
// handler that holds back its answer uses this to notice that the client has left and
// to end the connection without an answer.
class PeerSocket
{
public:
    PeerSocket(const std::string &remoteAddr, int remotePort, int localPort);

    bool isValid() const { return m_fd >= 0; }

    // Waits up to ms milliseconds for the client to close its side or for the
    // connection to break; true when it has.
    bool waitGone(int ms) const;

    // Shuts the connection down both ways, so that nothing more reaches the client.
    void shutDown();

private:
    int m_fd = -1;
};

#endif // PEERSOCKET_H
