// SGR attributes (16, 256 and direct colour, colon forms), ANSI and DEC private modes, screen
// switching, mouse-mode switches, 80/132 columns, cursor shape, DECSTR and DECSCL.
#include "support/CommandTestHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace termcore;
using cmdtest::Harness;
using C = Attribute::Color;

TEST(Sgr, palette_and_style_parameters)
{
    Harness h;
    h.feed("\x1b[1;31;48;5;196m");
    EXPECT_EQ(h.t().curAttr, Attribute(C::ansi256(1), C::ansi256(196), CharacterStyle::bold));
    h.feed("\x1b[2;3;4;5;7;8;9m");
    EXPECT_EQ(h.t().curAttr.style.rawValue, 0xFF);
    h.feed("\x1b[22m"); // clears bold and dim together
    EXPECT_FALSE(h.t().curAttr.style.contains(CharacterStyle::bold));
    EXPECT_FALSE(h.t().curAttr.style.contains(CharacterStyle::dim));
    h.feed("\x1b[23;24;25;27;28;29m");
    EXPECT_TRUE(h.t().curAttr.style.isEmpty());
    h.feed("\x1b[21m"); // no effect
    EXPECT_TRUE(h.t().curAttr.style.isEmpty());
    h.feed("\x1b[97;100m");
    EXPECT_EQ(h.t().curAttr.fg, C::ansi256(15));
    EXPECT_EQ(h.t().curAttr.bg, C::ansi256(8));
    h.feed("\x1b[39m");
    EXPECT_TRUE(h.t().curAttr.fg.isDefault());
    h.feed("\x1b[49;1m\x1b[m"); // CSI m resets
    EXPECT_EQ(h.t().curAttr, Attribute());
    h.feed("\x1b[4mu");
    EXPECT_TRUE(h.cell(0, 0).attribute.style.contains(CharacterStyle::underline));
}

TEST(Sgr, direct_colour_semicolon_and_colon_forms)
{
    Harness h;
    h.feed("\x1b[38;2;10;20;30m");
    EXPECT_EQ(h.t().curAttr.fg, C::trueColor(10, 20, 30));
    h.feed("\x1b[48;2;300;1;2m"); // values cap at 255
    EXPECT_EQ(h.t().curAttr.bg, C::trueColor(255, 1, 2));
    h.feed("\x1b[38:2:0:40:50:60m");
    EXPECT_EQ(h.t().curAttr.fg, C::trueColor(40, 50, 60));
    h.feed("\x1b[48:2::1:2:3m"); // empty colour-space id
    EXPECT_EQ(h.t().curAttr.bg, C::trueColor(1, 2, 3));
    // The colon form wherever it stands in the list.
    h.feed("\x1b[0m\x1b[1;38:2:0:10:20:30m");
    EXPECT_EQ(h.t().curAttr.fg, C::trueColor(10, 20, 30));
    EXPECT_TRUE(h.t().curAttr.style.contains(CharacterStyle::bold));
    h.feed("\x1b[0m\x1b[38;5;300m");
    EXPECT_EQ(h.t().curAttr.fg, C::ansi256(255));
}

// A parameter with sub-parameters is one attribute wherever it stands; its sub-parameters never
// act as attributes of their own. Each row: the parameters of CSI ... m from a reset, and the
// attribute as DECRQSS reports it. The colour forms answer as xterm does.
TEST(Sgr, sub_parameters_belong_to_their_parameter_wherever_it_stands)
{
    struct Row {
        const char* params;
        const char* sgr;
    };
    const Row rows[] = {
        {"38:5:46", "0;38;5;46m"},                // not a cyan background with blink
        {"1;38:2::255:0:0", "0;1;38;2;255;0;0m"}, // keeps both the bold and the red
        {"38:2:255:0:0", "0;38;2;255;0;0m"},      // without the colour-space field
        {"38:2:9:255:0:0", "0;38;2;255;0;0m"},    // the colour space is not used
        {"38:2:1:2:3:4:5:6;3", "0;3;38;2;2;3;4m"}, // values past the blue are ignored
        {"48:5:200;1", "0;1;48;5;200m"},
        {"31;48:2::10:20:30;4", "0;4;31;48;2;10;20;30m"},
        {"38:5", "0m"},      // no index: no colour
        {"38:2:1:2", "0m"},  // too short
        {"38:7:1;3", "0;3m"}, // an unknown colour kind is skipped whole
        {"38;5:46", "0;38;5;46m"},
        {"38:5;46", "0;46m"},
        {"4:3", "0;4m"},   // a curly underline is an underline, never italic
        {"4:1", "0;4m"},
        {"4:2", "0;4m"},
        {"4:4", "0;4m"},
        {"4:5", "0;4m"},
        {"4;4:0", "0m"},   // 4:0 is no underline
        {"4;4:6", "0;4m"}, // an unknown underline style changes nothing
        {"1:5", "0m"},     // an unknown parameter with sub-parameters is skipped whole
        {"3;58:5:3;1", "0;1;3m"},        // the underline colour is read and not kept
        {"58:2::1:2:3;5", "0;5m"},
        {"58:2:1:2:3;9", "0;9m"},
        {"58;5;3;1", "0;1m"},
        {"38;2;1;2;3", "0;38;2;1;2;3m"}, // the semicolon forms as before
        {"48;5;21;7", "0;7;48;5;21m"},
    };
    for (const Row& r : rows) {
        Harness h;
        h.feed(std::string("\x1b[") + r.params + "m");
        EXPECT_EQ(h.t().curAttr.toSgr(), r.sgr) << r.params;
        // Split anywhere, the sequence reads the same.
        for (size_t cut = 1; cut < std::strlen(r.params); ++cut) {
            Harness split;
            split.feed(std::string("\x1b[") + std::string(r.params, cut));
            split.feed(std::string(r.params + cut) + "m");
            EXPECT_EQ(split.t().curAttr.toSgr(), r.sgr) << r.params << " cut at " << cut;
        }
    }
}

