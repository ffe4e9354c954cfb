// Cursor movement, absolute positioning, tab stops, scroll region, margins and the saved cursor.
#include "support/CommandTestHarness.h"

#include <gtest/gtest.h>

using namespace termcore;
using cmdtest::Harness;
using cmdtest::readable;
using cmdtest::reply;

TEST(CursorMoves, zero_and_absent_counts_move_by_one)
{
    Harness h;
    h.feed("\x1b[10;10H");
    EXPECT_EQ(h.pos(), std::make_pair(9, 9));
    h.feed("\x1b[0A");
    EXPECT_EQ(h.y(), 8);
    h.feed("\x1b[A");
    EXPECT_EQ(h.y(), 7);
    h.feed("\x1b[0B\x1b[B");
    EXPECT_EQ(h.y(), 9);
    h.feed("\x1b[0C");
    EXPECT_EQ(h.x(), 10);
    h.feed("\x1b[C");
    EXPECT_EQ(h.x(), 11);
    h.feed("\x1b[0D\x1b[D");
    EXPECT_EQ(h.x(), 9);
    h.feed("\x1b[3A\x1b[2C");
    EXPECT_EQ(h.pos(), std::make_pair(11, 6));
}

TEST(CursorMoves, vertical_moves_stop_at_the_region_only_from_inside_it)
{
    Harness h;
    h.feed("\x1b[5;10r");           // rows 4..9
    h.feed("\x1b[3;1H\x1b[10A");     // above the region: free up to row 0
    EXPECT_EQ(h.y(), 0);
    h.feed("\x1b[8;1H\x1b[10A");     // inside: stops at scrollTop
    EXPECT_EQ(h.y(), 4);
    h.feed("\x1b[20B");              // inside: stops at scrollBottom
    EXPECT_EQ(h.y(), 9);
    h.feed("\x1b[15;1H\x1b[50B");    // below the region: down to the last row
    EXPECT_EQ(h.y(), 23);
    h.feed("\x1b[40A");              // from below the region going up: stops at scrollTop
    EXPECT_EQ(h.y(), 4);
}

TEST(CursorMoves, pending_wrap_column_is_fixed_by_down_moves_only)
{
    Harness h;
    h.feed("\x1b[3;1H");
    h.feed(std::string(80, 'x'));
    ASSERT_EQ(h.pos(), std::make_pair(80, 2));
    h.feed("\x1b[A");
    EXPECT_EQ(h.pos(), std::make_pair(80, 1)); // CUU leaves x at cols
    h.feed("\x1b[B");
    EXPECT_EQ(h.pos(), std::make_pair(79, 2)); // CUD pulls it back
    h.feed("\x1b[1;1H");
    h.feed(std::string(80, 'y'));
    h.feed("\x1b[e");                           // VPR does the same fix
    EXPECT_EQ(h.pos(), std::make_pair(79, 1));
}

TEST(CursorMoves, horizontal_limits_follow_the_margins)
{
    Harness h;
    h.feed("\x1b[?69h\x1b[10;20s"); // margins 9..19
    h.feed("\x1b[1;6H\x1b[100C");    // left of the margins, CUF stops at the right margin
    EXPECT_EQ(h.x(), 19);
    h.feed("\x1b[1;31H\x1b[100C");   // right of the right margin: up to the last column
    EXPECT_EQ(h.x(), 79);
    h.feed("\x1b[1;16H\x1b[100D");   // inside: CUB stops at the left margin
    EXPECT_EQ(h.x(), 9);
    h.feed("\x1b[1;6H\x1b[100D");    // left of the left margin: down to 0
    EXPECT_EQ(h.x(), 0);
    h.feed("\x1b[5;15H\x1b[2E");     // CNL goes to the left margin
    EXPECT_EQ(h.pos(), std::make_pair(9, 6));
    h.feed("\x1b[3F");               // CPL likewise
    EXPECT_EQ(h.pos(), std::make_pair(9, 3));
    h.feed("\x1b[?69l\x1b[5;15H\x1b[E");
    EXPECT_EQ(h.pos(), std::make_pair(0, 5));
}

