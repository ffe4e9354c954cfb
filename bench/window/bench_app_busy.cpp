// What busy panes cost: the whole application (its own window file, 1240×780) with nine terminal
// panes whose programs do what agents' interfaces do while they work, and the same programs in
// nine xterms on the same X display for comparison. Reports "fps" (frames the window swapped),
// "cpu%" (the app, all threads, % of one core) and "xcpu%" (the X server over the same time); the
// xterm runs report the xterms' CPU as "cpu%". With BRINMOOR_SHOT_DIR set, each window run ends
// with a screenshot of the display (ImageMagick's import) in that folder.
//
//   xvfb-run -a -s '-screen 0 1280x800x24' env QT_QPA_PLATFORM=xcb build-rel/bench/bench_app_busy
//
// Like the app, it picks Qt Quick's software renderer when OpenGL runs on a software rasteriser;
// QSG_RHI_BACKEND=opengl (or QT_QUICK_BACKEND) keeps the choice to the user. "backend" is 1 for
// the software renderer, 3 for OpenGL.
//
// Each pane's "shell" is a small Python program (pane i of the window, started in projects/p<i>)
// that reads what to do from the file "mode" beside its folder: "spin N" makes panes 0..N-1 show a
// braille spinner and an elapsed time (about 12 coloured cells) 10 times a second between cursor
// save and restore, and set the window title each time; "stream N" makes them print 25 coloured
// lines a second; anything else leaves them quiet.
#include "../view/BenchViewSupport.h"
#include "BenchAppSupport.h"
#include "../../tests/support/QtTestSupport.h"

#include "AppModel.h"
#include "AppQmlModules.h"
#include "SceneGraphBackend.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kPanes = 9;

const char* kProgram = R"PY(#!/usr/bin/python3
import os, sys, time
here = os.getcwd()
index = int(os.path.basename(here)[1:])
modefile = os.path.join(os.path.dirname(here), 'mode')
frames = '\u280b\u2819\u2839\u2838\u283c\u2834\u2826\u2827\u2807\u280f'
out = sys.stdout

def mode():
    try:
        with open(modefile) as f:
            words = f.read().split()
        return words[0] if index < int(words[1]) else 'idle'
    except Exception:
        return 'idle'

shown = None
tick = 0
line = 0
start = time.monotonic()
while True:
    now = mode()
    if now != shown:
        out.write('\x1b[0m\x1b[2J\x1b[H')
        if now == 'spin':
            out.write('\x1b[1m> refactor the parser\x1b[0m\r\n\r\n\r\n\r\n')
            out.write('  Reading src/parser.cpp\r\n  Editing src/parser.cpp\r\n\r\n')
            out.write('\x1b[2m' + '-' * 60 + '\x1b[0m\r\n> ')
        shown = now
        start = time.monotonic()
    if now == 'spin':
        glyph = frames[tick % len(frames)]
        seconds = int(time.monotonic() - start)
        out.write('\x1b7\x1b[3;1H\x1b[38;5;208m%s\x1b[0m \x1b[1;33mWorking\x1b[0m \x1b[2m(%ds)\x1b[0m\x1b8' % (glyph, seconds))
        out.write('\x1b]0;%s agent at work\x07' % glyph)
        delay = 0.1
    elif now == 'stream':
        out.write('\x1b[32m%6d\x1b[0m \x1b[36mcompiling\x1b[0m src/module_%d.cpp \x1b[33m[%3d%%]\x1b[0m\r\n'
                  % (line, line % 97, line % 100))
        line += 1
        delay = 0.04
    else:
        delay = 0.1
    out.flush()
    tick += 1
    time.sleep(delay)
)PY";

// User plus system CPU seconds of one process (all its threads), from /proc.
double processCpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// The X server that serves $DISPLAY (Xvfb under xvfb-run), or 0.
qint64 xServerPid()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmd.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = cmd.readAll().split('\0');
        if (!args.isEmpty() && args.first().endsWith("Xvfb") && args.contains(display))
            return pid;
    }
    return 0;
}

struct BusyApp {
    QTemporaryDir sandbox;
    QQmlApplicationEngine* engine = nullptr;
    QQuickWindow* window = nullptr;
    std::atomic<int> frames{0};
    QString program;

