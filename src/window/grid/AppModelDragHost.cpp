#include "AppModelDragHost.h"

#include "AppModel.h"

namespace brinmoor {

// Without a model there is no drag: every target stays inactive and nothing is changed.
std::optional<QUuid> AppModelDragHost::draggingSessionID() const
{
    return m_model ? m_model->draggingSessionID() : std::nullopt;
}

std::optional<DropTarget> AppModelDragHost::dropTarget() const
{
    return m_model ? m_model->dropTarget() : std::nullopt;
}

void AppModelDragHost::setDropTarget(const std::optional<DropTarget>& target)
{
    if (m_model)
        m_model->setDropTarget(target);
}

void AppModelDragHost::swapSessions(const QUuid& a, const QUuid& b)
{
    if (m_model)
        m_model->swapSessions(a, b);
}

void AppModelDragHost::setBigSide(bool left)
{
    if (m_model)
        m_model->setBigSide(left);
}

void AppModelDragHost::endDrag()
{
    if (m_model)
        m_model->endDrag();
}

}  // namespace brinmoor