TEST(CursorMoves, column_and_row_absolute_forms)
{
    Harness h;
    h.feed("\x1b[5;5H\x1b[7G");
    EXPECT_EQ(h.x(), 6);
    h.feed("\x1b[200G");
    EXPECT_EQ(h.x(), 79);
    h.feed("\x1b[?69h\x1b[10;20s\x1b[?6h\x1b[3G"); // CHA honours origin + margins
    EXPECT_EQ(h.x(), 11);
    h.feed("\x1b[?6l\x1b[?69l");
    h.feed("\x1b[5`");
    EXPECT_EQ(h.x(), 4);
    h.feed("\x1b[0`");
    EXPECT_EQ(h.x(), 0);
    h.feed("\x1b[100`");
    EXPECT_EQ(h.x(), 79);
    h.feed("\x1b[70`\x1b[20a");
    EXPECT_EQ(h.x(), 79);
    h.feed("\x1b[1;1H\x1b[3a");
    EXPECT_EQ(h.x(), 3);
    // VPA follows origin mode as CUP does: relative to the region and kept in it
    h.feed("\x1b[5;10r\x1b[?6h\x1b[2d");
    EXPECT_EQ(h.y(), 5);
    h.feed("\x1b[100d");
    EXPECT_EQ(h.y(), 9);
    h.feed("\x1b[20;1H\x1b[100e"); // origin on: CUP lands in the region, VPR to the last row
    EXPECT_EQ(h.y(), 23);
}

TEST(CursorPosition, cup_in_origin_mode_is_relative_to_and_clamped_into_the_region)
{
    Harness h;
    h.feed("\x1b[5;10r\x1b[?6h");
    EXPECT_EQ(h.pos(), std::make_pair(0, 0)); // setting origin mode does not move the cursor
    h.feed("\x1b[1;1H");
    EXPECT_EQ(h.pos(), std::make_pair(0, 4));
    h.feed("\x1b[20;1H");
    EXPECT_EQ(h.pos(), std::make_pair(0, 9));
    h.feed("\x1b[3;200H");
    EXPECT_EQ(h.pos(), std::make_pair(79, 6));
    h.feed("\x1b[4H");
    EXPECT_EQ(h.pos(), std::make_pair(0, 7));
    h.feed("\x1b[H");
    EXPECT_EQ(h.pos(), std::make_pair(0, 4));
    h.feed("\x1b[?6l\x1b[30;90H");
    EXPECT_EQ(h.pos(), std::make_pair(79, 23));
}

TEST(CursorPosition, hvp_is_not_cup)
{
    Harness h;
    h.feed("\x1b[5;10r\x1b[?6h");
    h.feed("\x1b[30;1f"); // row limited to the screen, not the region
    EXPECT_EQ(h.pos(), std::make_pair(0, 23));
    h.feed("\x1b[10;1f"); // inside the screen but below the region: stays there
    EXPECT_EQ(h.pos(), std::make_pair(0, 13));
    h.feed("\x1b[2;3f");
    EXPECT_EQ(h.pos(), std::make_pair(2, 5));
    h.feed("\x1b[3f");
    EXPECT_EQ(h.pos(), std::make_pair(0, 6));
    h.feed("\x1b[?6l\x1b[1;500f");
    EXPECT_EQ(h.pos(), std::make_pair(79, 0));
}

TEST(CursorPosition, set_cursor_marks_old_and_new_rows_dirty)
{
    Harness h;
    h.feed("\x1b[3;1H");
    h.clearDirty();
    h.feed("\x1b[12;5H");
    auto r = h.dirty();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->first, 2);
    EXPECT_EQ(r->second, 11);
}

