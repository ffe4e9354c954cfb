#include "ReadThreads.h"

#include <QtGlobal>

#include <cstring>

namespace brinmoor {

namespace {

std::atomic<ReadThreads::Starter> starter{nullptr};

struct Job {
    std::function<void()> work;
    std::shared_ptr<std::atomic<bool>> done;
};

void* runJob(void* arg)
{
    std::unique_ptr<Job> job(static_cast<Job*>(arg));
    job->work();
    // The work's captures go before the thread counts as done: an owner that joins it next finds
    // nothing of the read left.
    job->work = nullptr;
    job->done->store(true);
    return nullptr;
}

} // namespace

void ReadThreads::setStarter(Starter s)
{
    starter.store(s);
}

ReadThreads::~ReadThreads()
{
    std::lock_guard lock(m_mutex);
    for (const Running& r : m_running)
        pthread_join(r.thread, nullptr);
    m_running.clear();
}

void ReadThreads::reap()
{
    for (auto it = m_running.begin(); it != m_running.end();) {
        if (it->done->load()) {
            pthread_join(it->thread, nullptr);
            it = m_running.erase(it);
        } else {
            ++it;
        }
    }
}

bool ReadThreads::start(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    reap();
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto job = std::make_unique<Job>(Job{std::move(work), done});
    pthread_t thread;
    const Starter s = starter.load();
    const int error = s ? s(&thread, nullptr, runJob, job.get()) : pthread_create(&thread, nullptr, runJob, job.get());
    if (error != 0) {
        qWarning("A read could not be started: no thread could be made (%s).", std::strerror(error));
        return false;
    }
    job.release();
    m_running.push_back({thread, std::move(done)});
    return true;
}

int ReadThreads::running() const
{
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const Running& r : m_running)
        n += r.done->load() ? 0 : 1;
    return n;
}

bool ThreadQueue::add(std::function<void()> work)
{
    return put(work, false);
}

bool ThreadQueue::addOrDrop(std::function<void()> work)
{
    return put(work, true);
}

bool ThreadQueue::put(std::function<void()>& work, bool dropRefused)
{
    std::function<void()> dropped;  // declared first: its captures go once the lock is let go
    std::lock_guard lock(m_mutex);
    m_waiting.push_back(std::move(work));
    if (m_working)
        return true;
    // Started under the lock (the new thread waits for it to take the first piece), so no other
    // piece is added between a refusal and what follows it: a piece added meanwhile would have
    // been told it runs.
    if (m_threads.start([this] { drain(); })) {
        m_working = true;
        return true;
    }
    if (dropRefused) {
        dropped = std::move(m_waiting.back());
        m_waiting.pop_back();
    }
    return false;
}

int ThreadQueue::waiting() const
{
    std::lock_guard lock(m_mutex);
    return int(m_waiting.size());
}

void ThreadQueue::drain()
{
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(m_mutex);
            if (m_waiting.empty()) {
                m_working = false;
                return;
            }
            work = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        work();
    }
}

} // namespace brinmoor
