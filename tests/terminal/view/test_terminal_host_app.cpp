// Terminal panes in the whole application (qrc:/Brinmoor/Main.qml on a seeded state): a new
// terminal session gets a live shell, typed keys reach it and its output shows; "exit 3" turns
// the pane to the error state; "exit" shows the stopped card and a restart brings one fresh
// shell; the light and dark themes recolour the terminal without restarting it. Screenshots of
// each step go to $BRINMOOR_SHOT_DIR (or the build folder). Runs offscreen under ctest and under
// xvfb-run with QT_QPA_PLATFORM=xcb.

#include "AppQmlModules.h"
#include "support/SeedState.h"
#include "AppModel.h"
#include "TerminalHostLocal.h"
#include "TerminalHostSurface.h"
#include "test_terminal_host_support.h"

#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <iostream>

namespace {


using brinmoor::AppModel;
using brinmoor::PaneState;

// One application for the whole suite (the model is a process-wide singleton): the sandbox, the
// seeded state and the window are made once; each test starts from the one seeded workspace.
class TerminalApp : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!proc::available())
            return;
        ensureGuiApp();
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        env = new HostTestEnvironment;
        env->set("XDG_CONFIG_HOME", (env->root.path() + QStringLiteral("/config")).toUtf8());
        QDir().mkpath(env->root.path() + QStringLiteral("/data/Brinmoor"));
        QDir().mkpath(env->home() + QStringLiteral("/project"));
        QFile f(env->root.path() + QStringLiteral("/data/Brinmoor/state.json"));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(brinmoor::test::seedState({{"7E1F0A00-0000-4000-8000-000000000001", "Shells", {}}}, QString()));
            f.close();
        }
        engine = new QQmlApplicationEngine;
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
        if (!engine->rootObjects().isEmpty())
            window = qobject_cast<QQuickWindow*>(engine->rootObjects().first());
        if (window) {
            window->resize(1100, 700);
            window->show();
            if (!QTest::qWaitForWindowExposed(window))
                window = nullptr; // each test then reports that the window did not come up
        }
        model = AppModel::instance();
    }
    static void TearDownTestSuite()
    {
        TerminalHost::shared().shutdown();
        delete engine;
        engine = nullptr;
        window = nullptr;
        delete env;
        env = nullptr;
    }
    void SetUp() override
    {
        if (!proc::available())
            GTEST_SKIP() << "needs a /proc process table";
        ASSERT_NE(window, nullptr) << "the application window loads";
        ASSERT_NE(model, nullptr);
        ASSERT_FALSE(model->workspaces().isEmpty());
        model->selectWorkspace(model->workspaces()[0].id);
    }
    void TearDown() override
    {
        TerminalHost::shared().shutdown();
        // Back to the seeded workspace alone, with no sessions.
        while (model && model->workspaces().size() > 1)
            model->deleteWorkspace(model->workspaces().last().id);
        if (model && !model->workspaces().isEmpty())
            for (const brinmoor::Session& s : model->workspaces()[0].sessions)
                model->close(s.id);
    }

    TerminalSurfaceView* surfaceOf(const QUuid& id) const
    {
        const QString text = brinmoor::uuidText(id);
        QList<QQuickItem*> todo{window->contentItem()};
        while (!todo.isEmpty()) {
            QQuickItem* item = todo.takeLast();
            if (auto* s = qobject_cast<TerminalSurfaceView*>(item); s && s->sessionID() == text && s->view()
                && s->isVisible())
                return s;
            todo += item->childItems();
        }
        return nullptr;
    }
    // The shell has printed its prompt.
    static bool prompted(LocalProcessTerminalView* view)
    {
        const std::string text = screenText(view);
        return text.find_first_not_of(" \r\n") != std::string::npos;
    }
    LocalProcessTerminalView* liveView(const QUuid& id) const
    {
        TerminalSurfaceView* s = surfaceOf(id);
        return s ? qobject_cast<LocalProcessTerminalView*>(s->view()) : nullptr;
    }
    void type(const QString& text)
    {
        for (QChar c : text) {
            if (c == QLatin1Char('\n'))
                QTest::keyClick(window, Qt::Key_Return);
            else
                QTest::keyClick(window, c.toLatin1());
        }
    }
    void focusTerminal(const QUuid& id)
    {
        TerminalSurfaceView* s = surfaceOf(id);
        ASSERT_NE(s, nullptr);
        const QPointF centre = s->mapToScene(QPointF(s->width() / 2, s->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
        ASSERT_TRUE(waitUntil([&] { return s->view() && s->view()->hasActiveFocus(); }, 2000));
    }
    void shot(const char* name)
    {
        QTest::qWait(120); // only the picture's look: one display update after the last output
        const QString dir = qEnvironmentVariableIsSet("BRINMOOR_SHOT_DIR") ? qEnvironmentVariable("BRINMOOR_SHOT_DIR")
                                                                           : QStringLiteral(BRINMOOR_BINARY_DIR);
        const QString path = dir + QStringLiteral("/terminal_app_%1.png").arg(QLatin1String(name));
        EXPECT_TRUE(window->grabWindow().save(path)) << path.toStdString();
    }
    static bool screenHasLine(LocalProcessTerminalView* view, const std::string& line)
    {
        const std::string text = screenText(view);
        size_t from = 0;
        while (from <= text.size()) {
            size_t end = text.find('\n', from);
            if (end == std::string::npos)
                end = text.size();
            std::string row = text.substr(from, end - from);
            while (!row.empty() && (row.back() == ' ' || row.back() == '\r'))
                row.pop_back();
            if (row == line)
                return true;
            from = end + 1;
        }
        return false;
    }

    static inline HostTestEnvironment* env = nullptr;
    static inline QQmlApplicationEngine* engine = nullptr;
    static inline QQuickWindow* window = nullptr;
    static inline AppModel* model = nullptr;
};

TEST_F(TerminalApp, terminal_pane_runs_a_shell_reports_its_exits_restarts_and_follows_the_theme)
{
    // Add a terminal session the way the add-session sheet does.
    ASSERT_TRUE(model->addSession(brinmoor::PaneKind::Terminal, std::nullopt, env->home() + QStringLiteral("/project"),
                                  false, brinmoor::ChatProvider::Claude));
    const QUuid id = model->workspaces()[0].sessions.last().id;
    ASSERT_TRUE(waitUntil([&] { return liveView(id) && liveView(id)->process->running(); }, 8000))
        << "the grid shows a live terminal for the new session";
    LocalProcessTerminalView* view = liveView(id);
    const pid_t first = view->process->shellPid();
    ASSERT_TRUE(waitUntil([&] { return proc::execed(first); }, 5000))
        << proc::describe({first}) << " screen: " << screenText(view);
    EXPECT_EQ(proc::workingDirectory(first), QDir(env->home() + QStringLiteral("/project")).canonicalPath());
    ASSERT_TRUE(waitUntil([&] { return prompted(view); }, 5000));

    // Keys typed into the pane reach the shell; its output shows.
    focusTerminal(id);
    type(QStringLiteral("echo hi\n"));
    ASSERT_TRUE(waitUntil([&] { return screenHasLine(view, "hi"); }, 5000)) << screenText(view);
    shot("1_echo_hi");
    // Ctrl+C reaches the program: it interrupts a foreground job and the shell answers again.
    type(QStringLiteral("sleep 100\n"));
    ASSERT_TRUE(waitUntil([&] { return proc::foregroundJobOf(first); }, 5000));
    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return proc::sessionOf(first).size() == 1; }, 5000)) << "the sleep was interrupted";
    type(QStringLiteral("echo again\n"));
    ASSERT_TRUE(waitUntil([&] { return screenHasLine(view, "again"); }, 5000)) << screenText(view);

    // Light and dark recolour the same terminal; the shell stays.
    model->setThemePreference(brinmoor::ThemePreference::Light);
    ASSERT_TRUE(waitUntil([&] { return view->nativeBackgroundColor() == TerminalHost::themeBackground(false); }, 3000));
    EXPECT_EQ(liveView(id), view);
    EXPECT_EQ(view->process->shellPid(), first);
    EXPECT_TRUE(screenHasLine(view, "hi"));
    QTest::qWait(400); // only the picture's look: the rest of the window blends over 0.3 s
    shot("2_light");
    model->setThemePreference(brinmoor::ThemePreference::Dark);
    ASSERT_TRUE(waitUntil([&] { return view->nativeBackgroundColor() == TerminalHost::themeBackground(true); }, 3000));
    EXPECT_EQ(view->process->shellPid(), first);

    // "exit 3": the pane turns to the error state and keeps its last screen.
    type(QStringLiteral("exit 3\n"));
    ASSERT_TRUE(waitUntil([&] { return model->session(id)->state == PaneState::Error; }, 5000));
    EXPECT_EQ(liveView(id), view) << "the errored pane keeps its terminal";
    shot("3_exit_3_error");

    // A restart of the errored pane brings one fresh shell in the same pane.
    model->restart(id);
    ASSERT_TRUE(waitUntil([&] {
        LocalProcessTerminalView* v = liveView(id);
        return v && v->process->running() && v->process->shellPid() != first;
    }, 5000));
    view = liveView(id);
    const pid_t second = view->process->shellPid();
    spin(200); // a moment in which a second shell would show
    EXPECT_EQ(proc::childLoginShells(), QList<pid_t>{second});
    ASSERT_TRUE(waitUntil([&] { return prompted(view); }, 5000));

    // "exit": stopped, and the pane shows the stopped card instead of a terminal.
    focusTerminal(id);
    type(QStringLiteral("exit\n"));
    ASSERT_TRUE(waitUntil([&] { return model->session(id)->state == PaneState::Stopped; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return surfaceOf(id) == nullptr; }, 3000));
    shot("4_exit_stopped");

    // Restart from the stopped card: a fresh shell, exactly one.
    model->restart(id);
    ASSERT_TRUE(waitUntil([&] { return liveView(id) && liveView(id)->process->running(); }, 8000));
    const pid_t third = liveView(id)->process->shellPid();
    EXPECT_NE(third, second);
    spin(200); // a moment in which a second shell would show
    EXPECT_EQ(proc::childLoginShells(), QList<pid_t>{third});
    ASSERT_TRUE(waitUntil([&] { return prompted(liveView(id)); }, 5000));
    shot("5_restarted");

    // Closing the pane ends its shell.
    model->close(id);
    EXPECT_TRUE(waitUntil([&] { return proc::remainingOf(third).isEmpty(); }, 3000));
}