    BusyApp()
    {
        const QString root = sandbox.path();
        brinmoor::test::useSandboxHome(root);
        qputenv("BRINMOOR_API", "http://127.0.0.1:9");
        program = root + QStringLiteral("/busy.py");
        QFile p(program);
        p.open(QIODevice::WriteOnly);
        p.write(kProgram);
        p.close();
        p.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("SHELL", program.toLocal8Bit()); // each pane's login shell is the program
        benchapp::seedTerminals(root, kPanes, QStringLiteral("Busy"), 3);
        for (int i = 0; i < kPanes; ++i)
            QDir().mkpath(root + QStringLiteral("/xterms/p%1").arg(i));
        setMode(QStringLiteral("projects"), QStringLiteral("idle 0"));
        setMode(QStringLiteral("xterms"), QStringLiteral("idle 0"));

        benchview::ensureGuiApp("bench_app_busy");
        brinmoor::chooseSceneGraphBackend(); // what the app does (QSG_RHI_BACKEND=opengl keeps OpenGL)
        window = benchapp::loadMainWindow(engine);
        if (!window)
            return;
        window->setGeometry(20, 10, 1240, 780);
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [this] { ++frames; }, Qt::DirectConnection);
        benchview::spin(3000); // programs started, first frames drawn, the theme's start-up blend over
    }

    void setMode(const QString& group, const QString& mode)
    {
        QFile f(sandbox.path() + QLatin1Char('/') + group + QStringLiteral("/mode"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(mode.toUtf8());
    }
};

BusyApp& app()
{
    static BusyApp* instance = new BusyApp; // kept to the end: the programs go with the process
    return *instance;
}

// Runs the window under `mode` for 5 s after a 1.5 s settling time.
void measureApp(benchmark::State& state, const QString& mode)
{
    BusyApp& a = app();
    if (!a.window) {
        state.SkipWithError("the window did not load");
        return;
    }
    a.setMode(QStringLiteral("projects"), mode);
    benchview::spin(1500);
    const qint64 xserver = xServerPid();
    for (auto _ : state) {
        const int before = a.frames.load();
        const double x0 = xserver ? processCpuSeconds(xserver) : 0;
        benchview::measureIdle(state, 5000);
        state.counters["fps"] = (a.frames.load() - before) / 5.0;
        if (xserver)
            state.counters["xcpu%"] = 100.0 * (processCpuSeconds(xserver) - x0) / 5.0;
    }
    state.counters["backend"] = a.window->rendererInterface()->graphicsApi();
    // What the X server shows (not a grab of the scene): partial updates must leave nothing stale.
    if (const QString dir = qEnvironmentVariable("BRINMOOR_SHOT_DIR"); !dir.isEmpty()) {
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     dir + QStringLiteral("/busy_") + mode.section(' ', 0, 0)
                                                         + mode.section(' ', 1) + QStringLiteral(".png")});
    }
    a.setMode(QStringLiteral("projects"), QStringLiteral("idle 0"));
    benchview::spin(500);
}

void BM_AppIdle(benchmark::State& state) { measureApp(state, QStringLiteral("idle 0")); }
void BM_AppOneSpinner(benchmark::State& state) { measureApp(state, QStringLiteral("spin 1")); }
void BM_AppNineSpinners(benchmark::State& state) { measureApp(state, QStringLiteral("spin 9")); }
void BM_AppNineStreams(benchmark::State& state) { measureApp(state, QStringLiteral("stream 9")); }
BENCHMARK(BM_AppIdle)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppOneSpinner)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppNineSpinners)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppNineStreams)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The same programs in nine 80×24 xterms on the same display (the window stays idle meanwhile).
void measureXterms(benchmark::State& state, const QString& mode)
{
    BusyApp& a = app();
    const qint64 xserver = xServerPid();
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !xserver) {
        state.SkipWithError("needs an Xvfb display (run under xvfb-run)");
        return;
    }
    std::vector<std::unique_ptr<QProcess>> xterms;
    for (int i = 0; i < kPanes; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(a.sandbox.path() + QStringLiteral("/xterms/p%1").arg(i));
        p->start(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("80x24+%1+%2").arg(i % 3 * 400).arg(i / 3 * 260),
                                          QStringLiteral("-e"), a.program});
        if (!p->waitForStarted()) {
            state.SkipWithError("xterm did not start (apt-get install xterm)");
            return;
        }
        xterms.push_back(std::move(p));
    }
    a.setMode(QStringLiteral("xterms"), mode);
    benchview::spin(2500);
    auto xtermCpu = [&] {
        double sum = 0;
        for (const auto& p : xterms)
            sum += processCpuSeconds(p->processId());
        return sum;
    };
    for (auto _ : state) {
        const double c0 = xtermCpu(), x0 = processCpuSeconds(xserver);
        QElapsedTimer t;
        t.start();
        benchview::spin(5000);
        const double wall = t.nsecsElapsed() / 1e9;
        state.SetIterationTime(wall);
        state.counters["cpu%"] = 100.0 * (xtermCpu() - c0) / wall;
        state.counters["xcpu%"] = 100.0 * (processCpuSeconds(xserver) - x0) / wall;
    }
    a.setMode(QStringLiteral("xterms"), QStringLiteral("idle 0"));
    for (auto& p : xterms) {
        p->terminate();
        p->waitForFinished(3000);
    }
}

void BM_XtermNineSpinners(benchmark::State& state) { measureXterms(state, QStringLiteral("spin 9")); }
void BM_XtermNineStreams(benchmark::State& state) { measureXterms(state, QStringLiteral("stream 9")); }
BENCHMARK(BM_XtermNineSpinners)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XtermNineStreams)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
