// The line diff of large edits must finish well under a second in bounded memory (the exact table
// only under its cell budget), and sidecar output must decode far faster than any agent writes it.

#include "SidecarProtocol.h"
#include "ToolSummaries.h"

#include <benchmark/benchmark.h>

#include <functional>

#include <sys/resource.h>

using namespace brinmoor;

namespace {

QString lines(int count, const std::function<QString(int)>& line)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << line(i);
    return out.join('\n');
}

void peakMemory(benchmark::State& state)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = double(usage.ru_maxrss) / 1024.0;
}

QString code(int i) { return QStringLiteral("    value_%1 = compute(%1, input[%1]);").arg(i); }

// 20,000 lines, one changed in the middle: head and tail leave a one-by-one table.
void BM_DiffOneLineOf20000(benchmark::State& state)
{
    const QString a = lines(20000, code);
    const QString b = lines(20000, [](int i) { return i == 10000 ? QStringLiteral("changed") : code(i); });
    for (auto _ : state)
        benchmark::DoNotOptimize(diffText(a, b));
    peakMemory(state);
}
BENCHMARK(BM_DiffOneLineOf20000)->Unit(benchmark::kMillisecond);

// 20,000 lines with every tenth one changed: 400 million cells, past the budget.
void BM_DiffEveryTenthOf20000(benchmark::State& state)
{
    const QString a = lines(20000, code);
    const QString b = lines(20000, [](int i) { return i % 10 ? code(i) : QStringLiteral("changed %1").arg(i); });
    for (auto _ : state)
        benchmark::DoNotOptimize(diffText(a, b));
    peakMemory(state);
}
BENCHMARK(BM_DiffEveryTenthOf20000)->Unit(benchmark::kMillisecond);

// The largest exact table: 2,000 by 2,000 lines, every tenth changed.
void BM_DiffEveryTenthOf2000(benchmark::State& state)
{
    const QString a = lines(2000, code);
    const QString b = lines(2000, [](int i) { return i % 10 ? code(i) : QStringLiteral("changed %1").arg(i); });
    for (auto _ : state)
        benchmark::DoNotOptimize(diffText(a, b));
    peakMemory(state);
}
BENCHMARK(BM_DiffEveryTenthOf2000)->Unit(benchmark::kMillisecond);

// 100,000 event lines of a typical mix, fed in 64 KiB reads.
void BM_Decode100000Lines(benchmark::State& state)
{
    const QByteArray mix =
        R"({"ev":"assistant","tokensIn":1200,"tokensOut":80,"blocks":[{"type":"text","text":"Let me look at the build files first."},{"type":"tool_use","id":"toolu_01","name":"Read","input":{"file_path":"/home/me/src/app/CMakeLists.txt"}}]})"
        "\n"
        R"({"ev":"tokens","tokensIn":1300,"tokensOut":95})"
        "\n"
        R"({"ev":"context","tokens":45000,"window":200000})"
        "\n"
        R"({"ev":"result","costUsd":0.0123,"isError":false,"tokensIn":1300,"tokensOut":95,"durationMs":5400})"
        "\n";
    const QByteArray stream = mix.repeated(25000);
    for (auto _ : state) {
        LineAccumulator acc;
        qsizetype events = 0;
        for (qsizetype at = 0; at < stream.size(); at += 65536)
            for (const QString& line : acc.feed(QByteArrayView(stream).sliced(at, std::min<qsizetype>(65536, stream.size() - at))))
                events += SidecarEvent::decode(line).has_value();
        if (events != 100000)
            state.SkipWithError("lost events");
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Decode100000Lines)->Unit(benchmark::kMillisecond);

} // namespace
