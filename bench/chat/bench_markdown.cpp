// The markdown renderer and the code preview at their sizes of concern: a 2,000-line answer
// parsed, then parsed and laid out; a 5,000-line diff opened in the preview, to its first frame.
// Run a Release build: build/bench/bench_markdown.
#include "BenchChatSupport.h"
#include "MarkdownCache.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// A long agent answer: sections of headings, prose with inline styles, lists, a table and code,
// repeated to `lines` lines. `salt` makes every text distinct, so the cache never answers.
QString answer(int lines, int salt)
{
    const QStringList section = {
        "## Step %1",
        "The **store** writes `state.json` once per change; *every* workspace keeps its ~~old~~ order.",
        "A second line of the same paragraph with a [link](https://example.com/%1).",
        "",
        "- first point with `code`",
        "- second point, **strong** and *soft*",
        "1. numbered",
        "| name | size | note |",
        "|------|-----:|------|",
        "| a.txt | 12 | fine |",
        "| b.txt | 7 | `fast` |",
        "",
        "```cpp",
        "int main() { return %1; }",
        "```",
        "",
    };
    QStringList out;
    for (int i = 0; out.size() < lines; ++i)
        for (const QString& l : section)
            out << (l.contains(QLatin1String("%1")) ? l.arg(i * 7919 + salt) : l);
    out.resize(lines);
    return out.join(u'\n');
}

QString diff(int lines)
{
    QStringList out;
    for (int i = 0; i < lines; ++i) {
        const char* prefix = i % 3 == 0 ? "+ " : i % 3 == 1 ? "- " : "  ";
        out << QString::fromLatin1(prefix) + QStringLiteral("line %1 of the file, ").arg(i)
                   + QStringLiteral("with words ").repeated(i % 7 == 0 ? 20 : 3);
    }
    return out.join(u'\n');
}

struct Scene {
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> item;

    Scene(const QByteArray& qml)
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
        window.resize(1000, 760);
        window.show();
        QQmlComponent component(&engine);
        component.setData(qml, QUrl(QStringLiteral("qrc:/bench/Scene.qml")));
        item.reset(qobject_cast<QQuickItem*>(component.create()));
        if (!item)
            qFatal("%s", qPrintable(component.errorString()));
        item->setParentItem(window.contentItem());
    }

    // Lays out and renders one frame, as the window would show it.
    void frame() { window.grabWindow(); }
};

void BM_ParseAnswer2000Lines(benchmark::State& state)
{
    int salt = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString text = answer(2000, ++salt);
        state.ResumeTiming();
        benchmark::DoNotOptimize(brinmoor::MarkdownCache::render(text));
    }
}
BENCHMARK(BM_ParseAnswer2000Lines)->Unit(benchmark::kMillisecond);

void BM_ParseAndLayoutAnswer2000Lines(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_markdown");
    Scene scene("import QtQuick\nimport Brinmoor.Chat\nMarkdownText { width: 640 }");
    int salt = 1000;
    double create = 0, total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene.item->setProperty("text", QString());
        scene.frame();
        const QString text = answer(2000, ++salt);
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        scene.item->setProperty("text", text);
        create += t.nsecsElapsed() / 1e6;
        scene.frame();
        total += t.nsecsElapsed() / 1e6;
    }
    state.counters["create_ms"] = create / state.iterations();
    state.counters["total_ms"] = total / state.iterations();
    state.counters["blocks"] = scene.item->property("blockCount").toInt();
    state.counters["height"] = scene.item->height();
}
BENCHMARK(BM_ParseAndLayoutAnswer2000Lines)->Unit(benchmark::kMillisecond)->Iterations(5);

// The first frame of the preview with a 5,000-line diff: the list makes rows only for the screen.
void BM_DiffPreview5000LinesFirstFrame(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_markdown");
    const QString text = diff(5000);
    for (auto _ : state) {
        Scene scene("import QtQuick\nimport Brinmoor.Chat\nCodePreviewModal { width: 1000; height: 760; isDiff: true }");
        QElapsedTimer t;
        t.start();
        scene.item->setProperty("content", text);
        scene.frame();
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
}
BENCHMARK(BM_DiffPreview5000LinesFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace
