// Sending ten images of 19,000,000 bytes from a chat pane's composer: the files attached (read off
// the GUI thread), then the message sent to a Node sidecar that takes its line as the real one
// does. Reports the longest the GUI thread went without turning its event loop from the send to
// the line's arrival ("stallMs", ticks of a 1 ms timer), how long the line took to arrive
// ("arrivedMs"), and how far the app's peak resident size rose above where it was before the
// files were attached ("peakRiseMB"; the images themselves are "imagesMB").
// Also: the app's resident memory across ten sends of ten such images, once each message has
// gone ("rssRiseMB" after the last, "worstRiseMB" after any, from before the first; the app
// keeps only thumbnails of what it sent), and the GUI thread's longest stall at pasting a text of
// 50 or 150 MB ("pasteStallMs", the clipboard read itself being in-process here) and at sending
// it ("sendStallMs"), with when its line arrived ("arrivedMs").
// Run a Release build: build/bench/bench_send_images.
#include "BenchChatSupport.h"

#include "AttachmentListModel.h"
#include "ClaudeSession.h"
#include "ComposerModel.h"
#include "MemoryRelease.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
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

// A session on the line-noting sidecar, started; `ok` false (and the state skipped) when it could
// not be.
struct BenchSession {
    explicit BenchSession(benchmark::State& state)
    {
        benchchat::ensureQuickApp("bench_send_images");
        MemoryRelease::keepLargeBlocksMapped();
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        if (node.isEmpty()) {
            state.SkipWithError("no node");
            return;
        }
        QFile script(dir.filePath(QStringLiteral("sidecar.mjs")));
        script.open(QIODevice::WriteOnly);
        script.write(sidecarScript);
        script.close();
        log = dir.filePath(QStringLiteral("lines.log"));
        qputenv("BENCH_SIDECAR_LOG", QFile::encodeName(log));
        session = std::make_unique<ClaudeSession>(QUuid::createUuid(), dir.path(), false, std::nullopt, ChatProvider::Claude, true);
        SidecarTools tools;
        tools.findNode = [node](QObject*, std::function<void(std::optional<QString>)> done) { done(node); };
        tools.locateTool = [](ChatProvider, const std::optional<QString>&) { return std::optional<QString>(QStringLiteral("/bin/true")); };
        tools.scriptPath = [path = script.fileName()](ChatProvider) { return std::optional<QString>(path); };
        session->setTools(tools);
        session->startIfNeeded(std::nullopt);
        if (!waitUntil([&] { return lines().startsWith("start "); }, 20000)) {
            state.SkipWithError("the sidecar never started");
            return;
        }
        composer.setSession(session.get());
        ok = true;
    }
    ~BenchSession()
    {
        if (session)
            session->stop();
    }
    QByteArray lines() const
    {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Ten images of 19,000,000 bytes on disk: one picture padded, under ten names.
    QList<QUrl> tenImages()
    {
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
        return urls;
    }

    QTemporaryDir dir;
    QString log;
    std::unique_ptr<ClaudeSession> session;
    ComposerModel composer;
    bool ok = false;
};

// The longest the event loop went without a tick of a 1 ms timer while it runs.
struct StallMeter {
    StallMeter()
    {
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] { tick(); });
        ticker.start(1);
        sinceTick.start();
    }
    void tick() { longest = std::max(longest, sinceTick.restart()); }
    qint64 take()
    {
        tick();
        return std::exchange(longest, 0);
    }
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
};

