#include "PtyReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <thread>
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

// The one thread that reads every reader's master. Its lock guards the list of readers, their
// loop-side fields and every read, so a reader that is being destroyed waits for a read of its
// descriptor to end and is never called back afterwards.
class PtyReader::Loop {
public:
    Loop();
    ~Loop();
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    // Empty while the thread runs, else why it does not.
    std::string error;

    void add(PtyReader* reader);
    void remove(PtyReader* reader);
    // Makes the thread look at its readers again (one left full has room, one came or went).
    void wake();

private:
    void run();
    // One read of the reader's master into its pending bytes; announces what it read or the end.
    void readFrom(PtyReader& r, std::chrono::steady_clock::time_point now);

    std::mutex mutex_;
    std::vector<PtyReader*> readers_;
    uint64_t nextId_ = 1;
    bool stop_ = false;
    int wake_[2] = {-1, -1};
    // Made by the thread that starts the loop, so that reading allocates nothing on the loop's.
    std::vector<uint8_t> scratch_;
    std::thread thread_;
};

namespace {

std::mutex sharedLoopMutex;
std::weak_ptr<PtyReader::Loop> sharedLoopRef;

} // namespace

std::shared_ptr<PtyReader::Loop> PtyReader::sharedLoop(std::string& error)
{
    std::lock_guard lock(sharedLoopMutex);
    if (auto loop = sharedLoopRef.lock())
        return loop;
    auto loop = std::make_shared<Loop>();
    if (!loop->error.empty()) {
        error = loop->error;
        return nullptr;
    }
    sharedLoopRef = loop;
    return loop;
}

PtyReader::Loop::Loop()
{
    if (!makeWakePipe(wake_)) {
        error = std::string("no descriptor to wake its reading thread (") + std::strerror(errno) + ")";
        return;
    }
    scratch_.resize(131072);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
        // Under an address-space or task limit a thread may be refused: the caller says so and
        // starts nothing, instead of the whole application ending on the exception.
        error = "no thread could be started to read its output (" + e.code().message() + ")";
    }
}

PtyReader::Loop::~Loop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake();
    if (thread_.joinable())
        thread_.join();
    for (int fd : wake_) {
        if (fd >= 0)
            ::close(fd);
    }
}

void PtyReader::Loop::wake()
{
    if (wake_[1] < 0)
        return;
    const char c = 0;
    (void)::write(wake_[1], &c, 1); // a full pipe already holds a wake-up
}

void PtyReader::Loop::add(PtyReader* reader)
{
    {
        std::lock_guard lock(mutex_);
        reader->id_ = nextId_++;
        readers_.push_back(reader);
    }
    wake();
}

void PtyReader::Loop::remove(PtyReader* reader)
{
    {
        std::lock_guard lock(mutex_);
        readers_.erase(std::remove(readers_.begin(), readers_.end(), reader), readers_.end());
    }
    wake(); // its descriptor leaves the poll set before it is closed
}

void PtyReader::Loop::run()
{
    using Clock = std::chrono::steady_clock;
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids; // the reader of each polled descriptor; it may be gone after the poll
    for (;;) {
        fds.assign(1, pollfd{wake_[0], POLLIN, 0});
        ids.assign(1, 0);
        int timeout = -1;
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                return;
            const auto now = Clock::now();
            for (PtyReader* r : readers_) {
                if (r->finished_)
                    continue;
                if (r->endTries_ > 0) {
                    // Read again when its time comes, not when poll says so: a master whose
                    // slaves are all closed reports a hang-up at once, every time.
                    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(r->retryAt_ - now).count();
                    timeout = timeout < 0 ? int(std::max<long long>(wait, 0))
                                          : std::min(timeout, int(std::max<long long>(wait, 0)));
                    continue;
                }
                bool room;
                {
                    std::lock_guard rlock(r->mutex_);
                    room = r->pending_.size() < r->limit_;
                }
                if (!room)
                    continue; // back-pressure: take() wakes the loop when it makes room
                fds.push_back(pollfd{r->fd_, POLLIN, 0});
                ids.push_back(r->id_);
            }
        }
        const int n = ::poll(fds.data(), nfds_t(fds.size()), timeout);
        if (n < 0 && errno != EINTR && errno != EAGAIN && errno != ENOMEM) {
            // Nothing here can mend a poll that refuses its arguments; a short pause keeps the
            // loop from spinning until the readers change.
            ::poll(nullptr, 0, 10);
            continue;
        }
        if (n > 0 && fds[0].revents) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }

        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        const auto now = Clock::now();
        for (PtyReader* r : readers_) {
            if (!r->finished_ && r->endTries_ > 0 && r->retryAt_ <= now)
                readFrom(*r, now);
        }
        if (n <= 0)
            continue;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)))
                continue;
            const auto it = std::find_if(readers_.begin(), readers_.end(),
                                         [&](const PtyReader* r) { return r->id_ == ids[i]; });
            if (it != readers_.end() && !(*it)->finished_ && (*it)->endTries_ == 0)
                readFrom(**it, now);
        }
    }
}

void PtyReader::Loop::readFrom(PtyReader& r, std::chrono::steady_clock::time_point now)
{
    size_t room;
    {
        std::lock_guard rlock(r.mutex_);
        room = r.limit_ > r.pending_.size() ? r.limit_ - r.pending_.size() : 0;
    }
    if (room == 0)
        return;
    ssize_t got;
    do {
        got = ::read(r.fd_, scratch_.data(), std::min(room, scratch_.size()));
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        r.endTries_ = 0;
        return;
    }
    // Linux answers EIO as soon as the last slave descriptor is closed, even while the child's
    // last output is still being passed on to the master (on a busy machine, "exit" echoed just
    // before the shell left): a few more tries a moment apart pick it up.
    if (got < 0 && errno == EIO && r.endTries_ < kEndTries) {
        ++r.endTries_;
        r.retryAt_ = now + kEndTryInterval;
        return;
    }
    bool announce;
    {
        std::lock_guard rlock(r.mutex_);
        if (got > 0) {
            r.endTries_ = 0;
            r.pending_.insert(r.pending_.end(), scratch_.begin(), scratch_.begin() + got);
        } else {
            // 0 or EIO: every slave descriptor is closed and the output drained.
            r.ended_ = true;
            r.finished_ = true;
        }
        announce = !r.announced_;
        r.announced_ = true;
    }
    if (announce)
        r.ready_();
}

PtyReader::PtyReader(std::shared_ptr<Loop> loop, int fd, size_t limit, std::function<void()> ready)
    : loop_(std::move(loop)), fd_(fd), limit_(limit), ready_(std::move(ready))
{
    pending_.reserve(limit_);
    loop_->add(this);
}

PtyReader::~PtyReader()
{
    loop_->remove(this);
}

bool PtyReader::take(std::vector<uint8_t>& bytes)
{
    bool ended;
    bool wasFull;
    {
        std::lock_guard lock(mutex_);
        bytes.assign(pending_.begin(), pending_.end());
        wasFull = pending_.size() >= limit_;
        pending_.clear();
        ended = ended_;
        announced_ = false;
    }
    if (wasFull)
        loop_->wake(); // its master is polled again
    return ended;
}

bool PtyReader::hasPending()
{
    std::lock_guard lock(mutex_);
    return !pending_.empty() || ended_;
}
