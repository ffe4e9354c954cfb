#pragma once

#include <QUuid>

#include <optional>

#include "Models.h"

namespace brinmoor {

// What a pane drop target reads and changes while a pane is dragged. AppModel provides it in the
// application (AppModelDragHost); tests record the calls.
class DragHost {
public:
    virtual ~DragHost() = default;
    virtual std::optional<QUuid> draggingSessionID() const = 0;
    virtual std::optional<DropTarget> dropTarget() const = 0;
    virtual void setDropTarget(const std::optional<DropTarget>& target) = 0;
    virtual void swapSessions(const QUuid& a, const QUuid& b) = 0;
    virtual void setBigSide(bool left) = 0;
    virtual void endDrag() = 0;
};

// The answer to a pointer moving over a drop target.
enum class DropProposal {
    Move,       // the drop would be taken
    Forbidden,  // this target refuses the dragged pane
};

// What every pane drop target does, in the order the drag machinery calls it; a target says only
// which drag it takes, what it marks as the drop target and what a drop does. The drag payload is
// never read: everything rests on the host's dragging session.
class DropRule {
public:
    virtual ~DropRule() = default;
    virtual bool active(const DragHost& host) const = 0;
    bool validateDrop(const DragHost& host) const { return active(host); }
    void dropEntered(DragHost& host) const;
    DropProposal dropUpdated(const DragHost& host) const;
    // Clears the target only when it is still this one's: the next target's entry may have come
    // first.
    void dropExited(DragHost& host) const;
    // Ends the drag either way; true when the drop was taken.
    bool performDrop(DragHost& host) const;

protected:
    virtual DropTarget target() const = 0;
    virtual void apply(DragHost& host, const QUuid& dragged) const = 0;
};

// The drop target of one single pane: dropping another pane there swaps the two.
struct PaneDrop : DropRule {
    PaneDrop(QUuid target = {}) : targetID(target) {}
    QUuid targetID;  // the null id is no pane and takes nothing

    // Active while some other pane is dragged: a pane is never a target for itself.
    bool active(const DragHost& host) const override;

protected:
    DropTarget target() const override { return DropTarget::swap(targetID); }
    void apply(DragHost& host, const QUuid& dragged) const override { host.swapSessions(dragged, targetID); }
};

// The drop target of one side strip: dropping the big-side pane there moves the big side.
struct SideDrop : DropRule {
    SideDrop(bool lead = false, QUuid lone = {}) : leading(lead), loneID(lone) {}
    bool leading = false;  // the left strip
    QUuid loneID;          // the big-side pane's session

    bool active(const DragHost& host) const override;

protected:
    DropTarget target() const override { return DropTarget::side(leading); }
    void apply(DragHost& host, const QUuid&) const override { host.setBigSide(leading); }
};

// A drag that ended with no drop taken (cancelled, or released where nothing accepts panes):
// the drag state is cleared so that later plain-text drops are not taken for this pane.
void dragEndedWithoutDrop(DragHost& host);

}  // namespace brinmoor
