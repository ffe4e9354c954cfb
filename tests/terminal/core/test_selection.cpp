// Selection: word, space, empty-cell and bracket scans, anchors, rows, select-all, notifications
// and the selected text, on a real terminal.

#include "Diagnostics.h"
#include "SelectionService.h"
#include "Terminal.h"
#include "TerminalDelegate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace termcore;

namespace {

struct Recorder : TerminalDelegate {
    int selectionChanges = 0;
    void send(Terminal&, std::span<const uint8_t>) override {}
    void selectionChanged(Terminal&) override { ++selectionChanges; }
};

struct Fixture {
    Recorder delegate;
    std::unique_ptr<Terminal> terminal;
    std::unique_ptr<SelectionService> selection;

    explicit Fixture(const std::string& text, int cols = 20, int rows = 5)
    {
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        terminal = std::make_unique<Terminal>(&delegate, options);
        terminal->feed(text);
        selection = std::make_unique<SelectionService>(*terminal);
        delegate.selectionChanges = 0;
    }

    void doubleClick(int col, int row) { selection->selectWordOrExpression({ col, row }, terminal->buffer()); }
    std::pair<Position, Position> range() const { return { selection->start(), selection->end() }; }
};

Position P(int col, int row)
{
    return { col, row };
}

} // namespace

TEST(SelectionWords, double_click_selects_tokens_spaces_and_empty_runs)
{
    Fixture f("x foo.bar-baz_1 y   z");
    f.doubleClick(7, 0); // on the "a" of bar
    EXPECT_EQ(f.range(), std::make_pair(P(2, 0), P(15, 0)));
    EXPECT_TRUE(f.selection->hasSelectionRange());
    EXPECT_EQ(f.selection->selectionMode, SelectionService::SelectionMode::word);
    EXPECT_TRUE(f.selection->active());
    EXPECT_EQ(f.selection->getSelectedText(), "foo.bar-baz_1");

    f.doubleClick(18, 0); // the three spaces between y and z
    EXPECT_EQ(f.range(), std::make_pair(P(17, 0), P(20, 0)));

    Fixture g("ab");
    g.doubleClick(10, 0); // empty cells after the text, to the right edge
    EXPECT_EQ(g.range(), std::make_pair(P(2, 0), P(20, 0)));
    g.doubleClick(99, 0); // a column past the edge is clamped to it
    EXPECT_EQ(g.range(), std::make_pair(P(2, 0), P(20, 0)));
}

TEST(SelectionWords, punctuation_alone_selects_nothing_and_letters_are_unicode)
{
    Fixture f("a.b _ \xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac");
    f.doubleClick(1, 0);
    EXPECT_EQ(f.range(), std::make_pair(P(1, 0), P(1, 0)));
    EXPECT_FALSE(f.selection->hasSelectionRange());
    f.doubleClick(4, 0);
    EXPECT_FALSE(f.selection->hasSelectionRange());
    f.doubleClick(7, 0); // été
    EXPECT_EQ(f.range(), std::make_pair(P(6, 0), P(9, 0)));
    EXPECT_EQ(f.selection->getSelectedText(), "\xc3\xa9t\xc3\xa9");
}

TEST(SelectionBrackets, forward_and_backward_find_the_same_balanced_range)
{
    Fixture f("f(a(b)c) [x{y}] (open");
    f.doubleClick(1, 0);
    EXPECT_EQ(f.range(), std::make_pair(P(1, 0), P(8, 0)));
    f.doubleClick(7, 0);
    EXPECT_EQ(f.range(), std::make_pair(P(1, 0), P(8, 0)));
    f.doubleClick(9, 0);
    EXPECT_EQ(f.range(), std::make_pair(P(9, 0), P(15, 0)));
    f.doubleClick(16, 0); // no partner
    EXPECT_EQ(f.range(), std::make_pair(P(16, 0), P(16, 0)));
    EXPECT_FALSE(f.selection->hasSelectionRange());
}

TEST(SelectionBrackets, searches_cross_rows_and_backward_reaches_into_the_scrollback)
{
    Fixture f("(a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng)", 10, 3);
    const Buffer& b = f.terminal->buffer();
    ASSERT_GT(b.yDisp(), 0); // the "(" row has scrolled off the screen
    const int closeRow = b.yDisp() + 2;
    f.doubleClick(1, closeRow);
    EXPECT_EQ(f.range(), std::make_pair(P(0, 0), P(2, closeRow)));
    f.doubleClick(0, 0);
    EXPECT_EQ(f.range(), std::make_pair(P(0, 0), P(2, closeRow)));
}

TEST(SelectionAnchors, shift_extend_before_the_start_flips_the_anchor)
{
    Fixture f("0123456789");
    f.selection->startSelection(0, 5);
    EXPECT_EQ(f.range(), std::make_pair(P(5, 0), P(5, 0)));
    f.selection->dragExtend(P(8, 0));
    EXPECT_EQ(f.range(), std::make_pair(P(5, 0), P(8, 0)));
    f.selection->shiftExtend(P(2, 0));
    EXPECT_EQ(f.range(), std::make_pair(P(8, 0), P(2, 0)));
    f.selection->dragExtend(P(9, 0)); // a drag never flips
    EXPECT_EQ(f.range(), std::make_pair(P(8, 0), P(9, 0)));
}

