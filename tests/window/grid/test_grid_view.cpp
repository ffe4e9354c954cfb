// The pane grid on screen: layouts placed at the computed rectangles, group boxes, the maximized
// view, the attention strip, pane drag and drop through the panes' headers, and pane contents that
// survive relayouts, swaps and maximizing. Rendered offscreen from a seeded state file; every
// scene is also saved as a PNG under the build folder for looking at.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

#include "AgentChatHost.h"
#include "AppModel.h"
#include "ChatHost.h"
#include "GridGeometryModel.h"
#include "Store.h"
#include "support/OffscreenApp.h"
#include "support/QtTestSupport.h"

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)

using namespace brinmoor;

namespace {

struct Seed {
    int sessions = 3;
    std::optional<int> forcedColumns = std::nullopt;
    int maxRows = 4;
    bool bigSideLeft = false;
    QStringList groups = {};  // group id per session, "" for none
    QStringList projects = {};  // project per session, where not the default
};

// A window showing the attention strip over the grid, as the main window's main column does.
const char* sceneQml = R"(
import QtQuick
import Brinmoor.App
import Brinmoor.Window

Window {
    id: scene
    property bool light: false
    width: 1200
    height: 820
    visible: true
    color: "black"

    Binding {
        target: Theme
        property: "dark"
        value: !scene.light
    }

    AttentionStripView {
        id: strip
        objectName: "strip"
        width: parent.width
        sessions: AppModel.selectedSessions
    }
    PaneGridView {
        id: grid
        objectName: "grid"
        anchors.top: strip.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
    }
}
)";

