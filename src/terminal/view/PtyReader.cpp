#include "PtyReader.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

bool makeWakePipe(int fds[2])
{
#if defined(__linux__)
    return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0;
#else
    if (::pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        ::fcntl(fds[i], F_SETFL, ::fcntl(fds[i], F_GETFL) | O_NONBLOCK);
    }
    return true;
#endif
}

} // namespace

PtyReader::PtyReader(int fd, size_t limit, std::function<void()> ready)
    : fd_(fd), limit_(limit), ready_(std::move(ready))
{
    makeWakePipe(wake_);
    pending_.reserve(limit_);
    thread_ = std::thread([this] { run(); });
}

PtyReader::~PtyReader()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    roomCv_.notify_all();
    if (wake_[1] >= 0) {
        const char c = 0;
        (void)::write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    for (int fd : wake_) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool PtyReader::take(std::vector<uint8_t>& bytes)
{
    bool ended;
    {
        std::lock_guard lock(mutex_);
        bytes.assign(pending_.begin(), pending_.end());
        pending_.clear();
        ended = ended_;
        announced_ = false;
    }
    roomCv_.notify_all();
    return ended;
}

bool PtyReader::hasPending()
{
    std::lock_guard lock(mutex_);
    return !pending_.empty() || ended_;
}

void PtyReader::run()
{
    std::vector<uint8_t> buf(limit_);
    for (;;) {
        size_t room;
        {
            std::unique_lock lock(mutex_);
            roomCv_.wait(lock, [&] { return stop_ || pending_.size() < limit_; });
            if (stop_)
                return;
            room = limit_ - pending_.size();
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int n = ::poll(fds, wake_[0] >= 0 ? 2 : 1, -1);
        if (n < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            continue; // woken to stop: the loop's check sees it
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        ssize_t r = ::read(fd_, buf.data(), room);
        if (r < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        // Linux answers EIO as soon as the last slave descriptor is closed, even while the child's
        // last output is still being passed on to the master (on a busy machine, "exit" echoed
        // just before the shell left): a few more tries a moment apart pick it up.
        for (int tries = 0; r < 0 && errno == EIO && tries < kEndTries; ++tries) {
            ::usleep(kEndTryMicroseconds);
            r = ::read(fd_, buf.data(), room);
        }
        bool announce;
        {
            std::lock_guard lock(mutex_);
            if (r > 0)
                pending_.insert(pending_.end(), buf.begin(), buf.begin() + r);
            else
                ended_ = true; // 0 or EIO: every slave descriptor is closed and the output drained
            announce = !announced_;
            announced_ = true;
        }
        if (announce)
            ready_();
        if (r <= 0)
            return;
    }
}
