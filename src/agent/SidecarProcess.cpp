#include "SidecarProcess.h"

#include "ProcessTree.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <csignal>
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

// How long shutdownAll waits on one sidecar before it looks at the next.
constexpr int sliceMs = 10;

} // namespace

// What the pool thread shares with the object. The line cutter is used by the GUI thread while no
// read is queued, else by the pool alone. Decoded reads are posted to the mailbox, which lives on
// the GUI thread and goes with the last holder of this (deleted later there, after what was posted
// to it); they reach the object only while it exists.
struct SidecarProcess::Reader {
    struct DeleteLater {
        void operator()(QObject* o) const { o->deleteLater(); }
    };
    LineAccumulator lines;
    QMutex mutex;
    QList<QByteArray> queue;  // reads not cut yet, in order; under the mutex
    bool draining = false;    // a pool task is emptying the queue; under the mutex
    std::unique_ptr<QObject, DeleteLater> mailbox{new QObject};
    QPointer<SidecarProcess> owner;  // read on the GUI thread only
};

SidecarProcess::Batch SidecarProcess::cut(LineAccumulator& lines, QByteArrayView bytes)
{
    Batch batch;
    for (const QByteArray& line : lines.feedBytes(bytes))
        if (auto ev = SidecarEvent::decode(line))
            batch.events.append(std::move(*ev));
    batch.dropped = lines.takeDropped();
    return batch;
}

void SidecarProcess::drain(const std::shared_ptr<Reader>& reader)
{
    for (;;) {
        QByteArray bytes;
        {
            QMutexLocker lock(&reader->mutex);
            if (reader->queue.isEmpty()) {
                reader->draining = false;
                return;
            }
            bytes = reader->queue.takeFirst();
        }
        Batch batch = cut(reader->lines, bytes);
        QMetaObject::invokeMethod(
            reader->mailbox.get(),
            [reader, batch = std::move(batch)] {
                if (SidecarProcess* owner = reader->owner)
                    owner->delivered(batch);
            },
            Qt::QueuedConnection);
    }
}

