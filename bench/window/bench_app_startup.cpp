// Start-up with a hostile saved state: one pane whose project name and label are 5 MB each and
// whose conversation id is 1 MB (an 11 MB state.json). The whole application (its own window
// file) must show its first frame within a second. Reports "MB" (the file's size) and the peak
// resident size "maxRssMB".
//
//   QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software build-rel/bench/bench_app_startup
#include "../view/BenchViewSupport.h"
#include "../../tests/support/QtTestSupport.h"

#include "AppQmlModules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

QByteArray hugeState(const QString& dir)
{
    const QByteArray name(5 << 20, 'n');
    const QByteArray label(5 << 20, 'l');
    const QByteArray conversation(1 << 20, 'c');
    return R"({ "recents": [], "workspaces": [ { "colorHex": "5b8cee", "id": "1D1E0000-0000-4000-8000-000000000001",
        "name": "Huge", "sessions": [ { "autoApprove": false, "directory": ")" + dir.toUtf8() + R"(",
        "id": "1D1E0000-0000-4000-8000-000000000002", "kind": "chat", "muted": false, "provider": "claude",
        "project": ")" + name + R"(", "sessionLabel": ")" + label + R"(", "claudeSessionId": ")" + conversation
           + R"(" } ] } ] })";
}

// Runs once: the application model is one per process.
void BM_StartUpWithElevenMegabyteState(benchmark::State& state)
{
    QTemporaryDir sandbox;
    const QString root = sandbox.path();
    brinmoor::test::useSandboxHome(root);
    qputenv("BRINMOOR_API", "http://127.0.0.1:9");
    QDir().mkpath(root + "/data/Brinmoor");
    QDir().mkpath(root + "/project");
    const QByteArray bytes = hugeState(root + "/project");
    QFile f(root + "/data/Brinmoor/state.json");
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    f.close();

    benchview::ensureGuiApp("bench_app_startup");
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        auto* engine = new QQmlApplicationEngine;  // left to the process: the model outlives it
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
        auto* window = engine->rootObjects().isEmpty() ? nullptr
                                                       : qobject_cast<QQuickWindow*>(engine->rootObjects().first());
        if (!window) {
            state.SkipWithError("the window did not load");
            return;
        }
        bool shown = false;
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] { shown = true; });
        QEventLoop loop;
        while (!shown && t.elapsed() < 120000)
            loop.processEvents(QEventLoop::WaitForMoreEvents, 50);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        if (!shown)
            state.SkipWithError("no frame within two minutes");
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    state.counters["MB"] = bytes.size() / 1048576.0;
    state.counters["maxRssMB"] = ru.ru_maxrss / 1024.0;
}
BENCHMARK(BM_StartUpWithElevenMegabyteState)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
