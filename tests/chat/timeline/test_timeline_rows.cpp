// The rows a chat pane lists: the session's timeline with the trailing activity row after it while
// the agent works and waits for nobody, changed row by row.
#include "ChatTimelineRows.h"

#include <QAbstractItemModel>
#include <QGuiApplication>

#include <gtest/gtest.h>

using namespace brinmoor;

namespace {

QStringList ids(QObject* rows)
{
    auto* model = qobject_cast<QAbstractItemModel*>(rows);
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->data(model->index(i, 0), TimelineModel::RowIdRole).toString()
                   + ":" + model->data(model->index(i, 0), TimelineModel::LabelRole).toString();
    return out;
}

} // namespace

TEST(ChatTimelineRows, activity_row_follows_the_timeline_and_changes_in_place)
{
    int argc = 0;
    QGuiApplication app(argc, nullptr);
    ClaudeSession session(QUuid::createUuid(), QStringLiteral("/tmp"), false, std::nullopt, ChatProvider::Claude, true);
    ChatTimelineRows rows;
    rows.setSession(&session);
    auto* model = qobject_cast<QAbstractItemModel*>(rows.rows());
    int inserted = 0, removed = 0, changed = 0, resets = 0;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, [&](auto, int a, int b) { inserted += b - a + 1; });
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, [&](auto, int a, int b) { removed += b - a + 1; });
    QObject::connect(model, &QAbstractItemModel::dataChanged, [&](auto, auto) { ++changed; });
    QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    EXPECT_EQ(rows.count(), 0);

    session.sendUser(QStringLiteral("hi"), {});  // busy: the user row, then the activity row
    ASSERT_EQ(ids(rows.rows()).size(), 2);
    EXPECT_EQ(ids(rows.rows()).last(), "working:");

    SidecarEvent::Assistant answer;
    answer.blocks = {ChatBlock::ofText(QStringLiteral("hello"))};
    answer.tokensIn = 1000;
    answer.tokensOut = 234;
    inserted = changed = 0;
    session.apply(SidecarEvent{answer});
    // One row in before the activity row, whose label changes in place.
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(ids(rows.rows()).last(), "working:1.2k tokens");

    session.apply(SidecarEvent{SidecarEvent::Permission{QStringLiteral("p1"), QStringLiteral("Bash"), {}}});
    EXPECT_EQ(ids(rows.rows()).size(), 2) << "no activity row while the user is asked";
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(resets, 0);
}