TEST(Sgr, incomplete_and_unknown_parameters)
{
    Harness h;
    Diagnostics::Capture out;
    h.feed("\x1b[38;2;10m"); // too short: the 10 is read on its own
    EXPECT_TRUE(h.t().curAttr.fg.isDefault());
    ASSERT_EQ(out.lines().size(), 1u);
    EXPECT_EQ(out.lines()[0], "Unknown SGR attribute: 10 [38, 2, 10]");
    out.clear();
    h.feed("\x1b[300m");
    ASSERT_EQ(out.lines().size(), 1u);
    EXPECT_EQ(out.lines()[0], "Unknown SGR attribute: 300 [300]");
    EXPECT_EQ(h.t().curAttr, Attribute());
    out.clear();
    h.feed("\x1b[38;5m\x1b[48m"); // missing index: colour unchanged
    EXPECT_EQ(h.t().curAttr, Attribute());
    h.feed("\x1b[38;7;1m"); // unknown colour kind: the 7 is read as SGR 7
    EXPECT_TRUE(h.t().curAttr.style.contains(CharacterStyle::inverse));
    EXPECT_TRUE(h.t().curAttr.style.contains(CharacterStyle::bold));
    EXPECT_TRUE(out.lines().empty());
}

TEST(Sgr, underline_colour_is_consumed_without_effect)
{
    Harness h;
    Diagnostics::Capture out;
    h.feed("\x1b[58;5;4m");
    EXPECT_EQ(h.t().curAttr, Attribute());
    h.feed("\x1b[58;2;7;8;9;1m");
    EXPECT_EQ(h.t().curAttr, Attribute(C::defaultColor(), C::defaultColor(), CharacterStyle::bold));
    h.feed("\x1b[58:2::1:2:3m");
    EXPECT_EQ(h.t().curAttr.style, CharacterStyle::bold);
    h.feed("\x1b[58:5:4m");
    EXPECT_EQ(h.t().curAttr.style, CharacterStyle::bold);
    EXPECT_TRUE(out.lines().empty());
}

TEST(AnsiModes, insert_and_line_feed_modes)
{
    Harness h(10, 4);
    h.feed("abc\r\x1b[4hX");
    EXPECT_EQ(h.row(0), "Xabc");
    EXPECT_TRUE(h.t().insertMode);
    EXPECT_TRUE(h.t().normalBuffer().insertMode);
    EXPECT_TRUE(h.t().altBuffer().insertMode);
    h.feed("\x1b[4l\rY");
    EXPECT_EQ(h.row(0), "Yabc");
    h.feed("\x1b[20h\x1b[1;5H\n");
    EXPECT_EQ(h.pos(), std::make_pair(0, 1));
    h.feed("\x1b[20l\x1b[2;5H\n");
    EXPECT_EQ(h.pos(), std::make_pair(4, 2));
    h.t().silentLog = false;
    Diagnostics::Capture out;
    h.feed("\x1b[2h\x1b[3l");
    EXPECT_TRUE(out.lines().empty());
    h.feed("\x1b[3h");
    ASSERT_EQ(out.lines().size(), 1u);
    EXPECT_EQ(out.lines()[0], "Info: Unhandled verbatim setMode with 3 and []");
}

