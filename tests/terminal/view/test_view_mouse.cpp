// Pointer input on a terminal view, checked on the bytes a program receives in every report
// encoding, and on what clicks select at the view's edges and in the scrollback.
#include "SelectionService.h"
#include "support/ViewHarness.h"

#include <QGuiApplication>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QStyleHints>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct Recorder : SendRecorder<std::string> {
    std::vector<QString> links;
    void requestOpenLink(TerminalView& v, const QString& link, const QMap<QString, QString>& params) override
    {
        links.push_back(link);
        TerminalViewDelegate::requestOpenLink(v, link, params);
    }
};

std::string csi(const std::string& s)
{
    return "\x1b[" + s;
}

class PointerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        make(20, 5);
        // A shorter interval than the desktop's keeps settle() short; clicks sent back to back
        // still fall well inside it.
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(250);
    }
    void TearDown() override { h->view->terminalDelegate = nullptr; }
    void make(int cols, int rows)
    {
        if (h)
            h->view->terminalDelegate = nullptr;
        h = std::make_unique<ViewHarness>(cols, rows, 0, 9); // 9 spare pixels below the last row
        h->view->terminalDelegate = &rec;
        rec.sent.clear();
    }

    // A 20 x 4 view whose scrollback holds lines of output, shown at its end.
    void makeWithScrollback(int lines)
    {
        make(20, 4);
        h->feed(QByteArray("x\r\n").repeated(lines));
    }
    QPointF at(int col, int row) const { return {h->cell().width() * (col + 0.5), h->cell().height() * (row + 0.5)}; }
    void send(QEvent::Type type, QPointF p, Qt::MouseButton button, Qt::MouseButtons held,
              Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QMouseEvent ev(type, p, p, p, button, held, mods);
        QCoreApplication::sendEvent(h->view, &ev);
    }
    // Presses and releases keep track of the buttons held, as Qt's events carry them.
    void press(QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier, Qt::MouseButton button = Qt::LeftButton)
    {
        held |= button;
        send(QEvent::MouseButtonPress, p, button, held, mods);
    }
    void moveHeld(QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        send(QEvent::MouseMove, p, Qt::NoButton, held ? held : Qt::LeftButton, mods);
    }
    void release(QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier, Qt::MouseButton button = Qt::LeftButton)
    {
        held &= ~button;
        send(QEvent::MouseButtonRelease, p, button, held, mods);
    }
    void click(QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier, Qt::MouseButton button = Qt::LeftButton)
    {
        press(p, mods, button);
        release(p, mods, button);
    }
    // A pointer move with no button held goes to the window, as the platform sends it: Qt Quick
    // makes the view's hover events of it and keeps the place for the hover it sends again at
    // each frame. Sent to the view alone, the window would go on believing the pointer rests
    // where it entered, and a frame's hover there would move it back.
    void hover(QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QPointF scene = h->view->mapToScene(p);
        QMouseEvent ev(QEvent::MouseMove, scene, scene, h->window->mapToGlobal(scene), Qt::NoButton, Qt::NoButton,
                       mods);
        QCoreApplication::sendEvent(h->window.get(), &ev);
    }
    void wheel(QPoint angle, QPoint pixels = {}, QPointF at = {5, 5}, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWheelEvent ev(at, at, pixels, angle, Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(h->view, &ev);
    }
    // Lets the double-click interval pass (the limit is the subject), so the next press counts as
    // a first click.
    void settle() { spin(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 40); }
    QString selected() const { return h->view->getSelection().value_or("<none>"); }
    std::vector<std::string> take() { return std::exchange(rec.sent, {}); }

    std::unique_ptr<ViewHarness> h;
    Recorder rec;
    Qt::MouseButtons held;
};

TEST_F(PointerTest, sgr_reports_presses_releases_and_modifiers_with_the_low_bits_cleared_on_release)
{
    h->feed("\x1b[?1000h\x1b[?1006h");
    click(at(0, 0));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;1;1M"), csi("<0;1;1m")}));
    settle();
    click(at(7, 3), Qt::AltModifier | Qt::ControlModifier);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<24;8;4M"), csi("<24;8;4m")})) << "Alt 8 + Ctrl 16";
    settle();
    click(at(2, 1), Qt::AltModifier);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<8;3;2M"), csi("<8;3;2m")})) << "Alt 8";
}

TEST_F(PointerTest, vt200_reports_no_drags)
{
    h->feed("\x1b[?1000h\x1b[?1006h");
    press(at(3, 2));
    moveHeld(at(4, 2));
    release(at(4, 2));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;4;3M"), csi("<0;5;3m")}));
}

