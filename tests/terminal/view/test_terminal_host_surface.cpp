// The terminal surface and the terminal pane view in a real window: the host's view is shown,
// never owned, by the surface; a rebuilt or doubled surface shows the same shell; a click gives
// the terminal the keyboard; the theme restyles the running terminal; a restart of a live pane
// brings exactly one new shell, a stop none.

#include "TerminalHostLocal.h"
#include "TerminalHostSurface.h"
#include "SelectionService.h"
#include "test_terminal_host_support.h"

#include "AppModel.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSettings>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <functional>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)

namespace {

const char* kWindow = R"(
import QtQuick
import Brinmoor.App
import Brinmoor.Terminal

Window {
    id: root
    width: 520
    height: 320
    visible: true
    color: "#202020"
    property alias slot: slot
    function setDark(on) { Theme.dark = on; }
    Item { id: slot; objectName: "slot"; x: 10; y: 10; width: 500; height: 300 }
}
)";

// A layout that gives an item its size in the frame's polish pass; asked to before the item is
// made, it lays out after the item's own polish (Qt polishes the latest asked first).
struct SizeInPolish : QQuickItem {
    explicit SizeInPolish(QQuickItem* parent) : QQuickItem(parent) {}
    QQuickItem* size(const std::function<QQuickItem*()>& make, QSizeF to)
    {
        polish();
        target = make();
        targetSize = to;
        return target;
    }
    void updatePolish() override
    {
        if (target)
            target->setSize(targetSize);
    }
    QPointer<QQuickItem> target;
    QSizeF targetSize;
};

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!proc::available())
            GTEST_SKIP() << "needs a /proc process table";
        model = std::make_unique<brinmoor::AppModel>(brinmoor::Store(false), &defaults);
        brinmoor::AppModel::setInstance(model.get());
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent c(&engine);
        c.setData(kWindow, QUrl(QStringLiteral("qrc:/test/Window.qml")));
        window.reset(qobject_cast<QQuickWindow*>(c.create()));
        ASSERT_TRUE(window) << c.errorString().toStdString();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        slot = window->findChild<QQuickItem*>(QStringLiteral("slot"));
        ASSERT_NE(slot, nullptr);
        ASSERT_TRUE(model->addWorkspace(QStringLiteral("W"), QStringLiteral("5b8cdd")));
    }
    void TearDown() override
    {
        TerminalHost::shared().shutdown();
        window.reset();
        brinmoor::AppModel::setInstance(nullptr);
    }

    QUuid addTerminal()
    {
        EXPECT_TRUE(model->addSession(brinmoor::PaneKind::Terminal, std::nullopt, env.home(), false,
                                      brinmoor::ChatProvider::Claude));
        return model->workspaces()[0].sessions.last().id;
    }
    // A QML item made from `qml` inside the window's slot.
    QQuickItem* make(const QString& qml)
    {
        QQmlComponent c(&engine);
        c.setData(("import QtQuick\nimport Brinmoor.App\nimport Brinmoor.Terminal\n" + qml).toUtf8(), QUrl(QStringLiteral("qrc:/test/Item.qml")));
        QObject* o = c.beginCreate(engine.rootContext());
        EXPECT_NE(o, nullptr) << c.errorString().toStdString();
        auto* item = qobject_cast<QQuickItem*>(o);
        if (item)
            item->setParentItem(slot);
        c.completeCreate();
        return item;
    }
    TerminalSurfaceView* surfaceFor(const QUuid& id)
    {
        return qobject_cast<TerminalSurfaceView*>(make(QStringLiteral(
            "TerminalSurfaceView { anchors.fill: parent; sessionID: \"%1\"; directory: \"~\" }")
                                                           .arg(brinmoor::uuidText(id))));
    }
    static pid_t shellOf(QQuickItem* view)
    {
        auto* v = qobject_cast<LocalProcessTerminalView*>(view);
        return v ? v->process->shellPid() : 0;
    }

    HostTestEnvironment env;
    QTemporaryDir defaultsDir;
    QSettings defaults{defaultsDir.path() + QStringLiteral("/d.ini"), QSettings::IniFormat};
    std::unique_ptr<brinmoor::AppModel> model;
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    QQuickItem* slot = nullptr;
};

