// brinmoor-reaper: runs an agent CLI so that nothing the CLI starts outlives it.
//
//     brinmoor-reaper PROGRAM [ARGS...]
//     BRINMOOR_REAPER_PROGRAM=PROGRAM brinmoor-reaper [ARGS...]
//
// The second form is for launchers that name the executable but pass it arguments of their own
// (the Codex SDK): the variable is removed before the program starts. BRINMOOR_REAPER_ARG, when
// set, is the program's first argument, before those of the command line: the app starts a
// sidecar this way (`node` and its script), so that only the sidecar itself shows its script's
// name among the running processes. It is removed too.
//
// With BRINMOOR_REAPER_HAND_OVER=1 (removed as well), a program that exits with status 0 leaves
// what it started in sessions of its own to the subreaper above this helper instead: the Codex
// sidecar runs one codex per turn this way, under the session-long helper it was itself started
// through, so that a server the agent started lives as long as the pane's session and not only
// as long as the turn. A program that fails or is killed still takes everything with it.
//
// SIGUSR2 from the parent is not passed on: it says that the program's coming end, however it
// ends, is the parent's own doing (Stop, an agent that stopped answering), and that the parent ends
// the command the program runs itself. What is left below this helper then is handed on as above:
// what an agent left running on its own (a server) belongs to the pane's session, not to the
// program that started it. The parent sends it only when there is a subreaper above to take it.
//
// Both agent CLIs run each tool's shell in a session of its own, so when the CLI dies (a crash, an
// out-of-memory kill, SIGKILL) its commands are re-parented to init and run on with nobody to see
// them; the process group and session the sidecar leads no longer hold them. On Linux this helper
// makes itself a child subreaper: whatever its descendants orphan comes back to it, and once its
// own child (the CLI) has ended, it ends every process left below it (SIGTERM first, so that a
// server or database can close its files; SIGKILL for what still runs after a short grace), reaps
// them all, and only then exits, the way the CLI did (same exit code, same signal). Whoever waits
// on it therefore learns of the CLI's end only when nothing the CLI started is left running.
// Signals sent to the helper by its parent (SIGTERM from an SDK closing the CLI, SIGINT, SIGHUP,
// …) go on to the CLI, SIGUSR2 aside.
//
// Elsewhere (macOS) there is no subreaper: the helper forwards signals and the exit status, and the
// CLI stays in the sidecar's process group, where the app's own clean-up finds it.
//
// Standard C++ and POSIX only: this runs before and without Qt.

#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>

#ifdef __linux__
#include <dirent.h>
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// What the parent may send to end or wake the CLI; each is passed on to it.
constexpr int forwarded[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGWINCH};
// What the parent sends to have what is left at the program's end handed on (see the top).
constexpr int handOverSignal = SIGUSR2;
// How long what is left below gets between SIGTERM and SIGKILL: as long as a terminal pane's shell
// gets.
[[maybe_unused]] constexpr int endGraceMs = 2000;

void say(const std::string& text)
{
    const std::string line = "brinmoor-reaper: " + text + "\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
}

#ifdef __linux__
// Every live process below this one (zombies have nothing left to kill).
std::vector<pid_t> descendants()
{
    std::multimap<pid_t, pid_t> children;
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(proc)) {
            char* end = nullptr;
            const long pid = std::strtol(e->d_name, &end, 10);
            if (pid <= 0 || *end)
                continue;
            char path[64];
            std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;  // ended meanwhile
            char buf[1024];
            const ssize_t got = ::read(fd, buf, sizeof buf - 1);
            ::close(fd);
            if (got <= 0)
                continue;
            buf[got] = '\0';
            // The command name may hold spaces and parentheses: the fields start after the last ')'.
            const char* close = std::strrchr(buf, ')');
            char state = 0;
            long parent = 0;
            if (!close || std::sscanf(close + 1, " %c %ld", &state, &parent) != 2 || state == 'Z' || state == 'X')
                continue;
            children.emplace(pid_t(parent), pid_t(pid));
        }
        ::closedir(proc);
    }
    std::vector<pid_t> found;
    std::vector<pid_t> queue{::getpid()};
    while (!queue.empty()) {
        const pid_t pid = queue.back();
        queue.pop_back();
        for (auto [it, end] = children.equal_range(pid); it != end; ++it) {
            found.push_back(it->second);
            queue.push_back(it->second);
        }
    }
    return found;
}

// Reaps the children that have ended; whether any child is left.
bool reapEnded()
{
    for (;;) {
        const pid_t pid = ::waitpid(-1, nullptr, WNOHANG);
        if (pid > 0)
            continue;
        return !(pid < 0 && errno == ECHILD);
    }
}

