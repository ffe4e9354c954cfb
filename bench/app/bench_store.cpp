// Saving is synchronous on the GUI thread after every structural change: a snapshot of 20
// workspaces with 16 sessions each must serialise and reach the disk well under 5 ms. Reading a
// hostile 11 MB file (huge name, label and conversation id) is part of a start-up that must show
// the window within a second (the whole start-up: bench_app_startup).

#include "Store.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace brinmoor;

namespace {

Store::Snapshot bigSnapshot()
{
    Store::Snapshot snap;
    for (int w = 0; w < 20; ++w) {
        Workspace ws;
        ws.id = QUuid::createUuid();
        ws.name = QStringLiteral("Workspace %1").arg(w);
        ws.colorHex = QStringLiteral("5b8cee");
        ws.forcedColumns = w % 3 == 0 ? std::optional<int>(3) : std::nullopt;
        for (int s = 0; s < 16; ++s) {
            Session se;
            se.id = QUuid::createUuid();
            se.kind = s % 2 ? PaneKind::Chat : PaneKind::Terminal;
            se.project = QStringLiteral("project-%1").arg(s);
            se.sessionLabel = QStringLiteral("session 1");
            se.directory = QStringLiteral("/home/someone/src/workspace-%1/project-%2").arg(w).arg(s);
            se.provider = s % 3 ? ChatProvider::Claude : ChatProvider::Codex;
            if (s % 4 == 0)
                se.groupID = QStringLiteral("g%1").arg(s / 4);
            if (s % 2)
                se.claudeSessionId = QUuid::createUuid().toString(QUuid::WithoutBraces);
            ws.sessions.append(se);
        }
        snap.workspaces.append(ws);
    }
    snap.selected = snap.workspaces.first().id;
    for (int r = 0; r < 8; ++r)
        snap.recents.append(QStringLiteral("/home/someone/src/recent-%1").arg(r));
    return snap;
}

// Whole save: encode, write a temporary file, rename it over state.json.
void BM_SaveSnapshot20x16(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    const Store store(false);
    const Store::Snapshot snap = bigSnapshot();
    for (auto _ : state) {
        const bool ok = store.save(snap);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * Store::encode(snap).size());
}
BENCHMARK(BM_SaveSnapshot20x16)->Unit(benchmark::kMicrosecond);

// Serialisation alone.
void BM_EncodeSnapshot20x16(benchmark::State& state)
{
    const Store::Snapshot snap = bigSnapshot();
    for (auto _ : state)
        benchmark::DoNotOptimize(Store::encode(snap));
}
BENCHMARK(BM_EncodeSnapshot20x16)->Unit(benchmark::kMicrosecond);

// Reading it back (start-up).
void BM_DecodeSnapshot20x16(benchmark::State& state)
{
    const QByteArray bytes = Store::encode(bigSnapshot());
    for (auto _ : state)
        benchmark::DoNotOptimize(Store::decode(bytes));
}
BENCHMARK(BM_DecodeSnapshot20x16)->Unit(benchmark::kMicrosecond);

// A 5 MB project name, a 5 MB label and a 1 MB conversation id, cut down while reading.
void BM_DecodeElevenMegabyteState(benchmark::State& state)
{
    const QByteArray bytes = R"({"recents": [], "workspaces": [{"colorHex": "5b8cee", "id": "1D1E0000-0000-4000-8000-000000000001",
        "name": "Huge", "sessions": [{"autoApprove": false, "directory": "\/tmp", "id": "1D1E0000-0000-4000-8000-000000000002",
        "kind": "chat", "muted": false, "project": ")" + QByteArray(5 << 20, 'n') + R"(", "sessionLabel": ")"
        + QByteArray(5 << 20, 'l') + R"(", "claudeSessionId": ")" + QByteArray(1 << 20, 'c') + R"("}]}]})";
    for (auto _ : state) {
        Store::LoadReport report;
        const auto snap = Store::decode(bytes, nullptr, &report);
        if (!snap || snap->workspaces.at(0).sessions.at(0).project.size() > Store::maxNameLength)
            state.SkipWithError("not read, or not cut down");
        benchmark::DoNotOptimize(snap);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_DecodeElevenMegabyteState)->Unit(benchmark::kMillisecond);

} // namespace
