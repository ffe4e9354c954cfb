// The pane grid's layout as rectangles: the four layouts, the big side, fillers, scrolling, group
// boxes and degenerate sizes. All rectangles are relative to the inner area (view minus 12 points).

#include <gtest/gtest.h>

#include <cmath>

#include "GridGeometry.h"

using namespace brinmoor;
using Layout = GridGeometry::Layout;

namespace {

// A view whose inner area is 1176 x 756, the size every worked example of the grid uses.
const QSizeF wide(1200, 780);

QList<Session> sessions(int n, const QStringList& groups = {})
{
    QList<Session> out;
    for (int i = 0; i < n; ++i) {
        Session s;
        s.id = QUuid::createUuid();
        s.project = QStringLiteral("p%1").arg(i + 1);
        s.sessionLabel = QStringLiteral("session 1");
        if (i < groups.size() && !groups.at(i).isEmpty())
            s.groupID = groups.at(i);
        out << s;
    }
    return out;
}

QRectF paneRect(const GridGeometry::Result& r, const Session& s)
{
    const auto* p = r.pane(uuidText(s.id));
    EXPECT_NE(p, nullptr) << "no pane for " << s.project.toStdString();
    return p ? p->rect : QRectF();
}

void expectRect(const QRectF& actual, double x, double y, double w, double h)
{
    EXPECT_NEAR(actual.x(), x, 1e-6);
    EXPECT_NEAR(actual.y(), y, 1e-6);
    EXPECT_NEAR(actual.width(), w, 1e-6);
    EXPECT_NEAR(actual.height(), h, 1e-6);
}

GridSettings automatic(int maxRows = 4, bool left = false) { return GridSettings{std::nullopt, maxRows, left}; }
GridSettings forced(int cols, int maxRows = 4) { return GridSettings{cols, maxRows, false}; }

}  // namespace

TEST(GridGeometry, empty_and_single_session)
{
    const auto none = GridGeometry::compute(QList<Session>{}, automatic(), wide);
    EXPECT_EQ(none.layout, Layout::Empty);
    EXPECT_EQ(none.cols, 1);
    EXPECT_TRUE(none.cells.empty());
    EXPECT_TRUE(none.panes.empty());
    expectRect(none.inner, 12, 12, 1176, 756);

    const auto one = sessions(1);
    const auto r = GridGeometry::compute(one, automatic(), wide);
    EXPECT_EQ(r.cols, 1);
    expectRect(paneRect(r, one[0]), 0, 0, 1176, 756);
    EXPECT_FALSE(r.bigSideID);
}

TEST(GridGeometry, automatic_columns_follow_the_window_shape)
{
    // Two sessions: side by side at 1176 x 756, one above the other below 600 inner width.
    const auto two = sessions(2);
    auto r = GridGeometry::compute(two, automatic(), wide);
    EXPECT_EQ(r.layout, Layout::Columns);
    EXPECT_EQ(r.cols, 2);
    expectRect(paneRect(r, two[0]), 0, 0, 583, 756);
    expectRect(paneRect(r, two[1]), 593, 0, 583, 756);
    EXPECT_FALSE(r.bigSideID);

    r = GridGeometry::compute(two, automatic(), QSizeF(580 + 24, 780));
    EXPECT_EQ(r.cols, 1);
    expectRect(paneRect(r, two[0]), 0, 0, 580, 373);
    expectRect(paneRect(r, two[1]), 0, 383, 580, 373);

    // Four: at most three columns, two scores best: two columns of two, no big side.
    const auto four = sessions(4);
    r = GridGeometry::compute(four, automatic(), wide);
    EXPECT_EQ(r.cols, 2);
    expectRect(paneRect(r, four[0]), 0, 0, 583, 373);
    expectRect(paneRect(r, four[1]), 593, 0, 583, 373);
    expectRect(paneRect(r, four[2]), 0, 383, 583, 373);
    expectRect(paneRect(r, four[3]), 593, 383, 583, 373);
    EXPECT_FALSE(r.bigSideID);
    EXPECT_EQ(r.contentHeight, 756);
}