// Ends everything below this process and reaps it: SIGTERM first (with SIGCONT, so that a stopped
// process acts on it), then, once `graceMs` have passed with something still running, SIGKILL. As a
// subreaper, a process whose parent ends comes back to us, so when no child is left nothing is
// left below us at all. Each killing round kills what is there; one started meanwhile by a process
// being killed is found in the next.
void endEverythingBelow(int graceMs)
{
    for (const pid_t pid : descendants()) {
        ::kill(pid, SIGTERM);
        ::kill(pid, SIGCONT);
    }
    // Polled: the ends of grandchildren (a server's workers) raise no signal here.
    for (int waited = 0; reapEnded() && waited < graceMs; waited += 20) {
        const timespec step{0, 20 * 1000 * 1000};
        ::nanosleep(&step, nullptr);
    }
    for (;;) {
        for (const pid_t pid : descendants())
            ::kill(pid, SIGKILL);
        if (::waitpid(-1, nullptr, 0) < 0 && errno == ECHILD)
            return;
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }
}
#endif

// Ends this process the way the CLI ended, so that its parent reads the same status.
[[noreturn]] void endLike(int status)
{
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        // The CLI already left whatever core it had; this helper's would only add noise.
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
        std::signal(sig, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, sig);
        ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
        ::kill(::getpid(), sig);
        std::_Exit(128 + sig);
    }
    std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;
    const char* handOverSetting = std::getenv("BRINMOOR_REAPER_HAND_OVER");
    const bool handOver = handOverSetting && std::strcmp(handOverSetting, "1") == 0;
    ::unsetenv("BRINMOOR_REAPER_HAND_OVER");
    const char* firstSetting = std::getenv("BRINMOOR_REAPER_ARG");
    static std::string first = firstSetting ? firstSetting : "";
    const bool hasFirst = firstSetting != nullptr;
    ::unsetenv("BRINMOOR_REAPER_ARG");
    if (const char* program = std::getenv("BRINMOOR_REAPER_PROGRAM"); program && *program) {
        static std::string kept = program;  // unsetenv may free the original
        ::unsetenv("BRINMOOR_REAPER_PROGRAM");
        args.push_back(kept.data());
        if (hasFirst)
            args.push_back(first.data());
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
    } else {
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
    }
    if (args.empty()) {
        say("usage: brinmoor-reaper PROGRAM [ARGS...]");
        return 2;
    }
    args.push_back(nullptr);

#ifdef __linux__
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
        say(std::string("cannot become a subreaper: ") + std::strerror(errno));
#endif

    // The signals this helper waits for are blocked before the fork, so none is lost between the
    // fork and the wait; the CLI gets the mask and dispositions this helper was started with.
    sigset_t waited, before;
    sigemptyset(&waited);
    sigaddset(&waited, SIGCHLD);
    sigaddset(&waited, handOverSignal);
    for (const int sig : forwarded)
        sigaddset(&waited, sig);
    ::sigprocmask(SIG_BLOCK, &waited, &before);

    const pid_t cli = ::fork();
    if (cli < 0) {
        say(std::string("cannot start ") + args[0] + ": " + std::strerror(errno));
        return 127;
    }
    if (cli == 0) {
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
        ::execvp(args[0], args.data());
        say(std::string("cannot run ") + args[0] + ": " + std::strerror(errno));
        std::_Exit(127);
    }

    // The CLI alone holds the pipes from here: its reader sees their end when the CLI's side goes.
    if (const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC); null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }

    int status = 0;
    [[maybe_unused]] bool handOverAsked = false;
    for (bool running = true; running;) {
        int sig = 0;
        if (::sigwait(&waited, &sig) != 0)
            continue;
        if (sig == handOverSignal) {
            handOverAsked = true;
            continue;
        }
        if (sig != SIGCHLD) {
            ::kill(cli, sig);
            continue;
        }
        // Orphans that came back to this helper are reaped as they end, so none stays a zombie.
        int ended = 0;
        for (pid_t pid; (pid = ::waitpid(-1, &ended, WNOHANG)) > 0;)
            if (pid == cli) {
                status = ended;
                running = false;
                break;
            }
    }
#ifdef __linux__
    // The parent's word may have come with the program's end and still wait.
    sigset_t pending;
    if (::sigpending(&pending) == 0 && sigismember(&pending, handOverSignal) == 1)
        handOverAsked = true;
    // A program that ended well, or whose end the parent asked for, hands what it left running on
    // (they go to the subreaper above); whatever ended meanwhile is reaped first, so that none is
    // left a zombie.
    if (handOverAsked || (handOver && WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        reapEnded();
        endLike(status);
    }
    endEverythingBelow(endGraceMs);
#endif
    endLike(status);
}
