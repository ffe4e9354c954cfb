// Resizing a screen buffer: rows and capacity, cursor and saved cursor, and the reflow of wrapped
// lines when the width changes.
#include "Buffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace termcore;

namespace {
struct Screen {
    std::unique_ptr<Buffer> b;
    Screen(int cols, int rows, std::optional<int> scrollback = 1000)
        : b(std::make_unique<Buffer>(cols, rows, 8, scrollback))
    {
        b->fillViewportRows();
        b->wraparound = true;
        Buffer* buf = b.get();
        b->scroll = [buf](bool isWrapped) {
            auto& lines = buf->lines();
            if (lines.isFull()) {
                lines.recycle();
                lines[lines.count() - 1].isWrapped = isWrapped;
            } else {
                lines.push(buf->getBlankLine(Attribute(), isWrapped));
                buf->setYBase(buf->yBase() + 1);
                buf->setYDisp(buf->yBase());
            }
        };
    }
    Buffer& operator*() { return *b; }
    Buffer* operator->() { return b.get(); }

    void print(const std::u32string& text, int width = 1)
    {
        for (char32_t c : text)
            b->insertCharacter(CharData(Attribute(), c, int8_t(width)));
    }
    void print(const std::string& ascii)
    {
        for (char c : ascii)
            b->insertCharacter(CharData(Attribute(), char32_t(c), 1));
    }
    void newline()
    {
        b->setX(0);
        if (b->y() == b->scrollBottom())
            b->scroll(false);
        else
            b->setY(b->y() + 1);
    }
    std::string row(int absolute) { return b->lines()[absolute].translateToString(true); }
    std::string screenRow(int y) { return row(b->yBase() + y); }
};

// The logical lines of the whole ring: wrapped rows joined, empty lines left out.
std::vector<std::string> logicalLines(Buffer& b)
{
    std::vector<std::string> out;
    std::string current;
    for (int i = 0; i < b.lines().count(); ++i) {
        BufferLine& line = b.lines()[i];
        if (!line.isWrapped && i > 0) {
            if (!current.empty())
                out.push_back(current);
            current.clear();
        }
        for (char c : line.translateToString(true))
            if (c != '\0')
                current.push_back(c);
    }
    if (!current.empty())
        out.push_back(current);
    return out;
}

// n letters of the alphabet, repeating, starting at letter `first` ('a'..'z').
std::string letters(int n, char first = 'a')
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s.push_back(char('a' + (first - 'a' + i) % 26));
    return s;
}
} // namespace

TEST(ResizeReflowWider, a_wrapped_line_joins_and_the_rows_below_move_up)
{
    Screen s(80, 10);
    s.print(letters(100));
    s.newline();
    s.print("next");
    s.newline();
    s.newline(); // cursor on row 4
    ASSERT_TRUE(s->lines()[1].isWrapped);
    s->savedY = 2;
    s->resize(120, 10);
    EXPECT_EQ(s.row(0), letters(100));
    EXPECT_EQ(s.row(1), "next");
    EXPECT_FALSE(s->lines()[1].isWrapped);
    EXPECT_EQ(s->y(), 3) << "no scrollback in use: the cursor row moves up";
    EXPECT_EQ(s->savedY, 1);
    EXPECT_EQ(s->lines().count(), 10) << "a blank row is appended at the bottom";
    EXPECT_EQ(s->lines()[9].count(), 120);
}

TEST(ResizeReflowWider, with_scrollback_in_use_the_screen_consumes_scrollback)
{
    Screen s(80, 5);
    s.print(letters(100));
    for (int i = 0; i < 6; ++i) {
        s.newline();
        s.print("line" + std::to_string(i));
    }
    const int yBase = s->yBase();
    ASSERT_GT(yBase, 0);
    const int y = s->y();
    s->resize(120, 5);
    EXPECT_EQ(s.row(0), letters(100));
    EXPECT_EQ(s.row(1), "line0");
    EXPECT_EQ(s->yBase(), yBase - 1);
    EXPECT_EQ(s->yDisp(), s->yBase());
    EXPECT_EQ(s->y(), y);
    EXPECT_EQ(s.screenRow(s->y()), "line5");
}

