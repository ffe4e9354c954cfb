#include "LocalProcess.h"

#include "ChildReaper.h"
#include "Diagnostics.h"
#include "Terminal.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void printLine(const std::string& line)
{
    termcore::Diagnostics::print(line);
}

std::string listOfBytes(std::span<const uint8_t> data)
{
    std::string out = "[";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i)
            out += ", ";
        out += std::to_string(data[i]);
    }
    out += "]";
    return out;
}

// How long an exited child's last output may take to arrive before the exit is reported anyway
// (a background job can keep the terminal open long after the shell is gone), and how long output
// that is still on its way then (a busy machine has not let the reader have its turn yet) may
// keep it back in all.
constexpr int exitGraceMs = 150;
constexpr int exitGraceMaxMs = 3000;

// Notifiers and timers may be dropped from inside their own signal, even by a delegate that
// destroys this process: disable now, detach, delete once control is back in the event loop.
template <typename T>
void dropLater(T*& object)
{
    if (!object)
        return;
    object->setParent(nullptr);
    if (auto* n = qobject_cast<QSocketNotifier*>(object))
        n->setEnabled(false);
    if (auto* t = qobject_cast<QTimer*>(object))
        t->stop();
    object->deleteLater();
    object = nullptr;
}

} // namespace

LocalProcess::LocalProcess(LocalProcessDelegate* delegate, QObject* parent)
    : QObject(parent), delegate_(delegate)
{
    exitGrace_ = new QTimer(this);
    exitGrace_->setSingleShot(true);
    exitGrace_->setInterval(exitGraceMs);
    connect(exitGrace_, &QTimer::timeout, this, [this] {
        exitGraceSpent_ += exitGraceMs;
        if (exitGraceSpent_ < exitGraceMaxMs && outputPending())
            exitGrace_->start();
        else
            reportExit();
    });
}

LocalProcess::~LocalProcess()
{
    *alive_ = false;
    letGoOfChild();
}

void LocalProcess::letGoOfChild()
{
    if (!exited_ && shellPid_ > 0) {
        // Its exit was not seen yet: the reaper waits for it so that no zombie is left.
        ChildReaper::adopt(shellPid_, exitWatchFd_);
        exitWatchFd_ = -1;
    }
    stopWatchingExit();
    closeMaster();
}

void LocalProcess::reset()
{
    // The previous child's output may have ended before its exit was seen: it is still ours to reap.
    letGoOfChild();
    exitGrace_->stop();
    clearWrites();
    droppedReplyBytes = 0;
    replyDropWarned_ = false;
    childfd_ = -1;
    shellPid_ = 0;
    outputEnded_ = true;
    exited_ = true;
    exitReported_ = true;
    exitStatus_ = 0;
    startError_.clear();
}

void LocalProcess::startProcess(const QString& executable, const QStringList& args,
                                const std::optional<QStringList>& environment, const std::optional<QString>& execName,
                                const std::optional<QString>& currentDirectory)
{
    if (running_)
        return;

    winsize ws = delegate_ ? delegate_->getWindowSize() : winsize{};

    std::vector<std::string> argv;
    argv.push_back((execName ? *execName : executable).toStdString());
    for (const QString& a : args)
        argv.push_back(a.toStdString());

    std::vector<std::string> env;
    if (environment) {
        for (const QString& e : *environment)
            env.push_back(e.toStdString());
    } else {
        env = termcore::Terminal::getEnvironmentVariables("xterm-256color", true);
    }

    std::optional<std::string> dir;
    if (currentDirectory)
        dir = currentDirectory->toStdString();

    reset();
    // The reading thread first: without it nothing may be started, so a refusal leaves nothing
    // behind to end.
    std::string whyNot;
    std::shared_ptr<PtyReader::Loop> loop = PtyReader::sharedLoop(whyNot);
    std::optional<PseudoTerminalHelpers::Child> child;
    if (loop)
        child = PseudoTerminalHelpers::forkAndExec(executable.toStdString(), argv, env, dir, ws, &whyNot);
    if (!child) {
        failStart(executable, whyNot);
        return;
    }

    shellPid_ = child->pid;
    masterFd_ = child->masterFd;
    childfd_ = masterFd_;
    running_ = true;
    outputEnded_ = false;
    exited_ = false;
    exitReported_ = false;

    if (!watchExit()) {
        // No process descriptor to wait on: poll our own pid (never any other child).
        exitPoll_ = new QTimer(this);
        exitPoll_->setInterval(100);
        connect(exitPoll_, &QTimer::timeout, this, &LocalProcess::onChildExited);
        exitPoll_->start();
    }

    reader_ = std::make_unique<PtyReader>(std::move(loop), masterFd_, size_t(readSize), [this] {
        // On the reading thread: ask the owner's thread to take the chunk. The reader stops
        // calling before this object goes away, so `this` outlives the call.
        QMetaObject::invokeMethod(this, [this] { consume(); }, Qt::QueuedConnection);
    });
}

