// Whole-terminal throughput: the generated streams of TerminalStreams.h fed through Terminal
// (parser, handlers, print path, buffers), no view, at 80 x 24 and 120 x 40. Targets on the
// reference machine: >= 200 MB/s for every stream at 80 x 24; a resize with reflow of 10,000
// lines of history within 4 ms and of 100,000 lines within 40 ms.

#include "Terminal.h"
#include "TerminalStreams.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>

using namespace termcore;

namespace {

constexpr size_t kStreamSize = 8u << 20;

class NullDelegate : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

void feedStream(benchmark::State& state, const std::string& stream)
{
    NullDelegate delegate;
    TerminalOptions options;
    options.cols = int(state.range(0));
    options.rows = int(state.range(1));
    options.scrollback = 1000;
    Terminal terminal(&delegate, options);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    constexpr size_t kChunk = 131072; // what the pseudo-terminal reader hands over at a time
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += kChunk)
            terminal.feed(bytes.subspan(at, std::min(kChunk, bytes.size() - at)));
        terminal.clearUpdateRange();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}

void BM_Stream(benchmark::State& state, std::string (*generate)(size_t))
{
    static std::map<std::string (*)(size_t), std::string> cache;
    auto it = cache.find(generate);
    if (it == cache.end())
        it = cache.emplace(generate, generate(kStreamSize)).first;
    feedStream(state, it->second);
}

// A window drag over a terminal with a large scrollback capacity but a screenful of content:
// every size change goes through Terminal::resize (both screens, tab stops, dirty rows).
void BM_ResizeLargeScrollback(benchmark::State& state)
{
    NullDelegate delegate;
    TerminalOptions options;
    options.scrollback = 100000;
    Terminal terminal(&delegate, options);
    terminal.feed(std::string_view("$ ls -l\r\ntotal 0\r\n-rw-r--r-- 1 user user 0 file\r\n$ "));
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        terminal.resize(flip ? 132 : 80, flip ? 50 : 24);
    }
}

// One resize of a terminal whose scrollback holds range(0) lines of mixed length, alternately
// widening and narrowing it, so that every step rewraps the whole history.
void BM_ResizeReflow(benchmark::State& state)
{
    NullDelegate delegate;
    TerminalOptions options;
    options.cols = 80;
    options.rows = 24;
    options.scrollback = int(state.range(0)) + 1000;
    Terminal terminal(&delegate, options);
    terminal.feed(benchstreams::historyLines(int(state.range(0))));
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        terminal.resize(flip ? 132 : 80, flip ? 50 : 24);
    }
}

int registerStreams()
{
    for (const auto& stream : benchstreams::all()) {
        benchmark::RegisterBenchmark(("BM_" + std::string(stream.name)).c_str(), BM_Stream, stream.generate)
            ->Args({80, 24})
            ->Args({120, 40})
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}
const int registered = registerStreams();

} // namespace

BENCHMARK(BM_ResizeLargeScrollback)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResizeReflow)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
