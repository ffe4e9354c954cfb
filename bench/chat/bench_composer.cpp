// Typing in the chat editor with a long draft: one keystroke in a 5,000-character draft, through
// the text's layout and the editor's height, and through the next frame drawn (software).
// Run a Release build: build/bench/bench_composer.
#include "BenchChatSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <benchmark/benchmark.h>

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

struct Editor {
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    QQuickItem* editor = nullptr;
    QQuickItem* edit = nullptr;
    int frames = 0;

    Editor()
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent c(&engine);
        c.setData("import QtQuick\nimport Brinmoor.Chat\nWindow { width: 520; height: 200; visible: true\n"
                  "ChatTextEditor { objectName: 'editor'; y: 200 - height; width: 520 } }",
                  QUrl());
        window.reset(qobject_cast<QQuickWindow*>(c.create()));
        if (!window)
            qFatal("%s", qPrintable(c.errorString()));
        editor = window->findChild<QQuickItem*>(QStringLiteral("editor"));
        edit = window->findChild<QQuickItem*>(QStringLiteral("chatEdit"));
        QObject::connect(window.get(), &QQuickWindow::frameSwapped, [this] { ++frames; });
        edit->setProperty("text", draft());
        edit->forceActiveFocus();
        edit->setProperty("cursorPosition", 2500);
        waitFrame();
    }
    void key(int k, const QString& text)
    {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(window.get(), &press);
        QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(window.get(), &release);
    }
    // One keystroke, alternately typing a letter and deleting it, so the draft stays 5,000 long.
    void typeOrDelete()
    {
        if (insertNext)
            key(Qt::Key_A, QStringLiteral("a"));
        else
            key(Qt::Key_Backspace, {});
        insertNext = !insertNext;
    }
    bool insertNext = true;
    void waitFrame()
    {
        const int before = frames;
        window->requestUpdate();
        while (frames == before)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
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

} // namespace