TEST(GridGeometry, big_side_pane_stands_alone_at_full_height)
{
    const auto three = sessions(3);
    auto r = GridGeometry::compute(three, automatic(), wide);
    EXPECT_EQ(r.cols, 2);
    // Dealt round-robin: columns (1, 3) and (2); pane 2 at full height on the right.
    expectRect(paneRect(r, three[0]), 0, 0, 583, 373);
    expectRect(paneRect(r, three[2]), 0, 383, 583, 373);
    expectRect(paneRect(r, three[1]), 593, 0, 583, 756);
    ASSERT_TRUE(r.bigSideID);
    EXPECT_EQ(*r.bigSideID, uuidText(three[1].id));

    // bigSideLeft reverses the columns: pane 2 on the left, the same pane is still the big side.
    r = GridGeometry::compute(three, automatic(4, true), wide);
    expectRect(paneRect(r, three[1]), 0, 0, 583, 756);
    expectRect(paneRect(r, three[0]), 593, 0, 583, 373);
    expectRect(paneRect(r, three[2]), 593, 383, 583, 373);
    ASSERT_TRUE(r.bigSideID);
    EXPECT_EQ(*r.bigSideID, uuidText(three[1].id));
    // Panes stay listed in workspace order whatever the column order.
    EXPECT_EQ(r.panes[0].sessionID, uuidText(three[0].id));

    // Five in three columns: (1, 4), (2, 5), (3): pane 3 is the big side at the right.
    const auto five = sessions(5);
    r = GridGeometry::compute(five, automatic(), wide);
    EXPECT_EQ(r.cols, 3);
    const double colW = (1176 - 20) / 3.0;
    expectRect(paneRect(r, five[2]), 2 * (colW + 10), 0, colW, 756);
    expectRect(paneRect(r, five[3]), 0, 383, colW, 373);
    expectRect(paneRect(r, five[4]), colW + 10, 383, colW, 373);
    ASSERT_TRUE(r.bigSideID);
    EXPECT_EQ(*r.bigSideID, uuidText(five[2].id));

    // Strips and ghost follow the inner area and the column count.
    expectRect(r.leadingStrip, 0, 0, 60, 756);
    expectRect(r.trailingStrip, 1116, 0, 60, 756);
    expectRect(r.leadingGhost, 0, 0, colW, 756);
    expectRect(r.trailingGhost, 1176 - colW, 0, colW, 756);
}

TEST(GridGeometry, no_big_side_outside_the_automatic_column_grid)
{
    const auto three = sessions(3);
    // Forced columns: row-major, no big side even with a lone pane in the last row.
    EXPECT_FALSE(GridGeometry::compute(three, forced(2), wide).bigSideID);
    // Overflow: three sessions in one allowed row scroll instead.
    EXPECT_FALSE(GridGeometry::compute(three, automatic(1), wide).bigSideID);
    // Groups: never.
    const auto grouped = sessions(4, {"g", "g"});
    EXPECT_FALSE(GridGeometry::compute(grouped, automatic(), wide).bigSideID);
    // A single column has only one bucket.
    EXPECT_FALSE(GridGeometry::compute(three, automatic(), QSizeF(500, 780)).bigSideID);
}

TEST(GridGeometry, forced_columns_lay_rows_out_with_fillers)
{
    // Forced 3 with 2 sessions: only 2 columns.
    const auto two = sessions(2);
    auto r = GridGeometry::compute(two, forced(3), wide);
    EXPECT_EQ(r.layout, Layout::RowMajor);
    EXPECT_EQ(r.cols, 2);
    expectRect(paneRect(r, two[1]), 593, 0, 583, 756);
    EXPECT_TRUE(r.fillers.empty());

    // Forced 2 with 5: rows (1, 2), (3, 4), (5, filler); pane 5 as wide as the others.
    const auto five = sessions(5);
    r = GridGeometry::compute(five, forced(2), wide);
    EXPECT_EQ(r.layout, Layout::RowMajor);
    const double rowH = (756 - 20) / 3.0;
    expectRect(paneRect(r, five[0]), 0, 0, 583, rowH);
    expectRect(paneRect(r, five[3]), 593, rowH + 10, 583, rowH);
    expectRect(paneRect(r, five[4]), 0, 2 * (rowH + 10), 583, rowH);
    ASSERT_EQ(r.fillers.size(), 1u);
    expectRect(r.fillers[0], 593, 2 * (rowH + 10), 583, rowH);

    // Forced 3 with 4: two fillers in the last row.
    r = GridGeometry::compute(sessions(4), forced(3), wide);
    EXPECT_EQ(r.fillers.size(), 2u);
    // A full last row has none.
    EXPECT_TRUE(GridGeometry::compute(sessions(4), forced(2), wide).fillers.empty());
}

