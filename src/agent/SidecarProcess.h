#pragma once

#include "SidecarProtocol.h"
#include "UserCommandLine.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class QProcess;

namespace brinmoor {

// One Node sidecar child: launched without blocking, written to through the process's own queue
// (a sidecar that stops reading never blocks the GUI thread), its output cut into lines and
// decoded, the end of its standard error kept (what it last said, should it end badly). Small
// reads are decoded at once; a large one (a long answer or history, megabytes in one line) on a
// pool thread, so the window keeps drawing, with every read after it following it there: events
// and the exit always arrive in order.
//
// The child runs in a process group and session of its own, so whatever it starts (the agent
// CLI, and the tools that CLI runs in sessions of their own) can be found and ended with it: when
// its exit is seen, however it ended, nothing it started is left running. The object is never
// deleted while its child runs: release() lets the child go and deletes the object once the child
// has exited; at application quit every sidecar still there is asked to quit and, failing that,
// it is ended, what it started getting SIGTERM and a grace first.
class SidecarProcess : public QObject {
    Q_OBJECT
public:
    // How long a released sidecar gets after "quit" before SIGTERM, and after that before it is
    // killed (see release()). Only tests shorten them.
    static inline int quitGraceMs = 2000;
    static inline int killGraceMs = 5000;
    // At application quit, past shutdownAll's deadline: how long a sidecar still there gets after
    // SIGTERM before it is killed alone, and how long what it started then gets from its reaper
    // (SIGTERM, the reaper's 2 s, SIGKILL) before everything left is killed.
    static inline int termWaitMs = 250;
    static inline int leftoverGraceMs = 3000;

    SidecarProcess();
    ~SidecarProcess() override;

    // Called on the GUI thread; none after release().
    std::function<void()> onStarted;
    std::function<void(const QString& error)> onFailedToStart;
    std::function<void(const QList<SidecarEvent>& events)> onEvents;  // the events of one read, in order
    std::function<void()> onExit;
    // Lines over the cap were dropped (after the events of the same read).
    std::function<void(int lines)> onLinesDropped;
    // A line made in pieces could not be made (no memory for its next piece): it was not sent.
    std::function<void()> onLineFailed;

    // Reads of at least this many bytes (with the unfinished line before them) go to the pool.
    static constexpr qsizetype inlineBytes = 256 * 1024;

    // Starts `node script` in `cwd` with exactly `environment`; returns at once.
    void start(const QString& node, const QString& script, const QString& cwd,
               const QMap<QString, QString>& environment);
    // One command line; queued by the process when the child is slow to read. Nothing once the
    // child has gone or the object was released.
    void write(const QJsonObject& command);
    // A command line made in pieces on a pool thread (a message with images: hundreds of
    // megabytes of Base64), each asked for as the pipe takes the ones before it, so neither the
    // GUI thread makes it nor the app holds it whole. Lines written after it wait for it.
    void write(std::shared_ptr<CommandLineSource> line);
    // Bytes given to the child and not taken by it yet.
    qint64 bytesToWrite() const;
    // The bytes of a line made in pieces asked for at a time, and how much may wait for the
    // child before the next piece is asked for.
    static constexpr qsizetype pieceBytes = 4 * 1024 * 1024;
    static constexpr qsizetype waitingBytes = 8 * 1024 * 1024;
    qint64 pid() const;
    bool running() const;
    // Once it has exited: whether it ended by itself with status 0.
    bool endedWell() const;
    // What it said on standard error, read from the end of it (its last 16 KB kept): its last
    // lines that are not a stack trace's, at most two, joined; "" when it said nothing.
    QString lastWords() const;
    static QString lastWords(const QByteArray& errorOutput);

    // Detaches every callback, sends "quit", closes the child's input, and deletes this object
    // once the child has gone: SIGTERM after quitGraceMs; killGraceMs later the sidecar is killed
    // alone (its reaper ends what it started, SIGTERM first), and the whole group
    // leftoverGraceMs after that.
    void release();

    // At application quit: every live sidecar is asked to quit, all at once, and all are waited
    // for together (at most `graceMs` in all), so each has the whole of it whatever their number;
    // then what is left gets SIGTERM, and what it started SIGTERM and its grace from the reaper
    // (termWaitMs + leftoverGraceMs at most), before anything still there is ended with its group.
    // Blocks; quit time only.
    static void shutdownAll(int graceMs = 4000);

private:
    struct Reader;
    struct Batch {
        QList<SidecarEvent> events;
        int dropped = 0;
    };
    static Batch cut(LineAccumulator& lines, QByteArrayView bytes);
    static void drain(const std::shared_ptr<Reader>& reader);

    void readOutput();
    // Asks for the next piece of the line being made when the child has taken enough.
    void pump();
    void pieceMade(const std::shared_ptr<CommandLineSource>& line, const QByteArray& piece, bool failed);
    // Writes what waited for a line made in pieces, up to the next such line.
    void flushOutbox();
    // A line being made is given up (quit, release): its rest is not written, and a line cut
    // short is ended so the child drops it whole.
    void abandonLine();
    void deliver(const Batch& batch);
    void delivered(const Batch& batch);
    void exited();
    // Ends the sidecar if it still runs, and what it started (its group, its session and their
    // descendants).
    void endLeftovers();
    // Kills the sidecar itself, so that its reaper ends what is below it; without a reaper,
    // sends SIGTERM to what it started.
    void endSidecarAlone();
    // Waits for all of them to end, each in turn for a moment, until `deadline`.
    static void waitTogether(const QList<QPointer<SidecarProcess>>& all, const QDeadlineTimer& deadline);

    QProcess* m_process;
    std::shared_ptr<Reader> m_reader;
    int m_queued = 0;          // reads handed to the pool and not delivered yet
    bool m_exitPending = false;  // the child exited while reads were still being decoded
    bool m_released = false;
    bool m_quitSent = false;
    qint64 m_pid = 0;  // the child's, kept past its exit to find what it left
    QByteArray m_errorTail;  // the end of its standard error
    bool m_throughReaper = false;  // the child is the reaper, which runs Node on the script
    QByteArray m_script;
    // Lines waiting for a line made in pieces: one of the two set.
    struct Outgoing {
        QByteArray bytes;
        std::shared_ptr<CommandLineSource> line;
    };
    std::deque<Outgoing> m_outbox;
    std::shared_ptr<CommandLineSource> m_line;  // the line being made and written
    bool m_pieceAsked = false;  // a piece of it is being made
    bool m_midLine = false;     // some of it was written
};

} // namespace brinmoor
