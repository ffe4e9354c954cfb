// A chat pane on a long conversation: opening 2,000 messages to the first frame, scrolling frame
// by frame (software renderer), the row changes one streamed block costs, and the pane's memory;
// a long answer arriving, a message appended to conversations of growing length, and opening a
// long conversation to its end and then staying idle.
// Run a Release build: build/bench/bench_chat_pane.
#include "BenchChatSupport.h"
#include "ClaudeSession.h"
#include "SidecarProtocol.h"
#include "TimelineModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

using namespace brinmoor;

namespace {

double residentMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * 4096.0 / (1024.0 * 1024.0) : 0;
}

// A conversation of `n` messages: questions, and answers of prose with a list and code, tool calls
// with diffs, to-do lists, tool output and thinking.
QList<ChatMessage> conversation(int n)
{
    QList<ChatMessage> out;
    for (int i = 0; i < n; ++i) {
        ChatMessage m;
        if (i % 2 == 0) {
            m.role = ChatRole::User;
            m.blocks = {ChatBlock::ofText(QStringLiteral("Question %1: why does step %1 fail?").arg(i))};
        } else {
            m.role = ChatRole::Assistant;
            m.thoughtSeconds = 3.2;
            m.blocks << ChatBlock::ofThinking(QStringLiteral("Looking at step %1.").arg(i));
            m.blocks << ChatBlock::ofText(QStringLiteral("Step **%1** fails because `x` is unset:\n\n- set it\n- retry\n\n```sh\nexport X=%1\n```").arg(i));
            if (i % 3 == 1)
                m.blocks << ChatBlock::ofToolUse({QStringLiteral("t%1").arg(i), QStringLiteral("Edit"), QStringLiteral("src/file%1.cpp").arg(i),
                                                  QStringLiteral("  int a;\n- int x;\n+ int x = %1;\n  int b;").arg(i), std::nullopt});
            if (i % 5 == 1)
                m.blocks << ChatBlock::ofToolUse({QStringLiteral("d%1").arg(i), QStringLiteral("TodoWrite"), QString(), std::nullopt,
                                                  QList<TodoItem>{{QStringLiteral("One"), QStringLiteral("completed")},
                                                                  {QStringLiteral("Two"), QStringLiteral("pending")}}});
            m.blocks << ChatBlock::ofToolResult(QStringLiteral("ok\nline two\nline three\nline four"));
        }
        out << m;
    }
    return out;
}

struct Pane {
    QQmlEngine engine;
    QQuickWindow window;
    ClaudeSession session{QUuid::createUuid(), QStringLiteral("/tmp"), false, std::nullopt, ChatProvider::Claude, true};
    std::unique_ptr<QQuickItem> item;

    explicit Pane(int messages)
    {
        session.apply(SidecarEvent{SidecarEvent::History{conversation(messages)}});
        engine.addImportPath(QStringLiteral("qrc:/"));
        // As in the app, whose engine takes its window's controller: the list makes the rows
        // beyond its visible area between frames.
        engine.setIncubationController(window.incubationController());
        window.resize(700, 760);
        window.show();
    }
    void open()
    {
        QQmlComponent component(&engine);
        // Without the pane's frame, its header button (which the frame moves into its header)
        // would sit at the window's corner, where the window takes the pointer to be, and show
        // its tooltip; it is taken out of the scene.
        component.setData("import QtQuick\nimport Brinmoor.Chat\nChatPaneView { width: 700; height: 760; session: null; compact: false;"
                          " Component.onCompleted: accessoryItem.parent = null }",
                          QUrl(QStringLiteral("qrc:/bench/Pane.qml")));
        QVariantMap initial{{QStringLiteral("vm"), QVariant::fromValue(&session)}};
        item.reset(qobject_cast<QQuickItem*>(component.createWithInitialProperties(initial)));
        if (!item)
            qFatal("%s", qPrintable(component.errorString()));
        item->setParentItem(window.contentItem());
    }
    QQuickItem* list() const { return item->property("list").value<QQuickItem*>(); }
    // The end of the conversation is on screen: the list's end (its bottom margin included) is
    // no more than a few points below its visible area.
    bool atEnd() const
    {
        QQuickItem* l = list();
        const double end = l->property("originY").toDouble() + l->property("contentHeight").toDouble()
                         + l->property("bottomMargin").toDouble() - l->property("contentY").toDouble();
        return end <= l->height() + 12;
    }
    void frame() { window.grabWindow(); }
    // Opens the pane and lets its first scroll to the end of the conversation finish.
    void openSettled()
    {
        open();
        benchview::spin(900);
        frame();
    }
    // An answer arriving: the event applied, then the next frame, drawn once the pane's follow of
    // its end (on a zero timer) has run as the event loop runs it. That frame is how long the
    // answer held the window.
    void answerAndFrame(const SidecarEvent::Assistant& a)
    {
        session.apply(SidecarEvent{a});
        QCoreApplication::processEvents();
        frame();
    }
    // Draws frames as events come until the end of the conversation is on screen, or until `t`
    // has run for `limitMs`.
    void frameUntilAtEnd(const QElapsedTimer& t, qint64 limitMs)
    {
        while (!atEnd() && t.elapsed() < limitMs) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            frame();
        }
    }
};

