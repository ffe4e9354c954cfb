// The handler table and the terminal's own control functions: C0/C1 controls, designations
// and shifts, keypad and reply switches, title-mode flags, fallbacks and their log lines.

#include "support/EmulatorTestSupport.h"

#include "CharSets.h"
#include "Diagnostics.h"

#include <gtest/gtest.h>

using namespace termcore;
using namespace termcore::testing;

namespace {

struct Fixture : ::testing::Test {
    RecordingDelegate delegate;
    Terminal t{&delegate, sizedOptions(10, 5)};
    Buffer& b() { return t.buffer(); }
    void at(int x, int y)
    {
        b().setX(x);
        b().setY(y);
    }
};

using ControlLines = Fixture;
using ControlBackspace = Fixture;
using ControlCharsets = Fixture;
using ControlModes = Fixture;
using ControlLog = Fixture;

} // namespace

// ---- Line feed, carriage return, next line, index -------------------------------------------

TEST_F(ControlLines, lineFeedMovesDownAndScrollsAtTheRegionBottom)
{
    t.feed("a\nb");
    EXPECT_EQ(rowText(t, 0), "a");
    EXPECT_EQ(rowText(t, 1), " b");
    at(3, 4);
    t.feed("\n");
    EXPECT_EQ(b().y(), 4);
    EXPECT_EQ(b().yBase(), 1);
    EXPECT_EQ(delegate.only("linefeed").size(), 2u);
    // VT and FF act as LF.
    at(0, 0);
    t.feed("\x0b\x0c");
    EXPECT_EQ(b().y(), 2);
}

TEST_F(ControlLines, lineFeedOnTheLastRowBelowARegionDoesNotMove)
{
    b().setScrollTop(0);
    b().setScrollBottom(2);
    at(0, 4);
    t.feed("x\n");
    EXPECT_EQ(b().y(), 4);
    EXPECT_EQ(b().yBase(), 0);
    EXPECT_EQ(rowText(t, 4), "x");
}

TEST_F(ControlLines, lineFeedAfterAFullRowStillScrolls)
{
    // A row filled to its last column leaves the cursor in the pending-wrap position; a line
    // feed there at the bottom must scroll like any other, or the next line overwrites it.
    at(0, 4);
    t.feed("0123456789\r\nnext");
    EXPECT_EQ(rowText(t, 3), "0123456789");
    EXPECT_EQ(rowText(t, 4), "next");
}

TEST_F(ControlLines, lineFeedWithMarginsOnlyScrollsBetweenThem)
{
    t.feed("0123456789\r\nabcdefghij\r\n\r\n\r\nABCDEFGHIJ");
    t.setMarginMode(true);
    b().setMarginLeft(2);
    b().setMarginRight(5);
    at(0, 4);
    t.feed("\n");
    EXPECT_EQ(rowText(t, 4), "ABCDEFGHIJ");
    // Between the margins only their columns move up; nothing reaches the scrollback.
    at(3, 4);
    t.feed("\n");
    EXPECT_EQ(b().yBase(), 0);
    EXPECT_EQ(rowText(t, 0), "01cdef6789");
    EXPECT_EQ(rowText(t, 3), "  CDEF");
    EXPECT_EQ(rowText(t, 4), "AB    GHIJ");
}

TEST_F(ControlLines, lineFeedModeAlsoReturns)
{
    t.lineFeedMode = true;
    t.feed("abc\ndef");
    EXPECT_EQ(rowText(t, 1), "def");
}

TEST_F(ControlLines, carriageReturnHonoursTheLeftMargin)
{
    at(5, 0);
    t.feed("\r");
    EXPECT_EQ(b().x(), 0);
    t.setMarginMode(true);
    b().setMarginLeft(3);
    b().setMarginRight(8);
    at(6, 0);
    t.feed("\r");
    EXPECT_EQ(b().x(), 3);
    at(1, 0);
    t.feed("\r");
    EXPECT_EQ(b().x(), 0);
}

