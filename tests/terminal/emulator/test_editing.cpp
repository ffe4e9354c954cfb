// Erasing, character and line insertion/deletion, scrolling, column operations and line modes.
#include "support/CommandTestHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using namespace termcore;
using cmdtest::Harness;

namespace {
// Rows "r0".."rN" printed one per row, the cursor left at the start of the last one.
void numberRows(Harness& h, int n)
{
    for (int i = 0; i < n; i++) {
        h.feed("r" + std::to_string(i));
        if (i + 1 < n)
            h.feed("\r\n");
    }
}
} // namespace

TEST(EraseInDisplay, below_above_all_and_scrollback)
{
    Harness h(20, 5);
    numberRows(h, 5);
    h.feed("\x1b[3;2H\x1b[J"); // from (1,2) down
    EXPECT_EQ(h.screen(), "r0|r1|r|||");
    h.feed("\x1b[H");
    numberRows(h, 5);
    h.feed("\x1b[3;2H\x1b[1J"); // up to and including (1,2)
    EXPECT_EQ(h.screen(), "|||r3|r4|");
    h.feed("\x1b[2J");
    EXPECT_EQ(h.screen(), "|||||");
}

TEST(EraseInDisplay, erase_all_keeps_the_scrollback_and_ed3_drops_only_it)
{
    Harness h(20, 5);
    numberRows(h, 12); // 7 rows went into the scrollback
    ASSERT_EQ(h.yBase(), 7);
    h.feed("\x1b[2J");
    EXPECT_EQ(h.yBase(), 7);
    EXPECT_EQ(h.lineText(0), "r0");
    EXPECT_EQ(h.lineText(6), "r6");
    EXPECT_EQ(h.screen(), "|||||");
    h.feed("x\x1b[3J");
    EXPECT_EQ(h.yBase(), 0);
    EXPECT_EQ(h.lineCount(), 5);
    EXPECT_EQ(h.row(h.y()).find('x') != std::string::npos, true);
}

TEST(EraseInDisplay, wrapped_flags)
{
    Harness h(10, 4);
    h.feed(std::string(25, 'a')); // rows 1 and 2 are continuations
    ASSERT_TRUE(h.wrapped(1));
    ASSERT_TRUE(h.wrapped(2));
    h.feed("\x1b[3;1H\x1b[J");      // ED 0 at column 0 clears the row's flag
    EXPECT_FALSE(h.wrapped(2));
    EXPECT_TRUE(h.wrapped(1));
    h.feed("\x1b[1;10H\x1b[1J");    // ED 1 in the last column unwraps the next row
    EXPECT_FALSE(h.wrapped(1));
    h.feed("\x1b[1;1H" + std::string(15, 'b') + "\x1b[2;3H\x1b[K"); // EL keeps it
    EXPECT_TRUE(h.wrapped(1));
    EXPECT_EQ(h.row(1), "bb");
}

TEST(EraseInLine, ranges_and_the_erase_attribute)
{
    Harness h(10, 3);
    h.feed("abcdefghij\x1b[1;4H\x1b[K");
    EXPECT_EQ(h.row(0), "abc");
    h.feed("\x1b[1;1Habcdefghij\x1b[1;4H\x1b[1K");
    EXPECT_EQ(h.row(0), "    efghij");
    h.feed("\x1b[2K");
    EXPECT_EQ(h.row(0), "");
    h.feed("\x1b[1;1Habcdefghij\x1b[1;4H\x1b[9K"); // unknown value: nothing
    EXPECT_EQ(h.row(0), "abcdefghij");
    h.feed("\x1b[1;3;44m\x1b[1;8H\x1b[K");
    CharData c = h.cell(8, 0);
    EXPECT_EQ(c.code, 0);
    EXPECT_EQ(c.attribute.bg, Attribute::Color::ansi256(4));
    EXPECT_TRUE(c.attribute.fg.isDefault());
    EXPECT_TRUE(c.attribute.style.isEmpty());
    h.feed("\x1b[1;3H\x1b[?1K"); // selective erase acts as EL
    EXPECT_EQ(h.row(0), "   defg");
}

