// Cells, renditions, the grapheme maps and payload handles.
#include "Attribute.h"
#include "Buffer.h"
#include "CharData.h"
#include "Diagnostics.h"
#include "TinyAtom.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

using namespace termcore;
using Color = Attribute::Color;

TEST(CharDataCodes, crlf_ascii_and_single_unit_characters_are_stored_directly)
{
    const size_t clustersBefore = CharData::indexToCharMap().size();
    EXPECT_EQ(CharData(Attribute(), U"\r\n", 1).code, 10);
    EXPECT_EQ(CharData(Attribute(), U'A', 1).code, 65);
    EXPECT_EQ(CharData(Attribute(), U"A", 1).code, 65);
    EXPECT_EQ(CharData(Attribute(), U'\u00E9', 1).code, 0xE9);
    EXPECT_EQ(CharData(Attribute(), U"\u00E9", 1).code, 0xE9);
    EXPECT_EQ(CharData(Attribute(), U'\u4E2D', 2).code, 0x4E2D);
    // None of these may go through the process-wide maps.
    EXPECT_EQ(CharData::indexToCharMap().size(), clustersBefore);
}

TEST(CharDataCodes, clusters_and_astral_characters_are_interned_once_per_process)
{
    const char32_t emoji = U'\U0001F600';
    const CharData a(Attribute(), emoji, 2);
    const CharData b(Attribute(), std::u32string_view(&emoji, 1), 2);
    EXPECT_GE(a.code, CharData::firstClusterCode);
    EXPECT_EQ(a.code, b.code);
    EXPECT_FALSE(a.isSimpleRune());
    EXPECT_EQ(a.getCharacter(), std::u32string(1, emoji));

    const std::u32string decomposed = U"e\u0301";
    const CharData c(Attribute(), decomposed, 1);
    EXPECT_GE(c.code, CharData::firstClusterCode);
    EXPECT_NE(c.code, a.code);
    EXPECT_EQ(c.getCharacter(), decomposed);
    EXPECT_EQ(CharData(Attribute(), decomposed, 1).code, c.code);

    // Clusters that are canonically equivalent by the order of their marks share one code.
    const CharData dotThenAcute(Attribute(), U"e\u0323\u0301", 1);
    const CharData acuteThenDot(Attribute(), U"e\u0301\u0323", 1);
    EXPECT_EQ(dotThenAcute.code, acuteThenDot.code);
    EXPECT_NE(dotThenAcute.code, c.code);
    EXPECT_EQ(acuteThenDot.getCharacter(), U"e\u0323\u0301") << "the first spelling seen is kept";

    // The two maps stay in step and the counter is past every code handed out.
    EXPECT_EQ(CharData::charToIndexMap().size(), CharData::indexToCharMap().size());
    EXPECT_GT(CharData::lastCharIndex(), c.code);
    EXPECT_EQ(CharData::charToIndexMap().at(decomposed), c.code);
}