TEST_F(SurfaceTest, surface_shows_the_hosts_view_and_never_takes_it_along)
{
    const QUuid id = addTerminal();
    TerminalSurfaceView* a = surfaceFor(id);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->view(), nullptr) << "shown in a window: the shell starts";
    QPointer<QQuickItem> view(a->view());
    EXPECT_EQ(view->parentItem(), a);
    EXPECT_EQ(view->size(), QSizeF(500, 300));
    ASSERT_TRUE(waitUntil([&] { return a->shellPid() > 0; }, 5000));
    const pid_t pid = pid_t(a->shellPid());

    delete a; // a relayout, a maximize, a workspace switch
    ASSERT_FALSE(view.isNull()) << "the view stays with the host";
    EXPECT_EQ(view->parentItem(), nullptr);
    EXPECT_EQ(TerminalHost::shared().existingView(id), view.data());
    EXPECT_TRUE(proc::running(pid));

    TerminalSurfaceView* b = surfaceFor(id);
    EXPECT_EQ(b->view(), view.data());
    EXPECT_EQ(shellOf(b->view()), pid);
    spin(100); // a moment in which a wrongly started second shell would show
    EXPECT_EQ(proc::childLoginShells(), QList<pid_t>{pid});
    delete b;
}

TEST_F(SurfaceTest, two_surfaces_of_one_session_share_one_view_latest_first)
{
    const QUuid id = addTerminal();
    TerminalSurfaceView* grid = surfaceFor(id);
    TerminalSurfaceView* maximized = surfaceFor(id);
    ASSERT_NE(maximized->view(), nullptr);
    EXPECT_EQ(grid->view(), nullptr);
    QQuickItem* view = maximized->view();
    delete maximized;
    EXPECT_EQ(grid->view(), view) << "the remaining surface shows it again";
    EXPECT_EQ(view->parentItem(), grid);
    spin(100); // a moment in which a wrongly started second shell would show
    EXPECT_EQ(proc::childLoginShells().size(), 1);
    delete grid;
}

TEST_F(SurfaceTest, surface_starts_nothing_until_it_is_shown)
{
    const QUuid id = addTerminal();
    QQuickItem* hidden = make(QStringLiteral("TerminalSurfaceView { visible: false; anchors.fill: parent; sessionID: \"%1\" }")
                                  .arg(brinmoor::uuidText(id)));
    auto* surface = qobject_cast<TerminalSurfaceView*>(hidden);
    ASSERT_NE(surface, nullptr);
    spin(50); // a moment in which a hidden surface must start nothing
    EXPECT_EQ(surface->view(), nullptr);
    EXPECT_TRUE(TerminalHost::shared().views().isEmpty());
    surface->setVisible(true);
    EXPECT_NE(surface->view(), nullptr);
    delete surface;
}

TEST_F(SurfaceTest, click_gives_the_terminal_active_focus)
{
    const QUuid id = addTerminal();
    TerminalSurfaceView* s = surfaceFor(id);
    ASSERT_NE(s->view(), nullptr);
    EXPECT_FALSE(s->view()->hasActiveFocus());
    QTest::mouseClick(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    EXPECT_TRUE(s->view()->hasActiveFocus());
    delete s;
}

TEST_F(SurfaceTest, pane_view_reports_the_record_and_follows_the_theme_with_the_same_shell)
{
    const QUuid id = addTerminal();
    model->restart(id); // state running
    QQuickItem* pane = make(QStringLiteral("TerminalPaneView { anchors.fill: parent; compact: false; session: AppModel.session(\"%1\") }")
                                .arg(brinmoor::uuidText(id)));
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->property("paneState").toString(), QStringLiteral("running"));
    EXPECT_EQ(pane->property("costText").toString(), QString());
    auto* surface = pane->property("surface").value<TerminalSurfaceView*>();
    ASSERT_NE(surface, nullptr);
    ASSERT_TRUE(waitUntil([&] { return surface->shellPid() > 0; }, 5000));
    auto* view = qobject_cast<LocalProcessTerminalView*>(surface->view());
    const pid_t pid = view->process->shellPid();
    view->process->send(QByteArray("echo kept-$((40+2))\n"));
    ASSERT_TRUE(waitUntil([&] { return screenText(view).find("kept-42") != std::string::npos; }, 5000));

    QMetaObject::invokeMethod(window.get(), "setDark", Q_ARG(QVariant, false));
    EXPECT_EQ(view->nativeBackgroundColor(), TerminalHost::themeBackground(false));
    QMetaObject::invokeMethod(window.get(), "setDark", Q_ARG(QVariant, true));
    EXPECT_EQ(view->nativeBackgroundColor(), TerminalHost::themeBackground(true));
    EXPECT_EQ(view->process->shellPid(), pid);
    EXPECT_TRUE(screenText(view).find("kept-42") != std::string::npos);
    delete pane;
}

