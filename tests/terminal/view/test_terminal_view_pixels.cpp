// What the terminal view really draws, read back from the rendered window.
#include "CaretView.h"
#include "SelectionService.h"
#include "support/ViewHarness.h"

#include "Diagnostics.h"
#include "SixelDcsHandler.h"
#include "TinyAtom.h"

#include <QBuffer>
#include <QKeyEvent>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const char* fullBlock = "\xe2\x96\x88"; // U+2588, fills the cell: its centre is pure foreground

bool rowHasColour(const QImage& img, int y, int x0, int x1, QRgb colour)
{
    for (int x = x0; x < x1; ++x) {
        if (img.pixel(x, y) == colour)
            return true;
    }
    return false;
}

} // namespace

TEST(TerminalViewPixels, bold_text_is_drawn_in_the_bright_colour)
{
    ViewHarness h(20, 3);
    h.feed(QByteArray("\x1b[31m") + fullBlock + "\x1b[1m" + fullBlock + "\x1b[0m");
    const QImage img = h.grab();
    EXPECT_EQ(h.cellCentre(img, 0, 0).rgb(), h.palette(1).rgb());
    EXPECT_EQ(h.cellCentre(img, 1, 0).rgb(), h.palette(9).rgb());
    EXPECT_NE(h.palette(1).rgb(), h.palette(9).rgb());
}

TEST(TerminalViewPixels, faint_text_is_halfway_between_its_colour_and_its_background)
{
    ViewHarness h(20, 4);
    h.view->setNativeForegroundColor(QColor(0xe0, 0xe0, 0xe0));
    h.view->setNativeBackgroundColor(QColor(0x20, 0x20, 0x20));
    // Each row: plain, then faint, in one colour form: palette, 256-colour on a palette
    // background, 24-bit, default.
    const QByteArray block(fullBlock);
    h.feed("\x1b[31m" + block + "\x1b[2m" + block + "\x1b[0m\r\n");
    h.feed("\x1b[38;5;208;44m" + block + "\x1b[2m" + block + "\x1b[0m\r\n");
    h.feed("\x1b[38;2;200;100;0m" + block + "\x1b[2m" + block + "\x1b[0m\r\n");
    h.feed(block + "\x1b[2m" + block + "\x1b[0m");
    const QImage img = h.grab();
    const QColor bgs[] = {QColor(0x20, 0x20, 0x20), h.palette(4), QColor(0x20, 0x20, 0x20), QColor(0x20, 0x20, 0x20)};
    for (int row = 0; row < 4; ++row) {
        const QColor plain = h.cellCentre(img, 0, row), faint = h.cellCentre(img, 1, row), bg = bgs[row];
        EXPECT_NE(plain.rgb(), faint.rgb()) << "row " << row;
        EXPECT_NEAR(faint.red(), (plain.red() + bg.red()) / 2.0, 1) << "row " << row;
        EXPECT_NEAR(faint.green(), (plain.green() + bg.green()) / 2.0, 1) << "row " << row;
        EXPECT_NEAR(faint.blue(), (plain.blue() + bg.blue()) / 2.0, 1) << "row " << row;
    }
}

TEST(TerminalViewPixels, concealed_text_draws_only_its_background_and_stays_copyable)
{
    ViewHarness h(20, 3);
    h.view->setNativeBackgroundColor(QColor(0x20, 0x20, 0x20));
    h.feed(QByteArray("\x1b[8;4;9m") + fullBlock + "Xy\x1b[44m" + fullBlock + "\x1b[0m\r\n"
           + "\x1b[8m\x1b]8;;https://example.org\x1b\\link\x1b]8;;\x1b\\\x1b[0m");
    const QImage img = h.grab();
    const QSizeF c = h.cell();
    auto cellIsOnly = [&](int col, int row, QRgb colour) {
        for (int y = int(c.height() * row); y < int(c.height() * (row + 1)); ++y) {
            for (int x = int(c.width() * col); x < int(c.width() * (col + 1)); ++x) {
                if (img.pixel(x, y) != colour)
                    return false;
            }
        }
        return true;
    };
    for (int col = 0; col < 3; ++col)
        EXPECT_TRUE(cellIsOnly(col, 0, qRgb(0x20, 0x20, 0x20))) << "glyph, underline or strike in column " << col;
    EXPECT_TRUE(cellIsOnly(3, 0, h.palette(4).rgb())) << "the background is still drawn";
    for (int col = 0; col < 4; ++col)
        EXPECT_TRUE(cellIsOnly(col, 1, qRgb(0x20, 0x20, 0x20))) << "hyperlink underline in column " << col;

    h.view->selectAll();
    EXPECT_TRUE(h.view->getSelection().value_or("").contains("Xy")) << "the text is still in the buffer";
}

TEST(TerminalViewPixels, inverse_video_of_default_colours_uses_their_complements)
{
    ViewHarness h(20, 3);
    h.view->setNativeForegroundColor(QColor(200, 180, 40));
    h.view->setNativeBackgroundColor(QColor(10, 20, 30));
    h.feed(QByteArray("\x1b[7m ") + fullBlock + "\x1b[0m ");
    const QImage img = h.grab();
    EXPECT_EQ(h.cellCentre(img, 0, 0).rgb(), QColor(255 - 10, 255 - 20, 255 - 30).rgb()) << "background";
    EXPECT_EQ(h.cellCentre(img, 1, 0).rgb(), QColor(255 - 200, 255 - 180, 255 - 40).rgb()) << "text";
    EXPECT_EQ(h.cellCentre(img, 2, 0).rgb(), QColor(10, 20, 30).rgb()) << "plain cell";
}

