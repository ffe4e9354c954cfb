// What an idle window costs: the whole application (its own window file) with 16 terminal panes,
// left alone. With every pane's state dot pulsing the window must stay under 5 % of one core, and
// with nothing pulsing it must render no frame at all. Reports "cpu%" and "fps" per run.
//
//   software renderer:   QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software build/bench/bench_app_idle
//   GL on llvmpipe:      xvfb-run -a env QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 build/bench/bench_app_idle
#include "../view/BenchViewSupport.h"
#include "BenchAppSupport.h"
#include "../../tests/support/QtTestSupport.h"

#include "AppModel.h"
#include "AppQmlModules.h"

#include <QDir>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <atomic>

namespace {

constexpr int kPanes = 16;

struct IdleApp {
    QTemporaryDir sandbox;
    QQmlApplicationEngine* engine = nullptr;
    QQuickWindow* window = nullptr;
    std::atomic<int> frames{0};
    QList<QUuid> sessions;

    IdleApp()
    {
        const QString root = sandbox.path();
        brinmoor::test::useSandboxHome(root);
        qputenv("BRINMOOR_API", "http://127.0.0.1:9");
        sessions = benchapp::seedTerminals(root, kPanes, QStringLiteral("Idle"), 4);

        benchview::ensureGuiApp("bench_app_idle");
        window = benchapp::loadMainWindow(engine);
        if (!window)
            return;
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [this] { ++frames; }, Qt::DirectConnection);
        // Shells started, first frames drawn, the theme's start-up blend over.
        benchview::spin(3000);
    }

    // Every pane `running` (what a restart or a busy chat leaves), without touching the shells.
    void setAllRunning()
    {
        for (const QUuid& id : sessions)
            brinmoor::AppModel::instance()->approve(id);
        benchview::spin(1000);
    }
};

IdleApp& app()
{
    static IdleApp* instance = new IdleApp;  // kept to the end: the shells go with the process
    return *instance;
}

void measure(benchmark::State& state)
{
    IdleApp& a = app();
    if (!a.window) {
        state.SkipWithError("the window did not load");
        return;
    }
    for (auto _ : state) {
        const int before = a.frames.load();
        benchview::measureIdle(state, 4000);
        state.counters["fps"] = (a.frames.load() - before) / 4.0;
    }
    state.counters["backend"] = a.window->rendererInterface()->graphicsApi();
}

// 16 idle panes (the state they start in): nothing moves, so no frame is drawn.
void BM_IdleWithNothingPulsing(benchmark::State& state)
{
    measure(state);
}
BENCHMARK(BM_IdleWithNothingPulsing)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// 16 panes, each pulsing its running ring.
void BM_IdleWithSixteenPulsingPanes(benchmark::State& state)
{
    app().setAllRunning();
    measure(state);
}
BENCHMARK(BM_IdleWithSixteenPulsingPanes)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// The pulsing window minimised: the clock rests.
void BM_IdleMinimisedWhilePulsing(benchmark::State& state)
{
    app().setAllRunning();
    app().window->showMinimized();
    benchview::spin(500);
    measure(state);
    app().window->showNormal();
}
BENCHMARK(BM_IdleMinimisedWhilePulsing)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
