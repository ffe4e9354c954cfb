// The terminal view's behaviour without looking at pixels: cell sizes, frame size, redraw
// coalescing, colour mapping, scrolling maths, sizing and the bytes it sends.
#include "CaretView.h"
#include "TerminalDebugView.h"
#include "TerminalRedrawClock.h"
#include "TerminalScroller.h"
#include "SelectionService.h"
#include "support/ViewHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

using termcore::Attribute;

namespace {

struct RecordingViewDelegate : TerminalViewDelegate {
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::pair<int, int>> sizes;
    std::vector<double> scrolls;
    std::vector<QString> titles;
    int bells = 0;
    void sizeChanged(TerminalView&, int c, int r) override { sizes.push_back({c, r}); }
    void setTerminalTitle(TerminalView&, const QString& t) override { titles.push_back(t); }
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<QString>&) override {}
    void send(TerminalView&, std::span<const uint8_t> d) override { sent.emplace_back(d.begin(), d.end()); }
    void scrolled(TerminalView&, double p) override { scrolls.push_back(p); }
    void bell(TerminalView&) override { ++bells; }
    void clipboardCopy(TerminalView&, const QByteArray&) override {}
    void rangeChanged(TerminalView&, int, int) override {}
};

std::vector<uint8_t> bytes(std::string_view s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

} // namespace

TEST(TerminalViewCells, cell_size_follows_the_font_and_its_clamps)
{
    ensureGuiApp();
    // Height is the ceiling of ascent + descent + leading, clamped to 1...8192; width the
    // advance of "W", at least 1.
    EXPECT_EQ(cellSizeFromMetrics(10.2, 2.6, 0, 6.6), QSizeF(6.6, 13));
    EXPECT_EQ(cellSizeFromMetrics(9000, 10, 0, 0), QSizeF(1, 8192));
    EXPECT_EQ(cellSizeFromMetrics(0, 0, 0, 0), QSizeF(1, 1));

    // Pixels, not points: the same pixel size gives the same cell whatever the screen.
    const QSizeF cell = cellSizeForFont(FontSet::from(ViewHarness::testFont()).normal);
    EXPECT_EQ(cell, QSizeF(7, 14));
    QFont twice = ViewHarness::testFont();
    twice.setPixelSize(24);
    EXPECT_EQ(cellSizeForFont(FontSet::from(twice).normal).height(), 28);

    const FontSet set = FontSet::from(ViewHarness::testFont());
    EXPECT_TRUE(set.bold.bold());
    EXPECT_TRUE(set.italic.italic());
    EXPECT_TRUE(set.boldItalic.bold() && set.boldItalic.italic());
    EXPECT_GT(FontSet::defaultFont().pixelSize(), 0);
}

TEST(TerminalViewCells, optimal_frame_and_grid_follow_the_view_size)
{
    ViewHarness h(80, 24);
    EXPECT_EQ(h.terminal().cols(), 80);
    EXPECT_EQ(h.terminal().rows(), 24);
    EXPECT_EQ(h.view->getOptimalFrameSize(), QRectF(0, 0, 575, 336));

    RecordingViewDelegate d;
    h.view->terminalDelegate = &d;
    // Part of a cell more changes nothing and reports nothing.
    EXPECT_FALSE(h.view->processSizeChange(QSizeF(575 + 6, 336 + 13)));
    EXPECT_TRUE(d.sizes.empty());
    // The scroller's column is not part of the grid.
    h.view->setSize(QSizeF(7 * 100 + 15, 14 * 30));
    EXPECT_EQ(h.terminal().cols(), 100);
    EXPECT_EQ(h.terminal().rows(), 30);
    ASSERT_EQ(d.sizes.size(), 1u);
    EXPECT_EQ(d.sizes[0], std::make_pair(100, 30));
    EXPECT_EQ(h.view->scroller()->x(), 7 * 100);
    EXPECT_EQ(h.view->scroller()->height(), 14 * 30);
    h.view->terminalDelegate = nullptr;

    // A font change re-measures the cells and regrids.
    QFont big = ViewHarness::testFont();
    big.setPixelSize(24);
    h.view->setFont(big);
    EXPECT_EQ(h.view->cellDimension->height(), 28);
    EXPECT_EQ(h.terminal().rows(), 15);
    EXPECT_EQ(h.view->caretView()->size(), *h.view->cellDimension);
}

