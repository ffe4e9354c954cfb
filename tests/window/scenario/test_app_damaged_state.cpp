// A start on a damaged saved state: the readable pane is shown with its over-long label cut and
// elided in the header, the panes that could not be read are left out, and a note at the bottom
// of the window, where it covers no pane, says so and where the original file went, until it is
// closed.
#include "AppQmlModules.h"
#include "support/AppScenario.h"

#include <QFileInfo>

namespace {

using brinmoor::test::SeedSession;

const QList<brinmoor::test::SeedWorkspace> kSeed{
    {"DA4A6E00-0000-4000-8000-000000000001", "Web",
     {SeedSession{.id = "DA4A6E00-0000-4000-8000-0000000000A1", .project = "api",
                  .sessionLabel = QString(1 << 20, QLatin1Char('l'))},
      SeedSession{.id = "DA4A6E00-0000-4000-8000-0000000000A2", .kind = "chatx", .project = "docs"},
      SeedSession{.id = "DA4A6E00-0000-4000-8000-0000000000A3", .kind = "chat", .project = "other", .provider = "gemini"}}},
};

class AppDamagedState : public AppScenarioBase
{
protected:
    static void SetUpTestSuite() { setUpSandbox(kSeed, {"api", "docs", "other"}); }
};

} // namespace

TEST_F(AppDamagedState, readable_panes_open_and_a_note_names_what_was_left_out)
{
    testing::internal::CaptureStderr();
    QQmlApplicationEngine eng;
    start(eng);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("\"kind\" is not \"terminal\" or \"chat\""), std::string::npos) << log;

    ASSERT_TRUE(QTest::qWaitFor([&] { return paneNamed("api") != nullptr; }));
    EXPECT_EQ(items("paneView").size(), 1);
    QQuickItem* label = item("sessionLabel");
    ASSERT_NE(label, nullptr);
    EXPECT_LE(label->width(), 140);
    EXPECT_EQ(label->property("text").toString().size(), brinmoor::Store::maxNameLength);

    QQuickItem* notice = item("startupNotice");
    ASSERT_NE(notice, nullptr);
    const QString text = item("startupNoticeText")->property("text").toString();
    EXPECT_TRUE(text.startsWith("2 sessions could not be read and were left out.")) << text.toStdString();
    const QString aside = text.section(QStringLiteral("copied to "), 1).chopped(1);
    EXPECT_TRUE(QFileInfo::exists(aside)) << aside.toStdString();
    EXPECT_LE(notice->y() + notice->height(), window->height());
    // It covers nothing of the pane: the pane makes room for it.
    const QRectF noticeBox = notice->mapRectToScene(notice->boundingRect());
    QQuickItem* pane = item("paneView");
    ASSERT_NE(pane, nullptr);
    EXPECT_FALSE(noticeBox.intersects(pane->mapRectToScene(pane->boundingRect())));
    shot("damaged_state");

    click(item("startupNoticeClose"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return item("startupNotice") == nullptr; }));
    EXPECT_TRUE(brinmoor::AppModel::instance()->startupNotice().isEmpty());
}