TEST(ResizeReflowWider, the_cursor_line_is_never_moved)
{
    Screen s(80, 10);
    s.print(letters(100)); // cursor stays on the continuation row
    s->resize(120, 10);
    EXPECT_EQ(s.row(0), letters(80));
    EXPECT_EQ(s.row(1), letters(20, 'c'));
    EXPECT_TRUE(s->lines()[1].isWrapped);
    EXPECT_EQ(s->y(), 1);
    EXPECT_EQ(s->x(), 20);
}

TEST(ResizeReflowNarrower, a_long_line_rewraps_into_more_rows)
{
    Screen s(80, 10);
    s.print(letters(100));
    s.newline();
    s.print("tail");
    s.newline(); // cursor on row 3
    s->savedY = 2;
    s->resize(40, 10);
    EXPECT_EQ(s.row(0), letters(40));
    EXPECT_EQ(s.row(1), letters(40, 'o'));
    EXPECT_EQ(s.row(2), letters(20, 'c'));
    EXPECT_FALSE(s->lines()[0].isWrapped);
    EXPECT_TRUE(s->lines()[1].isWrapped);
    EXPECT_TRUE(s->lines()[2].isWrapped);
    EXPECT_EQ(s.row(3), "tail");
    EXPECT_EQ(s->y(), 4) << "the cursor row moves down with its text";
    EXPECT_EQ(s->savedY, 3);
    EXPECT_EQ(s->yBase(), 0);
    EXPECT_EQ(s->lines().count(), 10);
    for (int i = 0; i < s->lines().count(); ++i)
        EXPECT_EQ(s->lines()[i].count(), 40);
}

TEST(ResizeReflowNarrower, with_the_cursor_on_the_last_row_the_screen_scrolls)
{
    Screen s(80, 4);
    s.print(letters(100));
    s.newline();
    s.newline(); // cursor on the last screen row
    ASSERT_EQ(s->y(), 3);
    s->resize(40, 4);
    EXPECT_EQ(s->yBase(), 1);
    EXPECT_EQ(s->yDisp(), 1);
    EXPECT_EQ(s->y(), 3);
    EXPECT_EQ(s.row(0), letters(40));
    EXPECT_EQ(s.row(2), letters(20, 'c'));
}

TEST(ResizeReflowNarrower, a_wide_character_never_straddles_the_new_edge)
{
    Screen s(80, 6);
    s.print(letters(39));
    s.print(U"\u4E2D", 2); // columns 39-40
    s.print(letters(39, 'n'));
    s.print("Z");
    s.newline();
    s.newline();
    s->resize(40, 6);
    BufferLine& first = s->lines()[0];
    EXPECT_EQ(first.translateToString(true), letters(39));
    EXPECT_EQ(first[39].code, 0) << "the end left by the wide character is blank";
    BufferLine& second = s->lines()[1];
    EXPECT_EQ(second[0].code, 0x4E2D);
    EXPECT_EQ(second[0].width, 2);
    EXPECT_TRUE(second.isWrapped);
    EXPECT_EQ(s.row(2), "zZ");

    // And back: widening joins it again without splitting the wide character.
    s->resize(80, 6);
    EXPECT_EQ(s->lines()[0][39].code, 0x4E2D);
    EXPECT_EQ(s->lines()[0][79].code, 'z');
    EXPECT_EQ(s.row(1), "Z");
}

TEST(ResizeReflowWider, a_wide_character_is_not_split_at_the_new_edge)
{
    Screen s(80, 6);
    s.print(letters(80));
    s.print("c");
    s.print(U"\u4E2D", 2); // continuation row: c, wide at 1-2, dd
    s.print("dd");
    s.newline();
    s.newline();
    // 82 columns: "c" fits after the 80 letters, the wide character would straddle the edge.
    s->resize(82, 6);
    EXPECT_EQ(s->lines()[0][80].code, 'c');
    EXPECT_EQ(s->lines()[0][81].code, 0);
    EXPECT_EQ(s->lines()[0][81].width, 1);
    EXPECT_EQ(s->lines()[1][0].code, 0x4E2D);
    EXPECT_EQ(s->lines()[1][2].code, 'd');
    EXPECT_TRUE(s->lines()[1].isWrapped);

    // With room for it the whole line joins and the continuation row goes.
    s->resize(90, 6);
    EXPECT_EQ(s->lines()[0][81].code, 0x4E2D);
    EXPECT_EQ(s->lines()[0][84].code, 'd');
    EXPECT_FALSE(s->lines()[1].isWrapped);
    EXPECT_EQ(s->y(), 2);
}