TEST(DecModes, flags_set_and_reset)
{
    Harness h;
    struct Row {
        int mode;
        bool Terminal::*flag;
    };
    const Row rows[] = {{1, &Terminal::applicationCursor}, {4, &Terminal::smoothScroll},
                        {6, &Terminal::originMode},        {12, &Terminal::cursorBlink},
                        {66, &Terminal::applicationKeypad}, {1004, &Terminal::sendFocus},
                        {2004, &Terminal::bracketedPasteMode}, {69, &Terminal::marginMode}};
    for (const Row& r : rows) {
        h.feed("\x1b[?" + std::to_string(r.mode) + "h");
        EXPECT_TRUE(h.t().*r.flag) << r.mode;
        h.feed("\x1b[?" + std::to_string(r.mode) + "l");
        EXPECT_FALSE(h.t().*r.flag) << r.mode;
    }
    h.feed("\x1b[?7l");
    EXPECT_FALSE(h.t().wraparound);
    EXPECT_FALSE(h.t().altBuffer().wraparound);
    h.feed("\x1b[?45h"); // reverse wraparound only while wraparound is on
    EXPECT_FALSE(h.t().reverseWraparound);
    h.feed("\x1b[?7h\x1b[?45h");
    EXPECT_TRUE(h.t().reverseWraparound);
    h.del.takeCalls();
    h.feed("\x1b[?25l\x1b[?25l\x1b[?25h\x1b[?25h");
    EXPECT_EQ(h.del.takeCalls(), (std::vector<std::string>{"hideCursor", "showCursor"}));
    h.t().silentLog = false;
    Diagnostics::Capture out;
    h.feed("\x1b[?9999h\x1b[?9999l\x1b[>5h\x1b[>5l");
    EXPECT_EQ(out.lines(), (std::vector<std::string>{"Info: Unhandled DEC Private Mode Set (DECSET) with 9999",
                                                     "Info: Unhandled DEC Private Mode Reset (DECRST) with 9999",
                                                     "Info: Unhandled setMode (SM) with 5 and [62]"}));
}

// DECSCNM shows the whole screen in reverse video; a visual bell sets and resets it around the
// text, which must keep its colours.
TEST(DecModes, reverse_video_is_a_screen_mode_that_leaves_the_attribute_alone)
{
    Harness h(10, 4);
    h.feed("\x1b[31m");
    h.clearDirty();
    EXPECT_EQ(cmdtest::reply(h, "\x1b[?5h\x1b[?5$p"), "\x1b[?5;1$y");
    EXPECT_TRUE(h.t().reverseVideo());
    EXPECT_EQ(h.t().curAttr, Attribute(C::ansi256(1), C::defaultColor(), CharacterStyle::none));
    EXPECT_EQ(h.dirty(), std::make_pair(0, 3)); // every row looks different
    h.feed("\x1b[?5h");                          // no change, no second notice
    EXPECT_EQ(cmdtest::reply(h, "\x1b[?5l\x1b[?5$p"), "\x1b[?5;2$y");
    h.feed("x");
    EXPECT_EQ(h.cell(0, 0).attribute.fg, C::ansi256(1));
    EXPECT_EQ(h.del.takeCalls(), (std::vector<std::string>{"reverseVideo:on", "reverseVideo:off"}));
    // A soft reset and a column switch keep it, as in xterm; a full reset ends it.
    h.feed("\x1b[?5h\x1b[!p\x1b[?3h");
    EXPECT_TRUE(h.t().reverseVideo());
    h.del.takeCalls();
    h.feed("\x1b" "c");
    EXPECT_FALSE(h.t().reverseVideo());
    const auto calls = h.del.takeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "reverseVideo:off"), 1);
}

TEST(DecModes, several_modes_in_one_sequence_apply_in_order)
{
    Harness h;
    h.feed("\x1b[?1;2004;1049h");
    EXPECT_TRUE(h.t().applicationCursor);
    EXPECT_TRUE(h.t().bracketedPasteMode);
    EXPECT_TRUE(h.t().isCurrentBufferAlternate());
    h.feed("\x1b[?1049;2004l");
    EXPECT_FALSE(h.t().isCurrentBufferAlternate());
    EXPECT_FALSE(h.t().bracketedPasteMode);
}

