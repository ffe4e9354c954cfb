// The threads that reads taken off the GUI thread run on: one each, a refusal known at once and
// holding nothing back, with a stand-in for the system's refusal and under a real task limit.
#include "ReadThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <grp.h>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using brinmoor::ReadThreads;

namespace {

int refuse(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)
{
    return EAGAIN;
}

// Puts pthread_create back whatever the test does.
struct RefusingStarts {
    RefusingStarts() { ReadThreads::setStarter(refuse); }
    ~RefusingStarts() { ReadThreads::setStarter(nullptr); }
};

template <typename F>
bool spinUntil(F&& done)
{
    for (int i = 0; i < 20000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

} // namespace

// Reads that all wait run side by side (a pool of two made the third wait behind them); a start
// the system refuses returns false at once, never runs its work and keeps none of it, and the next
// start gets a thread; the end waits for the reads still running.
TEST(ReadThreads, each_read_has_a_thread_and_a_refused_one_holds_nothing_back)
{
    auto threads = std::make_unique<ReadThreads>();
    std::atomic<bool> go{false};
    std::atomic<int> waiting{0}, finished{0};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(threads->start([&] {
            ++waiting;
            while (!go)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++finished;
        }));
    EXPECT_TRUE(spinUntil([&] { return waiting == 4; })) << waiting << " of 4 reads running";
    EXPECT_EQ(threads->running(), 4);

    {
        const RefusingStarts refusing;
        auto kept = std::make_shared<int>(1);
        bool ran = false;
        EXPECT_FALSE(threads->start([kept, &ran] { ran = true; }));
        EXPECT_FALSE(ran);
        EXPECT_EQ(kept.use_count(), 1) << "the refused work's captures are let go";
        EXPECT_EQ(threads->running(), 4);
    }

    // With threads to be had again, a read runs at once, beside the four still waiting.
    std::atomic<bool> ranAfter{false};
    ASSERT_TRUE(threads->start([&] { ranAfter = true; }));
    EXPECT_TRUE(spinUntil([&] { return ranAfter.load(); }));

    // The end waits for the reads it has: released from another thread once the end has begun.
    std::atomic<bool> ending{false};
    std::thread releaser([&] {
        while (!ending)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        go = true;
    });
    ending = true;
    threads.reset();
    EXPECT_EQ(finished, 4);
    releaser.join();
}

// Threads that have ended are let go as new reads start: many reads one after another leave
// none behind.
TEST(ReadThreads, ended_reads_leave_no_threads_behind)
{
    ReadThreads threads;
    std::atomic<int> ran{0};
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(threads.start([&] { ++ran; }));
        ASSERT_TRUE(spinUntil([&] { return threads.running() == 0; })) << i;
    }
    EXPECT_EQ(ran, 200);
}

// Under a real task limit (RLIMIT_NPROC, which binds a user that is not root: as root the child
// becomes the user nobody first): the start is refused at once, and once the limit is raised the
// next read runs.
TEST(ReadThreadsLive, a_read_refused_by_the_task_limit_says_so_and_the_next_runs_once_tasks_are_free)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            rlimit none{};
            if (::getrlimit(RLIMIT_NPROC, &none) != 0)
                std::exit(3);
            none.rlim_cur = 1;
            const uid_t nobody = 65534;
            if (::setrlimit(RLIMIT_NPROC, &none) != 0)
                std::exit(3);
            if (::getuid() == 0
                && (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0
                    || ::setresuid(nobody, nobody, nobody) != 0))
                std::exit(3);
            ReadThreads threads;
            std::atomic<bool> ran{false};
            const bool first = threads.start([&] { ran = true; });
            none.rlim_cur = none.rlim_max;
            if (::setrlimit(RLIMIT_NPROC, &none) != 0)
                std::exit(4);
            const bool second = threads.start([&] { ran = true; });
            spinUntil([&] { return ran.load(); });
            std::fprintf(stderr, "first %d, second %d, ran %d\n", int(first), int(second), int(ran.load()));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "first 0, second 1, ran 1");
}