TEST(GridGeometry, more_rows_than_the_limit_scroll)
{
    // Forced 2, maxRows 2, 5 sessions: 3 rows needed, each (756 - 10) / 2 high.
    const auto five = sessions(5);
    auto r = GridGeometry::compute(five, forced(2, 2), wide);
    EXPECT_EQ(r.layout, Layout::Scrolling);
    EXPECT_EQ(r.cols, 2);
    EXPECT_DOUBLE_EQ(r.paneHeight, 373);
    expectRect(paneRect(r, five[0]), 0, 0, 583, 373);
    expectRect(paneRect(r, five[4]), 0, 766, 583, 373);
    EXPECT_DOUBLE_EQ(r.contentHeight, 3 * 373 + 2 * 10);
    EXPECT_TRUE(r.fillers.empty());
    // The third row lies below the viewport until scrolled to.
    EXPECT_FALSE(GridGeometry::intersectsViewport(paneRect(r, five[4]), 0, 756));
    EXPECT_TRUE(GridGeometry::intersectsViewport(paneRect(r, five[4]), 100, 756));

    // A low window keeps panes 240 high.
    r = GridGeometry::compute(five, forced(2, 2), QSizeF(1200, 400));
    EXPECT_DOUBLE_EQ(r.paneHeight, 240);

    // Automatic, 9 sessions, inner width 560: one column, nine rows, scrolled.
    r = GridGeometry::compute(sessions(9), automatic(), QSizeF(560 + 24, 780));
    EXPECT_EQ(r.layout, Layout::Scrolling);
    EXPECT_EQ(r.cols, 1);
    EXPECT_DOUBLE_EQ(r.paneHeight, 240);  // (756 - 30) / 4 = 181.5 is below the minimum
    EXPECT_DOUBLE_EQ(r.contentHeight, 9 * 240 + 8 * 10);
    expectRect(r.panes[8].rect, 0, 8 * 250, 560, 240);
}

TEST(GridGeometry, stored_row_limit_is_clamped)
{
    // maxRows 0 behaves as 1: three sessions in two rows overflow.
    auto r = GridGeometry::compute(sessions(3), automatic(0), wide);
    EXPECT_EQ(r.rowLimit, 1);
    EXPECT_EQ(r.layout, Layout::Scrolling);
    // maxRows 9 behaves as 4: sixteen sessions in four columns fit without scrolling.
    r = GridGeometry::compute(sessions(16), forced(4, 9), QSizeF(1400, 1000));
    EXPECT_EQ(r.rowLimit, 4);
    EXPECT_EQ(r.layout, Layout::RowMajor);
    r = GridGeometry::compute(sessions(17), forced(4, 9), QSizeF(1400, 1000));
    EXPECT_EQ(r.layout, Layout::Scrolling);
}

