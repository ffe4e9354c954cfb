// Switching workspaces in the whole application: the grids of the workspaces shown lately are
// kept, so going back to one shows the very pane items it was left with (nothing is built again)
// and its terminals keep their shells, screens and sizes; at most four grids are kept. A kept grid
// out of sight draws nothing, resizes none of its terminals (they get one resize, to the size they
// end at, when shown), follows what happens to its sessions meanwhile, and gives the keyboard back
// to the pane that had it.
#include "AppQmlModules.h"
#include "KeptWorkspaces.h"
#include "LocalProcessTerminalView.h"
#include "TerminalHostLocal.h"
#include "support/AppScenario.h"

#include <QPointer>

#include <signal.h>

namespace {

using brinmoor::test::SeedSession;

QString id(int workspace, int pane = 0)
{
    return QStringLiteral("5A1C0000-0000-4000-8000-%1").arg(workspace * 16 + pane, 12, 16, QLatin1Char('0')).toUpper();
}

// Six workspaces "w1".."w6"; w1 holds the terminals "one-a" and "one-b", the others one terminal
// each ("two", "three", ...), w6 a chat pane.
QList<brinmoor::test::SeedWorkspace> seed()
{
    const char* names[] = {"one-a", "two", "three", "four", "five", "six"};
    QList<brinmoor::test::SeedWorkspace> out;
    for (int w = 1; w <= 6; ++w) {
        brinmoor::test::SeedWorkspace ws{id(w), QStringLiteral("w%1").arg(w), {}};
        ws.sessions << SeedSession{.id = id(w, 1), .kind = w == 6 ? "chat" : "terminal", .project = names[w - 1],
                                   .sessionLabel = ""};
        if (w == 1)
            ws.sessions << SeedSession{.id = id(1, 2), .project = "one-b", .sessionLabel = ""};
        out << ws;
    }
    return out;
}

class AppSwitch : public AppScenarioBase
{
protected:
    static void SetUpTestSuite() { setUpSandbox(seed(), {"one-a", "one-b", "two", "three", "four", "five", "six"}); }

    void SetUp() override
    {
        model = brinmoor::AppModel::instance();
        model->selectWorkspace(id(1));
    }

    void select(int workspace) { model->selectWorkspace(id(workspace)); }
    brinmoor::KeptWorkspaces* kept() const
    {
        QQuickItem* grids = item(QStringLiteral("workspaceGrids"));
        return grids ? grids->property("kept").value<brinmoor::KeptWorkspaces*>() : nullptr;
    }
    // The terminal of a pane on screen, once its shell runs; null when the pane is not shown.
    LocalProcessTerminalView* shownTerminal(const QString& project) const
    {
        QQuickItem* pane = paneNamed(project);
        auto* content = pane ? pane->property("content").value<QQuickItem*>() : nullptr;
        auto* surface = content ? content->property("surface").value<QQuickItem*>() : nullptr;
        auto* view = surface ? qobject_cast<LocalProcessTerminalView*>(surface->property("view").value<QQuickItem*>()) : nullptr;
        return view && view->process->running() ? view : nullptr;
    }
    LocalProcessTerminalView* waitForTerminal(const QString& project) const
    {
        LocalProcessTerminalView* view = nullptr;
        return brinmoor::test::waitUntil([&] { return (view = shownTerminal(project)) != nullptr; }, 5000) ? view : nullptr;
    }
    static bool screenShows(LocalProcessTerminalView* view, const std::string& text)
    {
        auto& buf = view->getTerminal().buffer();
        for (int r = 0; r < view->getTerminal().rows(); ++r)
            if (buf.lines()[buf.yBase() + r].translateToString(true).find(text) != std::string::npos)
                return true;
        return false;
    }
    // Waits until the window has drawn `n` more frames.
    bool framesDrawn(int n)
    {
        int frames = 0;
        const auto c = QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] { ++frames; });
        window->update();
        const bool ok = brinmoor::test::waitUntil([&] { window->update(); return frames >= n; }, 3000);
        QObject::disconnect(c);
        return ok;
    }
    // Resizes the window and waits until the shown terminal `witness` has taken its new size.
    void resizeWindow(int w, int h, LocalProcessTerminalView* witness)
    {
        const QSize before(witness->terminalCols(), witness->terminalRows());
        window->resize(w, h);
        EXPECT_TRUE(brinmoor::test::waitUntil([&] { return QSize(witness->terminalCols(), witness->terminalRows()) != before; }, 3000));
    }

    brinmoor::AppModel* model = nullptr;
};

} // namespace