void BM_SendTenImagesOf19MB(benchmark::State& state)
{
    BenchSession bench(state);
    if (!bench.ok)
        return;
    const QList<QUrl> urls = bench.tenImages();
    ComposerModel& composer = bench.composer;

    for (auto _ : state) {
        QFile::remove(bench.log);
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
        StallMeter stalls;
        QElapsedTimer clock;
        clock.start();
        composer.setDraft(QStringLiteral("Ten photos"));
        composer.send();
        stalls.tick();
        const bool arrived = waitUntil([&] { return bench.lines().contains("user "); }, 300000);
        const double arrivedMs = double(clock.elapsed());
        if (!arrived) {
            state.SkipWithError("the message never reached the sidecar");
            return;
        }
        state.SetIterationTime(arrivedMs / 1000.0);
        state.counters["stallMs"] = double(stalls.take());
        state.counters["arrivedMs"] = arrivedMs;
        state.counters["peakRiseMB"] = statusMB("VmHWM:") - before;
        state.counters["imagesMB"] = kImages * kImageBytes / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_SendTenImagesOf19MB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Ten messages of ten 19 MB images, each sent once the one before has reached the sidecar and its
// thumbnails are kept: what the app holds after each.
void BM_MemoryAcrossTenSendsOfTenImages(benchmark::State& state)
{
    BenchSession bench(state);
    if (!bench.ok)
        return;
    const QList<QUrl> urls = bench.tenImages();
    ComposerModel& composer = bench.composer;
    ClaudeSession& session = *bench.session;
    for (auto _ : state) {
        const double before = statusMB("VmRSS:");
        double worst = 0;
        QElapsedTimer clock;
        clock.start();
        for (int send = 1; send <= 10; ++send) {
            composer.attachments()->addFiles(urls);
            if (!waitUntil([&] { return !composer.attachments()->reading(); }, 60000) || composer.attachments()->count() != kImages) {
                state.SkipWithError("the images were not attached");
                return;
            }
            composer.setDraft(QStringLiteral("Ten photos"));
            composer.send();
            const auto thumbnailsKept = [&] {
                const QList<ChatAttachment>& sent = session.transcript().last().attachments;
                return std::all_of(sent.cbegin(), sent.cend(), [](const ChatAttachment& a) { return !a.data || a.data->size() < 1'000'000; });
            };
            if (!waitUntil([&] { return bench.lines().count("user ") == send && thumbnailsKept(); }, 300000)) {
                state.SkipWithError("a message never reached the sidecar");
                return;
            }
            worst = std::max(worst, statusMB("VmRSS:") - before);
        }
        state.SetIterationTime(double(clock.elapsed()) / 1000.0);
        state.counters["rssBeforeMB"] = before;
        state.counters["rssRiseMB"] = statusMB("VmRSS:") - before;
        state.counters["worstRiseMB"] = worst;
    }
}
BENCHMARK(BM_MemoryAcrossTenSendsOfTenImages)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// A text of 50 or 150 MB pasted (a text attachment) and sent: the GUI thread's longest stall at
// each step.
void BM_PasteAndSendText(benchmark::State& state)
{
    BenchSession bench(state);
    if (!bench.ok)
        return;
    ComposerModel& composer = bench.composer;
    const qsizetype chars = state.range(0) * 1'000'000;
    QString text;
    text.reserve(chars);
    const QString line = QStringLiteral("2026-12-08 13:37:00 INFO a line of a long log, pasted whole\n");
    while (text.size() + line.size() <= chars)
        text += line;
    text += QString(chars - text.size(), u'x');
    int sent = 0;
    for (auto _ : state) {
        auto* mime = new QMimeData;
        mime->setText(text);
        QGuiApplication::clipboard()->setMimeData(mime);
        StallMeter stalls;
        QElapsedTimer clock;
        clock.start();
        composer.attachments()->pasteClipboard();
        stalls.tick();
        if (!waitUntil([&] { return !composer.attachments()->reading(); }, 60000) || composer.attachments()->count() != 1) {
            state.SkipWithError("the text was not attached");
            return;
        }
        const double attachedMs = double(clock.elapsed());
        const double pasteStall = double(stalls.take());
        clock.restart();
        composer.send();
        stalls.tick();
        if (!waitUntil([&] { return bench.lines().count("user ") == sent + 1; }, 300000)) {
            state.SkipWithError("the message never reached the sidecar");
            return;
        }
        ++sent;
        state.SetIterationTime(double(clock.elapsed()) / 1000.0);
        state.counters["pasteStallMs"] = pasteStall;
        state.counters["attachedMs"] = attachedMs;
        state.counters["sendStallMs"] = double(stalls.take());
        state.counters["arrivedMs"] = double(clock.elapsed());
        QGuiApplication::clipboard()->clear();
    }
}
BENCHMARK(BM_PasteAndSendText)->Arg(50)->Arg(150)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