SidecarProcess::SidecarProcess() : m_process(new QProcess(this)), m_reader(std::make_shared<Reader>())
{
    m_reader->owner = this;
    // Standard error carries the libraries' chatter, and why the sidecar could not run (no thread
    // or process to be had, a crash): only its end is kept, for a sidecar that ends badly.
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        constexpr qsizetype kept = 16 * 1024;
        m_errorTail += m_process->readAllStandardError();
        if (m_errorTail.size() > kept)
            m_errorTail.remove(0, m_errorTail.size() - kept);
    });
    // A group of its own (the child leads a new session), so the agent CLI it starts can be
    // ended together with it.
    m_process->setChildProcessModifier([] { ::setsid(); });
    connect(m_process, &QProcess::started, this, [this] {
        m_pid = m_process->processId();
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
    connect(m_process, &QProcess::bytesWritten, this, &SidecarProcess::pump);
    connect(m_process, &QProcess::finished, this, [this] {
        // However the sidecar ended (its own way out, a crash, SIGKILL), nothing it started may
        // run on without it: an agent CLI left mid-turn would go on calling the model and running
        // tools with nobody to see them. Done at once, while its number still names only its
        // group and session.
        endLeftovers();
        // The exit follows the last events: while reads are still being decoded, it waits.
        if (m_queued > 0 && !m_released)
            m_exitPending = true;
        else
            exited();
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
        endLeftovers();
}

void SidecarProcess::start(const QString& node, const QString& script, const QString& cwd,
                           const QMap<QString, QString>& environment)
{
    QProcessEnvironment env;
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    m_process->setWorkingDirectory(cwd);
    // The sidecar runs below the reaper that lies beside its script, which lasts as long as it
    // does: whatever the agent leaves running (a server started by one of Codex's per-turn
    // processes, which end with their turn) comes back to it, lives as long as the pane's session,
    // and is ended when the sidecar ends, however it ends. The reaper is told what to run through
    // its environment, so that only the sidecar shows its script's name among the processes.
    const QFileInfo reaper(QFileInfo(script).dir().filePath(QStringLiteral("brinmoor-reaper")));
    m_script = QFile::encodeName(script);
    m_throughReaper = reaper.isFile() && reaper.isExecutable();
    if (m_throughReaper) {
        env.insert(QStringLiteral("BRINMOOR_REAPER_PROGRAM"), node);
        env.insert(QStringLiteral("BRINMOOR_REAPER_ARG"), script);
        m_process->setProgram(reaper.filePath());
        m_process->setArguments({});
    } else {
        m_process->setProgram(node);
        m_process->setArguments({script});
    }
    m_process->setProcessEnvironment(env);
    m_process->start(QIODevice::ReadWrite);
}

void SidecarProcess::write(const QJsonObject& command)
{
    if (m_quitSent || m_process->state() == QProcess::NotRunning)
        return;
    if (m_line || !m_outbox.empty()) {
        m_outbox.push_back({SidecarCommand::encode(command), {}});
        return;
    }
    m_process->write(SidecarCommand::encode(command));
}

void SidecarProcess::write(std::shared_ptr<CommandLineSource> line)
{
    if (!line || m_quitSent || m_process->state() == QProcess::NotRunning)
        return;
    if (m_line || !m_outbox.empty()) {
        m_outbox.push_back({{}, std::move(line)});
        return;
    }
    m_line = std::move(line);
    m_midLine = false;
    pump();
}

qint64 SidecarProcess::bytesToWrite() const
{
    return m_process->bytesToWrite();
}

void SidecarProcess::pump()
{
    if (!m_line || m_pieceAsked || m_process->bytesToWrite() > waitingBytes)
        return;
    m_pieceAsked = true;
    QThreadPool::globalInstance()->start([reader = m_reader, line = m_line] {
        QByteArray piece;
        bool failed = false;
        try {
            piece = line->next(pieceBytes);
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        QMetaObject::invokeMethod(
            reader->mailbox.get(),
            [reader, line, piece = std::move(piece), failed] {
                if (SidecarProcess* owner = reader->owner)
                    owner->pieceMade(line, piece, failed);
            },
            Qt::QueuedConnection);
    });
}

void SidecarProcess::pieceMade(const std::shared_ptr<CommandLineSource>& line, const QByteArray& piece, bool failed)
{
    if (line != m_line)
        return;  // given up meanwhile
    m_pieceAsked = false;
    if (m_quitSent || m_process->state() == QProcess::NotRunning) {
        m_line.reset();
        m_outbox.clear();
        return;
    }
    if (failed) {
        // No memory for the rest: the line is ended where it is, so the child drops it whole,
        // and what followed it goes on.
        AgentDiagnostics::print(QStringLiteral("sidecar: a message was too large to encode and was not sent"));
        abandonLine();
        flushOutbox();
        if (auto cb = onLineFailed; cb && !m_released)
            cb();
        return;
    }
    m_process->write(piece);
    m_midLine = true;
    if (line->done()) {
        m_line.reset();
        m_midLine = false;
        flushOutbox();
        return;
    }
    pump();
}

void SidecarProcess::flushOutbox()
{
    while (!m_line && !m_outbox.empty()) {
        Outgoing next = std::move(m_outbox.front());
        m_outbox.pop_front();
        if (next.line) {
            m_line = std::move(next.line);
            m_midLine = false;
            pump();
        } else {
            m_process->write(next.bytes);
        }
    }
}

void SidecarProcess::abandonLine()
{
    if (!m_line)
        return;
    m_line.reset();
    m_pieceAsked = false;
    if (std::exchange(m_midLine, false) && m_process->state() != QProcess::NotRunning)
        m_process->write("\n");
}

qint64 SidecarProcess::pid() const
{
    return m_process->processId();
}

bool SidecarProcess::running() const
{
    return m_process->state() != QProcess::NotRunning;
}

bool SidecarProcess::endedWell() const
{
    return m_process->state() == QProcess::NotRunning && m_process->exitStatus() == QProcess::NormalExit
        && m_process->exitCode() == 0;
}

QString SidecarProcess::lastWords() const
{
    return lastWords(m_errorTail + m_process->readAllStandardError());
}

QString SidecarProcess::lastWords(const QByteArray& errorOutput)
{
    // Node's own failures end in a stack trace, native or JavaScript, and its version: the lines
    // before them say what went wrong.
    static const QRegularExpression trace(QStringLiteral(
        "^(at |-----|Node\\.js v|\\d+: 0x|[\\^~\\s]*$|[{}]$)"));
    QStringList kept;
    for (QString line : QString::fromUtf8(errorOutput).split(u'\n')) {
        line = line.trimmed();
        while (line.startsWith(u'#'))
            line = line.mid(1).trimmed();
        if (!line.isEmpty() && !trace.match(line).hasMatch())
            kept << line;
    }
    QString words = kept.mid(std::max<qsizetype>(0, kept.size() - 2)).join(u' ');
    if (words.size() > 300)
        words = words.left(300) + QChar(0x2026);
    return words;
}

void SidecarProcess::readOutput()
{
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (m_released || bytes.isEmpty())
        return;
    if (m_queued == 0 && m_reader->lines.buffered() + bytes.size() < inlineBytes) {
        deliver(cut(m_reader->lines, bytes));
        return;
    }
    ++m_queued;
    QMutexLocker lock(&m_reader->mutex);
    m_reader->queue.append(bytes);
    if (std::exchange(m_reader->draining, true))
        return;
    lock.unlock();
    QThreadPool::globalInstance()->start([reader = m_reader] { drain(reader); });
}

void SidecarProcess::deliver(const Batch& batch)
{
    if (m_released)
        return;
    if (auto cb = onEvents; !batch.events.isEmpty() && cb)
        cb(batch.events);
    if (auto cb = onLinesDropped; batch.dropped > 0 && cb && !m_released)
        cb(batch.dropped);
}

void SidecarProcess::delivered(const Batch& batch)
{
    --m_queued;
    deliver(batch);
    if (m_queued == 0 && std::exchange(m_exitPending, false))
        exited();
}

void SidecarProcess::exited()
{
    if (m_released) {
        deleteLater();
        return;
    }
    if (auto cb = onExit)
        cb();
}

void SidecarProcess::endLeftovers()
{
    // A child still running is ended with the rest, after them all are found: killed first, it
    // would orphan those of its children that left its group and session. Once its exit is
    // collected its number may be another's.
    if (m_pid > 0)
        ProcessTree::end(pid_t(m_pid), m_process->state() == QProcess::NotRunning);
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
    onLineFailed = nullptr;
    if (m_process->state() == QProcess::NotRunning) {
        deleteLater();
        return;
    }
    abandonLine();
    m_outbox.clear();
    write(SidecarCommand::quit());
    m_quitSent = true;
    m_process->closeWriteChannel();
    QTimer::singleShot(quitGraceMs, this, [this] {
        if (m_process->state() != QProcess::NotRunning)
            ::kill(pid_t(m_process->processId()), SIGTERM);
    });
    // Still there after SIGTERM too (its event loop busy): killed alone, so that its reaper gives
    // what it started SIGTERM and its grace, as at quit; then whatever is left goes with its group.
    QTimer::singleShot(quitGraceMs + killGraceMs, this, [this] {
        if (m_process->state() == QProcess::NotRunning)
            return;
        endSidecarAlone();
        QTimer::singleShot(leftoverGraceMs, this, [this] {
            if (m_process->state() != QProcess::NotRunning)
                endLeftovers();
        });
    });
}

void SidecarProcess::shutdownAll(int graceMs)
{
    const QDeadlineTimer deadline(graceMs);
    QList<QPointer<SidecarProcess>> all;
    for (const QPointer<SidecarProcess>& p : live()) {
        if (!p || p->m_process->state() == QProcess::NotRunning)
            continue;
        p->onExit = nullptr;
        p->onEvents = nullptr;
        if (!p->m_quitSent) {
            p->abandonLine();
            p->m_outbox.clear();
            p->write(SidecarCommand::quit());
            p->m_quitSent = true;
        }
        all.append(p);
    }
    // Every sidecar is told before any is waited for. No event loop runs here, so a QProcess
    // writes only while it is waited on: waited for one after another, each sidecar learnt of the
    // quit only once those before it had gone, and those told last were killed at the deadline
    // with the servers their agents had left still closing. A pipe with room takes the line at
    // once; one that a sidecar no longer reads gets it, if ever, while all are waited for below.
    for (const QPointer<SidecarProcess>& p : all) {
        while (p && p->m_process->bytesToWrite() > 0 && p->m_process->waitForBytesWritten(0)) {
        }
        if (p)
            p->m_process->closeWriteChannel();
    }
    // Then all are waited for together, each in turn for a moment, which also keeps reading what
    // they write (a sidecar blocked on a full output pipe would never end): every sidecar has the
    // same whole grace to end its agent and the agent's servers, SIGTERM first.
    waitTogether(all, deadline);
    // Past the deadline, what is left is ended as a closed pane's sidecar is: SIGTERM, which the
    // reaper passes on to the sidecar, and a moment to act on it. A sidecar that still runs (one
    // whose event loop is busy, or whose own shutdown steps took the whole grace) is killed alone:
    // its reaper then gives what is below it, the agent and the servers it started, SIGTERM and
    // its grace before SIGKILL, as it does whenever its program ends. Killed with the sidecar's
    // tree instead, those servers got SIGKILL with no word. All sessions at once, so the quit
    // takes the grace once however many there are.
    for (const QPointer<SidecarProcess>& p : all)
        if (p && p->m_process->state() != QProcess::NotRunning)
            ::kill(pid_t(p->m_pid), SIGTERM);
    waitTogether(all, QDeadlineTimer(termWaitMs));
    for (const QPointer<SidecarProcess>& p : all)
        if (p && p->m_process->state() != QProcess::NotRunning)
            p->endSidecarAlone();
    waitTogether(all, QDeadlineTimer(leftoverGraceMs));
    for (const QPointer<SidecarProcess>& p : all)
        if (p && p->m_process->state() != QProcess::NotRunning)
            p->endLeftovers();
    for (const QPointer<SidecarProcess>& p : all)
        if (p && p->m_process->state() != QProcess::NotRunning)
            p->m_process->waitForFinished(1000);
}

void SidecarProcess::waitTogether(const QList<QPointer<SidecarProcess>>& all, const QDeadlineTimer& deadline)
{
    for (bool running = true; running && !deadline.hasExpired();) {
        running = false;
        for (const QPointer<SidecarProcess>& p : all) {
            if (!p || p->m_process->state() == QProcess::NotRunning)
                continue;
            if (!p->m_process->waitForFinished(int(std::clamp<qint64>(deadline.remainingTime(), 1, sliceMs))))
                running = true;
        }
    }
}

void SidecarProcess::endSidecarAlone()
{
    if (m_pid <= 0)
        return;
    if (m_throughReaper) {
        // The reaper's child that runs our script; what else is its child came back to it when
        // its parent ended, and is left to the reaper's SIGTERM.
        for (pid_t sidecar : ProcessTree::childrenRunning(pid_t(m_pid), m_script))
            ::kill(sidecar, SIGKILL);
        return;
    }
    // No reaper: what the sidecar started is told here, and killed with it after the grace.
    ProcessTree::signalAll(pid_t(m_pid), SIGTERM, {pid_t(m_pid)});
}

} // namespace brinmoor