TEST(TerminalViewPixels, selection_reaches_the_last_column_and_stops_at_its_end)
{
    ViewHarness h(20, 3);
    h.view->setSelectedTextBackgroundColor(QColor(0, 200, 0));
    h.feed("abcdefghijklmnopqrst\x1b[3;1H"); // the caret out of the way
    termcore::SelectionService* sel = h.view->selectionService();
    sel->setSelection({5, 0}, {19, 0}); // to the last column
    h.view->update();
    QImage img = h.grab();
    const QRgb green = QColor(0, 200, 0).rgb();
    EXPECT_NE(QColor(img.pixel(int(h.cell().width() * 4 + 1), 1)).rgb(), green) << "column 4 is outside";
    EXPECT_EQ(img.pixel(int(h.cell().width() * 5 + 1), 1), green);
    EXPECT_EQ(img.pixel(int(h.cell().width() * 19 + 1), 1), green) << "the last column is included";
    EXPECT_EQ(img.pixel(int(h.cell().width() * 12 + 1), int(h.cell().height() + 1)) == green, false) << "row 1";

    // An empty selection (same column) highlights nothing; an end column before the last is exclusive.
    sel->setSelection({3, 0}, {3, 0});
    h.view->update();
    img = h.grab();
    EXPECT_NE(img.pixel(int(h.cell().width() * 3 + 1), 1), green);
    sel->setSelection({2, 0}, {6, 0});
    h.view->update();
    img = h.grab();
    EXPECT_EQ(img.pixel(int(h.cell().width() * 5 + 1), 1), green);
    EXPECT_NE(img.pixel(int(h.cell().width() * 6 + 1), 1), green);
}

TEST(TerminalViewPixels, wide_glyph_keeps_its_right_half_over_the_empty_cell)
{
    ViewHarness h(20, 3);
    // U+1F600 is two columns wide and comes from a fallback font: the empty cell after it has
    // its own background run, which must not cover the glyph's right half.
    h.feed("\x1b[97;44m\xf0\x9f\x98\x80\x1b[0m");
    const QImage img = h.grab();
    const QRgb blue = h.palette(4).rgb();
    const QSizeF c = h.cell();
    EXPECT_EQ(img.pixel(int(c.width() * 1 + 1), int(c.height() - 1)), blue) << "second cell has the background";
    // Anything but the background in the second cell is the glyph's ink (the caret is in the third).
    int ink = 0;
    for (int y = 0; y < int(c.height()); ++y) {
        for (int x = int(c.width()); x < int(c.width() * 2); ++x)
            ink += img.pixel(x, y) != blue;
    }
    EXPECT_GT(ink, 3) << "the right half of the wide glyph was painted over";
}

TEST(TerminalViewPixels, hyperlink_underline_is_dashed_and_plain_underline_solid)
{
    ViewHarness h(20, 3);
    h.view->setNativeForegroundColor(QColor(255, 255, 255));
    h.feed("\x1b]8;;https://example.org\x1b\\link\x1b]8;;\x1b\\ \x1b[4mplain\x1b[0m");
    auto* line = h.terminal().getLine(0);
    ASSERT_NE(line, nullptr);
    ASSERT_TRUE((*line)[0].hasPayload()) << "OSC 8 did not mark the cells";
    const QImage img = h.grab();
    const QSizeF c = h.cell();
    // Find the underline's row in the first cell: the lowest row with white pixels.
    auto underlineRow = [&](int col) {
        for (int y = int(c.height()) - 1; y >= 0; --y) {
            if (rowHasColour(img, y, int(c.width() * col), int(c.width() * (col + 1)), qRgb(255, 255, 255)))
                return y;
        }
        return -1;
    };
    const int yLink = underlineRow(1);
    ASSERT_GE(yLink, 0);
    std::string pattern;
    for (int x = int(c.width()); x < int(c.width() * 2); ++x)
        pattern += img.pixel(x, yLink) == qRgb(255, 255, 255) ? '#' : '.';
    EXPECT_EQ(pattern, "##..##.") << "2 on, 2 off from the cell's edge";

    const int yPlain = underlineRow(6);
    ASSERT_GE(yPlain, 0);
    std::string plain;
    for (int x = int(c.width() * 6); x < int(c.width() * 7); ++x)
        plain += img.pixel(x, yPlain) == qRgb(255, 255, 255) ? '#' : '.';
    EXPECT_EQ(plain, "#######");
}

TEST(TerminalViewPixels, last_run_background_reaches_the_right_edge_and_strip_below)
{
    // Five pixels more than the grid and the scroller, and ten below the last row.
    ViewHarness h(20, 3, 5, 10);
    h.feed("\x1b[44m\x1b[2K\x1b[0m\r\n\x1b[42mgreen\x1b[0m");
    const QImage img = h.grab();
    const QSizeF c = h.cell();
    const int gridRight = int(c.width() * 20);
    EXPECT_EQ(img.pixel(gridRight + 2, int(c.height() / 2)), h.palette(4).rgb()) << "beyond the last column";
    EXPECT_EQ(img.pixel(gridRight + 2, int(c.height() * 1.5)), QColor(0, 0, 0).rgb()) << "row 1 ends in default";
    EXPECT_EQ(img.pixel(int(c.width() * 4 + 1), int(c.height() * 1.5) + 5), h.palette(2).rgb());
    EXPECT_EQ(img.pixel(10, int(c.height() * 3) + 5), h.view->nativeBackgroundColor().rgb()) << "strip below";
}

