// The terminal view that owns its child: output in, keys out, size to the pseudo-terminal,
// title, directory and exit to the owner.
#include "Assets.h"
#include "DesktopBell.h"
#include "LocalProcessTerminalView.h"
#include "Diagnostics.h"
#include "support/TestApp.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Owner : LocalProcessTerminalViewDelegate {
    std::vector<std::pair<int, int>> sizes;
    std::vector<QString> titles;
    std::vector<std::optional<QString>> dirs;
    std::vector<TerminalView*> dirSources;
    std::vector<std::optional<int32_t>> exits;
    void sizeChanged(LocalProcessTerminalView&, int c, int r) override { sizes.push_back({c, r}); }
    void setTerminalTitle(LocalProcessTerminalView&, const QString& t) override { titles.push_back(t); }
    void hostCurrentDirectoryUpdate(TerminalView& s, const std::optional<QString>& d) override
    {
        dirSources.push_back(&s);
        dirs.push_back(d);
    }
    void processTerminated(TerminalView&, std::optional<int32_t> code) override { exits.push_back(code); }
};

QString screen(TerminalView& v)
{
    QString out;
    for (int r = 0; r < v.getTerminal().rows(); ++r)
        out += QString::fromStdString(v.getTerminal().getLine(r)->translateToString(true, 0, -1)).replace(QChar(0), ' ') + '\n';
    return out;
}

struct Fixture {
    struct AppFirst {
        AppFirst() { ensureGuiApp(); }
    } app; // before the window
    Fixture()
    {
        QFont f("DejaVu Sans Mono");
        f.setPixelSize(12);
        view = new LocalProcessTerminalView(window.contentItem(), f);
        view->setSize(QSizeF(7 * 40 + 15, 14 * 10));
        view->processDelegate = &owner;
        window.resize(400, 200);
        window.show();
    }
    // Waits until the screen shows `pattern`; says what it shows instead.
    ::testing::AssertionResult shows(const QRegularExpression& pattern, int ms = 5000)
    {
        if (waitUntil([&] { return screen(*view).contains(pattern); }, ms))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << screen(*view).toStdString();
    }
    QQuickWindow window;
    LocalProcessTerminalView* view = nullptr;
    Owner owner;
};

} // namespace

TEST(LocalProcessTerminalView, window_size_follows_the_grid_and_the_frame)
{
    Fixture fx;
    fx.view->setSize(QSizeF(800, 600));
    fx.view->getTerminal().resize(100, 40);
    winsize ws = fx.view->getWindowSize();
    EXPECT_EQ(ws.ws_row, 40);
    EXPECT_EQ(ws.ws_col, 100);
    EXPECT_EQ(ws.ws_xpixel, 800);
    EXPECT_EQ(ws.ws_ypixel, 600);
    fx.view->setSize(QSizeF(640.7, 600));
    EXPECT_EQ(fx.view->getWindowSize().ws_xpixel, 640);

    // Before the start a resize touches no descriptor and tells the owner nothing.
    fx.owner.sizes.clear();
    fx.view->setSize(QSizeF(7 * 30 + 15, 14 * 8));
    EXPECT_TRUE(fx.owner.sizes.empty());
}

TEST(LocalProcessTerminalView, output_keys_size_title_directory_and_exit)
{
    Fixture fx;
    fx.view->setSize(QSizeF(7 * 40 + 15, 14 * 10));
    fx.view->startProcess("/bin/sh", {}, QStringList{"PATH=/usr/bin:/bin", "PS1=$ ", "TERM=xterm-256color"});
    ASSERT_TRUE(fx.view->running());
    ASSERT_TRUE(waitUntil([&] { return screen(*fx.view).contains("$ "); })) << screen(*fx.view).toStdString();

    // The bell after the two OSC strings rings the desktop's bell once (their BEL terminators do not).
    int rung = 0;
    const auto desktopBell = brinmoor::DesktopBell::setRinger([&rung] { ++rung; });
    const int beeps = brinmoor::AlertSound::beepCount();
    fx.view->send(QString("stty size; printf '\\033]2;my title\\007\\033]7;file://host/tmp/here\\007\\007'\r"));
    ASSERT_TRUE(waitUntil([&] { return screen(*fx.view).contains("10 40"); })) << screen(*fx.view).toStdString();
    ASSERT_TRUE(waitUntil([&] { return !fx.owner.titles.empty() && !fx.owner.dirs.empty(); }));
    EXPECT_TRUE(waitUntil([&] { return rung == 1; }, 2000));
    EXPECT_EQ(brinmoor::AlertSound::beepCount(), beeps + 1);
    brinmoor::DesktopBell::setRinger(desktopBell);
    EXPECT_EQ(fx.owner.titles.back(), "my title");
    EXPECT_EQ(fx.owner.dirSources.back(), fx.view);
    ASSERT_TRUE(fx.owner.dirs.back().has_value());

    // A new size reaches the pseudo-terminal and the owner.
    fx.view->setSize(QSizeF(7 * 50 + 15, 14 * 12));
    ASSERT_FALSE(fx.owner.sizes.empty());
    EXPECT_EQ(fx.owner.sizes.back(), std::make_pair(50, 12));
    fx.view->send(QString("stty size\r"));
    ASSERT_TRUE(waitUntil([&] { return screen(*fx.view).contains("12 50"); })) << screen(*fx.view).toStdString();

    fx.view->send(QString("exit 3\r"));
    ASSERT_TRUE(waitUntil([&] { return !fx.owner.exits.empty(); }));
    EXPECT_EQ(fx.owner.exits[0], 768);
    EXPECT_FALSE(fx.view->running());
    // Afterwards the last screen stays and typing goes nowhere.
    fx.view->send(QString("lost\r"));
    EXPECT_TRUE(screen(*fx.view).contains("exit 3"));
}

