// Whole-terminal throughput: generated streams fed through Terminal (parser, handlers, print
// path, buffers), no view. Targets on the reference machine: >= 150 MB/s for dense ASCII and
// scrolling ASCII lines, >= 80 MB/s for every escape-heavy stream.

#include "Terminal.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

using namespace termcore;

namespace {

constexpr size_t kStreamSize = 4u << 20;

class NullDelegate : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

std::string denseAscii()
{
    std::mt19937 rng(1);
    std::string s;
    s.reserve(kStreamSize);
    while (s.size() < kStreamSize)
        s.push_back(char(0x20 + rng() % 95));
    return s;
}

std::string asciiLines()
{
    std::mt19937 rng(2);
    std::string s;
    s.reserve(kStreamSize + 200);
    while (s.size() < kStreamSize) {
        const int len = 20 + int(rng() % 100);
        for (int i = 0; i < len; ++i)
            s.push_back(char(0x20 + rng() % 95));
        s += "\r\n";
    }
    return s;
}

std::string sgrHeavy()
{
    std::mt19937 rng(3);
    std::string s;
    s.reserve(kStreamSize + 200);
    const char* words[] = {"error", "warning:", "ok", "src/main.cpp", "42", "->", "build", "done"};
    while (s.size() < kStreamSize) {
        switch (rng() % 4) {
        case 0: s += "\x1b[" + std::to_string(30 + rng() % 8) + "m"; break;
        case 1: s += "\x1b[1;38;5;" + std::to_string(rng() % 256) + "m"; break;
        case 2: s += "\x1b[38;2;" + std::to_string(rng() % 256) + ";" + std::to_string(rng() % 256) + ";10;48;5;236m"; break;
        default: s += "\x1b[0m"; break;
        }
        s += words[rng() % 8];
        s += (rng() % 10 == 0) ? "\r\n" : " ";
    }
    return s;
}

std::string cursorHeavy()
{
    std::mt19937 rng(4);
    std::string s;
    s.reserve(kStreamSize + 200);
    while (s.size() < kStreamSize) {
        switch (rng() % 6) {
        case 0: s += "\x1b[" + std::to_string(1 + rng() % 40) + ";" + std::to_string(1 + rng() % 120) + "H"; break;
        case 1: s += "\x1b[" + std::to_string(1 + rng() % 5) + "A"; break;
        case 2: s += "\x1b[" + std::to_string(1 + rng() % 5) + "B"; break;
        case 3: s += "\x1b[" + std::to_string(1 + rng() % 9) + "C"; break;
        case 4: s += "\x1b[" + std::to_string(1 + rng() % 9) + "D"; break;
        default: s += "\x1b[" + std::to_string(1 + rng() % 120) + "G"; break;
        }
        s += "ab";
    }
    return s;
}

std::string editHeavy()
{
    std::mt19937 rng(5);
    std::string s;
    s.reserve(kStreamSize + 200);
    // The mix an editor or pager sends: mostly line-local erasing and character insert/delete,
    // regular line insert/delete, now and then a screen erase or a region scroll.
    const char* ops[] = {"K", "K", "K", "K", "K", "K", "1K", "2K", "X", "X", "@", "@", "P", "P",
                         "L", "L", "M", "M", "J", "S", "T"};
    constexpr size_t kOps = sizeof(ops) / sizeof(ops[0]);
    const char* words[] = {"int", "return value;", "// comment", "for (auto& x : xs)", "}", "std::string name"};
    while (s.size() < kStreamSize) {
        s += "\x1b[" + std::to_string(1 + rng() % 40) + ";" + std::to_string(1 + rng() % 120) + "H";
        s += "\x1b[";
        s += std::to_string(1 + rng() % 3);
        s += ops[rng() % kOps];
        s += words[rng() % 6];
    }
    return s;
}

std::string utf8Wide()
{
    std::mt19937 rng(6);
    const char* pieces[] = {"\xE4\xB8\xAD", "\xE6\x96\x87", "\xF0\x9F\x98\x80", "\xC3\xA9", "e\xCC\x81", "\xE2\x94\x80",
                            "\xD0\x96", "a", " ", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"};
    std::string s;
    s.reserve(kStreamSize + 200);
    while (s.size() < kStreamSize) {
        s += pieces[rng() % 10];
        if (rng() % 60 == 0)
            s += "\r\n";
    }
    return s;
}

void feedStream(benchmark::State& state, const std::string& stream)
{
    NullDelegate delegate;
    TerminalOptions options;
    options.cols = 120;
    options.rows = 40;
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

void BM_DenseAscii(benchmark::State& state) { static const std::string s = denseAscii(); feedStream(state, s); }
void BM_AsciiLines(benchmark::State& state) { static const std::string s = asciiLines(); feedStream(state, s); }
void BM_SgrHeavy(benchmark::State& state) { static const std::string s = sgrHeavy(); feedStream(state, s); }
void BM_CursorHeavy(benchmark::State& state) { static const std::string s = cursorHeavy(); feedStream(state, s); }
void BM_EditHeavy(benchmark::State& state) { static const std::string s = editHeavy(); feedStream(state, s); }
void BM_Utf8Wide(benchmark::State& state) { static const std::string s = utf8Wide(); feedStream(state, s); }

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

} // namespace

BENCHMARK(BM_ResizeLargeScrollback)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DenseAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsciiLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SgrHeavy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorHeavy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditHeavy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8Wide)->Unit(benchmark::kMillisecond);
