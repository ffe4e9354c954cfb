// Rows: cell editing (ICH/DCH/ECH-style operations), text extraction, sizing.
#include "BufferLine.h"
#include "Diagnostics.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace termcore;
using Color = Attribute::Color;

namespace {
const CharData F(U'F', 1, Attribute()); // a visible fill cell for the edit tables

CharData cell(char c)
{
    return CharData(Attribute(), char32_t(c), 1);
}

BufferLine rowOf(const std::string& text)
{
    BufferLine line(int(text.size()));
    for (size_t i = 0; i < text.size(); ++i)
        line.set(int(i), text[i] == '.' ? CharData::Null : cell(text[i]));
    return line;
}

// Text of a row with empty cells shown as '.'.
std::string textOf(const BufferLine& line)
{
    std::string out;
    for (int i = 0; i < line.count(); ++i)
        out.push_back(line[i].code == 0 ? '.' : char(line[i].code));
    return out;
}
} // namespace

struct EditCase {
    const char* name;
    bool insert;
    int pos, n, rightMargin;
    const char* expected;
};

TEST(BufferLineEdit, insert_and_delete_cells_within_the_right_margin)
{
    const EditCase cases[] = {
        {"ICH worked example", true, 2, 3, 5, "abFFFcghij"},
        {"DCH worked example", false, 2, 3, 5, "abfFFFghij"},
        {"ICH past the margin fills to the margin only", true, 2, 9, 5, "abFFFFghij"},
        {"DCH past the margin fills to the margin only", false, 2, 4, 5, "abFFFFghij"},
        {"ICH at the margin column", true, 5, 1, 5, "abcdeFghij"},
        {"ICH whole row", true, 0, 1, 9, "Fabcdefghi"},
        {"DCH whole row", false, 0, 1, 9, "bcdefghijF"},
        {"ICH n=0 changes nothing", true, 3, 0, 9, "abcdefghij"},
        {"DCH negative n changes nothing", false, 3, -2, 9, "abcdefghij"},
        // The pending-wrap column (one past the margin) edits the margin column itself instead
        // of wrapping round to column 0.
        {"ICH at the pending-wrap column", true, 10, 1, 9, "abcdefghiF"},
        {"DCH at the pending-wrap column", false, 10, 2, 9, "abcdefghiF"},
        {"ICH pending wrap inside margins", true, 6, 2, 5, "abcdeFghij"},
        {"ICH margin beyond the row is clipped", true, 8, 1, 40, "abcdefghFi"},
        {"DCH negative column starts at 0", false, -3, 1, 9, "bcdefghijF"},
    };
    for (const auto& c : cases) {
        BufferLine line = rowOf("abcdefghij");
        if (c.insert)
            line.insertCells(c.pos, c.n, c.rightMargin, F);
        else
            line.deleteCells(c.pos, c.n, c.rightMargin, F);
        EXPECT_EQ(textOf(line), c.expected) << c.name;
    }
}

TEST(BufferLineEdit, replace_fill_copy_and_clear)
{
    BufferLine line = rowOf("abcdefghij");
    line.replaceCells(7, 100, F);
    EXPECT_EQ(textOf(line), "abcdefgFFF");
    line.fill(cell('x'), 1, 2);
    EXPECT_EQ(textOf(line), "axxdefgFFF");
    line.fill(cell('y'), 4, 0);
    line.fill(cell('y'), 9, 5);
    EXPECT_EQ(textOf(line), "axxdefgFFy");

    // Overlapping copies within one row behave like memmove in both directions.
    BufferLine r = rowOf("abcdefghij");
    r.copyFrom(r, 0, 2, 5);
    EXPECT_EQ(textOf(r), "ababcdehij");
    BufferLine l = rowOf("abcdefghij");
    l.copyFrom(l, 3, 1, 4);
    EXPECT_EQ(textOf(l), "adefgfghij");
    // Ranges running past either row are clipped.
    BufferLine shortRow = rowOf("xyz");
    l.copyFrom(shortRow, 1, 8, 10);
    EXPECT_EQ(textOf(l), "adefgfghyz");

    const Attribute blue(Color::ansi256(4), Color::defaultColor(), CharacterStyle::none);
    line.isWrapped = true;
    line.renderMode = BufferLine::RenderLineMode::doubleWidth;
    line.clear(blue);
    EXPECT_EQ(textOf(line), "..........");
    EXPECT_EQ(line[3].attribute, blue);
    EXPECT_TRUE(line.isWrapped);
    EXPECT_EQ(line.renderMode, BufferLine::RenderLineMode::doubleWidth);
}

