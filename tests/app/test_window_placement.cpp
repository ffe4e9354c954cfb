// The window's first size and its minimum, in a screen's available area: the preferred 1240 × 780
// and 980 × 640 where they fit, cut to the area where they do not, and the window inside it.
#include "WindowPlacement.h"

#include <gtest/gtest.h>

using brinmoor::WindowPlacement;

TEST(WindowPlacement, the_window_opens_inside_the_available_area_at_most_its_preferred_size)
{
    struct Row {
        const char* screen;
        QRect available;
        QSize size;
        QSize minimum;
    };
    const Row rows[] = {
        {"desktop", {0, 0, 1920, 1080}, {1240, 780}, {980, 640}},
        {"laptop 1366 x 768", {0, 0, 1366, 768}, {1240, 768}, {980, 640}},
        {"laptop with a top panel", {0, 28, 1366, 740}, {1240, 740}, {980, 640}},
        {"2560 x 1440 at scale 2, bottom panel", {0, 0, 1280, 692}, {1240, 692}, {980, 640}},
        {"second screen to the right", {1920, 0, 1280, 1024}, {1240, 780}, {980, 640}},
        {"netbook 1024 x 600", {0, 0, 1024, 600}, {1024, 600}, {980, 600}},
        {"tiny", {0, 0, 800, 480}, {800, 480}, {800, 480}},
    };
    for (const Row& r : rows) {
        const auto p = WindowPlacement::fit(r.available);
        EXPECT_EQ(p.geometry.size(), r.size) << r.screen;
        EXPECT_EQ(p.minimum, r.minimum) << r.screen;
        EXPECT_TRUE(r.available.contains(p.geometry)) << r.screen;
        // Centred: the room left over is shared out (to within a pixel) on both sides.
        EXPECT_LE(std::abs((p.geometry.left() - r.available.left()) - (r.available.right() - p.geometry.right())), 1) << r.screen;
        EXPECT_LE(std::abs((p.geometry.top() - r.available.top()) - (r.available.bottom() - p.geometry.bottom())), 1) << r.screen;
    }
    // No screen yet: the sizes as they are.
    EXPECT_EQ(WindowPlacement::fit(QRect()).geometry.size(), QSize(1240, 780));
}