TEST(ResizeReflowWider, a_wide_character_that_wrapped_early_moves_up_when_it_fits)
{
    Screen s(80, 6);
    s.print(letters(79));
    s.print(U"\u4E2D", 2); // does not fit at column 79: wraps, leaving an empty cell
    s.print("bb");
    s.newline();
    s.newline();
    ASSERT_EQ(s->lines()[1][0].code, 0x4E2D);
    s->resize(81, 6);
    EXPECT_EQ(s->lines()[0][79].code, 0x4E2D) << "the empty cell left by the wrap is not text";
    EXPECT_EQ(s->lines()[1].translateToString(true), "bb");
    EXPECT_TRUE(s->lines()[1].isWrapped);
}

TEST(ResizeHeight, shrink_and_grow_move_rows_between_screen_and_scrollback)
{
    {
        Screen s(20, 10);
        for (int i = 0; i < 9; ++i) {
            s.print("r" + std::to_string(i));
            s.newline();
        }
        s.print("r9"); // cursor on the last row
        s->resize(20, 6);
        EXPECT_EQ(s->yBase(), 4);
        EXPECT_EQ(s->y(), 5);
        EXPECT_EQ(s.screenRow(5), "r9");
        EXPECT_EQ(s->scrollBottom(), 5);

        // Growing pulls the scrollback back onto the screen.
        s->resize(20, 10);
        EXPECT_EQ(s->yBase(), 0);
        EXPECT_EQ(s->y(), 9);
        EXPECT_EQ(s.screenRow(0), "r0");
    }
    {
        Screen s(20, 10);
        s.print("top");
        s.newline();
        s.print("cursor"); // cursor on row 1; rows below are blank
        s->resize(20, 4);
        EXPECT_EQ(s->yBase(), 0);
        EXPECT_EQ(s->lines().count(), 4);
        EXPECT_EQ(s->y(), 1);
        EXPECT_EQ(s.screenRow(1), "cursor");
        s->resize(20, 7);
        EXPECT_EQ(s->lines().count(), 7);
        EXPECT_EQ(s->y(), 1);
    }
}

TEST(ResizeCapacity, lowering_the_capacity_drops_the_oldest_rows)
{
    Screen s(20, 10, 5); // capacity 15
    for (int i = 0; i < 20; ++i) {
        s.print("r" + std::to_string(i));
        s.newline();
    }
    ASSERT_TRUE(s->lines().isFull());
    ASSERT_EQ(s->yBase(), 5);
    s->savedY = 3;
    s->resize(20, 4); // capacity 9
    EXPECT_EQ(s->lines().maxLength(), 9);
    EXPECT_EQ(s->lines().count(), 9);
    EXPECT_EQ(s->yBase(), 5);
    EXPECT_EQ(s->yDisp(), 5);
    EXPECT_EQ(s->savedY, 0);
    EXPECT_EQ(s.screenRow(2), "r19");
    EXPECT_EQ(s.row(0), "r12") << "the oldest scrollback fell off";
}

TEST(ResizeAlternate, the_alternate_screen_keeps_its_cells_and_is_not_reflowed)
{
    Screen s(80, 5, std::nullopt);
    s.print(letters(100));
    s->resize(40, 5);
    EXPECT_EQ(s->lines()[0].count(), 80);
    EXPECT_EQ(s.row(0), letters(80));
    EXPECT_EQ(s.row(1), letters(20, 'c'));
    EXPECT_EQ(s->x(), 20);
    EXPECT_EQ(s->cols(), 40);
    EXPECT_EQ(s->tabStops.size(), 40u);
    s->resize(100, 5);
    EXPECT_EQ(s.row(1), letters(20, 'c')) << "no joining either";
}

TEST(ResizeCapacity, a_large_unused_scrollback_is_not_materialised)
{
    Screen s(80, 24, 100000);
    s.print("hello");
    s->resize(100, 30);
    s->resize(60, 20);
    int made = 0;
    for (const auto& slot : s->lines().getArray())
        made += slot != nullptr;
    EXPECT_LE(made, 40);
    EXPECT_EQ(s.screenRow(0), "hello");
    EXPECT_EQ(s->lines()[s->lines().count() - 1].count(), 60);
}

