#pragma once

#include <sys/types.h>

// Waits for children whose owner went away, so that they never stay zombies. Only the given
// pids are ever waited for.
class ChildReaper {
public:
    // A descriptor that becomes readable when the process ends (a pidfd on Linux, a kqueue on
    // macOS), or -1 where the platform has none.
    static int openWatch(pid_t pid);

    // Takes over waiting for `pid`; `watchFd` (from openWatch, or -1) is now the reaper's.
    // Must be called on a thread with an event loop (the GUI thread).
    static void adopt(pid_t pid, int watchFd);
};
