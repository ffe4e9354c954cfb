// Mouse reports: button flags, every encoding, 8-bit controls, and positions that cannot be
// encoded.

#include "support/EmulatorTestSupport.h"

#include <gtest/gtest.h>

using namespace termcore;
using namespace termcore::testing;

namespace {

struct MouseReports : ::testing::Test {
    RecordingDelegate delegate;
    Terminal t{&delegate, sizedOptions(300, 300)};
    std::vector<uint8_t> last() const { return delegate.sent.empty() ? std::vector<uint8_t>{} : delegate.sent.back(); }
    std::vector<uint8_t> bytes(std::string_view s) const { return {s.begin(), s.end()}; }
};

} // namespace

TEST_F(MouseReports, buttonFlagsFollowTheMode)
{
    t.setMouseMode(MouseMode::vt200);
    EXPECT_EQ(t.encodeButton(1, false, false, false, false), 1);
    EXPECT_EQ(t.encodeButton(2, false, false, false, false), 2);
    EXPECT_EQ(t.encodeButton(3, false, false, false, false), 0);
    EXPECT_EQ(t.encodeButton(4, false, false, false, false), 64);
    EXPECT_EQ(t.encodeButton(5, false, false, false, false), 65);
    EXPECT_EQ(t.encodeButton(9, false, false, false, false), 0);
    EXPECT_EQ(t.encodeButton(1, true, true, true, true), 3);
    EXPECT_EQ(t.encodeButton(1, false, true, true, true), 1 + 4 + 8 + 16);
    t.setMouseMode(MouseMode::anyEvent);
    EXPECT_EQ(t.encodeButton(4, false, false, false, true), 80);
    // X10 reporting never carries a modifier, shift included.
    t.setMouseMode(MouseMode::x10);
    EXPECT_EQ(t.encodeButton(1, false, true, true, true), 1);
    t.setMouseMode(MouseMode::off);
    EXPECT_EQ(t.encodeButton(1, false, true, false, false), 1);
}

TEST_F(MouseReports, sgrPressAndRelease)
{
    t.setMouseMode(MouseMode::vt200);
    t.mouseProtocol = MouseProtocolEncoding::sgr;
    t.sendEvent(t.encodeButton(3, false, false, false, false), 0, 0);
    EXPECT_EQ(last(), bytes("\x1b[<0;1;1M"));
    t.sendEvent(t.encodeButton(3, true, false, false, false), 0, 0);
    EXPECT_EQ(last(), bytes("\x1b[<0;1;1m"));
    t.sendEvent(4 + 3, 250, 260);
    EXPECT_EQ(last(), bytes("\x1b[<4;251;261m"));
    t.sendMotion(1, 5, 6, 0, 0);
    EXPECT_EQ(last(), bytes("\x1b[<33;6;7M"));
}

TEST_F(MouseReports, sgrPixelUsesThePixelPosition)
{
    t.mouseProtocol = MouseProtocolEncoding::sgrPixel;
    t.sendEvent(0, 3, 4, 31, 77);
    EXPECT_EQ(last(), bytes("\x1b[<0;31;77M"));
    t.sendMotion(0, 3, 4, 32, 78);
    EXPECT_EQ(last(), bytes("\x1b[<32;32;78M"));
}

TEST_F(MouseReports, x10BytesAndPositionsThatDoNotFit)
{
    t.mouseProtocol = MouseProtocolEncoding::x10;
    t.sendEvent(0, 9, 4);
    EXPECT_EQ(last(), (std::vector<uint8_t>{0x1b, '[', 'M', 32, 42, 37}));
    t.sendEvent(1, 222, 222);
    EXPECT_EQ(last(), (std::vector<uint8_t>{0x1b, '[', 'M', 33, 255, 255}));
    const size_t before = delegate.sent.size();
    t.sendEvent(0, 223, 0);
    t.sendEvent(0, 0, 223);
    t.sendEvent(224, 0, 0);
    t.sendEvent(0, -1, 0);
    EXPECT_EQ(delegate.sent.size(), before);
}

TEST_F(MouseReports, utf8EncodingAndItsLimits)
{
    t.mouseProtocol = MouseProtocolEncoding::utf8;
    t.sendEvent(0, 9, 4);
    EXPECT_EQ(last(), (std::vector<uint8_t>{0x1b, '[', 'M', 32, 42, 37}));
    t.sendEvent(0, 200, 93);
    // 233 and 126: the first takes two bytes, the second one.
    EXPECT_EQ(last(), (std::vector<uint8_t>{0x1b, '[', 'M', 32, 0xC3, 0xA9, 126}));
    std::vector<uint8_t> v;
    Terminal::encodeMouseUtf(v, 2047);
    EXPECT_EQ(v, (std::vector<uint8_t>{0}));
    v.clear();
    Terminal::encodeMouseUtf(v, 2048);
    EXPECT_EQ(v, (std::vector<uint8_t>{0xDF, 0xBF}));
    v.clear();
    Terminal::encodeMouseUtf(v, 127);
    EXPECT_EQ(v, (std::vector<uint8_t>{0xC1, 0xBF}));
    v.clear();
    Terminal::encodeMouseUtf(v, 126);
    EXPECT_EQ(v, (std::vector<uint8_t>{126}));
}

TEST_F(MouseReports, urxvtEncoding)
{
    t.mouseProtocol = MouseProtocolEncoding::urxvt;
    t.sendEvent(3, 9, 4);
    EXPECT_EQ(last(), bytes("\x1b[35;10;5M"));
}

TEST_F(MouseReports, eightBitControlsStartEveryReport)
{
    t.cc.send8bit = true;
    for (auto encoding : {MouseProtocolEncoding::x10, MouseProtocolEncoding::utf8, MouseProtocolEncoding::sgr,
                          MouseProtocolEncoding::urxvt, MouseProtocolEncoding::sgrPixel}) {
        t.mouseProtocol = encoding;
        t.sendEvent(0, 1, 1);
        ASSERT_FALSE(last().empty());
        EXPECT_EQ(last()[0], 0x9b);
        EXPECT_NE(last()[1], '[');
    }
}

TEST_F(MouseReports, nothingIsSentWithoutADelegate)
{
    Terminal lone(nullptr, sizedOptions(10, 3));
    lone.sendEvent(0, 1, 1);
    lone.sendMotion(0, 1, 1, 1, 1);
    SUCCEED();
}
