#pragma once

#include "DropLogic.h"

namespace brinmoor {

class AppModel;

// The application model as the drop targets see it.
class AppModelDragHost final : public DragHost {
public:
    explicit AppModelDragHost(AppModel* model) : m_model(model) {}

    std::optional<QUuid> draggingSessionID() const override;
    std::optional<DropTarget> dropTarget() const override;
    void setDropTarget(const std::optional<DropTarget>& target) override;
    void swapSessions(const QUuid& a, const QUuid& b) override;
    void setBigSide(bool left) override;
    void endDrag() override;

private:
    AppModel* m_model;
};

}  // namespace brinmoor