TEST_F(ControlLines, nextLineAndIndex)
{
    at(4, 1);
    t.feed("\x1b" "E");
    EXPECT_EQ(b().x(), 0);
    EXPECT_EQ(b().y(), 2);
    at(4, 4);
    t.cmdIndex();
    EXPECT_EQ(b().yBase(), 1);
    EXPECT_EQ(b().x(), 4);
    // Below a region that ends higher the cursor only moves down; on the last row nothing happens.
    b().setScrollBottom(1);
    at(0, 2);
    t.cmdIndex();
    EXPECT_EQ(b().y(), 3);
    EXPECT_EQ(b().yBase(), 1);
    at(0, 4);
    t.cmdIndex();
    EXPECT_EQ(b().y(), 4);
    EXPECT_EQ(b().yBase(), 1);
}

TEST_F(ControlLines, tabsAndTabSet)
{
    Terminal wide(nullptr, sizedOptions(30, 2));
    wide.feed("a\tb");
    EXPECT_EQ(wide.getCharData(8, 0)->code, 'b');
    wide.buffer().setX(3);
    wide.feed("\x1bH"); // HTS at column 3
    wide.buffer().setX(0);
    wide.feed("\t");
    EXPECT_EQ(wide.buffer().x(), 3);
    wide.buffer().setX(25);
    wide.feed("\t");
    EXPECT_EQ(wide.buffer().x(), 29);
}

TEST_F(ControlLines, bellGoesToTheDelegate)
{
    delegate.calls.clear();
    t.feed("\x07\x07");
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{"bell", "bell"}));
}

// ---- Backspace -------------------------------------------------------------------------------

TEST_F(ControlBackspace, stopsAtTheLeftEdgeWithoutReverseWraparound)
{
    at(2, 1);
    t.feed("\b");
    EXPECT_EQ(b().x(), 1);
    t.feed("\b\b\b");
    EXPECT_EQ(b().x(), 0);
    EXPECT_EQ(b().y(), 1);
    // From the pending-wrap column it lands on the last column but one.
    t.feed("0123456789");
    EXPECT_EQ(b().x(), 10);
    t.feed("\b");
    EXPECT_EQ(b().x(), 8);
}

TEST_F(ControlBackspace, reverseWraparoundGoesToTheRowAbove)
{
    t.reverseWraparound = true;
    t.feed("0123456789ab");
    ASSERT_EQ(b().y(), 1);
    ASSERT_TRUE(t.getLine(1)->isWrapped);
    at(0, 1);
    t.feed("\b");
    EXPECT_EQ(b().y(), 0);
    EXPECT_EQ(b().x(), 9);
    EXPECT_FALSE(t.getLine(1)->isWrapped);
    // On the region's top row it goes to the region's bottom-right corner.
    at(0, 0);
    t.feed("\b");
    EXPECT_EQ(b().x(), 9);
    EXPECT_EQ(b().y(), 4);
    // The pending-wrap column survives the clamp: one step back lands on the last column.
    at(10, 2);
    t.feed("\b");
    EXPECT_EQ(b().x(), 9);
}

TEST_F(ControlBackspace, outsideTheRegionWithReverseWraparound)
{
    t.reverseWraparound = true;
    b().setScrollTop(1);
    b().setScrollBottom(2);
    at(0, 4);
    t.feed("\b");
    EXPECT_EQ(b().y(), 3);
    EXPECT_EQ(b().x(), 9);
    at(0, 0);
    t.feed("\b");
    EXPECT_EQ(b().y(), 0);
    EXPECT_EQ(b().x(), 0);
}

// ---- Character sets --------------------------------------------------------------------------

TEST_F(ControlCharsets, everyDesignationSequenceIsRegistered)
{
    const auto& all = CharSets::all();
    ASSERT_EQ(all.size(), 17u);
    int keys = 0;
    for (const auto& [designator, table] : all) {
        for (char intermediate : std::string_view("()*+-./")) {
            const std::string key{intermediate, char(designator)};
            EXPECT_TRUE(t.parser.escHandlers.count(key)) << key;
            ++keys;
        }
    }
    EXPECT_EQ(keys, 119);
}

TEST_F(ControlCharsets, everyDesignationLandsInItsSlot)
{
    const std::pair<char, int> slots[] = {{'(', 0}, {')', 1}, {'-', 1}, {'*', 2}, {'.', 2}, {'+', 3}, {'/', 3}};
    for (const auto& [designator, table] : CharSets::all()) {
        for (const auto& [intermediate, g] : slots) {
            Terminal u(nullptr, sizedOptions(10, 2));
            u.feed(std::string("\x1b") + intermediate + char(designator));
            EXPECT_EQ(u.gsets[size_t(g)], &table) << intermediate << designator;
            for (int other = 0; other < 4; ++other) {
                if (other != g) {
                    EXPECT_EQ(u.gsets[size_t(other)], nullptr);
                }
            }
            // Invoking the slot puts the table to work.
            u.setgLevel(uint8_t(g));
            EXPECT_EQ(u.charset(), &table);
        }
    }
}

