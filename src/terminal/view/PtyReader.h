#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Reads a pseudo-terminal master for its consumer, so that reading overlaps the consumer's work
// on the previous chunk. At most one chunk of up to `limit` bytes waits for the consumer; when it
// is full that master is not read, so a slow consumer slows its child (back-pressure) and nothing
// piles up. Chunks keep their order.
//
// Every reader is served by one thread (a Loop) that polls all their masters: a pane costs no
// thread of its own, so neither its stack nor the malloc arena that a thread allocating on
// itself would get, and a hundred panes fit under an address-space or task limit.
class PtyReader {
public:
    class Loop;

    // The running loop, started when none runs; it stops once the last reader holding it is gone.
    // Without one (no thread or no descriptor could be had) nullptr, with the reason in `error`.
    static std::shared_ptr<Loop> sharedLoop(std::string& error);

    // `ready` is called on the loop's thread whenever a chunk (or the end of output) becomes
    // available and none was announced yet; the consumer then calls take() on its own thread.
    PtyReader(std::shared_ptr<Loop> loop, int fd, size_t limit, std::function<void()> ready);
    // Stops reading; once it returns `ready` is never called again (the descriptor stays open:
    // it is not ours).
    ~PtyReader();
    PtyReader(const PtyReader&) = delete;
    PtyReader& operator=(const PtyReader&) = delete;

    // Moves the bytes read since the last take into `bytes` (whose storage is reused, so a steady
    // stream of chunks allocates nothing) and says whether the output has ended after them.
    bool take(std::vector<uint8_t>& bytes);
    // Whether bytes or the end of output wait to be taken.
    bool hasPending();

private:
    friend class Loop;
    // How often, and how far apart, the end of output is read again before it is believed.
    static constexpr int kEndTries = 5;
    static constexpr std::chrono::milliseconds kEndTryInterval{10};

    std::shared_ptr<Loop> loop_;
    const int fd_;
    const size_t limit_;
    const std::function<void()> ready_;
    uint64_t id_ = 0;

    // The consumer's side, under mutex_.
    std::mutex mutex_;
    std::vector<uint8_t> pending_;
    bool ended_ = false;
    bool announced_ = false;

    // The loop's side, under the loop's lock.
    bool finished_ = false; // the end was read: nothing more to read
    int endTries_ = 0;      // reads that said the end since the last bytes
    std::chrono::steady_clock::time_point retryAt_; // when the end is read again (endTries_ > 0)
};
