// A click on a workspace in the rail: the whole application (its own window file, 1240×780,
// software renderer) switching to a workspace of nine terminal panes and to one of nine chat
// panes, first visit and return. A switch's time runs from the selection to the first frame
// swapped after every pane of the workspace shows its content. Reports per switch:
//   "frames"   frames swapped in that time (a return drawn in the next frame reports 1);
//   "stall_ms" the longest stretch in which the GUI thread did not turn its event loop, from the
//              selection until the workspace was drawn, less the part of it spent waiting for a
//              CPU (the app's stall log, BRINMOOR_STALL_LOG, counts both); "raw_stall_ms" with it;
//   "after_ms" the same over the half second after (shells printing their prompts, chats their
//              conversations);
//   "heap_MiB" (first visits) heap in use once the workspace was shown and left again, less what
//              it was before the visit: what the workspace costs while another one is shown;
//   "kept_MiB" (first visits) of that, what its kept grid holds (its panes' views, not their
//              terminals and chat sessions, which live on without it): the heap given back when
//              the window lets the grid go.
// The chat panes run the scripted fake sidecar (tests/agent/fakes/fake-sidecar.mjs), which
// answers each start with a conversation of 24 messages.
//
//   QT_QPA_PLATFORM=offscreen build-release/bench/bench_workspace_switch
#include "../view/BenchViewSupport.h"
#include "../../tests/support/QtTestSupport.h"
#include "../../tests/support/SeedState.h"

#include "AgentChatHost.h"
#include "AppModel.h"
#include "AppQmlModules.h"
#include "StallWatch.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <malloc.h>

