// Pane contents are built a few per turn of the event loop, in the order asked, each once; a pane
// gone before its turn is passed over.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>

#include "PaneBuildQueue.h"
#include "support/OffscreenApp.h"
#include "support/QtTestSupport.h"

using namespace brinmoor;

namespace {

// Stands in for a grid cell: its builder records the order of the builds.
class Pane : public QObject {
    Q_OBJECT
public:
    Pane(QStringList& log, const QString& name) : log(log) { setObjectName(name); }
    Q_INVOKABLE void buildContent() { log << objectName(); }
    QStringList& log;
};

// One turn of the event loop: the queue's pending zero-timer fires once.
void oneTurn()
{
    QCoreApplication::processEvents();
}

} // namespace

TEST(PaneBuildQueue, one_pane_a_turn_within_no_budget_in_the_order_asked)
{
    test::offscreenApp("window_pane_build_queue");
    QStringList log;
    PaneBuildQueue queue;
    queue.setBudgetMs(0);
    Pane a(log, "a"), b(log, "b"), c(log, "c");
    queue.enqueue(&a);
    queue.enqueue(&b);
    queue.enqueue(&a);  // asked twice: built once
    queue.enqueue(&c);
    EXPECT_TRUE(log.isEmpty()) << "nothing is built while the caller's turn runs";
    EXPECT_EQ(queue.pending(), 3);
    oneTurn();
    EXPECT_EQ(log, QStringList{"a"});
    oneTurn();
    EXPECT_EQ(log, (QStringList{"a", "b"}));
    ASSERT_TRUE(test::waitUntil([&] { return queue.pending() == 0; }, 1000));
    EXPECT_EQ(log, (QStringList{"a", "b", "c"}));
}

TEST(PaneBuildQueue, quick_panes_share_a_turn_and_a_pane_gone_is_passed_over)
{
    test::offscreenApp("window_pane_build_queue");
    QStringList log;
    PaneBuildQueue queue;  // the default budget holds several cheap builds
    Pane a(log, "a"), c(log, "c");
    auto* b = new Pane(log, "b");
    queue.enqueue(&a);
    queue.enqueue(b);
    queue.enqueue(&c);
    delete b;
    oneTurn();
    EXPECT_EQ(log, (QStringList{"a", "c"}));
    EXPECT_EQ(queue.pending(), 0);
}

#include "test_pane_build_queue.moc"
