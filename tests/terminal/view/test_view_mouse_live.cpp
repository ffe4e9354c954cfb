// Pointer and clipboard input against real programs on a pseudo-terminal, driven through the
// window like a user: drag-select a shell's output, Ctrl+Shift+C and Ctrl+Shift+V it back into
// the shell; click and drag in vim with `set mouse=a`. Runs offscreen under ctest and under xvfb-run with QT_QPA_PLATFORM=xcb; screenshots go
// to $TERMVIEW_TEST_SHOTS when it is set.
#include "LocalProcessTerminalView.h"
#include "support/TestApp.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

struct Owner : LocalProcessTerminalViewDelegate {
    void sizeChanged(LocalProcessTerminalView&, int, int) override {}
    void setTerminalTitle(LocalProcessTerminalView&, const QString&) override {}
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<QString>&) override {}
    void processTerminated(TerminalView&, std::optional<int32_t>) override {}
};

class LiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApp();
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<QQuickWindow>();
        QFont f("DejaVu Sans Mono");
        f.setPixelSize(12);
        view = new LocalProcessTerminalView(window->contentItem(), f);
        view->processDelegate = &owner;
        const QSizeF c = *view->cellDimension;
        view->setSize(QSizeF(c.width() * 60 + 15, c.height() * 16));
        window->resize(view->size().toSize());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->requestActivate();
        view->forceActiveFocus();
    }
    void TearDown() override
    {
        if (view && view->running())
            view->process->terminate();
        window.reset();
    }

    QStringList environment() const
    {
        return {QStringLiteral("TERM=xterm-256color"), QStringLiteral("LANG=C.UTF-8"), "HOME=" + dir.path(),
                QStringLiteral("PATH=/usr/bin:/bin"), QStringLiteral("PS1=$ ")};
    }
    QString screen() const
    {
        QString out;
        auto& t = view->getTerminal();
        for (int r = 0; r < t.rows(); ++r)
            out += QString::fromStdString(t.getLine(r)->translateToString(true, 0, -1)).replace(QChar(0), ' ') + '\n';
        return out;
    }
    bool waitScreen(const QString& text, int ms = 10000)
    {
        return waitUntil([&] { return screen().contains(text); }, ms);
    }
    // The screen row and column where a text first shows.
    QPoint find(const QString& text) const
    {
        const QStringList rows = screen().split('\n');
        for (int r = 0; r < rows.size(); ++r)
            if (const int c = rows[r].indexOf(text); c >= 0)
                return {c, r};
        return {-1, -1};
    }
    QPoint cellPoint(int col, int row) const
    {
        const QSizeF c = *view->cellDimension;
        return view->mapToScene(QPointF(c.width() * (col + 0.5), c.height() * (row + 0.5))).toPoint();
    }
    void dragCells(QPoint from, QPoint to)
    {
        QTest::mousePress(window.get(), Qt::LeftButton, {}, cellPoint(from.x(), from.y()));
        const int steps = 4;
        for (int i = 1; i <= steps; ++i) {
            const QPoint p = cellPoint(from.x() + (to.x() - from.x()) * i / steps, from.y() + (to.y() - from.y()) * i / steps);
            QTest::mouseMove(window.get(), p);
        }
        QTest::mouseRelease(window.get(), Qt::LeftButton, {}, cellPoint(to.x(), to.y()));
    }
    // Ctrl+Shift+<letter> key by key, as a keyboard sends it.
    void chord(Qt::Key letter)
    {
        const auto cs = Qt::ControlModifier | Qt::ShiftModifier;
        QTest::keyPress(window.get(), Qt::Key_Control, Qt::ControlModifier);
        QTest::keyPress(window.get(), Qt::Key_Shift, cs);
        QTest::keyClick(window.get(), letter, cs);
        QTest::keyRelease(window.get(), Qt::Key_Shift, Qt::ControlModifier);
        QTest::keyRelease(window.get(), Qt::Key_Control, Qt::NoModifier);
    }
    void type(const QByteArray& text) { view->process->send(text); }
    void shot(const QString& name)
    {
        if (const QByteArray d = qgetenv("TERMVIEW_TEST_SHOTS"); !d.isEmpty()) {
            if (view->pendingDisplay())
                view->updateDisplay(false);
            QCoreApplication::processEvents();
            window->grabWindow().save(QString::fromLocal8Bit(d) + "/" + name + ".png");
        }
    }
    QString readFileWhenThere(const QString& name)
    {
        const QString path = dir.filePath(name);
        QByteArray text;
        // writefile() ends its one line with a line feed: the whole file is there.
        const bool whole = waitUntil([&] {
            QFile f(path);
            text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            return text.endsWith('\n');
        }, 10000);
        return whole ? QString::fromUtf8(text).trimmed() : QStringLiteral("<missing>");
    }

    QTemporaryDir dir;
    std::unique_ptr<QQuickWindow> window;
    LocalProcessTerminalView* view = nullptr;
    Owner owner;
};

