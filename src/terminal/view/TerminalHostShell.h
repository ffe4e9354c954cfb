#pragma once

#include <QList>
#include <QDeadlineTimer>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

// How a terminal pane's login shell is started: which program, with which argument 0,
// environment and folder. Pure functions of their inputs, so each rule can be checked alone.
namespace ShellLaunch {

// The login shell: $SHELL, else the user's shell from the password database, else /bin/zsh
// when it exists, else /bin/sh. A candidate counts only when it is an absolute path to an
// executable file (execve does no PATH search, and an empty or stale value must not leave the
// pane without a shell).
QString loginShell(const QProcessEnvironment& environment, const QString& passwordDatabaseShell,
                   const std::function<bool(const QString&)>& isExecutable);
// The same with this process's environment, password database and file system.
QString loginShell();

// "-" followed by the shell's file name: argument 0 that makes a shell a login shell.
QString loginArgumentZero(const QString& shellPath);

// The child's environment: ours, with TERM set to xterm-256color (replacing any value) and
// LANG set to en_US.UTF-8 only when it is absent; one "NAME=value" entry per variable.
QStringList shellEnvironment(const QProcessEnvironment& environment);

// The folder a pane's shell starts in: a leading "~" or "~user" expanded to that home; an
// empty text, a missing folder or a plain file gives `home`.
QString resolveDirectory(const QString& directory, const QString& home);

} // namespace ShellLaunch

// Ends the processes of terminal panes: each pane's shell and whatever still runs in its terminal
// session. The caller detaches the exit report and hands over a hang-up step (closing the
// pseudo-terminal's master, which sends SIGHUP to the shell and its foreground job); then every
// process of the session gets SIGTERM, and whatever is still alive two seconds later gets
// SIGKILL. The shell itself is reaped by whoever owned it (its local process hands it to the
// background reaper when it goes away); only processes that are provably the ones seen at the
// start are signalled, so a pid that was reused in the meantime is never hit.
//
// Panes ended together share each read of the process table: a quit with a hundred panes reads
// it a few times in all, not a few times per pane.
class PaneProcessEnder : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultKillDelayMs = 2000;

    explicit PaneProcessEnder(QObject* parent = nullptr);
    ~PaneProcessEnder() override;

    // A process as first seen: its id, and the start time that proves a later pid is still it
    // (0 where no process table can be read).
    struct ProcessRef {
        pid_t pid = 0;
        unsigned long long startTime = 0;
    };
    // The shell as it is right after its start (call it then: the pid is surely ours).
    static ProcessRef identify(pid_t pid);

    // One process as a read of the process table shows it.
    struct ProcessEntry {
        pid_t pid = 0;
        long long session = 0;
        char state = 0; // 'Z' a zombie, 'X' dead
        unsigned long long startTime = 0;
    };
    // Reads the whole process table once (/proc); empty where there is none.
    using ProcessTable = std::function<QList<ProcessEntry>()>;
    static QList<ProcessEntry> readProcessTable();
    // Where the table is read from (readProcessTable unless replaced, e.g. to count the reads).
    void setProcessTable(ProcessTable table) { m_table = std::move(table); }

    // One pane to end. `shell` is the pane's shell (pid 0 when none was started), `stillRunning`
    // whether its local process still counts it as running (the proof of identity where no
    // process table can be read); `hangUp` closes its pseudo-terminal.
    struct Ending {
        ProcessRef shell;
        bool stillRunning = false;
        std::function<void()> hangUp;
    };
    // Ends the panes with one read of the process table for all of them. Returns at once; the
    // SIGKILL follows on this thread's event loop.
    void endAll(const QList<Ending>& panes);
    void end(const ProcessRef& shell, bool stillRunning, const std::function<void()>& hangUp)
    {
        endAll({Ending{shell, stillRunning, hangUp}});
    }

    // For the application's shutdown: ends every pane still being ended, waiting up to the
    // kill delay for them and reaping the shells here.
    void finishAll();

    // Panes whose processes are still being ended.
    int pending() const { return int(m_pending.size()); }

    // How long SIGTERM gets before SIGKILL. Only tests shorten it, to keep the stubborn-shell
    // cases from waiting the full two seconds each.
    int killDelayMs() const { return m_killDelayMs; }
    void setKillDelayMs(int ms) { m_killDelayMs = ms; }

    // The processes of the terminal session led by `sessionLeader` (the shell included), as the
    // process table shows them now. Empty where no process table can be read.
    static QList<ProcessRef> sessionMembers(pid_t sessionLeader);
    // Whether `ref` still names a running process (not a zombie) that is the one first seen.
    static bool isAlive(const ProcessRef& ref);

private:
    struct Pending {
        ProcessRef shell;
        QList<ProcessRef> members; // the shell's session (the shell included where it can be read)
        QObject* timer = nullptr;
        QDeadlineTimer due; // when the SIGKILL is due
    };
    // The live processes of one table read, by pid and by session.
    struct Snapshot;
    Snapshot snapshot() const;
    // SIGKILLs the panes' sessions until nothing of them is left alive (bounded), one table read
    // per sweep for all of them; returns what it signalled.
    QList<ProcessRef> killSessionsWhileUnreaped(const QList<Pending>& panes);

    bool isOurShell(const ProcessRef& shell) const;
    void finishDue(pid_t shell);
    QList<Pending> m_pending;
    int m_killDelayMs = defaultKillDelayMs;
    ProcessTable m_table = readProcessTable;
};

// Whether `pid` is a child of ours not yet reaped (running or a zombie). A pid that is still
// unreaped cannot have been reused, so signalling it is safe.
bool isUnreapedChild(pid_t pid);
// Whether `pid` is a child of ours that is still running.
bool isRunningChild(pid_t pid);
