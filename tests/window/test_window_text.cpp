// The text rules of the top bar, the layout picker and the workspace rail.
#include "UsageService.h"
#include "WindowText.h"

#include <QDateTime>

#include <QVariantMap>
#include <gtest/gtest.h>

#include <cmath>

using brinmoor::WindowText;

TEST(SessionSubtitle, counts_and_awaiting_sessions)
{
    EXPECT_EQ(WindowText::sessionSubtitle(1, 0), QStringLiteral("· 1 session"));
    EXPECT_EQ(WindowText::sessionSubtitle(0, 0), QStringLiteral("· 0 sessions"));
    EXPECT_EQ(WindowText::sessionSubtitle(4, 1), QStringLiteral("· 4 sessions · 1 needs you"));
    EXPECT_EQ(WindowText::sessionSubtitle(4, 2), QStringLiteral("· 4 sessions · 2 needs you"));
}

TEST(UsageWarning, picks_the_highest_metric_at_or_above_ninety)
{
    EXPECT_FALSE(WindowText::usageWarningIndex({89.9, 50}).has_value());
    EXPECT_FALSE(WindowText::usageWarningIndex({}).has_value());
    EXPECT_EQ(WindowText::usageWarningIndex({92, 95}), 1);
    EXPECT_EQ(WindowText::usageWarningIndex({95, 92}), 0);
    EXPECT_EQ(WindowText::usageWarningIndex({90.0}), 0);
    // Equal highest values: the first one stays.
    EXPECT_EQ(WindowText::usageWarningIndex({10, 97, 97}), 1);
    // A value that is not a number never wins nor blocks a real one.
    EXPECT_EQ(WindowText::usageWarningIndex({std::nan(""), 91}), 1);
}

TEST(UsageWarning, tag_rounds_halves_away_from_zero_and_turns_red_at_the_limit)
{
    EXPECT_EQ(WindowText::usageWarningTagText(99.5), QStringLiteral("Claude limit 100%"));
    EXPECT_EQ(WindowText::usageWarningColorHex(99.5), QStringLiteral("f0b429"));
    EXPECT_EQ(WindowText::usageWarningHelp(99.5), QStringLiteral("Claude usage high"));
    EXPECT_EQ(WindowText::usageWarningColorHex(100.0), QStringLiteral("f0524f"));
    EXPECT_EQ(WindowText::usageWarningHelp(100.0), QStringLiteral("Claude limit reached"));
    EXPECT_EQ(WindowText::usageWarningColorHex(140.0), QStringLiteral("f0524f"));
    // Halves go up, not to the even neighbour.
    EXPECT_EQ(WindowText::percentText(92.5), QStringLiteral("93%"));
    EXPECT_EQ(WindowText::percentText(90.49), QStringLiteral("90%"));
    EXPECT_EQ(WindowText::percentText(94.5), QStringLiteral("95%"));
    EXPECT_EQ(WindowText::percentText(std::nan("")), QStringLiteral("0%"));
}

TEST(UsageWarning, reset_label_is_reworded_only_for_resets_in)
{
    EXPECT_EQ(WindowText::usageWarningResetText(QStringLiteral("Resets in 2h 5m")), QStringLiteral("· reset in 2h 5m"));
    EXPECT_EQ(WindowText::usageWarningResetText(QStringLiteral("Resets in 3d 1h")), QStringLiteral("· reset in 3d 1h"));
    EXPECT_EQ(WindowText::usageWarningResetText(QStringLiteral("Resets soon")), QStringLiteral("· Resets soon"));
    EXPECT_EQ(WindowText::usageWarningResetText(QString()), QString());
}

