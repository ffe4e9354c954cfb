#include "ChildReaper.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/syscall.h>
#endif
#if defined(__APPLE__)
#include <sys/event.h>
#endif

namespace {

// True when the process was reaped (or is not ours to reap any more).
bool reap(pid_t pid)
{
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    return r != 0;
}

} // namespace

int ChildReaper::openWatch(pid_t pid)
{
#if defined(__linux__) && defined(SYS_pidfd_open)
    int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0)
        return fd;
    return -1;
#elif defined(__APPLE__)
    int kq = ::kqueue();
    if (kq < 0)
        return -1;
    struct kevent ev;
    EV_SET(&ev, pid, EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0, nullptr);
    if (::kevent(kq, &ev, 1, nullptr, 0, nullptr) < 0) {
        ::close(kq);
        return -1;
    }
    return kq;
#else
    (void)pid;
    return -1;
#endif
}

void ChildReaper::adopt(pid_t pid, int watchFd)
{
    if (reap(pid)) {
        if (watchFd >= 0)
            ::close(watchFd);
        return;
    }
    if (watchFd >= 0) {
        auto* n = new QSocketNotifier(watchFd, QSocketNotifier::Read);
        QObject::connect(n, &QSocketNotifier::activated, n, [n, pid, watchFd] {
            if (!reap(pid))
                return;
            n->setEnabled(false);
            ::close(watchFd);
            n->deleteLater();
        });
        return;
    }
    auto* t = new QTimer;
    t->setInterval(500);
    QObject::connect(t, &QTimer::timeout, t, [t, pid] {
        if (!reap(pid))
            return;
        t->stop();
        t->deleteLater();
    });
    t->start();
}
