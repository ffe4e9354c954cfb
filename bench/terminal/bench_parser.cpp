// The escape-sequence parser alone, with handlers that do almost nothing, over large generated
// streams fed in the 128 KiB chunks a pseudo-terminal read delivers.
// Targets on a current desktop: >= 1 GB/s for plain ASCII, >= 400 MB/s for escape-heavy text.

#include "EscapeSequenceParser.h"
#include "SixelDcsHandler.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

using namespace termcore;

namespace {

constexpr size_t kStreamSize = 8u << 20;
constexpr size_t kChunk = 128u << 10;

struct Sink {
    uint64_t printed = 0;
    uint64_t controls = 0;
    uint64_t sequences = 0;
    int64_t paramSum = 0;
    uint64_t resets = 0;
};

void install(EscapeSequenceParser& parser, Sink& sink)
{
    parser.printHandler = [&sink](ByteSpan run) { sink.printed += run.size(); };
    parser.printStateReset = [&sink] { ++sink.resets; };
    for (uint8_t c : { 0x07, 0x08, 0x09, 0x0A, 0x0D })
        parser.executeHandlers[c] = [&sink] { ++sink.controls; };
    for (uint8_t f : { 'm', 'H', 'A', 'B', 'C', 'D', 'J', 'K', 'h', 'l', 'f', 'G', 'd' }) {
        parser.csiHandlers[f] = [&sink](ParamSpan pars, ByteSpan) {
            ++sink.sequences;
            for (int64_t p : pars)
                sink.paramSum += p;
        };
    }
    parser.oscHandlers[0] = [&sink](ByteSpan d) { sink.printed += d.size(); };
}

std::string fill(const std::string& unit)
{
    std::string s;
    s.reserve(kStreamSize + unit.size());
    while (s.size() < kStreamSize)
        s += unit;
    return s;
}

std::string denseAscii()
{
    std::string s(kStreamSize, ' ');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = char(0x21 + (i * 7) % 94);
    return s;
}

std::string asciiLines()
{
    std::mt19937 rng(1);
    std::string s;
    s.reserve(kStreamSize + 200);
    while (s.size() < kStreamSize) {
        const int len = 20 + int(rng() % 100);
        for (int k = 0; k < len; ++k)
            s += char(0x20 + rng() % 95);
        s += "\r\n";
    }
    return s;
}

std::string sgrHeavy()
{
    // Coloured output of ls / compilers / prompts: a short word per rendition change.
    return fill("\x1b[1;31merror\x1b[0m: \x1b[38;5;208mwarn\x1b[0m \x1b[38;2;10;200;30mtrue\x1b[m "
                "\x1b[4munder\x1b[24m \x1b[7mrev\x1b[27m\r\n");
}

std::string cursorHeavy()
{
    // Full-screen programs repainting: positioned short writes and erases.
    std::string unit;
    for (int row = 1; row <= 24; ++row) {
        unit += "\x1b[" + std::to_string(row) + ";" + std::to_string(1 + row * 3 % 70) + "H";
        unit += "cell";
        unit += "\x1b[K\x1b[2C\x1b[1A\x1b[B";
    }
    unit += "\x1b[H\x1b[2J";
    return fill(unit);
}

std::string utf8Wide()
{
    return fill("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x86\xe3\x82\xad\xe3\x82\xb9\xe3\x83\x88 "
                "\xf0\x9f\x98\x80\xf0\x9f\x9a\x80 caf\xc3\xa9 \xed\x95\x9c\xea\xb5\xad\xec\x96\xb4\r\n");
}

void run(benchmark::State& state, const std::string& stream)
{
    EscapeSequenceParser parser;
    Sink sink;
    install(parser, sink);
    const auto* data = reinterpret_cast<const uint8_t*>(stream.data());
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += kChunk) {
            const size_t n = std::min(kChunk, stream.size() - at);
            parser.parse(ByteSpan(data + at, n));
        }
        benchmark::DoNotOptimize(sink.printed);
        benchmark::DoNotOptimize(sink.paramSum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}

void BM_DenseAscii(benchmark::State& state)
{
    static const std::string s = denseAscii();
    run(state, s);
}
void BM_AsciiLines(benchmark::State& state)
{
    static const std::string s = asciiLines();
    run(state, s);
}
void BM_SgrHeavy(benchmark::State& state)
{
    static const std::string s = sgrHeavy();
    run(state, s);
}
void BM_CursorMotionHeavy(benchmark::State& state)
{
    static const std::string s = cursorHeavy();
    run(state, s);
}
void BM_Utf8Wide(benchmark::State& state)
{
    static const std::string s = utf8Wide();
    run(state, s);
}

// A 640 x 480 sixel image in 16 colours, decoded through the parser.
void BM_SixelImage(benchmark::State& state)
{
    std::string data = "\x1bPq\"1;1;640;480";
    for (int c = 0; c < 16; ++c)
        data += "#" + std::to_string(c) + ";2;" + std::to_string(c * 6) + ";50;" + std::to_string(100 - c * 6);
    for (int band = 0; band < 80; ++band) {
        for (int c = 0; c < 16; ++c) {
            data += "#" + std::to_string(c);
            for (int x = 0; x < 640; x += 40)
                data += "!20" + std::string(1, char('?' + ((band + c + x) % 64))) + "!20?";
            data += "$";
        }
        data += "-";
    }
    data += "\x1b\\";
    const std::vector<Color> colors = Color::setupDefaultAnsiColors(Color::defaultInstalledColors());
    size_t pixels = 0;
    EscapeSequenceParser parser;
    parser.setDcsHandler("q", std::make_shared<SixelDcsHandler>(
        [&colors] { return std::span<const Color>(colors); },
        [&pixels](std::vector<uint8_t>& rgba, int, int) { pixels += rgba.size() / 4; }));
    for (auto _ : state)
        parser.parse(data);
    benchmark::DoNotOptimize(pixels);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["images/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_SixelImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DenseAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsciiLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SgrHeavy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorMotionHeavy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8Wide)->Unit(benchmark::kMillisecond);
