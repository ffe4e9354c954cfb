// The screen buffer: the per-cell write (wrapping, wide characters, insert mode), tab stops,
// setters, clear and reset.
#include "Buffer.h"
#include "Diagnostics.h"

#include <gtest/gtest.h>

#include <string>

using namespace termcore;
using Color = Attribute::Color;

namespace {
// The interpreter's scroll-up-one-row, reduced to what these tests need: a region that is the
// whole screen appends (or recycles) a row; a region lower down moves its rows up in the ring.
void installScroll(Buffer& b, int* scrolls = nullptr)
{
    b.scroll = [&b, scrolls](bool isWrapped) {
        if (scrolls)
            ++*scrolls;
        auto& lines = b.lines();
        const int bottom = b.yBase() + b.scrollBottom();
        if (b.scrollTop() == 0 && bottom == lines.count() - 1) {
            if (lines.isFull()) {
                lines.recycle(); // the oldest row falls off; yBase stays
                lines[lines.count() - 1].isWrapped = isWrapped;
            } else {
                lines.push(b.getBlankLine(Attribute(), isWrapped));
                b.setYBase(b.yBase() + 1);
                b.setYDisp(b.yBase());
            }
        } else {
            const int top = b.yBase() + b.scrollTop();
            lines.shiftElements(top + 1, b.scrollBottom() - b.scrollTop(), -1);
            lines.set(bottom, b.getBlankLine(Attribute(), isWrapped));
        }
    };
}

std::unique_ptr<Buffer> makeBuffer(int cols, int rows, std::optional<int> scrollback = 100)
{
    auto b = std::make_unique<Buffer>(cols, rows, 8, scrollback);
    b->fillViewportRows();
    b->wraparound = true;
    installScroll(*b);
    return b;
}

CharData narrow(char32_t c, Attribute a = Attribute())
{
    return CharData(a, c, 1);
}
CharData wide(char32_t c)
{
    return CharData(Attribute(), c, 2);
}

void write(Buffer& b, const std::string& ascii)
{
    for (char c : ascii)
        b.insertCharacter(narrow(char32_t(c)));
}

std::string screenRow(Buffer& b, int y)
{
    return b.lines()[b.yBase() + y].translateToString(true);
}
} // namespace

TEST(BufferTabs, default_stops_and_next_previous)
{
    auto b = makeBuffer(80, 25);
    for (int i = 0; i < 80; ++i)
        EXPECT_EQ(b->tabStops[size_t(i)], i % 8 == 0) << i;
    b->setX(75);
    EXPECT_EQ(b->nextTabStop(false), 79);
    b->setX(5);
    EXPECT_EQ(b->previousTabStop(), 0);
    b->setX(20);
    EXPECT_EQ(b->nextTabStop(false), 24);
    EXPECT_EQ(b->previousTabStop(), 16);
    EXPECT_EQ(b->nextTabStop(false, 30), 32);
    EXPECT_EQ(b->previousTabStop(200), 72) << "an index past the row starts from the last stop";

    // Margin mode limits the search to the right margin.
    b->setMarginRight(20);
    EXPECT_EQ(b->nextTabStop(true, 17), 20);

    b->tabClear(8);
    b->tabSet(3);
    b->tabSet(500); // ignored
    b->tabClear(-1); // ignored
    EXPECT_EQ(b->nextTabStop(false, 0), 3);
    EXPECT_EQ(b->nextTabStop(false, 3), 16);
    EXPECT_EQ(b->tabStops.size(), 80u);

    // Rebuilding from a column keeps the stops left of it.
    b->setupTabStops(40, 8);
    EXPECT_TRUE(b->tabStops[3]);
    EXPECT_FALSE(b->tabStops[8]);
    b->setupTabStops(-1, 4);
    EXPECT_TRUE(b->tabStops[4]);
    EXPECT_FALSE(b->tabStops[3]);
    b->setupTabStops(-1, 0); // a zero width makes no stops rather than looping forever
    EXPECT_EQ(b->nextTabStop(false, 0), 79);
}

TEST(BufferWrite, wrap_at_the_right_edge)
{
    auto b = makeBuffer(80, 5);
    b->setX(79);
    b->insertCharacter(narrow(U'A'));
    EXPECT_EQ(b->x(), 80) << "pending wrap";
    EXPECT_EQ(b->y(), 0);
    b->insertCharacter(narrow(U'B'));
    EXPECT_EQ(b->x(), 1);
    EXPECT_EQ(b->y(), 1);
    EXPECT_EQ(b->lines()[0][79].code, 'A');
    EXPECT_EQ(b->lines()[1][0].code, 'B');
    EXPECT_TRUE(b->lines()[1].isWrapped);
    EXPECT_FALSE(b->lines()[0].isWrapped);
    EXPECT_EQ(b->lastBufferStorage.y, 1);
    EXPECT_EQ(b->lastBufferStorage.x, 0);

    // On the bottom row of the region the screen scrolls and the new row is the continuation.
    int scrolls = 0;
    installScroll(*b, &scrolls);
    b->setY(4);
    b->setX(79);
    write(*b, "CD");
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(b->yBase(), 1);
    EXPECT_EQ(b->y(), 4);
    EXPECT_EQ(screenRow(*b, 3).back(), 'C');
    EXPECT_EQ(screenRow(*b, 4), "D");
    EXPECT_TRUE(b->lines()[b->yBase() + 4].isWrapped);
}

