#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Reads a pseudo-terminal master on its own thread, so that reading overlaps the consumer's
// work on the previous chunk. At most one chunk of up to `limit` bytes waits for the consumer;
// when it is full the reader stops reading, so a slow consumer slows the child (back-pressure)
// and nothing piles up. Chunks keep their order.
class PtyReader {
public:
    // `ready` is called on the reader thread whenever a chunk (or the end of output) becomes
    // available and none was announced yet; the consumer then calls take() on its own thread.
    PtyReader(int fd, size_t limit, std::function<void()> ready);
    // Stops and joins the thread (the descriptor stays open: it is not ours).
    ~PtyReader();
    PtyReader(const PtyReader&) = delete;
    PtyReader& operator=(const PtyReader&) = delete;

    // Moves the bytes read since the last take into `bytes` (whose storage is reused, so a steady
    // stream of chunks allocates nothing) and says whether the output has ended after them.
    bool take(std::vector<uint8_t>& bytes);
    // Whether bytes or the end of output wait to be taken.
    bool hasPending();

private:
    // How often, and how far apart, the end of output is read again before it is believed.
    static constexpr int kEndTries = 5;
    static constexpr int kEndTryMicroseconds = 10000;
    void run();
    int fd_;
    size_t limit_;
    std::function<void()> ready_;
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    std::condition_variable roomCv_;
    std::vector<uint8_t> pending_;
    bool ended_ = false;
    bool announced_ = false;
    bool stop_ = false;
    std::thread thread_;
};
