// The seams through which the application core reaches the terminal host, the chat host and the
// usage monitors: a host installed later receives the core's calls and
// callbacks, and the stand-ins behave as their final interfaces promise.

#include "AppModel.h"
#include "ChatHost.h"
#include "TerminalHost.h"
#include "UsageService.h"
#include "support/TestEnvironment.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

// A host as the terminal view library will write one: it owns the registry itself.
class RecordingTerminalHost : public TerminalHost {
public:
    QSet<QUuid> live;
    QList<QUuid> ended;
    QSet<QUuid> views() const override { return live; }
    QSet<QUuid> delegates() const override { return live; }
    void dropView(const QUuid& id) override
    {
        ended.append(id);
        live.remove(id);
    }
};

class RecordingChatHost : public ChatHost {
public:
    QSet<QUuid> live;
    QList<QUuid> stopped;
    QSet<QUuid> sessions() const override { return live; }
    void stopSession(const QUuid& id) override
    {
        stopped.append(id);
        live.remove(id);
    }
};

} // namespace

TEST(HostSeams, installed_hosts_receive_the_cores_calls_and_keep_its_callbacks)
{
    test::ScopedDataHome home;
    QTemporaryDir dir;
    QSettings settings(dir.path() + QStringLiteral("/d.ini"), QSettings::IniFormat);
    AppModel model(Store(false), &settings);  // installs its hooks in the built-in hosts
    model.addWorkspace(QStringLiteral("W"), QStringLiteral("5b8cee"));
    model.addSession(PaneKind::Terminal, std::nullopt, QStringLiteral("/t"), false, ChatProvider::Claude);
    model.addSession(PaneKind::Chat, std::nullopt, QStringLiteral("/c"), false, ChatProvider::Claude);
    const QUuid term = model.workspaces()[0].sessions[0].id;
    const QUuid chat = model.workspaces()[0].sessions[1].id;

    RecordingTerminalHost terminals;
    RecordingChatHost chats;
    TerminalHost::install(&terminals);
    ChatHost::install(&chats);
    EXPECT_EQ(&TerminalHost::shared(), &terminals);
    ASSERT_TRUE(terminals.onTerminated);
    ASSERT_TRUE(chats.onState);
    ASSERT_TRUE(chats.onSessionId);

    terminals.live.insert(term);
    chats.live.insert(chat);
    model.restart(term);
    model.stop(chat);
    EXPECT_EQ(terminals.ended, QList<QUuid>{term});
    EXPECT_EQ(chats.stopped, QList<QUuid>{chat});
    // A pane without a runtime is not asked for.
    model.stop(term);
    EXPECT_EQ(terminals.ended.size(), 1);

    terminals.reportExit(term, 2);
    EXPECT_EQ(model.session(term)->state, PaneState::Error);
    chats.reportState(chat, PaneState::Running);
    EXPECT_EQ(model.session(chat)->state, PaneState::Running);

    TerminalHost::install(nullptr);
    ChatHost::install(nullptr);
    EXPECT_NE(&TerminalHost::shared(), &terminals);
}

TEST(UsageMetrics, one_service_per_provider_that_starts_nothing_until_asked)
{
    UsageService& claude = UsageService::shared();
    EXPECT_NE(&claude, &UsageService::codex());
    EXPECT_EQ(UsageService::codex().provider(), ChatProvider::Codex);
    EXPECT_FALSE(claude.running());
    EXPECT_TRUE(claude.metrics().isEmpty());
    EXPECT_FALSE(claude.loading());
    EXPECT_TRUE(claude.available());
}