TEST_F(LiveTest, drag_selected_shell_output_copies_and_pastes_back_into_the_shell)
{
    view->startProcess("/bin/sh", {}, environment(), std::nullopt, dir.path());
    ASSERT_TRUE(waitScreen("$ "));
    type("printf '%s-%s\\n' pointer check\n");
    ASSERT_TRUE(waitScreen("pointer-check\n")) << screen().toStdString();
    const QPoint at = find("pointer-check");
    ASSERT_GE(at.x(), 0);
    dragCells(at, at + QPoint(13, 0)); // the selection ends before the cell the drag stops on
    ASSERT_TRUE(view->selectionActive());
    EXPECT_EQ(view->getSelection().value_or(""), "pointer-check");
    shot("live-shell-selected");

    QGuiApplication::clipboard()->setText("stale");
    chord(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "pointer-check");

    // Paste it after "echo pasted:" and run it.
    type("echo pasted:");
    ASSERT_TRUE(waitScreen("$ echo pasted:"));
    chord(Qt::Key_V);
    ASSERT_TRUE(waitScreen("echo pasted:pointer-check")) << screen().toStdString();
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_TRUE(waitScreen("\npasted:pointer-check\n")) << screen().toStdString();
    shot("live-shell-pasted");
}

// vim turns on button-event tracking (1002) with SGR reports, so its drags arrive as motion with
// the button held, and hears the right button.
TEST_F(LiveTest, vim_with_mouse_a_receives_clicks_and_drags)
{
    const QString vim = QStandardPaths::findExecutable(QStringLiteral("vim"));
    if (vim.isEmpty())
        GTEST_SKIP() << "vim is not installed";
    QFile file(dir.filePath("v.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int i = 1; i <= 30; ++i)
        file.write("vim line " + QByteArray::number(i) + " some words here\n");
    file.close();
    view->startProcess(vim,
                       {"-u", "NONE", "-i", "NONE", "-N", "-n", "--cmd",
                        QStringLiteral("set mouse=a ttymouse=sgr nowrap"), "v.txt"},
                       environment(), std::nullopt, dir.path());
    ASSERT_TRUE(waitScreen("vim line 1 some")) << screen().toStdString();
    ASSERT_TRUE(waitUntil([&] { return view->getTerminal().mouseMode() != termcore::MouseMode::off; }, 5000))
        << "vim did not turn the mouse on";

    // A click puts vim's cursor under the pointer (screen row 4 = line 5, column 9 = col 10).
    QTest::mouseClick(window.get(), Qt::LeftButton, {}, cellPoint(9, 4));
    type("\x1b:call writefile([line('.') . ',' . col('.')], 'pos.txt')\r");
    EXPECT_EQ(readFileWhenThere("pos.txt"), "5,10");

    // A drag makes a visual selection from the press to the release.
    // Past the double-click interval (the limit is the subject), so the press starts afresh.
    spin(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    dragCells(QPoint(0, 1), QPoint(7, 2));
    EXPECT_TRUE(waitScreen("-- VISUAL --")) << screen().toStdString();
    EXPECT_EQ(view->getTerminal().mouseMode(), termcore::MouseMode::buttonEventTracking);
    shot(QStringLiteral("live-vim-drag"));
    type("y:call writefile(split(@\", \"\\n\", 1), 'yank.txt')\r");
    EXPECT_EQ(readFileWhenThere("yank.txt"), "vim line 2 some words here\nvim line");

    // The right button extends a selection in vim (mousemodel=extend): from the cursor a click put
    // on line 6 to the right click on line 7.
    QTest::mouseClick(window.get(), Qt::LeftButton, {}, cellPoint(0, 5));
    QTest::mouseClick(window.get(), Qt::RightButton, {}, cellPoint(5, 6));
    EXPECT_TRUE(waitScreen("-- VISUAL --")) << screen().toStdString();
    type("y:call writefile(split(@\", \"\\n\", 1), 'extended.txt')\r");
    EXPECT_EQ(readFileWhenThere("extended.txt"), "vim line 6 some words here\nvim li");
    type("\x1b:qa!\r");
    EXPECT_TRUE(waitUntil([&] { return !view->running(); }, 5000));
}

// A full-screen program that asks for what the agents' own interfaces ask for (alternate screen,
// mouse reports with SGR coordinates, focus reports) and shows every byte it receives.
TEST_F(LiveTest, a_full_screen_program_hears_the_wheel_modified_keys_and_focus)
{
    const QString script = QStringLiteral(
        "printf '\\033[?1049h\\033[?1000h\\033[?1006h\\033[?1004h\\033[H'; "
        "printf '\\033[2mdim secondary text\\033[0m plain text\\r\\n'; "
        "stty raw -echo; printf 'ready\\r\\n'; exec cat -v");
    view->startProcess("/bin/sh", {"-c", script}, environment(), std::nullopt, dir.path());
    ASSERT_TRUE(waitScreen("ready")) << screen().toStdString();
    ASSERT_TRUE(view->getTerminal().sendFocus);

    const QPointF at = cellPoint(4, 2);
    QWheelEvent up(at, window->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window.get(), &up);
    EXPECT_TRUE(waitScreen("\n^[[<64;5;3M")) << screen().toStdString();
    QTest::keyClick(window.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(waitScreen("\n^[[<64;5;3M^[[1;5F")) << "one report for one notch: " << screen().toStdString();
    QTest::keyClick(window.get(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_TRUE(waitScreen("^[[1;5F^[[1;2A")) << screen().toStdString();

    QQuickWindow other;
    other.resize(40, 40);
    other.show();
    other.requestActivate();
    ASSERT_TRUE(waitUntil([&] { return !window->isActive(); }, 5000));
    window->requestActivate();
    ASSERT_TRUE(waitUntil([&] { return window->isActive(); }, 5000));
    EXPECT_TRUE(waitScreen("^[[1;2A^[[O^[[I")) << screen().toStdString();
    shot(QStringLiteral("live-full-screen-input"));
    view->process->terminate();
}

// A picker drawn under the shell prompt asks for mouse reports without the alternate screen: the
// wheel reaches it, one report a notch, and the scrollback above it stays put.
TEST_F(LiveTest, a_prompt_on_the_normal_screen_hears_the_wheel_once_per_notch)
{
    const QString script = QStringLiteral(
        "seq 1 40; printf '\\033[?1000h\\033[?1006h'; stty raw -echo; printf 'ready\\r\\n'; exec cat -v");
    view->startProcess("/bin/sh", {"-c", script}, environment(), std::nullopt, dir.path());
    ASSERT_TRUE(waitScreen("ready")) << screen().toStdString();
    const int bottom = view->getTerminal().buffer().yDisp();
    ASSERT_GT(bottom, 0) << "the numbers fill the scrollback";
    const QPointF at = cellPoint(2, 3);
    for (const int notch : {120, 120, -120}) {
        QWheelEvent ev(at, window->mapToGlobal(at), {}, {0, notch}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                       false);
        QCoreApplication::sendEvent(window.get(), &ev);
    }
    QTest::keyClick(window.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(waitScreen("\n^[[<64;3;4M^[[<64;3;4M^[[<65;3;4M^[[1;5F")) << screen().toStdString();
    EXPECT_EQ(view->getTerminal().buffer().yDisp(), bottom);
    view->process->terminate();
}

} // namespace
