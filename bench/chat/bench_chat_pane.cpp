// A chat pane on a long conversation: opening 2,000 messages to the first frame, scrolling frame
// by frame (software renderer), the row changes one streamed block costs, and the pane's memory.
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
        window.resize(700, 760);
        window.show();
    }
    void open()
    {
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nimport Brinmoor.Chat\nChatPaneView { width: 700; height: 760; session: null; compact: false }",
                          QUrl(QStringLiteral("qrc:/bench/Pane.qml")));
        QVariantMap initial{{QStringLiteral("vm"), QVariant::fromValue(&session)}};
        item.reset(qobject_cast<QQuickItem*>(component.createWithInitialProperties(initial)));
        if (!item)
            qFatal("%s", qPrintable(component.errorString()));
        item->setParentItem(window.contentItem());
    }
    QQuickItem* list() const { return item->property("list").value<QQuickItem*>(); }
    void frame() { window.grabWindow(); }
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

} // namespace