TEST(SelectionAnchors, word_mode_extends_to_word_boundaries)
{
    Fixture f("alpha beta gamma");
    f.doubleClick(7, 0); // beta
    EXPECT_EQ(f.range(), std::make_pair(P(6, 0), P(10, 0)));
    f.selection->dragExtend(P(12, 0)); // inside gamma: to its end
    EXPECT_EQ(f.range(), std::make_pair(P(6, 0), P(16, 0)));
    f.selection->shiftExtend(P(2, 0)); // inside alpha, before the start: to its beginning
    EXPECT_EQ(f.selection->end(), P(0, 0));
    f.selection->pivot = P(6, 0);
    f.selection->pivotExtend(P(13, 0));
    EXPECT_EQ(f.range(), std::make_pair(P(6, 0), P(16, 0)));
}

TEST(SelectionRows, row_mode_select_all_and_shift_extend_in_rows)
{
    Diagnostics::Capture capture;
    Fixture f("one\r\ntwo\r\nthree");
    f.selection->select(1);
    EXPECT_EQ(f.range(), std::make_pair(P(0, 1), P(19, 1)));
    EXPECT_TRUE(f.selection->hasSelectionRange());
    EXPECT_TRUE(f.selection->selectingRows);
    EXPECT_EQ(f.selection->selectionMode, SelectionService::SelectionMode::row);
    f.selection->shiftExtend(2, 3);
    EXPECT_EQ(f.selection->end(), P(19, 2));
    EXPECT_TRUE(capture.contains("SelectinRows=true"));

    // A new click or double click ends row extension.
    f.selection->startSelection(0, 1);
    EXPECT_FALSE(f.selection->selectingRows);
    f.selection->select(0);
    f.doubleClick(1, 2);
    EXPECT_FALSE(f.selection->selectingRows);
    f.selection->shiftExtend(0, 1);
    EXPECT_EQ(f.selection->end(), P(0, 0)); // word snap to the start of "one", not row column 0/19 logic
    EXPECT_TRUE(capture.contains("SelectinRows=false"));

    f.selection->selectAll();
    EXPECT_EQ(f.selection->start(), P(0, 0));
    EXPECT_EQ(f.selection->end(), P(19, f.terminal->buffer().lines().maxLength() - 1));
    const std::string text = f.selection->getSelectedText();
    EXPECT_NE(text.find("one"), std::string::npos) << text;
    EXPECT_NE(text.find("three"), std::string::npos) << text;
}

TEST(SelectionState, notifications_pivot_and_empty_text)
{
    Fixture f("hello");
    f.selection->setActive(true);
    f.selection->setActive(true);
    EXPECT_EQ(f.delegate.selectionChanges, 1);
    f.selection->setActive(false);
    EXPECT_EQ(f.delegate.selectionChanges, 2);
    f.selection->pivot = P(1, 1);
    f.selection->setActive(false); // no change: no notification, but the pivot goes
    EXPECT_EQ(f.delegate.selectionChanges, 2);
    EXPECT_FALSE(f.selection->pivot.has_value());

    f.selection->startSelection(0, 2);
    EXPECT_TRUE(f.selection->active());
    EXPECT_GE(f.delegate.selectionChanges, 3);
    EXPECT_EQ(f.selection->getSelectedText(), "");
    EXPECT_EQ(f.selection->debugDescription(), "[Selection (active=true, start=col=2 row=0 end=col=2 row=0 hasSR=false pivot=nil]");

    f.selection->selectNone();
    EXPECT_FALSE(f.selection->active());
    EXPECT_EQ(f.selection->selectionMode, SelectionService::SelectionMode::character);
}

TEST(SelectionState, positions_outside_the_buffer_are_harmless)
{
    Fixture f("abc");
    f.doubleClick(-5, -3);
    EXPECT_EQ(f.selection->start().row, 0);
    f.selection->setSelection(P(0, 100000), P(5, 200000));
    EXPECT_EQ(f.selection->getSelectedText(), "");
    EXPECT_EQ(SelectionService::characterAt(f.terminal->buffer(), 3, 99999), U'\0');
    EXPECT_EQ(f.selection->extendToWordBoundary(P(50, 0), f.terminal->buffer(), 1), P(50, 0));
    EXPECT_EQ(f.selection->clamp(f.terminal->buffer(), P(99, 99)), P(20, f.terminal->buffer().lines().count() - 1));
    // Scans from far outside the buffer end at once.
    f.selection->balancedSearchForward(P(0, -2000000000), f.terminal->buffer());
    EXPECT_FALSE(f.selection->hasSelectionRange());
    f.selection->balancedSearchBackward(P(0, 2000000000), f.terminal->buffer());
    EXPECT_FALSE(f.selection->hasSelectionRange());
    SearchService search(*f.terminal);
    search.invalidate();
    EXPECT_EQ(&search.terminal(), f.terminal.get());
}