// What the window does to the view's look never reaches the program inside: the font the view
// already has, set again (every theme application sets it), and new colours (a palette switch)
// leave its modes, scroll region and character set, the user's selection and the grid as they
// were. A real font change re-lays out the screen (above).
TEST(TerminalViewCells, the_same_font_again_or_new_colours_keep_the_programs_modes_and_the_selection)
{
    const std::pair<const char*, std::function<void(TerminalView&)>> cases[] = {
        {"the font it was made with", [](TerminalView& v) { v.setFont(ViewHarness::testFont()); }},
        {"the font it reports", [](TerminalView& v) { v.setFont(v.font()); }},
        {"a light palette and back", [](TerminalView& v) {
             for (bool light : {true, false}) {
                 v.setNativeBackgroundColor(light ? QColor(0xf4, 0xf5, 0xf8) : QColor(0x0a, 0x0b, 0x0d));
                 v.setNativeForegroundColor(light ? QColor(0x3a, 0x40, 0x48) : QColor(0xc5, 0xc9, 0xd0));
             }
         }},
    };
    for (const auto& [what, change] : cases) {
        SCOPED_TRACE(what);
        ViewHarness h(20, 8);
        // Hidden caret, application cursor keys, rows 1-5 scrolling, insert mode, DEC graphics.
        h.feed("status[?25l[?1h[1;5r[4h(0");
        h.view->selectionService()->select(0);
        int fonts = 0;
        QObject watch;
        QObject::connect(h.view, &TerminalView::fontChanged, &watch, [&] { ++fonts; });
        change(*h.view);
        h.grab();
        termcore::Terminal& t = h.terminal();
        EXPECT_TRUE(t.cursorHidden);
        EXPECT_FALSE(h.view->caretView()->isVisible());
        EXPECT_TRUE(t.applicationCursor);
        EXPECT_TRUE(t.insertMode);
        EXPECT_EQ(t.buffer().scrollTop(), 0);
        EXPECT_EQ(t.buffer().scrollBottom(), 4);
        EXPECT_NE(t.charset(), nullptr) << "G0 is still DEC graphics";
        EXPECT_TRUE(h.view->selectionActive());
        EXPECT_EQ(h.view->getSelection().value_or(""), "status");
        EXPECT_EQ(t.cols(), 20);
        EXPECT_EQ(t.rows(), 8);
        EXPECT_EQ(fonts, 0);
    }
}

TEST(TerminalViewDisplay, feeds_within_one_interval_make_one_display_update)
{
    ViewHarness h(20, 5);
    h.grab();
    ASSERT_TRUE(waitUntil([&] { return !h.view->pendingDisplay(); }));
    const int before = h.view->displayUpdateCount();
    for (int i = 0; i < 100; ++i)
        h.view->feed(QByteArray("x"));
    EXPECT_TRUE(h.view->pendingDisplay());
    EXPECT_EQ(h.view->displayUpdateCount(), before) << "feeding only schedules the update";
    ASSERT_TRUE(waitUntil([&] { return !h.view->pendingDisplay(); }));
    EXPECT_EQ(h.view->displayUpdateCount(), before + 1);
    EXPECT_FALSE(h.view->pendingDisplay());

    // A feed after the update schedules a new one.
    h.view->feed(QByteArray("y"));
    ASSERT_TRUE(waitUntil([&] { return !h.view->pendingDisplay(); }));
    EXPECT_EQ(h.view->displayUpdateCount(), before + 2);

    // Idle: no timer-driven display work at all (a window in which nothing may come).
    spin(200);
    EXPECT_EQ(h.view->displayUpdateCount(), before + 2);
}

