// The grid works its layout out again on every change of the sessions, the settings, the window
// size or the maximized pane, so a relayout must stay far below a frame (16 ms) even for large
// workspaces: the geometry alone, and the pane rows' updates a window resize causes.
#include <benchmark/benchmark.h>

#include "GridGeometry.h"
#include "GridGeometryModel.h"

using namespace brinmoor;

namespace {

QList<Session> makeSessions(int n, bool grouped)
{
    QList<Session> out;
    for (int i = 0; i < n; ++i) {
        Session s;
        s.id = QUuid::createUuid();
        s.project = QStringLiteral("p%1").arg(i);
        if (grouped && i % 3 != 2)
            s.groupID = QStringLiteral("g%1").arg(i / 3);
        out << s;
    }
    return out;
}

void BM_ComputeAutomatic(benchmark::State& state)
{
    const auto sessions = makeSessions(static_cast<int>(state.range(0)), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(GridGeometry::compute(sessions, GridSettings{}, QSizeF(1200, 780)));
}
BENCHMARK(BM_ComputeAutomatic)->Arg(3)->Arg(16)->Arg(64);

void BM_ComputeGrouped(benchmark::State& state)
{
    const auto sessions = makeSessions(static_cast<int>(state.range(0)), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(GridGeometry::compute(sessions, GridSettings{}, QSizeF(1200, 780)));
}
BENCHMARK(BM_ComputeGrouped)->Arg(16)->Arg(64);

// A window resize by one point: the layout and every pane row's rectangle.
void BM_ModelResize(benchmark::State& state)
{
    GridGeometryModel model;
    model.setViewHeight(780);
    model.setSessions(makeSessions(static_cast<int>(state.range(0)), false));
    double w = 1200;
    for (auto _ : state) {
        w = w == 1200 ? 1201 : 1200;
        model.setViewWidth(w);
    }
}
BENCHMARK(BM_ModelResize)->Arg(16)->Arg(64);

}  // namespace