class GridView : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::offscreenApp("window_grid_view");
        ASSERT_TRUE(dataDir.isValid());
        brinmoor::test::useSandboxHome(dataDir.path());
    }

    void TearDown() override
    {
        window.reset();
        engine.reset();
        AppModel::setInstance(nullptr);
        model.reset();
    }

    // Writes a state file with one workspace, starts a model from it and shows the scene.
    void start(const Seed& seed)
    {
        Workspace ws;
        ws.id = QUuid::createUuid();
        ws.name = QStringLiteral("Web");
        ws.colorHex = QStringLiteral("5b8cdd");
        ws.forcedColumns = seed.forcedColumns;
        ws.maxRows = seed.maxRows;
        ws.bigSideLeft = seed.bigSideLeft;
        for (int i = 0; i < seed.sessions; ++i) {
            Session s;
            s.id = QUuid::createUuid();
            s.project = i == 0 ? QStringLiteral("api") : QStringLiteral("project-%1").arg(i + 1);
            if (i < seed.projects.size())
                s.project = seed.projects.at(i);
            s.sessionLabel = QStringLiteral("session 1");
            s.directory = QStringLiteral("~/code/p%1").arg(i + 1);
            s.state = PaneState::Idle;
            s.autoApprove = i == 2;
            s.kind = i % 2 == 1 ? PaneKind::Chat : PaneKind::Terminal;
            if (i < seed.groups.size() && !seed.groups.at(i).isEmpty())
                s.groupID = seed.groups.at(i);
            ws.sessions << s;
        }
        ASSERT_TRUE(Store(false).save(Store::Snapshot{{ws}, ws.id, {}}));

        model = std::make_unique<AppModel>(nullptr);
        AppModel::setInstance(model.get());
        ASSERT_EQ(model->workspaces().size(), 1);

        engine = std::make_unique<QQmlEngine>();
        // The modules' qmldir files live in the resources, under their URI.
        engine->addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(engine.get());
        component.setData(sceneQml, QUrl(QStringLiteral("qrc:/test/Scene.qml")));
        ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
        window.reset(qobject_cast<QQuickWindow*>(component.create()));
        ASSERT_TRUE(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        settle();
    }

    // Lets the layout settle, and the panes' contents (built a few per turn) be made.
    void settle()
    {
        QTest::qWait(50);
        QObject* builds = grid() ? grid()->property("builds").value<QObject*>() : nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return !builds || builds->property("pending").toInt() == 0; }));
    }

    // Items made by repeaters have no QObject parent: search the visual tree.
    static QQuickItem* findItem(QQuickItem* root, const QString& name)
    {
        if (!root)
            return nullptr;
        if (root->objectName() == name)
            return root;
        for (QQuickItem* child : root->childItems())
            if (QQuickItem* found = findItem(child, name))
                return found;
        return nullptr;
    }
    QQuickItem* item(const QString& name) const { return findItem(window->contentItem(), name); }

    QList<Session> sessions() const { return model->workspaces().at(0).sessions; }
    QString id(int i) const { return uuidText(sessions().at(i).id); }
    QQuickItem* grid() const { return item(QStringLiteral("grid")); }
    GridGeometryModel* geometry() const
    {
        return qvariant_cast<GridGeometryModel*>(grid()->property("geometry"));
    }
    QQuickItem* cell(const QString& sessionID) const
    {
        return item(QStringLiteral("gridCell:") + sessionID);
    }
    // The cell's rectangle in window coordinates.
    QRectF cellRect(const QString& sessionID) const
    {
        QQuickItem* c = cell(sessionID);
        if (!c)
            return {};
        return QRectF(c->mapToScene(QPointF(0, 0)), QSizeF(c->width(), c->height()));
    }
    // The pane's content view (terminal surface, chat view or stand-in); null before it is built.
    QObject* content(const QString& sessionID) const
    {
        QQuickItem* c = cell(sessionID);
        auto* pane = c ? qvariant_cast<QQuickItem*>(c->property("contentItem")) : nullptr;
        return pane ? qvariant_cast<QObject*>(pane->property("content")) : nullptr;
    }
    bool hasContent(const QString& sessionID) const { return content(sessionID) != nullptr; }
    QJsonObject savedWorkspace() const
    {
        QFile f(Store(false).filePath());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(f.readAll()).object()["workspaces"].toArray().at(0).toObject();
    }
    QStringList savedOrder() const
    {
        QStringList out;
        for (const auto& s : savedWorkspace()["sessions"].toArray())
            out << s.toObject()["id"].toString();
        return out;
    }

    void screenshot(const QString& name)
    {
        settle();
        const QString dir = QStringLiteral(BRINMOOR_BINARY_DIR "/screens/grid");
        QDir().mkpath(dir);
        const QImage image = window->grabWindow();
        ASSERT_FALSE(image.isNull());
        EXPECT_TRUE(image.save(dir + "/" + name + ".png"));
    }

    // Drags a pane by its header from one point to another, in small steps, and releases.
    void dragHeader(const QString& from, QPointF to)
    {
        const QRectF r = cellRect(from);
        const QPoint start = QPointF(r.x() + 70, r.y() + 14).toPoint();
        QTest::mousePress(window.get(), Qt::LeftButton, Qt::NoModifier, start);
        const int steps = 20;
        for (int i = 1; i <= steps; ++i) {
            const QPointF p = QPointF(start) + (to - QPointF(start)) * (double(i) / steps);
            QTest::mouseMove(window.get(), p.toPoint(), 10);
        }
        QTest::qWait(20); // the last move is handled before the release, as a hand would
        QTest::mouseRelease(window.get(), Qt::LeftButton, Qt::NoModifier, to.toPoint());
        settle();
    }

    // Cells stand where the geometry puts them: the inner area starts 12 points into the grid.
    void expectCellsAtGeometry()
    {
        const QPointF origin = grid()->mapToScene(QPointF(0, 0)) + QPointF(12, 12);
        for (const auto& p : geometry()->result().panes) {
            SCOPED_TRACE(p.sessionID.toStdString());
            QQuickItem* c = cell(p.sessionID);
            ASSERT_NE(c, nullptr);
            const QPointF at = c->mapToScene(QPointF(0, 0));
            EXPECT_NEAR(at.x(), origin.x() + p.rect.x(), 0.5);
            EXPECT_NEAR(at.y(), origin.y() + p.rect.y(), 0.5);
            EXPECT_NEAR(c->width(), p.rect.width(), 0.5);
            EXPECT_NEAR(c->height(), p.rect.height(), 0.5);
        }
    }

    QTemporaryDir dataDir;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<QQuickWindow> window;
};

}  // namespace