TEST(TerminalViewDisplay, first_change_after_a_quiet_interval_is_not_held_back)
{
    ViewHarness h(20, 5);
    h.grab();
    ASSERT_TRUE(waitUntil([&] { return !h.view->pendingDisplay(); }));
    spin(100); // a quiet interval: the next change is the first after it
    const int before = h.view->displayUpdateCount();

    // A key's echo after a quiet spell: its update runs on the next turn of the event loop.
    h.view->feed(QByteArray("a"));
    EXPECT_EQ(h.view->pendingDisplayDelay(), 0);
    EXPECT_EQ(h.view->displayUpdateCount(), before);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.view->displayUpdateCount(), before + 1);
    EXPECT_FALSE(h.view->pendingDisplay());
    EXPECT_EQ(h.view->pendingDisplayDelay(), -1);
    QElapsedTimer sinceUpdate;
    sinceUpdate.start();

    // A change right behind it waits for the rest of that update's interval.
    h.view->feed(QByteArray("b"));
    const int delay = h.view->pendingDisplayDelay();
    EXPECT_GE(delay, 0);
    EXPECT_LE(delay, 17);
    if (sinceUpdate.elapsed() < 8) {
        EXPECT_GT(delay, 0) << "an update ran a moment ago: this one must be coalesced";
    }
    ASSERT_TRUE(waitUntil([&] { return !h.view->pendingDisplay(); }));
    EXPECT_EQ(h.view->displayUpdateCount(), before + 2) << "the trailing update shows the change";

    // Steady output fed on every turn: never more than one update per interval (a slower
    // machine only gives fewer), and the last chunk is always shown.
    const int burstStart = h.view->displayUpdateCount();
    QElapsedTimer burst;
    burst.start();
    int fed = 0;
    while (burst.elapsed() < 100) {
        h.view->feed(QByteArray("c"));
        ++fed;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    const qint64 burstMs = burst.elapsed();
    const int duringBurst = h.view->displayUpdateCount() - burstStart;
    EXPECT_GE(duringBurst, 1);
    EXPECT_LE(duringBurst, int(burstMs * 1000 / 16670) + 1) << fed << " feeds in " << burstMs << " ms";
    ASSERT_TRUE(waitUntil([&] { return !h.view->pendingDisplay(); }));
    EXPECT_LE(h.view->displayUpdateCount() - burstStart, duringBurst + 1) << "one trailing update at most";
    EXPECT_EQ(h.terminal().refreshEnd, -1) << "the last chunk's rows were handed to the display";

    // Idle again: nothing more.
    const int settled = h.view->displayUpdateCount();
    spin(100); // a window in which nothing may come
    EXPECT_EQ(h.view->displayUpdateCount(), settled);
}

