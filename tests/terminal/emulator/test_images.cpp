// Images in the screen: a new one replaces what it covers, one no cell shows is freed, and the
// image memory has a cap, oldest first out.
#include "support/CommandTestHarness.h"

#include <gtest/gtest.h>

using namespace termcore;
using cmdtest::Harness;

namespace {

// A stripe one row high holding `bytes` of pixels; counts the live ones.
struct Stripe : TerminalImage {
    static inline int live = 0;
    int c, n;
    std::vector<uint8_t> pixels;
    Stripe(int col, int columns, size_t bytes = 1000) : c(col), n(columns), pixels(bytes) { ++live; }
    ~Stripe() override { --live; }
    int pixelWidth() const override { return n * 8; }
    int pixelHeight() const override { return 16; }
    int col() const override { return c; }
    void setCol(int v) override { c = v; }
    int columns() const override { return n; }
    size_t byteSize() const override { return pixels.size(); }
    void releasePixels() override { pixels = {}; }
};

// Places a stripe at (row, col) of the screen, as the view does at the cursor.
void place(Harness& h, int row, int col, int columns, size_t bytes = 1000)
{
    h.feed("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(col + 1) + "H");
    h.t().placeImage(std::make_shared<Stripe>(col, columns, bytes));
}

std::vector<std::pair<int, int>> shownOf(Harness& h, int row, size_t i)
{
    return (*h.t().buffer().lines()[h.yBase() + row].images())[i]->shownSpans();
}

size_t imagesOn(Harness& h, int row)
{
    const auto& images = h.t().buffer().lines()[h.yBase() + row].images();
    return images ? images->size() : 0;
}

} // namespace

TEST(Images, a_new_image_replaces_what_it_covers)
{
    Stripe::live = 0;
    Harness h(200, 5);
    for (int i = 0; i < 20000; i++)
        place(h, 0, 0, 199);
    EXPECT_EQ(imagesOn(h, 0), 1u);
    EXPECT_EQ(Stripe::live, 1);
    EXPECT_EQ(h.t().imageStore().count(), 1u);
    EXPECT_EQ(h.t().imageStore().bytes(), 1000u);

    // Partly covered: each shows the columns no later image covers; shown nowhere, it goes.
    place(h, 1, 0, 10);  // A: 0..9
    place(h, 1, 5, 10);  // B: 5..14
    place(h, 1, 20, 3);  // C: 20..22
    place(h, 1, 21, 1);  // D: 21
    EXPECT_EQ(shownOf(h, 1, 0), (std::vector<std::pair<int, int>>{{0, 5}}));
    EXPECT_EQ(shownOf(h, 1, 2), (std::vector<std::pair<int, int>>{{0, 1}, {2, 3}}));
    place(h, 1, 0, 5);   // covers what A still showed
    EXPECT_EQ(imagesOn(h, 1), 4u);
    EXPECT_EQ(shownOf(h, 1, 0), (std::vector<std::pair<int, int>>{{0, 10}})) << "B, now the oldest";
    EXPECT_EQ(Stripe::live, 5);
}

TEST(Images, images_go_with_the_rows_that_held_them)
{
    struct Case {
        const char* name;
        std::string after;
        int live;
    };
    // Rows 0-3 of the screen hold one image each; the scrollback holds 3 rows.
    const std::vector<Case> cases = {
        {"scrolled into the scrollback", "\x1b[4;1H\n\n\n", 4},
        {"scrolled past the scrollback's bound", "\x1b[4;1H" + std::string(10, '\n'), 0},
        {"erased with the screen (clear: ED 2 and ED 3)", "\x1b[4;1H\n\n\x1b[H\x1b[2J\x1b[3J", 0},
        {"erased line", "\x1b[2;1H\x1b[K", 3},
        {"full reset", "\x1b" "c", 0},
    };
    for (const Case& c : cases) {
        Stripe::live = 0;
        {
            Harness h(20, 4, 3);
            for (int row = 0; row < 4; row++)
                place(h, row, 2, 4);
            h.feed(c.after);
            EXPECT_EQ(Stripe::live, c.live) << c.name;
            EXPECT_EQ(h.t().imageStore().count(), size_t(c.live)) << c.name;
        }
        EXPECT_EQ(Stripe::live, 0) << c.name << ": the terminal went";
    }
}

TEST(Images, the_image_memory_of_a_terminal_has_a_cap_oldest_first_out)
{
    Stripe::live = 0;
    Harness h(20, 24, 100);
    h.t().imageStore().setCap(10 * 1000);
    std::vector<std::weak_ptr<TerminalImage>> placed;
    for (int row = 0; row < 15; row++) {
        place(h, row, 0, 4);
        placed.push_back((*h.t().buffer().lines()[h.yBase() + row].images()).back());
    }
    EXPECT_EQ(h.t().imageStore().count(), 10u);
    EXPECT_LE(h.t().imageStore().bytes(), 10u * 1000);
    for (int row = 0; row < 15; row++)
        EXPECT_EQ(placed[size_t(row)].lock()->released(), row < 5) << row;
    // A released image goes from its row when the row takes a new one.
    place(h, 0, 10, 2);
    EXPECT_EQ(imagesOn(h, 0), 1u);
    // One image larger than the cap is still shown; it pushes out all the others.
    place(h, 20, 0, 4, 50 * 1000);
    EXPECT_EQ(h.t().imageStore().count(), 1u);
}
