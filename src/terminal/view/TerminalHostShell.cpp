#include "TerminalHostShell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>

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

QList<PaneProcessEnder::ProcessRef> PaneProcessEnder::sessionMembers(pid_t sessionLeader)
{
    QList<ProcessRef> members;
#if defined(__linux__)
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        bool ok = false;
        const pid_t pid = pid_t(name.toInt(&ok));
        if (!ok || pid <= 0)
            continue;
        StatFields st;
        if (readStat(pid, st) && st.session == sessionLeader && st.state != 'Z' && st.state != 'X')
            members.append(ProcessRef{pid, st.startTime});
    }
#else
    (void)sessionLeader;
#endif
    return members;
}

bool PaneProcessEnder::isAlive(const ProcessRef& ref)
{
    StatFields st;
    return ref.pid > 0 && readStat(ref.pid, st) && st.startTime == ref.startTime && st.state != 'Z'
        && st.state != 'X';
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

void PaneProcessEnder::end(const ProcessRef& shell, bool stillRunning, const std::function<void()>& hangUp)
{
    const bool ours = shell.startTime ? isOurShell(shell) : (stillRunning && isOurShell(shell));
    if (!ours) {
        // Nothing of ours runs (never started, or ended and reaped): only the terminal goes.
        if (hangUp)
            hangUp();
        return;
    }
    Pending p;
    p.shell = shell;
    // Taken while the shell is unreaped, so its session id still names this session.
    p.members = sessionMembers(shell.pid);
    if (hangUp)
        hangUp();
    signalAll(p, SIGTERM, false);

    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(m_killDelayMs);
    const pid_t pid = shell.pid;
    connect(timer, &QTimer::timeout, this, [this, pid] { finish(pid); });
    p.timer = timer;
    m_pending.append(p);
    timer->start();
}

void PaneProcessEnder::signalAll(const Pending& p, int signal, bool rescan)
{
    const bool shellUnreaped = isOurShell(p.shell);
    // The shell: proven by its start time where the process table can be read, else by being an
    // unreaped child of ours (an unreaped pid cannot have been reused).
    if (shellUnreaped && (!p.shell.startTime || isAlive(p.shell)))
        ::kill(p.shell.pid, signal);
    QList<ProcessRef> members = p.members;
    if (rescan && shellUnreaped) {
        // Processes started in the session since the ending began.
        for (const ProcessRef& r : sessionMembers(p.shell.pid)) {
            const bool known = std::any_of(members.cbegin(), members.cend(),
                                           [&](const ProcessRef& m) { return m.pid == r.pid; });
            if (!known)
                members.append(r);
        }
    }
    for (const ProcessRef& m : std::as_const(members))
        if (m.pid != p.shell.pid && isAlive(m))
            ::kill(m.pid, signal);
#if !defined(__linux__)
    // Without a process table, the shell's own process group stands for its session; the group
    // id cannot be reused while the shell is still unreaped.
    if (shellUnreaped)
        ::killpg(p.shell.pid, signal);
#endif
}

void PaneProcessEnder::finish(pid_t shell)
{
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (m_pending[i].shell.pid != shell)
            continue;
        Pending p = m_pending.takeAt(i);
        killSessionWhileUnreaped(p);
        if (p.timer)
            p.timer->deleteLater();
        return;
    }
}

QList<PaneProcessEnder::ProcessRef> PaneProcessEnder::killSessionWhileUnreaped(const Pending& p)
{
    // SIGKILL lands after kill() returns, so a shell caught in the middle of a fork can still
    // bring a child into the session after the first sweep has read the process table. Sweep
    // again until the session holds no live process besides the dead shell; the unreaped shell
    // keeps its pid (and so the session id) from being reused meanwhile.
    QList<ProcessRef> killed = p.members;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        signalAll(p, SIGKILL, true);
        if (!isOurShell(p.shell))
            break;
        const QList<ProcessRef> members = sessionMembers(p.shell.pid);
        bool anyAlive = false;
        for (const ProcessRef& m : members) {
            if (m.pid == p.shell.pid || !isAlive(m))
                continue;
            anyAlive = true;
            if (std::none_of(killed.cbegin(), killed.cend(), [&](const ProcessRef& k) { return k.pid == m.pid; }))
                killed.append(m);
        }
        if ((!anyAlive && !isRunningChild(p.shell.pid)) || waited.elapsed() >= 500)
            break;
        QThread::msleep(5);
    }
    return killed;
}

void PaneProcessEnder::finishAll()
{
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
    QList<ProcessRef> killed;
    while (!m_pending.isEmpty()) {
        Pending p = m_pending.takeFirst();
        killed += killSessionWhileUnreaped(p);
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
