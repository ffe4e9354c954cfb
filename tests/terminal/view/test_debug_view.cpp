// The terminal debug overlay on a wrapped line ring: slot order against logical order, the marks,
// the status line through the view's own queued display updates, and what it draws.
#include "TerminalDebugView.h"
#include "support/ViewHarness.h"

#include "BufferLine.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

class DebugViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        h = std::make_unique<ViewHarness>(10, 3);
        // A ring of 3 rows + 4 lines of scrollback makes the slot arithmetic visible.
        useScrollback(4);
        debug = new TerminalDebugView(h->view);
    }

    void useScrollback(int lines)
    {
        auto& t = h->terminal();
        t.options.scrollback = lines;
        t.options.cols = 10;
        t.options.rows = 3;
        t.resetToInitialState();
    }
    QString status() const { return debug->statusText(); }
    QString expectedStatus()
    {
        const auto& buf = h->terminal().buffer();
        return QStringLiteral("x: %1 y: %2 yDisp: %3 yBase: %4 clc: %5 startIndex: %6")
            .arg(buf.x())
            .arg(buf.y())
            .arg(buf.yDisp())
            .arg(buf.yBase())
            .arg(qsizetype(buf.lines().getArray().size()))
            .arg(buf.lines().getStartIndex());
    }

    std::unique_ptr<ViewHarness> h;
    TerminalDebugView* debug = nullptr;
};

TEST_F(DebugViewTest, status_waits_for_the_views_own_queued_display_update)
{
    EXPECT_EQ(status(), "WAITING");
    h->view->feed(QByteArray("ab\r\ncd"));
    EXPECT_EQ(status(), "WAITING") << "feeding only queues the display update";
    ASSERT_TRUE(waitUntil([&] { return status() != "WAITING"; }, 2000));
    EXPECT_EQ(status(), expectedStatus());
    EXPECT_TRUE(status().startsWith("x: 2 y: 1 yDisp: 0 yBase: 0 ")) << status().toStdString();
}

TEST_F(DebugViewTest, status_follows_a_scroll_back_that_changes_no_cells)
{
    h->feed("1\r\n2\r\n3\r\n4\r\n5\r\n6");
    h->view->updateDisplay(false);
    ASSERT_EQ(h->terminal().buffer().yBase(), 3);
    EXPECT_TRUE(status().contains("yDisp: 3 yBase: 3")) << status().toStdString();
    h->view->scrollUp(2);
    QCoreApplication::processEvents();
    ASSERT_TRUE(waitUntil([&] { return status().contains("yDisp: 1 "); }, 2000)) << status().toStdString();
    EXPECT_EQ(status(), expectedStatus());
}

TEST_F(DebugViewTest, a_wrapped_ring_lists_slots_in_storage_order_and_rows_in_logical_order)
{
    // Eight lines into a full ring of 7 slots: the ring's start has moved past slot 0.
    h->feed("l0\r\nl1\r\nl2\r\nl3\r\nl4\r\nl5\r\nl6\r\nl7");
    h->view->updateDisplay(false);
    const auto& lines = h->terminal().buffer().lines();
    ASSERT_EQ(lines.maxLength(), 7);
    ASSERT_EQ(lines.getStartIndex(), 1);
    const QStringList rows = debug->listing();
    ASSERT_EQ(rows.size(), 7);
    // Slot 0 holds the newest line (l7); logical row 0 is the oldest kept one (l1).
    EXPECT_EQ(rows[0], "[000:001]  l7        [000]  l1        ");
    EXPECT_EQ(rows[6], "[006:000]  l6        [006]  l7        ");
    // yDisp and yBase are logical rows: both on row 4 while the view follows the bottom.
    EXPECT_TRUE(rows[4].startsWith("[004:005]DBl4")) << rows[4].toStdString();
    EXPECT_TRUE(rows[4].endsWith("[004]DBl5        ")) << rows[4].toStdString();
}