TEST_F(AppSwitch, a_return_shows_the_same_panes_at_once_and_at_most_four_grids_are_kept)
{
    QQmlApplicationEngine eng;
    start(eng);
    LocalProcessTerminalView* a = waitForTerminal("one-a");
    ASSERT_NE(a, nullptr);
    const QPointer<QQuickItem> paneA = paneNamed("one-a");
    const QPointer<QQuickItem> paneB = paneNamed("one-b");
    const pid_t shell = a->process->shellPid();

    select(2);
    ASSERT_NE(waitForTerminal("two"), nullptr);
    const QPointer<QQuickItem> paneTwo = paneNamed("two");
    EXPECT_EQ(paneNamed("one-a"), nullptr) << "out of sight";
    ASSERT_FALSE(paneA.isNull()) << "kept";
    EXPECT_EQ(paneA->window(), nullptr) << "a kept grid is out of the window";
    eng.collectGarbage();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(paneA.isNull()) << "a kept grid is not garbage";

    // Back: the same pane items are in the window as soon as the selection changes, nothing
    // left to build, so the next frame draws them; the same shell runs in them.
    select(1);
    EXPECT_EQ(paneNamed("one-a"), paneA.data());
    EXPECT_EQ(paneNamed("one-b"), paneB.data());
    EXPECT_EQ(shownTerminal("one-a"), a);
    EXPECT_EQ(a->process->shellPid(), shell);

    // w1, w2, w3, w4, w5 shown in turn: w1 was shown longest ago and its grid went; w2's stays.
    for (int w : {2, 3, 4, 5}) {
        select(w);
        EXPECT_LE(kept()->count(), 4);
    }
    EXPECT_EQ(kept()->count(), 4);
    EXPECT_EQ(kept()->recency(), (QStringList{id(5), id(4), id(3), id(2)}));
    EXPECT_TRUE(brinmoor::test::waitUntil([&] { return paneA.isNull(); }, 1000)) << "the grid shown longest ago is let go";
    EXPECT_FALSE(paneTwo.isNull());

    // Its shells live on with the terminal host: shown again, the panes are built anew around them.
    select(1);
    LocalProcessTerminalView* again = waitForTerminal("one-a");
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->process->shellPid(), shell);
    EXPECT_TRUE(brinmoor::test::waitUntil([&] { return paneTwo.isNull(); }, 1000)) << "w2 was the oldest kept grid then";
    EXPECT_EQ(kept()->count(), 4);
}

TEST_F(AppSwitch, a_hidden_terminal_draws_nothing_and_keeps_its_size_until_shown)
{
    QQmlApplicationEngine eng;
    start(eng);
    LocalProcessTerminalView* a = waitForTerminal("one-a");
    ASSERT_NE(a, nullptr);
    const int cols = a->terminalCols(), rows = a->terminalRows();
    int resizes = 0;
    QObject counting;  // the view outlives this test: the count goes with it
    QObject::connect(a, &TerminalView::terminalSizeChanged, &counting, [&] { ++resizes; });

    select(2);
    LocalProcessTerminalView* two = waitForTerminal("two");
    ASSERT_NE(two, nullptr);
    // Output while hidden: the terminal takes it in, and paints nothing.
    const int paints = a->paintCount();
    a->process->send(QByteArray("for i in $(seq 300); do echo line $i; done\n"));
    ASSERT_TRUE(brinmoor::test::waitUntil([&] { return screenShows(a, "line 300") && !a->pendingDisplay(); }, 10000));
    EXPECT_EQ(a->paintCount(), paints);

    // The window shrinks and grows back while w1 is hidden: its terminal is never resized.
    resizeWindow(980, 640, two);
    resizeWindow(1240, 780, two);
    select(1);
    ASSERT_TRUE(framesDrawn(2));
    EXPECT_EQ(resizes, 0) << "back at the size it was left at";
    EXPECT_EQ(a->terminalCols(), cols);
    EXPECT_EQ(a->terminalRows(), rows);
    EXPECT_GT(a->paintCount(), paints) << "shown again, it draws what came meanwhile";

    // Hidden through a resize that sticks: one resize, to the new size, once shown.
    select(2);
    resizeWindow(1100, 700, two);
    EXPECT_EQ(resizes, 0);
    select(1);
    ASSERT_TRUE(framesDrawn(2));
    EXPECT_EQ(resizes, 1);
    EXPECT_LT(a->terminalCols(), cols);
    resizeWindow(1240, 780, a);
}

