// The line ring: push/recycle, lazy rows, splice and shiftElements, checked against a plain model.
#include "CircularBufferLineList.h"
#include "Diagnostics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

using namespace termcore;

namespace {
BufferLinePtr named(char c)
{
    auto line = std::make_shared<BufferLine>(2);
    line->set(0, CharData(Attribute(), char32_t(c), 1));
    return line;
}

char nameOf(BufferLine& line)
{
    return line[0].code == 0 ? '.' : char(line[0].code);
}

std::string contents(CircularBufferLineList& ring)
{
    std::string out;
    for (int i = 0; i < ring.count(); ++i)
        out.push_back(nameOf(ring[i]));
    return out;
}

CircularBufferLineList ringOf(int maxLength, const std::string& names)
{
    CircularBufferLineList ring(maxLength);
    for (char c : names)
        ring.push(named(c));
    return ring;
}
} // namespace

TEST(RingPush, push_on_full_and_non_full_rings)
{
    CircularBufferLineList ring(3);
    EXPECT_EQ(ring.count(), 0);
    ring.push(named('A'));
    ring.push(named('B'));
    EXPECT_FALSE(ring.isFull());
    EXPECT_EQ(contents(ring), "AB");
    ring.push(named('C'));
    EXPECT_TRUE(ring.isFull());
    ring.push(named('D'));
    EXPECT_EQ(contents(ring), "BCD");
    EXPECT_EQ(ring.getStartIndex(), 1);
    EXPECT_EQ(ring.count(), 3);
    EXPECT_EQ(ring.debugGetCyclicIndex(2), 0);

    ring.pop();
    EXPECT_EQ(contents(ring), "BC");
    ring.trimStart(1);
    EXPECT_EQ(contents(ring), "C");
    ring.trimStart(10); // never more than the rows held
    EXPECT_EQ(ring.count(), 0);
    ring.pop();
    EXPECT_EQ(ring.count(), 0);
}

TEST(RingPush, recycle_reuses_the_oldest_row_cleared_in_the_default_attribute)
{
    CircularBufferLineList ring = ringOf(3, "ABC");
    BufferLine* oldest = &ring[0];
    oldest->isWrapped = true;
    oldest->set(1, CharData(U'q', 1, Attribute::empty));
    ring.recycle();
    EXPECT_EQ(contents(ring), "BC.");
    EXPECT_EQ(&ring[2], oldest) << "the row object is reused, not reallocated";
    for (int i = 0; i < oldest->count(); ++i) {
        EXPECT_EQ((*oldest)[i].code, 0);
        EXPECT_EQ((*oldest)[i].attribute, Attribute());
    }
    EXPECT_TRUE(oldest->isWrapped) << "the caller resets the flags";
}

TEST(RingPush, a_recycled_row_does_not_bring_its_images_back)
{
    struct Image : TerminalImage {
        int pixelWidth() const override { return 1; }
        int pixelHeight() const override { return 1; }
        int col() const override { return 0; }
        void setCol(int) override {}
    };
    CircularBufferLineList ring = ringOf(2, "AB");
    ring[0].attach(std::make_shared<Image>());
    ring.recycle();
    EXPECT_FALSE(ring[1].images().has_value());
}

TEST(RingPushDeathTest, recycle_on_a_ring_that_is_not_full_stops)
{
    CircularBufferLineList ring = ringOf(3, "AB");
    EXPECT_DEATH(ring.recycle(), "can only recycle when the buffer is full");
}

TEST(RingSlots, rows_are_made_lazily_and_capacity_changes_keep_order)
{
    int made = 0;
    CircularBufferLineList ring(1000);
    ring.makeEmpty = [&](int) {
        ++made;
        return std::make_shared<BufferLine>(4);
    };
    ring.setCount(10);
    EXPECT_EQ(made, 0);
    EXPECT_EQ(ring.peek(5), nullptr);
    ring[5].set(0, CharData(U'x', 1, Attribute()));
    EXPECT_EQ(made, 1);
    EXPECT_NE(ring.peek(5), nullptr);
    EXPECT_EQ(nameOf(ring[5]), 'x');
    EXPECT_EQ(made, 1);

    ring.setCount(5000);
    EXPECT_EQ(ring.count(), 1000) << "count never exceeds the capacity";

    CircularBufferLineList r = ringOf(4, "ABCDEF"); // holds CDEF, start 2
    r.setMaxLength(6);
    EXPECT_EQ(r.getStartIndex(), 0);
    EXPECT_EQ(contents(r), "CDEF");
    r.push(named('G'));
    EXPECT_EQ(contents(r), "CDEFG");
    r.setCount(3);
    r.setMaxLength(3);
    EXPECT_EQ(contents(r), "CDE");
    EXPECT_TRUE(r.isFull());
}

