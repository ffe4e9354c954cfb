#include "TerminalHostShell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

#include <cerrno>
#include <csignal>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ShellLaunch {

namespace {

bool usable(const QString& path, const std::function<bool(const QString&)>& isExecutable)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && isExecutable(path);
}

QString passwordDatabaseShell()
{
    const struct passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_shell ? QString::fromLocal8Bit(pw->pw_shell) : QString();
}

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString loginShell(const QProcessEnvironment& environment, const QString& passwordDatabaseShell,
                   const std::function<bool(const QString&)>& isExecutable)
{
    const QString fromEnvironment = environment.value(QStringLiteral("SHELL"));
    if (usable(fromEnvironment, isExecutable))
        return fromEnvironment;
    if (usable(passwordDatabaseShell, isExecutable))
        return passwordDatabaseShell;
    const QString zsh = QStringLiteral("/bin/zsh");
    if (isExecutable(zsh))
        return zsh;
    return QStringLiteral("/bin/sh");
}

QString loginShell()
{
    return loginShell(QProcessEnvironment::systemEnvironment(), passwordDatabaseShell(), isExecutableFile);
}

QString loginArgumentZero(const QString& shellPath)
{
    QString name = shellPath;
    while (name.endsWith(QLatin1Char('/')) && name.size() > 1)
        name.chop(1);
    return QLatin1Char('-') + name.section(QLatin1Char('/'), -1);
}

QStringList shellEnvironment(const QProcessEnvironment& environment)
{
    QProcessEnvironment env = environment;
    env.insert(QStringLiteral("TERM"), QStringLiteral("xterm-256color"));
    if (!env.contains(QStringLiteral("LANG")))
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    return env.toStringList();
}

QString resolveDirectory(const QString& directory, const QString& home)
{
    QString path = directory;
    if (path.startsWith(QLatin1Char('~'))) {
        const qsizetype slash = path.indexOf(QLatin1Char('/'));
        const QString user = path.mid(1, slash < 0 ? -1 : slash - 1);
        const QString rest = slash < 0 ? QString() : path.mid(slash);
        if (user.isEmpty()) {
            path = home + rest;
        } else {
            const struct passwd* pw = ::getpwnam(user.toLocal8Bit().constData());
            if (pw && pw->pw_dir)
                path = QString::fromLocal8Bit(pw->pw_dir) + rest;
        }
    }
    if (!path.isEmpty() && QFileInfo(path).isDir())
        return path;
    return home;
}

} // namespace ShellLaunch

// ---- Ending a pane's processes --------------------------------------------------------------

namespace {

bool waitNoHang(pid_t pid, siginfo_t& info)
{
    info = {};
    int r;
    do {
        r = ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (r < 0 && errno == EINTR);
    return r == 0;
}

// The fields of /proc/<pid>/stat that tell a process apart: state, session and start time.
struct StatFields {
    char state = 0;
    long long session = 0;
    unsigned long long startTime = 0;
};

bool readStat(pid_t pid, StatFields& out)
{
#if defined(__linux__)
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = f.readAll();
    // The command name sits in parentheses and may itself hold blanks and parentheses.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    // After the name: state (3), ppid (4), pgrp (5), session (6), ... starttime (22).
    if (fields.size() < 20 || fields[0].isEmpty())
        return false;
    bool okSession = false, okStart = false;
    out.state = fields[0].at(0);
    out.session = fields[3].toLongLong(&okSession);
    out.startTime = fields[19].toULongLong(&okStart);
    return okSession && okStart;
#else
    (void)pid;
    (void)out;
    return false;
#endif
}

} // namespace

bool isUnreapedChild(pid_t pid)
{
    siginfo_t info;
    return pid > 0 && waitNoHang(pid, info);
}

bool isRunningChild(pid_t pid)
{
    siginfo_t info;
    return pid > 0 && waitNoHang(pid, info) && info.si_pid == 0;
}

PaneProcessEnder::PaneProcessEnder(QObject* parent) : QObject(parent) {}

PaneProcessEnder::~PaneProcessEnder() = default;

PaneProcessEnder::ProcessRef PaneProcessEnder::identify(pid_t pid)
{
    StatFields st;
    return ProcessRef{pid, readStat(pid, st) ? st.startTime : 0};
}

QList<PaneProcessEnder::ProcessEntry> PaneProcessEnder::readProcessTable()
{
    QList<ProcessEntry> table;
#if defined(__linux__)
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    table.reserve(entries.size());
    for (const QString& name : entries) {
        bool ok = false;
        const pid_t pid = pid_t(name.toInt(&ok));
        if (!ok || pid <= 0)
            continue;
        StatFields st;
        if (readStat(pid, st)) // else gone meanwhile
            table.append(ProcessEntry{pid, st.session, st.state, st.startTime});
    }
#endif
    return table;
}

namespace {

bool liveState(char state)
{
    return state != 'Z' && state != 'X';
}

} // namespace

QList<PaneProcessEnder::ProcessRef> PaneProcessEnder::sessionMembers(pid_t sessionLeader)
{
    QList<ProcessRef> members;
    for (const ProcessEntry& e : readProcessTable())
        if (e.session == sessionLeader && liveState(e.state))
            members.append(ProcessRef{e.pid, e.startTime});
    return members;
}

bool PaneProcessEnder::isAlive(const ProcessRef& ref)
{
    StatFields st;
    return ref.pid > 0 && readStat(ref.pid, st) && st.startTime == ref.startTime && liveState(st.state);
}

struct PaneProcessEnder::Snapshot {
    bool read = false; // false where no process table could be read: then each process is asked alone
    QHash<pid_t, unsigned long long> alive;            // live process -> start time
    QHash<long long, QList<ProcessRef>> bySession;     // live processes of each session

