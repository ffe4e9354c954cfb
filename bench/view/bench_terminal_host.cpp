// Terminal host benchmarks, through the path the grid uses (terminal surfaces, themed views,
// login shells in their folders):
//  - HostIdle16: sixteen idle terminal panes in one window, one focused. Target: < 1 % of one
//    core, <= 300 MB resident for the whole process.
//  - HostKeyEcho/<gap>: a key sent to a pane's shell until its echo is drawn, keys <gap> ms apart
//    (0: each key right after the previous echo was drawn, faster than anyone types; 80: a fast
//    typist). Target: within one frame (16.7 ms) of the key.
//  - HostEnd16: ending sixteen panes at once (hang-up, SIGTERM): time until no process of any of
//    them remains. Target: well under the 2 s SIGKILL delay for shells that honour the hang-up.
//  - HostQuit/<n>: the application's quit with n live panes (1, 20, 100), each shell at its prompt
//    with a background job: the host's shutdown, from its call until it returns with no process
//    of any pane left. Target: under 2 s at 100 panes, growing little with the panes (the process
//    table is read for all panes together).
//  - HostPaneCost/<n>: n panes started through the host, each shell at its prompt: the address
//    space (VmSize), resident memory and threads that each started pane adds. Target: no thread
//    of its own and a few MB of address space a pane, so a hundred panes fit well inside a 3 GB
//    address-space limit (ulimit -v) or a modest task limit.
// Run a Release or RelWithDebInfo build: build/bench/bench_terminal_host (offscreen by default;
// QT_QPA_PLATFORM=xcb under xvfb-run for a real X server). Uses /bin/sh and a temporary HOME.
#include "BenchViewSupport.h"
#include "CaretView.h"
#include "TerminalHostLocal.h"
#include "TerminalHostSurface.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>

#include <sys/resource.h>

namespace {

void ensureApp()
{
    if (QCoreApplication::instance())
        return;
    static QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("SHELL", "/bin/sh");
    qputenv("ENV", "");
    benchview::ensureGuiApp("bench_terminal_host");
}

using benchview::spin;

// A figure of /proc/self/status in MB ("VmRSS:", "VmSize:") or as counted ("Threads:").
double statusFigure(const QByteArray& key, double scale = 1.0 / 1024.0)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() * scale;
    return 0;
}

double residentMB()
{
    return statusFigure("VmRSS:");
}

struct Grid {
    QQuickWindow window;
    std::vector<TerminalSurfaceView*> surfaces;
    std::vector<QUuid> ids;

    Grid()
    {
        const QSizeF pane(420, 240);
        window.resize(int(4 * pane.width()), int(4 * pane.height()));
        window.show();
        for (int i = 0; i < 16; ++i) {
            auto* s = new TerminalSurfaceView(window.contentItem());
            s->setPosition(QPointF((i % 4) * pane.width(), (i / 4) * pane.height()));
            s->setSize(pane);
            ids.push_back(QUuid::createUuid());
            s->setDirectory(QStringLiteral("~"));
            s->setSessionID(ids.back().toString(QUuid::WithoutBraces).toUpper());
            surfaces.push_back(s);
        }
    }
};