TEST(BufferWrite, without_wraparound_wide_characters_are_dropped_and_narrow_overwrite)
{
    auto b = makeBuffer(10, 3);
    b->wraparound = false;
    b->setX(9);
    b->insertCharacter(wide(U'\u4E2D'));
    EXPECT_EQ(b->x(), 9);
    EXPECT_EQ(b->lines()[0][9].code, 0);
    write(*b, "abc");
    EXPECT_EQ(b->x(), 10);
    EXPECT_EQ(b->y(), 0);
    EXPECT_EQ(b->lines()[0][9].code, 'c');
    EXPECT_EQ(screenRow(*b, 0), std::string(9, '\0') + "c");
}

TEST(BufferWrite, wide_characters_at_and_near_the_edge)
{
    auto b = makeBuffer(80, 3);
    b->curAttr = Attribute(Color::ansi256(2), Color::defaultColor(), CharacterStyle::none);
    b->setX(78);
    b->insertCharacter(wide(U'\u4E2D'));
    EXPECT_EQ(b->x(), 80);
    EXPECT_EQ(b->lines()[0][78].code, 0x4E2D);
    EXPECT_EQ(b->lines()[0][79].code, 0);
    EXPECT_EQ(b->lines()[0][79].attribute, b->curAttr) << "the second column is an empty cell in curAttr";

    // At the last column a wide character wraps as a whole.
    b->setY(1);
    b->setX(79);
    b->insertCharacter(wide(U'\u6587'));
    EXPECT_EQ(b->y(), 2);
    EXPECT_EQ(b->x(), 2);
    EXPECT_EQ(b->lines()[2][0].code, 0x6587);
    EXPECT_TRUE(b->lines()[2].isWrapped);
    EXPECT_EQ(b->lines()[1][79].code, 0);
}

TEST(BufferWrite, zero_width_character_at_the_pending_wrap_column_keeps_the_last_cell)
{
    auto b = makeBuffer(10, 3);
    b->setX(9);
    b->insertCharacter(narrow(U'z'));
    ASSERT_EQ(b->x(), 10);
    b->insertCharacter(CharData(Attribute(), U'\u200B', 0));
    EXPECT_EQ(b->lines()[0][9].code, 'z');
    EXPECT_EQ(b->y(), 1);
}

TEST(BufferWrite, insert_mode_shifts_and_never_leaves_half_a_wide_character)
{
    auto b = makeBuffer(10, 2);
    write(*b, "abcdefgh");
    b->insertCharacter(wide(U'\u4E2D')); // columns 8-9
    b->insertMode = true;
    b->setX(2);
    b->insertCharacter(narrow(U'X'));
    EXPECT_EQ(b->x(), 3);
    // The wide character moved to column 9 only by half: the edge cell is now empty.
    EXPECT_EQ(screenRow(*b, 0), "abXcdefgh");
    EXPECT_EQ(b->lines()[0][9].code, 0);
    EXPECT_EQ(b->lines()[0][9].width, 1);

    // A wide character inserted shifts by two.
    b->setX(0);
    b->insertCharacter(wide(U'\u6587'));
    EXPECT_EQ(b->x(), 2);
    EXPECT_EQ(b->lines()[0].translateToString(true), std::string("\xE6\x96\x87") + '\0' + "abXcdefg");
}

TEST(BufferWrite, margin_mode_wraps_inside_the_margins)
{
    auto b = makeBuffer(20, 4);
    b->marginMode = true;
    b->setMarginLeft(5);
    b->setMarginRight(9);
    b->setX(5);
    write(*b, "abcdefg");
    EXPECT_EQ(b->y(), 1);
    EXPECT_EQ(b->x(), 7);
    EXPECT_EQ(b->lines()[0].translateToString(true, 5, 10), "abcde");
    EXPECT_EQ(b->lines()[1].translateToString(true, 5, 10), "fg");

    // Margins stored out of range cannot address cells outside the row.
    b->setMarginRight(500);
    b->setMarginLeft(-7);
    b->setX(19);
    write(*b, "xy");
    EXPECT_EQ(b->lines()[b->yBase() + b->y()][0].code, 'y');
}

