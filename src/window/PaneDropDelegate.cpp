#include "PaneDropDelegate.h"

#include "AppModel.h"
#include "AppModelDragHost.h"

namespace brinmoor {

void PaneDropDelegate::setModel(AppModel* model)
{
    if (m_model == model)
        return;
    m_model = model;
    Q_EMIT modelChanged();
}

void PaneDropDelegate::setTargetID(const QString& id)
{
    if (m_targetID == id)
        return;
    m_targetID = id;
    Q_EMIT targetIDChanged();
}

PaneDrop PaneDropDelegate::logic() const
{
    // An id that does not parse is no session: the null id, never equal to a dragged pane's.
    return PaneDrop{uuidFromText(m_targetID).value_or(QUuid())};
}

bool PaneDropDelegate::validateDrop() const
{
    const AppModelDragHost host(m_model);
    const PaneDrop drop = logic();
    return !drop.targetID.isNull() && drop.validateDrop(host);
}

void PaneDropDelegate::dropEntered()
{
    AppModelDragHost host(m_model);
    const PaneDrop drop = logic();
    if (!drop.targetID.isNull())
        drop.dropEntered(host);
}

bool PaneDropDelegate::dropUpdated() const
{
    const AppModelDragHost host(m_model);
    const PaneDrop drop = logic();
    return !drop.targetID.isNull() && drop.dropUpdated(host) == DropProposal::Move;
}

void PaneDropDelegate::dropExited()
{
    AppModelDragHost host(m_model);
    logic().dropExited(host);
}

bool PaneDropDelegate::performDrop()
{
    AppModelDragHost host(m_model);
    const PaneDrop drop = logic();
    if (drop.targetID.isNull()) {
        host.endDrag();
        return false;
    }
    return drop.performDrop(host);
}

}  // namespace brinmoor
