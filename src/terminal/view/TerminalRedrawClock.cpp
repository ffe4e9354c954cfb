#include "TerminalRedrawClock.h"

#include "TerminalView.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {
QPointer<TerminalRedrawClock> theClock;
}

TerminalRedrawClock& TerminalRedrawClock::shared()
{
    // Owned by the application: its timer lives and dies with the application's event loop.
    if (!theClock)
        theClock = new TerminalRedrawClock(QCoreApplication::instance());
    return *theClock;
}

TerminalRedrawClock* TerminalRedrawClock::existing()
{
    return theClock.data();
}

TerminalRedrawClock::TerminalRedrawClock(QObject* parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TerminalRedrawClock::tick);
}

qint64 TerminalRedrawClock::intervalNs()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    qreal hz = screen ? screen->refreshRate() : 0;
    if (!(hz >= 1))
        hz = 60;
    // Rounded up to the next 10 µs so a 60 Hz display gets 16.67 ms, never a hair less.
    return qint64(std::ceil(1e5 / std::min<qreal>(hz, 240))) * 10'000;
}

void TerminalRedrawClock::schedule(TerminalView* view)
{
    if (std::find(waiting_.begin(), waiting_.end(), view) == waiting_.end())
        waiting_.emplace_back(view);
    if (timer_.isActive())
        return;
    qint64 delayMs = 0;
    if (lastTick_.isValid()) {
        const qint64 interval = intervalNs();
        const qint64 sinceNs = lastTick_.nsecsElapsed();
        if (sinceNs < interval)
            delayMs = (interval - sinceNs + 999'999) / 1'000'000;
    }
    timer_.start(int(delayMs));
}

void TerminalRedrawClock::cancel(TerminalView* view)
{
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), view), waiting_.end());
    if (waiting_.empty())
        timer_.stop();
}

int TerminalRedrawClock::delay() const
{
    return timer_.isActive() ? timer_.interval() : -1;
}

void TerminalRedrawClock::tick()
{
    lastTick_.start();
    ++ticks_;
    // A view's update may schedule again (or a view may go away): work on a snapshot.
    std::vector<QPointer<TerminalView>> views;
    views.swap(waiting_);
    for (const QPointer<TerminalView>& view : views) {
        if (view)
            view->runScheduledDisplay();
    }
}
