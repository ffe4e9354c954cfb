// Saving fails while the app runs (a folder where the state file should be: it fails for root
// too). The window's foot then says that changes cannot be saved and why, and the window's content
// makes room for it instead of lying under it; once the folder takes the file again, the next try
// writes it and the strip goes. Screenshot: app_save_failure.png in the gallery.
#include "AppQmlModules.h"
#include "support/AppScenario.h"

#include <QFileInfo>

namespace {

using brinmoor::test::SeedSession;

const QList<brinmoor::test::SeedWorkspace> kSeed{
    {"5A7E0000-0000-4000-8000-000000000001", "Web",
     {SeedSession{.id = "5A7E0000-0000-4000-8000-0000000000A1", .project = "api"}}},
};

class AppSaveFailure : public AppScenarioBase
{
protected:
    static void SetUpTestSuite() { setUpSandbox(kSeed, {"api"}); }
};

} // namespace

TEST_F(AppSaveFailure, the_foot_of_the_window_says_why_until_a_save_succeeds)
{
    QQmlApplicationEngine eng;
    start(eng);
    brinmoor::AppModel* model = brinmoor::AppModel::instance();
    ASSERT_TRUE(QTest::qWaitFor([&] { return paneNamed("api") != nullptr; }));
    QQuickItem* content = item("mainWindowLoader");
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(item("saveFailureBar"), nullptr);
    EXPECT_EQ(content->height(), window->height());

    const int retry = brinmoor::AppModel::saveRetryMs;
    brinmoor::AppModel::saveRetryMs = 50;
    ASSERT_TRUE(QFile::remove(statePath()));
    ASSERT_TRUE(QDir().mkpath(statePath() + "/in-the-way"));
    testing::internal::CaptureStderr();
    model->renameWorkspace(model->workspaces().first().id, QStringLiteral("Renamed"));

    QQuickItem* bar = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (bar = item("saveFailureBar")) != nullptr; }));
    const QString text = item("saveFailureText")->property("text").toString();
    EXPECT_EQ(text, QStringLiteral("Changes can't be saved to %1: Is a directory. Brinmoor keeps trying and saves them once it can.")
                        .arg(QFileInfo(statePath()).path()));
    // Along the foot, below the content, inside the window.
    EXPECT_EQ(bar->y() + bar->height(), window->height());
    EXPECT_EQ(bar->width(), window->width());
    EXPECT_EQ(content->height(), window->height() - bar->height());
    shot("save_failure");

    QDir(statePath()).removeRecursively();
    EXPECT_TRUE(QTest::qWaitFor([&] { return item("saveFailureBar") == nullptr; }));
    testing::internal::GetCapturedStderr();
    brinmoor::AppModel::saveRetryMs = retry;
    EXPECT_EQ(content->height(), window->height());
    EXPECT_TRUE(stateText().contains("\"name\" : \"Renamed\"")) << stateText().toStdString();
}

// Closing the window while saves fail: one more try, then a question in the window, not a quit.
// Staying keeps everything; a later close asks again, and a save that succeeds meanwhile lets
// the window close as asked. Screenshot: app_quit_prompt.png.
TEST_F(AppSaveFailure, closing_while_changes_cannot_be_saved_asks_first)
{
    QQmlApplicationEngine eng;
    start(eng);
    brinmoor::AppModel* model = brinmoor::AppModel::instance();
    const int retry = brinmoor::AppModel::saveRetryMs;
    brinmoor::AppModel::saveRetryMs = 600000;
    QFile::remove(statePath());
    ASSERT_TRUE(QDir().mkpath(statePath() + "/in-the-way"));
    testing::internal::CaptureStderr();
    model->renameWorkspace(model->workspaces().first().id, QStringLiteral("Unsaved"));

    window->close();
    QQuickItem* prompt = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (prompt = item("quitPromptText")) != nullptr && prompt->height() > 0; }));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(prompt->property("text").toString().contains(QStringLiteral(": Is a directory. If you quit now, they are lost.")));
    shot("quit_prompt");
    click(item("quitPromptStay"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("quitPromptText") == nullptr; }));
    EXPECT_TRUE(window->isVisible());

    window->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("quitPromptText") != nullptr; }));
    QDir(statePath()).removeRecursively();
    model->save();  // a try that succeeds: nothing is lost any more, so the window closes
    const bool closed = QTest::qWaitFor([&] { return !window->isVisible(); });
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(closed) << log;
    brinmoor::AppModel::saveRetryMs = retry;
    EXPECT_TRUE(stateText().contains("\"name\" : \"Unsaved\"")) << stateText().toStdString();
}
