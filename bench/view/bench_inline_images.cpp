// Inline images (OSC 1337 File=) as a program prints them to a shown terminal view:
//  - the longest stretch the GUI thread goes without turning its event loop while the view takes
//    them ("stall_ms": typing and drawing wait that long; target < 200 ms, i.e. none of note),
//  - the time until the last image is placed and the text after it is on the screen (the
//    iteration's time).
// Cases: 0 = twenty 1 x 1 PNGs each asked to be drawn at 4095 x 4095 pixels (a 3 KB file);
// 1 = ten 5600 x 5600 PNGs at their own size (1.6 MB); 2 = one 8000 x 4000 JPEG at its own size.
// Run a Release or RelWithDebInfo build: build/bench/bench_inline_images (offscreen by default).
#include "BenchViewSupport.h"
#include "TerminalView.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QQuickWindow>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, format == QByteArrayLiteral("JPG") ? 85 : -1);
    return bytes;
}

QByteArray osc(const QByteArray& args, const QByteArray& file)
{
    return "\x1b]1337;File=inline=1;" + args + ":" + file.toBase64() + "\x07";
}

QByteArray output(int which)
{
    QByteArray out;
    if (which == 0) {
        QImage dot(1, 1, QImage::Format_RGB32);
        dot.fill(Qt::blue);
        const QByteArray file = encoded(dot, "PNG");
        for (int i = 0; i < 20; ++i)
            out += osc("width=4095px;height=4095px", file);
    } else if (which == 1) {
        QImage big(5600, 5600, QImage::Format_RGB32);
        big.fill(Qt::darkGreen);
        QPainter(&big).fillRect(0, 0, 2800, 2800, Qt::yellow);
        const QByteArray file = encoded(big, "PNG");
        for (int i = 0; i < 10; ++i)
            out += osc("size=" + QByteArray::number(file.size()), file);
    } else {
        QImage photo(8000, 4000, QImage::Format_RGB32);
        QPainter p(&photo);
        QLinearGradient g(0, 0, 8000, 4000);
        g.setColorAt(0, Qt::red);
        g.setColorAt(1, Qt::cyan);
        p.fillRect(photo.rect(), g);
        p.end();
        out += osc("size=" + QByteArray::number(photo.sizeInBytes()), encoded(photo, "JPG"));
    }
    return out + "done\r\n";
}

void InlineImages(benchmark::State& state)
{
    benchview::ensureGuiApp("bench_inline_images");
    const QByteArray bytes = output(int(state.range(0)));
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(12);
    for (auto _ : state) {
        QQuickWindow window;
        auto* view = new TerminalView(window.contentItem(), font);
        window.resize(1000, 700);
        view->setSize(QSizeF(1000, 700));
        window.show();
        benchview::spin(200);

        // A precise timer ticks every 2 ms; the longest gap between ticks is the stall.
        QElapsedTimer since;
        qint64 longest = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(2);
        QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, since.restart()); });
        QElapsedTimer total;
        total.start();
        since.start();
        tick.start();
        view->feed(bytes);
        longest = std::max(longest, since.elapsed());
        auto& buf = view->getTerminal().buffer();
        auto done = [&] {
            const auto& line = buf.lines()[buf.yBase() + buf.y() - 1];
            return !view->outputHeld() && line.count() > 3 && line[0].code == 'd' && line[3].code == 'e';
        };
        while (!done())
            benchview::spin(5);
        tick.stop();
        state.SetIterationTime(total.nsecsElapsed() / 1e9);
        state.counters["stall_ms"] = double(longest);
    }
}
BENCHMARK(InlineImages)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
