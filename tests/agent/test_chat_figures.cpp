// A chat conversation's figures (cost, tokens, context) across a restart of the application: the
// pane's header and context gauge show the last ones from the saved state at once, keep them
// while the agent starts and resumes, and take the next ones the agent reports. Both agents, on
// the scripted fake sidecar; the application model and the chat host are the real ones.
#include "AgentChatHost.h"
#include "AppModel.h"
#include "HeaderFigures.h"
#include "Store.h"
#include "support/FakeSidecar.h"

#include "TestEnvironment.h"

#include <QJsonArray>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

BRINMOOR_APP_TEST_ENVIRONMENT();

using namespace brinmoor;
using namespace brinmoor::test;

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

QJsonObject result(double cost, int in, int out)
{
    return ev(S("result"), {{S("costUsd"), cost}, {S("isError"), false}, {S("tokensIn"), in}, {S("tokensOut"), out}});
}

// What the pane's header shows for a session, and its gauge's count.
QString header(const ClaudeSession& s)
{
    return HeaderFigures::label(double(s.tokensIn()), double(s.tokensOut()), s.costUsd());
}

struct AppRun {
    QSettings settings;
    std::unique_ptr<AppModel> model;
    explicit AppRun(const QString& dir)
        : settings(dir + S("/defaults.ini"), QSettings::IniFormat),
          model(std::make_unique<AppModel>(Store(false), &settings))
    {
    }
    const Session& pane(int i) const { return model->workspaces().at(0).sessions.at(i); }
};

} // namespace

TEST(ChatFigures, a_restart_shows_the_last_figures_until_the_agent_reports_new_ones)
{
    ScopedDataHome home;
    QTemporaryDir settingsDir;
    QTemporaryDir project;  // the panes' folder, there in both runs
    AgentChatHost& host = AgentChatHost::shared();
    const ChatProvider providers[] = {ChatProvider::Claude, ChatProvider::Codex};
    QList<QUuid> panes;
    {
        // First run: each agent finishes a turn; its figures are kept with the pane.
        FakeSidecar fake({{S("start"), QJsonArray{answer({ev(S("session"), {{S("id"), S("conv-1")}}),
                                                          ev(S("context"), {{S("tokens"), 150000}, {S("window"), 200000}}),
                                                          result(1.0366, 41000, 700)})}}});
        host.setTools(fake.tools());
        AppRun first(settingsDir.path());
        first.model->addWorkspace(S("W"), S("5b8cee"));
        for (ChatProvider p : providers)
            ASSERT_TRUE(first.model->addSession(PaneKind::Chat, S("web"), project.path(), false, p));
        for (int i = 0; i < 2; ++i) {
            panes << first.pane(i).id;
            host.session(first.pane(i));
        }
        ASSERT_TRUE(waitUntil([&] { return !first.pane(0).figures.isEmpty() && !first.pane(1).figures.isEmpty(); }, 20000));
        for (const QUuid& id : panes)
            host.stopSession(id);
        ASSERT_TRUE(fake.waitForCommand(S("quit"), 2));
    }

    // The saved state holds them, with the conversation they belong to.
    const auto saved = Store(false).load();
    ASSERT_TRUE(saved);
    for (int i = 0; i < 2; ++i) {
        const Session& s = saved->workspaces.at(0).sessions.at(i);
        EXPECT_EQ(s.claudeSessionId, S("conv-1"));
        EXPECT_EQ(s.figures, (ChatFigures{1.0366, 41000, 700, 150000, 200000}));
    }

    // Second run: the agents resume the conversation and say nothing of their figures until the
    // next turn ends.
    FakeSidecar fake({{S("start"), QJsonArray{answer({ev(S("session"), {{S("id"), S("conv-1")}})})}},
                      {S("user"), QJsonArray{answer({ev(S("context"), {{S("tokens"), 20000}, {S("window"), 200000}}),
                                                     result(1.5, 1000, 200)})}}});
    host.setTools(fake.tools());
    AppRun second(settingsDir.path());
    QList<ClaudeSession*> sessions;
    for (int i = 0; i < 2; ++i) {
        sessions << host.session(second.pane(i));
        // Shown from the first frame, before any agent has started.
        EXPECT_EQ(header(*sessions[i]), S("41.7k · $1.0366"));
        EXPECT_EQ(sessions[i]->contextTokens(), 150000);
        EXPECT_EQ(sessions[i]->contextWindow(), 200000);
    }
    ASSERT_TRUE(fake.waitForCommand(S("history"), 2));
    ASSERT_TRUE(waitUntil([&] { return sessions[0]->claudeSessionId() && sessions[1]->claudeSessionId(); }));
    for (ClaudeSession* s : sessions) {
        EXPECT_EQ(header(*s), S("41.7k · $1.0366")) << "kept while the agent resumes";
        EXPECT_EQ(s->contextTokens(), 150000);
    }

    // The next turn's figures replace them, on screen and in the saved state.
    sessions[0]->sendUser(S("again"), {});
    ASSERT_TRUE(waitUntil([&] { return second.pane(0).figures.costUsd == 1.5; }, 20000));
    EXPECT_EQ(header(*sessions[0]), S("1.2k · $1.5000"));
    EXPECT_EQ(sessions[0]->contextTokens(), 20000);
    EXPECT_EQ(Store(false).load()->workspaces.at(0).sessions.at(0).figures, (ChatFigures{1.5, 1000, 200, 20000, 200000}));

    // Resuming another conversation leaves the old one's figures behind.
    second.model->resumeChat(panes[1], S("conv-2"));
    sessions[1]->resume(S("conv-2"));
    EXPECT_EQ(header(*sessions[1]), QString());
    EXPECT_TRUE(second.pane(1).figures.isEmpty());
    for (const QUuid& id : panes)
        host.stopSession(id);
    EXPECT_TRUE(host.sessions().isEmpty());
}