TEST(LocalProcessTerminalView, clipboard_takes_only_utf8)
{
    Fixture fx;
    QClipboard* cb = QGuiApplication::clipboard();
    cb->setText("before");
    fx.view->clipboardCopy(*fx.view, QByteArray("\xff\xfe bad"));
    EXPECT_EQ(cb->text(), "before");
    fx.view->clipboardCopy(*fx.view, QByteArray("gr\xc3\xbc\xc3\x9f"));
    EXPECT_EQ(cb->text(), QString::fromUtf8("grüß"));
}

TEST(LocalProcessTerminalView, a_view_dropped_while_its_shell_runs_leaves_no_process)
{
    pid_t pid = 0;
    {
        Fixture fx;
        fx.view->startProcess("/bin/sh", {}, QStringList{"PATH=/usr/bin:/bin"});
        pid = fx.view->process->shellPid();
        ASSERT_GT(pid, 0);
        delete fx.view;
    }
    EXPECT_TRUE(waitUntil([&] { return ::kill(pid, 0) != 0; }, 5000)) << "the shell outlived its view";
}

TEST(LocalProcessTerminalView, unread_replies_are_bounded_while_keys_and_pastes_go_through_whole)
{
    // The child reads nothing until the gate exists (a shell running `cat` of device attribute
    // queries), then reads up to the paste's end and says what it got.
    Fixture fx;
    QTemporaryDir dir;
    const QString gate = dir.filePath("gate");
    const QString count = "import os\nd=b''\nwhile not d.endswith(b'END'): d+=os.read(0,65536)\n"
                          "print('read', d.count(b'\\x1b[?65;'), d.count(b'k'), d.count(b'p'), 'done')";
    fx.view->startProcess("/bin/sh", {"-c", "stty raw -echo; printf ready; while [ ! -e '" + gate
                                                + "' ]; do sleep 0.05; done; exec python3 -c \"$0\"", count},
                          QStringList{"PATH=/usr/bin:/bin"});
    ASSERT_TRUE(fx.shows(QRegularExpression("ready")));

    termcore::Diagnostics::Capture diagnostics;
    const QByteArray queries = QByteArray("\x1b[c").repeated(100000);
    fx.view->feed(std::span(reinterpret_cast<const uint8_t*>(queries.constData()), size_t(queries.size())));
    const int limit = int(LocalProcess::replyBacklogLimit);
    EXPECT_LE(fx.view->process->pendingReplyBytes(), size_t(limit));
    EXPECT_GT(fx.view->process->droppedReplyBytes, 0);
    EXPECT_EQ(std::count_if(diagnostics.lines().begin(), diagnostics.lines().end(),
                            [](const std::string& l) { return l.find("replies") != std::string::npos; }), 1)
        << "warned once";

    // Keys and a paste far over the bound are queued whole behind the replies.
    fx.view->send(QString("k"));
    QGuiApplication::clipboard()->setText(QString(3 * limit, 'p') + "END");
    fx.view->paste();
    QFile(gate).open(QIODevice::WriteOnly);
    ASSERT_TRUE(fx.shows(QRegularExpression("done"), 30000));
    const QStringList got = screen(*fx.view).section("read ", 1).split(' ');
    // The pseudo-terminal's own buffer (64 KB and a line) took replies before the queue began.
    EXPECT_LE(got[0].toInt() * int(std::strlen("\x1b[?65;4;1;2;6;21;22;17;28c")), limit + 80 * 1024);
    EXPECT_EQ(got[1].toInt(), 1);
    EXPECT_EQ(got[2].toInt(), 3 * limit);
}

TEST(LocalProcessTerminalView, reset_keeps_the_panes_size)
{
    // What `reset` prints for xterm-256color, 80 columns (CSI ? 3 l) included: the pane stays 40 wide.
    Fixture fx;
    fx.view->startProcess("/bin/sh", {}, QStringList{"PATH=/usr/bin:/bin", "PS1=$ ", "TERM=xterm-256color"});
    ASSERT_TRUE(fx.shows(QRegularExpression("\\$ ")));
    fx.view->send(QString("printf '\\033c\\033[!p\\033[?3;4l\\033[4l\\033>'; echo reset-done\r"));
    ASSERT_TRUE(fx.shows(QRegularExpression("^reset-done\\n\\$ ")));
    fx.view->send(QString("stty size\r"));
    ASSERT_TRUE(fx.shows(QRegularExpression("\\n\\d+ \\d+")));
    EXPECT_TRUE(fx.shows(QRegularExpression("\\n10 40\\n")));
    EXPECT_EQ(fx.view->getTerminal().cols(), 40);
}