TEST_F(AppSwitch, a_hidden_grid_follows_its_sessions_the_theme_and_a_delete)
{
    QQmlApplicationEngine eng;
    start(eng);
    LocalProcessTerminalView* a = waitForTerminal("one-a");
    ASSERT_NE(waitForTerminal("one-b"), nullptr);
    ASSERT_NE(a, nullptr);
    select(3);
    ASSERT_NE(waitForTerminal("three"), nullptr);
    const QPointer<QQuickItem> paneThree = paneNamed("three");
    const pid_t threeShell = shownTerminal("three")->process->shellPid();
    select(2);

    // Meanwhile, w1's second pane is stopped and w1 renamed, the theme turns light, and w3 is
    // deleted.
    model->stop(QUuid::fromString(id(1, 2)));
    model->renameWorkspace(id(1), QStringLiteral("renamed"));
    model->setThemePreference(brinmoor::ThemePreference::Light);
    const int keptBefore = kept()->count();
    model->deleteWorkspace(id(3));
    EXPECT_EQ(kept()->count(), keptBefore - 1);
    EXPECT_TRUE(brinmoor::test::waitUntil([&] { return paneThree.isNull(); }, 1000)) << "a deleted workspace's grid goes";
    EXPECT_TRUE(brinmoor::test::waitUntil([&] { return ::kill(threeShell, 0) != 0; }, 5000)) << "and its shell ends";

    select(1);
    EXPECT_EQ(shownTerminal("one-a"), a);
    EXPECT_EQ(a->nativeBackgroundColor(), TerminalHost::themeBackground(false)) << "the light theme";
    QQuickItem* stopped = paneNamed("one-b");
    ASSERT_NE(stopped, nullptr);
    EXPECT_TRUE(stopped->property("stopped").toBool());
    EXPECT_NE(stopped->property("placeholder").value<QObject*>(), nullptr) << "the stopped card shows";
    model->setThemePreference(brinmoor::ThemePreference::Dark);
    model->restart(QUuid::fromString(id(1, 2)));
}

TEST_F(AppSwitch, the_keyboard_goes_back_to_the_pane_that_had_it)
{
    QQmlApplicationEngine eng;
    start(eng);
    LocalProcessTerminalView* a = waitForTerminal("one-a");
    LocalProcessTerminalView* b = waitForTerminal("one-b");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    click(b);
    ASSERT_EQ(window->activeFocusItem(), b);

    select(2);
    ASSERT_NE(waitForTerminal("two"), nullptr);
    EXPECT_TRUE(brinmoor::test::waitUntil([&] {
        QQuickItem* holder = window->activeFocusItem();
        return holder && QString::fromLatin1(holder->metaObject()->className()).startsWith("MainWindowView");
    }, 2000)) << "a hidden pane never keeps the keyboard";
    EXPECT_FALSE(b->hasActiveFocus());

    select(1);
    EXPECT_EQ(window->activeFocusItem(), b);
    for (const char ch : std::string("echo back-$((6*7))"))
        QTest::keyClick(window, ch);
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_TRUE(brinmoor::test::waitUntil([&] { return screenShows(b, "back-42"); }, 5000));

    // A pane that had not the keyboard does not take it on return: after a click on w2's pane,
    // w1 comes back with its own holder only.
    select(2);
    click(waitForTerminal("two"));
    select(1);
    EXPECT_EQ(window->activeFocusItem(), b);
    select(2);
    EXPECT_EQ(window->activeFocusItem(), waitForTerminal("two"));
}