TEST(TerminalViewDisplay, views_share_one_redraw_tick_and_repaint_only_changed_rows)
{
    ViewHarness a(20, 8), b(20, 8);
    a.feed("prompt\r\n\r\n\r\n\r\n> ");
    a.grab();
    b.grab();
    TerminalRedrawClock& clock = TerminalRedrawClock::shared();
    ASSERT_TRUE(waitUntil([&] { return clock.delay() < 0; }));
    spin(40); // a quiet interval: the next tick comes on the next turn

    // Both views change in one turn: one tick hands both their updates.
    const int ticks = clock.ticks();
    const int aUpdates = a.view->displayUpdateCount(), bUpdates = b.view->displayUpdateCount();
    const QByteArray spinner = "\x1b" "7\x1b[2;1H\xe2\xa0\x8b working\x1b" "8"; // save, draw, restore
    a.view->feed(spinner);
    b.view->feed(QByteArray("x"));
    ASSERT_TRUE(waitUntil([&] { return !a.view->pendingDisplay() && !b.view->pendingDisplay(); }));
    EXPECT_EQ(clock.ticks(), ticks + 1);
    EXPECT_EQ(a.view->displayUpdateCount(), aUpdates + 1);
    EXPECT_EQ(b.view->displayUpdateCount(), bUpdates + 1);

    // The terminal marks the rows from the spinner's to the cursor's; only the spinner's row is
    // repainted.
    const int ch = int(a.cell().height());
    EXPECT_EQ(a.view->lastDisplayRect(), QRect(0, ch, int(a.view->width()), ch));
    // The same frame again changes nothing on screen: nothing is repainted.
    a.view->feed(spinner);
    ASSERT_TRUE(waitUntil([&] { return !a.view->pendingDisplay(); }));
    EXPECT_TRUE(a.view->lastDisplayRect().isEmpty());

    // New colours for the same cells: every row is repainted.
    a.view->installColors(std::vector<termcore::Color>(16, termcore::Color(0x8000, 0, 0)));
    ASSERT_TRUE(waitUntil([&] { return !a.view->pendingDisplay(); }));
    EXPECT_EQ(a.view->lastDisplayRect().top(), 0);
    EXPECT_EQ(a.view->lastDisplayRect().bottom() + 1, int(a.view->height()));

    // Scrolling moves every row: all of them are repainted, the strip below included.
    a.view->feed(QByteArray("1\r\n2\r\n3\r\n4\r\n5"));
    ASSERT_TRUE(waitUntil([&] { return !a.view->pendingDisplay(); }));
    EXPECT_EQ(a.view->lastDisplayRect().bottom() + 1, int(a.view->height()));
    EXPECT_LE(a.view->lastDisplayRect().top(), ch);

    // Idle: no tick.
    spin(60);
    EXPECT_EQ(clock.delay(), -1);
}

TEST(TerminalViewDisplay, caret_blinks_without_repainting_the_terminal)
{
    ViewHarness h(20, 5);
    CaretView* caret = h.view->caretView();
    h.feed("ab");
    h.grab();
    EXPECT_FALSE(caret->isBlinking()) << "an unfocused terminal's caret stays steady";

    h.window->requestActivate();
    ASSERT_TRUE(waitUntil([&] { return h.window->isActive(); }, 3000));
    h.view->forceActiveFocus();
    ASSERT_TRUE(h.view->hasFocus());
    ASSERT_TRUE(waitUntil([&] { return caret->isBlinking(); }));
    EXPECT_EQ(caret->position(), QPointF(14, 0));
    h.window->grabWindow(); // the focused caret's first paint happens before the count starts

    const int terminalPaints = h.view->paintCount();
    const int caretPaints = caret->paintCount();
    int opacityChanges = 0;
    QObject::connect(caret, &QQuickItem::opacityChanged, caret, [&] { ++opacityChanges; });
    QElapsedTimer blinking;
    blinking.start();
    double lowest = 1;
    for (int i = 0; i < 40; ++i) { // samples the blink over about a second: its rate is the subject
        spin(25);
        h.window->grabWindow();
        lowest = std::min(lowest, caret->opacity());
    }
    const qint64 blinkMs = blinking.elapsed();
    EXPECT_LT(lowest, 0.5) << "the caret fades";
    // Each opacity change costs the window a frame: a few per 1.4 s period, not a stream.
    EXPECT_LE(opacityChanges, 4 * int(blinkMs / 1400 + 1)) << opacityChanges << " changes in " << blinkMs << " ms";
    EXPECT_EQ(h.view->paintCount(), terminalPaints) << "blinking repainted the terminal";
    EXPECT_EQ(caret->paintCount(), caretPaints) << "blinking repainted the caret's content";

    // A steady style stops the blink at full opacity; losing the keyboard stops it too.
    h.feed("\x1b[2 q");
    ASSERT_TRUE(waitUntil([&] { return !caret->isBlinking(); }));
    EXPECT_FALSE(caret->isBlinking());
    EXPECT_EQ(caret->opacity(), 1.0);
    h.feed("\x1b[1 q");
    ASSERT_TRUE(waitUntil([&] { return caret->isBlinking(); }));
    EXPECT_TRUE(caret->isBlinking());
    // After a quiet spell the caret stays lit; the next output brings the blink back.
    h.view->setCaretBlinkTimeout(200);
    h.feed("x");
    ASSERT_TRUE(waitUntil([&] { return !caret->isBlinking(); }));
    EXPECT_FALSE(caret->isBlinking());
    EXPECT_EQ(caret->opacity(), 1.0);
    h.feed("y");
    EXPECT_TRUE(caret->isBlinking());
    h.view->setFocus(false);
    ASSERT_TRUE(waitUntil([&] { return !caret->isBlinking(); }));
    EXPECT_FALSE(caret->isBlinking());
    EXPECT_EQ(caret->opacity(), 1.0);
    // The caret takes no clicks: they reach the terminal view.
    EXPECT_EQ(caret->acceptedMouseButtons(), Qt::NoButton);
}