TEST_F(PointerTest, every_button_is_reported_with_its_modifiers_in_every_encoding)
{
    // What xterm 379 (TERM=xterm-256color) sent for a click at column 5, row 2 (in the pixel
    // form, this view's pixel 38, 35 of it). A release is code 3 with the modifiers, but in SGR
    // the button's code with the final "m".
    using M = Qt::KeyboardModifier;
    const Qt::MouseButton L = Qt::LeftButton, Mid = Qt::MiddleButton, R = Qt::RightButton;
    const std::string x10 = "\x1b[?1002l\x1b[?1006l\x1b[?1015l\x1b[?1000h";
    const struct {
        std::string modes;
        Qt::MouseButton button;
        Qt::KeyboardModifiers mods;
        std::string press, release; // after CSI
    } rows[] = {
        {x10, L, {}, "M &#", "M#&#"},
        {x10, Mid, {}, "M!&#", "M#&#"},
        {x10, R, {}, "M\"&#", "M#&#"},
        {x10, L, M::ControlModifier, "M0&#", "M3&#"},
        {x10, Mid, M::ControlModifier, "M1&#", "M3&#"},
        {x10, R, M::ControlModifier, "M2&#", "M3&#"},
        {"\x1b[?1005h", R, M::ControlModifier, "M2&#", "M3&#"},
        {"\x1b[?1006h", L, {}, "<0;6;3M", "<0;6;3m"},
        {"\x1b[?1006h", Mid, {}, "<1;6;3M", "<1;6;3m"},
        {"\x1b[?1006h", R, {}, "<2;6;3M", "<2;6;3m"},
        {"\x1b[?1006h", L, M::ControlModifier, "<16;6;3M", "<16;6;3m"},
        {"\x1b[?1006h", Mid, M::ControlModifier, "<17;6;3M", "<17;6;3m"},
        {"\x1b[?1006h", R, M::ControlModifier, "<18;6;3M", "<18;6;3m"},
        {"\x1b[?1006h", R, M::AltModifier, "<10;6;3M", "<10;6;3m"},
        {"\x1b[?1006h", R, M::AltModifier | M::ControlModifier, "<26;6;3M", "<26;6;3m"},
        {"\x1b[?1016h", R, M::ControlModifier, "<18;38;35M", "<18;38;35m"},
        {"\x1b[?1016l\x1b[?1000h\x1b[?1015h", Mid, {}, "33;6;3M", "35;6;3M"},
        {"\x1b[?1015h", R, M::ControlModifier, "50;6;3M", "51;6;3M"},
        // X10 reporting (DECSET 9): presses only, never modifiers.
        {"\x1b[?1015l\x1b[?9h", R, M::ControlModifier, "M\"&#", ""},
        {"\x1b[?9h", Mid, {}, "M!&#", ""},
    };
    for (const auto& row : rows) {
        h->feed(QByteArray::fromStdString(row.modes));
        click(at(5, 2), row.mods, row.button);
        std::vector<std::string> want{csi(row.press)};
        if (!row.release.empty())
            want.push_back(csi(row.release));
        EXPECT_EQ(take(), want) << "button " << int(row.button) << ", modifiers " << int(row.mods) << ", after "
                                << row.modes.substr(1);
    }
    EXPECT_FALSE(h->view->selectionActive());
}

TEST_F(PointerTest, a_drag_reports_its_held_button_the_left_one_first)
{
    using M = Qt::KeyboardModifier;
    // Button-event tracking: the right button held (2 + 32), in X10 bytes and in SGR; Ctrl on
    // the middle button (1 + 16 + 32) in any-event tracking.
    h->feed("\x1b[?1002h");
    press(at(5, 2), {}, Qt::RightButton);
    moveHeld(at(8, 2));
    release(at(8, 2), {}, Qt::RightButton);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("M\"&#"), csi("MB)#"), csi("M#)#")}));
    h->feed("\x1b[?1006h");
    press(at(5, 2), {}, Qt::RightButton);
    moveHeld(at(8, 2));
    moveHeld(at(8, 2) + QPointF(1, 1)); // the same cell: no motion
    release(at(8, 2), {}, Qt::RightButton);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<2;6;3M"), csi("<34;9;3M"), csi("<2;9;3m")}));
    h->feed("\x1b[?1003h");
    press(at(5, 2), M::ControlModifier, Qt::MiddleButton);
    moveHeld(at(8, 2), M::ControlModifier);
    release(at(8, 2), M::ControlModifier, Qt::MiddleButton);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<17;6;3M"), csi("<49;9;3M"), csi("<17;9;3m")}));
    // Two held: the motion is the left button's whichever went down first (as in xterm).
    press(at(5, 2), {}, Qt::RightButton);
    press(at(5, 2));
    moveHeld(at(8, 2));
    release(at(8, 2), {}, Qt::RightButton);
    moveHeld(at(10, 2));
    release(at(10, 2));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<2;6;3M"), csi("<0;6;3M"), csi("<32;9;3M"), csi("<2;9;3m"),
                                                csi("<32;11;3M"), csi("<0;11;3m")}));
    // Normal tracking (1000) reports no drag of any button.
    h->feed("\x1b[?1003l\x1b[?1000h");
    press(at(5, 2), {}, Qt::MiddleButton);
    moveHeld(at(8, 2));
    release(at(8, 2), {}, Qt::MiddleButton);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<1;6;3M"), csi("<1;9;3m")}));
}