TEST(BufferLineText, translateToString_trims_and_ranges)
{
    BufferLine line(10);
    for (int i = 0; i < 5; ++i)
        line.set(i, cell("hello"[i]));
    EXPECT_EQ(line.translateToString(true, 0, -1), "hello");
    EXPECT_EQ(line.translateToString(false, 0, -1), std::string("hello") + std::string(5, '\0'));
    EXPECT_EQ(line.translateToString(true, 1, 3), "el");
    EXPECT_EQ(line.translateToString(true, 7, -1), "") << "trimmed end never goes below startCol";
    EXPECT_EQ(line.translateToString(false, 3, 2), "");
    EXPECT_EQ(line.translateToString(false, 8, 50), std::string(2, '\0'));
    EXPECT_EQ(BufferLine(10).translateToString(true, 0, -1), "");

    // Styled blanks count as content but not towards the trimmed length.
    BufferLine styled(6);
    styled.set(4, CharData(0, 1, Attribute(Color(), Color::ansi256(2), CharacterStyle::none)));
    EXPECT_EQ(styled.getTrimmedLength(), 0);
    EXPECT_TRUE(styled.hasContent(4));
    EXPECT_TRUE(styled.hasAnyContent());
    EXPECT_FALSE(BufferLine(6).hasAnyContent());
    // A blank drawn with the inverted default counts as content.
    BufferLine inverted(3, CharData(0, 1, Attribute::empty));
    EXPECT_TRUE(inverted.hasContent(0));

    // Wide characters and clusters come out as UTF-8; the cell after a wide one is U+0000.
    BufferLine wide(4);
    wide.set(0, CharData(Attribute(), U'\u4E2D', 2));
    wide.set(2, CharData(Attribute(), U"e\u0301", 1));
    EXPECT_EQ(wide.translateToString(true), std::string("\xE4\xB8\xAD") + '\0' + "e\xCC\x81");
}

TEST(BufferLineAccess, out_of_range_cells_are_redirected_never_crash)
{
    BufferLine line = rowOf("abc");
    EXPECT_EQ(line[7].code, 'c');
    EXPECT_EQ(line[-1].code, 'a');
    {
        Diagnostics::Capture capture;
        line.set(3, cell('z'));
        ASSERT_EQ(capture.lines().size(), 1u);
        EXPECT_EQ(capture.lines()[0],
                  "BufferLine: You passed an index out of range, adjusting to prevent crash, but you should debug");
    }
    EXPECT_EQ(textOf(line), "abz");
    EXPECT_EQ(line.getWidth(100), 1);

    BufferLine empty(0);
    Diagnostics::Capture capture;
    empty.set(0, cell('q'));
    EXPECT_EQ(empty[0], CharData::Null);
    EXPECT_EQ(empty.count(), 0);
    empty.insertCells(0, 3, 5, F);
    empty.deleteCells(0, 3, 5, F);
    EXPECT_EQ(empty.getTrimmedLength(), 0);
}

TEST(BufferLineSize, resize_copy_and_images)
{
    BufferLine line = rowOf("abcdef");
    line.resize(3, F);
    EXPECT_EQ(textOf(line), "abc");
    line.resize(5, F);
    EXPECT_EQ(textOf(line), "abcFF");
    line.resize(0, F);
    EXPECT_EQ(line.count(), 0);
    line.resize(-4, F);
    EXPECT_EQ(line.count(), 0);

    struct Image : TerminalImage {
        int c = 0;
        int pixelWidth() const override { return 10; }
        int pixelHeight() const override { return 20; }
        int col() const override { return c; }
        void setCol(int v) override { c = v; }
    };
    BufferLine src = rowOf("xyz");
    src.isWrapped = true;
    src.renderMode = BufferLine::RenderLineMode::doubledTop;
    EXPECT_FALSE(src.images().has_value());
    src.attach(std::make_shared<Image>());
    src.attach(std::make_shared<Image>());
    ASSERT_TRUE(src.images().has_value());
    EXPECT_EQ(src.images()->size(), 2u);

    BufferLine copy(src);
    EXPECT_EQ(textOf(copy), "xyz");
    EXPECT_TRUE(copy.isWrapped);
    EXPECT_EQ(copy.renderMode, BufferLine::RenderLineMode::single);
    EXPECT_FALSE(copy.images().has_value());

    BufferLine target = rowOf("0123456");
    target.renderMode = BufferLine::RenderLineMode::doubledDown;
    target.copyFrom(src);
    EXPECT_EQ(textOf(target), "xyz");
    EXPECT_TRUE(target.isWrapped);
    EXPECT_EQ(target.renderMode, BufferLine::RenderLineMode::doubledDown);
}