TEST(TabStops, forward_backward_and_clear)
{
    Harness h;
    h.feed("\x1b[I");
    EXPECT_EQ(h.x(), 8);
    h.feed("\x1b[2I");
    EXPECT_EQ(h.x(), 24);
    h.feed("\x1b[1;21H\x1b[Z");
    EXPECT_EQ(h.x(), 16);
    h.feed("\x1b[2Z");
    EXPECT_EQ(h.x(), 0);
    h.feed("\x1b[1;9H\x1b[g\x1b[1;1H\t"); // stop at 8 cleared
    EXPECT_EQ(h.x(), 16);
    h.feed("\x1b[1;5H\x1bH\x1b[1;1H\t");   // HTS at column 4
    EXPECT_EQ(h.x(), 4);
    h.feed("\x1b[3g\x1b[1;1H\x1b[I");       // no stops left: CHT goes to the limit
    EXPECT_EQ(h.x(), 79);
    h.feed("\x1b[1;1H\x1b[5g\t");            // other TBC values do nothing
    EXPECT_EQ(h.x(), 79);
}

TEST(ScrollRegion, decstbm_rules)
{
    Harness h;
    h.feed("\x1b[5;10r");
    EXPECT_EQ(h.region(), std::make_pair(4, 9));
    h.feed("\x1b[8;8H\x1b[10;5r"); // top >= bottom: region kept, cursor still homed
    EXPECT_EQ(h.region(), std::make_pair(4, 9));
    EXPECT_EQ(h.pos(), std::make_pair(0, 0));
    h.feed("\x1b[8;8H\x1b[?5r");   // private form: nothing at all
    EXPECT_EQ(h.region(), std::make_pair(4, 9));
    EXPECT_EQ(h.pos(), std::make_pair(7, 7));
    h.feed("\x1b[5;100r");         // bottom beyond the screen: whole height
    EXPECT_EQ(h.region(), std::make_pair(4, 23));
    h.feed("\x1b[r");
    EXPECT_EQ(h.region(), std::make_pair(0, 23));
    h.feed("\x1b[3;6r\x1b[?6h\x1b[5;5H\x1b[r"); // homes through origin mode
    EXPECT_EQ(h.pos(), std::make_pair(0, 0));
    h.feed("\x1b[3;6r");
    EXPECT_EQ(h.pos(), std::make_pair(0, 2));
}

TEST(ScrollRegion, csi_s_saves_without_margin_mode_and_sets_margins_with_it)
{
    Harness h;
    h.feed("\x1b[4;7H\x1b[s\x1b[10;10H\x1b[u");
    EXPECT_EQ(h.pos(), std::make_pair(6, 3));
    h.feed("\x1b[4;7H\x1b[?1049s\x1b[1;1H\x1b[u"); // intermediates do not matter
    EXPECT_EQ(h.pos(), std::make_pair(6, 3));
    // CSI u with a private marker is the kitty keyboard protocol, not a restore
    h.feed("\x1b[1;1H\x1b[>1u\x1b[?u\x1b[<u\x1b[=1;1u");
    EXPECT_EQ(h.pos(), std::make_pair(0, 0));
    EXPECT_EQ(h.del.sent, "");
    h.feed("\x1b[u");
    EXPECT_EQ(h.pos(), std::make_pair(6, 3));
    h.feed("\x1b[?69h\x1b[5;10s");
    EXPECT_EQ(h.margins(), std::make_pair(4, 9));
    EXPECT_EQ(h.pos(), std::make_pair(6, 3)); // the cursor does not move
    h.feed("\x1b[50;10s");
    EXPECT_EQ(h.margins(), std::make_pair(9, 9));
    h.feed("\x1b[3s");
    EXPECT_EQ(h.margins(), std::make_pair(2, 79));
    h.feed("\x1b[0;500s");
    EXPECT_EQ(h.margins(), std::make_pair(0, 79));
}