TEST_F(PointerTest, shift_takes_the_pointer_back_from_a_program_that_tracks_it)
{
    make(40, 5);
    h->feed("\x1b[?1002h\x1b[?1006hrow3 alpha beta");
    int menus = 0;
    QPointF menuAt;
    QObject::connect(h->view, &TerminalView::contextMenuRequested, [&](QPointF p) {
        ++menus;
        menuAt = p;
    });
    // Shift+drag selects, whatever modifier joins it.
    press(at(0, 0), Qt::ShiftModifier);
    moveHeld(at(2, 0), Qt::ShiftModifier | Qt::ControlModifier);
    moveHeld(at(4, 0), Qt::ShiftModifier);
    release(at(4, 0), Qt::ShiftModifier);
    EXPECT_EQ(selected(), "row3");
    // Shift+click extends it; Shift+double click takes a word, Shift+triple click the row.
    settle();
    click(at(9, 0), Qt::ShiftModifier);
    EXPECT_EQ(selected(), "row3 alph");
    settle();
    click(at(12, 0), Qt::ShiftModifier);
    click(at(12, 0), Qt::ShiftModifier);
    EXPECT_EQ(selected(), "beta");
    click(at(12, 0), Qt::ShiftModifier);
    EXPECT_EQ(selected().trimmed(), "row3 alpha beta");
    // Shift+right click opens the menu where it was clicked; a plain one is the program's.
    click(at(3, 1), Qt::ShiftModifier, Qt::RightButton);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(menuAt, at(3, 1));
    EXPECT_TRUE(take().empty()) << "nothing went to the program";
    click(at(3, 1), {}, Qt::RightButton);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<2;4;2M"), csi("<2;4;2m")}));
    // In any-event tracking, motion with Shift held is no motion for the program.
    h->feed("\x1b[?1003h");
    hover(at(6, 1), Qt::ShiftModifier);
    hover(at(7, 1));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<35;8;2M")});
    // Without reports a right click opens the menu, Shift or not.
    h->feed("\x1b[?1003l");
    click(at(3, 1), Qt::ShiftModifier, Qt::RightButton);
    EXPECT_EQ(menus, 2);
    EXPECT_TRUE(take().empty());
}

TEST_F(PointerTest, a_program_is_not_left_with_a_button_held_when_the_pointer_is_taken_away)
{
    h->feed("\x1b[?1002h\x1b[?1006h");
    // Through the window, so that the view holds the pointer's grab.
    const QPoint p = h->view->mapToScene(at(5, 2)).toPoint();
    QTest::mousePress(h->window.get(), Qt::RightButton, {}, p);
    ASSERT_EQ(take(), std::vector<std::string>{csi("<2;6;3M")});
    h->view->ungrabMouse(); // as when a popup takes the pointer mid-press
    EXPECT_EQ(take(), std::vector<std::string>{csi("<2;6;3m")});
    QTest::mouseRelease(h->window.get(), Qt::RightButton, {}, p);
    EXPECT_TRUE(take().empty()) << "the release was told already";
    // Letting go of one of two buttons keeps the other's grab: nothing is released early.
    const QPoint q = h->view->mapToScene(at(8, 2)).toPoint();
    QTest::mousePress(h->window.get(), Qt::LeftButton, {}, p);
    QTest::mousePress(h->window.get(), Qt::RightButton, {}, p);
    QTest::mouseRelease(h->window.get(), Qt::RightButton, {}, p);
    QTest::mouseMove(h->window.get(), q);
    QTest::mouseRelease(h->window.get(), Qt::LeftButton, {}, q);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;6;3M"), csi("<2;6;3M"), csi("<2;6;3m"), csi("<32;9;3M"),
                                                csi("<0;9;3m")}));
}

TEST_F(PointerTest, a_click_drops_the_selection_a_drag_starts_one_and_shift_click_extends_it)
{
    make(40, 5);
    h->feed("row3 alpha beta");
    click(at(1, 0));
    click(at(1, 0));
    ASSERT_TRUE(h->view->selectionActive());
    settle();
    click(at(3, 0));
    EXPECT_FALSE(h->view->selectionActive());
    settle();
    press(at(0, 0));
    moveHeld(at(2, 0));
    moveHeld(at(4, 0));
    release(at(4, 0));
    EXPECT_EQ(selected(), "row3");
    settle();
    click(at(9, 0), Qt::ShiftModifier);
    EXPECT_EQ(selected(), "row3 alph");
}