// A scrollback row widened lazily reads as the widened row would: empty cells up to the new
// width (not its last cell again), stored for real by the first write or resize.
TEST(BufferLineSize, lazy_widening_reads_empty_cells_until_a_write_stores_them)
{
    BufferLine line = rowOf("abc");
    line.widenLazily(6);
    EXPECT_EQ(line.count(), 3);
    EXPECT_EQ(line.readWidth(), 6);
    EXPECT_EQ(line[4].code, 0);
    EXPECT_EQ(line[9].code, 0) << "past the lazy width too: the widened row's last cell is empty";
    EXPECT_EQ(line.translateToString(false), std::string("abc") + std::string(3, '\0'));
    EXPECT_FALSE(line.hasContent(5));

    BufferLine copy(line);
    EXPECT_EQ(copy.readWidth(), 6);
    copy.set(4, cell('z'));
    EXPECT_EQ(textOf(copy), "abc.z.");
    copy.widenLazily(8);
    copy.fill(F, 7, 1);
    EXPECT_EQ(textOf(copy), "abc.z..F");

    line.narrowLazily(5);
    EXPECT_EQ(line.readWidth(), 5);
    line.narrowLazily(2);
    EXPECT_EQ(line.readWidth(), 3);
    EXPECT_EQ(line[7].code, 'c') << "no longer lazy: past the end reads the last cell";

    BufferLine grown = rowOf("ab");
    grown.widenLazily(4);
    grown.resize(6, F);
    EXPECT_EQ(textOf(grown), "ab..FF") << "the promised cells are empty, the rest take the fill";
}

// The text end a row keeps must bound its text after any mix of edits, or a reflow would cut
// text off; it should also stay tight after the common ones (a blanked end lowers it).
TEST(BufferLineText, text_end_bounds_the_text_after_any_edit)
{
    std::mt19937 rng(7);
    const auto pick = [&](int n) { return int(rng() % unsigned(std::max(n, 1))); };
    const auto anyCell = [&] { return rng() % 3 == 0 ? CharData::Null : cell(char('a' + pick(26))); };
    const auto bruteTrimmed = [](const BufferLine& line) {
        int end = 0;
        for (int i = 0; i < line.count(); ++i)
            if (line[i].code != 0)
                end = i + 1;
        return end;
    };
    BufferLine other = rowOf("xy..z.....w");
    for (int round = 0; round < 200; ++round) {
        BufferLine line(1 + pick(30));
        for (int step = 0; step < 40; ++step) {
            const int n = line.count();
            switch (pick(11)) {
            case 0: line.set(pick(line.readWidth()), anyCell()); break;
            case 1: line.cellsForWrite(pick(n), 1)[0] = anyCell(); break;
            case 2: line.fill(anyCell(), pick(n), pick(n)); break;
            case 3: line.replaceCells(pick(n), pick(n + 2), anyCell()); break;
            case 4: line.insertCells(pick(n), 1 + pick(4), pick(n), anyCell()); break;
            case 5: line.deleteCells(pick(n), 1 + pick(4), pick(n), anyCell()); break;
            case 6: line.copyFrom(other, pick(other.count()), pick(n), pick(12)); break;
            case 7: line.copyFrom(line, pick(n), pick(n), pick(n)); break;
            case 8: line.resize(1 + pick(40), rng() % 4 == 0 ? F : CharData::Null); break;
            case 9: line.widenLazily(n + pick(10)); break;
            default: rng() % 2 ? line.clear(Attribute()) : line.fill(anyCell()); break;
            }
            ASSERT_LE(line.textEnd(), line.count());
            ASSERT_EQ(line.getTrimmedLength(), bruteTrimmed(line)) << "round " << round << " step " << step;
        }
    }

    // Erasing the end of a row's text, or copying blank cells over it, brings the bound down.
    BufferLine line = rowOf("abcdef....");
    EXPECT_EQ(line.textEnd(), 6);
    line.fill(CharData::Null, 3, 7);
    EXPECT_EQ(line.textEnd(), 3);
    line.copyFrom(rowOf("......"), 0, 1, 5);
    EXPECT_EQ(line.textEnd(), 1);
    line.clear(Attribute());
    EXPECT_EQ(line.textEnd(), 0);
}
