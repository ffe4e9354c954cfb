// Erasing, insertion and deletion of characters, lines and columns, scrolling within the
// region, index/reverse index, back/forward index, line render modes and the alignment test.
#include "Diagnostics.h"
#include "Terminal.h"
#include "TerminalCommandSupport.h"

#include <algorithm>

namespace termcore {

using commands::countParam;
using commands::param;

namespace {
using CellColor = Attribute::Color;

int effectiveLeft(const Buffer& b, bool marginMode) { return marginMode ? b.marginLeft() : 0; }
int effectiveRight(const Buffer& b, bool marginMode) { return marginMode ? b.marginRight() : b.cols() - 1; }

CharData cellOf(char32_t code, const Attribute& attr) { return CharData(int32_t(code), 1, attr); }

// Moves the columns [left, right] of `src` into `dst`.
void copyColumns(BufferLine& dst, const BufferLine& src, int left, int right)
{
    if (right >= left)
        dst.copyFrom(src, left, left, right - left + 1);
}

void fillColumns(BufferLine& line, const CharData& fill, int left, int right)
{
    if (right >= left)
        line.fill(fill, left, right - left + 1);
}

// Cells [from, to) of the row become `fill`; a double-width character of which only one half
// is inside goes whole, as in xterm.
void eraseCells(BufferLine& line, int from, int to, const CharData& fill)
{
    line.splitWide(from, fill);
    line.splitWide(to, fill);
    line.replaceCells(from, to, fill);
}
} // namespace

void Terminal::resetBufferLine(int y)
{
    Buffer& b = buffer();
    BufferLine& line = b.lines()[b.yBase() + y];
    line.clearImages();
    line.fill(eraseCell());
    line.isWrapped = false;
    line.renderMode = BufferLine::RenderLineMode::single;
    updateRange(y);
}

BufferLinePtr Terminal::makeEraseLine(const CharData& fill) const
{
    return std::make_shared<BufferLine>(buffer().cols(), fill, false);
}

void Terminal::cmdEraseInDisplay(ParamSpan pars, ByteSpan)
{
    // DECSED (CSI ? J) is the same command: there is no protected-cell state.
    Buffer& b = buffer();
    const int y = b.y();
    switch (param(pars, 0)) {
    case 0: {
        updateRange(y);
        BufferLine& line = b.lines()[b.yBase() + y];
        line.clearImages();
        eraseCells(line, b.x(), cols(), eraseCell());
        if (b.x() == 0)
            line.isWrapped = false;
        for (int row = y + 1; row < rows(); row++)
            resetBufferLine(row);
        updateRange(rows() - 1);
        break;
    }
    case 1: {
        updateRange(y);
        BufferLine& line = b.lines()[b.yBase() + y];
        line.clearImages();
        eraseCells(line, 0, b.x() + 1, eraseCell());
        line.isWrapped = false;
        // Erasing through the last column ends the row, so the row below no longer continues it.
        if (b.x() + 1 >= cols() && y + 1 < rows())
            b.lines()[b.yBase() + y + 1].isWrapped = false;
        for (int row = y - 1; row >= 0; row--)
            resetBufferLine(row);
        updateRange(0);
        break;
    }
    case 2:
        updateRange(rows() - 1);
        for (int row = rows() - 1; row >= 0; row--)
            resetBufferLine(row);
        updateRange(0);
        break;
    case 3: {
        // Erase the scrollback (xterm); the visible screen is left alone.
        CircularBufferLineList& lines = b.lines();
        const int k = lines.count() - rows();
        if (k < 1)
            break;
        lines.trimStart(k);
        b.linesTop = 0;
        b.setYBase(std::max(b.yBase() - k, 0));
        b.setYDisp(std::max(b.yDisp() - k, 0));
        break;
    }
    default:
        break;
    }
}

void Terminal::cmdEraseInLine(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    BufferLine& line = b.lines()[b.yBase() + b.y()];
    int from = 0;
    int to = 0;
    switch (param(pars, 0)) {
    case 0:
        from = b.x();
        to = cols();
        break;
    case 1:
        from = 0;
        to = b.x() + 1;
        break;
    case 2:
        from = 0;
        to = cols();
        break;
    default:
        updateRange(b.y());
        return;
    }
    line.clearImages();
    eraseCells(line, from, to, eraseCell());
    updateRange(b.y());
}

void Terminal::cmdEraseChars(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int n = std::min(countParam(pars), cols());
    eraseCells(b.lines()[b.yBase() + b.y()], b.x(), b.x() + n, eraseCell());
    updateRange(b.y());
}

void Terminal::cmdInsertChars(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    if (marginMode && (b.x() < b.marginLeft() || b.x() > b.marginRight()))
        return;
    const int n = countParam(pars);
    const int right = marginMode ? b.marginRight() : cols() - 1;
    // In the pending-wrap column the cursor still stands on the last column; passed on as
    // `cols` the row would take it modulo the width and insert at column 0.
    const int at = std::min(b.x(), cols() - 1);
    b.lines()[b.yBase() + b.y()].insertCells(at, n, right, eraseCell());
    updateRange(b.y());
}

void Terminal::cmdDeleteChars(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    int n = countParam(pars);
    if (marginMode) {
        if (b.x() < b.marginLeft() || b.x() > b.marginRight())
            return;
        n = std::min(n, b.marginRight() - b.x() + 1);
    }
    if (b.x() >= b.cols())
        return; // pending wrap: there is no cell under the cursor
    const int right = marginMode ? b.marginRight() : cols() - 1;
    b.lines()[b.yBase() + b.y()].deleteCells(b.x(), n, right, eraseCell());
    updateRange(b.y());
}

// Rows [from, bottom] of the screen move down by n inside that block; the n rows opened at
// `from` become blank rows. Inserting more rows than the block holds only blanks it, so the
// count is cut to the block: a huge parameter costs no more than a full one. The rows pushed
// out of the block are reused as the new blank rows, so a stream of IL/DL allocates nothing.
void Terminal::shiftRowsDown(int from, int bottom, int n, const CharData& fill)
{
    n = std::min(n, bottom - from + 1);
    if (n <= 0)
        return;
    rotateRows(from, bottom, bottom - n + 1, fill, from, n);
}

// Rows [from, bottom] move up by n inside the block; the n rows opened at the bottom are blank.
void Terminal::shiftRowsUp(int from, int bottom, int n, const CharData& fill)
{
    n = std::min(n, bottom - from + 1);
    if (n <= 0)
        return;
    rotateRows(from, bottom, from + n, fill, bottom - n + 1, n);
}

// Rotates the row objects of screen rows [from, bottom] so that the row at `newFirst` comes
// first, then blanks the `count` rows starting at `blankAt`.
void Terminal::rotateRows(int from, int bottom, int newFirst, const CharData& fill, int blankAt, int count)
{
    Buffer& b = buffer();
    CircularBufferLineList& lines = b.lines();
    const int base = b.yBase();
    // Only the slots' pointers move.
    lines.rotate(base + from, base + newFirst, base + bottom + 1);
    for (int row = blankAt; row < blankAt + count; row++) {
        const BufferLinePtr& line = lines.line(base + row);
        // A row object shared with another slot, or of another width, is replaced, not reused.
        if (line.use_count() != 1 || line->count() != b.cols()) {
            lines.set(base + row, makeEraseLine(fill));
            continue;
        }
        line->fill(fill);
        line->fillCharacter = fill;
        line->isWrapped = false;
        line->renderMode = BufferLine::RenderLineMode::single;
        line->clearImages();
    }
}

// Before the columns [left, right] of rows [from, bottom] move: a double-width character
// across either margin would leave one half behind, so it goes whole.
static void splitWideAtMargins(CircularBufferLineList& lines, int from, int bottom, int left, int right, const CharData& fill)
{
    for (int row = from; row <= bottom; row++) {
        lines[row].splitWide(left, fill);
        lines[row].splitWide(right + 1, fill);
    }
}

// The same moves restricted to the columns [left, right] (left/right margin mode): cells are
// copied between rows and the row flags stay where they are.
void Terminal::shiftColumnsDown(int from, int bottom, int n, int left, int right, const CharData& fill)
{
    Buffer& b = buffer();
    CircularBufferLineList& lines = b.lines();
    n = std::min(n, bottom - from + 1);
    if (n <= 0)
        return;
    const int base = b.yBase();
    splitWideAtMargins(lines, base + from, base + bottom, left, right, fill);
    for (int row = bottom; row >= from + n; row--)
        copyColumns(lines[base + row], lines[base + row - n], left, right);
    for (int row = from; row < from + n; row++)
        fillColumns(lines[base + row], fill, left, right);
}

void Terminal::shiftColumnsUp(int from, int bottom, int n, int left, int right, const CharData& fill)
{
    Buffer& b = buffer();
    CircularBufferLineList& lines = b.lines();
    n = std::min(n, bottom - from + 1);
    if (n <= 0)
        return;
    const int base = b.yBase();
    splitWideAtMargins(lines, base + from, base + bottom, left, right, fill);
    for (int row = from; row + n <= bottom; row++)
        copyColumns(lines[base + row], lines[base + row + n], left, right);
    for (int row = bottom - n + 1; row <= bottom; row++)
        fillColumns(lines[base + row], fill, left, right);
}

void Terminal::cmdInsertLines(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int y = b.y();
    if (y < b.scrollTop() || y > b.scrollBottom())
        return;
    const int n = countParam(pars);
    if (!marginMode) {
        shiftRowsDown(y, b.scrollBottom(), n, eraseCell());
    } else if (b.x() >= b.marginLeft() && b.x() <= b.marginRight()) {
        shiftColumnsDown(y, b.scrollBottom(), n, b.marginLeft(), b.marginRight(), eraseCell());
    }
    updateRange(y);
    updateRange(b.scrollBottom());
}

void Terminal::cmdDeleteLines(ParamSpan pars, ByteSpan)
{
    restrictCursor(true);
    Buffer& b = buffer();
    const int y = b.y();
    const int n = countParam(pars);
    if (y < b.scrollTop() || y > b.scrollBottom())
        return;
    if (!marginMode) {
        shiftRowsUp(y, b.scrollBottom(), n, eraseCell());
    } else if (b.x() >= b.marginLeft() && b.x() <= b.marginRight()) {
        shiftColumnsUp(y, b.scrollBottom(), n, b.marginLeft(), b.marginRight(), eraseCell());
    }
    updateRange(y);
    updateRange(b.scrollBottom());
}

void Terminal::cmdScrollUp(ParamSpan pars, ByteSpan)
{
    // SU scrolls only the region: rows leaving its top are dropped, never kept as scrollback.
    Buffer& b = buffer();
    const int n = countParam(pars);
    const CharData blank = CharData::Null;
    if (!marginMode)
        shiftRowsUp(b.scrollTop(), b.scrollBottom(), n, blank);
    else
        shiftColumnsUp(b.scrollTop(), b.scrollBottom(), n, b.marginLeft(), b.marginRight(), blank);
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::cmdScrollDown(ParamSpan pars, ByteSpan collect)
{
    if (!collect.empty())
        return;
    Buffer& b = buffer();
    const int n = countParam(pars);
    const int left = effectiveLeft(b, marginMode);
    const int right = effectiveRight(b, marginMode);
    if (left == 0 && right == b.cols() - 1) {
        // The whole width moves: move the row objects instead of their cells, then put the row
        // flags back where they were, since SD moves only cells.
        const int top = b.scrollTop();
        const int bottom = b.scrollBottom();
        flagScratch_.clear();
        for (int row = top; row <= bottom; row++) {
            const BufferLine& line = b.lines()[b.yBase() + row];
            flagScratch_.emplace_back(line.isWrapped, line.renderMode);
        }
        shiftRowsDown(top, bottom, n, CharData::Null);
        for (int row = top; row <= bottom; row++) {
            BufferLine& line = b.lines()[b.yBase() + row];
            line.isWrapped = flagScratch_[size_t(row - top)].first;
            line.renderMode = flagScratch_[size_t(row - top)].second;
        }
    } else {
        shiftColumnsDown(b.scrollTop(), b.scrollBottom(), n, left, right, CharData::Null);
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::csiCloseBrace(ParamSpan pars, ByteSpan collect)
{
    if (commands::collectIs(collect, "'"))
        cmdInsertColumns(pars, collect);
    else if (closeBraceFallback_)
        closeBraceFallback_(pars, collect);
}

void Terminal::cmdInsertColumns(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int n = countParam(pars);
    if ((marginMode && b.x() < b.marginLeft()) || b.x() > effectiveRight(b, marginMode))
        return;
    const CharData fill = cellOf(' ', Attribute(CellColor::defaultColor(), CellColor::defaultInvertedColor(), CharacterStyle::none));
    const int right = effectiveRight(b, marginMode);
    for (int row = b.scrollTop(); row <= b.scrollBottom(); row++) {
        BufferLine& line = b.lines()[b.yBase() + row];
        line.insertCells(b.x(), n, right, fill);
        line.isWrapped = false;
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::cmdDeleteColumns(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    if (b.y() < b.scrollTop() || b.y() > b.scrollBottom() || b.x() >= b.cols())
        return;
    if (marginMode && (b.x() < b.marginLeft() || b.x() > b.marginRight()))
        return;
    const int n = countParam(pars);
    const CharData fill = cellOf(' ', Attribute(CellColor::defaultColor(), curAttr.bg, CharacterStyle::none));
    const int right = effectiveRight(b, marginMode);
    for (int row = b.scrollTop(); row <= b.scrollBottom(); row++) {
        BufferLine& line = b.lines()[b.yBase() + row];
        line.deleteCells(b.x(), n, right, fill);
        line.isWrapped = false;
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::columnIndex(bool back)
{
    Buffer& b = buffer();
    if (back) {
        if (b.x() != effectiveLeft(b, marginMode))
            cursorBackward(1);
        else
            columnScroll(true, effectiveLeft(b, marginMode));
    } else {
        // In the pending-wrap position after a full row the cursor stands on the last column.
        if (b.x() == b.cols())
            b.setX(b.cols() - 1);
        if (b.x() != effectiveRight(b, marginMode)) {
            if (b.x() != b.cols())
                cursorForward(1);
        } else {
            columnScroll(false, effectiveLeft(b, marginMode));
        }
    }
}

void Terminal::columnScroll(bool back, int at)
{
    Buffer& b = buffer();
    if (b.y() < b.scrollTop() || b.y() > b.scrollBottom())
        return;
    if (b.x() < effectiveLeft(b, marginMode) || b.x() > effectiveRight(b, marginMode))
        return;
    const int right = effectiveRight(b, marginMode);
    const CharData inserted = cellOf(' ', Attribute(CellColor::defaultColor(), CellColor::defaultInvertedColor(), CharacterStyle::none));
    const CharData deleted = cellOf(' ', Attribute(CellColor::defaultColor(), curAttr.bg, CharacterStyle::none));
    for (int row = b.scrollTop(); row <= b.scrollBottom(); row++) {
        BufferLine& line = b.lines()[b.yBase() + row];
        if (back)
            line.insertCells(at, 1, right, inserted);
        else
            line.deleteCells(at, 1, right, deleted);
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::reverseIndex()
{
    restrictCursor(true);
    Buffer& b = buffer();
    if (b.y() == b.scrollTop()) {
        // The margin rules of the line feed: beside the margins nothing scrolls, and between
        // narrowed margins only their columns move down.
        if (!cursorBetweenMargins())
            return;
        if (scrollsBetweenMargins()) {
            shiftColumnsDown(b.scrollTop(), b.scrollBottom(), 1, b.marginLeft(), b.marginRight(), eraseCell());
            updateRange(b.scrollBottom());
            updateRange(b.scrollTop());
            return;
        }
        // The region's rows rotate down by one and the row pushed out at the bottom becomes
        // the blank top row: a stream of reverse indexes allocates nothing.
        shiftRowsDown(b.y(), b.scrollBottom(), 1, eraseCell());
        updateRange(b.scrollBottom());
        updateRange(b.scrollTop());
    } else if (b.y() >= 1) {
        b.setY(b.y() - 1);
    }
}

void Terminal::setLineRenderMode(BufferLine::RenderLineMode mode)
{
    Buffer& b = buffer();
    b.lines()[b.yBase() + b.y()].renderMode = mode;
    updateRange(b.y());
}

void Terminal::cmdScreenAlignmentPattern()
{
    const CharData fill = cellOf('E', Attribute(curAttr.fg, curAttr.bg, CharacterStyle::none));
    setCursor(0, 0);
    Buffer& b = buffer();
    for (int row = 0; row < rows(); row++) {
        BufferLine& line = b.lines()[b.yBase() + row];
        line.fill(fill);
        line.isWrapped = false;
    }
    updateFullScreen();
    setCursor(0, 0);
}

} // namespace termcore
