// Terminal view benchmarks:
//  - CatThroughput: `cat` of a 100 MB text file end to end (pseudo-terminal -> LocalProcess ->
//    engine -> coalesced redraws of a shown view). Target: >= 100 MB/s, <= 60 redraws a second.
//  - IdleCpu: a shown view with a blinking caret and a quiet shell. Target: no terminal
//    repaints, CPU only for the caret animation.
//  - Memory: one 200 x 50 view with 500 rows of scrollback, drawn. Target: <= 12 MB.
//  - DrawScreen: painting a full 200 x 50 screen: coloured text (0), or a screen full of
//    box-drawing lines and blocks as TUIs draw them (1).
// Run a Release or RelWithDebInfo build: build/bench/bench_view (offscreen by default).
#include "BenchViewSupport.h"
#include "CaretView.h"
#include "LocalProcessTerminalView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>

namespace {

void ensureApp()
{
    benchview::ensureGuiApp("bench_view");
}

using benchview::spin;

size_t heapInUse()
{
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

QFont benchFont()
{
    QFont f("DejaVu Sans Mono");
    f.setPixelSize(12);
    return f;
}

// A 100 MB text file with some colour, made once per run.
const QString& bigFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath("big.txt");
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        QByteArray block;
        for (int i = 0; block.size() < 1 << 20; ++i) {
            block += "line " + QByteArray::number(i) + ": the quick brown fox jumps over the lazy dog \x1b[32mgreen\x1b[0m "
                     "and \x1b[1mbold\x1b[0m text, 0123456789 abcdefghijklmnopqrstuvwxyz\n";
        }
        for (qint64 written = 0; written < 100LL * 1024 * 1024; written += block.size())
            f.write(block);
        return p;
    }();
    return path;
}