TEST(TerminalViewPixels, images_are_cut_into_cell_high_stripes)
{
    ViewHarness h(20, 6);
    h.feed("ab");
    const QSizeF c = h.cell();
    QImage red(14, int(c.height() * 2.5), QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    h.view->insertImage(red, termcore::ImageSizeRequest::pixels(14), termcore::ImageSizeRequest::pixels(int(c.height() * 2.5)), false);
    auto& buf = h.terminal().buffer();
    EXPECT_EQ(buf.y(), 3) << "2.5 cells occupy 3 rows";
    EXPECT_EQ(buf.x(), 2) << "the cursor returns to its column";
    for (int r = 0; r < 3; ++r) {
        const auto& imgs = buf.lines()[r].images();
        ASSERT_TRUE(imgs.has_value()) << r;
        ASSERT_EQ(imgs->size(), 1u);
        EXPECT_EQ((*imgs)[0]->col(), 2);
        EXPECT_EQ((*imgs)[0]->pixelHeight(), int(c.height()));
    }
    EXPECT_FALSE(buf.lines()[3].images().has_value());
    const QImage img = h.grab();
    const QRgb r = qRgb(255, 0, 0);
    EXPECT_EQ(img.pixel(int(c.width() * 2 + 3), 2), r) << "top edge on the row's top";
    EXPECT_EQ(img.pixel(int(c.width() * 2 + 3), int(c.height() * 1.5)), r);
    EXPECT_EQ(img.pixel(int(c.width() * 2 + 3), int(c.height() * 2 + 3)), r);
    EXPECT_NE(img.pixel(int(c.width() * 2 + 3), int(c.height() * 3 - 2)), r) << "the third stripe is half empty";
    EXPECT_NE(img.pixel(int(c.width() * 1 + 3), int(c.height() * 1.5)), r) << "left of its column";

    // Decoded bitmaps (sixel) too: RGBA bytes, kept at their own size.
    std::vector<uint8_t> rgba(4 * 7 * 14, 0);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i + 2] = 255;
        rgba[i + 3] = 255;
    }
    const int rowBefore = buf.y();
    h.view->createImageFromBitmap(h.terminal(), rgba, 7, 14);
    EXPECT_EQ(buf.y(), rowBefore + 1);
    std::vector<uint8_t> tooShort(10, 0);
    h.view->createImageFromBitmap(h.terminal(), tooShort, 7, 14);
    EXPECT_EQ(buf.y(), rowBefore + 1) << "a short bitmap is ignored";
}

TEST(TerminalViewPixels, double_width_rows_draw_glyphs_twice_as_wide)
{
    ViewHarness h(20, 4);
    h.feed(QByteArray("\x1b#6") + fullBlock + fullBlock + "\r\n" + fullBlock);
    const QImage img = h.grab();
    const QSizeF c = h.cell();
    const QRgb fg = h.view->nativeForegroundColor().rgb();
    EXPECT_EQ(img.pixel(int(c.width() * 3), int(c.height() / 2)), fg) << "second glyph at twice the x";
    EXPECT_EQ(img.pixel(int(c.width() * 1.5), int(c.height() * 1.5)), QColor(0, 0, 0).rgb()) << "single row unchanged";
    // The caret on a double-width row stands at twice the x.
    h.feed("\x1b[1;2H");
    h.grab();
    EXPECT_EQ(h.view->caretView()->x(), c.width() * 2);
}