TEST(ResizeStorm, two_hundred_resizes_keep_every_line)
{
    Screen s(80, 24, 5000);
    std::mt19937 rng(99);
    for (int i = 0; i < 150; ++i) {
        const int len = int(rng() % 230);
        s.print(std::to_string(i) + ":" + letters(len, char('a' + i % 26)));
        if (i % 7 == 0)
            s.print(U"\u4E2D\u6587", 2);
        s.newline();
    }
    const auto before = logicalLines(*s);
    ASSERT_EQ(before.size(), 150u);
    for (int i = 0; i < 200; ++i) {
        s->resize(10 + int(rng() % 190), 3 + int(rng() % 60));
        ASSERT_LE(s->y(), s->rows() - 1);
        ASSERT_LE(s->x(), s->cols());
        ASSERT_LE(s->yDisp(), s->yBase());
        ASSERT_LE(s->yBase() + s->rows(), s->lines().count()) << "after resize " << i;
    }
    s->resize(80, 24);
    EXPECT_EQ(logicalLines(*s), before);
}

// Random writes (narrow, wide, zero-width; wrap on and off; insert and margin modes) mixed with
// random resizes of both kinds of buffer: nothing may crash and the buffer invariants hold.
TEST(ResizeStorm, random_writes_and_resizes_keep_the_invariants)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 2; ++round) {
        const bool alternate = round == 1;
        Screen s(40, 10, alternate ? std::nullopt : std::optional<int>(50));
        for (int step = 0; step < 20000; ++step) {
            const unsigned op = rng() % 100;
            if (op < 80) {
                const int width = int(rng() % 10 == 0 ? rng() % 3 : 1);
                const char32_t rune = width == 2 ? char32_t(0x4E00 + rng() % 100) : char32_t('a' + rng() % 26);
                s->insertCharacter(CharData(Attribute(), rune, int8_t(width)));
            } else if (op < 88) {
                s.newline();
            } else if (op < 91) {
                s->setX(int(rng() % (s->cols() + 1)));
                s->setY(int(rng() % s->rows()));
            } else if (op < 94) {
                s->wraparound = !s->wraparound;
            } else if (op < 96) {
                s->insertMode = !s->insertMode;
            } else if (op < 98) {
                s->marginMode = !s->marginMode;
                const int left = int(rng() % s->cols());
                s->setMarginLeft(left);
                s->setMarginRight(left + int(rng() % (s->cols() - left)));
            } else {
                s->savedY = int(rng() % s->rows());
                s->resize(2 + int(rng() % 120), 1 + int(rng() % 40));
            }
            ASSERT_GE(s->x(), 0);
            ASSERT_LE(s->x(), s->cols()) << "step " << step;
            ASSERT_LE(s->y(), s->rows() - 1) << "step " << step;
            ASSERT_LE(s->scrollBottom(), s->rows() - 1);
            ASSERT_LE(s->yDisp(), s->yBase());
            ASSERT_LE(s->yBase() + s->rows(), s->lines().count()) << "step " << step;
            ASSERT_GE(s->savedY, 0);
        }
        for (int i = 0; i < s->lines().count(); ++i)
            ASSERT_GE(s->lines()[i].count(), s->cols());
    }
}

// Narrowing and widening back gives the screen and the cursor as they were, whatever the width in
// between: the lines above re-wrap and rejoin, and the line under the cursor (a prompt ending in
// spaces with the cursor after them, or a full line with a wrap pending at its end) comes back
// with its cells and its cursor column even where the narrow width cut them off.
namespace {
// Every row of the ring (cells up to the text's end, with their widths; wrapped flag), then the
// cursor and the display.
std::string snapshot(Buffer& b)
{
    std::string out;
    for (int i = 0; i < b.lines().count(); ++i) {
        const BufferLine& line = b.lines()[i];
        out += line.isWrapped ? "+" : " ";
        for (int c = 0; c < line.getTrimmedLength(); ++c) {
            const CharData& cell = line[c];
            out += cell.code == 0 ? std::string(".") : line.translateToString(false, c, c + 1);
            if (cell.width != 1)
                out += "(" + std::to_string(cell.width) + ")";
        }
        out += "\n";
    }
    out += "cursor " + std::to_string(b.x()) + "," + std::to_string(b.y()) + " base " +
           std::to_string(b.yBase()) + " disp " + std::to_string(b.yDisp());
    return out;
}

// Where two snapshots part: the first line that differs in each.
std::string firstDifference(const std::string& want, const std::string& got)
{
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at])
        ++at;
    auto lineAt = [at](const std::string& s) {
        const size_t start = s.rfind('\n', at == 0 ? 0 : at - 1);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        return s.substr(from, s.find('\n', from) - from);
    };
    return "want \"" + lineAt(want) + "\"\n got \"" + lineAt(got) + "\"";
}

