// Copy, paste and select all on a terminal view, driven the way a keyboard drives them (modifier
// keys arrive as key presses of their own before the letter), and what a paste sends.
#include "SelectionService.h"
#include "support/ViewHarness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct Recorder : SendRecorder<> {
    std::string all() const
    {
        std::string s;
        for (const auto& b : sent)
            s.append(b.begin(), b.end());
        return s;
    }
};

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        h = std::make_unique<ViewHarness>(20, 4);
        h->view->terminalDelegate = &rec;
        h->view->forceActiveFocus();
        QGuiApplication::clipboard()->setText("untouched");
    }
    void TearDown() override { h->view->terminalDelegate = nullptr; }

    void key(QEvent::Type type, int k, Qt::KeyboardModifiers mods, const QString& text = {})
    {
        QKeyEvent ev(type, k, mods, text);
        QCoreApplication::sendEvent(h->view, &ev);
    }
    // Ctrl+Shift+<letter> as a keyboard sends it: Ctrl down, Shift down, the letter, then all up.
    void chord(int letter)
    {
        const auto cs = Qt::ControlModifier | Qt::ShiftModifier;
        key(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
        key(QEvent::KeyPress, Qt::Key_Shift, cs);
        key(QEvent::KeyPress, letter, cs);
        key(QEvent::KeyRelease, letter, cs);
        key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ControlModifier);
        key(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    }
    // Drags from one cell to another; the selection ends before the cell it stops on.
    void drag(int fromCol, int row, int toCol)
    {
        const QSizeF c = h->cell();
        const QPointF a(c.width() * (fromCol + 0.3), c.height() * (row + 0.5));
        const QPointF b(c.width() * (toCol + 0.3), c.height() * (row + 0.5));
        QMouseEvent press(QEvent::MouseButtonPress, a, a, a, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(h->view, &press);
        QMouseEvent move(QEvent::MouseMove, b, b, b, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(h->view, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, b, b, b, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(h->view, &release);
    }
    QString clipboard() const { return QGuiApplication::clipboard()->text(); }

    std::unique_ptr<ViewHarness> h;
    Recorder rec;
};

TEST_F(ClipboardTest, ctrl_shift_c_copies_a_dragged_selection_whatever_modifier_goes_down_first)
{
    h->feed("hello brave world");
    drag(6, 0, 11);
    ASSERT_EQ(h->view->getSelection().value_or(""), "brave");
    chord(Qt::Key_C);
    EXPECT_EQ(clipboard(), "brave");
    EXPECT_TRUE(h->view->selectionActive()) << "copying keeps the selection";
    EXPECT_TRUE(rec.sent.empty()) << "no key of the chord reaches the program";

    // Shift first, then Ctrl.
    QGuiApplication::clipboard()->setText("untouched");
    const auto cs = Qt::ControlModifier | Qt::ShiftModifier;
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_Control, cs);
    key(QEvent::KeyPress, Qt::Key_C, cs);
    EXPECT_EQ(clipboard(), "brave");
    EXPECT_TRUE(rec.sent.empty());
}

TEST_F(ClipboardTest, copy_with_nothing_selected_leaves_the_clipboard_alone)
{
    h->feed("text");
    ASSERT_FALSE(h->view->selectionActive());
    chord(Qt::Key_C);
    EXPECT_EQ(clipboard(), "untouched");
}

TEST_F(ClipboardTest, select_all_then_copy_takes_the_scrollback_too)
{
    for (int i = 0; i < 12; ++i)
        h->feed("line" + QByteArray::number(i) + "\r\n");
    h->feed("last");
    ASSERT_GT(h->terminal().buffer().yBase(), 0) << "lines went to the scrollback";
    chord(Qt::Key_A);
    ASSERT_TRUE(h->view->selectionActive());
    chord(Qt::Key_C);
    const QString text = clipboard();
    EXPECT_TRUE(text.startsWith("line0\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("line11\nlast")) << text.toStdString();
    // The menu command does the same.
    QGuiApplication::clipboard()->setText("untouched");
    h->view->selectAll();
    h->view->copy();
    EXPECT_EQ(clipboard(), text);
}

TEST_F(ClipboardTest, paste_sends_the_text_unchanged_in_one_send_without_bracketed_paste)
{
    QGuiApplication::clipboard()->setText("echo one\necho two\r\n");
    chord(Qt::Key_V);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.all(), "echo one\necho two\r\n");
}

TEST_F(ClipboardTest, bracketed_paste_wraps_the_text_and_no_marker_inside_survives)
{
    h->feed("\x1b[?2004h");
    QGuiApplication::clipboard()->setText("ls\nrm -i x\n");
    chord(Qt::Key_V);
    EXPECT_EQ(rec.all(), "\x1b[200~ls\nrm -i x\n\x1b[201~");
    rec.sent.clear();

    // An end marker inside the text would end the paste early and run the rest as typed.
    QGuiApplication::clipboard()->setText("a\x1b[201~b\x1b[200~c");
    h->view->paste();
    EXPECT_EQ(rec.all(), "\x1b[200~abc\x1b[201~");
    rec.sent.clear();

    // Nor may taking markers out put a new one together from the pieces around them.
    for (const char* nasty : {"x\x1b[20\x1b[201~1~evil\n", "x\x1b[2\x1b[200~01~evil\n", "x\x1b\x1b[201~[201~evil\n"}) {
        QGuiApplication::clipboard()->setText(QString::fromLatin1(nasty));
        h->view->paste();
        const std::string out = rec.all();
        rec.sent.clear();
        ASSERT_GE(out.size(), 12u);
        EXPECT_EQ(out.find("\x1b[201~"), out.size() - 6) << "only the closing marker: " << out;
        EXPECT_EQ(out.rfind("\x1b[200~"), 0u) << "only the opening marker: " << out;
        EXPECT_NE(out.find("evil"), std::string::npos) << "the rest of the text still arrives";
    }

    // Switched off again, pastes are plain.
    h->feed("\x1b[?2004l");
    QGuiApplication::clipboard()->setText("plain\x1b[201~");
    h->view->paste();
    EXPECT_EQ(rec.all(), "plain\x1b[201~");
}

TEST_F(ClipboardTest, paste_scrolls_back_to_the_cursor_first)
{
    for (int i = 0; i < 20; ++i)
        h->feed("l\r\n");
    auto& buf = h->terminal().buffer();
    h->view->scrollTo(0);
    ASSERT_EQ(buf.yDisp(), 0);
    QGuiApplication::clipboard()->setText("x");
    h->view->paste();
    EXPECT_EQ(buf.yDisp(), buf.yBase());
    EXPECT_EQ(rec.all(), "x");
}

TEST_F(ClipboardTest, an_empty_clipboard_pastes_nothing_harmful)
{
    QGuiApplication::clipboard()->clear();
    h->view->paste();
    EXPECT_EQ(rec.all(), "");
    h->feed("\x1b[?2004h");
    h->view->paste();
    EXPECT_EQ(rec.all(), "\x1b[200~\x1b[201~");
}

} // namespace