TEST_F(GridView, big_side_pane_moves_with_the_setting)
{
    start(Seed{.sessions = 3});
    const QRectF p1 = cellRect(id(0)), p2 = cellRect(id(1)), p3 = cellRect(id(2));
    // Pane 2 alone at full height on the right of panes 1 and 3.
    EXPECT_GT(p2.x(), p1.x());
    EXPECT_NEAR(p2.height(), p1.height() + p3.height() + 10, 0.5);
    EXPECT_EQ(geometry()->bigSideID(), id(1));
    expectCellsAtGeometry();
    screenshot("three_big_side_right");

    model->setBigSide(true);
    settle();
    EXPECT_LT(cellRect(id(1)).x(), cellRect(id(0)).x());
    expectCellsAtGeometry();
    screenshot("three_big_side_left");
}

TEST_F(GridView, scrolling_builds_panes_as_they_come_into_view)
{
    // Forced 2 columns, at most 2 rows, 5 sessions: the third row is reached by scrolling.
    start(Seed{.sessions = 5, .forcedColumns = 2, .maxRows = 2});
    EXPECT_EQ(geometry()->layout(), GridGeometryModel::Scrolling);
    auto* flick = item(QStringLiteral("gridFlickable"));
    ASSERT_NE(flick, nullptr);
    EXPECT_GT(flick->property("contentHeight").toDouble(), flick->height());
    expectCellsAtGeometry();
    // Below the viewport: no content yet, so no runtime would start there.
    EXPECT_FALSE(hasContent(id(4)));
    EXPECT_TRUE(hasContent(id(0)));
    screenshot("five_scrolling_top");
    flick->setProperty("contentY", flick->property("contentHeight").toDouble() - flick->height());
    settle();
    EXPECT_TRUE(hasContent(id(4)));
    screenshot("five_scrolling_bottom");

    // Four rows allowed: the row-major grid, pane 5 as wide as the others beside a filler.
    const QPointer<QObject> fifth = content(id(4));
    model->setGridLayout(2, 4);
    settle();
    EXPECT_EQ(geometry()->layout(), GridGeometryModel::RowMajor);
    EXPECT_DOUBLE_EQ(flick->property("contentY").toDouble(), 0);
    EXPECT_NEAR(cellRect(id(4)).width(), cellRect(id(0)).width(), 0.5);
    EXPECT_EQ(geometry()->fillers().size(), 1);
    EXPECT_TRUE(fifth);
    EXPECT_EQ(content(id(4)), fifth.data());
    expectCellsAtGeometry();
    screenshot("five_forced_two_columns");
}