enum class LastLine { prompt, pendingWrap };

// A screen of `cols` × `rows` holding random lines (some longer than a row, some with wide
// characters, some ending in spaces), then the last line the cursor is on.
Screen randomScreen(std::mt19937& rng, int cols, int rows, LastLine last)
{
    // Scrollback enough for every line even at one column: none may fall off the top.
    Screen s(cols, rows, 20000);
    const int lines = int(rng() % 40);
    for (int i = 0; i < lines; ++i) {
        const int len = int(rng() % (cols * 5 / 2));
        for (int k = 0; k < len; ++k) {
            if (rng() % 23 == 0)
                s.print(U"\u4E2D", 2);
            else
                s.print(std::string(1, rng() % 5 == 0 ? ' ' : char('a' + rng() % 26)));
        }
        s.newline();
    }
    if (last == LastLine::prompt) {
        // `root@vm:/tmp/…/projects/web# `: text, then one to three spaces, the cursor after them.
        const int spaces = 1 + int(rng() % 3);
        const int text = 1 + int(rng() % (cols - spaces - 1));
        s.print(letters(text - 1, char('a' + rng() % 26)) + "#" + std::string(size_t(spaces), ' '));
    } else {
        s.print(letters(cols - 1, char('a' + rng() % 26)) + "$");
    }
    return s;
}
} // namespace

TEST(ResizeRoundTrip, narrowing_to_any_width_and_back_restores_screen_and_cursor)
{
    for (LastLine last : {LastLine::prompt, LastLine::pendingWrap}) {
        std::mt19937 rng(last == LastLine::prompt ? 45 : 46);
        for (int round = 0; round < 40; ++round) {
            const int cols = round == 0 ? 80 : 20 + int(rng() % 100);
            const int rows = 1 + int(rng() % 30);
            const uint32_t seed = uint32_t(rng());
            std::mt19937 contents(seed);
            const std::string before = snapshot(*randomScreen(contents, cols, rows, last));
            if (last == LastLine::pendingWrap) {
                ASSERT_NE(before.find("cursor " + std::to_string(cols) + ","), std::string::npos);
            }
            for (int width = 1; width <= cols; ++width) {
                std::mt19937 again(seed);
                Screen s = randomScreen(again, cols, rows, last);
                s->resize(width, rows);
                s->resize(cols, rows);
                const std::string after = snapshot(*s);
                ASSERT_TRUE(after == before) << "round " << round << ": " << cols << " columns, " << rows
                                             << " rows, narrowed to " << width << "\n" << firstDifference(before, after);
            }
        }
    }
}

// The pane of a workspace shown again may pass through a smaller size in both directions.
TEST(ResizeRoundTrip, shrinking_both_ways_and_back_restores_screen_and_cursor)
{
    std::mt19937 rng(44);
    for (int round = 0; round < 200; ++round) {
        const LastLine last = round % 2 ? LastLine::prompt : LastLine::pendingWrap;
        const int cols = 20 + int(rng() % 100);
        const int rows = 1 + int(rng() % 30);
        const uint32_t seed = uint32_t(rng());
        std::mt19937 contents(seed);
        const std::string before = snapshot(*randomScreen(contents, cols, rows, last));
        std::mt19937 again(seed);
        Screen s = randomScreen(again, cols, rows, last);
        // Down in steps, then straight back.
        for (int steps = 1 + int(rng() % 3); steps > 0; --steps)
            s->resize(1 + int(rng() % s->cols()), 1 + int(rng() % s->rows()));
        s->resize(cols, rows);
        const std::string after = snapshot(*s);
        ASSERT_TRUE(after == before) << "round " << round << "\n" << firstDifference(before, after);
    }
}