TEST_F(PointerTest, any_event_motion_is_35_plus_modifiers_in_every_encoding)
{
    h->feed("\x1b[?1003h");
    ASSERT_TRUE(h->view->acceptHoverEvents()) << "motion without a button needs hover events";
    hover(at(5, 0));
    hover(at(6, 1), Qt::AltModifier);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("M") + char(35 + 32) + char(5 + 33) + char(0 + 33),
                                                csi("M") + char(43 + 32) + char(6 + 33) + char(1 + 33)}));
    h->feed("\x1b[?1015h"); // urxvt
    hover(at(5, 0));
    EXPECT_EQ(take(), std::vector<std::string>{csi("67;6;1M")});
    h->feed("\x1b[?1006h"); // SGR: a motion report is a press-style report ("M"), never a release
    hover(at(4, 0));
    hover(at(6, 2), Qt::ControlModifier);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<35;5;1M"), csi("<51;7;3M")}));
    // A drag in any-event mode carries the held button: 32 + 0.
    press(at(1, 1));
    moveHeld(at(2, 1));
    release(at(2, 1));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;2;2M"), csi("<32;3;2M"), csi("<0;3;2m")}));
}

TEST_F(PointerTest, a_pointer_resting_in_place_is_reported_once)
{
    // Qt Quick sends hover events again to a pointer that has not moved whenever the scene
    // repaints (a caret blink, new output); a program that redraws on motion would loop.
    h->feed("\x1b[?1003h\x1b[?1006h");
    hover(at(5, 0));
    hover(at(5, 0));
    h->feed("output that repaints the view");
    hover(at(5, 0));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<35;6;1M")});
    // Moving on reports again, and so does coming back.
    hover(at(6, 0));
    hover(at(5, 0));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<35;7;1M"), csi("<35;6;1M")}));
    // A click is no motion: Qt Quick's hover after the release, at the same spot, is not
    // reported, nor is a drag that stays in the cell.
    click(at(5, 0));
    hover(at(5, 0));
    press(at(5, 0));
    moveHeld(at(5, 0) + QPointF(2, 2));
    release(at(5, 0) + QPointF(2, 2));
    hover(at(5, 0));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;6;1M"), csi("<0;6;1m"), csi("<0;6;1M"), csi("<0;6;1m")}));
    // Leaving and coming back in at another cell is motion; where it left, not.
    QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), at(5, 0));
    QCoreApplication::sendEvent(h->view, &leave);
    hover(at(5, 0));
    hover(at(5, 1));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<35;6;2M")});
}

TEST_F(PointerTest, turning_any_event_tracking_on_under_a_resting_pointer_reports_nothing)
{
    // The pointer rests over the view, moved there through the window, before the program asks.
    QTest::mouseMove(h->window.get(), h->view->mapToScene(at(3, 1)).toPoint());
    h->feed("\x1b[?1003h\x1b[?1006h");
    // Qt Quick sends a hover to an item that starts accepting them, and again on frames that
    // change the scene: none of them is motion.
    for (int i = 0; i < 3; ++i) {
        int frames = 0;
        const auto c = QObject::connect(h->window.get(), &QQuickWindow::frameSwapped, [&frames] { ++frames; });
        h->feed("x");
        EXPECT_TRUE(waitUntil([&] { return frames > 0; }, 5000));
        QObject::disconnect(c);
    }
    EXPECT_TRUE(take().empty());
    QTest::mouseMove(h->window.get(), h->view->mapToScene(at(4, 1)).toPoint());
    EXPECT_EQ(take(), std::vector<std::string>{csi("<35;5;2M")});
}

TEST_F(PointerTest, button_event_tracking_reports_drags_and_clamps_them_to_the_grid)
{
    h->feed("\x1b[?1002h\x1b[?1006h");
    press(at(1, 1));
    moveHeld(at(4, 1));
    moveHeld(QPointF(h->cell().width() * 40, h->cell().height() * 1.5)); // far right of the grid
    release(at(4, 1));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;2;2M"), csi("<32;5;2M"), csi("<32;20;2M"), csi("<0;5;2m")}));
    hover(at(3, 3));
    EXPECT_TRUE(take().empty()) << "1002 reports no motion without a button";
}

TEST_F(PointerTest, x10_mode_reports_presses_only_and_never_modifiers)
{
    h->feed("\x1b[?9h");
    press(at(2, 1), Qt::AltModifier | Qt::ControlModifier);
    moveHeld(at(3, 1));
    release(at(3, 1));
    EXPECT_EQ(take(), std::vector<std::string>{csi("M") + char(32) + char(2 + 33) + char(1 + 33)});
    EXPECT_FALSE(h->view->selectionActive()) << "a reported press does not select";
}

TEST_F(PointerTest, pixel_reports_carry_the_pointer_position_in_pixels)
{
    h->feed("\x1b[?1000h\x1b[?1016h");
    const QPointF p(23.6, 31.2);
    click(p);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;23;31M"), csi("<0;23;31m")}));
}