TEST(EraseChars, ech_clips_at_the_line_end_and_keeps_the_cursor)
{
    Harness h(10, 2);
    h.feed("abcdefghij\x1b[1;3H\x1b[2X");
    EXPECT_EQ(h.row(0), "ab  efghij");
    EXPECT_EQ(h.x(), 2);
    h.feed("\x1b[0X");
    EXPECT_EQ(h.row(0), "ab  efghij");
    h.feed("\x1b[1;8H\x1b[999X");
    EXPECT_EQ(h.row(0), "ab  efg");
}

TEST(InsertDeleteChars, ich_and_dch_with_and_without_margins)
{
    Harness h(10, 2);
    h.feed("abcdefghij\x1b[1;3H\x1b[2@");
    EXPECT_EQ(h.row(0), "ab  cdefgh");
    h.feed("\x1b[P");
    EXPECT_EQ(h.row(0), "ab cdefgh");
    h.feed("\x1b[1;1Habcdefghij\x1b[1;2H\x1b[3P");
    EXPECT_EQ(h.row(0), "aefghij");
    h.feed("\x1b[1;1Habcdefghij\x1b[?69h\x1b[3;6s\x1b[1;4H\x1b[2@"); // margins 2..5
    EXPECT_EQ(h.row(0), "abc  dghij");
    h.feed("\x1b[?69l\x1b[1;1Habcdefghij\x1b[?69h\x1b[1;4H\x1b[9P"); // cut at the right margin
    EXPECT_EQ(h.row(0), "abc   ghij");
    h.feed("\x1b[?69l\x1b[1;1Habcdefghij\x1b[?69h\x1b[1;9H\x1b[2@\x1b[2P"); // outside the margins: nothing
    EXPECT_EQ(h.row(0), "abcdefghij");
}

TEST(InsertDeleteChars, pending_wrap_column)
{
    Harness h(10, 2);
    h.feed("abcdefghij");
    ASSERT_EQ(h.x(), 10);
    h.feed("\x1b[P"); // DCH: nothing under the cursor
    EXPECT_EQ(h.row(0), "abcdefghij");
    h.feed("\x1b[@"); // ICH acts on the last column, not on column 0
    EXPECT_EQ(h.row(0), "abcdefghi");
}

TEST(InsertDeleteLines, il_dl_inside_and_outside_the_region)
{
    Harness h(10, 6);
    numberRows(h, 6);
    h.feed("\x1b[2;5r\x1b[3;1H\x1b[L"); // region rows 1..4
    EXPECT_EQ(h.screen(), "r0|r1||r2|r3|r5|");
    h.feed("\x1b[2M");
    EXPECT_EQ(h.screen(), "r0|r1|r3|||r5|");
    h.feed("\x1b[6;1H\x1b[L\x1b[M"); // below the region: nothing
    EXPECT_EQ(h.screen(), "r0|r1|r3|||r5|");
    h.feed("\x1b[2;1H\x1b[99999999L");     // huge count finishes
    EXPECT_EQ(h.screen(), "r0|||||r5|");
}

TEST(InsertDeleteLines, margin_mode_moves_only_the_margin_columns)
{
    Harness h(6, 4);
    h.feed("aaaaaa\r\nbbbbbb\r\ncccccc\r\ndddddd");
    h.feed("\x1b[?69h\x1b[2;4s\x1b[2;2H\x1b[L"); // margins 1..3, cursor row 1
    EXPECT_EQ(h.screen(), "aaaaaa|b   bb|cbbbcc|dcccdd|");
    h.feed("\x1b[M");
    EXPECT_EQ(h.screen(), "aaaaaa|bbbbbb|cccccc|d   dd|");
    h.feed("\x1b[2;6H\x1b[L"); // cursor right of the margins: nothing
    EXPECT_EQ(h.screen(), "aaaaaa|bbbbbb|cccccc|d   dd|");
}

