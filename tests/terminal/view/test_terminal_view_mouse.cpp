// Pointer input of the terminal view with synthetic events: reports to programs, selection,
// the wheel and hyperlinks.
#include "SelectionService.h"
#include "support/ViewHarness.h"

#include <QGuiApplication>
#include <QHoverEvent>
#include <QStyleHints>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes b(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

struct Recorder : SendRecorder<> {
    std::vector<std::pair<QString, QMap<QString, QString>>> links;
    bool useDefaultOpen = false;
    void requestOpenLink(TerminalView& v, const QString& link, const QMap<QString, QString>& params) override
    {
        links.push_back({link, params});
        if (useDefaultOpen)
            TerminalViewDelegate::requestOpenLink(v, link, params);
    }
};

class MouseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        h = std::make_unique<ViewHarness>(20, 5);
        h->view->terminalDelegate = &rec;
    }
    void TearDown() override { h->view->terminalDelegate = nullptr; }

    QPointF cellPoint(int col, int row) const
    {
        return QPointF(h->cell().width() * (col + 0.5), h->cell().height() * (row + 0.5));
    }
    void mouse(QEvent::Type type, QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent ev(type, p, p, p, button, buttons, mods);
        QCoreApplication::sendEvent(h->view, &ev);
    }
    void click(QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        mouse(QEvent::MouseButtonPress, p, mods);
        mouse(QEvent::MouseButtonRelease, p, mods);
    }
    void hover(QPointF p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QHoverEvent ev(QEvent::HoverMove, p, p, p, mods);
        QCoreApplication::sendEvent(h->view, &ev);
    }
    void wheel(int angle)
    {
        QWheelEvent ev(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(h->view, &ev);
    }
    void pause() { spin(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50); }

    std::unique_ptr<ViewHarness> h;
    Recorder rec;
};

} // namespace

TEST_F(MouseTest, reports_follow_the_mode_and_the_encoding)
{
    h->feed("\x1b[?1000h\x1b[?1006h"); // vt200, SGR encoding
    click(cellPoint(0, 0));
    ASSERT_EQ(rec.sent.size(), 2u);
    EXPECT_EQ(rec.sent[0], b("\x1b[<0;1;1M"));
    EXPECT_EQ(rec.sent[1], b("\x1b[<0;1;1m"));
    rec.sent.clear();
    pause();
    mouse(QEvent::MouseButtonPress, cellPoint(3, 2), Qt::ShiftModifier);
    EXPECT_EQ(rec.sent.back(), b("\x1b[<4;4;3M"));
    mouse(QEvent::MouseMove, cellPoint(4, 2));
    EXPECT_EQ(rec.sent.size(), 1u) << "vt200 reports no drags";
    mouse(QEvent::MouseButtonRelease, cellPoint(4, 2));
    rec.sent.clear();

    // A click below the grid is clamped to the last row.
    pause();
    h->feed("\x1b[?1006l\x1b[?1000h"); // the X10 byte encoding (leaving SGR also ends reporting)
    mouse(QEvent::MouseButtonPress, QPointF(h->cell().width() * 9.5, h->cell().height() * 5 + 3));
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0], (Bytes{0x1b, '[', 'M', 32, 9 + 33, 4 + 33}));
    mouse(QEvent::MouseButtonRelease, cellPoint(9, 4));
    rec.sent.clear();

    // Button-event tracking (1002) reports drags with the motion bit.
    h->feed("\x1b[?1002h\x1b[?1006h");
    pause();
    mouse(QEvent::MouseButtonPress, cellPoint(1, 1));
    mouse(QEvent::MouseMove, cellPoint(2, 1));
    mouse(QEvent::MouseButtonRelease, cellPoint(2, 1));
    ASSERT_EQ(rec.sent.size(), 3u);
    EXPECT_EQ(rec.sent[1], b("\x1b[<32;3;2M"));
    rec.sent.clear();

    // Any-event tracking (1003): a plain move is 35 plus modifiers (X10 byte encoding).
    h->feed("\x1b[?1006l\x1b[?1003h");
    EXPECT_TRUE(h->view->acceptHoverEvents());
    hover(cellPoint(5, 0), Qt::ControlModifier);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0], (Bytes{0x1b, '[', 'M', 35 + 16 + 32, 5 + 33, 0 + 33})) << "35 + Ctrl 16";
    h->feed("\x1b[?1006h");
    h->feed("\x1b[?1003l");
    EXPECT_FALSE(h->view->acceptHoverEvents());
    rec.sent.clear();

    // X10 (DECSET 9): presses only, without modifiers.
    h->feed("\x1b[?1000l\x1b[?1002l\x1b[?9h");
    pause();
    click(cellPoint(0, 0), Qt::ShiftModifier);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0], b("\x1b[<0;1;1M"));
    rec.sent.clear();

    // With reporting switched off by the host, clicks select instead.
    h->view->allowMouseReporting = false;
    h->feed("\x1b[?1000h");
    pause();
    mouse(QEvent::MouseButtonPress, cellPoint(0, 0));
    mouse(QEvent::MouseMove, cellPoint(5, 0));
    mouse(QEvent::MouseButtonRelease, cellPoint(5, 0));
    EXPECT_TRUE(rec.sent.empty());
    EXPECT_TRUE(h->view->selectionActive());
}