TEST(MouseModes, switches_notify_and_protocol_reset_turns_reporting_off)
{
    Harness h;
    h.feed("\x1b[?1000h");
    EXPECT_EQ(h.t().mouseMode(), MouseMode::vt200);
    h.feed("\x1b[?1002h");
    EXPECT_EQ(h.t().mouseMode(), MouseMode::buttonEventTracking);
    h.feed("\x1b[?1003h");
    EXPECT_EQ(h.t().mouseMode(), MouseMode::anyEvent);
    h.feed("\x1b[?9h");
    EXPECT_EQ(h.t().mouseMode(), MouseMode::x10);
    h.feed("\x1b[?1006h");
    EXPECT_EQ(h.t().mouseProtocol, MouseProtocolEncoding::sgr);
    h.feed("\x1b[?1016h");
    EXPECT_EQ(h.t().mouseProtocol, MouseProtocolEncoding::sgrPixel);
    h.feed("\x1b[?1000h");
    h.del.takeCalls();
    h.feed("\x1b[?1006l");
    EXPECT_EQ(h.t().mouseMode(), MouseMode::off);
    EXPECT_EQ(h.t().mouseProtocol, MouseProtocolEncoding::x10);
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"mouseModeChanged"});
    h.feed("\x1b[?1015h\x1b[?1002h\x1b[?1002l");
    EXPECT_EQ(h.t().mouseMode(), MouseMode::off);
    EXPECT_EQ(h.t().mouseProtocol, MouseProtocolEncoding::urxvt);
}

TEST(Screens, alternate_screen_1049_saves_and_restores_the_cursor)
{
    Harness h(20, 5);
    h.feed("normal text\x1b[3;7H");
    h.del.takeCalls();
    h.feed("\x1b[?1049h");
    EXPECT_TRUE(h.t().isCurrentBufferAlternate());
    EXPECT_EQ(h.screen(), "|||||");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"bufferActivated"});
    h.feed("\x1b[5;5Halt text");
    h.feed("\x1b[?1049l");
    EXPECT_FALSE(h.t().isCurrentBufferAlternate());
    EXPECT_EQ(h.pos(), std::make_pair(6, 2));
    EXPECT_EQ(h.row(0), "normal text");
    h.feed("\x1b[?1049h"); // the alternate screen was cleared on the way out
    EXPECT_EQ(h.screen(), "|||||");
}

TEST(Screens, mode_47_keeps_the_alternate_content_and_1047_clears_it)
{
    Harness h(20, 5);
    h.feed("\x1b[?47hkept\x1b[?47l");
    EXPECT_EQ(h.row(0), "");
    h.feed("\x1b[?47h");
    EXPECT_EQ(h.row(0), "kept");
    h.feed("\x1b[?1047l\x1b[?1047h");
    EXPECT_EQ(h.row(0), "");
    h.feed("\x1b[?25l\x1b[?1047l"); // a screen switch shows a hidden cursor
    EXPECT_FALSE(h.t().cursorHidden);
}

TEST(Columns80To132, deccolm_only_when_allowed)
{
    Harness h(80, 10);
    h.feed("text\x1b[?40l\x1b[?3h");
    EXPECT_EQ(h.t().cols(), 80);
    EXPECT_EQ(h.row(0), "text");
    h.del.takeCalls();
    h.feed("\x1b[?40h\x1b[?25l\x1b[?3h");
    EXPECT_EQ(h.t().cols(), 132);
    EXPECT_EQ(h.t().options.cols, 132);
    EXPECT_EQ(h.row(0), "");
    EXPECT_TRUE(h.t().cursorHidden);
    auto calls = h.del.takeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "sizeChanged"), 1);
    h.feed("\x1b[?3l");
    EXPECT_EQ(h.t().cols(), 80);
    calls = h.del.takeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "sizeChanged"), 1);
}

TEST(Columns80To132, a_host_that_keeps_its_width_gets_the_rest_of_deccolm)
{
    // A pane: `reset` (which sends CSI ? 3 l) or a program asking for 132 columns clears, homes
    // and resets the margins, and the width stays the pane's, the host told of no new size.
    for (const char* mode : {"\x1b[?3l", "\x1b[?3h", "\x1b[?40h\x1b[?3h"}) {
        Harness h(100, 10);
        h.t().columnModeResizes = false;
        h.feed("text\x1b[3;7r\x1b[?69h\x1b[5;50s\x1b[5;20H");
        h.del.takeCalls();
        h.feed(mode);
        EXPECT_EQ(h.t().cols(), 100) << mode;
        EXPECT_EQ(h.t().options.cols, 100) << mode;
        EXPECT_EQ(h.row(0), "") << mode;
        EXPECT_EQ(h.t().buffer().x(), 0);
        EXPECT_EQ(h.t().buffer().y(), 0);
        EXPECT_EQ(h.t().buffer().scrollTop(), 0);
        EXPECT_EQ(h.t().buffer().scrollBottom(), 9);
        EXPECT_EQ(h.t().buffer().marginRight(), 99);
        const auto calls = h.del.takeCalls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "sizeChanged"), 0) << mode;
        h.feed(std::string(120, 'x'));
        EXPECT_EQ(h.row(0), std::string(100, 'x')) << "lines wrap at the host's width";
    }
}