void LocalProcess::failStart(const QString& executable, const std::string& reason)
{
    // No thread, no pseudo-terminal or no process: the pane says why, in its own terminal as a
    // program that cannot be run does, then reports an error exit so the host shows the error
    // state instead of a terminal that looks alive. The application and other panes go on.
    startError_ = QStringLiteral("Cannot start %1: %2").arg(executable, QString::fromStdString(reason));
    printLine(startError_.toStdString());
    exited_ = true;
    exitReported_ = false;
    exitStatus_ = failedStartStatus;
    QTimer::singleShot(0, this, [this] {
        if (exitReported_)
            return;
        if (delegate_) {
            const QByteArray line = "\r\n" + startError_.toUtf8() + "\r\n";
            std::shared_ptr<bool> token = alive_;
            delegate_->dataReceived(std::span(reinterpret_cast<const uint8_t*>(line.constData()), size_t(line.size())));
            if (!*token)
                return;
        }
        reportExit();
    });
}

void LocalProcess::resumeOutput()
{
    QMetaObject::invokeMethod(this, [this] { consume(); }, Qt::QueuedConnection);
}

void LocalProcess::consume()
{
    if (!reader_)
        return;
    // Left with the reader, which stops reading once its chunk is full: back-pressure.
    if (delegate_ && !delegate_->readyForOutput())
        return;
    // Borrow the reusable storage (a delegate that spins an event loop may re-enter here).
    std::vector<uint8_t> bytes = std::move(chunk_);
    const bool ended = reader_->take(bytes);
    if (debugIO && (!bytes.empty() || ended)) {
        totalRead += (long long)bytes.size();
        printLine("[READ] count=" + std::to_string(bytes.size()) + " received from host total="
                  + std::to_string(totalRead));
    }
    if (!bytes.empty()) {
        if (loggingDir_) {
            const QString path = *loggingDir_ + "/log-" + QString::number(logFileCounter);
            QFile f(path);
            const qint64 size = qint64(bytes.size());
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)
                && f.write(reinterpret_cast<const char*>(bytes.data()), size) == size) {
                ++logFileCounter;
            } else {
                printLine("Got error while logging data dump to " + path.toStdString() + ": "
                          + f.errorString().toStdString());
            }
        }
        if (delegate_) {
            std::shared_ptr<bool> token = alive_;
            delegate_->dataReceived(bytes);
            if (!*token)
                return;
        }
    }
    chunk_ = std::move(bytes);
    if (ended && !outputEnded_)
        endOfOutput();
}

void LocalProcess::endOfOutput()
{
    outputEnded_ = true;
    childfd_ = -1;
    running_ = false;
    clearWrites();
    reader_.reset();
    dropLater(writeNotifier_);
    if (exited_) {
        closeMaster();
        if (!exitReported_)
            reportExit();
    }
}

void LocalProcess::onChildExited()
{
    if (exited_ || shellPid_ <= 0)
        return;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(shellPid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return; // still running (a poll tick, or a spurious wake-up)
    if (r < 0)
        status = 0; // reaped by someone else: nothing to report but the end
    exited_ = true;
    exitStatus_ = status;
    stopWatchingExit();

    // The exit is reported after the end of output, so it never overtakes what the child wrote;
    // a background job that keeps the terminal open only delays it by the grace period.
    if (outputEnded_) {
        reportExit();
    } else {
        exitGraceSpent_ = 0;
        exitGrace_->start();
    }
}

bool LocalProcess::outputPending()
{
    if (reader_ && reader_->hasPending())
        return true;
    if (masterFd_ < 0)
        return false;
    pollfd p{masterFd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP)) != 0;
}

