// Key byte sequences, terminal options, cursor styles and the C1 switch.

#include "EscapeSequences.h"
#include "TerminalOptions.h"

#include <gtest/gtest.h>

#include <string>

using namespace termcore;

namespace {
std::string text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}
} // namespace

TEST(KeySequences, cursor_and_editing_keys)
{
    using namespace EscapeSequences;
    EXPECT_EQ(text(cmdNewLine), "\n");
    EXPECT_EQ(text(cmdRet), "\r");
    EXPECT_EQ(text(cmdEsc), "\x1b");
    EXPECT_EQ(text(cmdDel), "\x7f");
    EXPECT_EQ(text(cmdDelKey), "\x1b[3~");
    EXPECT_EQ(text(moveUpApp), "\x1bOA");
    EXPECT_EQ(text(moveUpNormal), "\x1b[A");
    EXPECT_EQ(text(moveDownApp), "\x1bOB");
    EXPECT_EQ(text(moveDownNormal), "\x1b[B");
    EXPECT_EQ(text(moveLeftApp), "\x1bOD");
    EXPECT_EQ(text(moveLeftNormal), "\x1b[D");
    EXPECT_EQ(text(moveRightApp), "\x1bOC");
    EXPECT_EQ(text(moveRightNormal), "\x1b[C");
    EXPECT_EQ(text(moveHomeApp), "\x1bOH");
    EXPECT_EQ(text(moveHomeNormal), "\x1b[H");
    EXPECT_EQ(text(moveEndApp), "\x1bOF");
    EXPECT_EQ(text(moveEndNormal), "\x1b[F");
    EXPECT_EQ(text(cmdTab), "\t");
    EXPECT_EQ(text(cmdBackTab), "\x1b[Z");
    EXPECT_EQ(text(cmdPageUp), "\x1b[5~");
    EXPECT_EQ(text(cmdPageDown), "\x1b[6~");
    EXPECT_EQ(text(cmdInsert), "\x1b[2~");
    EXPECT_EQ(text(emacsBack), "\x1b" "b");
    EXPECT_EQ(text(emacsForward), "\x1b" "f");
    EXPECT_EQ(text(controlLeft), "\x1b[1;5D");
    EXPECT_EQ(text(controlRight), "\x1b[1;5C");
    // The same sequence read twice is the same array.
    EXPECT_EQ(&EscapeSequences::cmdDelKey, &EscapeSequences::cmdDelKey);
    EXPECT_EQ(text(EscapeSequences::cmdDelKey), text(EscapeSequences::cmdDelKey));
}

TEST(KeySequences, function_keys_skip_16_and_22)
{
    const char* expected[12] = { "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "\x1b[15~", "\x1b[17~",
                                 "\x1b[18~", "\x1b[19~", "\x1b[20~", "\x1b[21~", "\x1b[23~", "\x1b[24~" };
    ASSERT_EQ(EscapeSequences::cmdF.size(), 12u);
    for (size_t k = 0; k < 12; ++k)
        EXPECT_EQ(text(EscapeSequences::cmdF[k]), expected[k]) << "F" << k + 1;
}

TEST(TerminalOptions, defaults_and_memberwise_values)
{
    const TerminalOptions d = TerminalOptions::defaultOptions();
    EXPECT_EQ(d.cols, 80);
    EXPECT_EQ(d.rows, 25);
    EXPECT_FALSE(d.convertEol);
    EXPECT_EQ(d.termName, "xterm-256color");
    EXPECT_EQ(d.cursorStyle, CursorStyle::blinkBlock);
    EXPECT_FALSE(d.screenReaderMode);
    EXPECT_EQ(d.scrollback, 500);
    EXPECT_EQ(d.tabStopWidth, 8);
    EXPECT_TRUE(d.enableSixelReported);

    const TerminalOptions custom { 120, 40, true, "xterm", CursorStyle::steadyBar, true, 10000, 4, false };
    EXPECT_EQ(custom.cols, 120);
    EXPECT_EQ(custom.cursorStyle, CursorStyle::steadyBar);
    EXPECT_FALSE(custom.enableSixelReported);
    EXPECT_NE(custom, d);
    EXPECT_EQ(TerminalOptions {}, d);
}

TEST(CursorStyle, names_parse_exactly_and_nothing_else_does)
{
    const std::pair<const char*, CursorStyle> names[] = {
        { "blinkBlock", CursorStyle::blinkBlock },       { "steadyBlock", CursorStyle::steadyBlock },
        { "blinkUnderline", CursorStyle::blinkUnderline }, { "steadyUnderline", CursorStyle::steadyUnderline },
        { "blinkBar", CursorStyle::blinkBar },           { "steadyBar", CursorStyle::steadyBar },
    };
    for (auto [name, style] : names) {
        EXPECT_EQ(cursorStyleFromString(name), style) << name;
        EXPECT_STREQ(cursorStyleName(style), name);
    }
    for (const char* bad : { "BlinkBlock", "blinkblock", "blink Block", "", " steadyBar", "bar" })
        EXPECT_FALSE(cursorStyleFromString(bad).has_value()) << bad;
    EXPECT_TRUE(isBlinking(CursorStyle::blinkBar));
    EXPECT_FALSE(isBlinking(CursorStyle::steadyUnderline));
}

TEST(CC, replies_default_to_seven_bit_controls)
{
    CC cc;
    EXPECT_FALSE(cc.send8bit);
    cc.send8bit = true;
    EXPECT_NE(cc, CC {});
}
