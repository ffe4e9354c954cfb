// What one chat pane costs the application: resident memory of an idle pane on the app side (its
// session, timeline model and sidecar process object; the sidecar itself is a tiny shell script
// here, so Node and the agent CLI are left out), and the time from start to the first event with
// a Node sidecar that answers "start" at once.

#include "ClaudeSession.h"
#include "NodeDetector.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace brinmoor;

namespace {

QCoreApplication* application()
{
    static int argc = 1;
    static char name[] = "bench_chat_session";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return app;
}

bool waitUntil(const std::function<bool()>& done, int ms = 20000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

double residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble();
    return 0;
}

SidecarTools tools(const QString& node, const QString& script)
{
    SidecarTools t;
    t.findNode = [node](QObject*, std::function<void(std::optional<QString>)> done) { done(node); };
    t.locateTool = [](ChatProvider, const std::optional<QString>&) { return std::optional<QString>(QStringLiteral("/bin/true")); };
    t.scriptPath = [script](ChatProvider) { return std::optional<QString>(script); };
    return t;
}

// 200 idle panes, each with its sidecar started; the counter is the growth per pane.
void BM_IdleChatPaneResidentMemory(benchmark::State& state)
{
    application();
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("idle.sh"));
    QFile f(script);
    f.open(QIODevice::WriteOnly);
    f.write("exec cat > /dev/null\n");
    f.close();
    constexpr int panes = 200;
    double perPane = 0;
    for (auto _ : state) {
        // One pane first, so what every pane shares (libraries, the first process) is not counted.
        std::vector<std::unique_ptr<ClaudeSession>> sessions;
        const auto add = [&] {
            auto s = std::make_unique<ClaudeSession>(QUuid::createUuid(), dir.path(), false, std::nullopt,
                                                     ChatProvider::Claude, true);
            s->setTools(tools(QStringLiteral("/bin/sh"), script));
            s->startIfNeeded(std::nullopt);
            sessions.push_back(std::move(s));
        };
        add();
        waitUntil([&] { return sessions.front()->processId() > 0; });
        const double before = residentKiB();
        for (int i = 0; i < panes; ++i)
            add();
        waitUntil([&] {
            for (const auto& s : sessions)
                if (s->processId() <= 0)
                    return false;
            return true;
        });
        QCoreApplication::processEvents();
        perPane = (residentKiB() - before) / panes;
        state.PauseTiming();
        sessions.clear();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rss_KiB_per_idle_pane"] = perPane;
}
// Once: later rounds would reuse the memory the first one freed.
BENCHMARK(BM_IdleChatPaneResidentMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// start → the sidecar's first event applied (the scripted fake answers "start" with "commands").
void BM_StartToFirstEvent(benchmark::State& state)
{
    application();
    QTemporaryDir dir;
    QFile script(dir.filePath(QStringLiteral("script.json")));
    script.open(QIODevice::WriteOnly);
    script.write(R"({"start": [[{"ev": {"ev": "commands", "commands": ["compact"]}}]]})");
    script.close();
    qputenv("FAKE_SIDECAR_SCRIPT", script.fileName().toUtf8());
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QString fake = QStringLiteral(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/fake-sidecar.mjs");
    for (auto _ : state) {
        ClaudeSession s(QUuid::createUuid(), dir.path(), false, std::nullopt, ChatProvider::Claude, true);
        s.setTools(tools(node, fake));
        s.startIfNeeded(std::nullopt);
        if (!waitUntil([&] { return !s.availableCommands().isEmpty(); }))
            state.SkipWithError("no event");
        state.PauseTiming();
        s.stop();
        state.ResumeTiming();
    }
    qunsetenv("FAKE_SIDECAR_SCRIPT");
}
BENCHMARK(BM_StartToFirstEvent)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