TEST(Scrolling, su_inside_a_region_never_feeds_the_scrollback)
{
    Harness h(10, 6);
    numberRows(h, 6);
    h.feed("\x1b[2;5r\x1b[S");
    EXPECT_EQ(h.screen(), "r0|r2|r3|r4||r5|");
    EXPECT_EQ(h.yBase(), 0);
    h.feed("\x1b[r\x1b[2S"); // whole screen: still no scrollback
    EXPECT_EQ(h.screen(), "r3|r4||r5|||");
    EXPECT_EQ(h.yBase(), 0);
    h.feed("\x1b[6;1H\n"); // a line feed at the bottom does push into the scrollback
    EXPECT_EQ(h.yBase(), 1);
    EXPECT_EQ(h.lineText(0), "r3");
    CharData blank = h.cell(0, 4);
    EXPECT_TRUE(blank.attribute.bg.isDefault());
}

TEST(Scrolling, sd_moves_the_region_down)
{
    Harness h(10, 5);
    numberRows(h, 5);
    h.feed("\x1b[2;4r\x1b[T");
    EXPECT_EQ(h.screen(), "r0||r1|r2|r4|");
    h.feed("\x1b[>T"); // title-mode reset, not a scroll
    EXPECT_EQ(h.screen(), "r0||r1|r2|r4|");
    h.feed("\x1b[99999T");
    EXPECT_EQ(h.screen(), "r0||||r4|");
}

TEST(Scrolling, index_and_reverse_index)
{
    Harness h(10, 5);
    numberRows(h, 5);
    h.feed("\x1b[2;4r\x1b[2;1H\x1bM"); // RI at scrollTop inserts a blank row in the region
    EXPECT_EQ(h.screen(), "r0||r1|r2|r4|");
    EXPECT_EQ(h.y(), 1);
    h.feed("\x1b[4;1H\x1b" "D"); // IND at scrollBottom scrolls the region up
    EXPECT_EQ(h.screen(), "r0|r1|r2||r4|");
    EXPECT_EQ(h.yBase(), 0);
    h.feed("\x1b[r\x1b[1;1H\x1bM\x1bM"); // RI at the top of the screen
    EXPECT_EQ(h.screen(), "||r0|r1|r2|");
}

TEST(Scrolling, user_scrolling_keeps_the_view_with_a_full_scrollback)
{
    Harness h(10, 3, 5); // 5 lines of scrollback
    numberRows(h, 20);
    h.t().userScrolling = true;
    h.buf().setYDisp(2);
    std::string before = h.lineText(h.buf().yDisp());
    h.feed("\r\nmore\r\nand more");
    EXPECT_EQ(h.lineText(h.buf().yDisp()), before);
    h.t().userScrolling = false;
    h.feed("\r\nlast");
    EXPECT_EQ(h.buf().yDisp(), h.yBase());
}

TEST(Columns, decic_and_decdc)
{
    Harness h(8, 3);
    h.feed("abcdefgh\r\nijklmnop\r\nqrstuvwx");
    h.feed("\x1b[1;3H\x1b[2'}");
    EXPECT_EQ(h.screen(), "ab  cdef|ij  klmn|qr  stuv|");
    EXPECT_TRUE(h.cell(2, 1).attribute.bg.isDefaultInverted());
    h.feed("\x1b[2~"); // DECDC
    EXPECT_EQ(h.screen(), "abcdef  |ijklmn  |qrstuv  |");
    h.feed("\x1b[1;1H\x1b[3'~"); // the intermediate is ignored: still deletes three
    EXPECT_EQ(h.screen(), "def     |lmn     |tuv     |");
}

TEST(Columns, back_and_forward_index_scroll_at_the_margins)
{
    Harness h(6, 2);
    h.feed("abcdef\r\nghijkl\x1b[1;1H\x1b" "6"); // DECBI at the left edge inserts a column
    EXPECT_EQ(h.screen(), " abcde| ghijk|");
    h.feed("\x1b[1;6H\x1b" "9"); // DECFI at the right edge deletes column 0
    EXPECT_EQ(h.screen(), "abcde |ghijk |");
    h.feed("\x1b[1;3H\x1b" "9");
    EXPECT_EQ(h.x(), 3);
    h.feed("\x1b" "6");
    EXPECT_EQ(h.x(), 2);
}