void CatThroughput(benchmark::State& state)
{
    ensureApp();
    const QString path = bigFile();
    const qint64 fileSize = QFile(path).size();

    for (auto _ : state) {
        QQuickWindow window;
        window.resize(7 * 120 + 15, 14 * 40);
        auto* view = new LocalProcessTerminalView(window.contentItem(), benchFont());
        view->setSize(window.size());
        window.show();
        bool done = false;
        QObject::connect(view, &LocalProcessTerminalView::processExited, [&](int) { done = true; });
        QElapsedTimer t;
        t.start();
        view->startProcess("/bin/cat", {path}, QStringList{"TERM=xterm-256color"});
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = t.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        state.counters["MB/s"] = double(fileSize) / (1024.0 * 1024.0) / seconds;
        state.counters["redraws/s"] = view->displayUpdateCount() / seconds;
        state.counters["paints"] = view->paintCount();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * fileSize);
}
BENCHMARK(CatThroughput)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// The same file fed to a shown view in 128 KiB chunks with the event loop (and so the coalesced
// redraws) running between chunks: the GUI thread's share of the road, without the pty.
void FeedThroughput(benchmark::State& state)
{
    ensureApp();
    QFile f(bigFile());
    f.open(QIODevice::ReadOnly);
    const QByteArray data = f.readAll();
    for (auto _ : state) {
        QQuickWindow window;
        window.resize(7 * 120 + 15, 14 * 40);
        auto* view = new TerminalView(window.contentItem(), benchFont());
        view->setSize(window.size());
        window.show();
        QElapsedTimer t;
        t.start();
        for (qsizetype off = 0; off < data.size(); off += LocalProcess::readSize) {
            view->feed(QByteArrayView(data).sliced(off, std::min<qsizetype>(LocalProcess::readSize, data.size() - off)).toByteArray());
            QCoreApplication::processEvents();
        }
        const double seconds = t.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        state.counters["MB/s"] = double(data.size()) / (1024.0 * 1024.0) / seconds;
        state.counters["redraws/s"] = view->displayUpdateCount() / seconds;
    }
}
BENCHMARK(FeedThroughput)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// The pseudo-terminal and LocalProcess alone, the engine left out: the ceiling of the road above.
void PtyReadOnly(benchmark::State& state)
{
    ensureApp();
    struct Sink : LocalProcessDelegate {
        size_t bytes = 0;
        bool done = false;
        void processTerminated(LocalProcess&, std::optional<int32_t>) override { done = true; }
        void dataReceived(std::span<const uint8_t> s) override { bytes += s.size(); }
        winsize getWindowSize() override { return makeWindowSize(40, 120, 0, 0); }
    };
    for (auto _ : state) {
        Sink sink;
        LocalProcess p(&sink);
        QElapsedTimer t;
        t.start();
        p.startProcess("/bin/cat", {bigFile()}, QStringList{});
        while (!sink.done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = t.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        state.counters["MB/s"] = double(sink.bytes) / (1024.0 * 1024.0) / seconds;
    }
}
BENCHMARK(PtyReadOnly)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void IdleCpu(benchmark::State& state)
{
    ensureApp();
    for (auto _ : state) {
        QQuickWindow window;
        window.resize(7 * 80 + 15, 14 * 24);
        auto* view = new LocalProcessTerminalView(window.contentItem(), benchFont());
        view->setSize(window.size());
        window.show();
        window.requestActivate();
        for (int i = 0; i < 50 && !window.isActive(); ++i)
            spin(10);
        view->forceActiveFocus();
        view->startProcess("/bin/sh", {}, QStringList{"TERM=xterm-256color", "PS1=$ "});
        spin(500);
        // Offscreen windows never become active; blink as a focused view in an active window would.
        if (!view->caretView()->isBlinking())
            view->caretView()->updateAnimation(true);
        const int paints = view->paintCount();
        const int updates = view->displayUpdateCount();
        benchview::measureIdle(state, 3000);
        state.counters["terminal_paints"] = view->paintCount() - paints;
        state.counters["display_updates"] = view->displayUpdateCount() - updates;
        state.counters["caret_blinking"] = view->caretView()->isBlinking() ? 1 : 0;
    }
}
BENCHMARK(IdleCpu)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Sixteen shells in one window, one of them focused: the idle cost of a full grid of panes.
void IdleCpu16(benchmark::State& state)
{
    ensureApp();
    for (auto _ : state) {
        malloc_trim(0);
        const size_t heapBefore = heapInUse();
        QQuickWindow window;
        window.resize(4 * (7 * 60 + 15), 4 * 14 * 15);
        std::vector<LocalProcessTerminalView*> views;
        for (int i = 0; i < 16; ++i) {
            auto* v = new LocalProcessTerminalView(window.contentItem(), benchFont());
            v->setPosition(QPointF((i % 4) * (7 * 60 + 15), (i / 4) * 14 * 15));
            v->setSize(QSizeF(7 * 60 + 15, 14 * 15));
            v->startProcess("/bin/sh", {}, QStringList{"TERM=xterm-256color", "PS1=$ "});
            views.push_back(v);
        }
        window.show();
        window.requestActivate();
        views[0]->forceActiveFocus();
        spin(800);
        int paints = 0;
        for (auto* v : views)
            paints += v->paintCount();
        benchview::measureIdle(state, 3000);
        int paintsAfter = 0;
        for (auto* v : views)
            paintsAfter += v->paintCount();
        state.counters["terminal_paints"] = paintsAfter - paints;
        state.counters["heap_MB"] = double(heapInUse() - heapBefore) / (1024.0 * 1024.0);
        state.counters["blinking_carets"] = std::count_if(views.begin(), views.end(),
                                                          [](auto* v) { return v->caretView()->isBlinking(); });
    }
}
BENCHMARK(IdleCpu16)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void Memory200x50(benchmark::State& state)
{
    ensureApp();
    for (auto _ : state) {
        QQuickWindow window;
        const QSize size(7 * 200 + 15, 14 * 50);
        window.resize(size);
        window.show();
        spin(100);
        malloc_trim(0);
        const size_t before = heapInUse();
        auto* view = new TerminalView(window.contentItem(), benchFont());
        view->setSize(size);
        QByteArray text;
        for (int i = 0; i < 600; ++i) {
            text += "\x1b[3" + QByteArray::number(i % 8) + "mrow " + QByteArray::number(i) + " ";
            text += QByteArray(180, char('a' + i % 26)) + "\x1b[0m\r\n";
        }
        view->feed(text);
        view->updateDisplay(false);
        window.grabWindow();
        spin(100);
        const size_t after = heapInUse();
        state.counters["MB"] = double(after - before) / (1024.0 * 1024.0);
        state.counters["lines"] = view->getTerminal().buffer().lines().count();
        delete view;
    }
}
BENCHMARK(Memory200x50)->Unit(benchmark::kMillisecond)->Iterations(1);

void DrawScreen(benchmark::State& state)
{
    ensureApp();
    const QSize size(7 * 200 + 15, 14 * 50);
    TerminalView view(nullptr, benchFont());
    view.setSize(size);
    QByteArray screen;
    // Tables and frames: light, heavy, double and rounded lines, with blocks and shades.
    const QByteArray pieces[] = {"┌───┬───┐", "│ a │ b │", "├───┼───┤", "┏━━━┳━━━┓", "╔═══╦═══╗",
                                 "║ c ║ d ║", "╰───┴───╯", "█▀▄▌▐░▒▓─"};
    // Characters the font lacks, drawn through Qt's fallback, 9 columns each: braille spinner
    // frames (2), and Hangul jamo L+V+T, a long arrow and an emoji (3: boxes, or glyphs wider than
    // their cells, fitted into them).
    const QByteArray fallbacks[] = {"⠋⠙⠹⠸⠼⠴⠦⠧⠇", "\u1100\u1161\u11a8⟿🚀abcd"};
    for (int row = 0; row < 50; ++row) {
        screen += "\x1b[" + QByteArray::number(row + 1) + ";1H\x1b[3" + QByteArray::number(row % 8) + "m";
        for (int col = 0; col + 9 <= 200; col += 9) {
            switch (state.range(0)) {
            case 0: screen += QByteArray("text ") + QByteArray::number(row % 10) + "abc"; break;
            case 1: screen += pieces[(row + col / 9) % 8]; break;
            default: screen += fallbacks[state.range(0) - 2]; break;
            }
        }
    }
    view.feed(screen);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        view.drawTerminalContents(&painter, QRectF(QPointF(0, 0), size), view.getTerminal().buffer().yDisp());
    }
    state.counters["cells/s"] = benchmark::Counter(200.0 * 50 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(DrawScreen)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

} // namespace
