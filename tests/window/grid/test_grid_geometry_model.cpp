// The grid's pane rows: keyed by session, never removed and re-inserted by a relayout, a swap or a
// maximize (the pane content lives on the row), and carrying the rectangles of the geometry.

#include <gtest/gtest.h>

#include <QStringList>

#include "GridGeometryModel.h"

using namespace brinmoor;

namespace {

QList<Session> sessions(int n)
{
    QList<Session> out;
    for (int i = 0; i < n; ++i) {
        Session s;
        s.id = QUuid::createUuid();
        s.project = QStringLiteral("p%1").arg(i + 1);
        out << s;
    }
    return out;
}

// Records the structural changes of a list model.
struct ListEvents {
    QStringList events;
    explicit ListEvents(QAbstractItemModel* m)
    {
        QObject::connect(m, &QAbstractItemModel::rowsInserted, [this](const QModelIndex&, int a, int b) {
            events << QStringLiteral("insert %1-%2").arg(a).arg(b);
        });
        QObject::connect(m, &QAbstractItemModel::rowsRemoved, [this](const QModelIndex&, int a, int b) {
            events << QStringLiteral("remove %1-%2").arg(a).arg(b);
        });
        QObject::connect(m, &QAbstractItemModel::modelReset, [this] { events << QStringLiteral("reset"); });
        QObject::connect(m, &QAbstractItemModel::rowsMoved, [this] { events << QStringLiteral("move"); });
    }
};

QRectF rowRect(const GridPaneList* list, int row)
{
    const QModelIndex i = list->index(row);
    return QRectF(i.data(GridPaneList::PaneXRole).toDouble(), i.data(GridPaneList::PaneYRole).toDouble(),
                  i.data(GridPaneList::PaneWidthRole).toDouble(), i.data(GridPaneList::PaneHeightRole).toDouble());
}

}  // namespace

TEST(GridGeometryModel, rows_survive_swaps_relayouts_and_maximize)
{
    GridGeometryModel model;
    model.setViewWidth(1200);
    model.setViewHeight(780);
    auto s = sessions(3);
    model.setSessions(s);
    auto* list = model.paneList();
    ASSERT_EQ(list->rowCount(), 3);
    const QRectF firstBefore = rowRect(list, 0);

    ListEvents ev(list);
    std::swap(s[0], s[1]);
    model.setSessions(s);                             // a swap
    model.setSettings(GridSettings{3, 4, false});     // a relayout
    model.setViewWidth(700);                          // another
    model.setMaximizedSessionID(uuidText(s[2].id));   // maximize
    model.setMaximizedSessionID(QString());           // and back
    EXPECT_TRUE(ev.events.isEmpty()) << ev.events.join(", ").toStdString();

    // Row 0 is still the first session made, now standing where the swap put it.
    EXPECT_EQ(list->index(0).data(GridPaneList::SessionIDRole).toString(), uuidText(s[1].id));
    EXPECT_EQ(list->index(0).data(GridPaneList::OrderRole).toInt(), 1);
    model.setSettings(GridSettings{});
    model.setViewWidth(1200);
    EXPECT_NE(rowRect(list, 0), firstBefore);
    EXPECT_EQ(rowRect(list, 0), model.result().pane(uuidText(s[1].id))->rect);
}

TEST(GridGeometryModel, sessions_join_and_leave_one_row_at_a_time)
{
    GridGeometryModel model;
    model.setViewWidth(1200);
    model.setViewHeight(780);
    auto s = sessions(3);
    model.setSessions(s);
    ListEvents ev(model.paneList());
    auto more = s;
    more << sessions(1);
    model.setSessions(more);
    more.removeAt(1);
    model.setSessions(more);
    EXPECT_EQ(ev.events, (QStringList{"insert 3-3", "remove 1-1"}));
    EXPECT_EQ(model.count(), 3);
    model.setSessions({});
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(model.layout(), GridGeometryModel::Empty);
}

TEST(GridGeometryModel, maximized_pane_takes_the_maximized_rectangle)
{
    GridGeometryModel model;
    model.setViewWidth(1200);
    model.setViewHeight(780);
    const auto s = sessions(3);
    model.setSessions(s);
    auto* list = model.paneList();

    model.setMaximizedSessionID(uuidText(s[1].id));
    ASSERT_TRUE(model.maximized());
    EXPECT_EQ(rowRect(list, 1), QRectF(0, 0, 1176 - 128, 756));
    EXPECT_TRUE(list->index(1).data(GridPaneList::IsMaximizedRole).toBool());
    EXPECT_FALSE(list->index(0).data(GridPaneList::ShownRole).toBool());
    EXPECT_EQ(model.otherSessions().size(), 2);
    EXPECT_EQ(model.otherSessions().at(0).value<Session>().id, s[0].id);

    // A maximized id that names no session of the workspace shows the grid.
    model.setMaximizedSessionID(uuidText(QUuid::createUuid()));
    EXPECT_FALSE(model.maximized());
    EXPECT_TRUE(list->index(0).data(GridPaneList::ShownRole).toBool());
    EXPECT_TRUE(model.otherSessions().isEmpty());
}

TEST(GridGeometryModel, group_members_are_marked_and_boxes_listed)
{
    GridGeometryModel model;
    model.setViewWidth(1200);
    model.setViewHeight(780);
    auto s = sessions(3);
    s[0].groupID = QStringLiteral("g");
    s[2].groupID = QStringLiteral("g");
    model.setSessions(s);
    auto* list = model.paneList();
    EXPECT_TRUE(list->index(0).data(GridPaneList::InGroupRole).toBool());
    EXPECT_FALSE(list->index(1).data(GridPaneList::InGroupRole).toBool());
    ASSERT_EQ(model.groups().size(), 1);
    EXPECT_EQ(model.groups().at(0).toMap().value("label").toString(), QStringLiteral("p1 · 2 sessions"));
    EXPECT_TRUE(model.bigSideID().isEmpty());
}

TEST(GridGeometryModel, a_grid_out_of_sight_keeps_its_rectangles_until_shown)
{
    auto s = sessions(3);
    GridGeometryModel model;
    model.setSessions(s);
    model.setViewWidth(1200);
    model.setViewHeight(780);
    auto* list = model.paneList();
    const QRectF wide = rowRect(list, 0);

    model.setShown(false);
    int relayouts = 0;
    QObject::connect(&model, &GridGeometryModel::geometryChanged, [&] { ++relayouts; });
    model.setViewWidth(700);
    model.setViewHeight(500);
    model.setViewWidth(900);
    EXPECT_EQ(relayouts, 0);
    EXPECT_EQ(rowRect(list, 0), wide);
    EXPECT_EQ(model.viewWidth(), 900);

    // Its sessions are still followed, laid out at the size it was last shown at.
    s << sessions(1);
    model.setSessions(s);
    EXPECT_EQ(list->rowCount(), 4);
    EXPECT_EQ(model.layoutSize(), QSizeF(1200, 780));

    // Shown: one relayout, at the size the view has now.
    relayouts = 0;
    model.setShown(true);
    EXPECT_EQ(relayouts, 1);
    GridGeometryModel fresh;  // laid out at that size from the start
    fresh.setSessions(s);
    fresh.setViewWidth(900);
    fresh.setViewHeight(500);
    EXPECT_EQ(rowRect(list, 0), rowRect(fresh.paneList(), 0));
    EXPECT_NE(rowRect(list, 0), wide);
}
