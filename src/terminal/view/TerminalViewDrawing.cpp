// Feeding, redraw coalescing and the drawing of the terminal's rows.
//
// Coordinates are Qt's: y grows downwards, screen row s occupies [s * cellHeight, (s + 1) *
// cellHeight), and the text baseline of a row sits ceil(descent + leading) above its bottom
// edge. Every glyph is placed at its own cell's left edge, never at the shaper's advance, so a
// fallback glyph or a ligature can never make the columns drift.
#include "TerminalView.h"

#include "BoxDrawing.h"
#include "CaretView.h"
#include "TerminalScroller.h"
#include "SelectionService.h"
#include "TerminalDebugView.h"
#include "TerminalRedrawClock.h"

#include <QGlyphRun>
#include <QPainter>
#include <QQuickWindow>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

using termcore::Attribute;
using termcore::BufferLine;
using termcore::CharData;

void TerminalView::feed(std::span<const uint8_t> byteArray)
{
    if (selection && selection->active())
        selection->setActive(false);
    if (outputHeld()) {
        // Behind an image still being decoded: it keeps its place in the output.
        heldOutput_.insert(heldOutput_.end(), byteArray.begin(), byteArray.end());
        return;
    }
    feedTerminal(byteArray);
    queuePendingDisplay();
    noteCaretActivity();
}

void TerminalView::feedTerminal(std::span<const uint8_t> bytes)
{
    const size_t taken = terminal->feed(bytes);
    if (taken < bytes.size())
        heldOutput_.insert(heldOutput_.end(), bytes.begin() + ptrdiff_t(taken), bytes.end());
}