TEST_F(GridView, group_of_two_is_boxed_with_its_tag)
{
    start(Seed{.sessions = 4, .groups = {"g", "g"}});
    EXPECT_EQ(geometry()->layout(), GridGeometryModel::PackedRows);
    auto* box = item(QStringLiteral("group:group-g"));
    ASSERT_NE(box, nullptr);
    auto* label = findItem(box, QStringLiteral("groupLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->property("text").toString(), QStringLiteral("API · 2 SESSIONS"));
    // Both members inside the box, side by side.
    const QRectF b(box->mapToScene(QPointF(0, 0)), QSizeF(box->width(), box->height()));
    EXPECT_TRUE(b.contains(cellRect(id(0))));
    EXPECT_TRUE(b.contains(cellRect(id(1))));
    EXPECT_LT(cellRect(id(0)).right(), cellRect(id(1)).left());
    expectCellsAtGeometry();
    // The strip names grouped sessions with their label.
    auto* chip = item(QStringLiteral("chip:") + id(0));
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(findItem(chip, QStringLiteral("chipLabel"))->property("text").toString(),
              QStringLiteral("api\u00b7session 1"));
    screenshot("group_of_two");

    // Group members are no drop targets; they can still be dragged onto single panes.
    const QStringList before = savedOrder();
    dragHeader(id(2), cellRect(id(1)).center());
    EXPECT_EQ(savedOrder(), before);
    EXPECT_TRUE(model->draggingSessionIDText().isEmpty());
    const QString a = id(0), d = id(3);
    dragHeader(a, cellRect(d).center());
    EXPECT_EQ(savedOrder().at(0), d);
    EXPECT_EQ(savedOrder().at(3), a);
}

// Groups named right to left beside a Latin one: each box's tag and each member's chip keep the
// app's words in their order, the name in an isolate of its own ("פרויקט · 2 SESSIONS", not
// "SESSIONS 2 · פרויקט"; "פרויקט·session 1", not "session 1·פרויקט").
TEST_F(GridView, groups_named_right_to_left_read_in_order)
{
    const QString hebrew = QString::fromUtf16(u"\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8");
    const QString arabic = QString::fromUtf16(u"\u0645\u0634\u0631\u0648\u0639");
    start(Seed{.sessions = 6, .groups = {"w", "w", "h", "h", "a", "a"}, .projects = {"Web", "Web", hebrew, hebrew, arabic, arabic}});
    const auto isolated = [](const QString& name) { return QChar(0x2068) + name + QChar(0x2069); };
    const struct {
        QString group, header, chip;
        int first;
    } rows[] = {
        {"w", QStringLiteral("WEB \u00b7 2 SESSIONS"), QStringLiteral("Web\u00b7session 1"), 0},
        {"h", isolated(hebrew) + QStringLiteral(" \u00b7 2 SESSIONS"), isolated(hebrew) + QStringLiteral("\u00b7session 1"), 2},
        {"a", isolated(arabic) + QStringLiteral(" \u00b7 2 SESSIONS"), isolated(arabic) + QStringLiteral("\u00b7session 1"), 4},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.group.toStdString());
        QQuickItem* box = item(QStringLiteral("group:group-") + r.group);
        ASSERT_NE(box, nullptr);
        QQuickItem* label = findItem(box, QStringLiteral("groupLabel"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->property("text").toString(), r.header);
        // Set from its left edge, as the app's words are.
        EXPECT_EQ(label->property("effectiveHorizontalAlignment").toInt(), int(Qt::AlignLeft));
        for (int m = r.first; m < r.first + 2; ++m) {
            QQuickItem* chip = item(QStringLiteral("chip:") + id(m));
            ASSERT_NE(chip, nullptr);
            QQuickItem* chipLabel = findItem(chip, QStringLiteral("chipLabel"));
            EXPECT_EQ(chipLabel->property("text").toString(), r.chip);
            EXPECT_EQ(chipLabel->property("effectiveHorizontalAlignment").toInt(), int(Qt::AlignLeft));
            // Its width is the whole sentence's: nothing of it is cut.
            EXPECT_FALSE(chipLabel->property("truncated").toBool());
        }
    }
    screenshot("groups_right_to_left");
}

TEST_F(GridView, single_maximized_session_hides_nothing)
{
    start(Seed{.sessions = 1});
    model->setMaximizedSessionID(sessions().at(0).id);
    settle();
    EXPECT_EQ(item(QStringLiteral("hiddenHeader"))->property("text").toString(), QStringLiteral("0 HIDDEN"));
    EXPECT_EQ(item(QStringLiteral("miniCard:") + id(0)), nullptr);
}

TEST_F(GridView, maximized_view_hides_the_others_behind_cards)
{
    start(Seed{.sessions = 3});
    model->toggleMaximize(sessions().at(1).id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return geometry()->maximized(); }));
    auto* header = item(QStringLiteral("hiddenHeader"));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->property("text").toString(), QStringLiteral("2 HIDDEN"));
    EXPECT_TRUE(cell(id(1))->isVisible());
    EXPECT_FALSE(cell(id(0))->isVisible());
    EXPECT_NEAR(cellRect(id(1)).width(), 1200 - 24 - 10 - 118, 0.5);
    // The button and the "esc" hint stand beside the pane: nothing of its header is covered.
    for (const char* name : {"backToGrid", "maximizedControls"}) {
        QQuickItem* control = item(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr);
        EXPECT_FALSE(control->mapRectToScene(QRectF(0, 0, control->width(), control->height())).intersects(cellRect(id(1))))
            << name;
    }
    // The strip highlights the maximized pane's chip.
    auto* chip = item(QStringLiteral("chip:") + id(1));
    EXPECT_TRUE(chip->property("highlighted").toBool());
    screenshot("maximized_two_hidden");

    // A card click brings its session to the front; the button returns to the grid.
    auto* card = item(QStringLiteral("miniCard:") + id(2));
    ASSERT_NE(card, nullptr);
    QTest::mouseClick(window.get(), Qt::LeftButton, Qt::NoModifier,
                      card->mapToScene(QPointF(card->width() / 2, card->height() / 2)).toPoint());
    settle();
    EXPECT_EQ(model->maximizedSessionIDText(), id(2));
    // Clicking a card never toggles: the clicked card's session stays maximized.
    auto* back = item(QStringLiteral("backToGrid"));
    ASSERT_NE(back, nullptr);
    QTest::mouseClick(window.get(), Qt::LeftButton, Qt::NoModifier,
                      back->mapToScene(QPointF(back->width() / 2, back->height() / 2)).toPoint());
    settle();
    EXPECT_TRUE(model->maximizedSessionIDText().isEmpty());
    EXPECT_FALSE(geometry()->maximized());
}

