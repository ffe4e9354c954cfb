#pragma once

// The processes a sidecar leaves behind. A sidecar leads a process group and a session of its own,
// and the agent CLI it starts stays in both; but the CLI runs its tools' shells in sessions of
// their own, so that a sidecar killed mid-turn orphans its CLI, and a CLI killed with it orphans
// the shell that runs its command. What belongs to a sidecar is therefore its group and session,
// and every descendant of theirs wherever it moved its own.

#include <QByteArray>

#include <sys/types.h>

#include <vector>

namespace brinmoor::ProcessTree {

// Every running process of the group and session `leader` leads, the leader itself when it
// still runs, and every descendant of those. Linux reads /proc; elsewhere only the group is
// known, and nothing is listed.
//
// `reaped`: the leader's exit has been collected. Its number then names its group and session
// only while one of their members lives (the system hands it out to no one else meanwhile); a
// process that holds the number itself was given it since, and belongs to somebody else: nothing
// is listed then.
std::vector<pid_t> leftBy(pid_t leader, bool reaped = false);

// The running children of `parent` started with `argument` as one of their command line's words
// after the program's (a Node script's path). Linux only; elsewhere none.
std::vector<pid_t> childrenRunning(pid_t parent, const QByteArray& argument);

// Sends `signal` to every process leftBy(leader) lists but `spared`, with SIGCONT after it so that
// a stopped one acts on it.
void signalAll(pid_t leader, int signal, const std::vector<pid_t>& spared = {});

// Ends them all: each is stopped as it is found (so that none starts another meanwhile), the
// tree looked at again until nothing new appears, then all are killed. Call it while the leader
// runs (not yet reaped), or at once when its exit is seen with `reaped` set.
void end(pid_t leader, bool reaped = false);

} // namespace brinmoor::ProcessTree
