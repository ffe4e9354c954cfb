// Sequences from an escape-sequence conformance run that once gave wrong answers: each is fed to
// a fresh terminal and judged by what a program could see, the replies to its queries (cursor
// reports, checksums) and the screen's text.
#include "support/CommandTestHarness.h"

#include <gtest/gtest.h>

using cmdtest::Harness;
using cmdtest::readable;

namespace {

// Screen rows before every case: 10 x 3, then the case's own bytes.
constexpr const char* kRows = "0123456789\r\nabcdefghij\r\nABCDEFGHIJ";

struct Case {
    const char* name;
    const char* input;  // fed after kRows
    const char* reply;  // everything sent back, readable
    const char* screen; // rows joined by "|", or nullptr when only the reply matters
};

const Case kCases[] = {
    // A full row leaves the cursor in the pending-wrap position; reports give the last column.
    {"report after a full row", "\x1b[H0123456789\x1b[6n\x1b[?6n", "\\e[1;10R\\e[?1;10;1R", nullptr},
    {"report after a full 132-column row", "\x1b[?3hx\x1b[131b\x1b[6n", "\\e[1;132R", nullptr},
    // A left margin left behind after margin mode went off no longer shifts reports or CUP.
    {"report with stale margins", "\x1b[?69h\x1b[5;9s\x1b[?69l\x1b[?6h\x1b[1;3H\x1b[6n", "\\e[1;3R", nullptr},
    // Autowrap off: the cursor stays on the right margin and the last character overwrites it.
    {"autowrap off inside margins", "\x1b[?7l\x1b[?69h\x1b[1;6s\x1b[1;4Hwxyz\x1b[6n", "\\e[1;6R",
     "012wxz6789|abcdefghij|ABCDEFGHIJ|"},
    {"autowrap off, a run past the right margin", "\x1b[?7l\x1b[?69h\x1b[5;9s\x1b[3;8Habcdef\x1b[6n", "\\e[3;9R",
     "0123456789|abcdefghij|ABCDEFGafJ|"},
    // A line feed at the bottom scrolls only the columns between the margins.
    {"line feed between margins", "\x1b[?69h\x1b[3;6s\x1b[3;4H\n", "", "01cdef6789|abCDEFghij|AB    GHIJ|"},
    {"index beside the margins", "\x1b[?69h\x1b[3;6s\x1b[3;9H\x1b" "D\x1b[6n", "\\e[3;9R",
     "0123456789|abcdefghij|ABCDEFGHIJ|"},
    {"reverse index beside the margins", "\x1b[?69h\x1b[3;6s\x1b[1;9H\x1bM\x1b[6n", "\\e[1;9R",
     "0123456789|abcdefghij|ABCDEFGHIJ|"},
    {"reverse index between margins", "\x1b[?69h\x1b[3;6s\x1b[1;4H\x1bM", "", "01    6789|ab2345ghij|ABcdefGHIJ|"},
    {"next line to the left margin", "\x1b[?69h\x1b[3;6s\x1b[1;5H\x1b" "E\x1b[6n", "\\e[2;3R", nullptr},
    // NEL indexes before its carriage return: beside the margins the region does not scroll.
    {"next line right of the margins", "\x1b[?69h\x1b[2;5s\x1b[2;3r\x1b[3;6H\x1b" "E\x1b[6n", "\\e[3;2R",
     "0123456789|abcdefghij|ABCDEFGHIJ|"},
    {"next line left of the margins", "\x1b[?69h\x1b[2;5s\x1b[2;3r\x1b[3;1H\x1b" "E\x1b[6n", "\\e[3;1R",
     "0123456789|abcdefghij|ABCDEFGHIJ|"},
    {"next line on the last row below the region", "\x1b[?69h\x1b[2;5s\x1b[1;2r\x1b[3;6H\x1b" "E\x1b[6n",
     "\\e[3;2R", "0123456789|abcdefghij|ABCDEFGHIJ|"},
    // Rectangles in origin mode: margins count only while margin mode is on.
    {"checksum with stale margins", "\x1b[?69h\x1b[4;8s\x1b[?69l\x1b[?6h\x1b[1;1;1;1;1;1*y", "\\eP1!~0030\\e\\",
     nullptr},
    {"erase with stale margins", "\x1b[?69h\x1b[4;8s\x1b[?69l\x1b[?6h\x1b[1;1;1;2$z", "",
     "  23456789|abcdefghij|ABCDEFGHIJ|"},
    {"copy to a destination in origin mode", "\x1b[2;3r\x1b[?6h\x1b[1;1;1;2;1;2;5;1$v", "",
     "0123456789|abcdefghij|ABCDabGHIJ|"},
    // HPA and VPA address the origin region as CHA and CUP do, and stay inside it.
    {"HPA and VPA in origin mode", "\x1b[?69h\x1b[3;8s\x1b[2;3r\x1b[?6h\x1b[2`\x1b[2d\x1b[6n\x1b[9d\x1b[6n",
     "\\e[2;2R\\e[2;2R", nullptr},
    // Reverse wraparound needs autowrap as well.
    {"backspace with autowrap off", "\x1b[?45h\x1b[?7l\x1b[2;1H\b\x1b[6n", "\\e[2;1R", nullptr},
    // DECFI in the pending-wrap position scrolls the columns like at the right margin.
    {"forward index after a full row", "\x1b[H0123456789\x1b" "9\x1b[6n", "\\e[1;10R",
     "123456789 |bcdefghij |BCDEFGHIJ |"},
    // Margin mode on the alternate screen before any DECSLRM spans the whole width.
    {"margin mode on the alternate screen", "\x1b[?1049h\x1b[?69h\x1b[Habc", "", "abc|||"},
};

} // namespace

TEST(Conformance, sequences_that_gave_wrong_answers)
{
    for (const Case& c : kCases) {
        Harness h(10, 3);
        h.feed(kRows);
        EXPECT_EQ(readable(cmdtest::reply(h, c.input)), c.reply) << c.name;
        if (c.screen) {
            EXPECT_EQ(h.screen(), c.screen) << c.name;
        }
    }
}
