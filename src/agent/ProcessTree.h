#pragma once

// The processes a sidecar leaves behind. A sidecar leads a process group and a session of its own,
// and the agent CLI it starts stays in both; but the CLI runs its tools' shells in sessions of
// their own, so that a sidecar killed mid-turn orphans its CLI, and a CLI killed with it orphans
// the shell that runs its command. What belongs to a sidecar is therefore its group and session,
// and every descendant of theirs wherever it moved its own.

#include <sys/types.h>

#include <vector>

namespace brinmoor::ProcessTree {

// Every running process of the group and session `leader` leads, the leader itself when it
// still runs, and every descendant of those. Linux reads /proc; elsewhere only the group is
// known, and nothing is listed.
std::vector<pid_t> leftBy(pid_t leader);

// Ends them all: each is stopped as it is found (so that none starts another meanwhile), the
// tree looked at again until nothing new appears, then all are killed. Call it while the leader
// runs or at once when its exit is seen: a number the system has handed out again since is no
// longer the leader's, and only its group and session name it safely then.
void end(pid_t leader);

} // namespace brinmoor::ProcessTree