TEST(RingSlots, rows_taken_out_in_order_go_back_in_any_order_and_number)
{
    // A full ring whose first row sits mid-array: the rows come out in logical order.
    CircularBufferLineList ring = ringOf(4, "abcdef");
    std::vector<BufferLinePtr> rows = ring.takeRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(nameOf(*rows[0]), 'c');
    EXPECT_EQ(nameOf(*rows[3]), 'f');
    std::reverse(rows.begin(), rows.end());
    ring.putRows(std::move(rows));
    EXPECT_EQ(contents(ring), "fedc");

    // Fewer rows lower the count; more than the capacity keep the first ones; an empty entry is
    // made as a blank row when read.
    ring.putRows({named('x'), nullptr});
    EXPECT_EQ(contents(ring), "x.");
    ring.putRows({named('1'), named('2'), named('3'), named('4'), named('5')});
    EXPECT_EQ(contents(ring), "1234");
}

TEST(RingSlots, a_huge_capacity_allocates_slots_only_as_rows_arrive)
{
    CircularBufferLineList ring(INT32_MAX);
    EXPECT_LE(ring.getArray().size(), 1024u);
    for (int i = 0; i < 5000; ++i)
        ring.push(named(char('A' + i % 26)));
    EXPECT_EQ(ring.count(), 5000);
    EXPECT_LT(ring.getArray().size(), 20000u);
    EXPECT_EQ(nameOf(ring[4999]), char('A' + 4999 % 26));

    // Growing the slots of a ring whose start has wrapped keeps the logical order.
    CircularBufferLineList small(600);
    for (int i = 0; i < 300; ++i)
        small.push(named('x'));
    small.trimStart(299); // start index well inside the slot array
    for (int i = 0; i < 400; ++i)
        small.push(named(char('a' + i % 26)));
    ASSERT_EQ(small.count(), 401);
    EXPECT_EQ(nameOf(small[0]), 'x');
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(nameOf(small[i + 1]), char('a' + i % 26)) << i;
}

struct ShiftRefusal {
    int start, count, offset;
    const char* reason;
};

TEST(RingShift, bad_arguments_are_refused_with_a_diagnostic_and_change_nothing)
{
    const ShiftRefusal cases[] = {
        {0, -1, 1, "count < 0"},
        {-1, 1, 2, "start < 0"},
        {3, 1, 1, "start >= self.count"},
        {1, 1, -1, "start+offset <= 0"},
        {1, 1, -5, "start+offset <= 0"},
    };
    for (const auto& c : cases) {
        CircularBufferLineList ring = ringOf(5, "ABC");
        Diagnostics::Capture capture;
        EXPECT_FALSE(ring.shiftElements(c.start, c.count, c.offset));
        const std::string expected = "Assertion at start=" + std::to_string(c.start) + " count=" + std::to_string(c.count) +
                                     " offset=" + std::to_string(c.offset) + ": " + c.reason;
        ASSERT_EQ(capture.lines().size(), 1u) << c.reason;
        EXPECT_EQ(capture.lines()[0], expected);
        EXPECT_EQ(contents(ring), "ABC");
    }
    CircularBufferLineList empty(3);
    Diagnostics::Capture capture;
    EXPECT_FALSE(empty.shiftElements(0, 1, 0));
    EXPECT_TRUE(capture.contains("start >= self.count"));
}

