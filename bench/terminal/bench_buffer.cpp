// Cell writes through Buffer::insertCharacter with a trivial print loop, as the interpreter's
// print path drives them: one CharData per character, wrapping at the right edge and scrolling
// into a full scrollback ring (rows recycled, not reallocated).
//
// The "allocs/cell" counter counts heap allocations made while writing; it must stay 0.
#include "Buffer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

namespace {
std::atomic<long long> g_allocations{0};
}

void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace termcore;

namespace {
struct Screen {
    Buffer buffer;
    explicit Screen(int cols, int rows, int scrollback) : buffer(cols, rows, 8, scrollback)
    {
        buffer.fillViewportRows();
        buffer.wraparound = true;
        // Scroll the whole screen up by one row: append while the ring has room, then recycle
        // the oldest row, as the interpreter does.
        buffer.scroll = [this](bool isWrapped) {
            auto& lines = buffer.lines();
            if (lines.isFull()) {
                lines.recycle();
                auto& last = lines[lines.count() - 1];
                last.isWrapped = isWrapped;
            } else {
                lines.push(buffer.getBlankLine(Attribute(), isWrapped));
                buffer.setYBase(buffer.yBase() + 1);
                buffer.setYDisp(buffer.yBase());
            }
        };
    }
};

struct Glyph {
    char32_t rune;
    int8_t width;
    int utf8Bytes;
};

std::vector<Glyph> denseAscii(size_t n)
{
    std::vector<Glyph> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i)
        out.push_back({char32_t(0x21 + i % 94), 1, 1});
    return out;
}

std::vector<Glyph> wideText(size_t n)
{
    std::mt19937 rng(7);
    std::vector<Glyph> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (i % 4 == 3)
            out.push_back({char32_t('a' + rng() % 26), 1, 1}); // some narrow text between CJK
        else
            out.push_back({char32_t(0x4E00 + rng() % 0x5000), 2, 3});
    }
    return out;
}

void runWrites(benchmark::State& state, const std::vector<Glyph>& text, bool insertMode)
{
    Screen screen(int(state.range(0)), 50, 10000);
    screen.buffer.insertMode = insertMode;
    const Attribute attr(Attribute::Color::ansi256(2), Attribute::Color::defaultColor(), CharacterStyle::bold);
    long long bytes = 0;
    for (const auto& g : text)
        bytes += g.utf8Bytes;
    // Warm up: fill the ring so that steady state recycles rows.
    for (int i = 0; i < 3; ++i)
        for (const auto& g : text)
            screen.buffer.insertCharacter(CharData(attr, g.rune, g.width));
    const long long allocsBefore = g_allocations.load();
    for (auto _ : state) {
        Buffer& b = screen.buffer;
        for (const auto& g : text)
            b.insertCharacter(CharData(attr, g.rune, g.width));
        benchmark::ClobberMemory();
    }
    const long long cells = (long long)state.iterations() * (long long)text.size();
    state.SetItemsProcessed(cells);
    state.SetBytesProcessed((long long)state.iterations() * bytes);
    state.counters["allocs/cell"] = double(g_allocations.load() - allocsBefore) / double(cells ? cells : 1);
}

void BM_InsertCharacter_DenseAscii(benchmark::State& state)
{
    static const auto text = denseAscii(1 << 20);
    runWrites(state, text, false);
}

void BM_InsertCharacter_WideCjk(benchmark::State& state)
{
    static const auto text = wideText(1 << 20);
    runWrites(state, text, false);
}

void BM_InsertCharacter_InsertMode(benchmark::State& state)
{
    static const auto text = denseAscii(1 << 18);
    runWrites(state, text, true);
}
void printLines(Screen& screen, int count, int maxLength)
{
    Buffer& b = screen.buffer;
    std::mt19937 rng(3);
    for (int i = 0; i < count; ++i) {
        const int len = int(rng() % maxLength);
        for (int c = 0; c < len; ++c)
            b.insertCharacter(CharData(Attribute(), char32_t('a' + (i + c) % 26), 1));
        b.setX(0);
        if (b.y() == b.scrollBottom())
            b.scroll(false);
        else
            b.setY(b.y() + 1);
    }
}

// A terminal with 100,000 lines of scrollback capacity but little content: a resize must cost
// what the content costs, not what the capacity costs.
void BM_Resize_LargeCapacityLittleContent(benchmark::State& state)
{
    Screen screen(80, 24, 100000);
    printLines(screen, 200, 160);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        screen.buffer.resize(flip ? 132 : 80, flip ? 50 : 24);
    }
}

// A window drag: 200 size changes over a buffer holding `range(0)` lines of mixed length.
void BM_Resize_Storm200(benchmark::State& state)
{
    std::mt19937 rng(11);
    for (auto _ : state) {
        state.PauseTiming();
        auto screen = std::make_unique<Screen>(80, 24, 100000);
        printLines(*screen, int(state.range(0)), 200);
        state.ResumeTiming();
        for (int i = 0; i < 200; ++i)
            screen->buffer.resize(40 + int(rng() % 160), 10 + int(rng() % 60));
        state.PauseTiming();
        screen.reset();
        state.ResumeTiming();
    }
}
} // namespace

BENCHMARK(BM_Resize_LargeCapacityLittleContent)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Resize_Storm200)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertCharacter_DenseAscii)->Arg(80)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertCharacter_WideCjk)->Arg(80)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertCharacter_InsertMode)->Arg(80)->Unit(benchmark::kMillisecond);