TEST_F(PointerTest, a_click_below_the_last_row_counts_as_the_last_row)
{
    const QPointF below(h->cell().width() * 3.5, h->cell().height() * 5 + 6); // in the spare strip
    h->feed("\x1b[?1000h\x1b[?1006h");
    click(below);
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<0;4;5M"), csi("<0;4;5m")}));

    // Selection takes the same row: a double click there selects the last row's word, a triple
    // click the last row.
    h->feed("\x1b[?1000l\x1b[?1006l\x1b[5;1Hlast word");
    settle();
    click(below);
    click(below);
    EXPECT_EQ(selected(), "last");
    click(below);
    EXPECT_EQ(selected().trimmed(), "last word");
}

TEST_F(PointerTest, double_and_triple_clicks_select_on_the_line_shown_in_the_scrollback)
{
    make(30, 4);
    for (int i = 0; i < 12; ++i)
        h->feed("r" + QByteArray::number(i) + " one (two three) four\r\n");
    h->view->scrollTo(5);
    ASSERT_EQ(h->terminal().buffer().yDisp(), 5);
    // Row 1 shows buffer line 6.
    click(at(16, 1));
    click(at(16, 1));
    EXPECT_EQ(selected(), "three");
    click(at(16, 1));
    EXPECT_EQ(selected().trimmed(), "r6 one (two three) four");
    settle();
    // A double click on a bracket takes the bracketed expression.
    click(at(7, 2));
    click(at(7, 2));
    EXPECT_EQ(selected(), "(two three)");
    EXPECT_EQ(h->terminal().buffer().yDisp(), 5) << "selecting does not scroll";
}

TEST_F(PointerTest, clicks_count_only_when_close_in_place)
{
    h->feed("alpha beta gamma");
    click(at(1, 0));
    click(at(12, 0)); // quick, but far away: a new first click
    EXPECT_FALSE(h->view->selectionActive());
    click(at(12, 0));
    EXPECT_EQ(selected(), "gamma");
}

TEST_F(PointerTest, a_drag_after_a_double_click_extends_by_whole_words)
{
    h->feed("alpha beta gamma delta");
    click(at(7, 0));
    press(at(7, 0));
    moveHeld(at(12, 0));
    release(at(12, 0));
    EXPECT_EQ(selected(), "beta gamma");
}

TEST_F(PointerTest, drags_starting_outside_the_grid_are_clamped)
{
    h->feed("0123456789\r\nabcdefghij");
    press(QPointF(-20, -20)); // above and left of the view
    moveHeld(at(3, 1));
    release(at(3, 1));
    EXPECT_EQ(selected(), "0123456789\nabc");
}

TEST_F(PointerTest, with_reporting_off_in_the_view_presses_select_but_any_event_motion_is_still_reported)
{
    h->feed("\x1b[?1003h\x1b[?1006hword and more");
    h->view->allowMouseReporting = false;
    click(at(1, 0));
    click(at(1, 0));
    EXPECT_EQ(selected(), "word");
    std::vector<std::string> out = take();
    EXPECT_TRUE(out.empty());
    hover(at(2, 0));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<35;3;1M")});
}

TEST_F(PointerTest, a_pointer_that_stays_in_its_cell_is_not_motion)
{
    // Pressing Ctrl or Shift over the view makes Qt Quick send hover events with the new
    // modifiers; moving inside a cell changes no cell.
    h->feed("\x1b[?1003h\x1b[?1006h");
    hover(at(5, 0));
    hover(at(5, 0), Qt::ControlModifier);
    hover(at(5, 0), Qt::ShiftModifier);
    hover(at(5, 0) + QPointF(2, 3));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<35;6;1M")});
    hover(at(6, 0), Qt::ControlModifier);
    EXPECT_EQ(take(), std::vector<std::string>{csi("<51;7;1M")});
    // The pixel encoding tells pixels apart, so each new pixel is motion there.
    h->feed("\x1b[?1016h");
    hover(QPointF(10, 5));
    hover(QPointF(10, 5), Qt::ControlModifier);
    hover(QPointF(11, 5));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<35;10;5M"), csi("<35;11;5M")}));
}

