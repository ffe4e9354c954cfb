#include "DropLogic.h"

namespace brinmoor {

bool PaneDrop::active(const DragHost& host) const
{
    const auto d = host.draggingSessionID();
    return d.has_value() && *d != targetID;
}

bool PaneDrop::validateDrop(const DragHost& host) const { return active(host); }

void PaneDrop::dropEntered(DragHost& host) const
{
    if (active(host))
        host.setDropTarget(DropTarget::swap(targetID));
}

DropProposal PaneDrop::dropUpdated(const DragHost& host) const
{
    return active(host) ? DropProposal::Move : DropProposal::Forbidden;
}

void PaneDrop::dropExited(DragHost& host) const
{
    if (host.dropTarget() == DropTarget::swap(targetID))
        host.setDropTarget(std::nullopt);
}

bool PaneDrop::performDrop(DragHost& host) const
{
    if (!active(host)) {
        host.endDrag();
        return false;
    }
    const QUuid dragged = *host.draggingSessionID();
    host.swapSessions(dragged, targetID);
    host.endDrag();
    return true;
}

bool SideDrop::active(const DragHost& host) const
{
    const auto d = host.draggingSessionID();
    return d.has_value() && *d == loneID;
}

bool SideDrop::validateDrop(const DragHost& host) const { return active(host); }

void SideDrop::dropEntered(DragHost& host) const
{
    if (active(host))
        host.setDropTarget(DropTarget::side(leading));
}

DropProposal SideDrop::dropUpdated(const DragHost& host) const
{
    return active(host) ? DropProposal::Move : DropProposal::Forbidden;
}

void SideDrop::dropExited(DragHost& host) const
{
    if (host.dropTarget() == DropTarget::side(leading))
        host.setDropTarget(std::nullopt);
}

bool SideDrop::performDrop(DragHost& host) const
{
    const bool wasActive = active(host);
    if (wasActive)
        host.setBigSide(leading);
    host.endDrag();
    return wasActive;
}

void dragEndedWithoutDrop(DragHost& host)
{
    if (host.draggingSessionID() || host.dropTarget())
        host.endDrag();
}

}  // namespace brinmoor
