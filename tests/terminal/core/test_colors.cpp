// The engine's colours: the palette, X11 colour parsing and formatting.

#include "Color.h"

#include <gtest/gtest.h>

#include <optional>
#include <unordered_set>

using namespace termcore;

TEST(Palette, base_colours_cube_and_greys)
{
    const auto& base = Color::defaultInstalledColors();
    ASSERT_EQ(base.size(), 16u);
    EXPECT_EQ(base[1], Color(0x9999, 0x0000, 0x0101));
    EXPECT_EQ(base[8], Color(0x8A8A, 0x8989, 0x8A8A));
    EXPECT_EQ(base[12], Color(0x0707, 0x0000, 0xFEFE));
    EXPECT_EQ(base[15], Color(0xE5E5, 0xE5E5, 0xE5E5));

    const auto palette = Color::setupDefaultAnsiColors(base);
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[7], base[7]);
    EXPECT_EQ(palette[16], Color(0, 0, 0));
    EXPECT_EQ(palette[21], Color(0, 0, 0xFFFF));
    EXPECT_EQ(palette[196], Color(0xFFFF, 0, 0));
    EXPECT_EQ(palette[231], Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ(palette[232], Color(0x0808, 0x0808, 0x0808));
    EXPECT_EQ(palette[255], Color(0xEEEE, 0xEEEE, 0xEEEE));
    EXPECT_EQ(palette[16 + 36 * 1 + 6 * 2 + 3], Color::fromRgb8(0x5F, 0x87, 0xAF));

    // A custom base set is kept in front of the cube.
    const std::vector<Color> two = { Color(1, 2, 3), Color(4, 5, 6) };
    const auto custom = Color::setupDefaultAnsiColors(two);
    EXPECT_EQ(custom.size(), 2u + 240u);
    EXPECT_EQ(custom[1], Color(4, 5, 6));
    EXPECT_EQ(custom[2], Color(0, 0, 0));
}

TEST(Palette, defaults_equality_and_hash)
{
    EXPECT_EQ(Color::defaultForeground(), Color(0x8A3D, 0x8A3D, 0x8A3D));
    EXPECT_EQ(Color::defaultBackground(), Color(0, 0, 0));
    EXPECT_NE(Color(1, 2, 3), Color(3, 2, 1));
    std::unordered_set<Color> set(Color::defaultInstalledColors().begin(), Color::defaultInstalledColors().end());
    EXPECT_EQ(set.size(), 16u);
    EXPECT_EQ(Color::fromRgb8(0xFF, 0x80, 0x00), Color(0xFFFF, 0x8080, 0x0000));
    EXPECT_EQ(Color::fromRgb4(0xF, 0x8, 0x0), Color(0xFFFF, 0x8888, 0x0000));
}

TEST(XColor, format_is_lower_case_four_digit_hex)
{
    EXPECT_EQ(Color(0, 0, 0).formatAsXcolor(), "rgb:0000/0000/0000");
    EXPECT_EQ(Color::defaultForeground().formatAsXcolor(), "rgb:8a3d/8a3d/8a3d");
    EXPECT_EQ(Color(0x1234, 0xABCD, 0x0005).formatAsXcolor(), "rgb:1234/abcd/0005");
    EXPECT_EQ(Color(0xFFFF, 0xFFFF, 0xFFFF).formatAsXcolor(), "rgb:ffff/ffff/ffff");
}

TEST(XColor, parse_accepts_the_hash_and_rgb_forms)
{
    struct Case {
        const char* text;
        Color color;
    };
    const Case good[] = {
        { "#ffffff", Color(0xFFFF, 0xFFFF, 0xFFFF) },
        { "#fff", Color(0xF0F0, 0xF0F0, 0xF0F0) },
        { "#f80", Color(0xF0F0, 0x8080, 0x0000) },
        { "#123456", Color(0x1212, 0x3434, 0x5656) },
        { "#123456789", Color(0x1232, 0x4565, 0x78F8) },
        { "#123456789abc", Color(0x1234, 0x5678, 0x9ABC) },
        { "#ABCDEF", Color(0xABAB, 0xCDCD, 0xEFEF) },
        { "rgb:ffff/0000/8000", Color(0xFFFF, 0x0000, 0x8000) },
        { "rgb:ff/00/80", Color(0xFFFF, 0x0000, 0x8080) },
        { "rgb:f/0/8", Color(0xF0F0, 0x0000, 0x8080) },
        { "rgb:FF/0/8", Color(0xFFFF, 0x0000, 0x0808) }, // the widest field sets the scale
        { "rgb:123/456/789", Color(0x1232, 0x4565, 0x78F8) },
        { "rgb:ff", Color(0xFFFF, 0, 0) },
    };
    for (const auto& c : good) {
        const auto parsed = Color::parseColor(c.text);
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(*parsed, c.color) << c.text << " -> " << parsed->formatAsXcolor();
    }
}

TEST(XColor, parse_refuses_what_is_not_a_colour)
{
    for (const char* bad : { "#12345", "#", "", "#ggg", "#1234567", "rgb:", "rgb:/ /", "red", "rgb", "RGB:ff/ff/ff",
                             "#fff ", "rgbi:1/1/1" })
        EXPECT_FALSE(Color::parseColor(bad).has_value()) << bad;
}

TEST(XColor, parse_then_format_round_trips_four_digit_colours)
{
    for (const Color c : { Color(0, 0, 0), Color(0x1234, 0xABCD, 0x0005), Color(0xFFFF, 1, 0x8000) }) {
        const auto text = c.formatAsXcolor();
        EXPECT_EQ(Color::parseColor(text), c) << text;
    }
}