// A resize gives both screens margins that span the new width, as xterm does: a terminal made
// at its smallest width and sized afterwards (every pane's) answers for its whole width, and a
// program that turns margin mode on without setting margins gets whole lines.
TEST(ScrollRegion, margins_span_the_width_after_every_resize)
{
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    struct Step {
        const char* what;
        int cols;
        const char* before; // fed before the resize
        const char* reply;  // DECRQSS for DECSLRM after it
    };
    const Step steps[] = {
        {"made at two columns, then sized", 80, "", "\\eP1$r1;80s\\e\\"},
        {"wider", 120, "", "\\eP1$r1;120s\\e\\"},
        {"narrower", 40, "", "\\eP1$r1;40s\\e\\"},
        {"margins set, then wider", 100, "\x1b[?69h\x1b[5;20s\x1b[?69l", "\\eP1$r1;100s\\e\\"},
        {"margins set, then narrower", 30, "\x1b[?69h\x1b[5;20s\x1b[?69l", "\\eP1$r1;30s\\e\\"},
        {"on the alternate screen", 90, "\x1b[?1049h\x1b[?69h\x1b[3;9s\x1b[?69l", "\\eP1$r1;90s\\e\\"},
        {"back on the normal screen, height alone", 90, "\x1b[?1049l\x1b[?69h\x1b[3;9s\x1b[?69l", "\\eP1$r1;90s\\e\\"},
    };
    Harness h(2, 10); // the smallest width, as a view makes its terminal before it is sized
    int rows = 10;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        h.feed(step.before);
        rows += step.cols == h.t().cols() ? 1 : 0; // the same width: resize the height alone
        h.t().resize(step.cols, rows);
        EXPECT_EQ(h.margins(), std::make_pair(0, step.cols - 1));
        EXPECT_EQ(readable(reply(h, "\x1bP$qs\x1b\\")), step.reply);
        // Margin mode without margins set: the alphabet is one line.
        h.feed("\x1b[2J\x1b[?69h\x1b[H" + letters + "\x1b[?69l");
        EXPECT_EQ(h.row(0), letters);
        EXPECT_EQ(h.row(1), "");
    }
}

TEST(SavedCursor, saves_attribute_and_modes_per_screen)
{
    Harness h;
    h.feed("\x1b[1;31m\x1b[?6h\x1b[5;6H\x1b" "7");
    h.feed("\x1b[0m\x1b[?6l\x1b[?7l\x1b[20;20H\x1b" "8");
    EXPECT_EQ(h.pos(), std::make_pair(5, 4));
    EXPECT_TRUE(h.t().curAttr.style.contains(CharacterStyle::bold));
    EXPECT_EQ(h.t().curAttr.fg, Attribute::Color::ansi256(1));
    EXPECT_TRUE(h.t().originMode);
    EXPECT_TRUE(h.t().wraparound);
    // The alternate screen keeps its own saved cursor
    h.feed("\x1b[?6l\x1b[?47h\x1b[2;2H\x1b" "7\x1b[9;9H\x1b[?47l\x1b" "8");
    EXPECT_EQ(h.pos(), std::make_pair(5, 4));
}

TEST(SavedCursor, restore_after_the_screen_shrank_is_clamped)
{
    Harness h;
    h.feed("\x1b[22;75H\x1b" "7");
    h.t().resize(40, 10);
    h.feed("\x1b" "8");
    EXPECT_LE(h.x(), 40);
    EXPECT_LE(h.y(), 9);
    h.feed("after the restore, text still lands on the screen\r\n");
    // A saved position beyond the screen (a record from a taller screen) is clamped too.
    h.buf().savedX = 500;
    h.buf().savedY = 300;
    h.feed("\x1b" "8");
    EXPECT_EQ(h.pos(), std::make_pair(40, 9));
    h.feed("\x1b[u");
    EXPECT_EQ(h.pos(), std::make_pair(40, 9));
    h.feed("ok");
    EXPECT_EQ(h.row(9), "ok");
    // the same through the 1049 switch
    Harness g;
    g.feed("\x1b[24;80H\x1b[?1049h");
    g.t().resize(30, 8);
    g.feed("\x1b[?1049l");
    EXPECT_LE(g.x(), 30);
    EXPECT_LE(g.y(), 7);
    g.feed("xyz\x1b[K\x1b[P\x1b[@");
    EXPECT_NE(g.screen().find("yz"), std::string::npos) << g.screen();
    EXPECT_LE(g.x(), 30);
    EXPECT_LE(g.y(), 7);
}

