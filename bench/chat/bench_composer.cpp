// Typing in the chat editor with a long draft: one keystroke in a 5,000-character draft, through
// the text's layout and the editor's height, and through the next frame drawn (software). Then the
// whole composer of a chat pane: pasting a log of 96 KiB to 10 MB (to the next frame, and the
// memory it holds and keeps), and a keystroke after such a paste beside one in an empty composer.
// And hidden characters: a paste of 1,000 to 50,000 marked, their "Remove them", and its undo,
// and a keystroke in a paragraph of thousands of marks, in Latin, Hebrew and Arabic prose.
// Run a Release build: build/bench/bench_composer.
#include "BenchChatSupport.h"
#include "ClaudeSession.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

// A draft of prose in short paragraphs, 5,000 characters.
QString draft()
{
    QString text;
    for (int i = 0; text.size() < 5000; ++i)
        text += QStringLiteral("Step %1: read the store, convert each session and write it back once. ").arg(i)
                + (i % 4 == 3 ? QStringLiteral("\n") : QString());
    return text.left(5000);
}

// A window made from QML, its frames counted, and keys sent to it.
struct KeyedWindow {
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    QQuickItem* edit = nullptr;  // the editor's TextEdit
    int frames = 0;
    bool insertNext = true;

    KeyedWindow(const QByteArray& qml, const QVariantMap& initial = {})
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent c(&engine);
        c.setData(qml, QUrl(QStringLiteral("qrc:/bench/Window.qml")));
        window.reset(qobject_cast<QQuickWindow*>(c.createWithInitialProperties(initial)));
        if (!window)
            qFatal("%s", qPrintable(c.errorString()));
        edit = window->findChild<QQuickItem*>(QStringLiteral("chatEdit"));
        QObject::connect(window.get(), &QQuickWindow::frameSwapped, [this] { ++frames; });
    }
    void key(int k, Qt::KeyboardModifiers mods, const QString& text)
    {
        QKeyEvent press(QEvent::KeyPress, k, mods, text);
        QCoreApplication::sendEvent(window.get(), &press);
        QKeyEvent release(QEvent::KeyRelease, k, mods, text);
        QCoreApplication::sendEvent(window.get(), &release);
    }
    // One keystroke, alternately typing a letter and deleting it, so the draft keeps its length.
    void typeOrDelete()
    {
        if (insertNext)
            key(Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        else
            key(Qt::Key_Backspace, Qt::NoModifier, {});
        insertNext = !insertNext;
    }
    void waitFrame()
    {
        const int before = frames;
        window->requestUpdate();
        while (frames == before)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

// The editor alone, holding a 5,000-character draft, its caret in the middle.
struct Editor : KeyedWindow {
    QQuickItem* editor = nullptr;

    Editor()
        : KeyedWindow("import QtQuick\nimport Brinmoor.Chat\nWindow { width: 520; height: 200; visible: true\n"
                      "ChatTextEditor { objectName: 'editor'; y: 200 - height; width: 520 } }")
    {
        editor = window->findChild<QQuickItem*>(QStringLiteral("editor"));
        edit->setProperty("text", draft());
        edit->forceActiveFocus();
        edit->setProperty("cursorPosition", 2500);
        waitFrame();
    }
};

void BM_KeystrokeLayoutAndHeight(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    Editor e;
    for (auto _ : state) {
        e.typeOrDelete();
        benchmark::DoNotOptimize(e.editor->height());
    }
    state.counters["chars"] = e.edit->property("length").toInt();
}
BENCHMARK(BM_KeystrokeLayoutAndHeight)->Unit(benchmark::kMicrosecond);

void BM_KeystrokeToNextFrame(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    Editor e;
    for (auto _ : state) {
        e.typeOrDelete();
        e.waitFrame();
    }
}
BENCHMARK(BM_KeystrokeToNextFrame)->Unit(benchmark::kMicrosecond);

// An ordinary log of about `bytes` bytes: timestamped lines of some 100 characters.
QString logText(qsizetype bytes)
{
    QString text;
    text.reserve(bytes + 200);
    for (int i = 0; text.size() < bytes; ++i)
        text += QStringLiteral("2025-03-14T09:%1:%2.%3Z INFO  [worker-%4] request %5 handled in %6 ms path=/api/v1/items/%5 status=200\n")
                    .arg(i / 3600 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 1000, 3, 10, QLatin1Char('0'))
                    .arg(i % 8)
                    .arg(100000 + i)
                    .arg(i % 97);
    return text.left(bytes);
}

// A chat pane's composer (input bar and controls row) on a session that runs no sidecar, at the
// foot of a window as in a pane, its editor focused.
struct IdleSession {
    brinmoor::ClaudeSession session{QUuid::createUuid(), QStringLiteral("/tmp"), false, std::nullopt, brinmoor::ChatProvider::Claude, true};
};
struct Composer : IdleSession, KeyedWindow {  // the session first: the window's QML is given it
    QQuickItem* composer = nullptr;

    Composer()
        : KeyedWindow("import QtQuick\nimport Brinmoor.Agent\nimport Brinmoor.Chat\n"
                      "Window { id: w; width: 520; height: 400; visible: true; required property ClaudeSession session\n"
                      "ChatComposer { objectName: 'composer'; width: 520; y: 400 - height; session: w.session } }",
                      {{QStringLiteral("session"), QVariant::fromValue(&session)}})
    {
        composer = window->findChild<QQuickItem*>(QStringLiteral("composer"));
        QMetaObject::invokeMethod(composer, "focusEditor");
        waitFrame();
    }
    // Ctrl+V with `text` on the clipboard, as a user pastes it.
    void paste(const QString& text)
    {
        QGuiApplication::clipboard()->setText(text);
        key(Qt::Key_V, Qt::ControlModifier, {});
    }
    // The draft and the attachments emptied, as after sending.
    void clear()
    {
        QObject* model = composer->property("model").value<QObject*>();
        QMetaObject::invokeMethod(model->property("attachments").value<QObject*>(), "clear");
        model->setProperty("draft", QString());
        QGuiApplication::clipboard()->clear();
        waitFrame();
    }
};

// Pasting a log of N KiB, to the next frame drawn: 96 KiB, the longest paste the editor keeps as
// text, and 1, 3 and 10 MB. Counters: the heap the pasted composer holds, and what it still holds
// once the draft is sent (emptied).
void BM_PasteLog(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    const QString text = logText(state.range(0) * 1024);
    Composer c;
    double held = 0, kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        c.clear();
        const double before = benchchat::heapMiB();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        c.paste(text);
        c.waitFrame();
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        state.PauseTiming();
        held = benchchat::heapMiB() - before;
        c.clear();
        kept = benchchat::heapMiB() - before;
        state.ResumeTiming();
    }
    state.counters["held_MiB"] = held;
    state.counters["kept_MiB"] = kept;
}
BENCHMARK(BM_PasteLog)->ArgName("KiB")->Arg(96)->Arg(1024)->Arg(3072)->Arg(10240)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// A keystroke (a letter, then its deletion) to the next frame drawn: in an empty composer (0),
// after pasting 96 KiB of log (the longest paste the editor keeps as text) and after pasting 1 MB
// (which becomes an attachment).
void BM_KeystrokeAfterPaste(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    Composer c;
    if (state.range(0) > 0) {
        c.paste(logText(state.range(0) * 1024));
        c.waitFrame();
    }
    for (auto _ : state) {
        c.typeOrDelete();
        c.waitFrame();
    }
}
BENCHMARK(BM_KeystrokeAfterPaste)->ArgName("KiB")->Arg(0)->Arg(96)->Arg(1024)->Unit(benchmark::kMicrosecond);

// `count` hidden characters of eight kinds (one UTF-16 unit each, so that 50,000 stay below the
// length at which a paste becomes an attachment): in runs of a hundred with a short word after
// each, what a paste that hides a payload looks like (shape 0), or each on its own between two
// spaces, every mark then a stretch of its own and the line free to break beside it (shape 1), or
// one inside each word of prose (shape 2: seven characters a mark, so no more than 10,000 of them
// stay below that length).
QString hiddenText(int count, int shape)
{
    static const char16_t kinds[] = {0x200B, 0x202E, 0x2066, 0x2069, 0x00AD, 0x200C, 0xFEFF, 0x2060};
    QString text;
    text.reserve(count * 2 + count / 25);
    for (int i = 0; i < count; ++i) {
        if (shape >= 1 && i > 0)
            text += u' ';
        if (shape == 2)
            text += QStringLiteral("word");
        text += QChar(kinds[i % 8]);
        if (shape == 2)
            text += u's';
        if (shape == 0 && i % 100 == 99)
            text += QStringLiteral(" word ");
    }
    return text;
}

// The longest the GUI thread holds while a step runs: the widest gap between the turns of its
// event loop (a 0-ms timer fires on every turn), from the moment the step starts.
struct HoldWatch {
    QElapsedTimer clock;
    QTimer turns;
    qint64 last = 0, longest = 0;
    HoldWatch()
    {
        turns.setInterval(0);
        QObject::connect(&turns, &QTimer::timeout, [this] { lap(); });
    }
    void start()
    {
        clock.start();
        last = longest = 0;
        turns.start();
    }
    void lap()
    {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    }
    void stop()
    {
        lap();
        turns.stop();
    }
};

// Marking, removing and bringing back N marks, each to the first frame drawn once the composer
// counts them: the paste (its marks put in), "Remove them", and Ctrl+Z of that. The time is the
// step's whole; counters: hold_ms, the longest the GUI thread went without turning its event loop
// in it (what a user waits on before a key is answered), and ns_per_mark, the cost of one mark,
// which stays flat as N grows when the work is linear. The shapes are hiddenText()'s.
void BM_HiddenMarks(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    const int count = int(state.range(0));
    const QString text = hiddenText(count, int(state.range(2)));
    Composer c;
    QObject* model = c.composer->property("model").value<QObject*>();
    HoldWatch hold;
    // Counted, then laid out and drawn.
    QObject* chips = model->property("attachments").value<QObject*>();
    // A paste past what the composer keeps inline goes as a chip (chips: 1), and has no marks to
    // remove.
    const auto counted = [&](int n) {
        while (model->property("hiddenCount").toInt() != n && chips->property("count").toInt() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        c.waitFrame();
        hold.stop();
    };
    const int step = int(state.range(1));  // 0: the paste, 1: Remove, 2: its undo
    double longest = 0;
    for (auto _ : state) {
        c.clear();
        hold.start();
        c.paste(text);
        counted(count);
        if (step >= 1) {
            hold.start();
            QMetaObject::invokeMethod(model, "removeHidden");
            counted(0);
        }
        if (step == 2) {
            hold.start();
            c.key(Qt::Key_Z, Qt::ControlModifier, {});
            counted(count);
        }
        state.SetIterationTime(hold.clock.nsecsElapsed() / 1e9);
        state.counters["ns_per_mark"] = double(hold.clock.nsecsElapsed()) / count;
        longest = std::max(longest, hold.longest / 1e6);
    }
    state.counters["hold_ms"] = longest;
    state.counters["chips"] = chips->property("count").toInt();
}
BENCHMARK(BM_HiddenMarks)
    ->ArgNames({"marks", "step", "shape"})
    ->ArgsProduct({{1000, 5000, 10000, 20000, 50000}, {0, 1, 2}, {0, 1}})
    ->ArgsProduct({{1000, 5000, 10000}, {0, 1, 2}, {2}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2);

// A keystroke (a letter, then its deletion) to the next frame drawn, at the end of a paragraph of
// prose holding N marks (hiddenText()'s shape 2, pasted), beside the same text as it reads set as
// the draft, no mark in it (1; too long to paste: it would become an attachment).
void BM_KeystrokeAfterMarks(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    const int count = int(state.range(0));
    QString text = hiddenText(count, 2);
    Composer c;
    QObject* model = c.composer->property("model").value<QObject*>();
    if (state.range(1) == 1) {
        QString typed;
        for (const QChar ch : std::as_const(text))
            typed += ch.isLetter() || ch == u' ' ? QString(ch) : QStringLiteral("<U+200B>");
        model->setProperty("draft", typed);
    } else {
        c.paste(text);
    }
    while (state.range(1) == 0 && model->property("hiddenCount").toInt() != count)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    c.waitFrame();
    for (auto _ : state) {
        c.typeOrDelete();
        c.waitFrame();
    }
}
BENCHMARK(BM_KeystrokeAfterMarks)->ArgNames({"marks", "typed"})->ArgsProduct({{1000, 10000}, {0, 1}})->Unit(benchmark::kMillisecond);

// Prose of about `chars` characters in `script` (0 Latin, 1 Hebrew, 2 Arabic), one paragraph, a
// U+200B inside every `every`-th word (none for 0).
QString scriptProse(int script, int chars, int every)
{
    static const QStringList words[] = {
        {QStringLiteral("store"), QStringLiteral("session"), QStringLiteral("write"), QStringLiteral("back"), QStringLiteral("once")},
        {QStringLiteral("\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8"), QStringLiteral("\u05DE\u05D7\u05D9\u05E8"), QStringLiteral("\u05E9\u05DC\u05D5\u05DD"),
         QStringLiteral("\u05E1\u05E4\u05E8"), QStringLiteral("\u05D1\u05D9\u05EA")},
        {QStringLiteral("\u0627\u0644\u0633\u0639\u0631"), QStringLiteral("\u0643\u062A\u0627\u0628"), QStringLiteral("\u0633\u0644\u0627\u0645"),
         QStringLiteral("\u0628\u064A\u062A"), QStringLiteral("\u0645\u062F\u064A\u0646\u0629")},
    };
    QString text;
    for (int i = 0; text.size() < chars; ++i) {
        const QString& w = words[script][i % 5];
        text += every > 0 && i % every == 0 ? w.left(2) + QChar(0x200B) + w.mid(2) : w;
        text += u' ';
    }
    return text;
}

// A keystroke (a letter, then its deletion) to the next frame drawn, at the end of a paragraph of
// 20,000 characters of Latin, Hebrew or Arabic prose: without marks (0), with 1,000 pasted hidden
// characters marked (1), and with the same marks' text typed, no mark in it (2). A draft of marks
// in right-to-left text should cost what it costs in Latin, and about what its typed text does.
// Counter: hold_ms, the longest a key held the GUI thread.
void BM_KeystrokeInScript(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    const int script = int(state.range(0)), kind = int(state.range(1));
    Composer c;
    QObject* model = c.composer->property("model").value<QObject*>();
    const QString text = scriptProse(script, 20000, kind == 0 ? 0 : 3);
    if (kind == 1) {
        c.paste(text);
        while (model->property("hiddenCount").toInt() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } else {
        model->setProperty("draft", kind == 2 ? QString(text).replace(QChar(0x200B), QStringLiteral("<U+200B>")) : text);
    }
    c.waitFrame();
    state.counters["marks"] = model->property("hiddenCount").toInt();
    HoldWatch hold;
    double longest = 0;
    for (auto _ : state) {
        hold.start();
        c.typeOrDelete();
        c.waitFrame();
        hold.stop();
        longest = std::max(longest, hold.longest / 1e6);
    }
    state.counters["hold_ms"] = longest;
}
BENCHMARK(BM_KeystrokeInScript)->ArgNames({"script", "marks"})->ArgsProduct({{0, 1, 2}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

// The paste of N words of a letter between two hidden characters (2N marks; 24,750 words, 49,500),
// and a key after it, in Latin, Hebrew and Arabic: the longest either holds the GUI thread
// (paste_ms, key_ms).
// A paste past what the composer keeps inline goes as a chip (chips: 1).
void BM_PasteManyMarksInScript(benchmark::State& state)
{
    benchchat::ensureQuickApp("bench_composer");
    const int script = int(state.range(0));
    // A letter between two hidden characters, words apart: 24,750 words are 98,999 characters,
    // just inside what a paste keeps as text.
    const QString w = scriptProse(script, 1, 0);
    QString text;
    for (int i = 0; i < state.range(1); ++i)
        text += QString(QChar(0x200B)) + w.at(i % 4) + QChar(0x200B) + u' ';
    text.chop(1);
    Composer c;
    QObject* model = c.composer->property("model").value<QObject*>();
    QObject* chips = model->property("attachments").value<QObject*>();
    HoldWatch hold;
    double paste = 0, key = 0;
    for (auto _ : state) {
        c.clear();
        hold.start();
        c.paste(text);
        while (model->property("hiddenCount").toInt() == 0 && chips->property("count").toInt() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        c.waitFrame();
        hold.stop();
        paste = std::max(paste, hold.longest / 1e6);
        hold.start();
        c.typeOrDelete();
        c.waitFrame();
        hold.stop();
        key = std::max(key, hold.longest / 1e6);
        state.SetIterationTime(hold.clock.nsecsElapsed() / 1e9);
    }
    state.counters["paste_ms"] = paste;
    state.counters["key_ms"] = key;
    state.counters["chips"] = chips->property("count").toInt();
    state.counters["marks"] = model->property("hiddenCount").toInt();
}
BENCHMARK(BM_PasteManyMarksInScript)
    ->ArgNames({"script", "words"})
    ->ArgsProduct({{0, 1, 2}, {2500, 5000, 10000, 24750}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2);

} // namespace
