#include "Palette.h"
#include "ThemeSupport.h"

#include <QGuiApplication>
#include <QPalette>

#include <gtest/gtest.h>

namespace {

void expectRgb(const QColor& c, int r, int g, int b, double a = 1.0)
{
    EXPECT_EQ(c.red(), r);
    EXPECT_EQ(c.green(), g);
    EXPECT_EQ(c.blue(), b);
    EXPECT_NEAR(c.alphaF(), a, 1.0 / 255);
}

} // namespace

TEST(ColorFromHex, hash_prefix_is_optional)
{
    expectRgb(colorFromHex(u"5b8cdd"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"#5b8cdd"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"5B8CDD"), 0x5b, 0x8c, 0xdd);
}

TEST(ColorFromHex, only_one_hash_is_dropped)
{
    expectRgb(colorFromHex(u"##5b8cdd"), 0, 0, 0);
}

TEST(ColorFromHex, no_digits_read_as_black_at_the_requested_opacity)
{
    expectRgb(colorFromHex(u"", 0.4), 0, 0, 0, 0.4);
    expectRgb(colorFromHex(u"#", 0.5), 0, 0, 0, 0.5);
    expectRgb(colorFromHex(u"zzz", 0.7), 0, 0, 0, 0.7);
    expectRgb(colorFromHex(u"0x"), 0, 0, 0);
}

TEST(ColorFromHex, three_digits_are_not_a_shorthand)
{
    expectRgb(colorFromHex(u"fff"), 0, 0x0f, 0xff);
}

TEST(ColorFromHex, eight_digits_keep_the_last_six_not_an_alpha_byte)
{
    expectRgb(colorFromHex(u"805b8cdd"), 0x5b, 0x8c, 0xdd);
    // Far more digits than a 64-bit number holds still spell their last six.
    expectRgb(colorFromHex(u"ffffffffffffffffffff123456"), 0x12, 0x34, 0x56);
}

TEST(ColorFromHex, scanner_rules_white_space_prefix_and_trailing_text)
{
    expectRgb(colorFromHex(u"  5b8cdd"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"\t\n5b8cdd"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"0x5b8cdd"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"0X5b8cdd"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"#0x5b8cdd"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"5b8cddzz"), 0x5b, 0x8c, 0xdd);
    expectRgb(colorFromHex(u"5b8cdd !"), 0x5b, 0x8c, 0xdd);
    // Scanning stops at the first non-digit: "12g456" reads 0x12.
    expectRgb(colorFromHex(u"12g456"), 0, 0, 0x12);
    // A "#" after white space is not dropped: the scan stops at it.
    expectRgb(colorFromHex(u" #5b8cdd"), 0, 0, 0);
}

TEST(ColorFromHex, opacity_is_kept_and_clamped)
{
    expectRgb(colorFromHex(u"f0b429", 0.45), 0xf0, 0xb4, 0x29, 0.45);
    expectRgb(colorFromHex(u"f0b429", 3.0), 0xf0, 0xb4, 0x29, 1.0);
    expectRgb(colorFromHex(u"f0b429", -1.0), 0xf0, 0xb4, 0x29, 0.0);
}

TEST(PaletteMembers, lookup_by_name_matches_the_accessors_and_unknown_names_are_empty)
{
    const Palette l(false);
    EXPECT_EQ(l.member(u"canvas"), l.canvas());
    // One spot check of each theme; the rest is the table itself.
    EXPECT_EQ(Palette(true).member(u"hoverFill"), "23262f");
    EXPECT_EQ(l.canvas(), "e2e4e9");
    EXPECT_TRUE(l.member(u"nope").isEmpty());
    for (const QString& name : Palette::memberNames()) {
        EXPECT_FALSE(Palette(true).member(name).isEmpty()) << name.toStdString();
        EXPECT_EQ(colorFromHex(Palette(true).member(name)).name().mid(1), Palette(true).member(name));
    }
}

TEST(PaletteMembers, default_palette_is_dark)
{
    EXPECT_TRUE(Palette().isDark);
}

TEST(ThemeResolution, preference_and_system_scheme)
{
    EXPECT_TRUE(resolveDarkTheme(u"dark", false));
    EXPECT_FALSE(resolveDarkTheme(u"light", true));
    EXPECT_TRUE(resolveDarkTheme(u"system", true));
    EXPECT_FALSE(resolveDarkTheme(u"system", false));
}

TEST(ThemeResolution, system_scheme_from_palette_lightness)
{
    QPalette light;
    light.setColor(QPalette::Window, QColor("#efefef"));
    light.setColor(QPalette::WindowText, QColor("#000000"));
    EXPECT_FALSE(paletteIsDark(light));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor("#202020"));
    dark.setColor(QPalette::WindowText, QColor("#f0f0f0"));
    EXPECT_TRUE(paletteIsDark(dark));
}

TEST(ThemeResolution, system_scheme_follows_application_palette_changes)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    ThemeSupport support;
    QPalette dark;
    dark.setColor(QPalette::Window, QColor("#202020"));
    dark.setColor(QPalette::WindowText, QColor("#f0f0f0"));
    QGuiApplication::setPalette(dark);
    EXPECT_TRUE(support.systemDark());
    int changes = 0;
    QObject::connect(&support, &ThemeSupport::systemDarkChanged, [&] { ++changes; });
    QPalette light;
    light.setColor(QPalette::Window, QColor("#f5f5f5"));
    light.setColor(QPalette::WindowText, QColor("#101010"));
    QGuiApplication::setPalette(light);
    EXPECT_FALSE(support.systemDark());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(support.resolveDark("system", true));
}

TEST(ThemeBlend, ends_are_exact_and_middle_is_between)
{
    const QColor a = colorFromHex(u"000000"), b = colorFromHex(u"ffffff", 0.5);
    EXPECT_EQ(mixColors(a, b, 0.0), a);
    EXPECT_EQ(mixColors(a, b, 1.0), b);
    const QColor m = mixColors(a, b, 0.5);
    EXPECT_NEAR(m.redF(), 0.5, 0.01);
    EXPECT_NEAR(m.alphaF(), 0.75, 0.01);
}