void HostIdle16(benchmark::State& state)
{
    ensureApp();
    for (auto _ : state) {
        Grid grid;
        grid.window.requestActivate();
        if (grid.surfaces[0]->view())
            grid.surfaces[0]->view()->forceActiveFocus();
        spin(1500); // shells start and print their prompts
        benchview::measureIdle(state, 5000);
        state.counters["rss_MB"] = residentMB();
        state.counters["views"] = double(TerminalHost::shared().views().size());
        int blinking = 0;
        for (TerminalSurfaceView* s : grid.surfaces)
            if (auto* v = qobject_cast<LocalProcessTerminalView*>(s->view()); v && v->caretView()->isBlinking())
                ++blinking;
        state.counters["blinking_carets"] = blinking;
        TerminalHost::shared().shutdown();
    }
}
BENCHMARK(HostIdle16)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void HostEnd16(benchmark::State& state)
{
    ensureApp();
    for (auto _ : state) {
        Grid grid;
        spin(1000);
        std::vector<pid_t> shells;
        for (TerminalSurfaceView* s : grid.surfaces)
            shells.push_back(pid_t(s->shellPid()));
        QElapsedTimer t;
        t.start();
        for (const QUuid& id : grid.ids)
            TerminalHost::shared().dropView(id);
        const auto anyLeft = [&] {
            for (pid_t p : shells)
                if (p > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(p)))
                    return true;
            return false;
        };
        while (anyLeft() && t.elapsed() < 5000)
            spin(2);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        state.counters["left"] = anyLeft() ? 1 : 0;
        TerminalHost::shared().shutdown();
    }
}
BENCHMARK(HostEnd16)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// `panes` shells opened through the host, waited for until each is at its prompt (its cursor moved
// off the start of the screen) or a minute has gone.
std::vector<LocalProcessTerminalView*> openAtPrompt(int panes)
{
    QElapsedTimer started;
    started.start();
    std::vector<LocalProcessTerminalView*> views;
    for (int i = 0; i < panes; ++i)
        views.push_back(TerminalHost::shared().view(QUuid::createUuid(), QStringLiteral("~"), true, QSizeF(420, 240)));
    const auto prompted = [&] {
        return std::all_of(views.begin(), views.end(), [](LocalProcessTerminalView* v) {
            return v->getTerminal().buffer().x() > 0 || v->getTerminal().buffer().y() > 0;
        });
    };
    while (!prompted() && started.elapsed() < 60000)
        spin(5);
    return views;
}

void HostPaneCost(benchmark::State& state)
{
    ensureApp();
    const int panes = int(state.range(0));
    for (auto _ : state) {
        spin(200);
        const double sizeBefore = statusFigure("VmSize:");
        const double rssBefore = residentMB();
        const double threadsBefore = statusFigure("Threads:", 1);
        QElapsedTimer t;
        t.start();
        const std::vector<LocalProcessTerminalView*> views = openAtPrompt(panes);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        state.counters["started"] = double(std::count_if(views.begin(), views.end(), [](auto* v) { return v->running(); }));
        state.counters["address_space_MB_per_pane"] = (statusFigure("VmSize:") - sizeBefore) / panes;
        state.counters["resident_MB_per_pane"] = (residentMB() - rssBefore) / panes;
        state.counters["threads_per_pane"] = (statusFigure("Threads:", 1) - threadsBefore) / panes;
        TerminalHost::shared().shutdown();
    }
}
BENCHMARK(HostPaneCost)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void HostQuit(benchmark::State& state)
{
    ensureApp();
    const int panes = int(state.range(0));
    for (auto _ : state) {
        const std::vector<LocalProcessTerminalView*> views = openAtPrompt(panes);
        std::vector<pid_t> shells;
        for (LocalProcessTerminalView* v : views) {
            shells.push_back(v->process->shellPid());
            v->send(QStringLiteral("sleep 600 &\n"));
        }
        spin(300);
        QElapsedTimer t;
        t.start();
        TerminalHost::shared().shutdown();
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        state.counters["left"] = double(std::count_if(shells.begin(), shells.end(), [](pid_t p) {
            return p > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(p));
        }));
    }
}
BENCHMARK(HostQuit)->Arg(1)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void HostKeyEcho(benchmark::State& state)
{
    ensureApp();
    for (auto _ : state) {
        QQuickWindow window;
        window.resize(640, 360);
        window.show();
        auto* surface = new TerminalSurfaceView(window.contentItem());
        surface->setSize(QSizeF(640, 360));
        const QUuid id = QUuid::createUuid();
        surface->setSessionID(id.toString(QUuid::WithoutBraces).toUpper());
        auto* view = qobject_cast<LocalProcessTerminalView*>(surface->view());
        spin(800);
        std::vector<double> latencies;
        for (int i = 0; i < 40; ++i) {
            if (state.range(0) > 0)
                spin(int(state.range(0)));
            const char key = char('a' + i % 26);
            const int paints = view->paintCount();
            QElapsedTimer t;
            t.start();
            view->send(QString(QLatin1Char(key)));
            while (view->paintCount() == paints && t.elapsed() < 500)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            latencies.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(latencies.begin(), latencies.end());
        state.SetIterationTime(latencies[latencies.size() / 2] / 1e3);
        state.counters["median_ms"] = latencies[latencies.size() / 2];
        state.counters["p90_ms"] = latencies[latencies.size() * 9 / 10];
        TerminalHost::shared().dropView(id);
        delete surface;
    }
}
BENCHMARK(HostKeyEcho)->Arg(0)->Arg(80)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
