#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <memory>

namespace brinmoor {

// Measures how long the GUI thread goes without turning its event loop, for tests and for anyone
// chasing a freeze: a precise timer ticks every few milliseconds, and a tick that comes late by
// `threshold` or more is a stall (input and painting waited that long too; the software renderer
// draws on this thread). Each stall is written to the log as it ends:
//   stall <ms> ready <ms> ended <epoch ms>
// where "ready" is the part of the stall the thread spent runnable but waiting for a CPU (read
// from the kernel on Linux, 0 elsewhere): a busy machine, not the app's own work. The longest
// stall is written as the event loop ends: `longest <ms> ready <ms> ended <epoch ms>`.
class StallWatch : public QObject {
public:
    StallWatch(const QString& logPath, int thresholdMs, QObject* parent = nullptr);
    ~StallWatch() override;

    // The watch the environment asks for: BRINMOOR_STALL_LOG=<file> (appended to), optionally
    // BRINMOOR_STALL_MS=<threshold> (default 16, one frame at 60 Hz). Null when the log is not
    // named: then nothing ticks and nothing is written.
    static StallWatch* fromEnvironment(QObject* parent);

    qint64 longestMs() const { return m_longest.ms; }

private:
    struct Stall {
        qint64 ms = 0;
        qint64 readyMs = 0;
        qint64 endedAt = 0;
    };
    void tick();
    void finish();
    void write(const char* what, const Stall& stall);
    qint64 readyNs() const;  // the thread's total time runnable but not running

    static constexpr int intervalMs = 4;
    QTimer m_timer;
    QElapsedTimer m_since;
    QFile m_log;
    int m_thresholdMs;
    int m_schedFd = -1;
    qint64 m_readyAtTick = 0;
    Stall m_longest;
};

} // namespace brinmoor
