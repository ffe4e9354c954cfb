// Character sets, column widths, the UTF-8 first-byte table and the generated Unicode classes.

#include "CharSets.h"
#include "UnicodeUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace termcore;

namespace {

std::string utf8(char32_t c)
{
    return UnicodeUtil::toUtf8(std::u32string(1, c));
}

std::u32string decode(std::string_view s)
{
    std::u32string out;
    UnicodeUtil::decodeUtf8(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()), out);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Character sets

TEST(CharSets, all_seventeen_designators_are_known_and_others_are_not)
{
    const std::string designators = "02AB45CRQKY6EZ7H=";
    EXPECT_EQ(CharSets::all().size(), designators.size());
    for (char d : designators)
        EXPECT_NE(CharSets::find(uint8_t(d)), nullptr) << d;
    EXPECT_EQ(CharSets::find('%'), nullptr);
    EXPECT_EQ(CharSets::find('1'), nullptr);
    EXPECT_TRUE(CharSets::find('B')->empty()); // US ASCII changes nothing
}

TEST(CharSets, spot_checks)
{
    struct Check {
        char designator;
        char byte;
        char32_t shown;
    };
    const Check checks[] = {
        { '0', 'q', U'\u2500' }, { '2', 'l', U'\u250C' }, { 'A', '#', U'\u00A3' }, { '4', ']', U'|' },
        { 'K', '~', U'\u00DF' }, { '=', '_', U'\u00E8' },
    };
    for (const auto& c : checks) {
        const CharsetTable* t = CharSets::find(uint8_t(c.designator));
        ASSERT_NE(t, nullptr);
        auto it = t->find(uint8_t(c.byte));
        ASSERT_NE(it, t->end()) << c.designator << " " << c.byte;
        EXPECT_EQ(it->second, utf8(c.shown)) << c.designator << " " << c.byte;
    }
}

TEST(CharSets, aliases_share_content_and_entries_are_single_characters)
{
    EXPECT_EQ(*CharSets::find('0'), *CharSets::find('2'));
    EXPECT_EQ(*CharSets::find('5'), *CharSets::find('C'));
    EXPECT_EQ(*CharSets::find('6'), *CharSets::find('E'));
    EXPECT_EQ(*CharSets::find('7'), *CharSets::find('H'));
    for (const auto& [designator, table] : CharSets::all()) {
        for (const auto& [byte, text] : table) {
            EXPECT_GE(byte, 0x20);
            EXPECT_LE(byte, 0x7E);
            EXPECT_EQ(decode(text).size(), 1u) << char(designator) << " " << char(byte);
        }
    }
    // Letters outside ` .. ~ are not line-drawing characters.
    EXPECT_EQ(CharSets::find('0')->count('A'), 0u);
    EXPECT_EQ(CharSets::find('0')->count('_'), 0u);
}

// ---------------------------------------------------------------------------------------------
// Widths

TEST(Widths, column_width_of_representative_code_points)
{
    const std::pair<char32_t, int> cases[] = {
        { 0x09, 0 },    { 'A', 1 },     { 0x7F, 0 },    { 0x9F, 0 },     { 0xA0, 1 },   { 0xAD, 1 },
        { 0x301, 0 },   { 0x1100, 2 },  { 0x1160, 0 },  { 0x11A8, 0 },   { 0xD7B0, 0 }, { 0x303F, 1 },
        { 0x3041, 2 },  { 0x1F600, 2 }, { 0x2600, 1 },  { 0x231A, 2 },   { 0x200B, 0 }, { 0x200C, 0 },
        { 0x200D, 0 },  { 0x2060, 0 },  { 0xFEFF, 0 },  { 0xFE0E, 0 },   { 0xFE0F, 0 }, { 0x0600, 1 },
        { 0xD7A3, 2 },  { 0xD7A4, 1 },  { 0xFF61, 1 },  { 0x2FFFE, 1 },  { 0xE0100, 0 }, { 0x1FAF9, 1 },
        { 0x1F1E6, 1 }, { 0x4DC0, 2 },  { 0x10FFFF, 1 },
    };
    for (auto [rune, width] : cases)
        EXPECT_EQ(UnicodeUtil::columnWidth(rune), width) << std::hex << uint32_t(rune);
}

TEST(Widths, range_tables_are_sorted_and_disjoint)
{
    for (auto table : { UnicodeTables::zeroWidth, UnicodeTables::doubleWidth }) {
        ASSERT_FALSE(table.empty());
        for (size_t k = 0; k < table.size(); ++k) {
            EXPECT_LE(table[k].lo, table[k].hi);
            if (k) {
                EXPECT_LT(table[k - 1].hi + 1, table[k].lo) << k; // adjacent runs are merged
            }
        }
    }
}

TEST(Widths, bisearch_bounds_and_every_range_end)
{
    using UnicodeUtil::bisearch;
    const auto t = UnicodeTables::zeroWidth;
    const int last = int(t.size()) - 1;
    EXPECT_EQ(bisearch(t.front().lo - 1, t, last), 0);
    EXPECT_EQ(bisearch(t.back().hi + 1, t, last), 0);
    EXPECT_EQ(bisearch(0x300, t, -1), 0);
    EXPECT_EQ(bisearch(0x300, t, 100000), 1); // an over-large last index is limited to the table
    for (const auto& r : t) {
        EXPECT_EQ(bisearch(r.lo, t, last), 1);
        EXPECT_EQ(bisearch(r.hi, t, last), 1);
    }
    // Searching only the first entries misses later ranges.
    EXPECT_EQ(bisearch(0xFEFF, t, 10), 0);
}

TEST(Widths, packed_table_agrees_with_the_width_ranges_over_the_whole_code_space)
{
    const auto zero = UnicodeTables::zeroWidth;
    const auto wide = UnicodeTables::doubleWidth;
    for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
        const int expected = UnicodeUtil::bisearch(c, zero, int(zero.size()) - 1) ? 0
                             : UnicodeUtil::bisearch(c, wide, int(wide.size()) - 1) ? 2
                                                                                     : 1;
        ASSERT_EQ(UnicodeUtil::columnWidth(c), expected) << std::hex << c;
    }
}

