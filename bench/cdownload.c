/* A minimal blocking firmware download over the relay link, in C with plain sockets:
 * the yardstick for the tool's download worker in the benchmark. It speaks the same
 * bytes as the worker (registration, go-ahead, model query, announcement, numbered
 * data frames each acknowledged, end command) and nothing more: no texts, no retries
 * beyond the frame's ten attempts, the image read whole before the link opens.
 *
 *   vantelo-bench-cdownload HOST PORT IMEI IMAGE FRAME_SIZE [RESIDENT_KIB]
 *
 * RESIDENT_KIB: before the link opens, the process touches anonymous memory until it
 * holds that much resident. On a machine whose wake-ups cost more the more a process
 * holds (a hypervisor that shadows page tables), this gives the yardstick the tool's
 * own size, so that what the tool's code costs can be told from what its size costs.
 *
 * Prints "ok FRAMES BYTES SECONDS CPU_NS", the time and the thread's CPU from the first
 * data frame to the last acknowledgement, and a second line "intervals US…": the CPU per
 * frame in each interval of 250 ms; or "failed WHAT" (exit 1).
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kCommand = 35, kAttempts = 10, kMagicSize = 17, kIntervalMs = 250 };
static const char kMagic[kMagicSize + 1] = "QuindarVelostemix";
static const char kGoAhead[] = "start$_$";

static int64_t nowNs(clockid_t clock)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

static void put32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

static uint32_t sum(const unsigned char *p, size_t n)
{
    uint32_t s = 0;
    for (size_t i = 0; i < n; ++i)
        s += p[i];
    return s;
}

static int sendAll(int fd, const void *p, size_t n)
{
    const char *c = p;
    while (n > 0) {
        const ssize_t w = send(fd, c, n, MSG_NOSIGNAL);
        if (w <= 0)
            return -1;
        c += w;
        n -= (size_t)w;
    }
    return 0;
}

/* One reply: whatever one read brings (at most sizeof buf), as the worker reads it. */
static ssize_t reply(int fd, unsigned char *buf, size_t size)
{
    return recv(fd, buf, size, 0);
}

static int command(int fd, unsigned char code, uint32_t size, uint32_t check)
{
    unsigned char frame[kCommand] = {0};
    memcpy(frame, kMagic, kMagicSize);
    frame[17] = code;
    put32(frame + 21, size);
    put32(frame + 25, check);
    memcpy(frame + 32, "$_$", 3);
    return sendAll(fd, frame, sizeof frame);
}

/* 1 accepted, 0 not. */
static int acked(int fd)
{
    unsigned char buf[64];
    const ssize_t n = reply(fd, buf, sizeof buf);
    return n > 0 && (buf[0] == 'K' || buf[0] == 'O');
}

/* The process's resident memory in KiB (VmRSS), -1 when unknown. */
static long residentKiB(void)
{
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0)
            kib = atol(line + 6);
    if (status)
        fclose(status);
    return kib;
}

/* Touches anonymous pages until the process holds at least target KiB; 0 on success. */
static int growResident(long target)
{
    const long now = residentKiB();
    if (now < 0)
        return -1;
    if (now >= target)
        return 0;
    const size_t bytes = (size_t)(target - now) * 1024;
    char *pad = mmap(NULL, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pad == MAP_FAILED)
        return -1;
    for (size_t at = 0; at < bytes; at += 4096)
        pad[at] = 1;
    return 0;
}

