#include "PulseClock.h"

#include <QEasingCurve>

#include <cmath>

namespace brinmoor {

PulseClock::PulseClock(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(kTickMs);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        ++m_tick;
        emit tickChanged();
    });
}

double PulseClock::phase(int tick, double duration)
{
    const double leg = std::max(duration, 0.001) * 1000.0;
    const double t = std::fmod(double(tick) * kTickMs, 2 * leg) / leg;  // 0..2: up, then back
    const double along = t <= 1 ? t : 2 - t;
    static const QEasingCurve curve(QEasingCurve::InOutQuad);
    const double eased = curve.valueForProgress(along);
    return std::round(eased * (kLevels - 1)) / (kLevels - 1);
}

void PulseClock::enlist(QObject* pulse)
{
    if (!pulse || m_pulses.contains(pulse))
        return;
    m_pulses.insert(pulse);
    connect(pulse, &QObject::destroyed, this, [this, pulse] { dismiss(pulse); });
    update();
}

void PulseClock::dismiss(QObject* pulse)
{
    if (!m_pulses.remove(pulse))
        return;
    disconnect(pulse, &QObject::destroyed, this, nullptr);
    update();
}

void PulseClock::update()
{
    const bool wanted = !m_pulses.isEmpty();
    if (wanted != m_timer.isActive()) {
        if (wanted) {
            // A swing that starts from rest starts at the lower bound.
            m_tick = 0;
            emit tickChanged();
            m_timer.start();
        } else {
            m_timer.stop();
        }
        emit runningChanged();
    } else if (wanted) {
        emit runningChanged();  // the count changed
    }
}

} // namespace brinmoor