TEST_F(MouseTest, clicks_select_words_rows_and_drags_in_the_scrollback)
{
    h->view->terminalDelegate = nullptr;
    h = std::make_unique<ViewHarness>(40, 5);
    h->view->terminalDelegate = &rec;
    for (int i = 0; i < 10; ++i)
        h->feed("row" + QByteArray::number(i) + " alpha beta.gamma_1\r\n");
    auto& buf = h->terminal().buffer();
    h->view->scrollTo(2);
    ASSERT_EQ(buf.yDisp(), 2);
    // Double click on "beta.gamma_1" of the line shown first (buffer row 2).
    click(cellPoint(12, 0));
    click(cellPoint(12, 0));
    ASSERT_TRUE(h->view->selectionActive());
    EXPECT_EQ(h->view->getSelection().value_or(""), "beta.gamma_1");
    // Triple click: the whole row.
    click(cellPoint(12, 0));
    EXPECT_EQ(h->view->getSelection().value_or("").trimmed(), "row2 alpha beta.gamma_1");

    // A single click without Shift drops the selection; a drag starts one at the press.
    pause();
    click(cellPoint(3, 1));
    EXPECT_FALSE(h->view->selectionActive());
    pause();
    mouse(QEvent::MouseButtonPress, cellPoint(0, 1));
    mouse(QEvent::MouseMove, cellPoint(2, 1));
    mouse(QEvent::MouseMove, cellPoint(4, 1));
    mouse(QEvent::MouseButtonRelease, cellPoint(4, 1));
    EXPECT_EQ(h->view->getSelection().value_or(""), "row3");
    // Shift-click extends it.
    pause();
    click(cellPoint(9, 1), Qt::ShiftModifier);
    EXPECT_EQ(h->view->getSelection().value_or(""), "row3 alph");
}

TEST_F(MouseTest, wheel_scrolls_the_scrollback_in_buckets)
{
    for (int i = 0; i < 60; ++i)
        h->feed("x\r\n");
    auto& buf = h->terminal().buffer();
    const int bottom = buf.yDisp();
    const int perNotch = QGuiApplication::styleHints()->wheelScrollLines();
    wheel(120 / perNotch); // one line's worth: 1 line
    EXPECT_EQ(buf.yDisp(), bottom - 1);
    wheel(120); // a notch (3 lines' worth): 3 lines
    EXPECT_EQ(buf.yDisp(), bottom - 4);
    wheel(120 * 7 / perNotch); // 7: 10 lines
    EXPECT_EQ(buf.yDisp(), bottom - 14);
    wheel(-120 * 12 / perNotch); // 12: max(rows, 20) towards the bottom
    EXPECT_EQ(buf.yDisp(), bottom);
    wheel(120 * 12 / perNotch);
    wheel(120 * 12 / perNotch);
    wheel(120 * 12 / perNotch);
    EXPECT_EQ(buf.yDisp(), 0) << "stops at the oldest line";
    EXPECT_TRUE(rec.sent.empty()) << "the wheel is never reported";
}

TEST_F(MouseTest, ctrl_previews_and_opens_links)
{
    auto parsed = TerminalView::urlAndParamsFrom("id=x:foo=bar;https://example.org/a;b");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->first, "https://example.org/a");
    EXPECT_EQ(parsed->second.value("id"), "x");
    EXPECT_EQ(parsed->second.value("foo"), "bar");
    EXPECT_FALSE(TerminalView::urlAndParamsFrom("no-separator").has_value());
    parsed = TerminalView::urlAndParamsFrom("a==b:c=d=e;u");
    EXPECT_EQ(parsed->second.value("a"), "b");
    EXPECT_FALSE(parsed->second.contains("c"));

    h->view->setNativeForegroundColor(QColor(220, 220, 220));
    h->view->setNativeBackgroundColor(QColor(20, 20, 30));
    h->feed("\x1b]8;id=7;https://example.org/x\x1b\\link\x1b]8;;\x1b\\ plain");
    hover(cellPoint(1, 0));
    QKeyEvent ctrlDown(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QCoreApplication::sendEvent(h->view, &ctrlDown);
    EXPECT_TRUE(h->view->commandActive);
    ASSERT_NE(h->view->urlPreview(), nullptr);
    EXPECT_EQ(h->view->urlPreviewText(), "https://example.org/x");
    EXPECT_EQ(h->view->urlPreview()->x(), 0);
    EXPECT_EQ(h->view->urlPreview()->y() + h->view->urlPreview()->height(), h->view->height()) << "bottom-left";
    const QImage img = h->grab();
    const QPointF inLabel = h->view->urlPreview()->position() + QPointF(1, 1);
    EXPECT_EQ(QColor(img.pixel(inLabel.toPoint())).rgb(), QColor(220, 220, 220).rgb()) << "colours inverted";
    hover(cellPoint(8, 0), Qt::ControlModifier);
    EXPECT_EQ(h->view->urlPreviewText(), "https://example.org/x") << "keeps the last link over plain cells";

    // Ctrl-click opens through the delegate; the default opener takes only safe schemes.
    std::vector<QUrl> opened;
    auto saved = TerminalView::linkOpener;
    TerminalView::linkOpener = [&](const QUrl& u) { opened.push_back(u); };
    rec.useDefaultOpen = true;
    click(cellPoint(2, 0), Qt::ControlModifier);
    ASSERT_EQ(rec.links.size(), 1u);
    EXPECT_EQ(rec.links[0].first, "https://example.org/x");
    EXPECT_EQ(rec.links[0].second.value("id"), "7");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl("https://example.org/x"));
    TerminalViewDelegate& base = rec;
    base.TerminalViewDelegate::requestOpenLink(*h->view, "javascript:alert(1)", {});
    base.TerminalViewDelegate::requestOpenLink(*h->view, "x-unknown-handler://run", {});
    EXPECT_EQ(opened.size(), 1u) << "other schemes are not opened";
    TerminalView::linkOpener = saved;

    QKeyEvent ctrlUp(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    QCoreApplication::sendEvent(h->view, &ctrlUp);
    EXPECT_FALSE(h->view->commandActive);
    EXPECT_EQ(h->view->urlPreview(), nullptr);
}
