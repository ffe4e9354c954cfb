// The terminal object: construction, reset, screens, resize, dirty rows, replies, colours,
// logging and text extraction.

#include "support/EmulatorTestSupport.h"

#include "Diagnostics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using namespace termcore;
using namespace termcore::testing;

namespace {

std::string asText(const std::vector<uint8_t>& v)
{
    return std::string(v.begin(), v.end());
}

} // namespace

TEST(TerminalConstruction, defaultOptionsGiveTheStandardScreen)
{
    RecordingDelegate d;
    Terminal t(&d, TerminalOptions());
    // A spot check of the defaults: the screen, and scrollback on the normal screen only.
    EXPECT_EQ(t.cols(), 80);
    EXPECT_EQ(t.rows(), 25);
    EXPECT_EQ(t.normalBuffer().lines().maxLength(), 25 + 500);
    EXPECT_FALSE(t.altBuffer().hasScrollback());
}

TEST(TerminalConstruction, tinyOptionsAreRaisedToTheMinimum)
{
    Terminal t(nullptr, sizedOptions(1, 0));
    EXPECT_EQ(t.cols(), 2);
    EXPECT_EQ(t.rows(), 1);
    t.feed("abcdef\r\nxyz");
    EXPECT_EQ(rowText(t, 0), "z");
}

TEST(TerminalConstruction, worksWithoutDelegateAndAfterItIsCleared)
{
    RecordingDelegate d;
    Terminal t(&d, sizedOptions(10, 3));
    // Construction tells the delegate the mouse mode once.
    EXPECT_EQ(d.calls, std::vector<std::string>{"mouseModeChanged"});
    d.calls.clear();
    t.feed("\x07");
    EXPECT_EQ(d.calls, std::vector<std::string>{"bell"});
    t.setDelegate(nullptr);
    t.feed("\x07hello\r\n\r\n\r\n");
    t.sendResponse("x");
    t.sendResponse({std::string("y"), uint8_t(1)});
    EXPECT_EQ(d.calls.size(), 1u);
    EXPECT_EQ(rowText(t, 0), "");
}

TEST(TerminalResize, clampsAndMarksOnlyRealChanges)
{
    Terminal t(nullptr, sizedOptions(10, 5));
    t.clearUpdateRange();
    t.resize(10, 5);
    EXPECT_FALSE(t.getUpdateRange());
    t.resize(1, 0);
    EXPECT_EQ(t.cols(), 2);
    EXPECT_EQ(t.rows(), 1);
    EXPECT_EQ(t.options.cols, 2);
    EXPECT_EQ(t.options.rows, 1);
    ASSERT_TRUE(t.getUpdateRange());
    EXPECT_EQ(t.getUpdateRange()->startY, 0);
    // A caller's absurd size is clamped, not allocated.
    t.resize(65535, 65535);
    EXPECT_EQ(t.cols(), Terminal::MAXIMUM_COLS);
    EXPECT_EQ(t.rows(), Terminal::MAXIMUM_ROWS);
}

TEST(TerminalResize, savedCursorKeepsItsDistanceToTheCursor)
{
    Terminal t(nullptr, sizedOptions(20, 10));
    Buffer& b = t.normalBuffer();
    b.setY(9);
    b.savedY = 7;
    t.resize(20, 5);
    EXPECT_EQ(t.normalBuffer().savedY - t.normalBuffer().y(), -2);
}

TEST(TerminalResize, tabStopsFollowTheNewWidth)
{
    Terminal t(nullptr, sizedOptions(20, 3));
    t.resize(40, 3);
    ASSERT_GE(t.buffer().tabStops.size(), 40u);
    EXPECT_TRUE(t.buffer().tabStops[32]);
    EXPECT_TRUE(t.altBuffer().tabStops[24]);
}

