// Keyboard, input-method and clipboard input of the terminal view, with synthetic events.
#include "SelectionService.h"
#include "support/ViewHarness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes b(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

using Keys = SendRecorder<>;

class KeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        h = std::make_unique<ViewHarness>(20, 5);
        h->view->terminalDelegate = &keys;
        h->view->forceActiveFocus();
    }
    void TearDown() override { h->view->terminalDelegate = nullptr; }

    // Presses a key on the view; returns whether the view took it.
    bool press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {})
    {
        QKeyEvent ev(QEvent::KeyPress, key, mods, text);
        QCoreApplication::sendEvent(h->view, &ev);
        return ev.isAccepted();
    }
    Bytes only()
    {
        EXPECT_EQ(keys.sent.size(), 1u);
        Bytes r = keys.sent.empty() ? Bytes{} : keys.sent.back();
        keys.sent.clear();
        return r;
    }

    std::unique_ptr<ViewHarness> h;
    Keys keys;
};

} // namespace

TEST_F(KeyTest, alt_is_meta_and_control_gives_control_codes)
{
    press(Qt::Key_X, Qt::AltModifier, "x");
    ASSERT_EQ(keys.sent.size(), 2u) << "ESC and the letter go as two sends";
    EXPECT_EQ(keys.sent[0], b("\x1b"));
    EXPECT_EQ(keys.sent[1], b("x"));
    keys.sent.clear();
    press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(only(), b("\x1b" "f"));
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(only(), b("\x1b" "b"));

    // QKeyEvent::text() already holds the control code; the key decides.
    press(Qt::Key_C, Qt::ControlModifier, "\x03");
    EXPECT_EQ(only(), Bytes{3});
    press(Qt::Key_Space, Qt::ControlModifier, " ");
    EXPECT_EQ(only(), Bytes{0});
    press(Qt::Key_6, Qt::ControlModifier, "6");
    EXPECT_EQ(only(), Bytes{30});
    press(Qt::Key_BracketLeft, Qt::ControlModifier, "\x1b");
    EXPECT_EQ(only(), Bytes{27});
    press(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(only(), b("\x1b[1;5C"));
    press(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(only(), b("\x1b[1;5D"));
    press(Qt::Key_1, Qt::ControlModifier, "1");
    EXPECT_EQ(only(), Bytes{}) << "no control code: an empty run";
    press(Qt::Key_Return, Qt::ControlModifier, "\r");
    EXPECT_EQ(only(), b("\r"));

    // With Meta off, Alt+x is ordinary text.
    h->view->optionAsMetaKey = false;
    press(Qt::Key_X, Qt::AltModifier, "x");
    EXPECT_EQ(only(), b("x"));
}

TEST_F(KeyTest, every_control_chord_xterm_knows_sends_its_byte)
{
    // The bytes xterm sends for these chords (compared under X, US layout): Qt gives the key of
    // the shifted symbol (Ctrl+Shift+2 arrives as Key_At) and the modifiers held.
    using M = Qt::KeyboardModifier;
    const auto cs = M::ControlModifier | M::ShiftModifier;
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        uint8_t sent;
    } cases[] = {
        {Qt::Key_Slash, M::ControlModifier, 0x1f}, {Qt::Key_At, cs, 0x00},
        {Qt::Key_2, M::ControlModifier, 0x00},     {Qt::Key_3, M::ControlModifier, 0x1b},
        {Qt::Key_4, M::ControlModifier, 0x1c},     {Qt::Key_5, M::ControlModifier, 0x1d},
        {Qt::Key_6, M::ControlModifier, 0x1e},     {Qt::Key_7, M::ControlModifier, 0x1f},
        {Qt::Key_8, M::ControlModifier, 0x7f},     {Qt::Key_Question, cs, 0x7f},
        {Qt::Key_Space, M::ControlModifier, 0x00}, {Qt::Key_BracketLeft, M::ControlModifier, 0x1b},
        {Qt::Key_Backslash, M::ControlModifier, 0x1c}, {Qt::Key_BracketRight, M::ControlModifier, 0x1d},
        {Qt::Key_AsciiCircum, cs, 0x1e},           {Qt::Key_Underscore, cs, 0x1f},
        {Qt::Key_QuoteLeft, M::ControlModifier, 0x00}, {Qt::Key_BraceLeft, cs, 0x1b},
        {Qt::Key_Bar, cs, 0x1c},                   {Qt::Key_AsciiTilde, cs, 0x1e},
        {Qt::Key_A, M::ControlModifier, 0x01},     {Qt::Key_Z, cs, 0x1a},
    };
    for (const char* mode : {"\x1b[?1l", "\x1b[?1h"}) {
        h->feed(mode);
        for (const auto& c : cases) {
            press(c.key, c.mods);
            EXPECT_EQ(only(), Bytes{c.sent}) << "key " << std::hex << c.key << " mode " << mode + 2;
            // Alt (Meta) puts ESC before it, as for letters.
            press(c.key, c.mods | M::AltModifier);
            ASSERT_EQ(keys.sent.size(), 2u) << "key " << std::hex << c.key;
            EXPECT_EQ(keys.sent[0], b("\x1b"));
            EXPECT_EQ(keys.sent[1], Bytes{c.sent}) << "Alt+key " << std::hex << c.key;
            keys.sent.clear();
        }
    }
    // Keys xterm leaves alone keep what they did; the clipboard chords stay the clipboard's.
    for (int key : {Qt::Key_1, Qt::Key_9, Qt::Key_0, Qt::Key_Minus, Qt::Key_Equal, Qt::Key_Semicolon, Qt::Key_Comma}) {
        press(key, M::ControlModifier);
        EXPECT_EQ(only(), Bytes{}) << "key " << std::hex << key;
    }
    QGuiApplication::clipboard()->setText("clip");
    press(Qt::Key_V, cs);
    EXPECT_EQ(only(), b("clip"));
}

TEST_F(KeyTest, function_navigation_and_editing_keys)
{
    press(Qt::Key_F5);
    EXPECT_EQ(only(), b("\x1b[15~"));
    press(Qt::Key_F1);
    EXPECT_EQ(only(), b("\x1bOP"));
    press(Qt::Key_F12);
    EXPECT_EQ(only(), b("\x1b[24~"));
    EXPECT_FALSE(press(Qt::Key_F11)) << "F11 belongs to the window (full screen)";
    EXPECT_TRUE(keys.sent.empty());
    press(Qt::Key_Delete);
    EXPECT_EQ(only(), b("\x1b[3~"));
    press(Qt::Key_Backspace, Qt::NoModifier, "\x7f");
    EXPECT_EQ(only(), Bytes{0x7f});
    h->view->backspaceSendsControlH = true;
    press(Qt::Key_Backspace, Qt::NoModifier, "\x08");
    EXPECT_EQ(only(), Bytes{0x08});
    press(Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(only(), b("\r"));
    press(Qt::Key_Escape, Qt::NoModifier, "\x1b");
    EXPECT_EQ(only(), b("\x1b"));
    press(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(only(), b("\t"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(only(), b("\x1b[Z"));

    press(Qt::Key_Up);
    EXPECT_EQ(only(), b("\x1b[A"));
    press(Qt::Key_Home);
    EXPECT_EQ(only(), b("\x1b[H"));
    press(Qt::Key_End);
    EXPECT_EQ(only(), b("\x1b[F"));
    h->feed("\x1b[?1h"); // application cursor keys (DECCKM)
    press(Qt::Key_Up);
    EXPECT_EQ(only(), b("\x1bOA"));
    press(Qt::Key_Right);
    EXPECT_EQ(only(), b("\x1bOC"));
    press(Qt::Key_Home);
    EXPECT_EQ(only(), b("\x1bOH"));
    press(Qt::Key_End);
    EXPECT_EQ(only(), b("\x1bOF"));
    press(Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(only(), b("\x1b[5~")) << "the page-up command in application-cursor mode";
    h->feed("\x1b[?1l");

    press(Qt::Key_A, Qt::NoModifier, "a");
    press(Qt::Key_Eacute, Qt::NoModifier, QString::fromUtf8("é"));
    ASSERT_EQ(keys.sent.size(), 2u);
    EXPECT_EQ(keys.sent[1], b("\xc3\xa9"));
    keys.sent.clear();
    EXPECT_FALSE(press(Qt::Key_Shift, Qt::ShiftModifier)) << "a modifier alone sends nothing";
    EXPECT_TRUE(keys.sent.empty());
}

TEST_F(KeyTest, navigation_and_function_keys_carry_their_modifiers_in_xterm_form)
{
    using M = Qt::KeyboardModifier;
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        const char* sent;
    } cases[] = {
        // CSI 1;m X, m = 1 + Shift + 2 Alt + 4 Ctrl.
        {Qt::Key_End, M::ControlModifier, "\x1b[1;5F"},
        {Qt::Key_Home, M::ShiftModifier, "\x1b[1;2H"},
        {Qt::Key_Up, M::ShiftModifier, "\x1b[1;2A"},
        {Qt::Key_Up, M::AltModifier, "\x1b[1;3A"},
        {Qt::Key_Down, M::AltModifier | M::ShiftModifier, "\x1b[1;4B"},
        {Qt::Key_Right, M::ShiftModifier, "\x1b[1;2C"},
        {Qt::Key_Left, M::ControlModifier, "\x1b[1;5D"},
        {Qt::Key_Left, M::ControlModifier | M::AltModifier, "\x1b[1;7D"},
        {Qt::Key_Right, M::ControlModifier | M::AltModifier | M::ShiftModifier, "\x1b[1;8C"},
        {Qt::Key_Down, M::ControlModifier | M::KeypadModifier, "\x1b[1;5B"},
        {Qt::Key_F1, M::ShiftModifier, "\x1b[1;2P"},
        {Qt::Key_F4, M::ControlModifier, "\x1b[1;5S"},
        // CSI n;m ~.
        {Qt::Key_F5, M::ShiftModifier, "\x1b[15;2~"},
        {Qt::Key_F12, M::ControlModifier | M::ShiftModifier, "\x1b[24;6~"},
        {Qt::Key_Delete, M::ShiftModifier, "\x1b[3;2~"},
        {Qt::Key_Delete, M::AltModifier, "\x1b[3;3~"},
        {Qt::Key_Insert, M::ControlModifier, "\x1b[2;5~"},
        {Qt::Key_PageUp, M::ControlModifier, "\x1b[5;5~"},
        {Qt::Key_PageDown, M::AltModifier, "\x1b[6;3~"},
    };
    // Application cursor mode changes only the unmodified forms.
    for (const char* mode : {"\x1b[?1l", "\x1b[?1h"}) {
        h->feed(mode);
        for (const auto& c : cases) {
            press(c.key, c.mods);
            EXPECT_EQ(only(), b(c.sent)) << "key " << std::hex << c.key << " mods " << int(c.mods);
        }
    }

    // The chords with a meaning of their own keep it: Alt+arrows move by words (while Alt is
    // Meta), Shift+PgUp pages, Shift+Insert pastes.
    h->feed("\x1b[?1l");
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(only(), b("\x1b" "b"));
    for (int i = 0; i < 30; ++i)
        h->feed("line\r\n");
    const int bottom = h->terminal().buffer().yDisp();
    press(Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_TRUE(keys.sent.empty());
    EXPECT_EQ(h->terminal().buffer().yDisp(), bottom - 5);
    QGuiApplication::clipboard()->setText("pasted");
    press(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(only(), b("pasted"));
    h->view->optionAsMetaKey = false;
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(only(), b("\x1b[1;3D"));
}

TEST_F(KeyTest, page_keys_scroll_locally_or_go_to_the_program)
{
    for (int i = 0; i < 30; ++i)
        h->feed("line\r\n");
    auto& buf = h->terminal().buffer();
    const int bottom = buf.yDisp();
    ASSERT_GT(bottom, 0);
    press(Qt::Key_PageUp);
    EXPECT_TRUE(keys.sent.empty()) << "the normal screen scrolls, nothing is sent";
    EXPECT_EQ(buf.yDisp(), bottom - 5);
    // Typing while scrolled back returns to the cursor first.
    press(Qt::Key_K, Qt::NoModifier, "k");
    EXPECT_EQ(only(), b("k"));
    EXPECT_EQ(buf.yDisp(), bottom);

    h->feed("\x1b[?1049h");
    press(Qt::Key_PageUp);
    EXPECT_EQ(only(), b("\x1b[5~"));
    press(Qt::Key_PageDown);
    EXPECT_EQ(only(), b("\x1b[6~"));
}

TEST_F(KeyTest, input_method_text_and_window_shortcuts)
{
    QInputMethodEvent im;
    im.setCommitString(QString::fromUtf8("日本"));
    QCoreApplication::sendEvent(h->view, &im);
    EXPECT_EQ(only(), b("\xe6\x97\xa5\xe6\x9c\xac"));
    QInputMethodEvent preedit(QStringLiteral("ni"), {});
    QCoreApplication::sendEvent(h->view, &preedit);
    EXPECT_TRUE(keys.sent.empty()) << "composition is not sent";
    EXPECT_TRUE(h->view->inputMethodQuery(Qt::ImEnabled).toBool());

    // Ctrl combinations are the program's, except the window's own shortcuts.
    QKeyEvent ctrlC(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier, "\x03");
    QCoreApplication::sendEvent(h->view, &ctrlC);
    EXPECT_TRUE(ctrlC.isAccepted());
    QKeyEvent addSession(QEvent::ShortcutOverride, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier, "T");
    addSession.ignore();
    QCoreApplication::sendEvent(h->view, &addSession);
    EXPECT_FALSE(addSession.isAccepted());

    // Through the window, to the focused view.
    QTest::keyClick(h->window.get(), Qt::Key_Q, Qt::NoModifier);
    EXPECT_EQ(only(), b("q"));
}

TEST_F(KeyTest, copy_paste_and_select_all_keys)
{
    QClipboard* cb = QGuiApplication::clipboard();
    ASSERT_NE(cb, nullptr);
    h->feed("first\r\nsecond");
    press(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, "A");
    EXPECT_TRUE(h->view->selectionActive());
    // The chord's own modifier presses come first and must not drop the selection.
    press(Qt::Key_Control, Qt::ControlModifier);
    press(Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(h->view->selectionActive());
    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier, "C");
    EXPECT_TRUE(keys.sent.empty()) << "Ctrl+Shift+C copies instead of sending 0x03";
    EXPECT_TRUE(cb->text().startsWith("first\nsecond")) << cb->text().toStdString();

    cb->setText("echo one\necho two");
    press(Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier, "V");
    EXPECT_EQ(only(), b("echo one\necho two")) << "sent unchanged, in one send";

    // With bracketed paste on, the paste is marked, and an end marker inside it cannot end it.
    h->feed("\x1b[?2004h");
    cb->setText("rm -rf x\x1b[201~\nrun");
    h->view->paste();
    EXPECT_EQ(only(), b("\x1b[200~rm -rf x\nrun\x1b[201~"));
    cb->setText("a\x1b[20\x1b[201~1~b\x1b[200~");
    h->view->paste();
    EXPECT_EQ(only(), b("\x1b[200~ab\x1b[201~")) << "a marker rebuilt by removing another is removed too";
    cb->clear();
    h->view->paste();
    EXPECT_EQ(only(), b("\x1b[200~\x1b[201~"));
}