TEST(LineModes, render_mode_and_alignment_pattern)
{
    Harness h(5, 3);
    h.feed("\x1b[2;1H\x1b#6");
    EXPECT_EQ(h.renderMode(1), BufferLine::RenderLineMode::doubleWidth);
    h.feed("\x1b#3");
    EXPECT_EQ(h.renderMode(1), BufferLine::RenderLineMode::doubledTop);
    h.feed("\x1b[2J");
    EXPECT_EQ(h.renderMode(1), BufferLine::RenderLineMode::single);
    h.feed("\x1b[2;3r\x1b[41;1m\x1b[3;3H\x1b#8");
    EXPECT_EQ(h.screen(), "EEEEE|EEEEE|EEEEE|");
    EXPECT_EQ(h.pos(), std::make_pair(0, 0));
    EXPECT_EQ(h.region(), std::make_pair(1, 2));
    CharData e = h.cell(4, 2);
    EXPECT_EQ(e.attribute.bg, Attribute::Color::ansi256(1));
    EXPECT_TRUE(e.attribute.style.isEmpty());
}

TEST(DirtyRows, edits_mark_the_rows_they_change)
{
    Harness h(10, 10);
    h.feed("\x1b[4;1H");
    h.clearDirty();
    h.feed("\x1b[K");
    EXPECT_EQ(h.dirty(), std::make_optional(std::make_pair(3, 3)));
    h.clearDirty();
    h.feed("\x1b[3;7r\x1b[4;1H");
    h.clearDirty();
    h.feed("\x1b[L");
    EXPECT_EQ(h.dirty(), std::make_optional(std::make_pair(3, 6)));
    h.clearDirty();
    h.feed("\x1b[S");
    EXPECT_EQ(h.dirty(), std::make_optional(std::make_pair(2, 6)));
}

// Writes and erases that meet one half of a double-width character: as in xterm, the whole
// character goes (both cells blank) and nothing is drawn over anything else. The expected rows
// were read from xterm 379 at 10 columns (its screen printed with MC); a row shows a wide
// character once, without the empty cell it covers.
TEST(WideCharacters, a_write_or_erase_into_either_half_takes_the_whole_character)
{
    struct Case {
        const char* name;
        const char* input;
        const char* row; // the first row as shown
    };
    const Case cases[] = {
        {"narrow into the right half", "漢字\x1b[1;2HZ", " Z字"},
        {"narrow after a backspace", "漢\bZ", " Z"},
        {"a run from the right half to a left half", "漢字\x1b[1;2HZZ", " ZZ"},
        {"narrow into the left half", "漢字\x1b[1;1HZ", "Z 字"},
        {"wide into the right half", "漢字\x1b[1;2Hあ", " あ"},
        {"wide over the next left half", "ab字\x1b[1;2Hあ", "aあ"},
        {"insert mode into the right half", "漢字\x1b[4h\x1b[1;2HZ", " Z 字"},
        {"ECH from the right half", "漢字\x1b[1;2H\x1b[X", "  字"},
        {"ECH over two halves", "漢字\x1b[1;2H\x1b[2X", ""},
        {"EL to the right from the right half", "漢字\x1b[1;2H\x1b[K", ""},
        {"EL to the left up to a left half", "漢字x\x1b[1;3H\x1b[1K", "    x"},
        {"ED below from the right half", "漢字\x1b[1;2H\x1b[J", ""},
        {"DCH at the right half", "漢字\x1b[1;2H\x1b[P", " 字"},
        {"DCH up to a left half", "a漢字\x1b[1;1H\x1b[2P", " 字"},
        {"ICH at the right half", "漢字\x1b[1;2H\x1b[@", "   字"},
        {"ICH at the left half", "漢字\x1b[1;1H\x1b[@", " 漢字"},
        {"ICH pushes a right half off the row", "abcdefgh漢\x1b[1;1H\x1b[@", " abcdefgh"},
        {"IL between margins that cut it", "a漢bc\x1b[?69h\x1b[3;10s\x1b[1;3H\x1b[L", "a"},
        {"DECERA on the right half", "漢字\x1b[1;2;1;2$z", "  字"},
        {"DECSERA on the right half", "漢字\x1b[1;2;1;2${", "  字"},
        {"DECFRA on the right half", "漢字\x1b[90;1;2;1;2$x", " Z字"},
    };
    for (const Case& c : cases) {
        Harness h(10, 3);
        h.feed(c.input);
        std::string shown;
        for (int col = 0; col < 10; col++) {
            const CharData cell = h.cell(col, 0);
            if (cell.code == 0 && col > 0 && h.cell(col - 1, 0).width == 2)
                continue; // the cell a wide character covers
            if (cell.code == 0)
                shown += ' ';
            else
                cell.appendCharacterUtf8(shown);
        }
        shown.erase(shown.find_last_not_of(' ') + 1);
        EXPECT_EQ(shown, c.row) << c.name;
    }
    // The blanked half takes the background of the write, as an erase would.
    Harness h(10, 3);
    h.feed("\x1b[41m漢\x1b[44m\x1b[1;2HZ");
    EXPECT_EQ(h.cell(0, 0).attribute, Attribute(Attribute::Color::defaultColor(), h.cell(1, 0).attribute.bg, CharacterStyle::none));
}

