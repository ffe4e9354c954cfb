#pragma once

class QThreadPool;

namespace brinmoor {

// Qt 6.4's software renderer splits large fills over Qt's global thread pool and waits for every
// piece. A piece given to a pool thread that the system refuses to create (a task limit: a
// container's pids limit, a login slice's TasksMax, RLIMIT_NPROC) never runs, and the window
// waits for it for good. So the pool's threads are all made at start, while the system still
// grants them, and kept: an idle pool thread normally ends after 30 s and would have to be made
// again at a moment the system may refuse it.
//
// Sets the pool's threads never to expire and makes every thread it may use now (each of
// maxThreadCount() jobs waits until all have started, so no two share a thread). Waits at most
// `waitMs` for them; returns how many threads were running. Nothing blocking may run on this
// pool afterwards either, or a fill waits behind it.
int keepPoolThreadsReady(QThreadPool& pool, int waitMs = 5000);

// The same for QThreadPool::globalInstance(); called by the program's entry before any window.
int keepRenderThreadsReady();

} // namespace brinmoor
