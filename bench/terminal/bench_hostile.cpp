// Hostile output against the engine's bounds: time per run, and resident memory (in counters)
// before, at the peak and after the terminals are gone. Run: build/bench/bench_hostile

#include "CharData.h"
#include "Terminal.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

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

} // namespace
