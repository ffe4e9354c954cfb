#include "DropDelegates.h"

#include "AppModelDragHost.h"

namespace brinmoor {

void DropDelegate::setModel(AppModel* model)
{
    if (m_model == model)
        return;
    m_model = model;
    Q_EMIT modelChanged();
}

bool DropDelegate::validateDrop() const
{
    const AppModelDragHost host(m_model);
    return rule().validateDrop(host);
}

void DropDelegate::dropEntered()
{
    AppModelDragHost host(m_model);
    rule().dropEntered(host);
}

bool DropDelegate::dropUpdated() const
{
    const AppModelDragHost host(m_model);
    return rule().dropUpdated(host) == DropProposal::Move;
}

void DropDelegate::dropExited()
{
    AppModelDragHost host(m_model);
    rule().dropExited(host);
}

bool DropDelegate::performDrop()
{
    AppModelDragHost host(m_model);
    return rule().performDrop(host);
}

// An id that does not parse is no session: the null id, which takes no drop.
void PaneDropDelegate::setTargetID(const QString& id)
{
    if (m_targetID == id)
        return;
    m_targetID = id;
    m_rule.targetID = uuidFromText(id).value_or(QUuid());
    Q_EMIT targetIDChanged();
}

void SideDropDelegate::setLeading(bool leading)
{
    if (m_rule.leading == leading)
        return;
    m_rule.leading = leading;
    Q_EMIT leadingChanged();
}

void SideDropDelegate::setLoneID(const QString& id)
{
    if (m_loneID == id)
        return;
    m_loneID = id;
    m_rule.loneID = uuidFromText(id).value_or(QUuid());
    Q_EMIT loneIDChanged();
}

}  // namespace brinmoor
