#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

class TerminalView;

// The one redraw tick of every terminal view in the process. A view with new output asks for the
// next tick; each tick hands all views that asked their display update in one event-loop turn, so
// the changes of nine busy panes land in one frame, not nine. Ticks come at most once per
// refresh interval of the display; the first change after a quiet interval gets a tick on the next
// turn (a typed key's echo is not held back). No view waiting, no timer running.
class TerminalRedrawClock : public QObject {
public:
    // The clock of the running application (made on first use, gone with the application).
    static TerminalRedrawClock& shared();
    // The clock if one exists, else nullptr.
    static TerminalRedrawClock* existing();

    void schedule(TerminalView* view);
    // A view going away leaves the queue.
    void cancel(TerminalView* view);
    // Milliseconds until the next tick, or -1 when none is due.
    int delay() const;
    int ticks() const { return ticks_; }
    // The shortest time between ticks: one refresh of the primary screen (60 Hz when unknown).
    static qint64 intervalNs();

private:
    explicit TerminalRedrawClock(QObject* parent);
    void tick();

    QTimer timer_;
    QElapsedTimer lastTick_;
    std::vector<QPointer<TerminalView>> waiting_;
    int ticks_ = 0;
};