void TerminalView::feed(const QByteArray& bytes)
{
    feed(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

void TerminalView::feed(const QString& text)
{
    feed(text.toUtf8());
}

void TerminalView::queuePendingDisplay()
{
    if (pendingDisplay_)
        return;
    pendingDisplay_ = true;
    // The update runs from the event loop on the shared redraw tick, so the feeds of one turn,
    // and the other views' changes, ride along with it.
    TerminalRedrawClock::shared().schedule(this);
}

int TerminalView::pendingDisplayDelay() const
{
    return pendingDisplay_ ? TerminalRedrawClock::shared().delay() : -1;
}

void TerminalView::runScheduledDisplay()
{
    updateDisplay(true);
    pendingDisplay_ = false;
}

bool TerminalView::rowHolds(const RowPicture& picture, int bufferRow)
{
    if (!picture.known)
        return false;
    auto& lines = terminal->buffer().lines();
    if (bufferRow < 0 || bufferRow >= lines.count())
        return picture.cells.empty() && picture.images.empty();
    const BufferLine& line = lines[bufferRow];
    const int cols = terminal->cols();
    int selStart = 0, selLength = 0;
    selectionRange(bufferRow, cols, selStart, selLength);
    const int count = std::min(line.count(), cols);
    if (picture.renderMode != int(line.renderMode) || picture.selectionStart != selStart
        || picture.selectionLength != selLength || int(picture.cells.size()) != count)
        return false;
    for (int k = 0; k < count; ++k) {
        if (!(picture.cells[size_t(k)] == line[k]))
            return false;
    }
    const auto& images = line.images();
    const size_t imageCount = images ? images->size() : 0;
    if (picture.images.size() != imageCount)
        return false;
    for (size_t i = 0; i < imageCount; ++i) {
        if (picture.images[i] != (*images)[i].get())
            return false;
    }
    return true;
}

void TerminalView::takePicture(RowPicture& picture, int bufferRow)
{
    picture.known = true;
    auto& lines = terminal->buffer().lines();
    if (bufferRow < 0 || bufferRow >= lines.count()) {
        picture = RowPicture();
        picture.known = true;
        return;
    }
    const BufferLine& line = lines[bufferRow];
    const int cols = terminal->cols();
    picture.renderMode = int(line.renderMode);
    selectionRange(bufferRow, cols, picture.selectionStart, picture.selectionLength);
    const int count = std::min(line.count(), cols);
    picture.cells.resize(size_t(count));
    for (int k = 0; k < count; ++k)
        picture.cells[size_t(k)] = line[k];
    const auto& images = line.images();
    picture.images.resize(images ? images->size() : 0);
    for (size_t i = 0; i < picture.images.size(); ++i)
        picture.images[i] = (*images)[i].get();
}

bool TerminalView::rowChangedSinceShown(int screenRow, int bufferRow)
{
    if (screenRow < 0)
        return true;
    if (size_t(screenRow) >= shownRows_.size())
        shownRows_.resize(size_t(screenRow) + 1);
    ShownRow& shown = shownRows_[size_t(screenRow)];
    // Asked for again when it changed since it was last asked for, or when the frame that
    // answered drew something else than it holds now.
    const bool sinceAsked = !rowHolds(shown.asked, bufferRow);
    const bool sincePainted = !shown.pending && !rowHolds(shown.painted, bufferRow);
    if (!sinceAsked && !sincePainted)
        return false;
    if (sinceAsked)
        takePicture(shown.asked, bufferRow);
    shown.pending = true;
    return true;
}

void TerminalView::notePainted(const QRectF& painted, int bufferOffset)
{
    const qreal ch = cellDimension->height();
    const int rows = terminal->rows();
    if (rows <= 0 || painted.isEmpty())
        return;
    if (shownRows_.size() < size_t(rows))
        shownRows_.resize(size_t(rows));
    // Rows are asked for whole and on whole pixels; half a pixel absorbs a scaled clip.
    constexpr qreal slack = 0.5;
    const bool fullWidth = painted.left() <= slack && painted.right() >= width() - slack;
    const int first = std::max(0, int(std::floor(painted.top() / ch)));
    const int last = std::min(rows - 1, int(std::floor((painted.bottom() - 0.001) / ch)));
    for (int s = first; s <= last; ++s) {
        ShownRow& shown = shownRows_[size_t(s)];
        if (!fullWidth || painted.top() > ch * s + slack || painted.bottom() < ch * (s + 1) - slack) {
            // Partly painted: what it shows is not known, and the next change repaints it whole.
            shown = ShownRow();
            continue;
        }
        const int bufferRow = bufferOffset + s;
        if (!rowHolds(shown.painted, bufferRow))
            takePicture(shown.painted, bufferRow);
        shown.pending = false;
    }
}

void TerminalView::updateDisplay(bool notifyAccessibility)
{
    Q_UNUSED(notifyAccessibility);
    updateCursorPosition();
    followUrlPreview(); // output may have put a link under the pointer, or taken one away
    if (scrollerStale_) {
        scrollerStale_ = false;
        updateScroller();
    }
    if (terminal->refreshStart == INT_MAX && terminal->refreshEnd == -1) {
        if (notifyUpdateChanges && terminalDelegate) {
            const auto& buf = terminal->buffer();
            const int r = buf.yDisp() + buf.y();
            terminalDelegate->rangeChanged(*this, r, r);
        }
        return;
    }
    const int start = terminal->refreshStart;
    const int end = terminal->refreshEnd;
    if (notifyUpdateChanges && terminalDelegate)
        terminalDelegate->rangeChanged(*this, start, end);
    terminal->clearUpdateRange();
    ++displayUpdates_;

    // The terminal marks a band of rows (a cursor save and restore around a spinner marks every
    // row from the spinner's to the cursor's); only the rows in it that show something new are
    // repainted and uploaded.
    const int lastRow = terminal->rows() - 1;
    const int first = std::max(0, std::min(start, lastRow));
    const int last = std::max(first, std::min(end, lastRow));
    const int yDisp = terminal->buffer().yDisp();
    if (shownRows_.size() > size_t(terminal->rows()))
        shownRows_.resize(size_t(terminal->rows()));
    int firstChanged = -1, lastChanged = -1;
    for (int s = first; s <= last; ++s) {
        if (rowChangedSinceShown(s, yDisp + s)) {
            if (firstChanged < 0)
                firstChanged = s;
            lastChanged = s;
        }
    }
    lastDisplayRect_ = QRect();
    if (firstChanged >= 0) {
        const qreal ch = cellDimension->height();
        QRectF rect(0, ch * firstChanged, width(), ch * (lastChanged - firstChanged + 1));
        if (lastChanged == lastRow)
            rect.setBottom(height()); // the strip below the last full row goes with it
        lastDisplayRect_ = rect.toAlignedRect();
        update(lastDisplayRect_);
    }
    pendingDisplay_ = false;
    if (debug)
        debug->refresh();
}

void TerminalView::updateCursorPosition()
{
    if (!caretView_ || !cellDimension)
        return;
    auto& buf = terminal->buffer();
    const int cursorRow = buf.y() + buf.yBase();
    if (cursorRow < buf.yDisp() || cursorRow >= buf.yDisp() + terminal->rows()) {
        caretView_->setVisible(false); // scrolled out of sight
        return;
    }
    if (!terminal->cursorHidden)
        caretView_->setVisible(true);
    // A cursor waiting to wrap stands on the last column.
    const int col = std::clamp(buf.x(), 0, std::max(0, terminal->cols() - 1));
    BufferLine* line = cursorRow < buf.lines().count() ? &buf.lines()[cursorRow] : nullptr;
    const bool doubled = line && line->renderMode != BufferLine::RenderLineMode::single;
    const qreal x = cellDimension->width() * col * (doubled ? 2 : 1);
    const qreal y = cellDimension->height() * (cursorRow - buf.yDisp());
    caretView_->setPosition(QPointF(x, y));
    // On a wide character the caret covers both its cells, as xterm's cursor does.
    const bool wide = line && (*line)[col].width == 2;
    caretView_->setSize(QSizeF(cellDimension->width() * (wide ? 2 : 1), cellDimension->height()));
    if (line)
        caretView_->setText((*line)[col]);
}

QRectF TerminalView::caretFrame() const
{
    if (!caretView_)
        return {};
    return QRectF(caretView_->position(), caretView_->size());
}

void TerminalView::paint(QPainter* painter)
{
    ++paints_;
    if (!terminal || !cellDimension)
        return;
    QRectF dirty = painter->hasClipping() ? painter->clipBoundingRect() : QRectF();
    if (dirty.isEmpty())
        dirty = QRectF(0, 0, width(), height());
    const int bufferOffset = terminal->buffer().yDisp();
    drawTerminalContents(painter, dirty, bufferOffset);
    notePainted(dirty, bufferOffset);
}

void TerminalView::drawTerminalContents(QPainter* painter, const QRectF& dirtyRect, int bufferOffset)
{
    const qreal ch = cellDimension->height();
    const int screenRows = terminal->rows();
    const int firstScreen = std::max(0, int(std::floor(dirtyRect.top() / ch)));
    const int lastScreen = std::min(screenRows - 1, int(std::floor((dirtyRect.bottom() - 0.001) / ch)));
    const int lineCount = terminal->buffer().lines().count();
    for (int s = firstScreen; s <= lastScreen; ++s) {
        const int row = bufferOffset + s;
        if (row >= 0 && row < lineCount)
            drawRow(painter, row, bufferOffset, dirtyRect);
    }
    // Below the last full row: the strip narrower than a cell.
    const QRectF strip(0, ch * screenRows, width(), height() - ch * screenRows);
    if (strip.height() > 0 && strip.intersects(dirtyRect))
        painter->fillRect(strip, defaultBackground());
}

quint32 TerminalView::glyphFor(int variant, char32_t ch)
{
    auto& cache = glyphCache_[size_t(variant)];
    auto it = cache.constFind(ch);
    if (it != cache.constEnd())
        return *it;
    quint32 glyph = 0;
    int count = 1;
    QChar utf16[2];
    int len = 0;
    if (ch > 0xffff) {
        utf16[0] = QChar::highSurrogate(ch);
        utf16[1] = QChar::lowSurrogate(ch);
        len = 2;
    } else {
        utf16[0] = QChar(char16_t(ch));
        len = 1;
    }
    quint32 glyphs[2] = {0, 0};
    count = 2;
    if (!rawFonts_[size_t(variant)].glyphIndexesForChars(utf16, len, glyphs, &count) || count != 1)
        glyph = 0;
    else
        glyph = glyphs[0];
    cache.insert(ch, glyph);
    return glyph;
}

const TerminalView::FallbackShape& TerminalView::fallbackGlyphs(int variant, const std::u32string& text)
{
    auto& cache = fallbackCache_[size_t(variant)];
    const QString key = QString::fromUcs4(text.data(), qsizetype(text.size()));
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    // Output full of ever new characters must not grow the cache without end.
    if (cache.size() >= 4096)
        cache.clear();
    // Shaped in its composed form: the font may have a glyph for the whole (Hangul jamo make one
    // syllable, a letter and its marks one accented letter) where the marks alone would be set
    // after the letter, in the next cell.
    QTextLayout layout(key.normalized(QString::NormalizationForm_C), fontSet.variant(variant));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    FallbackShape shape;
    if (line.isValid()) {
        shape.runs = layout.glyphRuns();
        // Shaped with the baseline at the line's ascent: move it to y = 0.
        const QPointF shift(-line.x(), -line.ascent());
        for (QGlyphRun& run : shape.runs) {
            QList<QPointF> positions = run.positions();
            for (QPointF& p : positions)
                p += shift;
            run.setPositions(positions);
            const QList<quint32> glyphs = run.glyphIndexes();
            for (qsizetype i = 0; i < glyphs.size(); ++i)
                shape.ink |= run.rawFont().boundingRect(glyphs[i]).translated(positions[i]);
        }
    }
    return *cache.insert(key, shape);
}

void TerminalView::drawCluster(QPainter* painter, int variant, const std::u32string& text, const QRectF& cells,
                               qreal baseline)
{
    // The font that stands in may be wider than the cells the terminal gave the cluster (a symbol
    // from a proportional font, braille dots set for a wider advance, marks the font sets after
    // their letter): its ink is moved into them, and when it is wider than they are
    // it is scaled down to their width about the middle of the line, as xterm shrinks such
    // glyphs, so the next cell is never drawn over.
    const FallbackShape& shape = fallbackGlyphs(variant, text);
    const QRectF& ink = shape.ink;
    const qreal room = cells.width();
    qreal dx = 0;
    if (!ink.isEmpty() && (ink.left() < 0 || ink.right() > room)) {
        if (ink.width() > room) {
            const qreal s = room / ink.width();
            painter->save();
            painter->translate(cells.left(), baseline - lineMiddle_);
            painter->scale(s, s);
            painter->translate(-ink.left(), lineMiddle_);
            for (const QGlyphRun& run : shape.runs)
                painter->drawGlyphRun(QPointF(0, 0), run);
            painter->restore();
            return;
        }
        dx = (room - ink.width()) / 2 - ink.left(); // centred in its cells
    }
    for (const QGlyphRun& run : shape.runs)
        painter->drawGlyphRun(QPointF(cells.left() + dx, baseline), run);
}

void TerminalView::selectionRange(int row, int cols, int& start, int& length) const
{
    start = 0;
    length = 0;
    if (!selection || !selection->active())
        return;
    const termcore::Position s = selection->start(), e = selection->end();
    const int sc = s.col, sr = s.row;
    const int ec = e.col, er = e.row;
    const int lastCol = cols - 1;
    if (sr == er) {
        if (row != sr)
            return;
        // The end column is exclusive, except that a selection reaching the last column takes it.
        if (sc < ec) {
            start = sc;
            length = ec - sc + (ec == lastCol ? 1 : 0);
        } else if (ec < sc) {
            start = ec;
            length = sc - ec + (sc == lastCol ? 1 : 0);
        }
        return;
    }
    const bool down = sr < er;
    const int topRow = down ? sr : er, topCol = down ? sc : ec;
    const int bottomRow = down ? er : sr, bottomCol = down ? ec : sc;
    if (row == topRow) {
        start = topCol;
        length = cols - topCol;
    } else if (row > topRow && row < bottomRow) {
        start = 0;
        length = cols;
    } else if (row == bottomRow) {
        start = 0;
        length = bottomCol + (bottomCol == lastCol ? 1 : 0);
    }
}

ViewLineInfo TerminalView::buildAttributedString(int row, const BufferLine& line, int cols)
{
    ViewLineInfo info;
    info.cells.resize(size_t(std::max(cols, 0)));
    Attribute runAttr;
    bool runUrl = false;
    int runStart = 0;
    auto closeRun = [&](int endCol) {
        if (endCol > runStart)
            info.runs.push_back({runStart, endCol - runStart, &getAttributes(runAttr, runUrl), false});
    };
    for (int k = 0; k < cols; ++k) {
        // Past the end: the last cell, or an empty one for a lazily widened scrollback row.
        const CharData& cd = line[k];
        if (cd.code != 0)
            info.cells[size_t(k)] = cd.getCharacter();
        const bool url = cd.hasPayload();
        if (k == 0) {
            runAttr = cd.attribute;
            runUrl = url;
        } else if (!(cd.attribute == runAttr) || url != runUrl) {
            closeRun(k);
            runStart = k;
            runAttr = cd.attribute;
            runUrl = url;
        }
    }
    closeRun(cols);

    // The selection overlay splits runs at its edges.
    int selStart = 0, selLength = 0;
    selectionRange(row, cols, selStart, selLength);
    if (selLength > 0) {
        const int selEnd = std::min(cols, selStart + selLength);
        std::vector<ViewLineInfo::Run> split;
        split.reserve(info.runs.size() + 2);
        for (const auto& r : info.runs) {
            const int a = r.startCol, b = r.startCol + r.count;
            const int cuts[4] = {a, std::clamp(selStart, a, b), std::clamp(selEnd, a, b), b};
            for (int i = 0; i < 3; ++i) {
                if (cuts[i + 1] > cuts[i])
                    split.push_back({cuts[i], cuts[i + 1] - cuts[i], r.style, i == 1});
            }
        }
        info.runs = std::move(split);
    }
    if (const auto& imgs = line.images())
        info.images = *imgs;
    return info;
}

void TerminalView::drawRow(QPainter* painter, int row, int bufferOffset, const QRectF& dirtyRect)
{
    BufferLine& line = terminal->buffer().lines()[row];
    const qreal cw = cellDimension->width();
    const qreal ch = cellDimension->height();
    const qreal y = ch * (row - bufferOffset);
    const int cols = terminal->cols();
    const ViewLineInfo info = buildAttributedString(row, line, cols);

    const auto mode = line.renderMode;
    if (mode != BufferLine::RenderLineMode::single) {
        painter->save();
        switch (mode) {
        case BufferLine::RenderLineMode::doubleWidth:
            painter->scale(2, 1);
            break;
        case BufferLine::RenderLineMode::doubledTop:
            // Glyphs doubled about the row's top edge: the row shows their upper half.
            painter->setClipRect(QRectF(0, y, width(), ch), Qt::IntersectClip);
            painter->translate(0, y);
            painter->scale(2, 2);
            painter->translate(0, -y);
            break;
        case BufferLine::RenderLineMode::doubledDown:
            // Doubled about the row's bottom edge: the row shows their lower half.
            painter->setClipRect(QRectF(0, y, width(), ch), Qt::IntersectClip);
            painter->translate(0, y + ch);
            painter->scale(2, 2);
            painter->translate(0, -(y + ch));
            break;
        default:
            break;
        }
    }

    // Backgrounds first, glyphs after: a wide glyph stays whole over the empty cell beside it.
    for (const auto& run : info.runs) {
        const QColor& bg = run.selected ? selectedTextBackgroundColor_ : run.style->background;
        const qreal x = cw * run.startCol;
        qreal w = cw * run.count;
        if (run.startCol + run.count >= cols)
            w = width() - x; // the last run's background reaches the view's right edge
        painter->fillRect(QRectF(x, y, w, ch), bg);
    }

    const qreal baseline = y + ch - baselineFromBottom_;
    QVector<quint32> glyphs;
    QVector<QPointF> positions;
    for (const auto& run : info.runs) {
        const int variant = run.style->font;
        glyphs.clear();
        positions.clear();
        bool penSet = false;
        for (int i = 0; i < run.count; ++i) {
            const int col = run.startCol + i;
            const std::u32string& text = info.cells[size_t(col)];
            if (text.empty() || text == U" ")
                continue;
            const QPointF pos(cw * col, baseline);
            quint32 glyph = text.size() == 1 ? glyphFor(variant, text[0]) : 0;
            if (text.size() == 1 && drawnAsBox(variant, text[0])) {
                // Lines and blocks reach the cell's edges to meet their neighbours; those made of
                // rectangles alone are filled with the run's others at once.
                const QRect cell = cellRect(col, y);
                if (!boxDrawing_.appendRects(text[0], cell, boxRects_))
                    boxDrawing_.draw(painter, text[0], cell, run.style->foreground);
                continue;
            }
            if (glyph != 0) {
                glyphs.push_back(glyph);
                positions.push_back(pos);
                continue;
            }
            // Not in the terminal's font (or several code points): Qt's fallback, in its own cells.
            if (!penSet) {
                painter->setPen(run.style->foreground);
                penSet = true;
            }
            const int span = std::max<int>(1, line[col].width);
            drawCluster(painter, variant, text, QRectF(pos.x(), y, cw * span, ch), baseline);
        }
        for (const QRect& r : boxRects_)
            painter->fillRect(r, run.style->foreground);
        boxRects_.clear();
        if (!glyphs.isEmpty()) {
            QGlyphRun gr;
            gr.setRawFont(rawFonts_[size_t(variant)]);
            gr.setGlyphIndexes(glyphs);
            gr.setPositions(positions);
            painter->setPen(run.style->foreground);
            painter->drawGlyphRun(QPointF(0, 0), gr);
        }
        drawRunDecorations(painter, run, y);
    }

    for (const auto& image : info.images) {
        auto* stripe = dynamic_cast<AppleImage*>(image.get());
        if (!stripe || stripe->image.isNull())
            continue;
        const qreal left = cw * stripe->col();
        const qreal w = stripe->pixelWidth();
        if (stripe->shownSpans().empty()) {
            painter->drawImage(QRectF(left, y, w, stripe->pixelHeight()), stripe->image);
            continue;
        }
        // Only the columns no later image covers: a new image replaces what it covers.
        const qreal sx = stripe->image.width() / std::max(w, 1.0);
        const qreal sy = stripe->image.height() / std::max(qreal(stripe->pixelHeight()), 1.0);
        for (const auto& [first, last] : stripe->shownSpans()) {
            const qreal from = std::min(first * cw, w);
            const qreal to = std::min(last * cw, w);
            if (to > from)
                painter->drawImage(QRectF(left + from, y, to - from, stripe->pixelHeight()), stripe->image,
                                   QRectF(from * sx, 0, (to - from) * sx, stripe->pixelHeight() * sy));
        }
    }

    if (mode != BufferLine::RenderLineMode::single)
        painter->restore();
    Q_UNUSED(dirtyRect);
}

QRect TerminalView::cellRect(int col, qreal rowTop) const
{
    // Whole pixels, each cell's right edge the next one's left edge.
    const qreal cw = cellDimension->width();
    const int x0 = int(std::lround(cw * col));
    const int y0 = int(std::lround(rowTop));
    return QRect(x0, y0, int(std::lround(cw * (col + 1))) - x0, int(std::lround(rowTop + cellDimension->height())) - y0);
}

void TerminalView::drawRunDecorations(QPainter* painter, const ViewLineInfo::Run& run, qreal rowTop)
{
    const RunStyle& rs = *run.style;
    if (rs.underlineStyle == 0 && !rs.strikethrough)
        return;
    const qreal cw = cellDimension->width();
    const qreal ch = cellDimension->height();
    const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const qreal thickness = std::max(0.5, std::round(underlineThickness_ * dpr) / dpr);
    const qreal baseline = rowTop + ch - baselineFromBottom_;
    const qreal span = std::ceil(cw);
    if (rs.underlineStyle != 0) {
        const QColor color = rs.underlineColor.isValid() ? rs.underlineColor : defaultForeground();
        // Keep the line inside the row even for fonts whose underline sits in the descent's edge.
        const qreal uy = std::min(baseline + underlinePos_, rowTop + ch - thickness);
        const bool dashed = (rs.underlineStyle & 0x200) != 0;
        for (int i = 0; i < run.count; ++i) {
            const qreal x = cw * (run.startCol + i);
            if (!dashed) {
                painter->fillRect(QRectF(x, uy, span, thickness), color);
                continue;
            }
            // Hyperlinks: 2 on, 2 off, starting at each cell's left edge.
            for (qreal dx = 0; dx < span; dx += 4)
                painter->fillRect(QRectF(x + dx, uy, std::min<qreal>(2, span - dx), thickness), color);
        }
    }
    if (rs.strikethrough) {
        const QColor color = rs.strikethroughColor.isValid() ? rs.strikethroughColor : defaultForeground();
        const qreal sy = baseline - strikeOutPos_;
        painter->fillRect(QRectF(cw * run.startCol, sy, cw * run.count, thickness), color);
    }
}