TEST_F(GridView, pane_contents_survive_relayout_swap_and_maximize)
{
    start(Seed{.sessions = 4});
    // Each pane's content object (and the counter of a stand-in content, were there one).
    QMap<QString, QPointer<QObject>> made;
    QMap<QString, int> serials;
    for (int i = 0; i < 4; ++i) {
        // Contents are built a few per turn of the event loop.
        ASSERT_TRUE(QTest::qWaitFor([&] { return content(id(i)) != nullptr; })) << i;
        made[id(i)] = content(id(i));
        serials[id(i)] = made[id(i)]->property("serial").toInt();
    }
    auto unchanged = [&] {
        for (auto it = made.cbegin(); it != made.cend(); ++it) {
            EXPECT_TRUE(it.value()) << "content destroyed: " << it.key().toStdString();
            EXPECT_EQ(content(it.key()), it.value().data()) << it.key().toStdString();
            if (it.value()) {
                EXPECT_EQ(it.value()->property("serial").toInt(), serials[it.key()]);
            }
        }
    };
    window->resize(700, 900);  // relayout: one column
    settle();
    unchanged();
    model->setGridLayout(3, 4);
    settle();
    unchanged();
    model->swapSessions(sessions().at(0).id, sessions().at(3).id);
    settle();
    unchanged();
    model->toggleMaximize(sessions().at(2).id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return geometry()->maximized(); }));
    model->setMaximizedSessionID(sessions().at(1).id);
    settle();
    model->setMaximizedSessionID(std::nullopt);
    settle();
    unchanged();
}

TEST_F(GridView, dragging_a_header_onto_another_pane_swaps_them)
{
    start(Seed{.sessions = 3});
    const QString a = id(0), b = id(1);
    const QRectF target = cellRect(b);
    dragHeader(a, target.center());
    EXPECT_TRUE(model->draggingSessionIDText().isEmpty());
    EXPECT_FALSE(model->dropTarget());
    ASSERT_EQ(savedOrder().size(), 3);
    EXPECT_EQ(savedOrder().at(0), b);
    EXPECT_EQ(savedOrder().at(1), a);
    // The swapped panes moved, their contents did not change hands.
    EXPECT_NEAR(cellRect(a).x(), target.x(), 0.5);
}

