// The application as a user meets it: the real window file (qrc:/Brinmoor/Main.qml) started on a
// saved state of three sessions, driven with mouse and keys. It checks the model and the state
// file after each step and saves a screenshot of each step under the build folder (app_*.png), or
// under $BRINMOOR_SHOT_DIR. Runs offscreen in ctest and under xvfb-run with QT_QPA_PLATFORM=xcb.
#include "AppQmlModules.h"
#include "support/AppScenario.h"

#include <iostream>

namespace {

using brinmoor::test::SeedSession;

const QList<brinmoor::test::SeedWorkspace> kSeed{
    {"5E1F0A00-0000-4000-8000-000000000001", "Brinmoor",
     {SeedSession{.id = "5E1F0A00-0000-4000-8000-0000000000A1", .project = "api"},
      SeedSession{.id = "5E1F0A00-0000-4000-8000-0000000000A2", .kind = "chat", .project = "web", .autoApprove = true},
      SeedSession{.id = "5E1F0A00-0000-4000-8000-0000000000A3", .project = "docs", .provider = "codex", .muted = true}}},
};

const QString kApi = QStringLiteral("5E1F0A00-0000-4000-8000-0000000000A1");

class AppScenario : public AppScenarioBase
{
protected:
    static void SetUpTestSuite() { setUpSandbox(kSeed, {"api", "web", "docs"}); }
};

} // namespace

TEST_F(AppScenario, frames_stop_restart_add_session_theme_and_quit)
{
    QQmlApplicationEngine eng;
    start(eng);

    // The window: 1240 x 780 at first, never below 980 x 640, frameless.
    EXPECT_EQ(window->width(), 1240);
    EXPECT_EQ(window->height(), 780);
    EXPECT_EQ(window->minimumSize(), QSize(980, 640));
    EXPECT_TRUE(window->flags() & Qt::FramelessWindowHint);

    // Three framed panes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("paneShell").size() == 3; }, 3000));
    EXPECT_TRUE(items("stoppedPlaceholder").isEmpty());
    shot("1_three_panes");

    // Stop "api" from its menu: the pane shows the stopped card, without frame or menu.
    QQuickItem* api = paneNamed("api");
    ASSERT_NE(api, nullptr);
    QQuickItem* menuButton = nullptr;
    for (QQuickItem* b : items("menuButton"))
        if (api->isAncestorOf(b))
            menuButton = b;
    click(menuButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("menuItem5") != nullptr; }, 2000));
    shot("2_menu_open");
    click(item("menuItem5"));
    auto* model = brinmoor::AppModel::instance();
    EXPECT_EQ(model->session(QUuid(kApi))->state, brinmoor::PaneState::Stopped);
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("stoppedPlaceholder").size() == 1; }, 2000));
    EXPECT_EQ(items("paneShell").size(), 2);
    shot("3_stopped");

    // Restart brings the frame back.
    click(item("restartButton"));
    EXPECT_EQ(model->session(QUuid(kApi))->state, brinmoor::PaneState::Running);
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("paneShell").size() == 3; }, 2000));
    EXPECT_TRUE(items("stoppedPlaceholder").isEmpty());
    shot("4_restarted");

    // A command of a pane's menu that could not be done ("Open in VS Code" with no thread to look
    // for the editor) is said under that pane's menu button, and in no other pane; a click
    // elsewhere closes it.
    const QString why = QStringLiteral("VS Code could not be looked for: no thread could be started.");
    emit model->paneCommandFailed(QStringLiteral("5E1F0A00-0000-4000-8000-0000000000FF"), why);
    EXPECT_TRUE(items("commandProblemText").isEmpty());
    emit model->paneCommandFailed(brinmoor::uuidText(QUuid(kApi)), why);
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("commandProblemText").size() == 1; }, 2000));
    QQuickItem* problem = item("commandProblemText");
    EXPECT_EQ(problem->property("text").toString(), why);
    api = paneNamed("api");
    ASSERT_NE(api, nullptr);
    const QRectF paneRect = api->mapRectToScene(QRectF(0, 0, api->width(), api->height()));
    EXPECT_TRUE(paneRect.contains(problem->mapToScene(QPointF(1, 1)))) << "not under the api pane's menu";
    shot("4b_command_problem");
    click(paneNamed("docs"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("commandProblemText").isEmpty(); }, 2000));

    // Ctrl+Shift+T opens the add-session sheet with the most recent folder chosen; a terminal
    // there becomes a framed pane and is saved.
    const QString folder = sandbox->path() + "/projects/newapp";
    QDir().mkpath(folder);
    model->rememberRecent(folder);
    QTest::keySequence(window, QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("addSessionSheet") != nullptr; }, 2000));
    EXPECT_EQ(model->activeSheetText(), "addSession");
    click(item("terminalChip"));
    EXPECT_EQ(item("providerSection"), nullptr);
    shot("5_add_session_sheet");
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(model->activeSheetText(), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("paneShell").size() == 4; }, 2000));
    EXPECT_NE(paneNamed("newapp"), nullptr);
    EXPECT_TRUE(stateText().contains(QString(folder).replace("/", "\\/")));
    shot("6_session_added");

    // Ctrl+Shift+N opens the new-workspace sheet; Escape closes it.
    QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("newWorkspaceSheet") != nullptr; }, 2000));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(model->activeSheetText(), "");

    // The theme toggle recolours everything, animated: halfway the bar is neither dark nor light.
    QQuickItem* bar = item("topBar");
    ASSERT_NE(bar, nullptr);
    const QPoint probe = bar->mapToScene(QPointF(300, 10)).toPoint();
    EXPECT_TRUE(near(window->grabWindow().pixelColor(probe), "16181f"));
    click(item("themeToggle"));
    EXPECT_EQ(model->themePreferenceText(), "light");
    // The bar blends: some frame before the light one is neither colour.
    QImage mid;
    (void)QTest::qWaitFor([&] {
        mid = window->grabWindow();
        return !near(mid.pixelColor(probe), "16181f");
    }, 3000);
    mid.save(shotDir() + "/app_7_theme_midway.png");
    EXPECT_FALSE(near(mid.pixelColor(probe), "dfe1e6")) << mid.pixelColor(probe).name().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return near(window->grabWindow().pixelColor(probe), "dfe1e6"); }, 3000));
    const QImage light = shot("8_light");
    EXPECT_TRUE(near(light.pixelColor(probe), "dfe1e6")) << light.pixelColor(probe).name().toStdString();

    // Closing the one window ends the application: its event loop returns.
    QTimer::singleShot(0, window, [this] { window->close(); });
    QTimer::singleShot(5000, app, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QGuiApplication::exec(), 0);
}