TEST(TerminalViewPixels, inline_image_files_and_sixel_from_the_program)
{
    ViewHarness h(20, 6);
    // OSC 1337 File=: a 2 x 2 cell green PNG, inline.
    QImage green(14, 28, QImage::Format_ARGB32);
    green.fill(QColor(0, 255, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(green.save(&buffer, "PNG"));
    h.feed("\x1b]1337;File=inline=1;width=2;height=2;preserveAspectRatio=0:" + png.toBase64() + "\x07");
    auto& buf = h.terminal().buffer();
    EXPECT_EQ(buf.y(), 2) << "two rows of stripes";
    const QImage img = h.grab();
    EXPECT_EQ(img.pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(10, 20), qRgb(0, 255, 0));

    // Sixel: a red block (DECSIXEL, colour register 1 set to RGB 100 % red).
    h.feed("\x1b[4;1H\x1bPq#1;2;100;0;0#1~~~~~~~~\x1b\\");
    EXPECT_TRUE(buf.lines()[buf.yBase() + 3].images().has_value()) << "the sixel became a stripe on its row";
    // Undecodable image data is ignored.
    h.feed("\x1b]1337;File=inline=1:bm90IGFuIGltYWdl\x07");
}

// An image placed over part of an older one replaces it there, transparent pixels included.
TEST(TerminalViewPixels, a_new_image_hides_what_it_covers_of_older_ones)
{
    ViewHarness h(20, 3);
    const QSizeF c = h.cell();
    QImage red(int(c.width() * 4), int(c.height()), QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    QImage clear = red;
    clear.fill(Qt::transparent);
    const auto w = termcore::ImageSizeRequest::pixels(red.width()), hh = termcore::ImageSizeRequest::pixels(red.height());
    h.view->insertImage(red, w, hh, false);
    h.feed("\x1b[1;3H");
    h.view->insertImage(clear, w, hh, false);
    const QImage img = h.grab();
    EXPECT_EQ(h.pixel(img, c.width() * 1.5, c.height() / 2).rgb(), qRgb(255, 0, 0)) << "still shown left of the new one";
    EXPECT_NE(h.pixel(img, c.width() * 2.5, c.height() / 2).rgb(), qRgb(255, 0, 0)) << "covered";
    EXPECT_NE(h.pixel(img, c.width() * 3.5, c.height() / 2).rgb(), qRgb(255, 0, 0)) << "covered";
}

// A sixel is decoded off the GUI thread: the output after it waits, keys go through, and the
// screen ends as with the image decoded in place.
TEST(TerminalViewPixels, sixel_images_decode_off_the_gui_thread_and_keep_their_place)
{
    QByteArray band = "\x1bPq#1;2;100;0;0#1";
    for (int i = 0; i < 200000; i++)
        band += "!4096~$";
    const QByteArray block = "\x1bPq#1;2;100;0;0#1!21~-!21~";
    ViewHarness h(20, 6);
    SendRecorder<std::string> keys;
    h.view->terminalDelegate = &keys;
    termcore::Diagnostics::Capture diagnostics;
    h.view->feed("A" + band + "\x1b\\B");
    EXPECT_TRUE(h.view->outputHeld());
    EXPECT_EQ(h.terminal().getCharData(1, 0)->code, 0) << "B waits behind the image";
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    QCoreApplication::sendEvent(h.view, &key);
    EXPECT_EQ(keys.sent, std::vector<std::string>{"x"}) << "the window answers meanwhile";
    h.feed("C" + block + "\x1b\\D"); // queued behind it, in order
    EXPECT_FALSE(h.view->outputHeld());
    h.view->terminalDelegate = nullptr;
    // It reports a stopped painting and an oversized image as a decode in place does.
    EXPECT_TRUE(diagnostics.contains("painting stopped"));
    EXPECT_FALSE(diagnostics.contains("over the size limit"));
    ViewHarness(20, 6).feed("\x1bPq#1!9000~\x1b\\"); // wider than any image may be
    EXPECT_TRUE(diagnostics.contains("over the size limit"));

    // The same output with the images decoded in place.
    ViewHarness sync(20, 6);
    sync.feed("A");
    for (const QByteArray& image : {band, block}) {
        const QByteArray data = image.mid(3);
        auto bitmap = termcore::SixelDcsHandler::decodeImage(std::vector<uint8_t>(data.begin(), data.end()),
                                                            sync.terminal().defaultAnsiColors);
        ASSERT_TRUE(bitmap.has_value());
        sync.view->createImageFromBitmap(sync.terminal(), bitmap->pixels, bitmap->width, bitmap->height);
        sync.feed(image == band ? "BC" : "D");
    }
    EXPECT_EQ(h.terminal().buffer().y(), sync.terminal().buffer().y());
    EXPECT_EQ(h.terminal().buffer().x(), sync.terminal().buffer().x());
    EXPECT_EQ(h.grab(), sync.grab());

    // A view that goes while it decodes waits for its thread; the result goes with it.
    {
        ViewHarness gone(20, 6);
        gone.view->feed(band + "\x1b\\");
        EXPECT_TRUE(gone.view->outputHeld());
    }
    QCoreApplication::processEvents();
}

// An inline image file (OSC 1337) is decoded and cut off the GUI thread as a sixel is: the output
// after it waits, keys go through, and the screen ends as with the images placed in place.
TEST(TerminalViewPixels, inline_image_files_decode_off_the_gui_thread_and_keep_their_place)
{
    auto fileOf = [](QColor colour, QSize size) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(colour);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return png;
    };
    using termcore::ImageSizeRequest;
    struct Image {
        QByteArray file;
        ImageSizeRequest width, height;
        QByteArray args;
    };
    // A dot drawn at 4095 x 4095 pixels (long to cut), then a 2:1 picture fitted into 4 x 4 cells.
    const Image images[] = {
        {fileOf(Qt::blue, {1, 1}), ImageSizeRequest::pixels(4095), ImageSizeRequest::pixels(4095), "width=4095px;height=4095px"},
        {fileOf(Qt::red, {40, 20}), ImageSizeRequest::cells(4), ImageSizeRequest::cells(4), "width=4;height=4"},
    };
    auto osc = [](const Image& i) { return "\x1b]1337;File=inline=1;" + i.args + ":" + i.file.toBase64() + "\x07"; };

    ViewHarness h(20, 8);
    SendRecorder<std::string> keys;
    h.view->terminalDelegate = &keys;
    h.view->feed("A" + osc(images[0]) + "B");
    EXPECT_TRUE(h.view->outputHeld());
    EXPECT_EQ(h.terminal().getCharData(1, 0)->code, 0) << "B waits behind the image";
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    QCoreApplication::sendEvent(h.view, &key);
    EXPECT_EQ(keys.sent, std::vector<std::string>{"x"}) << "the window answers meanwhile";
    h.feed("C" + osc(images[1]) + "D"); // queued behind it, in order
    EXPECT_FALSE(h.view->outputHeld());
    h.view->terminalDelegate = nullptr;

    ViewHarness sync(20, 8);
    sync.feed("A");
    for (const Image& i : images) {
        sync.view->createImage(sync.terminal(), std::vector<uint8_t>(i.file.begin(), i.file.end()), i.width, i.height, true);
        sync.feed(&i == images ? "BC" : "D");
    }
    EXPECT_EQ(h.terminal().buffer().y(), sync.terminal().buffer().y());
    EXPECT_EQ(h.terminal().buffer().x(), sync.terminal().buffer().x());
    EXPECT_EQ(h.grab(), sync.grab());

    // Fitted into its box: 28 x 14 pixels, centred in the 28 x 56 of four rows.
    ViewHarness fit(20, 6);
    fit.feed(osc(images[1]));
    const QImage img = fit.grab();
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_NE(img.pixel(3, 3), red) << "above the picture";
    EXPECT_EQ(img.pixel(3, 28), red);
    EXPECT_EQ(img.pixel(25, 22), red);
    EXPECT_NE(img.pixel(3, 50), red) << "below the picture";
}

TEST(TerminalViewPixels, characters_missing_from_the_font_are_drawn_at_their_cell)
{
    // Braille spinner frames are not in the terminal's font: Qt's fallback shapes them once.
    ViewHarness h(20, 3);
    h.view->setNativeForegroundColor(QColor(255, 255, 255));
    h.view->setNativeBackgroundColor(QColor(0, 0, 0));
    auto inkIn = [&](const QImage& img, int col) {
        int ink = 0;
        for (int y = 0; y < int(h.cell().height()); ++y)
            for (int x = int(h.cell().width() * col); x < int(h.cell().width() * (col + 1)); ++x)
                ink += qGray(img.pixel(x, y)) > 128;
        return ink;
    };
    h.feed("a\xe2\xa3\xbf\x1b[3;1H"); // U+28FF, all eight dots; the caret out of the way
    const QImage full = h.grab();
    EXPECT_GT(inkIn(full, 1), 0) << "the fallback glyph is drawn in its own cell";
    EXPECT_EQ(inkIn(full, 2), 0) << "and does not spill into the next";
    // A frame with fewer dots repaints the cell with less ink, from the cache the second time.
    h.feed("\x1b[1;2H\xe2\xa0\x81\x1b[3;1H"); // U+2801, one dot
    const int oneDot = inkIn(h.grab(), 1);
    EXPECT_GT(oneDot, 0);
    EXPECT_LT(oneDot, inkIn(full, 1));
    h.feed("\x1b[1;2H\xe2\xa3\xbf\x1b[3;1H");
    EXPECT_EQ(inkIn(h.grab(), 1), inkIn(full, 1));
}

// Box-drawing lines meet their neighbours across rows and columns, at two font sizes: solid
// strokes of the text colour, edge to edge of every cell. (A font's own glyphs are shaded where
// they fall between pixels and may be shorter than a cell that also holds the line spacing.)
TEST(TerminalViewPixels, box_lines_and_blocks_reach_the_edges_of_their_cells)
{
    for (const int pixelSize : {12, 17}) {
        SCOPED_TRACE(pixelSize);
        QFont font = ViewHarness::testFont();
        font.setPixelSize(pixelSize);
        ViewHarness h(12, 5, 0, 0, font);
        const QRgb fg = qRgb(0xff, 0xff, 0xff), bg = qRgb(0, 0, 0);
        h.view->setNativeForegroundColor(QColor(fg));
        h.view->setNativeBackgroundColor(QColor(bg));
        // Columns 0-2 hold a light cross, 3 a heavy and 4 a double vertical line, 6-7 blocks.
        h.feed(" │ ┃║ ██\r\n │ ┃║ ██\r\n─┼─┃║ ▀▀\r\n │ ┃║\r\n │ ┃║");
        const QImage img = h.grab();
        const QSizeF c = h.cell();
        const int bottom = int(c.height() * 5);
        auto ink = [&](int x, int y) { return img.pixel(x, y) == fg; };
        // The x of each vertical stroke in a column, read across the middle of its first row.
        auto strokes = [&](int col) {
            std::vector<int> xs;
            for (int x = int(c.width() * col); x < int(c.width() * (col + 1)); ++x) {
                if (ink(x, int(c.height() / 2)))
                    xs.push_back(x);
            }
            return xs;
        };
        for (const int col : {1, 3, 4}) {
            const std::vector<int> xs = strokes(col);
            ASSERT_FALSE(xs.empty()) << "no solid stroke in column " << col;
            for (const int x : xs) {
                for (int y = 0; y < bottom; ++y)
                    ASSERT_TRUE(ink(x, y)) << "a gap in column " << col << " at x " << x << ", y " << y;
            }
        }
        // The double line is two strokes with the background between them, all the way down.
        const std::vector<int> doubled = strokes(4);
        ASSERT_GE(doubled.size(), 2u);
        int gapX = -1;
        for (int x = doubled.front(); x < doubled.back() && gapX < 0; ++x)
            gapX = img.pixel(x, int(c.height() / 2)) == bg ? x : -1;
        ASSERT_GE(gapX, 0) << "the two lines of ║ touch";
        for (int y = 0; y < bottom; ++y)
            ASSERT_EQ(img.pixel(gapX, y), bg) << "the lines of ║ meet at y " << y;
        // The cross's horizontal stroke runs through its three cells without a break.
        int lineY = -1;
        for (int y = int(c.height() * 2); y < int(c.height() * 3) && lineY < 0; ++y)
            lineY = ink(0, y) ? y : -1;
        ASSERT_GE(lineY, 0) << "no solid stroke in ─";
        for (int x = 0; x < int(c.width() * 3); ++x)
            ASSERT_TRUE(ink(x, lineY)) << "a gap in ─┼─ at x " << x;
        // Full blocks fill their cells to every edge; ▀ exactly the upper half of its row.
        for (int y = 0; y < int(c.height() * 2); ++y) {
            for (int x = int(std::lround(c.width() * 6)); x < int(std::lround(c.width() * 8)); ++x)
                ASSERT_TRUE(ink(x, y)) << "a gap in the full blocks at " << x << ", " << y;
        }
        const int half = int(std::lround(c.height() * 2.5));
        EXPECT_TRUE(ink(int(c.width() * 6.5), half - 1));
        EXPECT_EQ(img.pixel(int(c.width() * 6.5), half), bg);
    }
}

// DEC special graphics (ESC ( 0) maps letters to line pieces and to control pictures such as ␉ and
// ␤, which no installed font may have: they are drawn, two small letters each, not shown as the
// same missing-glyph box.
TEST(TerminalViewPixels, dec_graphics_pieces_and_control_pictures_are_drawn)
{
    ViewHarness h(20, 3);
    const QRgb bg = qRgb(0, 0, 0);
    h.view->setNativeForegroundColor(QColor(0xff, 0xff, 0xff));
    h.view->setNativeBackgroundColor(QColor(bg));
    h.feed("\x1b(0bcdehiqx\x1b(B");
    const QImage img = h.grab();
    const QSizeF c = h.cell();
    auto cellImage = [&](int col) { return img.copy(QRectF(c.width() * col, 0, c.width(), c.height()).toRect()); };
    // ␉ ␌ ␍ ␊ ␤ ␋: each is drawn, and each differently.
    for (int col = 0; col < 6; ++col) {
        const QImage picture = cellImage(col);
        bool any = false;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                any |= picture.pixel(x, y) != bg;
        EXPECT_TRUE(any) << "column " << col << " is empty";
        for (int other = 0; other < col; ++other)
            EXPECT_TRUE(picture != cellImage(other)) << "columns " << other << " and " << col << " look the same";
    }
    // q and x are ─ and │, edge to edge.
    const int mid = int(c.height() / 2);
    bool across = true;
    for (int x = int(c.width() * 6); x < int(c.width() * 7); ++x) {
        bool inColumn = false;
        for (int y = mid - 2; y <= mid + 2; ++y)
            inColumn |= img.pixel(x, y) != bg;
        across &= inColumn;
    }
    EXPECT_TRUE(across);
}

// Reverse video (DECSCNM) shows the whole screen with the default colours swapped, as xterm does:
// cells with colours of their own keep them. Turned off, the screen returns; a flash turned on
// and off in one write (vim's visual bell) is still shown before it returns.
TEST(TerminalViewPixels, reverse_video_swaps_the_default_colours_and_returns)
{
    ViewHarness h(20, 3, 0, 10);
    const QColor fg(200, 180, 40), bg(10, 20, 30);
    h.view->setNativeForegroundColor(fg);
    h.view->setNativeBackgroundColor(bg);
    h.feed(QByteArray(fullBlock) + "\x1b[31m" + fullBlock + "\x1b[44m \x1b[0m ");
    const QSizeF c = h.cell();
    // Cell colours: default text, red text, blue background, default background; the strip.
    auto shows = [&](const QImage& img) {
        return std::vector<QRgb>{h.cellCentre(img, 0, 0).rgb(), h.cellCentre(img, 1, 0).rgb(),
                                 h.cellCentre(img, 2, 0).rgb(), h.cellCentre(img, 3, 0).rgb(),
                                 img.pixel(5, int(c.height() * 3) + 5)};
    };
    const std::vector<QRgb> normal = {fg.rgb(), h.palette(1).rgb(), h.palette(4).rgb(), bg.rgb(), bg.rgb()};
    const std::vector<QRgb> reversed = {bg.rgb(), h.palette(1).rgb(), h.palette(4).rgb(), fg.rgb(), fg.rgb()};
    ASSERT_EQ(shows(h.grab()), normal);

    h.feed("\x1b[?5h");
    EXPECT_EQ(shows(h.grab()), reversed);
    h.feed("x\x1b[?5l");
    EXPECT_TRUE(waitUntil([&] { return shows(h.grab()) == normal; }, 5000));
    EXPECT_EQ(h.terminal().getCharData(4, 0)->attribute, termcore::Attribute()) << "the text after it keeps its colours";

    h.feed("\x1b[?5h\x1b[?5l");
    EXPECT_FALSE(h.terminal().reverseVideo());
    // The flash is held for a moment: a machine that stalls the test longer than that between the
    // feed and the picture has let it go already, which the picture then may not show.
    ASSERT_TRUE(h.view->reverseVideoShown()) << "the flash shows";
    const QImage flash = h.grab();
    if (h.view->reverseVideoShown()) {
        EXPECT_EQ(shows(flash), reversed) << "the flash is drawn";
    }
    EXPECT_TRUE(waitUntil([&] { return shows(h.grab()) == normal; }, 5000)) << "and goes";
}

// In reverse video the caret turns with the screen, as xterm's does: the character under a block
// caret is drawn in the screen's text colour as shown (the normal background), while colours
// given to the caret itself (its fill, a text colour the program set) stay as they are.
TEST(TerminalViewPixels, caret_text_turns_with_the_screen_in_reverse_video)
{
    ViewHarness h(20, 3);
    const QColor fg(200, 180, 40), bg(10, 20, 30), caret(0, 120, 255), green(0, 200, 0);
    h.view->setNativeForegroundColor(fg);
    h.view->setNativeBackgroundColor(bg);
    h.view->setCaretColor(caret);
    h.view->setCaretViewTracksFocus(false); // drawn as focused: a filled block
    // On the full block the caret's text fills the cell; on the space its fill shows.
    const QByteArray onBlock = "\x1b[1;1H", onSpace = "\x1b[1;2H";
    h.feed(QByteArray(fullBlock) + " " + onBlock);
    EXPECT_EQ(h.cellCentre(h.grab(), 0, 0).rgb(), fg.rgb()) << "normal screen";

    h.feed("\x1b[?5h");
    EXPECT_EQ(h.cellCentre(h.grab(), 0, 0).rgb(), bg.rgb()) << "the text turns with the screen";
    h.feed(onSpace);
    EXPECT_EQ(h.cellCentre(h.grab(), 1, 0).rgb(), caret.rgb()) << "the caret keeps its colour";
    h.view->setCaretTextColor(green);
    h.feed(onBlock);
    EXPECT_EQ(h.cellCentre(h.grab(), 0, 0).rgb(), green.rgb()) << "a set text colour stays";
}

// A cluster the terminal's font lacks is drawn inside its own cells, whatever the font standing in
// makes of it (xterm shrinks such glyphs to fit): Hangul jamo L+V+T (two cells, without a Hangul
// font a missing-glyph box), a long arrow from a proportional font (one cell), an emoji (two
// cells; a box without an emoji font), a letter with two marks that the font sets after it (one
// cell). The empty cell after each stays empty.
TEST(TerminalViewPixels, clusters_stay_inside_their_own_cells)
{
    ViewHarness h(20, 5);
    const QRgb bg = qRgb(0, 0, 0);
    h.view->setNativeForegroundColor(QColor(0xff, 0xff, 0xff));
    h.view->setNativeBackgroundColor(QColor(bg));
    h.feed("\xe1\x84\x80\xe1\x85\xa1\xe1\x86\xa8 \r\n" // U+1100 U+1161 U+11A8
           "\xe2\x9f\xbf \r\n"                         // U+27FF
           "\xf0\x9f\x9a\x80 \r\n"                     // U+1F680
           "e\xcc\x81\xcc\x82 \x1b[5;1H");             // e U+0301 U+0302; the caret out of the way
    const QImage img = h.grab();
    const QSizeF c = h.cell();
    auto inkIn = [&](int row, int col0, int col1) {
        int ink = 0;
        for (int y = int(c.height() * row); y < int(c.height() * (row + 1)); ++y)
            for (int x = int(c.width() * col0); x < int(c.width() * col1); ++x)
                ink += img.pixel(x, y) != bg;
        return ink;
    };
    const int spans[] = {2, 1, 2, 1};
    for (int row = 0; row < 4; ++row) {
        const int span = spans[row];
        ASSERT_EQ(h.terminal().getCharData(0, row)->width, span) << "row " << row;
        EXPECT_GT(inkIn(row, 0, span), 0) << "row " << row << " is drawn";
        EXPECT_EQ(inkIn(row, span, span + 1), 0) << "row " << row << " spills into the next cell";
    }
}

// On a wide character the caret covers both its cells, as xterm's cursor does.
TEST(TerminalViewPixels, caret_covers_both_cells_of_a_wide_character)
{
    ViewHarness h(20, 3);
    const QColor caret(0, 120, 255);
    h.view->setCaretColor(caret);
    h.view->setCaretViewTracksFocus(false); // drawn as focused: a filled block
    h.feed("a\xe4\xb8\xad" "b\x1b[1;2H"); // U+4E2D in columns 1-2, the caret on it
    const QImage img = h.grab();
    EXPECT_EQ(h.view->caretView()->width(), h.cell().width() * 2);
    EXPECT_EQ(img.pixel(int(h.cell().width() * 2.5), 1), caret.rgb()) << "the second cell";
    h.feed("\x1b[1;4H");
    h.grab();
    EXPECT_EQ(h.view->caretView()->width(), h.cell().width()) << "one cell again on b";
}

// A view that leaves its window and comes back (a workspace switched away and back), or moves to
// another, is drawn on a new surface that holds none of its old pixels: all of it is painted
// again, not only the rows that changed meanwhile. Output still running as it comes back (a
// spinner rewriting its row; `yes` scrolling rows that look alike) must not leave the rest unpainted.
TEST(TerminalViewPixels, a_view_put_back_into_a_window_paints_all_of_itself)
{
    struct Case {
        const char* what;
        QByteArray screen;
        QByteArray meanwhile;
        int changedRow; // the row the output rewrites, where the caret also stands: not compared
    };
    QByteArray listing = "\x1b[31mtotal 64\x1b[0m\r\n";
    for (const char* name : {"bin", "boot", "dev", "etc", "home", "lib", "opt", "root", "usr", "var"})
        listing += "drwxr-xr-x  2 root root 4096 " + QByteArray(name) + "\r\n";
    QByteArray yes;
    for (int i = 0; i < 40; ++i)
        yes += "y\r\n";
    const Case cases[] = {
        {"a spinner", listing + "/ working", "\r- working", 11},
        {"yes", yes, yes + "y", 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ViewHarness home(20, 12);
        ViewHarness away(20, 12); // its own view hidden: the window our view moves to
        away.view->setVisible(false);
        home.feed(c.screen);
        const QImage before = home.grab();

        for (QQuickWindow* target : {away.window.get(), home.window.get()}) {
            home.view->setParentItem(nullptr);
            home.view->setParentItem(target->contentItem());
            home.view->feed(c.meanwhile);
            home.view->updateDisplay(false);
            QCoreApplication::processEvents();
            const QImage after = target->grabWindow().convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(after.size(), before.size());
            const int rowTop = int(home.cell().height() * c.changedRow);
            const int rowBottom = int(home.cell().height() * (c.changedRow + 1));
            int differ = 0;
            for (int y = 0; y < before.height(); ++y) {
                if (y >= rowTop && y < rowBottom)
                    continue;
                for (int x = 0; x < int(home.cell().width() * 20); ++x)
                    differ += before.pixel(x, y) != after.pixel(x, y);
            }
            EXPECT_EQ(differ, 0) << "pixels that differ outside the rewritten row, in "
                                 << (target == away.window.get() ? "the other window" : "its own window again");
        }
    }
}

// Once output settles every drawn row is the terminal's row, whatever came between a repaint
// being asked for and the frame that paints it: more output (a row of `yes` goes "y", blank, "y"
// again), the window hidden and shown (minimised and restored), a resize, a palette switch, a
// selection the output drops. Compared with the same view painted whole.
TEST(TerminalViewPixels, drawn_rows_are_the_terminals_rows_once_output_settles)
{
    struct Step {
        enum Kind { feed, tick, frame, hide, show, resize, palette, selectRow } kind;
        QByteArray bytes = {};
    };
    using S = Step;
    const QByteArray screen = "\x1b[?25l" + QByteArray("y\r\n").repeated(30);
    const std::pair<const char*, std::vector<Step>> cases[] = {
        {"a tick and a frame for every change (the ordinary path)",
         {{S::feed, "y"}, {S::tick}, {S::frame}, {S::feed, "\r\n"}, {S::tick}, {S::frame}, {S::feed, "y"}}},
        {"output between the tick and the frame",
         {{S::feed, "y"}, {S::tick}, {S::feed, "\r\n"}, {S::frame}, {S::feed, "y"}}},
        {"the window hidden and shown meanwhile",
         {{S::feed, "y"}, {S::hide}, {S::tick}, {S::feed, "\r\n"}, {S::show}, {S::feed, "y"}}},
        {"a resize meanwhile",
         {{S::resize}, {S::feed, "y"}, {S::tick}, {S::feed, "\r\n"}, {S::frame}, {S::feed, "y"}}},
        {"a palette switch meanwhile",
         {{S::palette}, {S::feed, "y"}, {S::tick}, {S::feed, "\r\n"}, {S::frame}, {S::feed, "y"}}},
        {"a selection that output drops",
         {{S::selectRow}, {S::tick}, {S::frame}, {S::feed, "y"}, {S::tick}, {S::frame}}},
    };
    for (const auto& [what, steps] : cases) {
        SCOPED_TRACE(what);
        ViewHarness h(20, 12);
        h.feed(screen);
        h.grab();
        for (const Step& step : steps) {
            switch (step.kind) {
            case S::feed:
                h.view->feed(step.bytes);
                break;
            case S::tick:
                h.view->updateDisplay(false);
                break;
            case S::frame:
                h.window->grabWindow();
                break;
            case S::hide:
                h.window->hide();
                QCoreApplication::processEvents();
                break;
            case S::show:
                h.window->show();
                ASSERT_TRUE(waitUntil([&] { return h.window->isExposed(); }, 5000));
                h.window->grabWindow(); // the frame drawn on being shown again
                break;
            case S::resize: {
                const QSizeF size = h.view->size();
                h.view->setSize(size - QSizeF(0, h.cell().height() * 3));
                h.window->grabWindow();
                h.view->setSize(size);
                break;
            }
            case S::palette:
                for (bool light : {true, false})
                    h.view->setNativeBackgroundColor(light ? QColor(0xf4, 0xf5, 0xf8) : QColor(Qt::black));
                break;
            case S::selectRow:
                h.view->selectionService()->select(h.terminal().buffer().yDisp() + 3);
                break;
            }
        }
        const QImage drawn = h.grab();
        // The truth: the same view painted whole from what its terminal holds.
        ASSERT_TRUE(QMetaObject::invokeMethod(h.view, "repaintAll"));
        const QImage truth = h.grab();
        ASSERT_EQ(drawn.size(), truth.size());
        const int ch = int(h.cell().height());
        std::vector<int> wrongRows;
        for (int row = 0; row < h.terminal().rows(); ++row) {
            bool same = true;
            for (int y = row * ch; same && y < (row + 1) * ch; ++y)
                for (int x = 0; same && x < int(h.cell().width() * 20); ++x)
                    same = drawn.pixel(x, y) == truth.pixel(x, y);
            if (!same)
                wrongRows.push_back(row);
        }
        EXPECT_TRUE(wrongRows.empty()) << "rows drawn otherwise than the terminal holds them: "
                                       << ::testing::PrintToString(wrongRows);
    }
}