TEST(TerminalViewColours, palette_bold_and_default_colour_mapping)
{
    ViewHarness h(20, 5);
    TerminalView& v = *h.view;
    using C = Attribute::Color;
    // Bold picks the bright counterpart of the eight low colours only.
    EXPECT_EQ(v.mapColor(C::ansi256(1), true, true, true).rgb(), h.palette(9).rgb());
    EXPECT_EQ(v.mapColor(C::ansi256(7), true, true, true).rgb(), h.palette(15).rgb());
    EXPECT_EQ(v.mapColor(C::ansi256(9), true, true, true).rgb(), h.palette(9).rgb());
    EXPECT_EQ(v.mapColor(C::ansi256(100), true, true, true).rgb(), h.palette(100).rgb());
    EXPECT_EQ(v.mapColor(C::ansi256(1), true, false, true).rgb(), h.palette(1).rgb());
    // Without bright colours, a bright foreground is its normal colour in the bold font.
    v.setUseBrightColors(false);
    const RunStyle& bright = v.getAttributes(Attribute(C::ansi256(9), C::defaultColor(), {}), false);
    EXPECT_EQ(bright.font, 1);
    EXPECT_EQ(bright.foreground.rgb(), h.palette(1).rgb());
    EXPECT_EQ(v.mapColor(C::ansi256(200), true, false, false).rgb(), h.palette(200).rgb());
    v.setUseBrightColors(true);
    // Backgrounds never brighten; true colours are taken as they are.
    const RunStyle& bg = v.getAttributes(Attribute(C::defaultColor(), C::ansi256(2), termcore::CharacterStyle::bold), false);
    EXPECT_EQ(bg.background.rgb(), h.palette(2).rgb());
    EXPECT_EQ(v.mapColor(C::trueColor(1, 2, 3), false, true, true), QColor(1, 2, 3));
    // Inverse of default colours: both become the inverted defaults.
    const RunStyle& inv = v.getAttributes(Attribute(C::defaultColor(), C::defaultColor(), termcore::CharacterStyle::inverse), false);
    EXPECT_EQ(inv.foreground, TerminalView::inverseColor(v.nativeForegroundColor()));
    EXPECT_EQ(inv.background, TerminalView::inverseColor(v.nativeBackgroundColor()));
    // A hyperlink gets its own dashed-underline style; a plain underline stays single.
    const Attribute plain(C::defaultColor(), C::defaultColor(), termcore::CharacterStyle::underline);
    EXPECT_EQ(v.getAttributes(plain, false).underlineStyle, 1);
    EXPECT_EQ(v.getAttributes(plain, true).underlineStyle, 0x201);

    // A palette change drops exactly that entry; OSC 4 from the program reaches the view.
    h.feed("\x1b]4;4;rgb:12/34/56\x1b\\");
    EXPECT_EQ(v.mapColor(C::ansi256(4), true, false, true), QColor(0x12, 0x34, 0x56));
    // An out-of-range palette notification is refused without harm.
    v.colorChanged(h.terminal(), 300);
    v.colorChanged(h.terminal(), -1);

    // Setting the native colours reaches the terminal's defaults and does not recurse.
    v.setNativeBackgroundColor(QColor(10, 20, 30));
    EXPECT_EQ(QColor::fromRgba64(h.terminal().backgroundColor().red, h.terminal().backgroundColor().green,
                                 h.terminal().backgroundColor().blue).rgb(), QColor(10, 20, 30).rgb());
    h.feed("\x1b]10;rgb:ff/00/00\x1b\\");
    EXPECT_EQ(v.nativeForegroundColor().rgb(), QColor(255, 0, 0).rgb());
}