TEST_F(ControlCharsets, g0GraphicsApplyAtOnceAndG1WaitsForShiftOut)
{
    t.feed("\x1b(0q");
    EXPECT_EQ(cellText(t, 0, 0), U"\u2500");
    t.feed("\x1b(B\x1b)0q");
    EXPECT_EQ(cellText(t, 1, 0), U"q");
    t.feed("\x0eq\x0fq");
    EXPECT_EQ(cellText(t, 2, 0), U"\u2500");
    EXPECT_EQ(cellText(t, 3, 0), U"q");
}

TEST_F(ControlCharsets, lockingShiftsInvokeG2AndG3)
{
    t.feed("\x1b*0\x1b+A");
    t.feed("\x1bnq");     // LS2
    t.feed("\x1bo#");     // LS3
    t.feed("\x1b~");      // LS1R: G1 (empty)
    t.feed("q\x1b}q\x1b|#");
    EXPECT_EQ(cellText(t, 0, 0), U"\u2500");
    EXPECT_EQ(cellText(t, 1, 0), U"\u00A3");
    EXPECT_EQ(cellText(t, 2, 0), U"q");
    EXPECT_EQ(cellText(t, 3, 0), U"\u2500");
    EXPECT_EQ(cellText(t, 4, 0), U"\u00A3");
}

TEST_F(ControlCharsets, designationsArePerTerminal)
{
    // A full-screen program drawing lines in one pane must not change another pane's text.
    Terminal other(nullptr, sizedOptions(10, 2));
    t.feed("\x1b(0");
    other.feed("\x0fq");
    EXPECT_EQ(cellText(other, 0, 0), U"q");
    other.feed("\x1b)0\x0eq");
    EXPECT_EQ(cellText(other, 1, 0), U"\u2500");
    t.feed("\x1b(Bq");
    EXPECT_EQ(cellText(t, 0, 0), U"q");
    // The shared registry itself is untouched.
    EXPECT_EQ(CharSets::all().count(0), 0u);
    EXPECT_EQ(CharSets::all().size(), 17u);
}

TEST_F(ControlCharsets, selectDefaultSetDropsG0)
{
    t.feed("\x1b(0\x1b%Gq");
    EXPECT_EQ(cellText(t, 0, 0), U"q");
    EXPECT_EQ(t.gsets[0], nullptr);
    t.feed("\x1b(0\x1b%@q");
    EXPECT_EQ(cellText(t, 1, 0), U"q");
}

TEST_F(ControlCharsets, savedCursorBringsBackItsCharacterSet)
{
    // DECSC with the graphics set in G0, ASCII designated, DECRC: the graphics set is back.
    t.feed("\x1b(0\x1b" "7\x1b(Bq");
    EXPECT_EQ(cellText(t, 0, 0), U"q");
    t.feed("\x1b" "8q");
    EXPECT_EQ(cellText(t, 0, 0), U"\u2500");
    // A table that is not the registry's is copied: the caller's table may go away.
    t.feed("\x1b(Bx");
    auto copy = std::make_unique<std::optional<CharsetTable>>(*CharSets::find('0'));
    t.setCharset(*copy);
    copy.reset();
    t.feed("q");
    EXPECT_EQ(cellText(t, 2, 0), U"\u2500");
}

TEST_F(ControlCharsets, resetClearsDesignations)
{
    t.feed("\x1b(0\x1b)A\x1b" "c");
    for (auto* slot : t.gsets)
        EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(t.charset(), nullptr);
}

// ---- Modes and switches ----------------------------------------------------------------------

TEST_F(ControlModes, keypadAndReplySwitches)
{
    t.feed("\x1b=");
    EXPECT_TRUE(t.applicationKeypad);
    t.feed("\x1b>");
    EXPECT_FALSE(t.applicationKeypad);
    t.feed("\x1b G");
    EXPECT_TRUE(t.cc.send8bit);
    EXPECT_EQ(t.csi(), (std::vector<uint8_t>{0x9b}));
    t.feed("\x1b F");
    EXPECT_FALSE(t.cc.send8bit);
}