// DECRC, SCORC (CSI u) and the resets of modes 1048 and 1049 with nothing saved, on a fresh
// terminal and after RIS and DECSTR, answer as xterm 379 (80x24, TERM=xterm-256color) answered
// the same bytes: the cursor goes home with default rendition, sets and origin mode, and
// autowrap, margin mode and reverse wraparound stay as they were. The state before the restore
// is set up to differ from the defaults wherever it can.
TEST(SavedCursor, restore_with_nothing_saved_answers_as_xterm)
{
    struct Prelude {
        const char* name;
        const char* bytes;
    };
    const Prelude preludes[] = {{"fresh", ""}, {"after RIS", "\x1b" "c"}, {"after DECSTR", "\x1b[!p"}};
    struct State {
        const char* name;
        const char* bytes;
        const char* reply; // CPR, DECRQM 7, 6, 69 and 45, DECRQSS SGR, then CPR after 100 letters
    };
    const State states[] = {
        {"clean", "", "\\e[1;1R\\e[?7;1$y\\e[?6;2$y\\e[?69;2$y\\e[?45;2$y\\eP1$r0m\\e\\\\e[2;21R"},
        {"pending wrap", "\x1b[5;1H\x1b[80Gx",
         "\\e[1;1R\\e[?7;1$y\\e[?6;2$y\\e[?69;2$y\\e[?45;2$y\\eP1$r0m\\e\\\\e[2;21R"},
        // Region, origin, margins (the 100 letters wrap to the left margin), reverse
        // wraparound, rendition, DECSCA, G0 DEC graphics, G1 DEC supplemental in GL.
        {"modes set", "\x1b[3;20r\x1b[?6h\x1b[?69h\x1b[5;30s\x1b[?45h\x1b[1;31;4m\x1b[1\"q\x1b(0\x1b)<\x0e\x1b[4;7H",
         "\\e[1;1R\\e[?7;1$y\\e[?6;2$y\\e[?69;1$y\\e[?45;1$y\\eP1$r0m\\e\\\\e[4;23R"},
        {"autowrap off", "\x1b[?7l\x1b[3;20r\x1b[?6h\x1b[1;31m\x1b(0\x1b[4;7H",
         "\\e[1;1R\\e[?7;2$y\\e[?6;2$y\\e[?69;2$y\\e[?45;2$y\\eP1$r0m\\e\\\\e[1;80R"},
    };
    const char* restores[] = {"\x1b" "8", "\x1b[u", "\x1b[?1049l", "\x1b[?1048l"};
    const std::string queries = "\x1b[6n\x1b[?7$p\x1b[?6$p\x1b[?69$p\x1b[?45$p\x1bP$qm\x1b\\\x1b[0m" +
                                std::string(100, 'x') + "\x1b[6n";
    for (const Prelude& prelude : preludes)
        for (const State& state : states)
            for (const char* restore : restores) {
                SCOPED_TRACE(std::string(prelude.name) + ", " + state.name + ", then " + readable(restore));
                Harness h;
                h.feed(prelude.bytes);
                h.feed(state.bytes);
                h.feed(restore);
                EXPECT_EQ(readable(reply(h, queries)), state.reply);
                // The letters are letters: every set is ASCII again, in GL.
                EXPECT_EQ(h.row(0).substr(0, 30), std::string(30, 'x'));
                h.feed("\r");
                const int col = h.x();
                h.feed("\x0eq\x0f");
                EXPECT_EQ(h.row(h.y()).substr(size_t(col), 1), "q");
            }
}

// A save before DECSTR is forgotten by it, as in xterm: the restore homes the cursor.
TEST(SavedCursor, soft_reset_forgets_the_saved_cursor)
{
    Harness h;
    h.feed("\x1b[5;5H\x1b[1m\x1b" "7\x1b[!p\x1b[?7l\x1b[10;10H\x1b" "8");
    EXPECT_EQ(h.pos(), std::make_pair(0, 0));
    EXPECT_EQ(h.t().curAttr, Attribute());
    EXPECT_FALSE(h.t().wraparound); // set after the reset, not part of any save
    // A save after it is restored with its modes, as before.
    h.feed("\x1b[?7h\x1b[3;4H\x1b" "7\x1b[?7l\x1b[H\x1b" "8");
    EXPECT_EQ(h.pos(), std::make_pair(3, 2));
    EXPECT_TRUE(h.t().wraparound);
}
