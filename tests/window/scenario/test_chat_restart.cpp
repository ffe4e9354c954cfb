// Chat panes after a restart, in the whole application: the saved state holds each pane's
// conversation and its last figures, and the panes show them (the header's cost text, the
// context gauge) from the start and while their agents resume, before any new turn. The agents
// are the scripted fake sidecar, which reports nothing.
#include "AppQmlModules.h"
#include "support/AppScenario.h"
#include "support/FakeChatAgents.h"

#include <QStandardPaths>

namespace {

using brinmoor::test::SeedSession;

const QList<brinmoor::test::SeedWorkspace> kSeed{
    {"C0575000-0000-4000-8000-000000000001", "Restart",
     {SeedSession{.id = "C0575000-0000-4000-8000-0000000000A1", .kind = "chat", .project = "web",
                  .conversation = "conv-web",
                  .figures = {{"costUsd", 1.0366}, {"tokensIn", 41000}, {"tokensOut", 700},
                              {"contextTokens", 150000}, {"contextWindow", 200000}}},
      SeedSession{.id = "C0575000-0000-4000-8000-0000000000A2", .kind = "chat", .project = "api", .provider = "codex",
                  .conversation = "thread-api", .figures = {{"tokensIn", 12000}, {"tokensOut", 300}}}}},
};

class ChatRestart : public AppScenarioBase
{
protected:
    static void SetUpTestSuite()
    {
        setUpSandbox(kSeed, {"web", "api"});
        // The agents report nothing, their figures least of all.
        qunsetenv("FAKE_SIDECAR_SCRIPT");
        qputenv("FAKE_SIDECAR_LOG", QFile::encodeName(sandbox->filePath("sidecar.log")));
        brinmoor::test::runChatPanesOnFakeSidecar();  // the test fails at its start without Node
    }
    static int histories()
    {
        QFile f(sandbox->filePath("sidecar.log"));
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("\"cmd\":\"history\"")) : 0;
    }
    // The text of the first visible item of that name inside `under`.
    static QString textIn(QQuickItem* under, const QString& name)
    {
        QList<QQuickItem*> found;
        collect(under, name, found);
        return found.isEmpty() ? QString() : found.first()->property("text").toString();
    }
};

} // namespace

TEST_F(ChatRestart, panes_show_their_conversations_last_figures_while_the_agents_resume)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty()) << "the fake sidecar runs on Node";
    QQmlApplicationEngine eng;
    start(eng);
    window->resize(1240, 780);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paneNamed("web") && paneNamed("api"); }));
    QQuickItem* web = paneNamed("web");
    QQuickItem* api = paneNamed("api");
    // What the headers show, until a turn reports new figures.
    const auto shows = [&] {
        return textIn(web, "cost") == QStringLiteral("41.7k · $1.0366") && textIn(web, "gaugeText") == QStringLiteral("75%")
            && textIn(api, "cost") == QStringLiteral("12.3k tokens");
    };
    ASSERT_TRUE(QTest::qWaitFor(shows)) << textIn(web, "cost").toStdString() << " / " << textIn(web, "gaugeText").toStdString()
                                        << " / " << textIn(api, "cost").toStdString();
    // Both agents resume their conversations (which asks for its history); the figures stay.
    ASSERT_TRUE(QTest::qWaitFor([&] { return histories() == 2; }, 20000));
    EXPECT_TRUE(shows());
    shot("chat_restart");
}
