#pragma once

#include <sys/ioctl.h>
#include <sys/types.h>
#include <termios.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// A window size for a pseudo-terminal, each value clamped to what the kernel's record can
// hold (0...65535): a negative or oversized request never wraps around.
winsize makeWindowSize(long long rows, long long cols, long long pixelWidth, long long pixelHeight);

// The static pseudo-terminal operations that a local process uses to start its child.
class PseudoTerminalHelpers {
public:
    struct Child {
        pid_t pid = -1;
        int masterFd = -1;
    };

    // Opens a pseudo-terminal with the given window size and starts `executable` on it as a new
    // session whose controlling terminal and standard streams are the slave side. The master
    // is close-on-exec and non-blocking. Before execve the child changes to `currentDirectory`
    // (a failure is ignored), closes every descriptor above 2, and resets all signal
    // dispositions and its signal mask to the defaults, so it inherits nothing of ours. When
    // execve fails the child writes one line to the terminal and exits with status 127.
    // Returns nothing when the pseudo-terminal or the process cannot be made, and then says why
    // in `error` when one is given ("no new process could be made (Resource temporarily
    // unavailable)"); nothing of the attempt stays open. Under a task limit no child is started
    // that would leave fewer than taskReserve() tasks (taskLimitRefusal): the application's own
    // threads need them, and a thread the system refuses can leave a part of it waiting for good.
    static std::optional<Child> forkAndExec(const std::string& executable, const std::vector<std::string>& args,
                                            const std::vector<std::string>& env,
                                            const std::optional<std::string>& currentDirectory,
                                            winsize& desiredWindowSize, std::string* error = nullptr);

    // The tasks (processes and threads) kept free under a task limit: a pool thread for every
    // core, and a few more.
    static long long taskReserve();
    // The tasks that the user with this real id runs now, or -1 where they cannot be counted.
    static long long userTaskCount(uid_t uid);

    // One level of the control groups that hold this process whose task limit is a number.
    struct CgroupTaskLimit {
        long long max = 0;     // pids.max
        long long current = 0; // pids.current: the tasks of the group and the groups below it
        std::string folder;    // where the group's files are
    };
    // The task limits of every level of this process's control groups, from its own group up to
    // the root of the hierarchy: the unified (v2) hierarchy and the v1 pids controller, each
    // found through /proc/self/cgroup and /proc/self/mountinfo. A level whose limit is "max" or
    // whose files are missing or unreadable is left out. `fsRoot` goes before every path read,
    // so that a fake tree can stand in for the system's.
    static std::vector<CgroupTaskLimit> cgroupTaskLimits(const std::string& fsRoot = {});

    // Why starting one more process now would leave fewer than taskReserve() tasks under a task
    // limit that binds this process, or an empty text: the user's RLIMIT_NPROC (which does not
    // hold for root) and the pids.max of every control group level (which holds for root too).
    static std::string taskLimitRefusal(const std::string& fsRoot = {});

    // ioctl TIOCSWINSZ on the master; returns the ioctl result.
    static int setWinSize(int masterPtyDescriptor, winsize& windowSize);

    // ioctl FIONREAD on the descriptor: (ioctl result, bytes waiting).
    static std::pair<int, int> availableBytes(int fd);
};