TEST(TerminalReset, risKeepsCursorHiddenAndTheFieldsSetupDoesNotTouch)
{
    RecordingDelegate d;
    Terminal t(&d, sizedOptions(10, 3));
    t.feed("1\r\n2\r\n3\r\n4\r\n5");
    ASSERT_GT(t.buffer().yBase(), 0);
    t.cursorHidden = true;
    t.reverseWraparound = true;
    t.mouseProtocol = MouseProtocolEncoding::sgr;
    t.applicationCursor = true;
    t.setInsertMode(true);
    t.originMode = true;
    t.cc.send8bit = true;
    t.curAttr = Attribute(Attribute::Color::ansi256(1), Attribute::Color::ansi256(2), CharacterStyle::bold);
    t.xtermTitleSetUtf = true;
    t.lineFeedMode = true;
    t.feed("\x1b" "c");
    EXPECT_TRUE(t.cursorHidden);
    EXPECT_TRUE(t.reverseWraparound);
    EXPECT_EQ(t.mouseProtocol, MouseProtocolEncoding::sgr);
    EXPECT_FALSE(t.applicationCursor);
    EXPECT_FALSE(t.insertMode);
    EXPECT_FALSE(t.normalBuffer().insertMode);
    EXPECT_FALSE(t.originMode);
    EXPECT_FALSE(t.cc.send8bit);
    EXPECT_EQ(t.curAttr, Attribute());
    EXPECT_FALSE(t.xtermTitleSetUtf);
    EXPECT_FALSE(t.lineFeedMode);
    // The normal screen is rebuilt: its scrollback is gone.
    EXPECT_EQ(t.buffer().yBase(), 0);
    EXPECT_EQ(rowText(t, 0), "");
    EXPECT_FALSE(t.isCurrentBufferAlternate());
}

TEST(TerminalReset, risDropsAStartedUtf8Sequence)
{
    Terminal t(nullptr, sizedOptions(10, 3));
    feedBytes(t, {0xC3});
    t.feed("\x1b" "c");
    feedBytes(t, {0xA9});
    EXPECT_EQ(cellText(t, 0, 0), U"\u00A9");
}

TEST(TerminalScreens, alternateScreenTakesAndGivesBackTheCursor)
{
    Terminal t(nullptr, sizedOptions(10, 5));
    t.feed("main");
    t.activateAltBuffer(std::nullopt);
    EXPECT_TRUE(t.isCurrentBufferAlternate());
    EXPECT_EQ(t.getCursorLocation().x, 4);
    t.feed("\r\nalt");
    EXPECT_EQ(rowText(t, 1), "alt");
    t.activateNormalBuffer(true);
    EXPECT_FALSE(t.isCurrentBufferAlternate());
    EXPECT_EQ(t.getCursorLocation().y, 1);
    EXPECT_EQ(rowText(t, 0), "main");
    // The alternate screen was cleared on the way out.
    EXPECT_EQ(t.altBuffer().lines().count(), 0);
    t.activateAltBuffer(std::nullopt);
    EXPECT_EQ(rowText(t, 1), "");
}

TEST(TerminalDirtyRows, rangesGrowAndClear)
{
    Terminal t(nullptr, sizedOptions(10, 5));
    t.clearUpdateRange();
    EXPECT_FALSE(t.getUpdateRange());
    EXPECT_FALSE(t.getScrollInvariantUpdateRange());
    t.updateRange(3);
    t.updateRange(1);
    EXPECT_EQ(t.getUpdateRange(), (Terminal::UpdateRange{1, 3}));
    t.updateRange(-2);
    EXPECT_EQ(t.getUpdateRange(), (Terminal::UpdateRange{1, 3}));
    t.clearUpdateRange();
    t.updateFullScreen();
    // The end is rows itself; consumers clamp.
    EXPECT_EQ(t.getUpdateRange(), (Terminal::UpdateRange{0, 5}));
    t.clearUpdateRange();
    t.refresh(2, 4);
    EXPECT_EQ(t.getUpdateRange(), (Terminal::UpdateRange{2, 4}));
}

TEST(TerminalDirtyRows, printingAndScrollingMarkTheirRows)
{
    Terminal t(nullptr, sizedOptions(10, 5));
    t.clearUpdateRange();
    t.feed("\r\n\r\nabc");
    EXPECT_EQ(t.getUpdateRange(), (Terminal::UpdateRange{2, 2}));
    t.clearUpdateRange();
    t.feed("\r\n\r\n\r\nx");
    ASSERT_TRUE(t.getUpdateRange());
    EXPECT_EQ(t.getUpdateRange()->startY, 0);
    EXPECT_EQ(t.getUpdateRange()->endY, 4);
}

