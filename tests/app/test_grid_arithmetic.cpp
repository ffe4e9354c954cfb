// Grid items, group labels, column counts and row packing, with the layout's worked numbers.

#include "GridArithmetic.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

Session make(const QString& project, std::optional<QString> group = std::nullopt)
{
    Session s;
    s.id = QUuid::createUuid();
    s.project = project;
    s.groupID = std::move(group);
    return s;
}

// "S" for a single, "G<id>" for a group, one letter per item.
QStringList shape(const QList<GridItemModel>& items)
{
    QStringList out;
    for (const GridItemModel& i : items)
        out.append(i.isGroup() ? QStringLiteral("G") + i.groupID() : QStringLiteral("S"));
    return out;
}

QList<QStringList> shape(const QList<QList<GridItemModel>>& rows)
{
    QList<QStringList> out;
    for (const auto& r : rows)
        out.append(shape(r));
    return out;
}

} // namespace

TEST(GridItems, sessions_without_groups_become_singles_in_order)
{
    const QList<Session> sessions = {make("a"), make("b"), make("c")};
    const auto items = gridItems(sessions);
    ASSERT_EQ(items.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(items[i].isGroup());
        EXPECT_EQ(items[i].sessions().at(0).id, sessions[i].id);
        EXPECT_EQ(items[i].id(), uuidText(sessions[i].id));  // upper-case UUID text
        EXPECT_EQ(items[i].slotCount(), 1);
    }
    EXPECT_TRUE(gridItems({}).isEmpty());
}

TEST(GridItems, group_stands_at_its_first_member_and_gathers_distant_members)
{
    // Two sessions of group "g" at positions 2 and 4 of five.
    const QList<Session> sessions = {make("one"), make("two", "g"), make("three"), make("four", "g"), make("five")};
    const auto items = gridItems(sessions);
    EXPECT_EQ(shape(items), (QStringList{"S", "Gg", "S", "S"}));
    const GridItemModel& group = items[1];
    EXPECT_EQ(group.id(), QStringLiteral("group-g"));
    EXPECT_EQ(group.label(), QStringLiteral("two \u00b7 2 sessions"));
    ASSERT_EQ(group.sessions().size(), 2);
    EXPECT_EQ(group.sessions()[0].id, sessions[1].id);
    EXPECT_EQ(group.sessions()[1].id, sessions[3].id);
    EXPECT_EQ(group.slotCount(), 2);
    EXPECT_EQ(items[2].sessions()[0].id, sessions[2].id);
    EXPECT_EQ(items[3].sessions()[0].id, sessions[4].id);
}

TEST(GridItems, group_ids_compare_as_exact_text_and_lone_members_still_group)
{
    const auto items = gridItems({make("x", "G"), make("y", "g"), make("z", "g ")});
    EXPECT_EQ(shape(items), (QStringList{"GG", "Gg", "Gg "}));
    EXPECT_EQ(items[0].label(), QStringLiteral("x \u00b7 1 sessions"));  // always plural
    EXPECT_EQ(groupLabel({}), QStringLiteral("group \u00b7 0 sessions"));
}

TEST(ColumnCount, without_a_size_follows_the_table_then_the_rounded_up_root)
{
    // Spot checks: the table's start and end, then the root beyond it.
    EXPECT_EQ(columnCount(-1), 1);
    EXPECT_EQ(columnCount(2), 2);
    EXPECT_EQ(columnCount(9), 3);
    EXPECT_EQ(columnCount(17), 5);
    EXPECT_EQ(columnCount(26), 6);
}

TEST(ColumnCount, worked_example_of_a_1176_by_756_container)
{
    const double aspect = 1176.0 / 756.0;  // 1.556
    struct Row {
        int items;
        double scores[3];
        int cols;
    } rows[] = {
        {3, {1.255, 0.157, 0.942}, 2},
        {5, {1.766, 0.562, 0.249}, 3},
        {9, {2.354, 1.073, 0.157}, 3},
    };
    for (const Row& r : rows) {
        for (int c = 1; c <= 3; ++c)
            EXPECT_NEAR(columnScore(r.items, aspect, 1.33, c), r.scores[c - 1], 0.0015) << r.items << " items, " << c;
        EXPECT_EQ(columnCount(r.items, aspect, 1.33, 3), r.cols) << r.items;
    }
}

TEST(ColumnCount, edges_fewer_than_two_items_bad_limits_ties_and_zero_aspect)
{
    EXPECT_EQ(columnCount(0, 5.0, 1.33, 8), 1);
    EXPECT_EQ(columnCount(1, 5.0, 1.33, 8), 1);
    EXPECT_EQ(columnCount(6, 5.0, 1.33, 0), 1);
    EXPECT_EQ(columnCount(6, 5.0, 1.33, -2), 1);
    // A very wide container wants many columns, but never more than the items.
    EXPECT_EQ(columnCount(4, 100.0, 1.33, 10), 4);
    // Equal scores (|ln 2| for one and two columns): the smaller count wins.
    ASSERT_EQ(columnScore(4, 0.5, 1.0, 1), columnScore(4, 0.5, 1.0, 2));
    EXPECT_EQ(columnCount(4, 0.5, 1.0, 2), 1);
    // A zero aspect scores infinity everywhere: one column.
    EXPECT_EQ(columnCount(6, 0.0, 1.33, 4), 1);
    // Not-a-number never wins.
    EXPECT_EQ(columnCount(6, std::nan(""), 1.33, 4), 1);
}

TEST(PackRows, items_keep_their_order_and_rows_close_when_full)
{
    const Session s = make("s");
    const GridItemModel single = GridItemModel::single(s);
    const GridItemModel group = GridItemModel::group("g", "s \u00b7 2 sessions", {s, s});
    using Rows = QList<QStringList>;
    EXPECT_EQ(shape(packRows({single, group, single, group}, 3)), (Rows{{"S", "Gg"}, {"S", "Gg"}}));
    EXPECT_EQ(shape(packRows({group, single, single}, 2)), (Rows{{"Gg"}, {"S", "S"}}));
    EXPECT_EQ(shape(packRows({group, single, single}, 1)), (Rows{{"Gg"}, {"S"}, {"S"}}));
    // Nothing moves forward to fill a gap.
    EXPECT_EQ(shape(packRows({single, group, single}, 2)), (Rows{{"S"}, {"Gg"}, {"S"}}));
    EXPECT_TRUE(packRows({}, 3).isEmpty());
}