void BM_Open2000Messages(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_chat_pane");
    double rss = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = residentMiB();
        auto pane = std::make_unique<Pane>(2000);
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        pane->open();
        pane->frame();
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        state.PauseTiming();
        // Then the pane's scrolls to the end (the last 0.8 s after opening): the processor time
        // they take, and the memory once there.
        const std::clock_t cpu = std::clock();
        benchview::spin(1000);
        pane->frame();
        state.counters["to_end_cpu_ms"] = double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
        state.counters["at_end"] = pane->item->property("atBottom").toBool();
        rss = residentMiB() - before;
        state.counters["rows"] = pane->session.timeline()->count();
        pane.reset();
        state.ResumeTiming();
    }
    state.counters["pane_MiB"] = rss;
}
BENCHMARK(BM_Open2000Messages)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// One frame per step of 120 points through the whole conversation, from its end upwards.
void BM_Scroll2000MessagesPerFrame(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_chat_pane");
    Pane pane(2000);
    pane.open();
    pane.frame();
    QQuickItem* list = pane.list();
    for (auto _ : state) {
        state.PauseTiming();
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
        pane.frame();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        const int frames = 200;
        for (int i = 0; i < frames; ++i) {
            list->setProperty("contentY", list->property("contentY").toReal() - 120);
            pane.frame();
        }
        state.SetIterationTime(t.nsecsElapsed() / 1e9 / frames);
    }
}
BENCHMARK(BM_Scroll2000MessagesPerFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A streamed block arriving at the end of a long conversation: the model changes it makes.
void BM_AppendStreamedBlock(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_chat_pane");
    Pane pane(2000);
    pane.open();
    pane.frame();
    TimelineModel* model = pane.session.timeline();
    int inserted = 0, changed = 0, removed = 0, resets = 0, moved = 0;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, [&](auto, int a, int b) { inserted += b - a + 1; });
    QObject::connect(model, &QAbstractItemModel::dataChanged, [&](auto a, auto b) { changed += b.row() - a.row() + 1; });
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, [&](auto, int a, int b) { removed += b - a + 1; });
    QObject::connect(model, &QAbstractItemModel::rowsMoved, [&](auto...) { ++moved; });
    QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    int blocks = 0;
    for (auto _ : state) {
        SidecarEvent::Assistant a;
        a.blocks = {ChatBlock::ofText(QStringLiteral("Streamed block %1 with **markdown**.").arg(++blocks))};
        pane.session.apply(SidecarEvent{a});
        pane.frame();
    }
    state.counters["inserted_per_block"] = double(inserted) / blocks;
    state.counters["changed_per_block"] = double(changed) / blocks;
    state.counters["removed"] = removed;
    state.counters["moved"] = moved;
    state.counters["resets"] = resets;
}
BENCHMARK(BM_AppendStreamedBlock)->Unit(benchmark::kMillisecond)->Iterations(50);