TEST(BadInput, random_sequences_never_break_the_screen_invariants)
{
    std::mt19937 rng(1234);
    const std::string finals = "@ABCDEFGHIJKLMPSTXZ`abdefghlmnpqrsu~}{txyz";
    const std::string inters[] = {"", "?", "$", "'", " ", "!", "\"", ">", "#", "*"};
    // Mode switches that change how the commands above read the screen.
    const char* modes[] = {"\x1b[?69h", "\x1b[?69l", "\x1b[?6h", "\x1b[?6l", "\x1b[?1049h", "\x1b[?1049l",
                           "\x1b[?47h", "\x1b[?47l", "\x1b[?3h", "\x1b[?3l", "\x1b[?7l", "\x1b[?7h",
                           "\x1b[4h", "\x1b[4l", "\x1b[?45h", "\x1b]8;;u\x07", "\x1b]8;;\x07", "\x1bP$qm\x1b\\",
                           "\x1b[!p", "\x1b[3;60s", "\x1b[2;300r", "\x1b[20;2s", "\x1b[?1048l"};
    const int rounds = std::getenv("BRINMOOR_FUZZ_ROUNDS") ? std::atoi(std::getenv("BRINMOOR_FUZZ_ROUNDS")) : 4;
    for (int round = 0; round < rounds; round++) {
        Harness h(round % 2 ? 7 : 33, round % 2 ? 4 : 11);
        for (int i = 0; i < 4000; i++) {
            std::string s = "\x1b[";
            s += inters[rng() % 10];
            int n = rng() % 4;
            for (int k = 0; k < n; k++) {
                if (k)
                    s += (rng() % 5 == 0) ? ":" : ";";
                int v = rng() % 6 == 0 ? int(rng() % 100000) : int(rng() % 40);
                s += std::to_string(v);
            }
            s += finals[rng() % finals.size()];
            if (rng() % 3 == 0)
                s += "x\xe4\xb8\xad\r\n\t\b";
            if (rng() % 50 == 0)
                s += "\x1b" "7\x1b" "8\x1b" "D\x1bM\x1b#8\x1b" "6\x1b" "9";
            if (rng() % 8 == 0)
                s += modes[rng() % (sizeof(modes) / sizeof(modes[0]))];
            if (rng() % 200 == 0)
                h.t().resize(int(rng() % 50) + 1, int(rng() % 20) + 1);
            h.feed(s);
            Buffer& b = h.buf();
            ASSERT_GE(b.x(), 0);
            ASSERT_LE(b.x(), h.t().cols());
            ASSERT_GE(b.y(), 0);
            ASSERT_LT(b.y(), h.t().rows());
            ASSERT_LE(b.scrollTop(), b.scrollBottom());
            ASSERT_LT(b.scrollBottom(), h.t().rows());
        }
    }
}