TEST_F(GridView, swap_ghost_and_strips_show_while_dragging)
{
    start(Seed{.sessions = 3});
    const QString big = id(1);
    const QRectF r = cellRect(big);
    const QPoint start = QPointF(r.x() + 70, r.y() + 14).toPoint();
    QTest::mousePress(window.get(), Qt::LeftButton, Qt::NoModifier, start);
    // Over pane 1: the swap ghost, and the strips because the big-side pane is in hand.
    const QPointF over = cellRect(id(0)).center();
    for (int i = 1; i <= 20; ++i)
        QTest::mouseMove(window.get(), (QPointF(start) + (over - QPointF(start)) * (i / 20.0)).toPoint(), 10);
    settle();
    EXPECT_EQ(model->draggingSessionIDText(), big);
    EXPECT_EQ(geometry()->swapTargetID(), id(0));
    EXPECT_TRUE(item(QStringLiteral("sideStrips"))->isVisible());
    screenshot("drag_swap_ghost");
    // Over the left strip: the side ghost.
    const QPointF left = grid()->mapToScene(QPointF(12 + 20, 300));
    for (int i = 1; i <= 10; ++i)
        QTest::mouseMove(window.get(), (over + (left - over) * (i / 10.0)).toPoint(), 10);
    settle();
    EXPECT_EQ(geometry()->sideTarget(), GridGeometryModel::LeadingSide);
    EXPECT_TRUE(item(QStringLiteral("sideGhost"))->isVisible());
    screenshot("drag_side_ghost");
    QTest::mouseRelease(window.get(), Qt::LeftButton, Qt::NoModifier, left.toPoint());
    settle();
    EXPECT_TRUE(savedWorkspace()["bigSideLeft"].toBool());
    EXPECT_TRUE(model->draggingSessionIDText().isEmpty());
    EXPECT_LT(cellRect(big).x(), cellRect(id(0)).x());
}

TEST_F(GridView, a_drag_released_where_nothing_takes_it_clears_the_drag_state)
{
    start(Seed{.sessions = 3});
    const QStringList before = savedOrder();
    // Released on the dragged pane itself: no pane accepts it, so nothing moves.
    const QRectF r = cellRect(id(0));
    dragHeader(id(0), QPointF(r.center().x(), r.bottom() - 20));
    EXPECT_TRUE(model->draggingSessionIDText().isEmpty());
    EXPECT_FALSE(model->dropTarget());
    EXPECT_EQ(savedOrder(), before);
    // A pane that is not the big side does not move the big side on a strip.
    const QPointF strip = grid()->mapToScene(QPointF(12 + 20, 300));
    dragHeader(id(2), strip);
    EXPECT_TRUE(model->draggingSessionIDText().isEmpty());
    EXPECT_FALSE(savedWorkspace()["bigSideLeft"].toBool());
}

TEST_F(GridView, chip_click_maximizes_and_returns_to_the_grid)
{
    start(Seed{.sessions = 3});
    auto* chip = item(QStringLiteral("chip:") + id(2));
    ASSERT_NE(chip, nullptr);
    const QPoint at = chip->mapToScene(QPointF(chip->width() / 2, chip->height() / 2)).toPoint();
    QTest::mouseClick(window.get(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->maximizedSessionIDText() == id(2); }));
    QTest::mouseClick(window.get(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->maximizedSessionIDText().isEmpty(); }));
}