// An answer of `lines` lines of mixed markdown: sections of prose, bullet and numbered items, a
// code block and a table, over and over. `tag` makes each answer a text of its own.
QString longAnswer(int lines, int tag)
{
    QStringList out{QStringLiteral("Answer %1, in %2 lines.").arg(tag).arg(lines), QString()};
    for (int s = 0; out.size() < lines; ++s) {
        out << QStringLiteral("## Section %1").arg(s) << QString()
            << QStringLiteral("The step **%1** reads `config.toml` and then writes the cache; it fails when").arg(s)
            << QStringLiteral("the folder is missing, which the [manual](https://example.com/%1) explains.").arg(s)
            << QStringLiteral("A second line of the same paragraph, with *emphasis* and more words in it.") << QString()
            << QStringLiteral("- check the folder %1").arg(s) << QStringLiteral("- create it with `mkdir -p`")
            << QStringLiteral("- run the step again") << QString() << QStringLiteral("```cpp");
        for (int k = 0; k < 8; ++k)
            out << QStringLiteral("    auto value%1 = compute(%2, %1);").arg(k).arg(s);
        out << QStringLiteral("```") << QString() << QStringLiteral("| Name | Value | Note |")
            << QStringLiteral("|------|-------|------|");
        for (int k = 0; k < 5; ++k)
            out << QStringLiteral("| key%1 | %2 | **fine** |").arg(k).arg(s * 10 + k);
        out << QString() << QStringLiteral("1. first") << QStringLiteral("2. second") << QString();
    }
    out.resize(lines);
    return out.join(u'\n');
}