static int fail(const char *what)
{
    printf("failed %s\n", what);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 6 && argc != 7) {
        fprintf(stderr, "usage: %s HOST PORT IMEI IMAGE FRAME_SIZE [RESIDENT_KIB]\n", argv[0]);
        return 2;
    }
    const int frameSize = atoi(argv[5]);
    if (frameSize < 9)
        return fail("frame size");
    const size_t chunk = (size_t)frameSize - 8;

    FILE *f = fopen(argv[4], "rb");
    if (!f)
        return fail("image");
    fseek(f, 0, SEEK_END);
    const long imageSize = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char *image = malloc((size_t)imageSize + 1);
    if (!image || fread(image, 1, (size_t)imageSize, f) != (size_t)imageSize)
        return fail("image");
    fclose(f);
    if (argc == 7 && growResident(atol(argv[6])) != 0)
        return fail("resident memory");

    struct addrinfo hints = {0}, *ai = NULL;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(argv[1], argv[2], &hints, &ai) != 0 || !ai)
        return fail("address");
    const int fd = socket(ai->ai_family, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, ai->ai_addr, ai->ai_addrlen) != 0)
        return fail("connect");
    freeaddrinfo(ai);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    char reg[128];
    const int regLen = snprintf(reg, sizeof reg, "%s1,1$_$", argv[3]);
    unsigned char buf[64];
    if (regLen <= 0 || sendAll(fd, reg, (size_t)regLen) != 0)
        return fail("registration");
    const ssize_t got = reply(fd, buf, sizeof buf - 1);
    if (got <= 0)
        return fail("go-ahead");
    buf[got] = 0;
    if (strcmp((const char *)buf, kGoAhead) != 0)
        return fail("go-ahead");

    if (command(fd, 'F', 0, 0) != 0 || reply(fd, buf, sizeof buf) <= 0)
        return fail("model query");
    if (command(fd, 'i', (uint32_t)imageSize, sum(image, (size_t)imageSize)) != 0 || !acked(fd))
        return fail("announcement");

    /* One buffer for every frame: index, checksum, chunk, trailer. */
    unsigned char *frame = malloc(chunk + 11);
    if (!frame)
        return fail("memory");
    const int64_t start = nowNs(CLOCK_MONOTONIC);
    const int64_t cpuStart = nowNs(CLOCK_THREAD_CPUTIME_ID);
    uint32_t index = 0;
    long offset = 0;
    long frames = 0;
    /* The CPU per frame of the frames of each interval of kIntervalMs, taken at the rate
     * the tool reports its progress, so that both sides are measured the same way. */
    double *intervals = malloc(sizeof(double) * ((size_t)imageSize / chunk + 2));
    size_t intervalCount = 0;
    int64_t sampleAt = start, sampleCpu = cpuStart;
    long sampleFrames = 0;
    if (!intervals)
        return fail("memory");
    while (offset < imageSize) {
        const size_t n = (size_t)(imageSize - offset) < chunk ? (size_t)(imageSize - offset) : chunk;
        put32(frame, index);
        put32(frame + 4, sum(image + offset, n));
        memcpy(frame + 8, image + offset, n);
        memcpy(frame + 8 + n, "$_$", 3);
        int attempt = 0;
        for (; attempt < kAttempts; ++attempt) {
            if (sendAll(fd, frame, n + 11) != 0)
                return fail("send");
            if (acked(fd))
                break;
        }
        if (attempt == kAttempts)
            return fail("data frame");
        offset += (long)n;
        ++index;
        ++frames;
        const int64_t now = nowNs(CLOCK_MONOTONIC);
        if (now - sampleAt >= kIntervalMs * 1000000LL || offset == imageSize) {
            const int64_t cpuNow = nowNs(CLOCK_THREAD_CPUTIME_ID);
            intervals[intervalCount++] = (double)(cpuNow - sampleCpu) / 1e3 / (double)(frames - sampleFrames);
            sampleAt = now;
            sampleCpu = cpuNow;
            sampleFrames = frames;
        }
    }
    const int64_t cpu = nowNs(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
    const int64_t elapsed = nowNs(CLOCK_MONOTONIC) - start;
    if (command(fd, '5', 0, 0) != 0 || !acked(fd))
        return fail("end");
    close(fd);
    printf("ok %ld %ld %.6f %lld\nintervals", frames, offset, (double)elapsed / 1e9, (long long)cpu);
    for (size_t i = 0; i < intervalCount; ++i)
        printf(" %.3f", intervals[i]);
    printf("\n");
    free(intervals);
    free(frame);
    free(image);
    return 0;
}