TEST_F(GridView, a_plain_mouse_wheel_scrolls_a_strip_too_long_for_the_window)
{
    start(Seed{.sessions = 16});
    auto* first = item(QStringLiteral("chip:") + id(0));
    auto* last = item(QStringLiteral("chip:") + id(15));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    const auto lastRight = [&] { return last->mapToScene(QPointF(last->width(), 0)).x(); };
    ASSERT_GT(lastRight(), window->width()) << "sixteen chips overflow the strip";
    const QPointF over = first->mapToScene(QPointF(first->width() / 2, first->height() / 2));
    for (int notch = 0; notch < 40 && lastRight() > window->width(); ++notch) {
        QWheelEvent wheel(over, window->mapToGlobal(over), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window.get(), &wheel);
    }
    EXPECT_LE(lastRight(), window->width()) << "the last chip came into view";
}

TEST_F(GridView, cards_and_chips_show_each_state)
{
    // The chat panes' sessions find no agent tool, so they settle in the error state first.
    SidecarTools noTool = SidecarTools::real();
    noTool.locateTool = [](ChatProvider, const std::optional<QString>&) { return std::optional<QString>(); };
    AgentChatHost::shared().setTools(noTool);
    start(Seed{.sessions = 4});
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return model->session(sessions().at(1).id)->state == PaneState::Error
            && model->session(sessions().at(3).id)->state == PaneState::Error;
    }, 10000));
    for (int i = 0; i < 4; ++i)  // muted: entering awaiting plays no sound here
        model->toggleMute(sessions().at(i).id);
    // Odd panes are chats, whose live sessions report their own state; pane 2, a terminal, stays idle.
    ChatHost::shared().reportState(sessions().at(1).id, PaneState::Awaiting);
    ChatHost::shared().reportState(sessions().at(3).id, PaneState::Error);
    model->setMaximizedSessionID(sessions().at(0).id);
    settle();

    auto borderOf = [&](int i) {
        QQuickItem* frame = findItem(item(QStringLiteral("miniCard:") + id(i)), QStringLiteral("miniCardFrame"));
        EXPECT_NE(frame, nullptr);
        auto* border = frame ? qvariant_cast<QObject*>(frame->property("border")) : nullptr;
        return border ? border->property("color").value<QColor>().name() : QString();
    };
    EXPECT_EQ(borderOf(1), QStringLiteral("#f0b429"));  // awaiting: amber
    EXPECT_EQ(borderOf(3), QStringLiteral("#f0524f"));  // error: red
    EXPECT_EQ(borderOf(2), QStringLiteral("#1c1e25"));  // idle: the border colour
    EXPECT_DOUBLE_EQ(item(QStringLiteral("miniCard:") + id(2))->opacity(), 0.55);
    EXPECT_DOUBLE_EQ(item(QStringLiteral("miniCard:") + id(3))->opacity(), 1.0);
    screenshot("maximized_card_states");

    auto chipColor = [&](int i) {
        QQuickItem* label = findItem(item(QStringLiteral("chip:") + id(i)), QStringLiteral("chipLabel"));
        return label ? label->property("color").value<QColor>().name() : QString();
    };
    EXPECT_EQ(chipColor(2), QStringLiteral("#787f89"));  // idle: grey
    EXPECT_EQ(chipColor(3), QStringLiteral("#c5c9d0"));  // any other state: the text colour
    // The maximized pane's chip is highlighted without a border.
    QQuickItem* bg = findItem(item(QStringLiteral("chip:") + id(0)), QStringLiteral("chipBackground"));
    ASSERT_NE(bg, nullptr);
    EXPECT_EQ(bg->property("color").value<QColor>().name(), QStringLiteral("#23262f"));

    // In the light theme the outlines keep their colours; the idle card takes the light border.
    window->setProperty("light", true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return borderOf(2) == QStringLiteral("#dfe1e6"); }));
    EXPECT_EQ(borderOf(1), QStringLiteral("#f0b429"));
    EXPECT_EQ(borderOf(3), QStringLiteral("#f0524f"));
    EXPECT_EQ(bg->property("color").value<QColor>().name(), QStringLiteral("#dbe5f6"));
    screenshot("maximized_card_states_light");
    model->setMaximizedSessionID(std::nullopt);
    screenshot("grid_light");
}