TEST(UsageWarning, qml_entry_takes_metric_maps_and_ignores_bad_ones)
{
    WindowText text;
    const QVariantMap a{{"percent", 97.0}, {"resetsLabel", "Resets in 2h 5m"}, {"label", "first"}};
    const QVariantMap b{{"percent", 97.0}, {"label", "second"}};
    const QVariantMap junk{{"label", "no percent"}};
    const QVariant pick = text.usageWarning({QVariant(junk), QVariant(a), QVariant(b)});
    ASSERT_TRUE(pick.isValid());
    EXPECT_EQ(pick.toMap().value("label").toString(), QStringLiteral("first"));
    const QVariantMap tag = text.usageWarningTag(pick);
    EXPECT_EQ(tag.value("text").toString(), QStringLiteral("Claude limit 97%"));
    EXPECT_EQ(tag.value("resetText").toString(), QStringLiteral("· reset in 2h 5m"));
    EXPECT_FALSE(text.usageWarning({QVariant(junk), QVariant(QStringLiteral("garbage"))}).isValid());
    EXPECT_TRUE(text.usageWarningTag(QVariant(QStringLiteral("garbage"))).isEmpty());
}

TEST(UsageWarning, qml_entry_takes_the_usage_services_own_metrics)
{
    WindowText text;
    brinmoor::UsageMetric low;
    low.label = QStringLiteral("Session");
    low.percent = 40;
    brinmoor::UsageMetric high;
    high.label = QStringLiteral("Weekly");
    high.percent = 96.5;
    high.resetsAt = QDateTime::currentDateTimeUtc().addSecs(2 * 3600 + 5 * 60 + 30).toString(Qt::ISODate);
    const QVariant pick = text.usageWarning({QVariant::fromValue(low), QVariant::fromValue(high)});
    ASSERT_TRUE(pick.isValid());
    EXPECT_EQ(pick.value<brinmoor::UsageMetric>().label, QStringLiteral("Weekly"));
    const QVariantMap tag = text.usageWarningTag(pick);
    EXPECT_EQ(tag.value("text").toString(), QStringLiteral("Claude limit 97%"));
    EXPECT_EQ(tag.value("resetText").toString(), QStringLiteral("· reset in 2h 5m"));
    EXPECT_EQ(tag.value("colorHex").toString(), QStringLiteral("f0b429"));
    EXPECT_EQ(tag.value("help").toString(), QStringLiteral("Claude usage high"));
}

TEST(TopBarTexts, update_pill_help_theme_toggle_and_title)
{
    EXPECT_EQ(WindowText::updatePillHelp(true, QStringLiteral("1.4.0")),
              QStringLiteral("Brinmoor 1.4.0 downloaded — click to install (app restarts)"));
    EXPECT_EQ(WindowText::updatePillHelp(false, QStringLiteral("1.4.0")), QStringLiteral("Version 1.4.0 available"));
    EXPECT_EQ(WindowText::updatePillHelp(false, QStringLiteral("1.4.0"), QStringLiteral("Why not.")),
              QStringLiteral("Version 1.4.0 available\nWhy not."));
    // The toggle never sends "system".
    EXPECT_EQ(WindowText::nextThemePreference(QStringLiteral("dark")), QStringLiteral("light"));
    EXPECT_EQ(WindowText::nextThemePreference(QStringLiteral("light")), QStringLiteral("dark"));
    EXPECT_EQ(WindowText::nextThemePreference(QStringLiteral("system")), QStringLiteral("dark"));
    EXPECT_EQ(WindowText::appTitle(true), QStringLiteral("Brinmoor Dev"));
    EXPECT_EQ(WindowText::appTitle(false), QStringLiteral("Brinmoor"));
}

TEST(LayoutPicker, chip_text)
{
    EXPECT_EQ(WindowText::chipText(0, 4), QStringLiteral("Auto"));
    EXPECT_EQ(WindowText::chipText(3, 2), QStringLiteral("3×2"));
    EXPECT_EQ(WindowText::chipText(6, 3), QStringLiteral("6×3"));
}

// Counts the lit cells of the 4 × 4 matrix.
static int litCells(int hoverC, int hoverR, int forced, int maxRows)
{
    int n = 0;
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c)
            n += WindowText::isCellLit(c, r, hoverC, hoverR, forced, maxRows) ? 1 : 0;
    return n;
}

