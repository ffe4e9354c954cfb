#include "PseudoTerminalHelpers.h"

#include <algorithm>
#include <cctype>
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

// The first line of a small file, without its line end; nothing when it cannot be read.
std::optional<std::string> firstLine(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "re");
    if (!f)
        return std::nullopt;
    char buf[256];
    const bool got = std::fgets(buf, sizeof buf, f) != nullptr;
    std::fclose(f);
    if (!got)
        return std::nullopt;
    std::string line(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::vector<std::string> linesOf(const std::string& path)
{
    std::vector<std::string> lines;
    FILE* f = std::fopen(path.c_str(), "re");
    if (!f)
        return lines;
    std::string line;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
        } else if (line.size() < 8192) {
            line.push_back(char(c));
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    std::fclose(f);
    return lines;
}

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(sep, from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

// A whole non-negative decimal number, or nothing.
std::optional<long long> wholeNumber(const std::string& text)
{
    if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(text);
}

// mountinfo writes blanks, tabs, newlines and backslashes in paths as octal escapes ("\040").
std::string unescapeMountPath(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && std::isdigit((unsigned char)text[i + 1]) && std::isdigit((unsigned char)text[i + 2])
            && std::isdigit((unsigned char)text[i + 3])) {
            out.push_back(char((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// A cgroup file system as mounted: where, and which of its groups its top is (not "/" where
// only a part of the hierarchy is visible, as in some containers).
struct CgroupMount {
    std::string root;
    std::string mountPoint;
};

// The unified hierarchy (cgroup2) or the v1 hierarchy that has the pids controller.
std::optional<CgroupMount> findCgroupMount(const std::string& fsRoot, bool unified)
{
    for (const std::string& line : linesOf(fsRoot + "/proc/self/mountinfo")) {
        // id parent major:minor root mount-point options [optional fields] - type source super-options
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        const std::vector<std::string> before = split(line.substr(0, dash), ' ');
        const std::vector<std::string> after = split(line.substr(dash + 3), ' ');
        if (before.size() < 5 || after.empty())
            continue;
        bool match = false;
        if (unified) {
            match = after[0] == "cgroup2";
        } else if (after[0] == "cgroup" && after.size() >= 3) {
            const std::vector<std::string> options = split(after[2], ',');
            match = std::find(options.begin(), options.end(), "pids") != options.end();
        }
        if (match)
            return CgroupMount{unescapeMountPath(before[3]), unescapeMountPath(before[4])};
    }
    return std::nullopt;
}

// The process's group in the unified hierarchy ("0::/path") or in the pids controller's
// ("N:pids,...:/path").
std::optional<std::string> ownCgroup(const std::string& fsRoot, bool unified)
{
    for (const std::string& line : linesOf(fsRoot + "/proc/self/cgroup")) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string id = line.substr(0, first);
        const std::vector<std::string> controllers = split(line.substr(first + 1, second - first - 1), ',');
        const std::string path = line.substr(second + 1);
        if (unified ? (id == "0" && controllers == std::vector<std::string>{""})
                    : std::find(controllers.begin(), controllers.end(), "pids") != controllers.end())
            return path;
    }
    return std::nullopt;
}

void addLevels(const std::string& fsRoot, bool unified, std::vector<PseudoTerminalHelpers::CgroupTaskLimit>& out)
{
    const std::optional<CgroupMount> mount = findCgroupMount(fsRoot, unified);
    const std::optional<std::string> own = ownCgroup(fsRoot, unified);
    if (!mount || !own || mount->mountPoint.empty() || mount->mountPoint[0] != '/')
        return;
    std::string top = mount->mountPoint;
    while (top.size() > 1 && top.back() == '/')
        top.pop_back();
    // The group's path below the mount's top; a group outside what is mounted (or one given
    // with "..", as from another cgroup namespace) leaves only the top to read.
    std::string below;
    const std::string& rootOfMount = mount->root;
    if (rootOfMount == "/")
        below = *own;
    else if (own->compare(0, rootOfMount.size(), rootOfMount) == 0
             && (own->size() == rootOfMount.size() || (*own)[rootOfMount.size()] == '/'))
        below = own->substr(rootOfMount.size());
    if (below.find("/..") != std::string::npos || (!below.empty() && below[0] != '/'))
        below.clear();
    while (!below.empty() && below.back() == '/')
        below.pop_back();

    for (std::string folder = top + below;;) {
        const std::optional<std::string> max = firstLine(fsRoot + folder + "/pids.max");
        const std::optional<std::string> current = firstLine(fsRoot + folder + "/pids.current");
        const std::optional<long long> limit = max ? wholeNumber(*max) : std::nullopt;
        const std::optional<long long> inUse = current ? wholeNumber(*current) : std::nullopt;
        if (limit && inUse)
            out.push_back({*limit, *inUse, folder});
        if (folder.size() <= top.size())
            break;
        folder.erase(folder.rfind('/'));
        if (folder.size() < top.size())
            folder = top;
    }
}

} // namespace

std::vector<PseudoTerminalHelpers::CgroupTaskLimit> PseudoTerminalHelpers::cgroupTaskLimits(const std::string& fsRoot)
{
    std::vector<CgroupTaskLimit> limits;
#if defined(__linux__)
    addLevels(fsRoot, true, limits);
    addLevels(fsRoot, false, limits);
#else
    (void)fsRoot;
#endif
    return limits;
}

std::string PseudoTerminalHelpers::taskLimitRefusal(const std::string& fsRoot)
{
    const long long reserve = taskReserve();
    const std::string kept = ", and the rest is kept for the application itself";
    // The user's limit: root is not held to it.
    struct rlimit rl;
    if (::getrlimit(RLIMIT_NPROC, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && ::getuid() != 0) {
        const long long inUse = userTaskCount(::getuid());
        const long long limit = (long long)rl.rlim_cur;
        if (inUse >= 0 && limit - inUse - 1 < reserve)
            return "the user's task limit of " + std::to_string(limit) + " is nearly reached (" + std::to_string(inUse)
                 + " in use)" + kept;
    }
    // A control group's limit holds for every process in it and below it, root included.
    for (const CgroupTaskLimit& level : cgroupTaskLimits(fsRoot))
        if (level.max - level.current - 1 < reserve)
            return "the task limit of " + std::to_string(level.max) + " of the control group " + level.folder
                 + " is nearly reached (" + std::to_string(level.current) + " in use)" + kept;
    return {};
}

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
