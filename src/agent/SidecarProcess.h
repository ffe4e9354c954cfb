#pragma once

#include "SidecarProtocol.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QFuture>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

class QProcess;

namespace brinmoor {

// One Node sidecar child: launched without blocking, written to through the process's own queue
// (a sidecar that stops reading never blocks the GUI thread), its output cut into lines and
// decoded, its standard error discarded.
//
// The child runs in a process group of its own, so whatever it starts (the agent CLI) can be
// ended with it. The object is never deleted while its child runs: release() lets the child go
// and deletes the object once the child has exited; at application quit every sidecar still
// there is asked to quit and, failing that, its whole group is ended.
class SidecarProcess : public QObject {
    Q_OBJECT
public:
    // The sidecar's grace between "quit" and SIGTERM, and between SIGTERM and killing its group.
    // How long a released sidecar gets after "quit" before SIGTERM, and after that before its group
    // is killed. Only tests shorten them.
    static inline int quitGraceMs = 2000;
    static inline int killGraceMs = 5000;

    SidecarProcess();
    ~SidecarProcess() override;

    // Called on the GUI thread; none after release().
    std::function<void()> onStarted;
    std::function<void(const QString& error)> onFailedToStart;
    // The events of one read, in order (a long line's event may come with a later read's).
    std::function<void(const QList<SidecarEvent>& events)> onEvents;
    std::function<void()> onExit;
    // Lines over the cap were dropped (after the events of the same read).
    std::function<void(int lines)> onLinesDropped;

    // Starts `node script` in `cwd` with exactly `environment`; returns at once.
    void start(const QString& node, const QString& script, const QString& cwd,
               const QMap<QString, QString>& environment);
    // One command line; queued by the process when the child is slow to read. Nothing once the
    // child has gone or the object was released.
    void write(const QJsonObject& command);
    qint64 pid() const;
    bool running() const;

    // Detaches every callback, sends "quit", closes the child's input, and deletes this object
    // once the child has gone: SIGTERM after quitGraceMs, the whole group killed killGraceMs later.
    void release();

    // At application quit: every live sidecar is asked to quit and waited for (at most
    // `graceMs` in all), then what is left is ended with its group. Blocks; quit time only.
    static void shutdownAll(int graceMs = 4000);

    // A line at least this long is decoded on a worker thread: parsing megabytes of JSON would
    // hold up the GUI thread for longer than a frame.
    static constexpr qsizetype workerLineBytes = 256 * 1024;

private:
    // What one read gave, in order: events decoded at once, or one long line being decoded on a
    // worker, which holds back everything after it until it is done.
    struct Pending {
        bool longLine = false;
        QFuture<std::optional<SidecarEvent>> decoding;  // for a long line
        QList<SidecarEvent> events;
        int dropped = 0;  // over-long lines dropped in the same read
    };
    void readOutput();
    void deliver();
    void signalGroup(int signal);

    QProcess* m_process;
    LineAccumulator m_lines;
    std::deque<Pending> m_pending;
    bool m_released = false;
    bool m_quitSent = false;
};

} // namespace brinmoor
