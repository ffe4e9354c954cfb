// The pane drop targets' five operations against a host that records every call.

#include <gtest/gtest.h>

#include <QStringList>

#include "DropLogic.h"

using namespace brinmoor;

namespace {

// Records the model calls as text so a whole sequence is compared at once.
class RecordingHost : public DragHost {
public:
    std::optional<QUuid> dragging;
    std::optional<DropTarget> target;
    QStringList calls;

    std::optional<QUuid> draggingSessionID() const override { return dragging; }
    std::optional<DropTarget> dropTarget() const override { return target; }
    void setDropTarget(const std::optional<DropTarget>& t) override
    {
        target = t;
        calls << (!t ? QStringLiteral("target none")
                     : t->isSwap() ? QStringLiteral("target swap ") + name(t->sessionID)
                                   : QStringLiteral("target side ") + (t->leading ? "left" : "right"));
    }
    void swapSessions(const QUuid& a, const QUuid& b) override { calls << "swap " + name(a) + " " + name(b); }
    void setBigSide(bool left) override { calls << QStringLiteral("bigSide ") + (left ? "left" : "right"); }
    void endDrag() override
    {
        dragging.reset();
        target.reset();
        calls << QStringLiteral("endDrag");
    }

    QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid();
    QString name(const QUuid& id) const
    {
        return id == a ? QStringLiteral("A") : id == b ? QStringLiteral("B") : id == c ? QStringLiteral("C") : QStringLiteral("?");
    }
};

}  // namespace

TEST(PaneDrop, dragging_a_pane_over_itself_is_forbidden)
{
    RecordingHost host;
    host.dragging = host.a;
    const PaneDrop self{host.a};
    EXPECT_FALSE(self.validateDrop(host));
    self.dropEntered(host);
    EXPECT_FALSE(host.target);
    EXPECT_EQ(self.dropUpdated(host), DropProposal::Forbidden);
    EXPECT_FALSE(self.performDrop(host));
    EXPECT_EQ(host.calls, QStringList{"endDrag"});
}

TEST(PaneDrop, dropping_a_on_b_swaps_and_ends_the_drag)
{
    RecordingHost host;
    host.dragging = host.a;
    const PaneDrop onB{host.b};
    EXPECT_TRUE(onB.validateDrop(host));
    onB.dropEntered(host);
    ASSERT_TRUE(host.target);
    EXPECT_EQ(*host.target, DropTarget::swap(host.b));
    EXPECT_EQ(onB.dropUpdated(host), DropProposal::Move);
    EXPECT_TRUE(onB.performDrop(host));
    EXPECT_EQ(host.calls, (QStringList{"target swap B", "swap A B", "endDrag"}));
    EXPECT_FALSE(host.dragging);
    EXPECT_FALSE(host.target);
}

TEST(PaneDrop, exit_clears_only_its_own_target)
{
    RecordingHost host;
    host.dragging = host.a;
    const PaneDrop onB{host.b}, onC{host.c};
    onB.dropEntered(host);
    // C's entry arrives before B's exit: B's exit leaves swap(C) alone.
    onC.dropEntered(host);
    onB.dropExited(host);
    ASSERT_TRUE(host.target);
    EXPECT_EQ(*host.target, DropTarget::swap(host.c));
    // A side target is not a pane's either.
    host.target = DropTarget::side(true);
    onC.dropExited(host);
    EXPECT_EQ(*host.target, DropTarget::side(true));
    // Its own target it clears.
    host.target = DropTarget::swap(host.c);
    onC.dropExited(host);
    EXPECT_FALSE(host.target);
    EXPECT_EQ(host.calls, (QStringList{"target swap B", "target swap C", "target none"}));
}

TEST(PaneDrop, without_a_drag_nothing_is_taken)
{
    RecordingHost host;
    const PaneDrop onB{host.b};
    EXPECT_FALSE(onB.validateDrop(host));
    onB.dropEntered(host);
    EXPECT_EQ(onB.dropUpdated(host), DropProposal::Forbidden);
    onB.dropExited(host);
    EXPECT_FALSE(onB.performDrop(host));
    EXPECT_EQ(host.calls, QStringList{"endDrag"});
}

TEST(SideDrop, only_the_big_side_pane_is_accepted)
{
    RecordingHost host;
    const SideDrop left{true, host.b}, right{false, host.b};

    host.dragging = host.a;  // not the big-side pane
    EXPECT_FALSE(left.validateDrop(host));
    left.dropEntered(host);
    EXPECT_FALSE(host.target);
    EXPECT_EQ(left.dropUpdated(host), DropProposal::Forbidden);
    EXPECT_FALSE(left.performDrop(host));  // changes no setting, only ends the drag
    EXPECT_EQ(host.calls, QStringList{"endDrag"});

    host.calls.clear();
    host.dragging = host.b;
    EXPECT_TRUE(right.validateDrop(host));
    right.dropEntered(host);
    EXPECT_EQ(right.dropUpdated(host), DropProposal::Move);
    left.dropExited(host);  // the other strip's exit leaves side(right) alone
    EXPECT_EQ(*host.target, DropTarget::side(false));
    right.dropExited(host);
    EXPECT_FALSE(host.target);
    left.dropEntered(host);
    EXPECT_TRUE(left.performDrop(host));
    EXPECT_EQ(host.calls,
              (QStringList{"target side right", "target none", "target side left", "bigSide left", "endDrag"}));
}

TEST(SideDrop, dropping_on_the_right_strip_sets_the_right_side)
{
    RecordingHost host;
    host.dragging = host.c;
    EXPECT_TRUE((SideDrop{false, host.c}.performDrop(host)));
    EXPECT_EQ(host.calls, (QStringList{"bigSide right", "endDrag"}));
}

TEST(DragEnd, a_drag_without_a_drop_clears_the_drag_state)
{
    RecordingHost host;
    dragEndedWithoutDrop(host);  // idle: nothing to clear
    EXPECT_TRUE(host.calls.isEmpty());

    host.dragging = host.a;
    PaneDrop{host.b}.dropEntered(host);
    dragEndedWithoutDrop(host);
    EXPECT_FALSE(host.dragging);
    EXPECT_FALSE(host.target);
    // A later pass over a pane is then no drop of the old pane.
    EXPECT_FALSE(PaneDrop{host.b}.validateDrop(host));
}