namespace {

// Code points assigned in the Unicode version of the engine's tables (test data written by
// scripts/gen_unicode_tables.py).
std::vector<UnicodeUtil::LH> assignedCodePoints()
{
    std::ifstream in(std::string(BRINMOOR_TEST_DATA) + "/assigned_code_points.txt");
    std::vector<UnicodeUtil::LH> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t dots = line.find("..");
        out.push_back({ uint32_t(std::stoul(line.substr(0, dots), nullptr, 16)),
                        uint32_t(std::stoul(line.substr(dots + 2), nullptr, 16)) });
    }
    return out;
}

// Differences from the C library kept on purpose: none. The widths follow the C library's rules
// (scripts/gen_unicode_tables.py spells them out), emoji presentation included: every emoji
// presentation character is East Asian wide, except the regional indicators, which both count
// one column. An entry added here needs its reason beside it.
struct KeptDifference {
    uint32_t lo;
    uint32_t hi;
    const char* reason;
};
const std::vector<KeptDifference> kKeptDifferences = {};

} // namespace

// The engine's width of every code point against the C library's wcwidth, which programs use
// to place the cursor: any difference misaligns their output (column -t, prompts, editors).
// Compared are the code points both know: the C library answers -1 for what it does not know
// (Debian 12's glibc has Unicode 14, the tables Unicode 15) and for controls, and code points
// unassigned in the tables' version are skipped for a C library newer than they are.
TEST(Widths, every_code_point_is_as_wide_as_the_c_library_counts_it)
{
#if !defined(__GLIBC__)
    GTEST_SKIP() << "the widths follow the GNU C library's wcwidth";
#else
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    const auto assigned = assignedCodePoints();
    ASSERT_GT(assigned.size(), 600u);
    size_t compared = 0, unknownToLibrary = 0;
    std::string differences;
    for (const auto& range : assigned) {
        for (uint32_t c = range.lo; c <= range.hi; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const int library = ::wcwidth(wchar_t(c));
            if (library < 0) {
                ++unknownToLibrary;
                continue;
            }
            ++compared;
            const int ours = UnicodeUtil::columnWidth(c);
            if (ours == library)
                continue;
            const bool kept = std::any_of(kKeptDifferences.begin(), kKeptDifferences.end(),
                                          [c](const KeptDifference& k) { return c >= k.lo && c <= k.hi; });
            if (!kept && differences.size() < 2000) {
                char text[64];
                std::snprintf(text, sizeof text, " U+%04X ours %d, C library %d;", c, ours, library);
                differences += text;
            }
        }
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    EXPECT_TRUE(differences.empty()) << differences;
    EXPECT_GT(compared, 250000u);
    // What the C library does not know yet is listed, not compared.
    std::printf("compared %zu code points; %zu assigned ones are unknown to the C library\n", compared, unknownToLibrary);
#endif
}

// ---------------------------------------------------------------------------------------------
// UTF-8 decoding with repair

TEST(Utf8, well_formed_text_round_trips)
{
    const std::string text = "a\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf";
    const std::u32string decoded = decode(text);
    EXPECT_EQ(decoded, (std::u32string { U'a', 0xE9, 0x65E5, 0x1F600, 0x10FFFF }));
    EXPECT_EQ(UnicodeUtil::toUtf8(decoded), text);
}

TEST(Utf8, ill_formed_input_becomes_replacement_characters_and_never_over_reads)
{
    struct Case {
        std::string in;
        std::u32string out;
    };
    const Case cases[] = {
        { "\xc3\x41", { 0xFFFD, U'A' } },              // lead byte then ASCII: the A survives here
        { "\xc0\xaf", { 0xFFFD, 0xFFFD } },            // overlong
        { "\xe0\x80\xaf", { 0xFFFD, 0xFFFD, 0xFFFD } }, // overlong three-byte form
        { "\xed\xa0\x80", { 0xFFFD, 0xFFFD, 0xFFFD } }, // surrogate
        { "\xf4\x90\x80\x80", { 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD } }, // above U+10FFFF
        { "\xe6\x97", { 0xFFFD } },                    // truncated at the end
        { "\xf0\x9f\x98", { 0xFFFD } },
        { "\xff", { 0xFFFD } },
        { "\x80", { 0xFFFD } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(c.in), c.out) << c.in.size();
    EXPECT_EQ(UnicodeUtil::toUtf8(std::u32string { 0xD800, 0x110000 }), "\xef\xbf\xbd\xef\xbf\xbd");
}

// ---------------------------------------------------------------------------------------------
// Generated classes

TEST(UnicodeClasses, combining_classes_and_word_characters)
{
    EXPECT_EQ(UnicodeUtil::combiningClass(U'e'), 0);
    EXPECT_EQ(UnicodeUtil::combiningClass(0x301), 230);
    EXPECT_EQ(UnicodeUtil::combiningClass(0x316), 220);
    EXPECT_EQ(UnicodeUtil::combiningClass(0x200D), 0);
    EXPECT_EQ(UnicodeUtil::combiningClass(0x1F600), 0);
    for (char32_t c : { U'a', U'Z', U'0', char32_t(0xE9), char32_t(0x4E00), char32_t(0x0660), char32_t(0x2167) })
        EXPECT_TRUE(UnicodeUtil::isLetterOrNumber(c)) << std::hex << uint32_t(c);
    for (char32_t c : { U' ', U'.', U'-', U'_', U'(', char32_t(0x301), char32_t(0x3000), char32_t(0x1F600) })
        EXPECT_FALSE(UnicodeUtil::isLetterOrNumber(c)) << std::hex << uint32_t(c);
}

TEST(UnicodeClasses, grapheme_segmentation_passes_the_unicode_conformance_test)
{
    std::ifstream in(std::string(BRINMOOR_TEST_DATA) + "/GraphemeBreakTest.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        // "÷ 0020 × 0308 ÷": count the clusters and collect the code points.
        std::istringstream fields(line);
        std::string tok;
        std::u32string text;
        size_t clusters = 0;
        bool first = true;
        while (fields >> tok) {
            if (tok == "\xc3\xb7") { // ÷
                if (!first)
                    ++clusters;
            } else if (tok != "\xc3\x97") { // not ×
                text.push_back(char32_t(std::stoul(tok, nullptr, 16)));
            }
            first = false;
        }
        EXPECT_EQ(UnicodeUtil::graphemeCount(text), clusters) << line;
        ++checked;
    }
    EXPECT_GT(checked, 600);
}

TEST(UnicodeClasses, joining_a_mark_keeps_one_grapheme_and_pairs_continue)
{
    using UnicodeUtil::isSingleGrapheme;
    EXPECT_TRUE(isSingleGrapheme(U"e\u0301"));
    EXPECT_TRUE(isSingleGrapheme(U"\U0001F468\u200D\U0001F469"));
    EXPECT_TRUE(isSingleGrapheme(U"\U0001F1E9\U0001F1EA"));
    EXPECT_FALSE(isSingleGrapheme(U"\U0001F1E9\U0001F1EA\U0001F1EB"));
    EXPECT_FALSE(isSingleGrapheme(U"ab"));
    EXPECT_FALSE(isSingleGrapheme(U""));
    EXPECT_TRUE(UnicodeUtil::continuesGrapheme(U'e', 0x301));
    EXPECT_TRUE(UnicodeUtil::continuesGrapheme(0x1F468, 0x200D));
    EXPECT_TRUE(UnicodeUtil::continuesGrapheme(0x200D, 0x1F469));
    EXPECT_FALSE(UnicodeUtil::continuesGrapheme(U'a', U'b'));
    EXPECT_FALSE(UnicodeUtil::continuesGrapheme(U'\r', 0x301));
    EXPECT_EQ(UnicodeUtil::firstGraphemeLength(U"e\u0301x"), 2u);
    EXPECT_EQ(UnicodeUtil::firstGraphemeLength(U""), 0u);
}

TEST(UnicodeClasses, packed_properties_agree_with_the_range_tables_everywhere)
{
    for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
        const uint8_t ccc = UnicodeTables::lookup(UnicodeTables::combiningClass, c);
        ASSERT_EQ(UnicodeUtil::combiningClass(c), ccc) << std::hex << c;
        ASSERT_EQ(uint8_t(UnicodeUtil::graphemeBreak(c)), UnicodeTables::lookup(UnicodeTables::graphemeBreak, c)) << std::hex << c;
        ASSERT_EQ(UnicodeUtil::isExtendedPictographic(c), UnicodeTables::lookup(UnicodeTables::extendedPictographic, c) != 0)
            << std::hex << c;
    }
    EXPECT_EQ(UnicodeUtil::columnWidth(0x110000), 1);
    EXPECT_EQ(UnicodeUtil::graphemeBreak(0x110000), UnicodeUtil::GraphemeBreak::Other);
}