// A palette switch, both ways, and a pane built again for the same session (a return to a
// workspace whose grid was let go) change the terminal's colours and nothing of the program's:
// its hidden caret, cursor keys, scroll region and insert mode, the selection and the size stay.
TEST_F(SurfaceTest, a_theme_switch_or_a_rebuilt_pane_keeps_the_programs_modes_and_size)
{
    const QUuid id = addTerminal();
    model->restart(id);
    // Built as the grid builds a pane: at a size of its own first, and given its size by a
    // layout in the frame's polish pass, after the surface's own polish (a pane's header takes
    // its height from its row layout there).
    const QString pane = QStringLiteral("TerminalPaneView { width: 120; height: 60; compact: false; session: AppModel.session(\"%1\") }")
                             .arg(brinmoor::uuidText(id));
    SizeInPolish layout(slot);
    QQuickItem* first = layout.size([&] { return make(pane); }, slot->size());
    auto* surface = first->property("surface").value<TerminalSurfaceView*>();
    ASSERT_TRUE(waitUntil([&] { return surface->shellPid() > 0; }, 5000));
    auto* view = qobject_cast<LocalProcessTerminalView*>(surface->view());
    view->process->send(QByteArray("echo ready-$((40+2))\n"));
    ASSERT_TRUE(waitUntil([&] { return screenText(view).find("ready-42") != std::string::npos; }, 5000));
    view->feed(QByteArray("\x1b[?25l\x1b[?1h\x1b[1;5r\x1b[4h"));
    view->selectionService()->select(0);
    int resizes = 0;
    QObject counting;
    QObject::connect(view, &TerminalView::terminalSizeChanged, &counting, [&] { ++resizes; });
    auto kept = [&](const char* after) {
        SCOPED_TRACE(after);
        termcore::Terminal& t = view->getTerminal();
        EXPECT_TRUE(t.cursorHidden);
        EXPECT_TRUE(t.applicationCursor);
        EXPECT_TRUE(t.insertMode);
        EXPECT_EQ(t.buffer().scrollTop(), 0);
        EXPECT_EQ(t.buffer().scrollBottom(), 4);
        EXPECT_TRUE(view->selectionActive());
        EXPECT_EQ(resizes, 0);
    };

    QMetaObject::invokeMethod(window.get(), "setDark", Q_ARG(QVariant, false));
    EXPECT_EQ(view->nativeBackgroundColor(), TerminalHost::themeBackground(false));
    kept("a switch to the light palette");
    QMetaObject::invokeMethod(window.get(), "setDark", Q_ARG(QVariant, true));
    kept("a switch back to the dark palette");

    delete first;
    QQuickItem* second = layout.size([&] { return make(pane); }, slot->size());
    EXPECT_EQ(second->property("surface").value<TerminalSurfaceView*>()->view(), view);
    int frames = 0;
    QObject drawing;
    QObject::connect(window.get(), &QQuickWindow::frameSwapped, &drawing, [&] { ++frames; });
    ASSERT_TRUE(waitUntil([&] { window->update(); return frames > 1; }, 3000));
    kept("the pane built again");
    delete second;
}

TEST_F(SurfaceTest, right_click_in_a_pane_opens_the_terminal_menu_for_its_terminal)
{
    const QUuid id = addTerminal();
    QQuickItem* pane = make(QStringLiteral("TerminalPaneView { anchors.fill: parent; compact: false; session: AppModel.session(\"%1\") }")
                                .arg(brinmoor::uuidText(id)));
    ASSERT_NE(pane, nullptr);
    auto* surface = pane->property("surface").value<TerminalSurfaceView*>();
    ASSERT_TRUE(waitUntil([&] { return surface->shellPid() > 0; }, 5000));

    // The menu follows whichever terminal the surface shows.
    QObject* menu = nullptr;
    for (QObject* child : pane->children()) {
        if (child->inherits("QQuickMenu"))
            menu = child;
    }
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->property("view").value<QObject*>(), surface->view());
    EXPECT_FALSE(menu->property("visible").toBool());

    QTest::mouseClick(window.get(), Qt::RightButton, Qt::NoModifier, QPoint(200, 150));
    EXPECT_TRUE(waitUntil([&] { return menu->property("visible").toBool(); }, 2000));
    delete pane;
}

