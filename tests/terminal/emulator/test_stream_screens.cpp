// The benchmark streams pin the engine's behaviour: each one leaves a screen (every row of
// scrollback and screen, every cell's character, width and rendition, the cursor and the
// viewport) whose hash was recorded from the engine before its fast paths were reworked. A
// speed-up that changes any cell changes the hash. The streams go in twice, in the read size
// of the pseudo-terminal reader and in small odd pieces that split sequences.
#include "support/EmulatorTestSupport.h"

#include "TerminalStreams.h"

#include <gtest/gtest.h>

#include <map>

using namespace termcore;

namespace {

constexpr size_t kStreamBytes = 1u << 20;

struct Hasher {
    uint64_t h = 14695981039346656037ULL; // FNV-1a
    void add(uint64_t v)
    {
        for (int i = 0; i < 8; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ULL;
        }
    }
    void add(const Attribute::Color& c) { add(uint64_t(c.kind()) << 32 | c.code() << 24 | c.red() << 16 | c.green() << 8 | c.blue()); }
};

// Characters are hashed as text (clusters resolved), so the order in which a process interns
// clusters does not matter.
uint64_t screenHash(Terminal& t)
{
    Hasher h;
    for (Buffer* b : {&t.normalBuffer(), &t.altBuffer()}) {
        h.add(uint64_t(b->x()) << 32 | uint32_t(b->y()));
        h.add(uint64_t(b->yBase()) << 32 | uint32_t(b->yDisp()));
        h.add(uint64_t(b->scrollTop()) << 32 | uint32_t(b->scrollBottom()));
        auto& lines = b->lines();
        h.add(uint64_t(lines.count()));
        for (int i = 0; i < lines.count(); ++i) {
            const BufferLine& line = lines[i];
            // The row as it reads: a lazily widened row stores fewer cells than it has.
            h.add(uint64_t(line.readWidth()) << 8 | (line.isWrapped ? 1 : 0));
            for (int c = 0; c < line.readWidth(); ++c) {
                const CharData& cell = line[c];
                for (char32_t ch : cell.getCharacter())
                    h.add(ch);
                h.add(uint64_t(uint8_t(cell.width)) << 16 | cell.attribute.style.rawValue << 8 | cell.payload.code);
                h.add(cell.attribute.fg);
                h.add(cell.attribute.bg);
            }
        }
    }
    h.add(t.currentAttribute().fg);
    h.add(t.currentAttribute().bg);
    h.add(t.currentAttribute().style.rawValue);
    return h.h;
}

uint64_t feedAndHash(const std::string& stream, size_t chunk)
{
    TerminalOptions options = termcore::testing::sizedOptions(80, 24);
    options.scrollback = 1000;
    Terminal t(nullptr, options);
    for (size_t at = 0; at < stream.size(); at += chunk)
        t.feed(std::string_view(stream).substr(at, chunk));
    return screenHash(t);
}

} // namespace

TEST(StreamScreens, EveryBenchmarkStreamLeavesTheRecordedScreen)
{
    const std::map<std::string, uint64_t> expected = {
        {"DenseAscii", 0x7d480e976e5166baULL},   {"AsciiLines", 0xd748759a8c007c9aULL},
        {"SgrDense", 0x0a8318363ff8a536ULL},     {"CursorMotion", 0x8fd8d32c123a33edULL},
        {"EraseHeavy", 0x55c8fbb0dff68a0cULL},   {"ScrollRegion", 0x206785edc9ab5acfULL},
        {"WideUnicode", 0xb0f444c905286352ULL},
    };
    for (const auto& stream : benchstreams::all()) {
        const std::string bytes = stream.generate(kStreamBytes);
        const uint64_t whole = feedAndHash(bytes, 128u << 10);
        EXPECT_EQ(whole, expected.at(stream.name)) << stream.name;
        EXPECT_EQ(feedAndHash(bytes, 4093), whole) << stream.name << " fed in small pieces";
    }
}

// Resizes rewrap the whole history: widening joins wrapped rows, narrowing splits them.
TEST(StreamScreens, ResizingAHistoryLeavesTheRecordedScreens)
{
    TerminalOptions options = termcore::testing::sizedOptions(80, 24);
    options.scrollback = 5000;
    Terminal t(nullptr, options);
    t.feed(benchstreams::historyLines(3000));
    t.feed(std::string_view("\x1b[1;31mred\x1b[0m prompt $ "));
    const std::vector<std::pair<int, int>> sizes = {{132, 50}, {57, 20}, {80, 24}, {200, 10}, {23, 60}, {80, 24}};
    const std::vector<uint64_t> expected = {0x20e443118b5df62fULL, 0x8a9bd81f232252d6ULL, 0x0deade2fbe74b364ULL,
                                            0xdd6dad883445fcd1ULL, 0xa5b963eef25ca180ULL, 0x3055f24a42d81e8cULL};
    for (size_t i = 0; i < sizes.size(); ++i) {
        t.resize(sizes[i].first, sizes[i].second);
        const uint64_t hash = screenHash(t);
        EXPECT_EQ(hash, expected[i]) << sizes[i].first << "x" << sizes[i].second;
    }
}
