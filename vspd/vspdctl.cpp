// libvspdctl.so: CreatePair/DeletePair for the virtual serial port pairs on Linux.
// Plain C++ and POSIX: the library is loaded into the program at run time and must
// not bring a toolkit of its own.

#include "vspdctl.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kLinkWaitMs = 2000;   // socat makes its links within ~10 ms
constexpr int kStopWaitMs = 1000;   // after SIGTERM, before SIGKILL
constexpr int kPollMs = 5;

// One caller at a time inside the process; the directory lock below covers other
// processes of the same user.
std::mutex g_callMutex;

void sleepMs(int ms)
{
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// "<prefix>n" with n from 1 to 255 in decimal without leading zeros.
bool parsePortName(const char *name, const char *prefix, int *number)
{
    if (!name)
        return false;
    const size_t prefixLength = std::strlen(prefix);
    if (std::strncmp(name, prefix, prefixLength) != 0)
        return false;
    const char *digits = name + prefixLength;
    const size_t count = std::strlen(digits);
    if (count == 0 || count > 3 || digits[0] == '0')
        return false;
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (digits[i] < '0' || digits[i] > '9')
            return false;
        value = value * 10 + (digits[i] - '0');
    }
    if (value > 255)
        return false;
    *number = value;
    return true;
}

