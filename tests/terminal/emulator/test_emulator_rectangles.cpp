// Rectangular areas: fill, erase, selective erase, copy, checksum; origin mode; empty and
// inverted rectangles; repaint marking; the logged unsupported neighbours.

#include "support/EmulatorTestSupport.h"

#include "Diagnostics.h"

#include <gtest/gtest.h>

using namespace termcore;
using namespace termcore::testing;

namespace {

struct Rectangles : ::testing::Test {
    RecordingDelegate delegate;
    Terminal t{&delegate, sizedOptions(10, 6)};
};

class UntrustedDelegate : public RecordingDelegate {
public:
    bool isProcessTrusted(Terminal&) override { return false; }
};

} // namespace

TEST_F(Rectangles, fillWritesTheCharacterInTheCurrentColours)
{
    const Attribute red(Attribute::Color::ansi256(1), Attribute::Color::defaultColor(), CharacterStyle::none);
    t.curAttr = red;
    t.clearUpdateRange();
    t.feed("\x1b[88;1;1;2;3$x");
    EXPECT_EQ(rowText(t, 0), "XXX");
    EXPECT_EQ(rowText(t, 1), "XXX");
    EXPECT_EQ(rowText(t, 2), "");
    EXPECT_EQ(t.getCharData(2, 1)->attribute, red);
    // The changed rows are repainted.
    EXPECT_EQ(t.getUpdateRange(), (Terminal::UpdateRange{0, 1}));
    // A code point that is not a scalar fills with spaces.
    t.feed("\x1b[55296;4;1;4;2$x");
    EXPECT_EQ(rowText(t, 3), "  ");
}

TEST_F(Rectangles, emptyAndInvertedRectanglesDoNothing)
{
    t.feed("abc");
    t.feed("\x1b[5;1;1$z");      // top below bottom
    t.feed("\x1b[1;1;0;3$z");    // bottom 0
    t.feed("\x1b[65;1;1;1;0$x"); // right 0
    EXPECT_EQ(rowText(t, 0), "abc");
}

TEST_F(Rectangles, eraseUsesOriginMode)
{
    for (int i = 0; i < 6; ++i)
        t.feed("abcdefghij");
    t.buffer().setScrollTop(4);
    t.buffer().setScrollBottom(5);
    t.originMode = true;
    t.feed("\x1b[1;1;1;1$z");
    EXPECT_EQ(rowText(t, 3), "abcdefghij");
    EXPECT_EQ(rowText(t, 4), " bcdefghij");
    // Erased cells are spaces now, not empty cells.
    EXPECT_EQ(t.getCharData(0, 4)->code, ' ');
}

TEST_F(Rectangles, selectiveEraseKeepsEachCellsRendition)
{
    const Attribute bold(Attribute::Color::defaultColor(), Attribute::Color::defaultColor(), CharacterStyle::bold);
    t.curAttr = bold;
    t.feed("abcd");
    t.curAttr = Attribute();
    t.feed("\x1b[1;2;1;3${");
    EXPECT_EQ(rowText(t, 0), "a  d");
    EXPECT_EQ(t.getCharData(1, 0)->attribute, bold);
}

TEST_F(Rectangles, copyReadsTheSourceBeforeWriting)
{
    t.feed("11\r\n22\r\n33");
    // Rows 1-3 to rows 2-4: overlapping by two rows.
    t.feed("\x1b[1;1;3;2;1;2;1;1$v");
    EXPECT_EQ(rowText(t, 0), "11");
    EXPECT_EQ(rowText(t, 1), "11");
    EXPECT_EQ(rowText(t, 2), "22");
    EXPECT_EQ(rowText(t, 3), "33");
    // Cells come whole, attributes included; columns clip at the right edge.
    t.feed("\x1b[1;1;1;2;1;6;9;1$v");
    EXPECT_EQ(rowText(t, 5), "        11");
    // Another page, or no "$", does nothing.
    t.feed("\x1b[1;1;1;2;2;5;1;1$v\x1b[1;1;1;2;1;5;1;1v");
    EXPECT_EQ(rowText(t, 4), "");
}

TEST_F(Rectangles, checksumOfBlanksAndOfText)
{
    t.feed("\x1b[1;1;1;1;2;2*y");
    EXPECT_EQ(delegate.lastSent(), "\\eP1!~0080\\e\\");
    t.feed("AB");
    t.feed("\x1b[7;1;1;1;1;2*y");
    EXPECT_EQ(delegate.lastSent(), "\\eP7!~0083\\e\\");
    // Too few parameters answer zero.
    t.feed("\x1b[3;1*y");
    EXPECT_EQ(delegate.lastSent(), "\\eP3!~0000\\e\\");
    t.cc.send8bit = true;
    t.feed("\x1b[1;1;1;1;2;2*y");
    EXPECT_EQ(delegate.sent.back().front(), 0x90);
    EXPECT_EQ(delegate.sent.back().back(), 0x9c);
}

TEST_F(Rectangles, untrustedHostsGetZero)
{
    UntrustedDelegate untrusted;
    Terminal u(&untrusted, sizedOptions(10, 3));
    u.feed("AB\x1b[1;1;1;1;2;2*y");
    EXPECT_EQ(untrusted.lastSent(), "\\eP1!~0000\\e\\");
    Terminal lone(nullptr, sizedOptions(10, 3));
    lone.feed("\x1b[1;1;1;1;2;2*y");
    SUCCEED();
}

TEST_F(Rectangles, unsupportedNeighboursOnlyLog)
{
    t.silentLog = false;
    t.feed("keep");
    Diagnostics::Capture capture;
    t.feed("\x1b[2*x");
    t.feed("\x1b[1#{");
    t.feed("\x1b[#}");
    t.feed("\x1b[1'z");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{
                                   "Info: Not implemented CSI x with collect: collect=[42] and pars=[2]",
                                   "Info: CSI # { not implemented - XTPUSHSGR with [1]",
                                   "Info: CSI # } not implemented- XTPOPSGR with [0]",
                                   "TODO: Enable Locator Reporting (DECELR)",
                               }));
    EXPECT_EQ(rowText(t, 0), "keep");
}

TEST_F(Rectangles, hugeParametersStayInsideTheScreen)
{
    t.feed("\x1b[65;99999999999;99999999999;99999999999;99999999999$x");
    t.feed("\x1b[1;1;99999999999;99999999999;1;99999999999;99999999999;1$v");
    t.feed("\x1b[-5;-5;-5;-5$z");
    t.feed("\x1b[1;1;1;1;99999999999;99999999999*y");
    EXPECT_EQ(t.cols(), 10);
}
