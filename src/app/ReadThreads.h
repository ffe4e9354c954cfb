#pragma once

#include <QString>

#include <pthread.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace brinmoor {

// Threads for work taken off the GUI thread (a paste read from another program, files chosen, a
// bell's sound): one thread per read, made as the read starts and ended with it, and a start that
// says whether the system gave the thread. A QThreadPool hides a refusal (with the task limit reached QThread::start
// only warns): the task stays queued, the pool counts the thread as busy, and every later read
// waited behind one that never ran, so an owner's pastes stopped for good. Here a refused read is
// known at once, to be said where it was asked, and the next one tries for a thread of its own.
class ReadThreads {
public:
    ReadThreads() = default;
    // Waits for the reads still running: their owners cancel them first, so that this is short.
    ~ReadThreads();
    ReadThreads(const ReadThreads&) = delete;
    ReadThreads& operator=(const ReadThreads&) = delete;

    // Runs `work` on a new thread. False when the system made none (a task limit reached, no
    // memory for a stack): `work` is dropped without running, and nothing waits for it.
    bool start(std::function<void()> work);
    // Reads still running.
    int running() const;

    // What a refused read says, after "Nothing was pasted: " or the like.
    static QString refusal() { return QStringLiteral("no thread could be started"); }

    // How threads are made: pthread_create, or in tests a stand-in that refuses as the system
    // would (EAGAIN). Process-wide; null puts pthread_create back.
    using Starter = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static void setStarter(Starter starter);

private:
    struct Running {
        pthread_t thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // Joins the threads whose reads have ended (their join is immediate).
    void reap();
    mutable std::mutex m_mutex;
    std::vector<Running> m_running;
};

// Work done one piece at a time, in the order given (each piece holds a whole picture while it
// decodes, say), on a thread made when there is work and ended when none is left. A thread the
// system refuses leaves the work waiting in turn, and the next piece added asks for a thread
// again: a pool of one hid the refusal and counted the thread as busy, so nothing ran again.
class ThreadQueue {
public:
    // Waits for the work still to do.
    ~ThreadQueue() = default;
    // Adds a piece. False when no thread could be made for it now: it waits for the next add.
    bool add(std::function<void()> work);
    // Adds a piece that is worth doing only now (an answer that a later one supersedes): false
    // when no thread could be made for it, and then it is let go at once, unrun, for the caller
    // to end what it served. Pieces left waiting by add() stay waiting.
    bool addOrDrop(std::function<void()> work);
    // Pieces not yet begun.
    int waiting() const;

private:
    bool put(std::function<void()>& work, bool dropRefused);
    void drain();
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_waiting;
    bool m_working = false;
    ReadThreads m_threads;  // last: ended first
};

} // namespace brinmoor
