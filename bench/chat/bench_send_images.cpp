// Sending ten images of 19,000,000 bytes from a chat pane's composer: the files attached (read off
// the GUI thread), then the message sent to a Node sidecar that takes its line as the real one
// does. Reports the longest the GUI thread went without turning its event loop from the send to
// the line's arrival ("stallMs", ticks of a 1 ms timer), how long the line took to arrive
// ("arrivedMs"), and how far the app's peak resident size rose above where it was before the
// files were attached ("peakRiseMB"; the images themselves are "imagesMB").
// Run a Release build: build/bench/bench_send_images.
#include "BenchChatSupport.h"

#include "AttachmentListModel.h"
#include "ClaudeSession.h"
#include "ComposerModel.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QBuffer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace brinmoor;

namespace {

constexpr int kImages = 10;
constexpr qsizetype kImageBytes = 19'000'000;

bool waitUntil(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

double statusMB(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// A sidecar that reads its input a line at a time in one pass, as ours does, and notes the size of
// each line it got in a file.
const char* const sidecarScript = R"(import fs from 'node:fs';
const log = process.env.BENCH_SIDECAR_LOG;
let parts = [];
process.stdin.on('data', (chunk) => {
  let start = 0;
  for (let nl = chunk.indexOf(10); nl >= 0; nl = chunk.indexOf(10, start)) {
    parts.push(chunk.subarray(start, nl));
    const line = Buffer.concat(parts).toString('utf8');
    parts = [];
    start = nl + 1;
    let cmd = null;
    try { cmd = JSON.parse(line).cmd; } catch {}
    fs.appendFileSync(log, `${cmd} ${line.length}\n`);
    if (cmd === 'quit') process.exit(0);
  }
  if (start < chunk.length) parts.push(chunk.subarray(start));
});
process.stdin.on('end', () => process.exit(0));
)";

void BM_SendTenImagesOf19MB(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_send_images");
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty()) {
        state.SkipWithError("no node");
        return;
    }
    QTemporaryDir dir;
    QFile script(dir.filePath(QStringLiteral("sidecar.mjs")));
    script.open(QIODevice::WriteOnly);
    script.write(sidecarScript);
    script.close();
    const QString log = dir.filePath(QStringLiteral("lines.log"));
    qputenv("BENCH_SIDECAR_LOG", QFile::encodeName(log));
    // One picture padded to 19,000,000 bytes, under ten names.
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(64, 64, QImage::Format_RGB32).save(&buffer, "png");
    }
    png.append(QByteArray(kImageBytes - png.size(), '\0'));
    QList<QUrl> urls;
    for (int i = 0; i < kImages; ++i) {
        QFile f(dir.filePath(QStringLiteral("photo-%1.png").arg(i)));
        f.open(QIODevice::WriteOnly);
        f.write(png);
        urls << QUrl::fromLocalFile(f.fileName());
    }
    png = QByteArray();

    for (auto _ : state) {
        QFile::remove(log);
        ClaudeSession session(QUuid::createUuid(), dir.path(), false, std::nullopt, ChatProvider::Claude, true);
        SidecarTools tools;
        tools.findNode = [node](QObject*, std::function<void(std::optional<QString>)> done) { done(node); };
        tools.locateTool = [](ChatProvider, const std::optional<QString>&) { return std::optional<QString>(QStringLiteral("/bin/true")); };
        tools.scriptPath = [&script](ChatProvider) { return std::optional<QString>(script.fileName()); };
        session.setTools(tools);
        session.startIfNeeded(std::nullopt);
        const auto lines = [&] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        if (!waitUntil([&] { return lines().startsWith("start "); }, 20000)) {
            state.SkipWithError("the sidecar never started");
            return;
        }
        ComposerModel composer;
        composer.setSession(&session);
        // The peak from here.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        const double before = statusMB("VmRSS:");
        composer.attachments()->addFiles(urls);
        if (!waitUntil([&] { return !composer.attachments()->reading(); }, 60000) || composer.attachments()->count() != kImages) {
            state.SkipWithError("the images were not attached");
            return;
        }
        qint64 longest = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.restart());
        });
        ticker.start(1);
        sinceTick.start();
        QElapsedTimer clock;
        clock.start();
        composer.setDraft(QStringLiteral("Ten photos"));
        composer.send();
        longest = std::max(longest, sinceTick.restart());
        const bool arrived = waitUntil([&] { return lines().contains("\nuser "); }, 300000);
        const double arrivedMs = double(clock.elapsed());
        ticker.stop();
        if (!arrived) {
            state.SkipWithError("the message never reached the sidecar");
            return;
        }
        state.SetIterationTime(arrivedMs / 1000.0);
        state.counters["stallMs"] = double(longest);
        state.counters["arrivedMs"] = arrivedMs;
        state.counters["peakRiseMB"] = statusMB("VmHWM:") - before;
        state.counters["imagesMB"] = kImages * kImageBytes / (1024.0 * 1024.0);
        session.stop();
    }
}
BENCHMARK(BM_SendTenImagesOf19MB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