TEST(CursorShape, decscusr_notifies_only_on_change)
{
    Harness h;
    h.feed("\x1b[2 q\x1b[2 q");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"cursorStyle:" + std::to_string(int(CursorStyle::steadyBlock))});
    EXPECT_EQ(h.t().options.cursorStyle, CursorStyle::steadyBlock);
    h.feed("\x1b[6 q");
    EXPECT_EQ(h.t().options.cursorStyle, CursorStyle::steadyBar);
    h.feed("\x1b[7 q\x1b[3\"q\x1b[4q");
    EXPECT_EQ(h.t().options.cursorStyle, CursorStyle::steadyBar);
    h.feed("\x1b[ q");
    EXPECT_EQ(h.t().options.cursorStyle, CursorStyle::blinkBlock);
    h.del.takeCalls();
    h.t().setCursorStyle(CursorStyle::blinkBlock);
    EXPECT_TRUE(h.del.takeCalls().empty());
}

TEST(SoftReset, decstr_resets_modes_but_keeps_margins_and_mouse)
{
    Harness h(20, 6);
    h.feed("\x1b[?6h\x1b[4h\x1b[?1h\x1b[?7l\x1b[1;31m\x1b[2;4r\x1b[?69h\x1b[3;9s\x1b[?1000h\x1b[?2004h\x1b[?25l");
    h.feed("\x1b]4;1;#102030\x07");
    h.del.takeCalls();
    h.feed("\x1b[!p");
    EXPECT_FALSE(h.t().originMode);
    EXPECT_FALSE(h.t().insertMode);
    EXPECT_FALSE(h.t().applicationCursor);
    EXPECT_TRUE(h.t().wraparound);
    EXPECT_FALSE(h.t().cursorHidden);
    EXPECT_EQ(h.t().curAttr, Attribute());
    EXPECT_EQ(h.region(), std::make_pair(0, 5));
    EXPECT_TRUE(h.t().marginMode);
    EXPECT_EQ(h.t().mouseMode(), MouseMode::vt200);
    EXPECT_TRUE(h.t().bracketedPasteMode);
    EXPECT_EQ(h.t().ansiColors, h.t().defaultAnsiColors);
    auto calls = h.del.takeCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "showCursor");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "colorChanged:all"), calls.end());
}

TEST(SoftReset, conformance_level_and_8bit_controls)
{
    Harness h;
    h.feed("\x1b[62;2\"p");
    EXPECT_EQ(h.t().conformance, TerminalConformance::vt200);
    EXPECT_TRUE(h.t().cc.send8bit);
    h.feed("\x1b[64;1\"p");
    EXPECT_EQ(h.t().conformance, TerminalConformance::vt400);
    EXPECT_FALSE(h.t().cc.send8bit);
    h.feed("\x1b[63;0\"p");
    EXPECT_TRUE(h.t().cc.send8bit);
    h.feed("\x1b[61;0\"p"); // level 1 forces 7-bit and ignores the second value
    EXPECT_EQ(h.t().conformance, TerminalConformance::vt100);
    EXPECT_FALSE(h.t().cc.send8bit);
    h.feed("\x1b[65\"p");
    EXPECT_EQ(h.t().conformance, TerminalConformance::vt500);
    EXPECT_FALSE(h.t().cc.send8bit);
    h.t().silentLog = false;
    Diagnostics::Capture out;
    h.feed("\x1b[1;2%p");
    EXPECT_EQ(out.lines(), std::vector<std::string>{"Info: Unhandled CSI 37 with pars=[1, 2]"});
}

TEST(Sgr, private_marker_forms_are_not_attributes)
{
    // vim sends CSI > 4 ; 2 m and CSI ? 4 m (key-modifier options) at start-up.
    Harness h;
    h.feed("\x1b[>4;2m\x1b[?4m\x1b[>4;m\x1b[=1m");
    EXPECT_EQ(h.t().curAttr, Attribute());
    h.feed("\x1b[1$m"); // other intermediates are still read as SGR
    EXPECT_TRUE(h.t().curAttr.style.contains(CharacterStyle::bold));
}