TEST(TerminalReplies, itemsAreJoinedIntoOneSend)
{
    RecordingDelegate d;
    Terminal t(&d, sizedOptions(10, 3));
    t.sendResponse({t.csi(), std::string("0n"), uint8_t('!')});
    ASSERT_EQ(d.sent.size(), 1u);
    EXPECT_EQ(asText(d.sent[0]), "\x1b[0n!");
    t.cc.send8bit = true;
    t.sendResponse({t.csi(), std::string("0n")});
    EXPECT_EQ(d.sent.back(), (std::vector<uint8_t>{0x9b, '0', 'n'}));
    EXPECT_EQ(t.dcs(), (std::vector<uint8_t>{0x90}));
    EXPECT_EQ(t.osc(), (std::vector<uint8_t>{0x9d}));
    EXPECT_EQ(t.st(), (std::vector<uint8_t>{0x9c}));
    t.cc.send8bit = false;
    EXPECT_EQ(t.st(), (std::vector<uint8_t>{0x1b, '\\'}));
    t.sendResponse(std::vector<ResponseItem>{});
    EXPECT_EQ(d.sent.size(), 3u);
    EXPECT_TRUE(d.sent.back().empty());
    t.sendResponse(std::string_view("\xc3\xa9"));
    EXPECT_EQ(d.sent.back(), (std::vector<uint8_t>{0xc3, 0xa9}));
}

TEST(TerminalColours, settersNotifyOnceThroughTheDefaultDelegate)
{
    RecordingDelegate d;
    Terminal t(&d, sizedOptions(10, 3));
    Color red(0xffff, 0, 0);
    t.setForegroundColor(red);
    EXPECT_EQ(t.foregroundColor(), red);
    EXPECT_EQ(d.only("setForegroundColor").size(), 1u);
    t.setCursorColor(red);
    ASSERT_TRUE(t.cursorColor());
    EXPECT_EQ(*t.cursorColor(), red);
    t.setCursorColor(std::nullopt);
    EXPECT_FALSE(t.cursorColor());
    auto colors = d.getColors(t);
    EXPECT_EQ(colors.foreground, red);
    EXPECT_EQ(colors.background, t.backgroundColor());
}

TEST(TerminalColours, paletteNeedsExactlySixteenColours)
{
    Terminal t(nullptr, sizedOptions(10, 3));
    const auto before = t.ansiColors;
    std::vector<Color> fifteen(15, Color(1, 2, 3));
    std::vector<Color> seventeen(17, Color(1, 2, 3));
    t.installPalette(fifteen);
    t.installPalette(seventeen);
    EXPECT_EQ(t.ansiColors, before);
    std::vector<Color> sixteen(16, Color(1, 2, 3));
    t.installPalette(sixteen);
    EXPECT_EQ(t.ansiColors[15], Color(1, 2, 3));
    EXPECT_EQ(t.ansiColors.size(), 256u);
    EXPECT_EQ(t.defaultAnsiColors, t.ansiColors);
}

TEST(TerminalModes, mouseModeAndCursorVisibilityNotify)
{
    RecordingDelegate d;
    Terminal t(&d, sizedOptions(10, 3));
    d.calls.clear();
    t.setMouseMode(MouseMode::vt200);
    t.hideCursor();
    t.hideCursor();
    t.showCursor();
    t.showCursor();
    EXPECT_EQ(d.calls, (std::vector<std::string>{"mouseModeChanged", "hideCursor", "showCursor"}));
    EXPECT_TRUE(sendsModifiers(MouseMode::vt200));
    EXPECT_FALSE(sendsModifiers(MouseMode::x10));
    EXPECT_TRUE(sendMotionEvent(MouseMode::anyEvent));
    EXPECT_FALSE(sendMotionEvent(MouseMode::buttonEventTracking));
}

TEST(TerminalLogging, silentByDefaultAndPrefixedWhenOn)
{
    Terminal t(nullptr, sizedOptions(10, 3));
    Diagnostics::Capture capture;
    t.feed("\x1b[5j");
    EXPECT_TRUE(capture.lines().empty());
    t.silentLog = false;
    t.log("hello");
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"Info: hello"});
}

TEST(TerminalCells, accessOutsideTheScreenAnswersNothing)
{
    Terminal t(nullptr, sizedOptions(10, 3));
    t.feed("abc");
    EXPECT_EQ(t.getCharData(0, 0)->code, 'a');
    EXPECT_FALSE(t.getCharData(10, 0));
    EXPECT_FALSE(t.getCharData(-1, 0));
    EXPECT_FALSE(t.getCharData(0, 3));
    EXPECT_EQ(t.getLine(-1), nullptr);
    EXPECT_EQ(t.getLine(3), nullptr);
    EXPECT_FALSE(t.getCharacter(0, 5));
    EXPECT_EQ(cellText(t, 2, 0), U"c");
    EXPECT_EQ(t.getScrollInvariantLine(0), t.getLine(0));
    EXPECT_EQ(t.getScrollInvariantLine(3), nullptr);
    EXPECT_EQ(t.getScrollInvariantLine(-1), nullptr);
}