TEST(TerminalViewScrolling, scroll_positions_pages_and_the_alternate_screen)
{
    ViewHarness h(20, 24);
    RecordingViewDelegate d;
    h.view->terminalDelegate = &d;
    for (int i = 0; i < 99; ++i)
        h.feed(QByteArray::number(i) + "\r\n");
    auto& buf = h.terminal().buffer();
    ASSERT_EQ(buf.lines().count(), 100);
    EXPECT_TRUE(h.view->canScroll());
    EXPECT_EQ(h.view->scrollPosition(), 1);
    EXPECT_DOUBLE_EQ(h.view->scrollThumbsize(), 0.24);

    h.view->scroll(0.5);
    EXPECT_EQ(buf.yDisp(), 38);
    EXPECT_NEAR(d.scrolls.back(), 38.0 / 76.0, 1e-9);
    EXPECT_NEAR(h.view->scroller()->doubleValue(), 38.0 / 76.0, 1e-9);
    EXPECT_TRUE(h.view->scroller()->scrollEnabled());
    h.view->scrollUp(1000);
    EXPECT_EQ(buf.yDisp(), 0);
    EXPECT_EQ(h.view->scrollPosition(), 0);
    h.view->pageDown();
    EXPECT_EQ(buf.yDisp(), 24);
    h.view->scrollDown(1000);
    EXPECT_EQ(buf.yDisp(), 76);
    h.view->pageUp();
    EXPECT_EQ(buf.yDisp(), 52);
    // While scrolled back the caret is out of sight; typing brings the cursor back into view.
    EXPECT_FALSE(h.view->caretView()->isVisible());
    h.view->send(bytes("k"));
    EXPECT_EQ(buf.yDisp(), buf.yBase());
    EXPECT_TRUE(h.view->caretView()->isVisible());

    // The scroller's page areas page, and move the knob with them.
    h.view->scrollTo(50);
    h.view->scroller()->onActivated(TerminalScroller::Part::decrementPage);
    EXPECT_EQ(buf.yDisp(), 26);
    EXPECT_NEAR(h.view->scroller()->doubleValue(), 26.0 / 76.0, 1e-9);

    // The alternate screen has no scrollback: Page Up goes to the program.
    h.feed("\x1b[?1049h");
    EXPECT_FALSE(h.view->canScroll());
    EXPECT_EQ(h.view->scrollPosition(), 0);
    EXPECT_EQ(h.view->scrollThumbsize(), 0);
    d.sent.clear();
    h.view->pageUp();
    ASSERT_EQ(d.sent.size(), 1u);
    EXPECT_EQ(d.sent[0], bytes("\x1b[5~"));
    h.view->terminalDelegate = nullptr;
}