void LocalProcess::reportExit()
{
    if (exitReported_)
        return;
    exitReported_ = true;
    exitGrace_->stop();
    running_ = false;
    if (outputEnded_)
        closeMaster();
    if (delegate_)
        delegate_->processTerminated(*this, exitStatus_);
}

void LocalProcess::send(std::span<const uint8_t> data)
{
    if (!running_ || masterFd_ < 0)
        return;
    enqueue(data, false);
}

void LocalProcess::sendReply(std::span<const uint8_t> data)
{
    if (!running_ || masterFd_ < 0)
        return;
    if (pendingReplyBytes_ + data.size() > replyBacklogLimit) {
        // The program is not reading its answers: more of them help nobody, and keeping them
        // would let any output that asks questions grow this queue without bound.
        droppedReplyBytes += (long long)data.size();
        if (!replyDropWarned_) {
            replyDropWarned_ = true;
            printLine("The program is not reading the terminal's replies: " + std::to_string(pendingReplyBytes_)
                      + " bytes of them wait, further replies are dropped (will not warn again for this program)");
        }
        return;
    }
    enqueue(data, true);
}

void LocalProcess::enqueue(std::span<const uint8_t> data, bool reply)
{
    int n = sendCount++;
    if (debugIO)
        printLine("[SEND-" + std::to_string(n) + "] Queuing data to client: " + listOfBytes(data) + " ");
    if (reply) {
        pendingReplyBytes_ += data.size();
        // Many small answers in a row share one entry: a flood of them costs its bytes, not an
        // allocation each.
        if (!writes_.empty() && writes_.back().reply) {
            writes_.back().bytes.insert(writes_.back().bytes.end(), data.begin(), data.end());
            return;
        }
    }
    writes_.push_back(PendingWrite{n, std::vector<uint8_t>(data.begin(), data.end()), 0, reply});
    if (!writeNotifier_ || !writeNotifier_->isEnabled())
        flushWrites();
}

void LocalProcess::clearWrites()
{
    writes_.clear();
    pendingReplyBytes_ = 0;
}

void LocalProcess::flushWrites()
{
    while (!writes_.empty() && masterFd_ >= 0) {
        PendingWrite& w = writes_.front();
        while (w.offset < w.bytes.size()) {
            ssize_t r = ::write(masterFd_, w.bytes.data() + w.offset, w.bytes.size() - w.offset);
            if (r > 0) {
                w.offset += size_t(r);
                total += r;
                if (w.reply)
                    pendingReplyBytes_ -= size_t(r);
                continue;
            }
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The child is not reading: wait until the terminal takes more, without blocking.
                if (!writeNotifier_) {
                    writeNotifier_ = new QSocketNotifier(masterFd_, QSocketNotifier::Write, this);
                    connect(writeNotifier_, &QSocketNotifier::activated, this, &LocalProcess::onWritable);
                }
                writeNotifier_->setEnabled(true);
                return;
            }
            printLine("Error writing data to the child, errno=" + std::to_string(r < 0 ? errno : 0));
            clearWrites();
            if (writeNotifier_)
                writeNotifier_->setEnabled(false);
            return;
        }
        if (debugIO)
            printLine("[SEND-" + std::to_string(w.number) + "] completed bytes=" + std::to_string(total));
        writes_.pop_front();
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
}

void LocalProcess::onWritable()
{
    writeNotifier_->setEnabled(false);
    flushWrites();
}

void LocalProcess::terminate()
{
    if (shellPid_ > 0 && !exited_)
        ::kill(shellPid_, SIGTERM);
}


void LocalProcess::closeMaster()
{
    reader_.reset(); // stops reading before its descriptor closes
    dropLater(writeNotifier_);
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
    childfd_ = -1;
}

bool LocalProcess::watchExit()
{
    exitWatchFd_ = ChildReaper::openWatch(shellPid_);
    if (exitWatchFd_ < 0)
        return false;
    exitNotifier_ = new QSocketNotifier(exitWatchFd_, QSocketNotifier::Read, this);
    connect(exitNotifier_, &QSocketNotifier::activated, this, &LocalProcess::onChildExited);
    return true;
}

void LocalProcess::stopWatchingExit()
{
    dropLater(exitNotifier_);
    dropLater(exitPoll_);
    if (exitWatchFd_ >= 0) {
        ::close(exitWatchFd_);
        exitWatchFd_ = -1;
    }
}