TEST(BufferState, negative_values_are_ignored_by_the_guarded_setters)
{
    auto b = makeBuffer(10, 5);
    b->setX(3);
    b->setY(2);
    b->setYDisp(0);
    b->setScrollTop(1);
    b->setScrollBottom(3);
    struct Setter {
        const char* name;
        void (Buffer::*set)(int);
        int (Buffer::*get)() const;
    };
    const Setter setters[] = {
        {"x", &Buffer::setX, &Buffer::x},
        {"y", &Buffer::setY, &Buffer::y},
        {"yDisp", &Buffer::setYDisp, &Buffer::yDisp},
        {"scrollTop", &Buffer::setScrollTop, &Buffer::scrollTop},
        {"scrollBottom", &Buffer::setScrollBottom, &Buffer::scrollBottom},
    };
    for (const auto& s : setters) {
        const int before = ((*b).*s.get)();
        ((*b).*s.set)(-1);
        EXPECT_EQ(((*b).*s.get)(), before) << s.name;
        ((*b).*s.set)(-1000000);
        EXPECT_EQ(((*b).*s.get)(), before) << s.name;
    }
    // The margins and the saved cursor store what they are given.
    b->setMarginLeft(-2);
    EXPECT_EQ(b->marginLeft(), -2);
}

TEST(BufferState, construction_clear_fill_and_soft_reset)
{
    Buffer normal(80, 24, 8, 1000);
    EXPECT_EQ(normal.lines().count(), 0);
    EXPECT_EQ(normal.lines().maxLength(), 1024);
    EXPECT_EQ(normal.scrollBottom(), 23);
    EXPECT_EQ(normal.curAttr, Attribute::empty);
    EXPECT_FALSE(normal.wraparound);
    EXPECT_TRUE(normal.isReflowEnabled());
    normal.fillViewportRows();
    EXPECT_EQ(normal.lines().count(), 24);
    normal.fillViewportRows(); // only on an empty ring
    EXPECT_EQ(normal.lines().count(), 24);

    Buffer alt(80, 24, 8, std::nullopt);
    EXPECT_EQ(alt.lines().maxLength(), 24);
    EXPECT_FALSE(alt.hasScrollback());
    // A scrollback at the limit of the cell model is a capacity, not an allocation.
    Buffer huge(80, 24, 8, INT32_MAX);
    EXPECT_EQ(huge.lines().maxLength(), INT32_MAX);
    huge.fillViewportRows();
    EXPECT_EQ(huge.lines().count(), 24);

    auto b = makeBuffer(10, 4);
    write(*b, "hello");
    b->setY(2);
    b->setYDisp(0);
    b->clear();
    EXPECT_EQ(b->x(), 0);
    EXPECT_EQ(b->y(), 0);
    EXPECT_EQ(b->lines().count(), 0);
    const Attribute red(Color::ansi256(1), Color::ansi256(1), CharacterStyle::none);
    b->fillViewportRows(red);
    EXPECT_EQ(b->lines().count(), 4);
    EXPECT_EQ(b->lines()[0][0], CharData(0, 1, red));
    EXPECT_EQ(b->lines()[0].translateToString(true), "");

    b->savedX = 4;
    b->savedY = 2;
    b->savedAttr = red;
    b->savedCharset = CharsetTable{{'#', "\xC2\xA3"}};
    b->savedWraparound = true;
    b->softReset();
    EXPECT_EQ(b->savedX, 0);
    EXPECT_EQ(b->savedY, 0);
    EXPECT_EQ(b->savedAttr, Attribute());
    EXPECT_FALSE(b->savedCharset.has_value());
    EXPECT_FALSE(b->savedWraparound);
    EXPECT_EQ(b->marginLeft(), 0);
    EXPECT_EQ(b->marginRight(), 9);
}

TEST(BufferState, cells_and_blank_rows)
{
    auto b = makeBuffer(10, 3);
    write(*b, "abc");
    EXPECT_EQ(b->getChar(Position{1, 0}).code, 'b');
    EXPECT_EQ(b->getCharAtBufferRelative(Position{2, 0}).code, 'c');
    EXPECT_EQ(b->getChar(Position{10, 0}), CharData::Null);
    EXPECT_EQ(b->getChar(Position{-1, 0}), CharData::Null);
    EXPECT_EQ(b->getChar(Position{0, 50}), CharData::Null);
    EXPECT_EQ(b->getCharAtBufferRelative(Position{0, -1}), CharData::Null);

    EXPECT_EQ(Buffer::getNullCell().code, 32);
    EXPECT_EQ(Buffer::getNullCell().attribute, Attribute::empty);
    auto blank = b->getBlankLine(Attribute::empty, true);
    EXPECT_EQ(blank->count(), 10);
    EXPECT_TRUE(blank->isWrapped);
    EXPECT_EQ((*blank)[9], CharData(0, 1, Attribute::empty));
}

TEST(BufferStateDeathTest, writing_before_the_scroll_callback_is_installed_stops)
{
    Buffer b(4, 1, 8, 10);
    b.fillViewportRows();
    b.wraparound = true;
    auto fill = [&] {
        for (int i = 0; i < 5; ++i)
            b.insertCharacter(narrow(U'x'));
    };
    EXPECT_DEATH(fill(), "This should be set after creating a buffer");
}
