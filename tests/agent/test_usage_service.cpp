// The usage monitor on the scripted fake sidecar, with its delays and poll run by the test.
#include "UsageService.h"
#include "support/FakeSidecar.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QJsonArray>

#include <gtest/gtest.h>

BRINMOOR_APP_TEST_ENVIRONMENT();

using namespace brinmoor;
using namespace brinmoor::test;

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

// Records what the service schedules; the test runs it.
struct Recorded {
    struct Work { int ms; bool repeating; std::function<void()> run; };
    QList<Work> work;
    UsageSchedule schedule()
    {
        UsageSchedule s;
        s.after = [this](int ms, QObject*, std::function<void()> w) { work.append({ms, false, std::move(w)}); };
        s.every = [this](int ms, QObject*, std::function<void()> w) { work.append({ms, true, std::move(w)}); };
        return s;
    }
    void run(int ms)
    {
        for (const Work& w : QList<Work>(work))
            if (w.ms == ms)
                w.run();
    }
    QList<int> delays() const
    {
        QList<int> out;
        for (const Work& w : work)
            out << (w.repeating ? -w.ms : w.ms);
        return out;
    }
};

QJsonObject usage(bool available, QJsonArray metrics, QJsonObject extra = {})
{
    extra.insert(S("available"), available);
    extra.insert(S("metrics"), metrics);
    return ev(S("usage"), extra);
}

const QJsonObject metric{{S("label"), S("Session")}, {S("percent"), 42}};

} // namespace

TEST(UsageService, without_node_it_is_unavailable_and_every_retry_searches_again)
{
    FakeSidecar fake;
    UsageService service(ChatProvider::Claude);
    Recorded r;
    service.setSchedule(r.schedule());
    SidecarTools tools = fake.tools();
    int searches = 0;
    tools.findNode = [&](QObject*, std::function<void(std::optional<QString>)> done) { ++searches; done(std::nullopt); };
    service.setTools(tools);
    service.start();
    service.start();
    // Retries and the warm-up's end for each start; one poll timer (negative: repeating).
    EXPECT_EQ(r.delays(), (QList<int>{2000, 5000, 11000, 22000, 25000, -60000, 2000, 5000, 11000, 22000, 25000}));
    EXPECT_FALSE(service.available());
    EXPECT_FALSE(service.loading());
    EXPECT_FALSE(service.running());
    const int before = searches;
    r.run(2000);
    r.run(60000);
    EXPECT_EQ(searches, before + 3);
}

TEST(UsageService, start_lines_then_get_usage_and_retries_only_while_empty)
{
    for (ChatProvider provider : {ChatProvider::Claude, ChatProvider::Codex}) {
        const QJsonArray answers{QJsonArray{}, QJsonArray{QJsonObject{{S("ev"), usage(true, {metric}, {{S("email"), S("a@b.c")}})}}}};
        FakeSidecar fake({{S("get_usage"), answers}});
        UsageService service(provider);
        Recorded r;
        service.setSchedule(r.schedule());
        service.setTools(fake.tools(S("/bin/true")));
        service.start();
        EXPECT_TRUE(service.loading());
        ASSERT_TRUE(fake.waitForCommand(S("get_usage")));
        const QJsonObject start = fake.commands().at(0);
        QStringList keys = start.keys();
        keys.sort();
        if (provider == ChatProvider::Claude) {
            EXPECT_EQ(keys, (QStringList{S("claudePath"), S("cmd"), S("cwd"), S("permissionMode")}));
        } else {
            EXPECT_EQ(keys, (QStringList{S("binPath"), S("cmd"), S("cwd"), S("permissionMode"), S("usageOnly")}));
            EXPECT_EQ(start[S("usageOnly")], true);
        }
        EXPECT_EQ(start[S("cwd")], QDir::homePath());
        EXPECT_EQ(start[S("permissionMode")], S("default"));
        // The first answer brings nothing; the 2 s retry asks again and gets the metrics.
        r.run(2000);
        ASSERT_TRUE(waitUntil([&] { return !service.metrics().isEmpty(); }));
        EXPECT_FALSE(service.loading());
        EXPECT_EQ(service.email(), S("a@b.c"));
        EXPECT_EQ(fake.commandNames().count(S("get_usage")), 2);
        // With metrics known the later retries stay quiet; the poll still asks.
        r.run(5000);
        r.run(60000);
        ASSERT_TRUE(fake.waitForCommand(S("get_usage"), 3));
        EXPECT_EQ(fake.commandNames().count(S("get_usage")), 3);
    }
}

TEST(UsageService, early_not_available_is_held_back_until_the_warm_up_ends)
{
    UsageService service(ChatProvider::Claude);
    Recorded r;
    service.setSchedule(r.schedule());
    SidecarTools tools;
    tools.findNode = [](QObject*, std::function<void(std::optional<QString>)>) {};  // a search that never ends
    service.setTools(tools);
    service.start();
    EXPECT_TRUE(service.loading());
    service.applyUsage({}, false, std::nullopt, std::nullopt);
    EXPECT_TRUE(service.available());
    EXPECT_TRUE(service.loading());
    r.run(25000);
    service.applyUsage({}, false, std::nullopt, std::nullopt);
    EXPECT_FALSE(service.available());
    EXPECT_FALSE(service.loading());
    // Metrics replace the list whole; an empty report keeps them, and an absent e-mail keeps one.
    UsageMetric m;
    m.label = S("Week");
    service.applyUsage({m}, true, S("x@y.z"), S("max"));
    service.applyUsage({}, true, std::nullopt, std::nullopt);
    EXPECT_EQ(service.metrics().size(), 1);
    EXPECT_EQ(service.email(), S("x@y.z"));
    EXPECT_EQ(service.subscription(), S("max"));
}

TEST(UsageService, a_sidecar_that_exited_is_started_again_on_the_next_refresh)
{
    FakeSidecar fake({{S("get_usage"), QJsonArray{QJsonArray{QJsonObject{{S("exit"), 0}}}}}});
    UsageService service(ChatProvider::Codex);
    Recorded r;
    service.setSchedule(r.schedule());
    service.setTools(fake.tools(S("/bin/true")));
    service.refresh();
    ASSERT_TRUE(fake.waitForCommand(S("get_usage")));
    ASSERT_TRUE(waitUntil([&] { return !service.running(); }));
    service.refresh();
    ASSERT_TRUE(fake.waitForCommand(S("get_usage"), 2));
    EXPECT_EQ(fake.commandNames(), (QStringList{S("start"), S("get_usage"), S("start"), S("get_usage")}));
}