TEST_F(ControlModes, eightBitControlsReachReplies)
{
    t.feed("\x1b G\x1b[5n");
    ASSERT_FALSE(delegate.sent.empty());
    EXPECT_EQ(delegate.sent.back(), (std::vector<uint8_t>{0x9b, '0', 'n'}));
    t.feed("\x1b F\x1b[5n");
    EXPECT_EQ(delegate.lastSent(), "\\e[0n");
}

TEST_F(ControlModes, sixelImageGoesToTheDelegate)
{
    delegate.calls.clear();
    // Register 1 red, one column of six pixels, twice.
    t.feed("\x1bPq#1;2;100;0;0#1~~\x1b\\");
    EXPECT_EQ(delegate.only("image:"), std::vector<std::string>{"image:2x6:48"});
}

TEST_F(ControlModes, titleModeFlags)
{
    t.feed("\x1b[>t");
    EXPECT_TRUE(t.xtermTitleSetHex);
    t.feed("\x1b[>1;2;3;9t");
    EXPECT_TRUE(t.xtermTitleQueryHex);
    EXPECT_TRUE(t.xtermTitleSetUtf);
    EXPECT_TRUE(t.xtermTitleQueryUtf);
    t.feed("\x1b[>2T");
    EXPECT_FALSE(t.xtermTitleSetUtf);
    EXPECT_TRUE(t.xtermTitleSetHex);
    t.feed("\x1b[>0;1;3T");
    EXPECT_FALSE(t.xtermTitleSetHex || t.xtermTitleQueryHex || t.xtermTitleQueryUtf);
}

TEST_F(ControlModes, privateScrollDownDoesNothingAtAll)
{
    t.silentLog = false;
    t.feed("top");
    Diagnostics::Capture capture;
    t.feed("\x1b[?5T");
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(rowText(t, 0), "top");
}

TEST_F(ControlModes, unknownControlsChangeNothingAndSendNothing)
{
    delegate.calls.clear();
    t.feed("ab\x05\x01\x1b[5jc");
    EXPECT_EQ(rowText(t, 0), "abc");
    EXPECT_TRUE(delegate.only("send:").empty());
}

// ---- Log lines (silentLog off) ----------------------------------------------------------------

TEST_F(ControlLog, everyFallbackWritesItsLine)
{
    t.silentLog = false;
    Diagnostics::Capture capture;
    t.feed("\x05");
    t.feed("\x1b[?1;2j");
    t.feed("\x1b[j");
    t.feed("\x1bQ");
    t.feed("\x1b#Q");
    t.feed("\x1b]9999;x\x07");
    t.feed("\x1b[?5t");
    t.feed("\x1b[:m");
    ASSERT_EQ(capture.lines().size(), 8u) << ::testing::PrintToString(capture.lines());
    EXPECT_EQ(capture.lines()[0], "Info: Unknown EXECUTE code");
    EXPECT_EQ(capture.lines()[1], "Info: Unknown CSI Code (collect=[63] code=j pars=[1, 2])");
    EXPECT_EQ(capture.lines()[2], "Info: Unknown CSI Code (collect=[] code=j pars=[0])");
    EXPECT_EQ(capture.lines()[3], "Info: Unknown ESC Code: ESC + Q txt=[]");
    EXPECT_EQ(capture.lines()[4], "Info: Unknown ESC Code: ESC + Q txt=[35]");
    EXPECT_EQ(capture.lines()[5], "Info: Unknown OSC code: 9999");
    EXPECT_EQ(capture.lines()[6], "Info: Unhandled csiT [63]");
    EXPECT_EQ(capture.lines()[7].rfind("Info: Parsing error, state: ", 0), 0u) << capture.lines()[7];
}

TEST_F(ControlLog, silentByDefault)
{
    Diagnostics::Capture capture;
    t.feed("\x05\x1b[?1;2j\x1bQ\x1b]9999;x\x07\x1b[?5t\x1b[:m");
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(ControlLog, unknownDcsIsSwallowedSilently)
{
    t.silentLog = false;
    Diagnostics::Capture capture;
    t.feed("a\x1bPzsome data\x1b\\b");
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(rowText(t, 0), "ab");
}
