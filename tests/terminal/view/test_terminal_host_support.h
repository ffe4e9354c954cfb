#pragma once

// Helpers of the terminal host tests: a private HOME, data folder and SHELL for each test, and a
// reading of the process table that does not go through the code under test.

#include "LocalProcessTerminalView.h"
#include "support/TestApp.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

// HOME, XDG_DATA_HOME and SHELL pointed at a temporary folder (and /bin/sh) for one test, and
// put back afterwards.
class HostTestEnvironment {
public:
    HostTestEnvironment()
    {
        ensureGuiApp();
        QDir(root.path()).mkpath(QStringLiteral("home"));
        QDir(root.path()).mkpath(QStringLiteral("data"));
        set("HOME", home().toUtf8());
        set("XDG_DATA_HOME", (root.path() + QStringLiteral("/data")).toUtf8());
        set("SHELL", "/bin/sh");
        // Keeps a login sh quiet and predictable: no profile of the machine's user.
        set("ENV", "");
    }
    ~HostTestEnvironment()
    {
        for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
    }
    void set(const char* name, const QByteArray& value)
    {
        if (!saved.contains(name))
            saved.insert(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        qputenv(name, value);
    }
    void unset(const char* name)
    {
        if (!saved.contains(name))
            saved.insert(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        qunsetenv(name);
    }
    QString home() const { return root.path() + QStringLiteral("/home"); }
    // Writes an executable script into the test's folder.
    QString script(const QString& name, const QByteArray& text) const
    {
        const QString path = root.path() + QLatin1Char('/') + name;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(text);
            f.close();
            f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        return path;
    }

    QTemporaryDir root;

private:
    QMap<QByteArray, QByteArray> saved;
};

namespace proc {

struct Stat {
    pid_t pid = 0;
    char state = 0;
    pid_t ppid = 0;
    pid_t group = 0;
    pid_t session = 0;
    pid_t terminalGroup = 0; // the foreground process group of its terminal
};

inline bool stat(pid_t pid, Stat& out)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = f.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 6)
        return false;
    out.pid = pid;
    out.state = fields[0].isEmpty() ? 0 : fields[0].at(0);
    out.ppid = pid_t(fields[1].toInt());
    out.group = pid_t(fields[2].toInt());
    out.session = pid_t(fields[3].toInt());
    out.terminalGroup = pid_t(fields[5].toInt());
    return true;
}

inline QList<Stat> all()
{
    QList<Stat> list;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const pid_t pid = pid_t(name.toInt(&ok));
        Stat st;
        if (ok && stat(pid, st))
            list.append(st);
    }
    return list;
}

// Every process of the terminal session led by `leader`, zombies included (a zombie still
// remains until it is reaped).
inline QList<pid_t> sessionOf(pid_t leader)
{
    QList<pid_t> pids;
    for (const Stat& st : all())
        if (st.session == leader)
            pids.append(st.pid);
    return pids;
}

// Whether a job of the session led by `leader` holds its terminal's foreground, so that a
// Ctrl+C typed now reaches the job and not the shell (a forked job takes the foreground a moment
// after it appears). The job must also run its own program by then: between its fork and its
// exec it is still a copy of the shell, whose signal set-up a SIGINT can slip past on a busy machine.
inline bool foregroundJobOf(pid_t leader)
{
    const auto exeOf = [](pid_t pid) { return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget(); };
    const QString shell = exeOf(leader);
    for (const Stat& st : all())
        if (st.session == leader && st.pid != leader && st.state != 'Z' && st.group == st.terminalGroup) {
            const QString exe = exeOf(st.pid);
            return !exe.isEmpty() && exe != shell;
        }
    return false;
}

// What remains of the session led by `leader`: live processes, and zombies still waiting for us
// to reap them. (A dead job handed to init is gone for us; init reaps it when it gets round to it.)
inline QList<pid_t> remainingOf(pid_t leader)
{
    QList<pid_t> pids;
    for (const Stat& st : all())
        if (st.session == leader && (st.state != 'Z' || st.ppid == ::getpid()))
            pids.append(st.pid);
    return pids;
}

// Whether the process exists and is not a zombie.
inline bool running(pid_t pid)
{
    Stat st;
    return stat(pid, st) && st.state != 'Z' && st.state != 'X';
}

// Our children whose argument 0 starts with a dash (login shells), zombies left out.
inline QList<pid_t> childLoginShells()
{
    QList<pid_t> pids;
    for (const Stat& st : all()) {
        if (st.ppid != ::getpid() || st.state == 'Z')
            continue;
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(st.pid));
        if (f.open(QIODevice::ReadOnly) && f.readAll().startsWith('-'))
            pids.append(st.pid);
    }
    return pids;
}

// A readable list of processes for failure messages: pid, state and command line.
inline std::string describe(const QList<pid_t>& pids)
{
    std::string out;
    for (pid_t pid : pids) {
        Stat st;
        stat(pid, st);
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        QByteArray cmd = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        cmd.replace('\0', ' ');
        out += std::to_string(pid) + " (parent " + std::to_string(st.ppid) + ") " + std::string(1, st.state) + " " + cmd.toStdString() + "; ";
    }
    return out;
}

inline QString argumentZero(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll().split('\0').value(0));
}

inline QMap<QString, QString> environment(pid_t pid)
{
    QMap<QString, QString> env;
    QFile f(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return env;
    for (const QByteArray& entry : f.readAll().split('\0')) {
        const qsizetype eq = entry.indexOf('=');
        if (eq > 0)
            env.insert(QString::fromUtf8(entry.left(eq)), QString::fromUtf8(entry.mid(eq + 1)));
    }
    return env;
}

inline QString workingDirectory(pid_t pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget();
}

// Whether the child has replaced our program image with its own.
inline bool execed(pid_t pid)
{
    const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    return !exe.isEmpty() && exe != QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

inline bool available()
{
    return QFileInfo::exists(QStringLiteral("/proc/self/stat"));
}

} // namespace proc

// Readable QString values in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

// The text of a terminal view's screen and scrollback.
inline std::string screenText(LocalProcessTerminalView* view)
{
    const std::vector<uint8_t> data = view->getTerminal().getBufferAsData();
    return std::string(data.begin(), data.end());
}

inline void sendText(LocalProcessTerminalView* view, const QByteArray& text)
{
    view->process->send(text);
}