TEST(GridGeometry, groups_are_boxed_in_packed_rows)
{
    // A and B in group g, then C and D; forced 3: rows [group, C] and [D], D over all 3 columns.
    const auto s = sessions(4, {"g", "g"});
    auto r = GridGeometry::compute(s, forced(3, 1), wide);
    EXPECT_EQ(r.layout, Layout::PackedRows);  // the row limit does not apply
    ASSERT_EQ(r.cells.size(), 3u);
    const double colW = (1176 - 20) / 3.0;
    const auto* box = r.cell(QStringLiteral("group-g"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isGroup);
    EXPECT_EQ(box->label, QStringLiteral("p1 · 2 sessions"));
    expectRect(box->rect, 0, 0, 2 * colW + 10, 373);
    expectRect(paneRect(r, s[2]), 2 * colW + 20, 0, colW, 373);
    expectRect(paneRect(r, s[3]), 0, 383, 1176, 373);
    // Members share the box inside a 7-point margin, 7 apart.
    const double memberW = (2 * colW + 10 - 14 - 7) / 2;
    expectRect(paneRect(r, s[0]), 7, 7, memberW, 359);
    expectRect(paneRect(r, s[1]), 7 + memberW + 7, 7, memberW, 359);
    EXPECT_TRUE(r.pane(uuidText(s[0].id))->inGroup);
    EXPECT_FALSE(r.pane(uuidText(s[2].id))->inGroup);
    EXPECT_FALSE(r.bigSideID);

    // Automatic at 1176 x 756: two columns, rows [group] and [C, D].
    r = GridGeometry::compute(s, automatic(), wide);
    EXPECT_EQ(r.cols, 2);
    expectRect(r.cell(QStringLiteral("group-g"))->rect, 0, 0, 1176, 373);
    expectRect(paneRect(r, s[2]), 0, 383, 583, 373);
    expectRect(paneRect(r, s[3]), 593, 383, 583, 373);
}

TEST(GridGeometry, every_packed_row_fills_the_width_in_one_column)
{
    // One column: the group's row is two slots wide; the singles below still take the full width
    // instead of standing in the left half of a two-column grid.
    const auto s = sessions(3, {"g", "g"});
    const auto r = GridGeometry::compute(s, forced(1), wide);
    ASSERT_EQ(r.cells.size(), 2u);
    expectRect(r.cells[0].rect, 0, 0, 1176, 373);
    expectRect(paneRect(r, s[2]), 0, 383, 1176, 373);
}

TEST(GridGeometry, tiny_view_gives_a_one_point_inner_area)
{
    for (const QSizeF size : {QSizeF(0, 0), QSizeF(10, 10), QSizeF(-5, 20), QSizeF(24, 24)}) {
        for (int n : {1, 3, 9}) {
            for (const GridSettings& g : {automatic(), forced(2), forced(2, 1)}) {
                const auto r = GridGeometry::compute(sessions(n, {"", "g", "g"}), g, size);
                expectRect(r.inner, 12, 12, 1, 1);
                EXPECT_GE(r.cols, 1);
                for (const auto& p : r.panes) {
                    EXPECT_FALSE(std::isnan(p.rect.x()) || std::isnan(p.rect.y()));
                    EXPECT_GE(p.rect.width(), 0);
                    EXPECT_GE(p.rect.height(), 0);
                }
            }
        }
    }
}

TEST(GridGeometry, maximized_pane_leaves_room_for_the_cards)
{
    expectRect(GridGeometry::maximizedPaneRect(wide), 12, 12, 1176 - 128, 756);
    expectRect(GridGeometry::maximizedColumnRect(wide), 12 + 1176 - 118, 12, 118, 756);
    expectRect(GridGeometry::maximizedPaneRect(QSizeF(50, 50)), 12, 12, 0, 26);
}

TEST(GridGeometry, buckets_deal_round_robin_and_find_the_lone_column)
{
    using B = std::vector<std::vector<int>>;
    EXPECT_EQ(GridGeometry::columnBuckets(5, 3), (B{{0, 3}, {1, 4}, {2}}));
    EXPECT_EQ(GridGeometry::columnBuckets(2, 4), (B{{0}, {1}}));  // empty buckets dropped
    EXPECT_EQ(GridGeometry::columnBuckets(3, 0), (B{{0, 1, 2}}));
    EXPECT_EQ(GridGeometry::loneFullHeightIndex(B{{0, 3}, {1, 4}, {2}}), 2);
    EXPECT_EQ(GridGeometry::loneFullHeightIndex(B{{0, 2}, {1}}), 1);
    EXPECT_EQ(GridGeometry::loneFullHeightIndex(B{{0}, {1}}), -1);          // no taller column
    EXPECT_EQ(GridGeometry::loneFullHeightIndex(B{{0, 3}, {1}, {2}}), -1);  // two lone columns
    EXPECT_EQ(GridGeometry::loneFullHeightIndex(B{{0, 1}}), -1);            // a single column
}