TEST_F(DebugViewTest, debug_strings_show_blank_cells_as_spaces_and_repeat_the_last_cell)
{
    h->feed("a\x1b[1mb\x1b[0m\x1b[5Cz");
    const auto* line = h->terminal().getLine(0);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(TerminalDebugView::getDebugString(line, 10, "[p]"), "[p]ab     z  ");

    termcore::BufferLine shortRow(2);
    shortRow.set(0, termcore::CharData(termcore::Attribute(), U'x', 1));
    shortRow.set(1, termcore::CharData(termcore::Attribute(), U'y', 1));
    EXPECT_EQ(TerminalDebugView::getDebugString(&shortRow, 4, ""), "xyyy") << "past the end: the last cell again";
    EXPECT_EQ(TerminalDebugView::getDebugString(&shortRow, 0, "[9]"), "[9]");
    EXPECT_EQ(TerminalDebugView::getDebugString(nullptr, 4, "[9]"), "[9]<empty>");

    // A wide character and a cluster outside the basic plane survive the listing.
    h->feed("\r\n\xe4\xb8\xad\xf0\x9f\x98\x80");
    const QString wide = TerminalDebugView::getDebugString(h->terminal().getLine(1), 4, "");
    EXPECT_TRUE(wide.startsWith(QString::fromUtf8("\xe4\xb8\xad"))) << wide.toStdString();
    EXPECT_TRUE(wide.contains(QString::fromUtf8("\xf0\x9f\x98\x80"))) << wide.toStdString();
}

TEST_F(DebugViewTest, slots_the_ring_has_not_grown_yet_are_empty_without_being_made)
{
    // A large capacity grows its slot array only as rows arrive; listing must not make rows.
    useScrollback(1000);
    const auto& lines = h->terminal().buffer().lines();
    const size_t slotsBefore = lines.getArray().size();
    const QStringList rows = debug->listing();
    ASSERT_EQ(rows.size(), lines.maxLength());
    EXPECT_EQ(lines.getArray().size(), slotsBefore);
    EXPECT_TRUE(rows[int(slotsBefore) + 2].endsWith("  <empty>")) << rows[int(slotsBefore) + 2].toStdString();
}

TEST_F(DebugViewTest, draws_black_text_on_white_with_the_status_line_at_the_bottom)
{
    h->window->resize(520, 200);
    debug->setParentItem(h->window->contentItem());
    debug->setPosition(QPointF(0, 0));
    debug->setSize(QSizeF(520, 200));
    QCoreApplication::processEvents();
    h->feed("hello\r\nworld");
    h->view->updateDisplay(false);
    const QImage shot = h->window->grabWindow().convertToFormat(QImage::Format_RGB32);
    if (const QByteArray dir = qgetenv("TERMVIEW_TEST_SHOTS"); !dir.isEmpty())
        shot.save(QString::fromLocal8Bit(dir) + "/debug-view.png");
    auto darkIn = [&](int top, int bottom) {
        int dark = 0;
        for (int y = std::max(0, top); y < std::min(shot.height(), bottom); ++y)
            for (int x = 0; x < shot.width(); ++x)
                dark += qGray(shot.pixel(x, y)) < 100;
        return dark;
    };
    int white = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            white += qGray(shot.pixel(x, y)) > 245;
    EXPECT_GT(white, shot.width() * shot.height() / 2) << "white ground";
    EXPECT_GT(darkIn(0, shot.height() - 22), 50) << "the listing is drawn";
    EXPECT_GT(darkIn(shot.height() - 22, shot.height() - 8), 20) << "the status line sits 8 above the bottom edge";
}

TEST_F(DebugViewTest, a_destroyed_overlay_or_view_leaves_nothing_dangling)
{
    delete debug;
    debug = nullptr;
    EXPECT_EQ(h->view->debug, nullptr);
    h->feed("more");
    h->view->updateDisplay(false);

    // The other way round: the overlay outlives its terminal view.
    auto* other = new TerminalDebugView(h->view, h->window->contentItem());
    h->view->setParentItem(nullptr);
    delete h->view;
    h->view = nullptr;
    other->refresh();
    EXPECT_TRUE(other->listing().isEmpty());
    delete other;
}

} // namespace
