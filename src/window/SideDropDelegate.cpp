#include "SideDropDelegate.h"

#include "AppModel.h"
#include "AppModelDragHost.h"

namespace brinmoor {

void SideDropDelegate::setModel(AppModel* model)
{
    if (m_model == model)
        return;
    m_model = model;
    Q_EMIT modelChanged();
}

void SideDropDelegate::setLeading(bool leading)
{
    if (m_leading == leading)
        return;
    m_leading = leading;
    Q_EMIT leadingChanged();
}

void SideDropDelegate::setLoneID(const QString& id)
{
    if (m_loneID == id)
        return;
    m_loneID = id;
    Q_EMIT loneIDChanged();
}

SideDrop SideDropDelegate::logic() const
{
    // No big-side pane: the null id, which no drag carries, so the strip stays inactive.
    return SideDrop{m_leading, uuidFromText(m_loneID).value_or(QUuid())};
}

bool SideDropDelegate::validateDrop() const
{
    const AppModelDragHost host(m_model);
    const SideDrop drop = logic();
    return !drop.loneID.isNull() && drop.validateDrop(host);
}

void SideDropDelegate::dropEntered()
{
    AppModelDragHost host(m_model);
    const SideDrop drop = logic();
    if (!drop.loneID.isNull())
        drop.dropEntered(host);
}

bool SideDropDelegate::dropUpdated() const
{
    const AppModelDragHost host(m_model);
    const SideDrop drop = logic();
    return !drop.loneID.isNull() && drop.dropUpdated(host) == DropProposal::Move;
}

void SideDropDelegate::dropExited()
{
    AppModelDragHost host(m_model);
    logic().dropExited(host);
}

bool SideDropDelegate::performDrop()
{
    AppModelDragHost host(m_model);
    const SideDrop drop = logic();
    if (drop.loneID.isNull()) {
        host.endDrag();
        return false;
    }
    return drop.performDrop(host);
}

}  // namespace brinmoor