TEST_F(PointerTest, a_program_that_wants_the_mouse_gets_one_wheel_report_per_notch)
{
    makeWithScrollback(40);
    h->feed("\x1b[?1049h\x1b[?1000h\x1b[?1006h");
    // One button-4 (up) or button-5 (down) press per notch of 120, at the pointer, as xterm sends
    // one per wheel click: the program applies its own step.
    wheel({0, 120}, {}, at(3, 2));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<64;4;3M")});
    wheel({0, -120}, {}, at(0, 0));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<65;1;1M")});
    wheel({0, 360}, {}, at(0, 0)); // three notches at once
    EXPECT_EQ(take(), std::vector<std::string>(3, csi("<64;1;1M")));
    // A touchpad's small steps add up to a notch before one report goes; turning back drops
    // what was gathered the other way.
    for (int i = 0; i < 7; ++i)
        wheel({0, 15});
    EXPECT_TRUE(take().empty());
    wheel({0, 15});
    EXPECT_EQ(take(), std::vector<std::string>{csi("<64;1;1M")});
    wheel({0, 100});
    wheel({0, -100});
    wheel({0, 100});
    EXPECT_TRUE(take().empty());
    wheel({0, 20});
    EXPECT_EQ(take(), std::vector<std::string>{csi("<64;1;1M")});
    // Pixel deltas alone count a notch as the lines of one (three) in cell heights.
    const int ch = int(h->cell().height());
    wheel({0, 0}, {0, -3 * ch}, at(1, 1));
    EXPECT_EQ(take(), std::vector<std::string>{csi("<65;2;2M")});
    // Ctrl and Alt are reported; the X10 byte form in button-event tracking.
    wheel({0, 120}, {}, at(1, 1), Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(take(), std::vector<std::string>{csi("<88;2;2M")}) << "64 + Alt 8 + Ctrl 16";
    h->feed("\x1b[?1006l\x1b[?1002h");
    wheel({0, 120}, {}, at(2, 1));
    EXPECT_EQ(take(), std::vector<std::string>{csi("M") + char(64 + 32) + char(2 + 33) + char(1 + 33)});

    // X10 reporting (mode 9) carries no wheel (nor does xterm's), and without mouse reports or
    // with reporting off in the view the wheel is the view's again: the alternate screen has no
    // scrollback, so nothing moves.
    h->feed("\x1b[?9h");
    wheel({0, 120});
    h->feed("\x1b[?1000h");
    h->view->allowMouseReporting = false;
    wheel({0, 120});
    h->view->allowMouseReporting = true;
    h->feed("\x1b[?1000l");
    wheel({0, 120});
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(h->terminal().buffer().yDisp(), 0);
}

TEST_F(PointerTest, on_the_normal_screen_a_program_that_wants_the_mouse_gets_the_wheel_and_shift_scrolls)
{
    // A picker drawn under the shell prompt asks for reports without the alternate screen.
    makeWithScrollback(40);
    auto& buf = h->terminal().buffer();
    const int bottom = buf.yDisp();
    h->feed("\x1b[?1000h\x1b[?1006h");
    wheel({0, 120}, {}, at(2, 3));
    wheel({0, -120}, {}, at(2, 3));
    EXPECT_EQ(take(), (std::vector<std::string>{csi("<64;3;4M"), csi("<65;3;4M")}));
    EXPECT_EQ(buf.yDisp(), bottom) << "the scrollback stays where it is";
    // Shift+wheel reaches the scrollback, also as the horizontal delta some platforms make of it.
    wheel({0, 120}, {}, at(2, 3), Qt::ShiftModifier);
    EXPECT_EQ(buf.yDisp(), bottom - 3);
    wheel({120, 0}, {}, at(2, 3), Qt::ShiftModifier);
    EXPECT_EQ(buf.yDisp(), bottom - 6);
    EXPECT_TRUE(take().empty());
    // Without reports the wheel scrolls the scrollback again.
    h->feed("\x1b[?1000l");
    wheel({0, -120});
    EXPECT_EQ(buf.yDisp(), bottom - 3);
    EXPECT_TRUE(take().empty());
}

TEST_F(PointerTest, without_mouse_reports_the_wheel_scrolls_the_scrollback_in_buckets)
{
    makeWithScrollback(80);
    auto& buf = h->terminal().buffer();
    const int bottom = buf.yDisp();
    // Pixel deltas (touchpads) count rows: 1.5 rows -> 1 line, 3 -> 3, 7 -> 10, 12 -> max(rows, 20).
    const int ch = int(h->cell().height());
    wheel({0, 1}, {0, ch + ch / 2});
    EXPECT_EQ(buf.yDisp(), bottom - 1);
    wheel({0, 1}, {0, 3 * ch});
    EXPECT_EQ(buf.yDisp(), bottom - 4);
    wheel({0, 1}, {0, 7 * ch});
    EXPECT_EQ(buf.yDisp(), bottom - 14);
    wheel({0, 1}, {0, 12 * ch});
    EXPECT_EQ(buf.yDisp(), bottom - 34);
    wheel({0, -1}, {0, -12 * ch});
    EXPECT_EQ(buf.yDisp(), bottom - 14);
    wheel({0, 0}, {0, 0});
    EXPECT_EQ(buf.yDisp(), bottom - 14) << "no vertical delta: nothing";
    // A mouse wheel's notch (angle delta, no pixels) is three lines (Qt's default lines per notch).
    wheel({0, 120});
    EXPECT_EQ(buf.yDisp(), bottom - 17);
    wheel({0, -120});
    EXPECT_EQ(buf.yDisp(), bottom - 14);
    for (int i = 0; i < 10; ++i)
        wheel({0, 1}, {0, 12 * ch});
    EXPECT_EQ(buf.yDisp(), 0) << "stops at the oldest line";
    EXPECT_TRUE(take().empty());
}

TEST_F(PointerTest, ctrl_hover_previews_the_link_inverted_and_ctrl_click_opens_it_through_the_opener)
{
    h->view->setNativeForegroundColor(QColor(0xee, 0xdd, 0xcc));
    h->view->setNativeBackgroundColor(QColor(0x10, 0x20, 0x30));
    h->feed("see \x1b]8;;https://brinmoor.app/docs\x1b\\docs\x1b]8;;\x1b\\ and \x1b]8;id=2;mailto:a@b.c\x1b\\mail\x1b]8;;\x1b\\");
    std::vector<QUrl> opened;
    const auto saved = TerminalView::linkOpener;
    TerminalView::linkOpener = [&](const QUrl& u) { opened.push_back(u); };

    // Ctrl goes down while the pointer rests on the link.
    h->view->setAcceptHoverEvents(true);
    hover(at(5, 0));
    QKeyEvent ctrl(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QCoreApplication::sendEvent(h->view, &ctrl);
    ASSERT_NE(h->view->urlPreview(), nullptr);
    EXPECT_EQ(h->view->urlPreviewText(), "https://brinmoor.app/docs");
    const QImage img = h->grab();
    const QPointF corner = h->view->urlPreview()->position();
    EXPECT_EQ(corner.x(), 0);
    EXPECT_NEAR(corner.y() + h->view->urlPreview()->height(), h->view->height(), 0.5) << "at the bottom-left";
    EXPECT_EQ(QColor(img.pixel((corner + QPointF(1, 1)).toPoint())), QColor(0xee, 0xdd, 0xcc))
        << "background: the terminal's foreground";
    bool textInBackground = false;
    const QRectF label = QRectF(corner, h->view->urlPreview()->size()).intersected(QRectF(img.rect()));
    for (int y = int(label.top()); y < int(label.bottom()); ++y)
        for (int x = int(label.left()); x < int(label.right()); ++x)
            textInBackground |= QColor(img.pixel(x, y)) == QColor(0x10, 0x20, 0x30);
    EXPECT_TRUE(textInBackground) << "text: the terminal's background";

    // Moving to the other link follows it; Ctrl-click opens the link under the pointer.
    hover(at(15, 0), Qt::ControlModifier);
    EXPECT_EQ(h->view->urlPreviewText(), "mailto:a@b.c");
    click(at(15, 0), Qt::ControlModifier);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].scheme(), "mailto");
    settle();
    click(at(1, 0), Qt::ControlModifier); // plain text: nothing to open
    EXPECT_EQ(opened.size(), 1u);
    settle();
    click(at(5, 0)); // without Ctrl a link is plain text
    EXPECT_EQ(opened.size(), 1u);

    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    QCoreApplication::sendEvent(h->view, &up);
    EXPECT_EQ(h->view->urlPreview(), nullptr);
    TerminalView::linkOpener = saved;
}