TEST(TerminalViewInput, sends_keys_control_map_and_replies)
{
    ViewHarness h(20, 5);
    RecordingViewDelegate d;
    // Nothing is sent without a delegate.
    h.view->send(bytes("lost"));
    h.view->terminalDelegate = &d;
    EXPECT_TRUE(d.sent.empty());

    h.view->sendKeyUp();
    h.terminal().applicationCursor = true;
    h.view->sendKeyUp();
    h.view->sendKeyLeft();
    h.view->send(QString("é"));
    ASSERT_EQ(d.sent.size(), 4u);
    EXPECT_EQ(d.sent[0], bytes("\x1b[A"));
    EXPECT_EQ(d.sent[1], bytes("\x1bOA"));
    EXPECT_EQ(d.sent[2], bytes("\x1bOD"));
    EXPECT_EQ(d.sent[3], bytes("\xc3\xa9"));

    using V = std::vector<uint8_t>;
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("a"), V{1});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("A"), V{1});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("z"), V{26});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("["), V{27});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("\\"), V{28});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("]"), V{29});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("6"), V{30});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("^"), V{30});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters("_"), V{31});
    EXPECT_EQ(TerminalView::applyControlToEventCharacters(" "), V{0});
    EXPECT_TRUE(TerminalView::applyControlToEventCharacters("1").empty());
    EXPECT_TRUE(TerminalView::applyControlToEventCharacters("ab").empty());
    EXPECT_TRUE(TerminalView::applyControlToEventCharacters("é").empty());

    // A device-attributes query is answered through the view's delegate; titles and bells too.
    d.sent.clear();
    h.feed("\x1b[c\x1b]2;hello\x07\x07");
    ASSERT_FALSE(d.sent.empty());
    EXPECT_EQ(d.sent[0][0], 0x1b);
    ASSERT_EQ(d.titles.size(), 1u);
    EXPECT_EQ(d.titles[0], "hello");
    EXPECT_EQ(h.view->title(), "hello");
    EXPECT_EQ(d.bells, 1);
    h.view->terminalDelegate = nullptr;
}

TEST(TerminalViewInput, a_burst_of_bells_rings_once_per_interval)
{
    // A binary file shown with cat rings thousands of bells: each ring costs the desktop a sound
    // (and the pane a redraw of its mark), so a burst is one ring per interval.
    ViewHarness h(20, 3);
    RecordingViewDelegate d;
    h.view->terminalDelegate = &d;
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    // The most rings there may have been by now: one, and one more per interval passed (feeding
    // the burst takes well under one, unless a loaded machine holds the test up).
    const auto most = [&] { return 1 + int(sinceFirst.elapsed() / TerminalView::bellInterval); };
    h.feed(QByteArray(100000, '\a'));
    EXPECT_GE(d.bells, 1);
    EXPECT_LE(d.bells, most());
    for (int i = 0; i < 50; ++i)
        h.feed("\a text between bells \a\r\n");
    EXPECT_LE(d.bells, most());
    // The burst goes on; the next ring comes once the interval has passed, not before.
    const int rung = d.bells;
    ASSERT_TRUE(waitUntil([&] {
        h.feed("\a");
        return d.bells == rung + 1;
    }, 5000));
    EXPECT_GE(sinceFirst.elapsed(), rung * TerminalView::bellInterval);
    h.view->terminalDelegate = nullptr;
}

TEST(TerminalViewInput, cell_size_report_is_the_real_cell_in_pixels)
{
    ViewHarness h(20, 5);
    RecordingViewDelegate d;
    h.view->terminalDelegate = &d;
    h.feed("\x1b[16t");
    ASSERT_EQ(d.sent.size(), 1u);
    EXPECT_EQ(d.sent[0], bytes("\x1b[6;14;7t")) << "the harness font's 7 x 14 cell";
    h.view->terminalDelegate = nullptr;
}