TEST(RingShift, moves_share_rows_and_grow_or_drop_at_the_ends)
{
    // Upward move of a region: B..D up by one; D now sits in two places.
    CircularBufferLineList up = ringOf(6, "ABCDE");
    ASSERT_TRUE(up.shiftElements(2, 3, -1));
    EXPECT_EQ(contents(up), "ACDEE");
    EXPECT_EQ(up.line(3), up.line(4)) << "the same row object in two places";

    // Downward move inside the rows held.
    CircularBufferLineList down = ringOf(6, "ABCDE");
    ASSERT_TRUE(down.shiftElements(1, 2, 2));
    EXPECT_EQ(contents(down), "ABCBC");

    // Past the last row: the count grows.
    CircularBufferLineList grow = ringOf(6, "ABCD");
    ASSERT_TRUE(grow.shiftElements(2, 2, 1));
    EXPECT_EQ(contents(grow), "ABCCD");

    // Past the capacity: the oldest rows fall off the front.
    CircularBufferLineList full = ringOf(4, "ABCD");
    ASSERT_TRUE(full.shiftElements(2, 2, 2));
    EXPECT_EQ(full.count(), 4);
    EXPECT_EQ(contents(full), "CDCD");
}

namespace {
// The plain model of splice: delete, insert, then drop the excess from the front.
std::deque<char> modelSplice(std::deque<char> rows, int capacity, int start, int deleteCount, const std::string& items)
{
    start = std::clamp(start, 0, int(rows.size()));
    deleteCount = std::clamp(deleteCount, 0, int(rows.size()) - start);
    rows.erase(rows.begin() + start, rows.begin() + start + deleteCount);
    rows.insert(rows.begin() + start, items.begin(), items.end());
    while (int(rows.size()) > capacity)
        rows.pop_front();
    return rows;
}
} // namespace

TEST(RingSplice, insert_delete_and_overflow_match_the_model)
{
    struct Case {
        const char* rows;
        int capacity, start, deleteCount;
        const char* items;
        const char* expected;
    };
    const Case cases[] = {
        {"ABCDE", 8, 1, 2, "xy", "AxyDE"},
        {"ABCDE", 8, 5, 0, "x", "ABCDEx"},
        {"ABCDE", 5, 2, 0, "x", "BxCDE"},         // one too many: A falls off
        {"ABCDE", 5, 0, 0, "vwxyz", "ABCDE"},     // the front of the result is what falls off
        {"ABCDE", 5, 1, 0, "xyz", "zBCDE"},       // rows are never read after being overwritten
        {"ABCDE", 5, 3, 1, "xy", "BCxyE"},
        {"ABC", 3, 1, 9, "", "A"},                 // delete count clipped to the rows held
    };
    for (const auto& c : cases) {
        CircularBufferLineList ring = ringOf(c.capacity, c.rows);
        std::vector<BufferLinePtr> items;
        for (const char* p = c.items; *p; ++p)
            items.push_back(named(*p));
        std::vector<int> changed;
        ring.splice(c.start, c.deleteCount, items, [&](int i) { changed.push_back(i); });
        EXPECT_EQ(contents(ring), c.expected) << c.rows << " @" << c.start << " -" << c.deleteCount << " +" << c.items;
        for (int i : changed) {
            EXPECT_GE(i, 0);
            EXPECT_LT(i, ring.count());
        }
    }

    // Randomised against the model, on rings whose start index has wrapped round.
    std::mt19937 rng(1234);
    for (int round = 0; round < 2000; ++round) {
        const int capacity = 1 + int(rng() % 9);
        std::string initial;
        const int pushes = int(rng() % 15);
        for (int i = 0; i < pushes; ++i)
            initial.push_back(char('A' + i));
        CircularBufferLineList ring = ringOf(capacity, initial);
        std::deque<char> model;
        for (int i = 0; i < ring.count(); ++i)
            model.push_back(nameOf(ring[i]));
        const int start = int(rng() % (ring.count() + 1));
        const int del = int(rng() % 4);
        std::string items;
        const int n = int(rng() % (capacity + 1));
        for (int i = 0; i < n; ++i)
            items.push_back(char('a' + i));
        std::vector<BufferLinePtr> itemRows;
        for (char c : items)
            itemRows.push_back(named(c));
        ring.splice(start, del, itemRows, {});
        auto expected = modelSplice(model, capacity, start, del, items);
        ASSERT_EQ(contents(ring), std::string(expected.begin(), expected.end()))
            << "round " << round << " capacity " << capacity << " start " << start << " del " << del << " items " << items;
    }
}
