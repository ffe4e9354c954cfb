#pragma once

#include "PseudoTerminalHelpers.h"
#include "PtyReader.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;
class LocalProcess;

// The operations through which a local process reports its child's output and exit.
class LocalProcessDelegate {
public:
    virtual ~LocalProcessDelegate() = default;
    // The child has exited; the code is the raw wait status (0 = exited with status 0, 768 =
    // exited with status 3, 9 = killed by SIGKILL). Reported once, after the output that was
    // readable by then.
    virtual void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) = 0;
    // One chunk of the child's output, at most LocalProcess::readSize bytes, in order.
    virtual void dataReceived(std::span<const uint8_t> slice) = 0;
    // The window size given to the pseudo-terminal when the child starts.
    virtual winsize getWindowSize() = 0;
    // False while the delegate cannot take output yet: nothing more is read for it (the child
    // waits on a full pseudo-terminal) until it calls LocalProcess::resumeOutput().
    virtual bool readyForOutput() { return true; }
};

// One child program on a pseudo-terminal. Output is read on the one thread that reads for every
// process (PtyReader) and handed to the delegate on the thread this object lives on (the GUI
// thread), in order, in chunks of up to readSize bytes. Reading overlaps the delegate's work on the previous chunk, but at most one
// chunk waits: a slow consumer slows the child instead of piling output up. Writes go through a queue on the
// non-blocking master and never block the caller. The exit is watched on the child's pid alone
// (never waitpid(-1), which would steal other components' children).
class LocalProcess : public QObject {
    Q_OBJECT
public:
    static constexpr int readSize = 131072;

    explicit LocalProcess(LocalProcessDelegate* delegate, QObject* parent = nullptr);
    // Closes the master (the child sees its terminal hang up) and stops watching; a child that
    // is still running is reaped in the background once it ends. Sends no signal itself.
    ~LocalProcess() override;

    int childfd() const { return childfd_; }
    pid_t shellPid() const { return shellPid_; }
    bool running() const { return running_; }

    LocalProcessDelegate* delegate() const { return delegate_; }
    // The delegate is not owned; its owner clears it before it goes away.
    void setDelegate(LocalProcessDelegate* d) { delegate_ = d; }

    // Starts `executable` (no PATH search) with argument 0 = execName or the executable, then
    // `args`. With no environment, the terminal engine's default list for "xterm-256color" with
    // true colour. Does nothing while a child runs. A child that cannot be started is reported
    // as an exit with status 127 (raw 32512), asynchronously; when the failure is ours (no
    // thread to read it, no pseudo-terminal, no process) the delegate first gets one line of
    // output that says why, which startError() also holds.
    void startProcess(const QString& executable, const QStringList& args = {},
                      const std::optional<QStringList>& environment = std::nullopt,
                      const std::optional<QString>& execName = std::nullopt,
                      const std::optional<QString>& currentDirectory = std::nullopt);

    // Queues bytes for the child; dropped unless a child is running. Keys and pastes come this
    // way and are never dropped while the child runs, however much waits.
    void send(std::span<const uint8_t> data);
    void send(const QByteArray& data) { send(std::span(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()))); }
    // Queues what the terminal answers on its own (replies to queries, reports) like send, but
    // only while fewer than replyBacklogLimit bytes of such answers wait: a program that asks and
    // never reads (a file of queries shown with `cat`) would otherwise grow the queue without end.
    // What is over the bound is dropped, counted in droppedReplyBytes, and warned about once per child.
    void sendReply(std::span<const uint8_t> data);
    static constexpr size_t replyBacklogLimit = 256 * 1024;
    // Bytes of answers queued and not yet taken by the terminal.
    size_t pendingReplyBytes() const { return pendingReplyBytes_; }

    // Why the last start could not start anything (empty when it did).
    QString startError() const { return startError_; }

    // SIGTERM to the child.
    void terminate();

    // The delegate is ready for output again: what waits is handed over (from the event loop).
    void resumeOutput();

    // Every chunk read is also written to <directory>/log-<n>; none stops the dumps.
    void setHostLogging(const std::optional<QString>& directory) { loggingDir_ = directory; }
    std::optional<QString> loggingDir() const { return loggingDir_; }

    bool debugIO = false;   // one line per send, completed write and chunk read
    int sendCount = 0;      // sends accepted so far
    long long total = 0;    // bytes whose write completed
    int logFileCounter = 0; // number of the next dump file
    long long totalRead = 0; // bytes read while debugIO is on
    long long droppedReplyBytes = 0; // answers dropped over the bound, this child

    // The raw wait status that reports a child which could not be started.
    static constexpr int32_t failedStartStatus = 127 << 8;

private:
    void consume();
    void failStart(const QString& executable, const std::string& reason);
    void onWritable();
    void onChildExited();
    void flushWrites();
    void endOfOutput();
    void reportExit();
    void closeMaster();
    void stopWatchingExit();
    // Hands a child whose exit was not seen to the reaper, stops watching, closes the master side.
    void letGoOfChild();
    bool watchExit();
    // Whether the child's output is still on its way: read and not yet taken, or waiting in the
    // terminal (its end included, which the terminal tells as a hang-up).
    bool outputPending();
    void reset();

    LocalProcessDelegate* delegate_ = nullptr;
    int childfd_ = -1;  // -1 before the start and after end of output
    int masterFd_ = -1; // open until both exit and end of output were seen
    pid_t shellPid_ = 0;
    bool running_ = false;
    bool outputEnded_ = true;
    bool exited_ = true;
    bool exitReported_ = true;
    int32_t exitStatus_ = 0;
    std::optional<QString> loggingDir_;
    QString startError_;

    std::unique_ptr<PtyReader> reader_;
    std::vector<uint8_t> chunk_; // the chunk being delivered; its storage is reused
    QSocketNotifier* writeNotifier_ = nullptr;
    QSocketNotifier* exitNotifier_ = nullptr;
    QTimer* exitPoll_ = nullptr;     // only where no process descriptor can be watched
    QTimer* exitGrace_ = nullptr;    // waits briefly for the last output before reporting
    int exitGraceSpent_ = 0;         // milliseconds waited so far for output still on its way
    int exitWatchFd_ = -1;           // pidfd (Linux) or kqueue (macOS)

    struct PendingWrite {
        int number;
        std::vector<uint8_t> bytes;
        size_t offset = 0;
        bool reply = false; // answers only; consecutive answers share one entry
    };
    void enqueue(std::span<const uint8_t> data, bool reply);
    void clearWrites();
    std::deque<PendingWrite> writes_;
    size_t pendingReplyBytes_ = 0; // unwritten bytes of the reply entries in writes_
    bool replyDropWarned_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