TEST(TerminalViewInput, focus_reports_follow_the_keyboard_and_the_window_while_asked_for)
{
    ViewHarness h(20, 3);
    RecordingViewDelegate d;
    h.view->terminalDelegate = &d;
    auto* other = new QQuickItem(h.window->contentItem()); // another pane's stand-in
    h.window->requestActivate();
    ASSERT_TRUE(waitUntil([&] { return h.window->isActive(); }, 3000));
    h.view->forceActiveFocus();
    other->forceActiveFocus();
    h.view->forceActiveFocus();
    EXPECT_TRUE(d.sent.empty()) << "not asked for";

    h.feed("\x1b[?1004h");
    other->forceActiveFocus();
    h.view->forceActiveFocus();
    EXPECT_EQ(d.sent, (std::vector<std::vector<uint8_t>>{bytes("\x1b[O"), bytes("\x1b[I")}));
    d.sent.clear();

    // Another window taking the keyboard and giving it back.
    QQuickWindow second;
    second.resize(50, 50);
    second.show();
    second.requestActivate();
    ASSERT_TRUE(waitUntil([&] { return !h.window->isActive(); }, 3000));
    h.window->requestActivate();
    ASSERT_TRUE(waitUntil([&] { return h.window->isActive(); }, 3000));
    EXPECT_EQ(d.sent, (std::vector<std::vector<uint8_t>>{bytes("\x1b[O"), bytes("\x1b[I")}));
    d.sent.clear();

    h.feed("\x1b[?1004l");
    other->forceActiveFocus();
    EXPECT_TRUE(d.sent.empty());
    h.view->terminalDelegate = nullptr;
}

TEST(TerminalViewInput, feeding_clears_the_selection_and_garbage_is_survived)
{
    ViewHarness h(20, 5);
    h.feed("hello world");
    h.view->selectAll();
    EXPECT_TRUE(h.view->selectionActive());
    ASSERT_TRUE(h.view->getSelection().has_value());
    EXPECT_TRUE(h.view->getSelection()->startsWith("hello world"));
    h.feed("!");
    EXPECT_FALSE(h.view->selectionActive());
    EXPECT_FALSE(h.view->getSelection().has_value());

    // Random bytes, broken sequences and huge image requests draw without crashing.
    QByteArray junk;
    uint32_t seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245 + 12345;
        junk += char(seed >> 24);
    }
    h.feed(junk);
    h.feed("\x1b]1337;File=inline=1;width=99999;height=99999:AAAA\x07\x1b[99999;99999H\x1b#8");
    h.view->insertImage(QImage(), termcore::ImageSizeRequest::cells(3), termcore::ImageSizeRequest::cells(3), true);
    const QImage img = h.grab();
    EXPECT_FALSE(img.isNull());
}

TEST(TerminalViewDebug, debug_overlay_waits_then_lists_the_ring_with_its_marks)
{
    ViewHarness h(20, 3);
    auto* dbg = new TerminalDebugView(h.view);
    EXPECT_EQ(h.view->debug, dbg);
    EXPECT_EQ(dbg->statusText(), "WAITING");

    for (int i = 0; i < 6; ++i)
        h.feed("line" + QByteArray::number(i) + "\r\n");
    h.view->updateDisplay(false);
    auto& buf = h.terminal().buffer();
    EXPECT_EQ(dbg->statusText(), QString("x: 0 y: 2 yDisp: %1 yBase: %1 clc: %2 startIndex: %3")
                                     .arg(buf.yDisp())
                                     .arg(qsizetype(buf.lines().getArray().size()))
                                     .arg(buf.lines().getStartIndex()));
    QStringList rows = dbg->listing();
    ASSERT_EQ(rows.size(), buf.lines().maxLength());
    EXPECT_TRUE(rows[4].startsWith("[004:004]DBline4")) << rows[4].toStdString();
    EXPECT_TRUE(rows[4].contains("[004]DBline4"));
    EXPECT_TRUE(rows[0].contains("[000]  line0"));
    EXPECT_TRUE(rows[200].endsWith("<empty>"));

    // Scrolled back, the marks part.
    h.view->scrollTo(1);
    rows = dbg->listing();
    EXPECT_TRUE(rows[1].contains("[001]D line1")) << rows[1].toStdString();
    EXPECT_TRUE(rows[4].contains("[004] Bline4"));
    EXPECT_EQ(TerminalDebugView::getDebugString(nullptr, 5, "p"), "p<empty>");
    delete dbg;
    EXPECT_EQ(h.view->debug, nullptr);
}