// A long answer arriving in a pane that follows its end (200,000 lines is about 15 MB, near the
// most one line from a sidecar may carry): from the event to the first frame drawn
// after it (how long the answer held the window), the time until its end is on screen (to_end_ms,
// the pane's short slide included), and the heap the pane holds per line of the answer afterwards
// (the mean of the iterations).
void BM_LongAnswerFirstFrame(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_chat_pane");
    const int lines = int(state.range(0));
    int tag = 0;
    double kibPerLine = 0, rows = 0, toEndMs = 0;
    bool atEnd = true;
    for (auto _ : state) {
        state.PauseTiming();
        auto pane = std::make_unique<Pane>(6);
        pane->openSettled();
        SidecarEvent::Assistant a;
        a.blocks = {ChatBlock::ofText(longAnswer(lines, ++tag))};
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const double before = benchchat::heapMiB();
        const int rowsBefore = pane->session.timeline()->count();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        pane->answerAndFrame(a);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        // Then the short slide to the new end, if any.
        pane->frameUntilAtEnd(t, 5000);
        toEndMs += t.nsecsElapsed() / 1e6 / double(state.max_iterations);
        state.PauseTiming();
        atEnd = atEnd && pane->atEnd();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        kibPerLine += (benchchat::heapMiB() - before) * 1024.0 / lines / double(state.max_iterations);
        rows = pane->session.timeline()->count() - rowsBefore;
        pane.reset();
        state.ResumeTiming();
    }
    state.counters["KiB_per_line"] = kibPerLine;
    state.counters["rows"] = rows;
    state.counters["to_end_ms"] = toEndMs;
    state.counters["at_end"] = atEnd;
}
BENCHMARK(BM_LongAnswerFirstFrame)->Arg(500)->Arg(2000)->Arg(5000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// A 5 MB answer that is one long block: 0, a code block of 70,000 lines; 1, a paragraph of
// 60,000 lines with code spans and links and no blank line; 2, the same paragraph on one line.
// `tag` makes each answer a text of its own.
QString longBlockAnswer(int shape, int tag)
{
    QStringList out;
    if (shape == 0) {
        for (int k = 0; out.size() < 70000; ++k)
            out << QStringLiteral("    auto value%1 = compute(%2, \"the argument of line %1\"); // step %1").arg(k).arg(tag);
        return QStringLiteral("Here is the file:\n\n```cpp\n") + out.join(u'\n') + QStringLiteral("\n```\n\nThat is all.");
    }
    for (int k = 0; out.size() < 60000; ++k)
        out << QStringLiteral("Step %1 of %2 reads `config %1` and the [manual page](https://example.com/%1) says why.").arg(k).arg(tag);
    return QStringLiteral("Text:\n\n") + out.join(shape == 1 ? u'\n' : u' ') + QStringLiteral("\n\nThat is all.");
}

// A 5 MB answer of one long block (longBlockAnswer) arriving in a pane that follows its end:
// from the event to the first frame drawn after it, as BM_LongAnswerFirstFrame; then the
// slowest of the frames scrolling up through the answer 600 points at a time (max_scroll_ms); and
// the pane opened anew on the conversation as a restart does, to its end on screen (reopen_ms).
void BM_LongBlockAnswer(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_chat_pane");
    const int shape = int(state.range(0));
    int tag = 0;
    double rows = 0, toEndMs = 0, maxScrollMs = 0, reopenMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto pane = std::make_unique<Pane>(6);
        pane->openSettled();
        SidecarEvent::Assistant a;
        a.blocks = {ChatBlock::ofText(longBlockAnswer(shape, ++tag))};
        const int rowsBefore = pane->session.timeline()->count();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        pane->answerAndFrame(a);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        state.PauseTiming();
        pane->frameUntilAtEnd(t, 10000);
        toEndMs += t.nsecsElapsed() / 1e6 / double(state.max_iterations);
        rows = pane->session.timeline()->count() - rowsBefore;
        QQuickItem* list = pane->list();
        for (int i = 0; i < 150; ++i) {
            QElapsedTimer f;
            f.start();
            list->setProperty("contentY", list->property("contentY").toReal() - 600);
            pane->frame();
            maxScrollMs = std::max(maxScrollMs, f.nsecsElapsed() / 1e6);
        }
        // A restart: the same conversation from the store, in a new pane, to its end.
        const QList<ChatMessage> stored = pane->session.transcript();
        pane.reset();
        auto again = std::make_unique<Pane>(0);
        again->session.apply(SidecarEvent{SidecarEvent::History{stored}});
        QElapsedTimer r;
        r.start();
        again->open();
        again->frame();
        again->frameUntilAtEnd(r, 10000);
        reopenMs += r.nsecsElapsed() / 1e6 / double(state.max_iterations);
        again.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["to_end_ms"] = toEndMs;
    state.counters["max_scroll_ms"] = maxScrollMs;
    state.counters["reopen_ms"] = reopenMs;
}
BENCHMARK(BM_LongBlockAnswer)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// One more message at the end of a conversation of `n` messages shown in a pane: the work of
// applying the event (the transcript, the rows, and whatever the pane does at once on their
// signals; its next frame is not counted), and the rows it changes.
void BM_AppendMessage(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_chat_pane");
    Pane pane(int(state.range(0)));
    pane.openSettled();
    TimelineModel* model = pane.session.timeline();
    int inserted = 0, changed = 0, removed = 0, resets = 0;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, [&](auto, int a, int b) { inserted += b - a + 1; });
    QObject::connect(model, &QAbstractItemModel::dataChanged, [&](auto a, auto b) { changed += b.row() - a.row() + 1; });
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, [&](auto, int a, int b) { removed += b - a + 1; });
    QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    int appended = 0;
    for (auto _ : state) {
        SidecarEvent::Assistant a;
        a.blocks = {ChatBlock::ofText(QStringLiteral("Appended message %1 with **markdown**.").arg(++appended))};
        pane.session.apply(SidecarEvent{a});
        state.PauseTiming();
        QCoreApplication::processEvents();
        pane.frame();
        state.ResumeTiming();
    }
    state.counters["inserted_per_message"] = double(inserted) / appended;
    state.counters["changed_per_message"] = double(changed) / appended;
    state.counters["removed"] = removed;
    state.counters["resets"] = resets;
}
BENCHMARK(BM_AppendMessage)->Arg(500)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMillisecond)->Iterations(100);

// Opening a conversation of `n` messages until its end is on screen; then the frames the idle
// pane still draws per second, counted from 200 ms after that for one second.
void BM_OpenConversation(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_chat_pane");
    double idleFps = 0;
    bool atEnd = true;
    for (auto _ : state) {
        state.PauseTiming();
        auto pane = std::make_unique<Pane>(int(state.range(0)));
        int frames = 0;
        QObject::connect(&pane->window, &QQuickWindow::frameSwapped, [&] { ++frames; });
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        pane->open();
        pane->frame();
        // The pane scrolls to its end on a timer after it is made.
        pane->frameUntilAtEnd(t, 5000);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        state.PauseTiming();
        atEnd = atEnd && pane->atEnd();
        benchview::spin(200);
        frames = 0;
        benchview::spin(1000);
        idleFps = frames;
        pane.reset();
        state.ResumeTiming();
    }
    state.counters["idle_fps"] = idleFps;
    state.counters["at_end"] = atEnd;
}
BENCHMARK(BM_OpenConversation)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
