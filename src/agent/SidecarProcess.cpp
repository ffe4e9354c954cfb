#include "SidecarProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/types.h>
#include <unistd.h>

namespace brinmoor {

namespace {

QList<QPointer<SidecarProcess>>& live()
{
    static QList<QPointer<SidecarProcess>> list;
    return list;
}

void watchQuit()
{
    static bool hooked = false;
    if (hooked || !QCoreApplication::instance())
        return;
    hooked = true;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { SidecarProcess::shutdownAll(); });
}

} // namespace

SidecarProcess::SidecarProcess() : m_process(new QProcess(this))
{
    // Standard error carries the libraries' chatter; nothing reads it.
    m_process->setStandardErrorFile(QProcess::nullDevice());
    // A group of its own (the child leads a new session), so the agent CLI it starts can be
    // ended together with it.
    m_process->setChildProcessModifier([] { ::setsid(); });
    connect(m_process, &QProcess::started, this, [this] {
        // A copy: the callback may release this object, which clears the members.
        if (auto cb = onStarted)
            cb();
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (m_released) {
            deleteLater();  // no finished() follows a failed start
            return;
        }
        if (auto cb = onFailedToStart)
            cb(m_process->errorString());
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &SidecarProcess::readOutput);
    connect(m_process, &QProcess::finished, this, [this] {
        if (m_released) {
            deleteLater();
            return;
        }
        if (auto cb = onExit)
            cb();
    });
    live().append(this);
    watchQuit();
}

SidecarProcess::~SidecarProcess()
{
    live().removeAll(this);
    // Only reached with the child gone (release) or at process end after shutdownAll; QProcess's
    // own destructor would otherwise kill the sidecar alone and orphan its CLI.
    if (m_process->state() != QProcess::NotRunning)
        signalGroup(SIGKILL);
}

void SidecarProcess::start(const QString& node, const QString& script, const QString& cwd,
                           const QMap<QString, QString>& environment)
{
    QProcessEnvironment env;
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    m_process->setProcessEnvironment(env);
    m_process->setWorkingDirectory(cwd);
    m_process->setProgram(node);
    m_process->setArguments({script});
    m_process->start(QIODevice::ReadWrite);
}

void SidecarProcess::write(const QJsonObject& command)
{
    if (m_quitSent || m_process->state() == QProcess::NotRunning)
        return;
    m_process->write(SidecarCommand::encode(command));
}

qint64 SidecarProcess::pid() const
{
    return m_process->processId();
}

bool SidecarProcess::running() const
{
    return m_process->state() != QProcess::NotRunning;
}

void SidecarProcess::readOutput()
{
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (m_released || bytes.isEmpty())
        return;
    Pending now;
    for (QByteArray& line : m_lines.feedBytes(bytes)) {
        if (line.size() < workerLineBytes) {
            if (auto ev = SidecarEvent::decode(line))
                now.events.append(std::move(*ev));
            continue;
        }
        auto promise = std::make_shared<QPromise<std::optional<SidecarEvent>>>();
        promise->start();
        Pending later{true, promise->future(), {}, 0};
        // Delivered on this thread; a continuation made for an object already gone never runs.
        later.decoding.then(this, [this](const std::optional<SidecarEvent>&) { deliver(); });
        QThreadPool::globalInstance()->start([promise, line = std::move(line)] {
            promise->addResult(SidecarEvent::decode(line));
            promise->finish();
        });
        m_pending.push_back(std::exchange(now, {}));
        m_pending.push_back(std::move(later));
    }
    now.dropped = m_lines.takeDropped();
    m_pending.push_back(std::move(now));
    deliver();
}

void SidecarProcess::deliver()
{
    QList<SidecarEvent> events;
    int dropped = 0;
    while (!m_pending.empty()) {
        Pending& p = m_pending.front();
        if (p.longLine) {
            if (!p.decoding.isFinished())
                break;
            // No result only when the decoding never ran (the pool went away first).
            if (p.decoding.resultCount() > 0)
                if (std::optional<SidecarEvent> ev = p.decoding.result())
                    events.append(std::move(*ev));
        } else {
            events.append(std::move(p.events));
            dropped += p.dropped;
        }
        m_pending.pop_front();
    }
    if (m_released)
        return;
    if (auto cb = onEvents; !events.isEmpty() && cb)
        cb(events);
    if (auto cb = onLinesDropped; dropped > 0 && cb && !m_released)
        cb(dropped);
}

void SidecarProcess::signalGroup(int signal)
{
    const qint64 pid = m_process->processId();
    if (pid <= 0)
        return;
    // The child made itself a group leader; before it got there, signal it alone.
    if (::kill(-pid_t(pid), signal) != 0)
        ::kill(pid_t(pid), signal);
}

void SidecarProcess::release()
{
    if (m_released)
        return;
    m_released = true;
    onStarted = nullptr;
    onFailedToStart = nullptr;
    onEvents = nullptr;
    onExit = nullptr;
    if (m_process->state() == QProcess::NotRunning) {
        deleteLater();
        return;
    }
    write(SidecarCommand::quit());
    m_quitSent = true;
    m_process->closeWriteChannel();
    QTimer::singleShot(quitGraceMs, this, [this] {
        if (m_process->state() != QProcess::NotRunning)
            ::kill(pid_t(m_process->processId()), SIGTERM);
    });
    QTimer::singleShot(quitGraceMs + killGraceMs, this, [this] {
        if (m_process->state() != QProcess::NotRunning)
            signalGroup(SIGKILL);
    });
}

void SidecarProcess::shutdownAll(int graceMs)
{
    const QList<QPointer<SidecarProcess>> all = live();
    for (const QPointer<SidecarProcess>& p : all) {
        if (!p || p->m_process->state() == QProcess::NotRunning)
            continue;
        p->onExit = nullptr;
        p->onEvents = nullptr;
        if (!p->m_quitSent) {
            p->write(SidecarCommand::quit());
            p->m_quitSent = true;
            p->m_process->closeWriteChannel();
        }
    }
    const QDeadlineTimer deadline(graceMs);
    for (const QPointer<SidecarProcess>& p : all)
        if (p && p->m_process->state() != QProcess::NotRunning)
            p->m_process->waitForFinished(int(qMax<qint64>(1, deadline.remainingTime())));
    for (const QPointer<SidecarProcess>& p : all) {
        if (!p || p->m_process->state() == QProcess::NotRunning)
            continue;
        p->signalGroup(SIGKILL);
        p->m_process->waitForFinished(1000);
    }
}

} // namespace brinmoor