// Work done one piece at a time: in the order given, never two at once; a piece whose thread the
// system refused waits in turn, and the next piece added brings a thread for both.
TEST(ThreadQueue, pieces_run_one_at_a_time_in_order_and_a_refused_one_waits_for_the_next)
{
    brinmoor::ThreadQueue queue;
    std::mutex order;
    std::vector<int> ran;
    std::atomic<int> atOnce{0}, most{0};
    const auto piece = [&](int n) {
        return [&, n] {
            most = std::max(most.load(), ++atOnce);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            {
                std::lock_guard lock(order);
                ran.push_back(n);
            }
            --atOnce;
        };
    };
    for (int n = 0; n < 20; ++n)
        EXPECT_TRUE(queue.add(piece(n)));
    ASSERT_TRUE(spinUntil([&] {
        std::lock_guard lock(order);
        return ran.size() == 20;
    }));
    EXPECT_EQ(most, 1);
    {
        std::lock_guard lock(order);
        for (int n = 0; n < 20; ++n)
            EXPECT_EQ(ran[n], n);
        ran.clear();
    }
    ASSERT_TRUE(spinUntil([&] { return queue.waiting() == 0; }));
    {
        const RefusingStarts refusing;
        EXPECT_FALSE(queue.add(piece(100)));
        EXPECT_EQ(queue.waiting(), 1);
    }
    EXPECT_TRUE(queue.add(piece(101)));
    ASSERT_TRUE(spinUntil([&] {
        std::lock_guard lock(order);
        return ran.size() == 2;
    }));
    EXPECT_EQ(ran, (std::vector<int>{100, 101}));
}

// A piece worth doing only now: refused a thread, it is let go at once, unrun and its captures
// with it, while the pieces add() left waiting stay in turn; with threads to be had again the next
// piece runs after them. A piece added while others run never needs a thread of its own.
TEST(ThreadQueue, a_piece_added_or_dropped_is_let_go_when_refused_and_the_next_runs)
{
    brinmoor::ThreadQueue queue;
    std::mutex order;
    std::vector<int> ran;
    const auto piece = [&](int n) {
        return [&, n] {
            std::lock_guard lock(order);
            ran.push_back(n);
        };
    };
    const auto ranSoFar = [&] {
        std::lock_guard lock(order);
        return ran;
    };

    EXPECT_TRUE(queue.addOrDrop(piece(1)));
    ASSERT_TRUE(spinUntil([&] { return ranSoFar().size() == 1; }));
    ASSERT_TRUE(spinUntil([&] { return queue.waiting() == 0; }));
    {
        const RefusingStarts refusing;
        EXPECT_FALSE(queue.add(piece(2)));  // waits for the next piece's thread
        auto kept = std::make_shared<int>(1);
        bool dropRan = false;
        EXPECT_FALSE(queue.addOrDrop([kept, &dropRan] { dropRan = true; }));
        EXPECT_FALSE(dropRan);
        EXPECT_EQ(kept.use_count(), 1) << "the refused piece's captures are let go";
        EXPECT_EQ(queue.waiting(), 1) << "the piece add() left stays";
    }
    EXPECT_TRUE(queue.addOrDrop(piece(3)));
    ASSERT_TRUE(spinUntil([&] { return ranSoFar().size() == 3; }));
    EXPECT_EQ(ranSoFar(), (std::vector<int>{1, 2, 3}));

    // Pieces added while one runs join it: a refusing system is never asked.
    std::atomic<bool> go{false};
    EXPECT_TRUE(queue.addOrDrop([&] {
        while (!go)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }));
    ASSERT_TRUE(spinUntil([&] { return queue.waiting() == 0; }));
    {
        const RefusingStarts refusing;
        EXPECT_TRUE(queue.addOrDrop(piece(4)));
        EXPECT_TRUE(queue.add(piece(5)));
    }
    go = true;
    ASSERT_TRUE(spinUntil([&] { return ranSoFar().size() == 5; }));
    EXPECT_EQ(ranSoFar(), (std::vector<int>{1, 2, 3, 4, 5}));
}
