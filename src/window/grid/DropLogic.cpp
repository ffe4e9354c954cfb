#include "DropLogic.h"

namespace brinmoor {

void DropRule::dropEntered(DragHost& host) const
{
    if (active(host))
        host.setDropTarget(target());
}

DropProposal DropRule::dropUpdated(const DragHost& host) const
{
    return active(host) ? DropProposal::Move : DropProposal::Forbidden;
}

void DropRule::dropExited(DragHost& host) const
{
    if (host.dropTarget() == target())
        host.setDropTarget(std::nullopt);
}

bool DropRule::performDrop(DragHost& host) const
{
    const bool taken = active(host);
    if (taken)
        apply(host, *host.draggingSessionID());
    host.endDrag();
    return taken;
}

bool PaneDrop::active(const DragHost& host) const
{
    const auto d = host.draggingSessionID();
    return !targetID.isNull() && d.has_value() && *d != targetID;
}

bool SideDrop::active(const DragHost& host) const
{
    const auto d = host.draggingSessionID();
    return !loneID.isNull() && d.has_value() && *d == loneID;
}

void dragEndedWithoutDrop(DragHost& host)
{
    if (host.draggingSessionID() || host.dropTarget())
        host.endDrag();
}

}  // namespace brinmoor
