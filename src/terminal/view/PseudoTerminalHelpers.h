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
    // unavailable)"); nothing of the attempt stays open. Under a task limit (RLIMIT_NPROC) no
    // child is started that would leave the user fewer than taskReserve() tasks: the
    // application's own threads (Qt starts pool threads while it paints) need them, and a
    // thread Qt cannot start freezes the window for good.
    static std::optional<Child> forkAndExec(const std::string& executable, const std::vector<std::string>& args,
                                            const std::vector<std::string>& env,
                                            const std::optional<std::string>& currentDirectory,
                                            winsize& desiredWindowSize, std::string* error = nullptr);

    // The tasks (processes and threads) kept free under a task limit: a pool thread for every
    // core, and a few more.
    static long long taskReserve();
    // The tasks that the user with this real id runs now, or -1 where they cannot be counted.
    static long long userTaskCount(uid_t uid);

    // ioctl TIOCSWINSZ on the master; returns the ioctl result.
    static int setWinSize(int masterPtyDescriptor, winsize& windowSize);

    // ioctl FIONREAD on the descriptor: (ioctl result, bytes waiting).
    static std::pair<int, int> availableBytes(int fd);
};
