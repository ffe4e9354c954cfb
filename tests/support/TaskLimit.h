// A task limit reached, for the tests of what happens when the system refuses a thread: run in a
// child of the test (a death test), as it changes the whole process.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

namespace brinmoor::test {

// Makes this process unable to start a thread (RLIMIT_NPROC at 1: as root the process first takes
// the user nobody as its real and effective user, whom the limit binds, keeping root as its saved
// one), or with `free`, able again, and root again where it was. False when it cannot be done here.
inline bool limitTasks(bool free)
{
    static const bool wasRoot = ::getuid() == 0;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NPROC, &limit) != 0)
        return false;
    limit.rlim_cur = free ? limit.rlim_max : 1;
    // Root first, when freeing: the limit binds the user that sets it back as well.
    if (free && wasRoot && ::setresuid(0, 0, 0) != 0)
        return false;
    if (::setrlimit(RLIMIT_NPROC, &limit) != 0)
        return false;
    const uid_t nobody = 65534;
    return free || !wasRoot || ::setresuid(nobody, nobody, 0) == 0;
}

} // namespace brinmoor::test