// Sixteen panes: each runs one shell, and relayouts (maximize and back, another workspace and
// back) show the same terminals without starting or ending any shell.
TEST_F(TerminalApp, sixteen_panes_keep_their_shells_across_relayouts)
{
    const QUuid seeded = model->workspaces()[0].id;
    ASSERT_TRUE(model->addWorkspace(QStringLiteral("Grid"), QStringLiteral("e0a040")));
    const QUuid grid = model->workspaces().last().id;
    model->setGridLayout(4, 4); // every pane on screen: 4 x 4
    QList<QUuid> ids;
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(model->addSession(brinmoor::PaneKind::Terminal, QStringLiteral("p%1").arg(i), env->home(), false,
                                      brinmoor::ChatProvider::Claude));
        ids.append(model->workspaces().last().sessions.last().id);
    }
    const auto pids = [&] {
        QMap<QUuid, pid_t> map;
        for (const QUuid& id : ids)
            if (LocalProcessTerminalView* v = liveView(id); v && v->process->running())
                map.insert(id, v->process->shellPid());
        return map;
    };
    if (!waitUntil([&] { return pids().size() == 16; }, 10000))
        shot("6_not_all_panes");
    ASSERT_EQ(pids().size(), 16);
    const QMap<QUuid, pid_t> before = pids();
    ASSERT_TRUE(waitUntil([&] { return proc::childLoginShells().size() == 16; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return prompted(liveView(ids.last())); }, 5000));
    shot("6_sixteen_panes");

    const qreal gridWidth = liveView(ids[5])->width();
    model->toggleMaximize(ids[5]);
    const bool grown = waitUntil([&] { return liveView(ids[5]) && liveView(ids[5])->width() > 2 * gridWidth; }, 3000);
    if (!grown) {
        shot("7_not_maximized");
        std::cerr << "width " << (liveView(ids[5]) ? liveView(ids[5])->width() : -1) << " grid " << gridWidth << "\n";
    }
    ASSERT_TRUE(grown);
    EXPECT_EQ(liveView(ids[5])->process->shellPid(), before.value(ids[5]));
    shot("7_maximized");
    // Escape in a focused terminal belongs to the program there, not to the window.
    focusTerminal(ids[5]);
    QTest::keyClick(window, Qt::Key_Escape);
    spin(100); // a moment in which a wrong restore would happen
    EXPECT_EQ(model->maximizedSessionID(), std::optional<QUuid>(ids[5]));
    model->toggleMaximize(ids[5]);
    ASSERT_TRUE(waitUntil([&] { return pids() == before; }, 3000)) << "the grid shows the same shells again";

    // Another workspace hides them; their shells keep running; coming back shows the same ones.
    model->selectWorkspace(seeded);
    ASSERT_TRUE(waitUntil([&] { return pids().isEmpty(); }, 3000));
    EXPECT_EQ(proc::childLoginShells().size(), 16);
    model->selectWorkspace(grid);
    ASSERT_TRUE(waitUntil([&] { return pids() == before; }, 5000));
    EXPECT_EQ(proc::childLoginShells().size(), 16);

    // Deleting the workspace ends all sixteen.
    model->deleteWorkspace(grid);
    EXPECT_TRUE(waitUntil([&] { return proc::childLoginShells().isEmpty(); }, 3000));
    for (pid_t p : before)
        EXPECT_TRUE(waitUntil([&] { return proc::remainingOf(p).isEmpty(); }, 3000));
}

} // namespace