TEST(TerminalScroll, linesGoToScrollbackAndTheViewFollows)
{
    RecordingDelegate d;
    Terminal t(&d, sizedOptions(10, 3));
    t.feed("1\r\n2\r\n3\r\n4");
    EXPECT_EQ(t.buffer().yBase(), 1);
    EXPECT_EQ(t.buffer().yDisp(), 1);
    EXPECT_EQ(rowText(t, 0), "2");
    EXPECT_EQ(rowText(t, 2), "4");
    EXPECT_EQ(d.only("scrolled:"), std::vector<std::string>{"scrolled:1"});
    EXPECT_EQ(asText(t.getBufferAsData()), "1\n2\n3\n4\n");
}

TEST(TerminalScroll, fullScrollbackRecyclesAndKeepsAUserScrolledView)
{
    TerminalOptions o = sizedOptions(5, 2);
    o.scrollback = 3;
    Terminal t(nullptr, o);
    for (int i = 0; i < 5; ++i)
        t.feed(std::to_string(i) + "\r\n");
    // Ring of 5: full now.
    EXPECT_TRUE(t.buffer().lines().isFull());
    const int linesTop = t.buffer().linesTop;
    t.userScrolling = true;
    t.buffer().setYDisp(1);
    t.feed("x\r\n");
    EXPECT_EQ(t.buffer().linesTop, linesTop + 1);
    EXPECT_EQ(t.buffer().yDisp(), 0);
    EXPECT_EQ(t.buffer().lines().count(), 5);
}

TEST(TerminalScroll, newRowsTakeTheCurrentBackground)
{
    Terminal t(nullptr, sizedOptions(5, 2));
    t.feed("a\r\nb");
    t.curAttr = Attribute(Attribute::Color::defaultColor(), Attribute::Color::ansi256(4), CharacterStyle::bold);
    t.feed("\r\n");
    BufferLine* bottom = t.getLine(1);
    ASSERT_TRUE(bottom);
    EXPECT_EQ((*bottom)[0].attribute.bg, Attribute::Color::ansi256(4));
    EXPECT_TRUE((*bottom)[0].attribute.style.isEmpty());
    EXPECT_EQ((*bottom)[0].code, 0);
}

TEST(TerminalScroll, recycledRowsComeBackBlankAndWithTheCurrentBackground)
{
    TerminalOptions o = sizedOptions(5, 2);
    o.scrollback = 2;
    Terminal t(nullptr, o);
    t.feed("aaaaa\r\nbbbbbcc\r\nddddd\r\neeeee");
    ASSERT_TRUE(t.buffer().lines().isFull());
    t.feed("\r\n");
    EXPECT_EQ(rowText(t, 1), "");
    EXPECT_FALSE(t.getLine(1)->isWrapped);
    t.curAttr = Attribute(Attribute::Color::defaultColor(), Attribute::Color::ansi256(2), CharacterStyle::none);
    t.feed("\r\n");
    EXPECT_EQ(rowText(t, 1), "");
    EXPECT_EQ((*t.getLine(1))[4].attribute.bg, Attribute::Color::ansi256(2));
    // A wrap at the bottom marks the new row as a continuation.
    t.curAttr = Attribute();
    t.feed("1234567");
    EXPECT_TRUE(t.getLine(1)->isWrapped);
    EXPECT_EQ(rowText(t, 1), "67");
}

TEST(TerminalScroll, regionBelowTheTopLosesItsTopRowOnly)
{
    Terminal t(nullptr, sizedOptions(5, 4));
    t.feed("a\r\nb\r\nc\r\nd");
    t.buffer().setScrollTop(1);
    t.buffer().setScrollBottom(2);
    t.buffer().setY(2);
    t.feed("\n");
    EXPECT_EQ(rowText(t, 0), "a");
    EXPECT_EQ(rowText(t, 1), "c");
    EXPECT_EQ(rowText(t, 2), "");
    EXPECT_EQ(rowText(t, 3), "d");
    EXPECT_EQ(t.buffer().yBase(), 0);
}

TEST(TerminalText, bufferAsDataOfAFreshScreen)
{
    Terminal t(nullptr, sizedOptions(10, 3));
    t.feed("abc");
    EXPECT_EQ(asText(t.getBufferAsData(BufferKind::active)), "abc\n\n\n");
    EXPECT_EQ(asText(t.getBufferAsData(BufferKind::normal)), "abc\n\n\n");
    EXPECT_EQ(asText(t.getBufferAsData(BufferKind::alt)), "");
}