    bool isAlive(const ProcessRef& ref) const
    {
        if (!read)
            return PaneProcessEnder::isAlive(ref);
        const auto it = alive.constFind(ref.pid);
        return it != alive.cend() && *it == ref.startTime;
    }
};

PaneProcessEnder::Snapshot PaneProcessEnder::snapshot() const
{
    Snapshot s;
    const QList<ProcessEntry> table = m_table ? m_table() : QList<ProcessEntry>();
    s.read = !table.isEmpty();
    for (const ProcessEntry& e : table) {
        if (!liveState(e.state))
            continue;
        s.alive.insert(e.pid, e.startTime);
        s.bySession[e.session].append(ProcessRef{e.pid, e.startTime});
    }
    return s;
}

bool PaneProcessEnder::isOurShell(const ProcessRef& shell) const
{
    // Unreaped, so the pid was not reused since; and the same process that was started (a shell
    // that ended long ago was reaped, and its pid may now belong to another pane's shell).
    if (shell.pid <= 0 || !isUnreapedChild(shell.pid))
        return false;
    StatFields st;
    return !shell.startTime || (readStat(shell.pid, st) && st.startTime == shell.startTime);
}

void PaneProcessEnder::endAll(const QList<Ending>& panes)
{
    QList<Pending> started;
    QList<std::function<void()>> hangUps;
    for (const Ending& e : panes) {
        const bool ours = e.shell.startTime ? isOurShell(e.shell) : (e.stillRunning && isOurShell(e.shell));
        if (ours)
            started.append(Pending{e.shell, {}, nullptr, {}});
        // Else nothing of ours runs (never started, or ended and reaped): only the terminal goes.
        hangUps.append(e.hangUp);
    }
    if (!started.isEmpty()) {
        // Taken while the shells are unreaped, so their session ids still name their sessions.
        const Snapshot now = snapshot();
        for (Pending& p : started)
            p.members = now.bySession.value(p.shell.pid);
    }
    for (const std::function<void()>& hangUp : std::as_const(hangUps))
        if (hangUp)
            hangUp();
    if (started.isEmpty())
        return;

    for (Pending& p : started) {
        // The shell: proven by its start time where the process table can be read, else by being
        // an unreaped child of ours (an unreaped pid cannot have been reused).
        if (isOurShell(p.shell) && (!p.shell.startTime || isAlive(p.shell)))
            ::kill(p.shell.pid, SIGTERM);
        for (const ProcessRef& m : std::as_const(p.members))
            if (m.pid != p.shell.pid && isAlive(m))
                ::kill(m.pid, SIGTERM);
#if !defined(__linux__)
        // Without a process table, the shell's own process group stands for its session; the
        // group id cannot be reused while the shell is still unreaped.
        if (isOurShell(p.shell))
            ::killpg(p.shell.pid, SIGTERM);
#endif
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(m_killDelayMs);
        const pid_t pid = p.shell.pid;
        connect(timer, &QTimer::timeout, this, [this, pid] { finishDue(pid); });
        p.timer = timer;
        p.due = QDeadlineTimer(m_killDelayMs);
        m_pending.append(p);
        timer->start();
    }
}

void PaneProcessEnder::finishDue(pid_t shell)
{
    // Every pane whose delay is over goes in the same sweeps: panes ended together are killed
    // together, and the timers of the others find nothing left to do.
    QList<Pending> due;
    for (qsizetype i = 0; i < m_pending.size();) {
        if (m_pending[i].shell.pid == shell || m_pending[i].due.hasExpired())
            due.append(m_pending.takeAt(i));
        else
            ++i;
    }
    if (due.isEmpty())
        return;
    killSessionsWhileUnreaped(due);
    for (const Pending& p : std::as_const(due))
        if (p.timer)
            p.timer->deleteLater();
}

QList<PaneProcessEnder::ProcessRef> PaneProcessEnder::killSessionsWhileUnreaped(const QList<Pending>& panes)
{
    // SIGKILL lands after kill() returns, so a shell caught in the middle of a fork can still
    // bring a child into the session after a sweep has read the process table. Sweep again until
    // no session holds a live process besides its dead shell; an unreaped shell keeps its pid
    // (and so its session id) from being reused meanwhile.
    const auto known = [](const QList<ProcessRef>& list, pid_t pid) {
        return std::any_of(list.cbegin(), list.cend(), [pid](const ProcessRef& r) { return r.pid == pid; });
    };
    QList<ProcessRef> killed;
    for (const Pending& p : panes)
        killed += p.members;
    QList<Pending> left = panes;
    QElapsedTimer waited;
    waited.start();
    while (!left.isEmpty()) {
        const Snapshot now = snapshot();
        QList<Pending> still;
        for (Pending& p : left) {
            const bool shellUnreaped = isOurShell(p.shell);
            if (shellUnreaped && (!p.shell.startTime || now.isAlive(p.shell)))
                ::kill(p.shell.pid, SIGKILL);
            if (shellUnreaped) {
                // Processes started in the session since the ending began.
                for (const ProcessRef& r : now.bySession.value(p.shell.pid))
                    if (!known(p.members, r.pid))
                        p.members.append(r);
            }
            bool anyAlive = false;
            for (const ProcessRef& m : std::as_const(p.members)) {
                if (m.pid == p.shell.pid || !now.isAlive(m))
                    continue;
                ::kill(m.pid, SIGKILL);
                anyAlive = true;
                if (!known(killed, m.pid))
                    killed.append(m);
            }
#if !defined(__linux__)
            if (shellUnreaped)
                ::killpg(p.shell.pid, SIGKILL);
#endif
            // A reaped shell's pid may be reused: nothing of its session can be told apart then.
            if (shellUnreaped && (anyAlive || isRunningChild(p.shell.pid)))
                still.append(p);
        }
        if (still.isEmpty() || waited.elapsed() >= 500)
            break;
        left = still;
        QThread::msleep(5);
    }
    return killed;
}

void PaneProcessEnder::finishAll()
{
    // Waiting asks after the processes already known, one by one: cheaper than the whole table.
    const auto allGone = [this] {
        for (const Pending& p : std::as_const(m_pending)) {
            if (isOurShell(p.shell) && isRunningChild(p.shell.pid))
                return false;
            for (const ProcessRef& m : p.members)
                if (m.pid != p.shell.pid && isAlive(m))
                    return false;
        }
        return true;
    };
    QElapsedTimer waited;
    waited.start();
    while (!m_pending.isEmpty() && !allGone() && waited.elapsed() < m_killDelayMs)
        QThread::msleep(20);
    const QList<Pending> panes = std::exchange(m_pending, {});
    const QList<ProcessRef> killed = killSessionsWhileUnreaped(panes);
    for (const Pending& p : panes) {
        delete p.timer;
        // Reaped here: at shutdown no event loop is left to do it.
        if (isOurShell(p.shell)) {
            int status = 0;
            while (::waitpid(p.shell.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    // A signal is delivered after kill() returns: wait (briefly) until the killed are gone.
    waited.restart();
    while (waited.elapsed() < 500
           && std::any_of(killed.cbegin(), killed.cend(), [](const ProcessRef& m) { return isAlive(m); }))
        QThread::msleep(5);
}