TEST(LayoutPicker, lighting_follows_hover_then_the_setting)
{
    EXPECT_EQ(litCells(0, 0, 0, 4), 0);  // automatic, nothing hovered
    EXPECT_EQ(litCells(0, 0, 2, 3), 6);
    EXPECT_TRUE(WindowText::isCellLit(2, 3, 0, 0, 2, 3));
    EXPECT_FALSE(WindowText::isCellLit(3, 1, 0, 0, 2, 3));
    EXPECT_EQ(litCells(3, 2, 2, 3), 6);  // hover wins over the setting
    EXPECT_FALSE(WindowText::isCellLit(1, 3, 3, 2, 2, 3));
    EXPECT_EQ(litCells(1, 1, 0, 4), 1);
    // A stored column count above the matrix lights whole rows.
    EXPECT_EQ(litCells(0, 0, 6, 3), 12);
}

TEST(LayoutPicker, captions)
{
    EXPECT_EQ(WindowText::pickerCaption(0, 0, 0, 4), QStringLiteral("Adapts columns to window shape"));
    EXPECT_EQ(WindowText::pickerCaption(0, 0, 2, 3), QStringLiteral("2 × 3 — extra panes scroll"));
    EXPECT_EQ(WindowText::pickerCaption(3, 2, 2, 3), QStringLiteral("3 × 2  ·  6 panes fit"));
    EXPECT_EQ(WindowText::pickerCaption(1, 1, 0, 4), QStringLiteral("1 × 1  ·  1 panes fit"));
}

TEST(WorkspaceRail, monogram_splits_at_spaces_only)
{
    EXPECT_EQ(WindowText::monogram(QStringLiteral("my  app")), QStringLiteral("MA"));
    EXPECT_EQ(WindowText::monogram(QStringLiteral("alpha beta gamma")), QStringLiteral("AB"));
    EXPECT_EQ(WindowText::monogram(QStringLiteral("solo")), QStringLiteral("S"));
    EXPECT_EQ(WindowText::monogram(QString()), QString());
    EXPECT_EQ(WindowText::monogram(QStringLiteral("   ")), QString());
    EXPECT_EQ(WindowText::monogram(QStringLiteral("two\twords")), QStringLiteral("T"));
    EXPECT_EQ(WindowText::monogram(QStringLiteral(" lead trail ")), QStringLiteral("LT"));
    // Whole user-perceived characters: a base letter with its combining accent, an emoji
    // outside the basic plane; full upper-casing (ß becomes SS).
    EXPECT_EQ(WindowText::monogram(QStringLiteral("e\u0301cole x")), QStringLiteral("E\u0301X"));
    EXPECT_EQ(WindowText::monogram(QString::fromUtf8("\xF0\x9F\x9A\x80 rocket")), QString::fromUtf8("\xF0\x9F\x9A\x80R"));
    EXPECT_EQ(WindowText::monogram(QString::fromUtf8("\xC3\x9F")), QStringLiteral("SS"));
    // Hidden characters are no letters.
    EXPECT_EQ(WindowText::monogram(QString::fromUtf16(u"\u202Egpj.exe \U000E0041\u200Bx\uFE00")), QStringLiteral("GX"));
}

TEST(WorkspaceRail, counts_help_attention_and_palette)
{
    EXPECT_EQ(WindowText::paneCount(1), QStringLiteral("1 panes"));
    EXPECT_EQ(WindowText::paneCount(3), QStringLiteral("3 panes"));
    EXPECT_EQ(WindowText::collapsedRowHelp(QStringLiteral("Design"), 2), QStringLiteral("Design · 2 panes"));
    EXPECT_EQ(WindowText::attentionHex({"awaiting", "error"}), QStringLiteral("f0b429"));
    EXPECT_EQ(WindowText::attentionHex({"error", "idle"}), QStringLiteral("f0524f"));
    EXPECT_EQ(WindowText::attentionHex({"stopped", "idle"}), QString());
    EXPECT_EQ(WindowText::attentionHex({}), QString());
    ASSERT_EQ(WindowText::workspaceColors().size(), 6);
    ASSERT_EQ(WindowText::workspaceColorNames().size(), 6);
    EXPECT_EQ(WindowText::workspaceColors().first(), QStringLiteral("5b8cee"));
    EXPECT_EQ(WindowText::workspaceColorNames().last(), QStringLiteral("Gray"));
    EXPECT_EQ(WindowText::workspaceColors().last(), QStringLiteral("646a73"));
}