TEST(TerminalText, getTextJoinsSoftWrappedRows)
{
    Terminal t(nullptr, sizedOptions(5, 4));
    t.feed("abcdefg\r\nxy");
    EXPECT_TRUE(t.getLine(1)->isWrapped);
    EXPECT_EQ(t.getText(Position{0, 0}, Position{5, 1}), "abcdefg");
    EXPECT_EQ(t.getText(Position{0, 0}, Position{2, 2}), "abcdefg\nxy");
    // Reversed positions give the same text; equal positions give nothing.
    EXPECT_EQ(t.getText(Position{2, 2}, Position{0, 0}), "abcdefg\nxy");
    EXPECT_EQ(t.getText(Position{1, 1}, Position{1, 1}), "");
    EXPECT_EQ(t.getText(Position{0, 7}, Position{1, 9}), "");
}

TEST(TerminalText, blankRowsBetweenBecomeEmptyLinesAndTrailingOnesAreDropped)
{
    Terminal t(nullptr, sizedOptions(5, 6));
    t.feed("ab\r\n\r\ncd");
    auto lines = t.getSelectedLines(Position{0, 0}, Position{5, 5});
    std::string text;
    for (auto& l : lines)
        for (auto& f : l.fragments)
            text += f.text.value_or("");
    EXPECT_EQ(text, "ab\n\ncd");
    // Empty cells inside a row read as spaces.
    Terminal u(nullptr, sizedOptions(5, 2));
    u.feed("a");
    u.buffer().setX(3);
    u.feed("b");
    EXPECT_EQ(u.getText(Position{0, 0}, Position{5, 0}), "a  b");
}

TEST(TerminalEnvironment, defaultChildEnvironment)
{
    ::setenv("HOME", "/home/tester", 1);
    ::unsetenv("USER");
    ::unsetenv("LOGNAME");
    ::unsetenv("DISPLAY");
    ::unsetenv("LC_TYPE");
    auto env = Terminal::getEnvironmentVariables(std::nullopt, false);
    ASSERT_GE(env.size(), 2u);
    EXPECT_EQ(env[0], "TERM=xterm-256color");
    EXPECT_EQ(env[1], "LANG=en_US.UTF-8");
    EXPECT_EQ(env.back(), "HOME=/home/tester");
    EXPECT_EQ(env.size(), 3u);
    ::setenv("USER", "tester", 1);
    env = Terminal::getEnvironmentVariables(std::string("vt100"), true);
    EXPECT_EQ(env, (std::vector<std::string>{"TERM=vt100", "COLORTERM=truecolor", "LANG=en_US.UTF-8", "USER=tester",
                                             "HOME=/home/tester"}));
}

namespace {

// The logical lines of the whole normal buffer: wrapped rows joined, blank lines dropped.
std::vector<std::string> logicalLines(Terminal& t)
{
    std::vector<std::string> out;
    CircularBufferLineList& lines = t.normalBuffer().lines();
    std::string current;
    for (int i = 0; i < lines.count(); ++i) {
        BufferLine& line = lines[i];
        if (!line.isWrapped && !current.empty()) {
            out.push_back(current);
            current.clear();
        }
        std::string text = line.translateToString(true, 0, -1);
        for (char& c : text)
            if (c == '\0')
                c = ' ';
        current += text;
    }
    if (!current.empty())
        out.push_back(current);
    return out;
}

} // namespace

TEST(TerminalResize, aResizeStormKeepsEveryLinesText)
{
    // A window drag: many size changes in a row, narrower and wider, then back.
    TerminalOptions o = sizedOptions(80, 24);
    o.scrollback = 2000;
    Terminal t(nullptr, o);
    std::vector<std::string> expected;
    for (int i = 0; i < 120; ++i) {
        std::string line = "line " + std::to_string(i) + ":";
        for (int k = 0; k < i % 9; ++k)
            line += " word" + std::to_string(k);
        expected.push_back(line);
        t.feed(line + "\r\n");
    }
    ASSERT_EQ(logicalLines(t), expected);
    std::mt19937 rng(3);
    for (int i = 0; i < 200; ++i)
        t.resize(int(20 + rng() % 100), int(5 + rng() % 40));
    t.resize(80, 24);
    EXPECT_EQ(logicalLines(t), expected);
    // Output still lands on the screen after the storm.
    t.feed("after");
    EXPECT_EQ(rowText(t, t.getCursorLocation().y), "after");
}