// While Ctrl is held the label names the link under the pointer and goes when there is none:
// the pointer moved onto plain text, below the grid, or resting on a link that output replaced.
TEST_F(PointerTest, the_link_label_follows_the_pointer_and_goes_where_there_is_no_link)
{
    h->feed("see \x1b]8;;https://brinmoor.app/docs\x1b\\docs\x1b]8;;\x1b\\ and \x1b]8;;mailto:a@b.c\x1b\\mail\x1b]8;;\x1b\\");
    hover(at(5, 0));
    QKeyEvent ctrl(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QCoreApplication::sendEvent(h->view, &ctrl);
    struct Step {
        const char* what;
        QPointF pointer;
        QByteArray output; // fed (and shown) with the pointer resting there
        QString label;     // "" for none
    };
    const Step steps[] = {
        {"on the first link", at(5, 0), {}, "https://brinmoor.app/docs"},
        {"off it onto plain text", at(1, 0), {}, ""},
        {"onto the second link", at(15, 0), {}, "mailto:a@b.c"},
        {"past the end of the text", at(19, 2), {}, ""},
        {"back onto the first link", at(6, 0), {}, "https://brinmoor.app/docs"},
        {"resting there as output replaces the link", at(6, 0), "\x1b[1;5Hplain", ""},
        {"resting there as output puts a link back", at(6, 0), "\x1b[1;5H\x1b]8;;https://x.org\x1b\\link\x1b]8;;\x1b\\", "https://x.org"},
        {"below the grid", QPointF(h->cell().width() * 5.5, h->cell().height() * 5 + 4), {}, ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        hover(step.pointer, Qt::ControlModifier);
        if (!step.output.isEmpty()) {
            h->feed(step.output);
            h->grab();
        }
        EXPECT_EQ(h->view->urlPreview() != nullptr, !step.label.isEmpty());
        EXPECT_EQ(h->view->urlPreviewText(), step.label);
    }
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    QCoreApplication::sendEvent(h->view, &up);
    EXPECT_EQ(h->view->urlPreview(), nullptr);
}

// Ctrl held over a link, then let go where the view cannot hear it: focus moved to another item
// (a sheet's field), another window became active, or the release simply never came. From then on
// the pointer over a link with no key held shows no label, until Ctrl goes down here again.
TEST_F(PointerTest, the_link_label_ends_when_ctrl_goes_up_out_of_the_views_hearing)
{
    h->feed("see \x1b]8;;https://brinmoor.app/docs\x1b\\docs\x1b]8;;\x1b\\ and \x1b]8;;mailto:a@b.c\x1b\\mail\x1b]8;;\x1b\\");
    auto* sheetField = new QQuickItem(h->window->contentItem());
    QQuickWindow otherWindow;
    otherWindow.resize(40, 40);
    const auto activate = [](QQuickWindow& w) {
        w.show();
        w.requestActivate();
        return waitUntil([&] { return w.isActive(); }, 5000);
    };
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"focus moved to another item", [&] { sheetField->forceActiveFocus(); }},
        {"another window became active", [&] { ASSERT_TRUE(activate(otherWindow)); }},
    };
    const auto pressCtrl = [&] {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
        QCoreApplication::sendEvent(h->view, &down);
    };
    for (const auto& [what, leave] : ways) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(activate(*h->window));
        h->view->forceActiveFocus();
        hover(at(5, 0), Qt::ControlModifier);
        pressCtrl();
        ASSERT_EQ(h->view->urlPreviewText(), "https://brinmoor.app/docs") << "the ordinary path";

        leave();
        otherWindow.hide();
        ASSERT_TRUE(activate(*h->window));
        h->view->forceActiveFocus();
        for (const QPointF p : {at(5, 0), at(15, 0), at(6, 0)}) {
            hover(p);
            EXPECT_EQ(h->view->urlPreview(), nullptr) << "no key is held";
        }
        pressCtrl();
        EXPECT_EQ(h->view->urlPreviewText(), "https://brinmoor.app/docs") << "Ctrl down again shows it";
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
        QCoreApplication::sendEvent(h->view, &up);
    }
}

