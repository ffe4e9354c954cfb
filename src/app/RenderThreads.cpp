#include "RenderThreads.h"

#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace brinmoor {

int keepPoolThreadsReady(QThreadPool& pool, int waitMs)
{
    pool.setExpiryTimeout(-1);
    const int wanted = pool.maxThreadCount();
    // Shared with the jobs: a job whose thread was refused never runs, and must find its state
    // alive should it ever run after all.
    struct Gathering {
        std::mutex mutex;
        std::condition_variable changed;
        int arrived = 0;
        bool released = false;
    };
    auto gathering = std::make_shared<Gathering>();
    for (int i = 0; i < wanted; ++i) {
        pool.start([gathering, wanted] {
            std::unique_lock lock(gathering->mutex);
            ++gathering->arrived;
            gathering->changed.notify_all();
            // Held until every job has a thread of its own (or the wait is given up).
            gathering->changed.wait(lock, [&] { return gathering->released || gathering->arrived >= wanted; });
        });
    }
    std::unique_lock lock(gathering->mutex);
    gathering->changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                                [&] { return gathering->arrived >= wanted; });
    const int running = gathering->arrived;
    gathering->released = true;
    gathering->changed.notify_all();
    return running;
}

int keepRenderThreadsReady()
{
    return keepPoolThreadsReady(*QThreadPool::globalInstance());
}

} // namespace brinmoor