TEST(CharDataCodes, getCharacter_of_empty_invalid_and_unknown_codes)
{
    EXPECT_EQ(CharData::Null.getCharacter(), std::u32string(1, U'\0'));
    // A lone surrogate, a value above U+10FFFF and an unknown cluster code all read as a space.
    EXPECT_EQ(CharData(0xD800, 1, Attribute()).getCharacter(), U" ");
    EXPECT_EQ(CharData(0x200000, 1, Attribute()).getCharacter(), U" ");
    EXPECT_EQ(CharData(0x7FFFFFF0, 1, Attribute()).getCharacter(), U" ");
    EXPECT_EQ(CharData(-5, 1, Attribute()).getCharacter(), U" ");

    std::string utf8;
    CharData(Attribute(), U'\u00E9', 1).appendCharacterUtf8(utf8);
    CharData(Attribute(), U'\U0001F600', 2).appendCharacterUtf8(utf8);
    EXPECT_EQ(utf8, "\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(CharDataCodes, setValue_keeps_payload_and_attribute_and_debugDescription_names_the_cell)
{
    const Attribute red(Color::ansi256(1), Color::defaultColor(), CharacterStyle::bold);
    CharData cell(red, U'x', 1);
    cell.setPayload(TinyAtom(7));
    cell.setValue(U'\U0001F600', 2);
    EXPECT_EQ(cell.width, 2);
    EXPECT_EQ(cell.attribute, red);
    EXPECT_EQ(cell.payload.code, 7);
    EXPECT_TRUE(cell.hasPayload());
    cell.setValue(U"Z", 1);
    EXPECT_EQ(cell.code, 'Z');

    EXPECT_EQ(CharData(Attribute(), U'A', 1).debugDescription(), "CharData: 65 A");
    EXPECT_EQ(CharData(0xDC00, 1, Attribute()).debugDescription(), "CharData: 56320 ?");
}

TEST(AttributeValues, empty_differs_from_the_null_cell_and_colors_compare_by_case_and_payload)
{
    EXPECT_NE(Attribute::empty, CharData::Null.attribute);
    EXPECT_EQ(CharData::Null.attribute, Attribute());
    EXPECT_EQ(CharData::Null.code, 0);
    EXPECT_EQ(CharData::Null.width, 1);

    EXPECT_NE(Color::ansi256(1), Color::trueColor(1, 0, 0));
    EXPECT_NE(Color::defaultColor(), Color::defaultInvertedColor());
    EXPECT_EQ(Color::trueColor(1, 2, 3), Color::trueColor(1, 2, 3));
    EXPECT_EQ(Color::trueColor(1, 2, 3).green(), 2);
    EXPECT_EQ(Color::ansi256(200).code(), 200);

    // Equal values hash equally; the few distinct values here do not collide.
    std::unordered_set<Attribute> set;
    set.insert(Attribute(Color::ansi256(1), Color::defaultColor(), CharacterStyle::none));
    set.insert(Attribute(Color::ansi256(1), Color::defaultColor(), CharacterStyle::none));
    set.insert(Attribute(Color::trueColor(1, 0, 0), Color::defaultColor(), CharacterStyle::none));
    set.insert(Attribute::empty);
    set.insert(Attribute());
    EXPECT_EQ(set.size(), 4u);
}

struct SgrCase {
    const char* name;
    Attribute attribute;
    const char* expected;
};

TEST(AttributeSgr, toSgr_restores_the_rendition)
{
    const CharacterStyle bold = CharacterStyle::bold;
    const SgrCase cases[] = {
        {"empty", Attribute::empty, "0m"},
        {"null cell", Attribute(), "0m"},
        {"bold red on 200", Attribute(Color::ansi256(1), Color::ansi256(200), bold), "0;1;31;48;5;200m"},
        {"bold underline bright red", Attribute(Color::ansi256(9), Color::defaultColor(), bold | CharacterStyle::underline),
         "0;1;4;91m"},
        {"basic fg and bg", Attribute(Color::ansi256(3), Color::ansi256(4), CharacterStyle::none), "0;33;44m"},
        {"bright bg", Attribute(Color::defaultColor(), Color::ansi256(12), CharacterStyle::none), "0;104m"},
        {"indexed 16 and 255", Attribute(Color::ansi256(16), Color::ansi256(255), CharacterStyle::none), "0;38;5;16;48;5;255m"},
        {"true colour fg", Attribute(Color::trueColor(1, 2, 3), Color::defaultColor(), CharacterStyle::none), "0;38;2;1;2;3m"},
        {"true colour bg", Attribute(Color::defaultInvertedColor(), Color::trueColor(255, 0, 128), CharacterStyle::none),
         "0;48;2;255;0;128m"},
        {"dim italic crossed-out", Attribute(Color(), Color(), CharacterStyle::dim | CharacterStyle::italic | CharacterStyle::crossedOut),
         "0;2;3;9m"},
        {"every style bit", Attribute(Color(), Color(), CharacterStyle(0xFF)), "0;1;2;3;4;5;7;8;9m"},
    };
    Diagnostics::Capture capture;
    for (const auto& c : cases)
        EXPECT_EQ(c.attribute.toSgr(), c.expected) << c.name;
    EXPECT_TRUE(capture.lines().empty()) << "toSgr must not print";
}

TEST(TinyAtoms, handles_are_sequential_carry_their_payload_and_are_not_reused_early)
{
    const int before = TinyAtom::lastUsed();
    auto a = TinyAtom::lookup(std::string("https://example.org"));
    auto b = TinyAtom::lookup(42);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->code, before + 1);
    EXPECT_EQ(b->code, before + 2);
    ASSERT_NE(a->target(), nullptr);
    EXPECT_EQ(std::any_cast<std::string>(*a->target()), "https://example.org");

    CharData cell(Attribute(), U'L', 1);
    EXPECT_EQ(cell.getPayload(), nullptr);
    cell.setPayload(*b);
    ASSERT_NE(cell.getPayload(), nullptr);
    EXPECT_EQ(std::any_cast<int>(*cell.getPayload()), 42);

    TinyAtom::release(a->code);
    EXPECT_EQ(a->target(), nullptr);
    auto c = TinyAtom::lookup(1);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->code, before + 3) << "a released code waits until the code space is used up";
    EXPECT_EQ(TinyAtom().target(), nullptr);
}

// Uses up the process-wide code space, so it runs last in this executable.
TEST(TinyAtomsZZ, past_the_last_code_the_codes_no_cell_holds_are_handed_out_again)
{
    while (TinyAtom::lastUsed() < TinyAtom::maxCode)
        ASSERT_TRUE(TinyAtom::lookup(0));
    Buffer buffer(80, 2, 8, std::nullopt);
    buffer.fillViewportRows(std::nullopt);
    const auto held = TinyAtom::lookup(std::string("held"));
    ASSERT_TRUE(held);
    CharData cell(Attribute(), U'L', 1);
    cell.setPayload(*held);
    buffer.lines()[0].set(0, cell);
    for (int i = 0; i < TinyAtom::maxCode + 10; i++) {
        const auto next = TinyAtom::lookup(i);
        ASSERT_TRUE(next);
        ASSERT_NE(next->code, held->code);
    }
    EXPECT_EQ(std::any_cast<std::string>(*held->target()), "held");
}
