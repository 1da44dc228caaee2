/* A small echo server for the pass-through benchmark: the far end of the same-hops
 * chains, standing where the relay and the panel stand. It serves one connection at a
 * time on 127.0.0.1 and sends every byte back as it arrives (one read, one write).
 * With --relay it first plays the relay's side of a registration: it reads up to the
 * first "$_$" and answers "start$_$", then echoes.
 *
 *   vantelo-bench-cecho PORT [--relay]
 *
 * Prints "ready" once it listens.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static int sendAll(int fd, const char *p, size_t n)
{
    while (n > 0) {
        const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return -1;
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

/* Reads the registration up to its "$_$"; bytes after it are echoed. */
static int registration(int fd, char *buf, size_t size, size_t *rest, size_t *restAt)
{
    size_t have = 0;
    for (;;) {
        const ssize_t r = recv(fd, buf + have, size - have, 0);
        if (r <= 0)
            return -1;
        have += (size_t)r;
        const char *end = memmem(buf, have, "$_$", 3);
        if (end) {
            *restAt = (size_t)(end - buf) + 3;
            *rest = have - *restAt;
            return sendAll(fd, "start$_$", 8);
        }
        if (have == size)
            return -1;
    }
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s PORT [--relay]\n", argv[0]);
        return 2;
    }
    const int relay = argc > 2 && strcmp(argv[2], "--relay") == 0;
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in addr = {0};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)atoi(argv[1]));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(server, (struct sockaddr *)&addr, sizeof addr) != 0 || listen(server, 4) != 0) {
        perror("listen");
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    static char buf[65536];
    for (;;) {
        const int fd = accept(server, NULL, NULL);
        if (fd < 0)
            continue;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        size_t rest = 0, restAt = 0;
        if (relay && (registration(fd, buf, sizeof buf, &rest, &restAt) != 0
                      || (rest > 0 && sendAll(fd, buf + restAt, rest) != 0))) {
            close(fd);
            continue;
        }
        for (;;) {
            const ssize_t r = recv(fd, buf, sizeof buf, 0);
            if (r <= 0 || sendAll(fd, buf, (size_t)r) != 0)
                break;
        }
        close(fd);
    }
}
