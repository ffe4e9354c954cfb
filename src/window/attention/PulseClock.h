#pragma once

#include <QObject>
#include <QSet>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The one clock behind every breathing opacity (Pulse) of a window. An endless animation would
// make Qt Quick render every frame, and without a GPU each frame redraws the whole window; so the
// pulses share this stepped clock instead: it ticks at most 8 times a second, only while some
// pulse is shown in a visible window, and every pulse reads the same tick, so their opacity
// changes land in the same frame. The breathing curve is sampled in a few levels, so most ticks
// change nothing and cost no frame at all.
class PulseClock : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // Ticks since the clock last started from rest; pulses bind to it.
    Q_PROPERTY(int tick READ tick NOTIFY tickChanged)
    // Whether the clock is ticking (some pulse is running).
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(int runningPulses READ runningPulses NOTIFY runningChanged)

public:
    static constexpr int kTickMs = 125;
    // Opacity levels between the bounds, both included. Each change costs the window a frame,
    // and with GL on a software rasteriser a frame of the whole window costs about 30 ms of CPU:
    // three levels change four times per 3.2 s swing, about 1.25 frames a second.
    static constexpr int kLevels = 3;

    explicit PulseClock(QObject* parent = nullptr);

    int tick() const { return m_tick; }
    bool running() const { return m_timer.isActive(); }
    int runningPulses() const { return int(m_pulses.size()); }

    // Where a pulse of `duration` seconds per leg stands at `tick`: 0 at the lower bound, 1 at the
    // upper one; the ease-in-out swing up and back, held at one of kLevels levels.
    Q_INVOKABLE static double phase(int tick, double duration);

    // A pulse started or stopped running (shown, active, in a visible window). A pulse that is
    // destroyed while enlisted leaves by itself.
    Q_INVOKABLE void enlist(QObject* pulse);
    Q_INVOKABLE void dismiss(QObject* pulse);

signals:
    void tickChanged();
    void runningChanged();

private:
    void update();

    QTimer m_timer;
    QSet<QObject*> m_pulses;
    int m_tick = 0;
};

} // namespace brinmoor