TEST_F(SurfaceTest, restart_of_a_live_pane_brings_exactly_one_new_shell_and_stop_none)
{
    const QUuid id = addTerminal();
    QQuickItem* pane = make(QStringLiteral("TerminalPaneView { anchors.fill: parent; compact: true; session: AppModel.session(\"%1\") }")
                                .arg(brinmoor::uuidText(id)));
    auto* surface = pane->property("surface").value<TerminalSurfaceView*>();
    ASSERT_TRUE(waitUntil([&] { return surface->shellPid() > 0; }, 5000));
    const pid_t first = pid_t(surface->shellPid());

    // The pane stays up across a restart (its state does not pass through stopped).
    model->restart(id);
    ASSERT_TRUE(waitUntil([&] { return surface->shellPid() > 0 && surface->shellPid() != first; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return proc::remainingOf(first).isEmpty(); }, 2500));
    spin(100); // a moment in which a wrongly started second shell would show
    EXPECT_EQ(proc::childLoginShells(), QList<pid_t>{pid_t(surface->shellPid())});

    // A stop ends the shell; nothing new starts even while the pane is still up.
    const pid_t second = pid_t(surface->shellPid());
    model->stop(id);
    ASSERT_TRUE(waitUntil([&] { return surface->view() == nullptr; }));
    EXPECT_TRUE(TerminalHost::shared().views().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return proc::remainingOf(second).isEmpty(); }, 2500));
    EXPECT_TRUE(proc::childLoginShells().isEmpty());
    delete pane;

    // Closing a pane whose view is still up starts nothing either.
    const QUuid other = addTerminal();
    QQuickItem* pane2 = make(QStringLiteral("TerminalPaneView { anchors.fill: parent; compact: false; session: AppModel.session(\"%1\") }")
                                 .arg(brinmoor::uuidText(other)));
    auto* surface2 = pane2->property("surface").value<TerminalSurfaceView*>();
    ASSERT_TRUE(waitUntil([&] { return surface2->shellPid() > 0; }, 5000));
    model->close(other);
    EXPECT_TRUE(waitUntil([&] { return TerminalHost::shared().views().isEmpty(); }));
    delete pane2;
}

TEST_F(SurfaceTest, the_terminal_takes_one_size_per_layout_and_none_while_hidden)
{
    const QUuid id = addTerminal();
    TerminalSurfaceView* s = surfaceFor(id);
    auto* view = qobject_cast<LocalProcessTerminalView*>(s->view());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitUntil([&] { return s->shellPid() > 0; }, 5000));

    int resizes = 0;
    QObject counting;
    QObject::connect(view, &TerminalView::terminalSizeChanged, &counting, [&] { ++resizes; });
    auto frameDrawn = [&] {
        int frames = 0;
        QObject drawing;
        QObject::connect(window.get(), &QQuickWindow::frameSwapped, &drawing, [&] { ++frames; });
        return waitUntil([&] { window->update(); return frames > 0; }, 3000);
    };

    // Width and height change one after the other in one layout: one resize, at the frame.
    slot->setWidth(400);
    slot->setHeight(200);
    EXPECT_EQ(resizes, 0);
    ASSERT_TRUE(frameDrawn());
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(view->size(), QSizeF(400, 200));

    // Hidden, it keeps its size through any number of changes; shown, it takes the last one.
    s->setVisible(false);
    slot->setWidth(120);
    slot->setHeight(30);
    slot->setWidth(480);
    ASSERT_TRUE(frameDrawn());
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(view->size(), QSizeF(400, 200));
    s->setVisible(true);
    ASSERT_TRUE(frameDrawn());
    EXPECT_EQ(resizes, 2);
    EXPECT_EQ(view->size(), QSizeF(480, 30));
    delete s;
}

} // namespace
