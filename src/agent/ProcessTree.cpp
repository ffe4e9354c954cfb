#include "ProcessTree.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <map>
#include <set>
#include <unistd.h>

namespace brinmoor::ProcessTree {

namespace {

struct Entry {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
};

// Every live process; zombies have nothing left to end.
std::vector<Entry> processes()
{
    std::vector<Entry> all;
#ifdef __linux__
    const QStringList names = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool number = false;
        const pid_t pid = name.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;  // ended meanwhile
        const QByteArray text = stat.readAll();
        // The command name may hold spaces and parentheses: the fields start after the last ')'.
        const qsizetype close = text.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> f = text.mid(close + 2).split(' ');
        if (f.size() < 4 || f.at(0) == "Z" || f.at(0) == "X")
            continue;
        all.push_back({pid, pid_t(f.at(1).toInt()), pid_t(f.at(2).toInt()), pid_t(f.at(3).toInt())});
    }
#endif
    return all;
}

// Whether a process holds the number of a leader whose exit was collected: the number was
// handed out again, so its group and session (the number too) are somebody else's now.
bool givenOutAgain(pid_t leader)
{
    return ::kill(leader, 0) == 0 || errno == EPERM;
}

} // namespace

std::vector<pid_t> leftBy(pid_t leader, bool reaped)
{
    if (leader <= 1 || (reaped && givenOutAgain(leader)))
        return {};
    const std::vector<Entry> all = processes();
    std::multimap<pid_t, pid_t> children;
    for (const Entry& e : all)
        children.emplace(e.parent, e.pid);
    std::set<pid_t> found;
    std::vector<pid_t> queue;
    for (const Entry& e : all)
        if (e.pid == leader || e.group == leader || e.session == leader)
            queue.push_back(e.pid);
    while (!queue.empty()) {
        const pid_t pid = queue.back();
        queue.pop_back();
        if (pid == ::getpid() || !found.insert(pid).second)
            continue;
        for (auto [it, end] = children.equal_range(pid); it != end; ++it)
            queue.push_back(it->second);
    }
    return {found.begin(), found.end()};
}

std::vector<pid_t> childrenRunning(pid_t parent, const QByteArray& argument)
{
    std::vector<pid_t> found;
    for (const Entry& e : processes()) {
        if (e.parent != parent)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(e.pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;  // ended meanwhile
        const QList<QByteArray> words = cmdline.readAll().split('\0');
        if (words.indexOf(argument, 1) > 0)
            found.push_back(e.pid);
    }
    return found;
}

void signalAll(pid_t leader, int signal, const std::vector<pid_t>& spared)
{
    for (pid_t pid : leftBy(leader))
        if (std::find(spared.begin(), spared.end(), pid) == spared.end()) {
            ::kill(pid, signal);
            ::kill(pid, SIGCONT);
        }
}

void end(pid_t leader, bool reaped)
{
    if (leader <= 1 || (reaped && givenOutAgain(leader)))
        return;
    std::set<pid_t> stopped;
    // A few looks are plenty: a stopped process starts nothing, so each look can only add what
    // was started while the one before it was being taken.
    for (int look = 0; look < 8; ++look) {
        bool added = false;
        for (pid_t pid : leftBy(leader, reaped))
            if (stopped.insert(pid).second) {
                ::kill(pid, SIGSTOP);
                added = true;
            }
        if (!added)
            break;
    }
    // The group first, while its stopped members keep the number from being handed out again;
    // without /proc it is all that is known.
    ::kill(-leader, SIGKILL);
    for (pid_t pid : stopped)
        ::kill(pid, SIGKILL);
}

} // namespace brinmoor::ProcessTree