TEST_F(PointerTest, link_payloads_split_into_parameters_and_address)
{
    auto parsed = TerminalView::urlAndParamsFrom("id=x:foo=bar;https://example.org/a;b");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->first, "https://example.org/a;b"); // the address keeps its ";"
    EXPECT_EQ(parsed->second.value("id"), "x");
    EXPECT_EQ(parsed->second.value("foo"), "bar");
    EXPECT_FALSE(TerminalView::urlAndParamsFrom("no-separator").has_value());
    parsed = TerminalView::urlAndParamsFrom("a==b:c=d=e;u");
    EXPECT_EQ(parsed->second.value("a"), "b");
    EXPECT_FALSE(parsed->second.contains("c"));
}

TEST_F(PointerTest, only_web_mail_and_file_links_reach_the_opener)
{
    std::vector<QUrl> opened;
    const auto saved = TerminalView::linkOpener;
    TerminalView::linkOpener = [&](const QUrl& u) { opened.push_back(u); };
    TerminalViewDelegate& base = rec;
    for (const char* link : {"https://x.org/a%20b", "http://x.org", "mailto:me@x.org", "file:///tmp/a.txt",
                             "javascript:alert(1)", "ssh://host", "smb://share/x", "x-scheme-handler:run",
                             "/etc/passwd", "", "not a url at all"})
        base.TerminalViewDelegate::requestOpenLink(*h->view, QString::fromLatin1(link), {});
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[0].scheme(), "https");
    EXPECT_EQ(opened[1].scheme(), "http");
    EXPECT_EQ(opened[2].scheme(), "mailto");
    EXPECT_EQ(opened[3].scheme(), "file");
    TerminalView::linkOpener = saved;
}

TEST_F(PointerTest, no_link_is_found_below_the_grid_or_on_a_cell_without_one)
{
    h->feed("\x1b[5;1H\x1b]8;;https://x.org\x1b\\bottom-link\x1b]8;;\x1b\\");
    EXPECT_TRUE(h->view->getPayload(at(2, 4)).has_value());
    EXPECT_FALSE(h->view->getPayload(QPointF(h->cell().width() * 2.5, h->cell().height() * 5 + 4)).has_value())
        << "the strip below the grid has no buffer line";
    EXPECT_FALSE(h->view->getPayload(at(15, 4)).has_value());
}

} // namespace