// $VSPD_DIR, else $XDG_RUNTIME_DIR/vspd, else /tmp/vspd-<uid>; created with mode 0700.
// Empty when it cannot be used: not a directory of this user, or a path that socat's
// address syntax would split.
std::string pairDirectory()
{
    std::string dir;
    const char *value = std::getenv("VSPD_DIR");
    if (value && *value) {
        dir = value;
    } else if ((value = std::getenv("XDG_RUNTIME_DIR")) && *value) {
        dir = std::string(value) + "/vspd";
    } else {
        dir = "/tmp/vspd-" + std::to_string(getuid());
    }
    if (dir[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return std::string();
        dir = std::string(cwd) + "/" + dir;
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();

    struct stat st;
    if (lstat(dir.c_str(), &st) != 0) {
        for (size_t pos = dir.find('/', 1); pos != std::string::npos; pos = dir.find('/', pos + 1)) {
            const std::string parent = dir.substr(0, pos);
            if (mkdir(parent.c_str(), 0777) != 0 && errno != EEXIST)
                return std::string();
        }
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return std::string();
        if (lstat(dir.c_str(), &st) != 0)
            return std::string();
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return std::string();
    if (dir.find_first_of(",:!'\"\\[]{}()") != std::string::npos)
        return std::string();
    return dir;
}

class DirectoryLock
{
public:
    explicit DirectoryLock(const std::string &dir)
        : m_fd(open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd < 0)
            return;
        while (flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~DirectoryLock()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    DirectoryLock(const DirectoryLock &) = delete;
    DirectoryLock &operator=(const DirectoryLock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

struct PairPaths
{
    PairPaths(const std::string &dir, int n)
        : userSide(dir + "/COM" + std::to_string(n)),
          toolSide(dir + "/PENT" + std::to_string(n)),
          pidFile(userSide + ".pid")
    {
    }
    std::string userSide;
    std::string toolSide;
    std::string pidFile;
};

std::string ptyAddress(const std::string &link)
{
    return "pty,raw,echo=0,link=" + link;
}

bool readSmallFile(const std::string &path, std::string *content)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content->clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        content->append(buffer, static_cast<size_t>(n));
        if (content->size() > 65536)
            break;
    }
    close(fd);
    return true;
}

// -1: no pid file; 0: a pid file without a usable pid; else the pid.
pid_t readPid(const std::string &pidFile)
{
    std::string text;
    if (!readSmallFile(pidFile, &text))
        return errno == ENOENT ? -1 : 0;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || value <= 0 || value > INT_MAX)
        return 0;
    return static_cast<pid_t>(value);
}

bool writePidFile(const std::string &pidFile, pid_t pid)
{
    const std::string temporary = pidFile + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const std::string text = std::to_string(pid) + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written || rename(temporary.c_str(), pidFile.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Running and not a zombie (nobody may reap a detached socat that has ended).
bool processRunning(pid_t pid)
{
    std::string stat;
    if (!readSmallFile("/proc/" + std::to_string(pid) + "/stat", &stat))
        return false;
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return false;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X';
}

// The running socat of this pair (a reused pid is somebody else).
bool isPairSocat(pid_t pid, const PairPaths &pair)
{
    if (!processRunning(pid))
        return false;
    std::string cmdline;
    if (!readSmallFile("/proc/" + std::to_string(pid) + "/cmdline", &cmdline))
        return false;
    const std::string wanted = ptyAddress(pair.userSide);
    bool first = true;
    bool socat = false;
    bool link = false;
    size_t start = 0;
    while (start < cmdline.size()) {
        size_t end = cmdline.find('\0', start);
        if (end == std::string::npos)
            end = cmdline.size();
        const std::string arg = cmdline.substr(start, end - start);
        if (first) {
            const size_t slash = arg.rfind('/');
            socat = (slash == std::string::npos ? arg : arg.substr(slash + 1)) == "socat";
            first = false;
        } else if (arg == wanted) {
            link = true;
        }
        start = end + 1;
    }
    return socat && link;
}

enum class LinkState { Missing, Dangling, Present };

LinkState linkState(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return LinkState::Missing;
    if (stat(path.c_str(), &st) != 0)
        return LinkState::Dangling;
    return LinkState::Present;
}

void removePair(const PairPaths &pair)
{
    unlink(pair.userSide.c_str());
    unlink(pair.toolSide.c_str());
    unlink(pair.pidFile.c_str());
}

bool stopProcess(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int waited = 0; waited < kStopWaitMs && processRunning(pid); waited += kPollMs)
        sleepMs(kPollMs);
    if (processRunning(pid)) {
        kill(pid, SIGKILL);
        for (int waited = 0; waited < kStopWaitMs && processRunning(pid); waited += kPollMs)
            sleepMs(kPollMs);
    }
    return !processRunning(pid);
}

// Whether any process but `except` has one of `paths` open (scans /proc/*/fd). When
// /proc cannot be read the answer is yes: a pair is never removed under a user.
bool heldOpenElsewhere(pid_t except, const std::vector<std::string> &paths)
{
    if (paths.empty())
        return false;
    DIR *proc = opendir("/proc");
    if (!proc)
        return true;
    bool held = false;
    while (!held) {
        const struct dirent *process = readdir(proc);
        if (!process)
            break;
        char *end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (end == process->d_name || *end != '\0' || pid <= 0 || pid == except)
            continue;
        DIR *fds = opendir(("/proc/" + std::string(process->d_name) + "/fd").c_str());
        if (!fds)
            continue;
        while (!held) {
            const struct dirent *fd = readdir(fds);
            if (!fd)
                break;
            if (fd->d_name[0] == '.')
                continue;
            char target[PATH_MAX];
            const ssize_t length = readlinkat(dirfd(fds), fd->d_name, target, sizeof target - 1);
            if (length <= 0)
                continue;
            target[length] = '\0';
            for (const std::string &path : paths) {
                if (path == target) {
                    held = true;
                    break;
                }
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return held;
}

std::string findProgram(const char *name)
{
    const char *path = std::getenv("PATH");
    std::string list = (path && *path) ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        std::string dir = list.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

void closeDescriptorsFrom(int first, long limit)
{
#ifdef SYS_close_range
    if (syscall(SYS_close_range, static_cast<unsigned int>(first), ~0U, 0U) == 0)
        return;
#endif
    for (long fd = first; fd < limit; ++fd)
        close(static_cast<int>(fd));
}

bool readFully(int fd, void *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, static_cast<char *>(data) + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Starts `socat <pty user side> <pty tool side>` detached from the caller (its own
// session, no descriptor of the caller but /dev/null), so that it outlives the caller.
// Answers its pid, or -1 when it could not be started.
pid_t startSocat(const PairPaths &pair)
{
    const std::string program = findProgram("socat");
    if (program.empty())
        return -1;
    std::string userAddress = ptyAddress(pair.userSide);
    std::string toolAddress = ptyAddress(pair.toolSide);
    char argv0[] = "socat";
    char *argv[] = {argv0, &userAddress[0], &toolAddress[0], nullptr};
    long limit = sysconf(_SC_OPEN_MAX);
    if (limit < 0 || limit > 65536)
        limit = 65536;

    int pidPipe[2];
    int errorPipe[2];
    if (pipe2(pidPipe, O_CLOEXEC) != 0)
        return -1;
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        close(pidPipe[0]);
        close(pidPipe[1]);
        return -1;
    }

    // Only async-signal-safe calls between fork and exec.
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            const int defaults[] = {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2};
            for (int sig : defaults)
                signal(sig, SIG_DFL);
            int errorFd = fcntl(errorPipe[1], F_DUPFD_CLOEXEC, 3);
            const int devNull = open("/dev/null", O_RDWR);
            if (errorFd < 0 || devNull < 0)
                _exit(127);
            dup2(devNull, 0);
            dup2(devNull, 1);
            dup2(devNull, 2);
            if (errorFd != 3) {
                dup2(errorFd, 3);
                fcntl(3, F_SETFD, FD_CLOEXEC);
                errorFd = 3;
            }
            closeDescriptorsFrom(4, limit);
            execv(program.c_str(), argv);
            const int error = errno;
            ssize_t ignored = write(errorFd, &error, sizeof error);
            (void)ignored;
            _exit(127);
        }
        ssize_t ignored = write(pidPipe[1], &grandchild, sizeof grandchild);
        (void)ignored;
        _exit(0);
    }
    close(pidPipe[1]);
    close(errorPipe[1]);
    if (child < 0) {
        close(pidPipe[0]);
        close(errorPipe[0]);
        return -1;
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_t socat = -1;
    if (!readFully(pidPipe[0], &socat, sizeof socat))
        socat = -1;
    int execError = 0;
    // End of file: exec succeeded (the descriptor closed on exec).
    const bool execFailed = readFully(errorPipe[0], &execError, sizeof execError);
    close(pidPipe[0]);
    close(errorPipe[0]);
    if (execFailed || socat <= 0)
        return -1;
    return socat;
}

// Runs `body` for pair `number` with both locks held: one caller of this process at a
// time, and one process at a time in the pair directory.
template <typename Body>
bool withPairLocked(int number, Body body)
{
    std::lock_guard<std::mutex> guard(g_callMutex);
    const std::string dir = pairDirectory();
    if (dir.empty())
        return false;
    DirectoryLock lock(dir);
    if (!lock.held())
        return false;
    return body(PairPaths(dir, number));
}

// CreatePair with the locks held and the names checked.
bool createLocked(const PairPaths &pair)
{
    const pid_t recorded = readPid(pair.pidFile);
    if (recorded > 0 && isPairSocat(recorded, pair))
        return false;
    // A pid file without its socat: the remains of a pair that was killed. Without a
    // pid file only dangling links may be cleared; anything live is not ours.
    const bool remains = recorded >= 0;
    for (const std::string *path : {&pair.userSide, &pair.toolSide}) {
        if (linkState(*path) == LinkState::Present && !remains)
            return false;
    }
    removePair(pair);

    const pid_t socat = startSocat(pair);
    if (socat <= 0)
        return false;
    if (!writePidFile(pair.pidFile, socat)) {
        stopProcess(socat);
        removePair(pair);
        return false;
    }
    for (int waited = 0;; waited += kPollMs) {
        if (linkState(pair.userSide) == LinkState::Present
            && linkState(pair.toolSide) == LinkState::Present)
            return true;
        if (waited >= kLinkWaitMs || !processRunning(socat))
            break;
        sleepMs(kPollMs);
    }
    stopProcess(socat);
    removePair(pair);
    return false;
}

// DeletePair with the locks held and the name checked.
bool deleteLocked(const PairPaths &pair)
{
    const pid_t socat = readPid(pair.pidFile);
    if (socat < 0)
        return false;
    if (socat == 0 || !isPairSocat(socat, pair)) {
        // The pair's socat has ended already: only its remains are left.
        removePair(pair);
        return true;
    }

    std::vector<std::string> slaves;
    for (const std::string *path : {&pair.userSide, &pair.toolSide}) {
        if (char *resolved = realpath(path->c_str(), nullptr)) {
            slaves.emplace_back(resolved);
            std::free(resolved);
        }
    }
    if (heldOpenElsewhere(socat, slaves))
        return false;
    if (!stopProcess(socat))
        return false;
    removePair(pair);
    return true;
}

} // namespace

extern "C" bool CreatePair(const char *userSide, const char *toolSide)
{
    int userNumber = 0;
    int toolNumber = 0;
    if (!parsePortName(userSide, "COM", &userNumber) || !parsePortName(toolSide, "PENT", &toolNumber)
        || userNumber != toolNumber)
        return false;

    return withPairLocked(userNumber, createLocked);
}

extern "C" bool DeletePair(const char *userSide)
{
    int number = 0;
    if (!parsePortName(userSide, "COM", &number))
        return false;

    return withPairLocked(number, deleteLocked);
}