namespace {

constexpr int kPanes = 9;
constexpr int kCopies = 3;  // workspaces of each kind: one per first visit

QString workspaceID(int n)
{
    return QStringLiteral("5A000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
}
const QString kHome = workspaceID(1);
QString terminalsID(int copy) { return workspaceID(10 + copy); }
QString chatsID(int copy) { return workspaceID(20 + copy); }

double heapMiB()
{
    malloc_trim(0);
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

QJsonObject conversation()
{
    QJsonArray messages;
    for (int i = 0; i < 24; ++i) {
        const bool user = i % 2 == 0;
        const QString text = user ? QStringLiteral("Why does step %1 fail?").arg(i)
                                  : QStringLiteral("Step **%1** fails because `x` is unset:\n\n- set it\n- retry\n\n"
                                                   "```sh\nexport X=%1\n```").arg(i);
        messages.append(QJsonObject{{"role", user ? "user" : "assistant"},
                                    {"blocks", QJsonArray{QJsonObject{{"type", "text"}, {"text", text}}}}});
    }
    const QJsonArray start{QJsonObject{{"ev", QJsonObject{{"ev", "session"}, {"id", "conv"}}}},
                           QJsonObject{{"ev", QJsonObject{{"ev", "history"}, {"messages", messages}}}}};
    QJsonArray answers;
    answers.append(start);  // each pane's sidecar answers its own first start
    return QJsonObject{{"start", answers}};
}

struct SwitchApp {
    QTemporaryDir sandbox;
    QQmlApplicationEngine* engine = nullptr;
    QQuickWindow* window = nullptr;
    int frames = 0;

    SwitchApp()
    {
        const QString root = sandbox.path();
        brinmoor::test::useSandboxHome(root);
        qputenv("BRINMOOR_API", "http://127.0.0.1:9");
        qputenv("QT_QUICK_BACKEND", "software");

        // The fake sidecar under the Claude script's name, answering from its script.
        QDir().mkpath(root + "/sidecar");
        QFile::copy(QStringLiteral(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/fake-sidecar.mjs"),
                    root + "/sidecar/brinmoor-agent.mjs");
        QFile script(root + "/sidecar/script.json");
        script.open(QIODevice::WriteOnly);
        script.write(QJsonDocument(conversation()).toJson());
        script.close();
        qputenv("BRINMOOR_SIDECAR_DIR", QFile::encodeName(root + "/sidecar"));
        qputenv("FAKE_SIDECAR_SCRIPT", QFile::encodeName(script.fileName()));

        // Home, where the app starts, holds a terminal and a chat pane: the first pane of each kind
        // in a run loads its QML types (a chat pane's take about 90 ms, once per run), which is no
        // part of a switch.
        QList<brinmoor::test::SeedWorkspace> seed{{kHome, QStringLiteral("Home"), {}}};
        for (const char* kind : {"terminal", "chat"}) {
            brinmoor::test::SeedSession s{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()};
            s.kind = QString::fromLatin1(kind);
            s.project = QStringLiteral("home");
            seed[0].sessions << s;
        }
        for (int copy = 0; copy < kCopies; ++copy) {
            for (const bool chats : {false, true}) {
                brinmoor::test::SeedWorkspace ws{chats ? chatsID(copy) : terminalsID(copy),
                                                 QStringLiteral("%1 %2").arg(chats ? "Chats" : "Terminals").arg(copy), {}};
                for (int i = 0; i < kPanes; ++i) {
                    brinmoor::test::SeedSession s{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()};
                    s.kind = chats ? QStringLiteral("chat") : QStringLiteral("terminal");
                    s.project = QStringLiteral("p%1").arg(i);
                    ws.sessions << s;
                }
                seed << ws;
            }
        }
        QStringList projects{QStringLiteral("home")};
        for (int i = 0; i < kPanes; ++i)
            projects << QStringLiteral("p%1").arg(i);
        for (const QString& p : projects)
            QDir().mkpath(root + "/projects/" + p);
        QDir().mkpath(root + "/data/Brinmoor");
        QFile f(root + "/data/Brinmoor/state.json");
        f.open(QIODevice::WriteOnly);
        f.write(brinmoor::test::seedState(seed, root + "/projects"));
        f.close();

        benchview::ensureGuiApp("bench_workspace_switch");
        brinmoor::SidecarTools tools = brinmoor::SidecarTools::real();
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        tools.findNode = [node](QObject*, std::function<void(std::optional<QString>)> done) { done(node); };
        tools.locateTool = [](brinmoor::ChatProvider, const std::optional<QString>&) { return QStringLiteral("/bin/true"); };
        brinmoor::AgentChatHost::shared().setTools(tools);

        QQuickStyle::setStyle(QStringLiteral("Basic"));
        engine = new QQmlApplicationEngine;  // left to the process: the model outlives it
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
        window = engine->rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine->rootObjects().first());
        if (!window)
            return;
        window->resize(1240, 780);
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [this] { ++frames; }, Qt::DirectConnection);
        benchview::spin(2000);  // the home pane's shell, the first frames
    }

    // Panes of the shown workspace that show their content, in the window.
    static void countPanes(QQuickItem* item, int& panes, int& live)
    {
        if (!item->isVisible())
            return;
        if (item->objectName() == QLatin1String("paneView")) {
            ++panes;
            if (!item->property("content").isNull() && item->property("content").value<QObject*>())
                ++live;
            return;
        }
        for (QQuickItem* child : item->childItems())
            countPanes(child, panes, live);
    }
    static QQuickItem* find(QQuickItem* item, const QString& name)
    {
        if (item->objectName() == name)
            return item;
        for (QQuickItem* child : item->childItems())
            if (QQuickItem* found = find(child, name))
                return found;
        return nullptr;
    }
    // The heap that the grids kept for workspaces out of sight hold: what letting them go gives
    // back (none where the window keeps no grids).
    double keptGridsMiB() const
    {
        QQuickItem* grids = find(window->contentItem(), QStringLiteral("workspaceGrids"));
        QObject* kept = grids ? grids->property("kept").value<QObject*>() : nullptr;
        if (!kept)
            return 0;
        const QVariant capacity = kept->property("capacity");
        auto settle = [this] {
            for (int i = 0; i < 3; ++i) {
                benchview::spin(50);
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                engine->collectGarbage();
            }
        };
        settle();
        const double before = heapMiB();
        kept->setProperty("capacity", 1);
        settle();
        const double after = heapMiB();
        kept->setProperty("capacity", capacity);
        return before - after;
    }

    bool allShown(int count) const
    {
        int panes = 0, live = 0;
        countPanes(window->contentItem(), panes, live);
        return panes == count && live == count;
    }

    struct Result {
        double seconds = 0;
        int frames = 0;
        qint64 stallMs = 0;       // until the workspace was drawn (own work)
        qint64 rawStallMs = 0;    // the same, waiting for a CPU included
        qint64 afterStallMs = 0;  // in the half second after (own work)
        bool shown = false;
    };

    // The GUI thread's longest stall in a stretch of time, as the app's own stall log records it:
    // in all ("raw") and less the part spent waiting for a CPU ("own", the app's own work; a
    // machine busy with other programs makes the raw figure grow, not this one).
    struct StallLog {
        QTemporaryDir dir;
        std::unique_ptr<brinmoor::StallWatch> watch{new brinmoor::StallWatch(dir.filePath("stalls"), 8)};
        std::pair<qint64, qint64> finish()  // (own, raw)
        {
            watch.reset();
            QFile f(dir.filePath("stalls"));
            qint64 own = 0, raw = 0;
            if (f.open(QIODevice::ReadOnly))
                for (const QByteArray& line : f.readAll().split('\n')) {
                    const QList<QByteArray> w = line.split(' ');  // stall <ms> ready <ms> ended <ms>
                    if (w.size() < 4 || w[0] != "stall")
                        continue;
                    raw = std::max(raw, w[1].toLongLong());
                    own = std::max(own, w[1].toLongLong() - w[3].toLongLong());
                }
            return {own, raw};
        }
    };

    // Selects the workspace and runs the event loop until a frame was swapped after all its panes
    // showed their content, then for half a second more.
    Result switchTo(const QString& id)
    {
        const int count = id == kHome ? 2 : kPanes;
        Result r;
        const int framesBefore = frames;
        int framesWhenShown = -1;
        auto during = std::make_unique<StallLog>();
        QElapsedTimer t;
        t.start();
        brinmoor::AppModel::instance()->selectWorkspace(id);
        QEventLoop loop;
        while (t.elapsed() < 20000) {
            loop.processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (framesWhenShown < 0 && allShown(count))
                framesWhenShown = frames;
            if (framesWhenShown >= 0 && frames > framesWhenShown) {
                r.seconds = t.nsecsElapsed() / 1e9;
                r.frames = frames - framesBefore;
                r.shown = true;
                break;
            }
        }
        std::tie(r.stallMs, r.rawStallMs) = during->finish();
        StallLog after;
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 500)
            loop.processEvents(QEventLoop::WaitForMoreEvents, 5);
        r.afterStallMs = after.finish().first;
        return r;
    }
};

SwitchApp& app()
{
    static SwitchApp* a = new SwitchApp;
    return *a;
}

void runSwitches(benchmark::State& state, bool chats, bool firstVisit)
{
    SwitchApp& a = app();
    if (!a.window) {
        state.SkipWithError("the window did not load");
        return;
    }
    int copy = 0;
    qint64 stall = 0, rawStall = 0, afterStall = 0;
    double frames = 0, heap = 0, kept = 0;
    int n = 0;
    for (auto _ : state) {
        const QString target = chats ? chatsID(copy) : terminalsID(copy);
        state.PauseTiming();
        a.switchTo(kHome);
        const double before = heapMiB();
        if (!firstVisit)
            a.switchTo(target);  // shown once already
        if (!firstVisit)
            a.switchTo(kHome);
        state.ResumeTiming();
        const SwitchApp::Result r = a.switchTo(target);
        if (!r.shown) {
            state.SkipWithError("the workspace's panes did not all show");
            return;
        }
        state.SetIterationTime(r.seconds);
        state.PauseTiming();
        stall = std::max(stall, r.stallMs);
        rawStall = std::max(rawStall, r.rawStallMs);
        afterStall = std::max(afterStall, r.afterStallMs);
        frames += r.frames;
        if (firstVisit) {
            a.switchTo(kHome);
            heap += heapMiB() - before;
            kept += a.keptGridsMiB();
        }
        ++n;
        copy = (copy + 1) % kCopies;
        state.ResumeTiming();
    }
    state.counters["frames"] = n ? frames / n : 0;
    state.counters["stall_ms"] = double(stall);
    state.counters["raw_stall_ms"] = double(rawStall);
    state.counters["after_ms"] = double(afterStall);
    if (firstVisit) {
        state.counters["heap_MiB"] = n ? heap / n : 0;
        state.counters["kept_MiB"] = n ? kept / n : 0;
    }
}

void BM_SwitchToNineTerminalsFirstVisit(benchmark::State& state) { runSwitches(state, false, true); }
void BM_SwitchToNineTerminalsReturn(benchmark::State& state) { runSwitches(state, false, false); }
void BM_SwitchToNineChatsFirstVisit(benchmark::State& state) { runSwitches(state, true, true); }
void BM_SwitchToNineChatsReturn(benchmark::State& state) { runSwitches(state, true, false); }

// Each first visit needs a workspace never shown before: one iteration per copy.
BENCHMARK(BM_SwitchToNineTerminalsFirstVisit)->UseManualTime()->Iterations(kCopies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SwitchToNineTerminalsReturn)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SwitchToNineChatsFirstVisit)->UseManualTime()->Iterations(kCopies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SwitchToNineChatsReturn)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace
