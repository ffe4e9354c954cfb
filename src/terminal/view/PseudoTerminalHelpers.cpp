#include "PseudoTerminalHelpers.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#if defined(__APPLE__)
#include <util.h>
#else
#include <pty.h>
#include <utmp.h> // login_tty
#endif

namespace {

unsigned short clampShort(long long v)
{
    return static_cast<unsigned short>(std::clamp<long long>(v, 0, 65535));
}

// A NULL-terminated vector of C strings that point into `storage`; both live for the call.
std::vector<char*> cStringVector(const std::vector<std::string>& storage)
{
    std::vector<char*> out;
    out.reserve(storage.size() + 1);
    for (const std::string& s : storage)
        out.push_back(const_cast<char*>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

// Everything below runs in the forked child of a multi-threaded parent: only async-signal-safe
// calls, no allocation, no locks.
void writeAll(int fd, const char* text, size_t len)
{
    while (len > 0) {
        ssize_t r = ::write(fd, text, len);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return;
        text += r;
        len -= size_t(r);
    }
}

void writeText(int fd, const char* text)
{
    writeAll(fd, text, std::strlen(text));
}

void closeDescriptorsAbove2(int maxFd)
{
#if defined(__linux__) && defined(SYS_close_range)
    if (::syscall(SYS_close_range, 3u, ~0u, 0u) == 0)
        return;
#endif
    for (int fd = 3; fd < maxFd; ++fd)
        ::close(fd);
}

void resetSignals()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &sa, nullptr); // SIGKILL, SIGSTOP and reserved signals fail harmlessly
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Why starting one more process would leave fewer tasks than the reserve under the user's task
// limit, or an empty string. Root is not held to the limit.
std::string taskLimitRefusal()
{
    struct rlimit rl;
    if (::getrlimit(RLIMIT_NPROC, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY || ::getuid() == 0)
        return {};
    const long long inUse = PseudoTerminalHelpers::userTaskCount(::getuid());
    if (inUse < 0)
        return {};
    const long long limit = (long long)rl.rlim_cur;
    if (limit - inUse - 1 >= PseudoTerminalHelpers::taskReserve())
        return {};
    return "the user's task limit of " + std::to_string(limit) + " is nearly reached (" + std::to_string(inUse)
           + " in use), and the rest is kept for the application itself";
}

} // namespace

long long PseudoTerminalHelpers::taskReserve()
{
    return std::max(4u, std::thread::hardware_concurrency()) + 8;
}

long long PseudoTerminalHelpers::userTaskCount(uid_t uid)
{
#if defined(__linux__)
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return -1;
    long long tasks = 0;
    char path[64];
    char line[256];
    while (dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        std::snprintf(path, sizeof path, "/proc/%s/status", e->d_name);
        FILE* f = std::fopen(path, "re");
        if (!f)
            continue; // gone meanwhile
        bool mine = false;
        long long threads = 0;
        while (std::fgets(line, sizeof line, f)) {
            unsigned long real = 0;
            if (std::sscanf(line, "Uid: %lu", &real) == 1)
                mine = uid_t(real) == uid;
            else if (std::sscanf(line, "Threads: %lld", &threads) == 1)
                break; // Threads comes after Uid
        }
        std::fclose(f);
        if (mine)
            tasks += std::max(threads, 1LL);
    }
    ::closedir(proc);
    return tasks;
#else
    (void)uid;
    return -1;
#endif
}

winsize makeWindowSize(long long rows, long long cols, long long pixelWidth, long long pixelHeight)
{
    winsize ws{};
    ws.ws_row = clampShort(rows);
    ws.ws_col = clampShort(cols);
    ws.ws_xpixel = clampShort(pixelWidth);
    ws.ws_ypixel = clampShort(pixelHeight);
    return ws;
}

std::optional<PseudoTerminalHelpers::Child>
PseudoTerminalHelpers::forkAndExec(const std::string& executable, const std::vector<std::string>& args,
                                   const std::vector<std::string>& env,
                                   const std::optional<std::string>& currentDirectory, winsize& desiredWindowSize,
                                   std::string* error)
{
    // Prepared before the fork: the child may not allocate.
    std::vector<char*> argv = cStringVector(args);
    std::vector<char*> envp = cStringVector(env);
    const char* path = executable.c_str();
    const char* dir = currentDirectory ? currentDirectory->c_str() : nullptr;
    int maxFd = 1024;
    struct rlimit rl;
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
        maxFd = int(std::min<rlim_t>(rl.rlim_cur, 1 << 20));

    // forkpty in two steps, so that a failure says which of the two was refused.
    const auto fail = [error](const char* what) {
        if (error)
            *error = std::string(what) + " (" + std::strerror(errno) + ")";
        return std::nullopt;
    };
    if (std::string refusal = taskLimitRefusal(); !refusal.empty()) {
        if (error)
            *error = "no new process could be made (" + refusal + ")";
        return std::nullopt;
    }
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, &desiredWindowSize) != 0)
        return fail("no pseudo-terminal could be opened");
    pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(master);
        ::close(slave);
        errno = err;
        return fail("no new process could be made");
    }
    if (pid == 0) {
        // The slave becomes the controlling terminal of a new session and the standard streams.
        ::close(master);
        if (::login_tty(slave) != 0)
            ::_exit(127);
        if (dir)
            (void)::chdir(dir);
        resetSignals();
        closeDescriptorsAbove2(maxFd);
        ::execve(path, argv.data(), envp.data());
        int err = errno;
        writeText(2, "\r\nCannot run ");
        writeText(2, path);
        writeText(2, err == ENOENT ? ": no such file\r\n"
                     : err == EACCES ? ": permission denied\r\n"
                     : err == ENOEXEC ? ": not an executable\r\n"
                                      : ": the program could not be started\r\n");
        ::_exit(127);
    }

    ::close(slave); // the child's now
    // Our other children must not inherit the master, and reading it must never block.
    int fdFlags = ::fcntl(master, F_GETFD);
    ::fcntl(master, F_SETFD, fdFlags | FD_CLOEXEC);
    int flFlags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flFlags | O_NONBLOCK);
    return Child{pid, master};
}

int PseudoTerminalHelpers::setWinSize(int masterPtyDescriptor, winsize& windowSize)
{
    return ::ioctl(masterPtyDescriptor, TIOCSWINSZ, &windowSize);
}

std::pair<int, int> PseudoTerminalHelpers::availableBytes(int fd)
{
    int size = 0;
    int status = ::ioctl(fd, FIONREAD, &size);
    return {status, size};
}
