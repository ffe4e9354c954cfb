// Hostile output against the engine's bounds: time per run, and resident memory (in counters)
// before, at the peak and after the terminals are gone. Run: build/bench/bench_hostile

#include "CharData.h"
#include "Terminal.h"
#include "TerminalDelegate.h"
#include "TerminalImage.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace termcore;

namespace {

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

TerminalOptions options()
{
    TerminalOptions o;
    o.cols = 80;
    o.rows = 25;
    return o;
}

// "a" and 32,000 combining acute accents, fed in 4 KiB pieces as a pty delivers them.
void BM_CombiningFlood(benchmark::State& state)
{
    std::string flood = "a";
    for (int i = 0; i < 32000; i++)
        flood += "\xCC\x81";
    const double start = residentMiB();
    for (auto _ : state) {
        Terminal t(nullptr, options());
        for (size_t at = 0; at < flood.size(); at += 4096)
            t.feed(std::string_view(flood).substr(at, 4096));
        benchmark::DoNotOptimize(t.getCharData(0, 0));
    }
    state.counters["rss_growth_MiB"] = residentMiB() - start;
}
BENCHMARK(BM_CombiningFlood)->Unit(benchmark::kMillisecond);

// 200 OSC 8 links with 1 MiB addresses: ignored over the bound, nothing pinned afterwards.
void BM_HugeLinks(benchmark::State& state)
{
    const std::string link = "\x1b]8;;https://example.com/" + std::string(1 << 20, 'x') + "\x07" "link\x1b]8;;\x07\r\n";
    const double start = residentMiB();
    double peak = start;
    for (auto _ : state) {
        auto t = std::make_unique<Terminal>(nullptr, options());
        for (int i = 0; i < 200; i++)
            t->feed(link);
        peak = std::max(peak, residentMiB());
    }
    state.counters["rss_start_MiB"] = start;
    state.counters["rss_peak_MiB"] = peak;
    state.counters["rss_after_MiB"] = residentMiB();
}
BENCHMARK(BM_HugeLinks)->Unit(benchmark::kMillisecond)->Iterations(1);

// 200 links of 8 KiB (the largest kept) in one terminal, which then closes.
void BM_LargestLinks(benchmark::State& state)
{
    std::string links;
    for (int i = 0; i < 200; i++)
        links += "\x1b]8;;https://example.com/" + std::to_string(i) + std::string(8000, 'x') + "\x07" "link\x1b]8;;\x07\r\n";
    const double start = residentMiB();
    double peak = start;
    for (auto _ : state) {
        auto t = std::make_unique<Terminal>(nullptr, options());
        t->feed(links);
        peak = std::max(peak, residentMiB());
    }
    state.counters["rss_start_MiB"] = start;
    state.counters["rss_peak_MiB"] = peak;
    state.counters["rss_after_MiB"] = residentMiB();
    state.counters["payloads_left"] = double(TinyAtom::map().size());
}
BENCHMARK(BM_LargestLinks)->Unit(benchmark::kMillisecond)->Iterations(1);

// 500,000 distinct base-plus-mark clusters through ten terminals in turn, all closed at the end.
void BM_DistinctClusters(benchmark::State& state)
{
    std::string text;
    for (char32_t i = 0; i < 500000; i++) {
        appendUtf8(text, 0x4E00 + i % 20000);
        appendUtf8(text, 0x0300 + i / 20000);
    }
    const double start = residentMiB();
    double peak = start;
    for (auto _ : state) {
        std::vector<std::unique_ptr<Terminal>> panes;
        for (int p = 0; p < 10; p++) {
            panes.push_back(std::make_unique<Terminal>(nullptr, options()));
            panes.back()->feed(std::string_view(text).substr(text.size() / 10 * size_t(p), text.size() / 10));
        }
        peak = std::max(peak, residentMiB());
        state.counters["clusters_while_open"] = double(CharData::indexToCharMap().size());
    }
    state.counters["rss_start_MiB"] = start;
    state.counters["rss_peak_MiB"] = peak;
    state.counters["rss_after_MiB"] = residentMiB();
    state.counters["clusters_left"] = double(CharData::indexToCharMap().size());
}
BENCHMARK(BM_DistinctClusters)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_HugeResize(benchmark::State& state)
{
    for (auto _ : state) {
        Terminal t(nullptr, options());
        t.resize(65535, 65535);
        benchmark::DoNotOptimize(t.cols());
    }
}
BENCHMARK(BM_HugeResize)->Unit(benchmark::kMillisecond);

// Images placed as the view places them: cut into stripes one row (16 pixels) high, each holding
// its pixels, the cursor ending below the image in its column. A sixel wider than the screen
// (8 pixels a column) is shown at the screen's width, its height in proportion.
struct BenchStripe : TerminalImage {
    static inline int live = 0;
    int c, n;
    std::vector<uint8_t> px;
    BenchStripe(int col, int columns, size_t bytes) : c(col), n(columns), px(bytes, 1) { ++live; }
    ~BenchStripe() override { --live; }
    int pixelWidth() const override { return n * 8; }
    int pixelHeight() const override { return 16; }
    int col() const override { return c; }
    void setCol(int v) override { c = v; }
    int columns() const override { return n; }
    size_t byteSize() const override { return px.size(); }
    void releasePixels() override { px = {}; }
};

struct ImagePlacer : TerminalDelegate {
    void send(Terminal&, std::span<const uint8_t>) override {}
    void place(Terminal& t, int widthPx, int heightPx)
    {
        const int columns = std::max(1, int(std::ceil(widthPx / 8.0)));
        Buffer& b = t.buffer();
        const int x = b.x();
        for (int k = 0; k < int(std::ceil(heightPx / 16.0)); k++) {
            t.placeImage(std::make_shared<BenchStripe>(x, columns, size_t(widthPx) * 16 * 4));
            t.cmdLineFeedBasic();
            b.setX(x);
        }
    }
    void createImage(Terminal& t, const std::vector<uint8_t>&, ImageSizeRequest w, ImageSizeRequest h, bool) override
    {
        place(t, w.kind == ImageSizeRequest::Kind::cells ? w.value * 8 : 8, h.kind == ImageSizeRequest::Kind::cells ? h.value * 16 : 16);
    }
    void createImageFromBitmap(Terminal& t, std::vector<uint8_t>&, int w, int h) override
    {
        const int screen = t.cols() * 8;
        place(t, std::min(w, screen), w > screen ? int(double(h) * screen / w) : h);
        images++;
    }
    int images = 0;
};

// Feeds `input` to a 200 x 50 terminal that places images, reporting the time, the resident
// memory it added, and the stripes still held at the end.
void runImages(benchmark::State& state, const std::string& input)
{
    const double start = residentMiB();
    double peak = start;
    for (auto _ : state) {
        ImagePlacer placer;
        TerminalOptions o;
        o.cols = 200;
        o.rows = 50;
        Terminal t(&placer, o);
        for (size_t at = 0; at < input.size(); at += 65536)
            t.feed(std::string_view(input).substr(at, 65536));
        peak = std::max(peak, residentMiB());
        state.counters["stripes_held"] = double(BenchStripe::live);
        state.counters["images"] = double(placer.images);
        t.setDelegate(nullptr);
    }
    state.counters["rss_growth_MiB"] = peak - start;
    state.counters["input_KiB"] = double(input.size()) / 1024;
}

// 20,000 times: cursor home and an inline 1 x 1 image 199 cells wide (a 67-byte PNG).
void BM_RepeatedImage(benchmark::State& state)
{
    const std::string png = "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==";
    std::string input;
    for (int i = 0; i < 20000; i++)
        input += "\x1b[H\x1b]1337;File=inline=1;width=199;height=1:" + png + "\x07";
    runImages(state, input);
}
BENCHMARK(BM_RepeatedImage)->Unit(benchmark::kMillisecond)->Iterations(1);

// One sixel band painted 200,000 times over (1.4 MB).
void BM_SixelBand(benchmark::State& state)
{
    std::string input = "\x1bPq#0;2;100;0;0#0";
    for (int i = 0; i < 200000; i++)
        input += "!4096~$";
    runImages(state, input + "\x1b\\");
}
BENCHMARK(BM_SixelBand)->Unit(benchmark::kMillisecond)->Iterations(1);

// 50 sixels of 4096 x 4096 at one spot (240 KB).
void BM_SixelStack(benchmark::State& state)
{
    std::string image = "\x1b[H\x1bPq#0;2;0;0;100#0";
    for (int i = 0; i < 682; i++)
        image += "!4096~-";
    image += "!4096N\x1b\\";
    std::string input;
    for (int i = 0; i < 50; i++)
        input += image;
    runImages(state, input);
}
BENCHMARK(BM_SixelStack)->Unit(benchmark::kMillisecond)->Iterations(1);

// One-cell OSC 8 links, each to its own address, `perLine` to a line, fed in 64 KiB pieces into
// a 210 x 50 terminal with 500 lines of scrollback. At 139 a line the screen and scrollback hold
// more linked cells than there are link codes, so codes must be won back from cells that still
// hold them. Args: links (thousands), links per line.
void BM_ManyLinks(benchmark::State& state)
{
    const int links = int(state.range(0)) * 1000;
    const int perLine = int(state.range(1));
    std::string input;
    for (int i = 0; i < links; i++) {
        input += "\x1b]8;;https://example.com/" + std::to_string(i) + "\x07x\x1b]8;;\x07";
        if ((i + 1) % perLine == 0 && i + 1 < links)
            input += "\r\n";
    }
    for (auto _ : state) {
        TerminalOptions o;
        o.cols = 210;
        o.rows = 50;
        o.scrollback = 500;
        Terminal t(nullptr, o);
        for (size_t at = 0; at < input.size(); at += 65536)
            t.feed(std::string_view(input).substr(at, 65536));
        // The last link printed leads to its own address.
        const CharData last = t.buffer().lines()[t.buffer().yBase() + t.buffer().y()][t.buffer().x() - 1];
        const std::any* payload = last.getPayload();
        state.counters["last_link_right"] =
            payload && *std::any_cast<std::string>(payload) == ";https://example.com/" + std::to_string(links - 1);
    }
    state.counters["input_MiB"] = double(input.size()) / (1 << 20);
}
BENCHMARK(BM_ManyLinks)->Unit(benchmark::kMillisecond)->Iterations(1)->Args({400, 139})->Args({1000, 139})->Args({1000, 1});

// A title the way a window keeps one: the delegate holds a copy of the last title it was given.
struct TitleKeeper : TerminalDelegate {
    void send(Terminal&, std::span<const uint8_t>) override {}
    void setTerminalTitle(Terminal&, const std::string& t) override { title = t; }
    void setTerminalIconTitle(Terminal&, const std::string& t) override { icon = t; }
    std::string title, icon;
};

// An 8 MB title (OSC 0), then 10,000 pushes of both titles (CSI 22 ; 0 t, 70 KB), fed in 64 KiB
// pieces: the time, and the resident memory the live terminal and its delegate added.
void BM_TitlePushes(benchmark::State& state)
{
    std::string input = "\x1b]0;" + std::string(8000000, 't') + "\x07";
    for (int i = 0; i < 10000; i++)
        input += "\x1b[22;0t";
    const double start = residentMiB();
    double peak = start;
    for (auto _ : state) {
        TitleKeeper keeper;
        Terminal t(&keeper, options());
        for (size_t at = 0; at < input.size(); at += 65536)
            t.feed(std::string_view(input).substr(at, 65536));
        peak = std::max(peak, residentMiB());
        t.setDelegate(nullptr);
    }
    state.counters["rss_growth_MiB"] = peak - start;
}
BENCHMARK(BM_TitlePushes)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
