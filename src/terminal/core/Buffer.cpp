#include "Buffer.h"

#include "Diagnostics.h"

#include <algorithm>
#include <climits>
#include <string>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace termcore {

namespace {
// Every buffer alive, for the collection of shared codes (main thread only, like the tables).
// Never destroyed, so a buffer outliving static destruction still finds it.
std::vector<Buffer*>& liveBuffers()
{
    static auto* buffers = new std::vector<Buffer*>();
    return *buffers;
}
} // namespace

template <typename F>
void Buffer::forEachHeldCell(F&& visit) const
{
    const CircularBufferLineList& lines = lines_;
    for (int i = 0; i < lines.count(); i++)
        if (const BufferLine* line = lines.peek(i))
            for (const CharData& cell : line->getData())
                visit(cell);
    if (cursorLineKeep_)
        for (const std::vector<CharData>& cells : cursorLineKeep_->cells)
            for (const CharData& cell : cells)
                visit(cell);
}

Buffer::Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback)
    : cols_(std::max(cols, 1)), rows_(std::max(rows, 1)), scrollback_(scrollback)
{
    if (scrollback_ && *scrollback_ < 0)
        scrollback_ = 0;
    scrollBottom_ = rows_ - 1;
    scroll = [](bool) { engineFatal("This should be set after creating a buffer"); };
    makeRing(getCorrectBufferLength(rows_));
    setupTabStops(-1, tabStopWidth);
    liveBuffers().push_back(this);
}

Buffer::~Buffer()
{
    auto& live = liveBuffers();
    live.erase(std::find(live.begin(), live.end(), this));
    bool holdsShared = false;
    forEachHeldCell([&](const CharData& cell) {
        holdsShared = holdsShared || cell.hasPayload() || cell.code >= CharData::firstClusterCode;
    });
    if (holdsShared)
        collectUnusedCodes();
}

void Buffer::collectUnusedCodes()
{
    reclaimCodes(0);
}

void Buffer::reclaimCodes(size_t wanted)
{
    std::vector<bool> payloads(size_t(TinyAtom::maxCode) + 1);
    std::vector<bool> open(size_t(TinyAtom::maxCode) + 1);
    std::vector<int32_t> clusters;
    for (const Buffer* b : liveBuffers()) {
        b->forEachHeldCell([&](const CharData& cell) {
            if (cell.code >= CharData::firstClusterCode)
                clusters.push_back(cell.code);
            payloads[cell.payload.code] = true;
        });
        // The open link, before it reaches any cell.
        payloads[b->curPayload.code] = true;
        open[b->curPayload.code] = true;
    }
    std::sort(clusters.begin(), clusters.end());
    clusters.erase(std::unique(clusters.begin(), clusters.end()), clusters.end());
    size_t released = CharData::releaseClustersExcept(clusters) + TinyAtom::releaseExcept(payloads);
    if (const size_t free = TinyAtom::freeCount(); free < wanted) {
        // Every code is held by some cell: the oldest links make room for the new ones. A
        // second pass clears them from their cells, which must never lead to whatever link
        // takes their code next.
        std::vector<bool>& taken = payloads;
        std::fill(taken.begin(), taken.end(), false);
        if (const size_t oldest = TinyAtom::releaseOldest(wanted - free, open, taken); oldest > 0) {
            released += oldest;
            for (Buffer* b : liveBuffers()) {
                CircularBufferLineList& lines = b->lines_;
                for (int i = 0; i < lines.count(); i++)
                    if (BufferLine* line = lines.peek(i))
                        line->dropPayloads(taken);
                if (b->cursorLineKeep_)
                    for (std::vector<CharData>& cells : b->cursorLineKeep_->cells)
                        for (CharData& cell : cells)
                            if (taken[cell.payload.code])
                                cell.payload = TinyAtom();
            }
        }
    }
#ifdef __GLIBC__
    // Freed clusters and addresses are many small blocks amid live ones: without a trim the heap
    // keeps them resident, and a long-running app would never shrink after a hostile pane closes.
    if (released > 0)
        malloc_trim(0);
#endif
}

void Buffer::makeRing(int capacity)
{
    lines_ = CircularBufferLineList(capacity);
    // Rows are made on first read, in the buffer's current width, so a large scrollback does
    // not allocate rows it never shows.
    lines_.makeEmpty = [this](int) {
        return std::make_shared<BufferLine>(std::max(cols_, resizeCols_), CharData::Null, false);
    };
}

int Buffer::getCorrectBufferLength(int rows) const
{
    if (!scrollback_)
        return rows;
    long long total = (long long)rows + (long long)*scrollback_;
    return int(std::min<long long>(total, INT32_MAX));
}

BufferLinePtr Buffer::getBlankLine(const Attribute& attribute, bool isWrapped) const
{
    return std::make_shared<BufferLine>(cols_, CharData(0, 1, attribute), isWrapped);
}

CharData Buffer::getNullCell(std::optional<Attribute> attribute)
{
    return CharData(' ', 1, attribute.value_or(Attribute::empty));
}

CharData Buffer::getChar(Position at) const
{
    return getCharAtBufferRelative(Position{at.col, yDisp_ + at.row});
}

CharData Buffer::getCharAtBufferRelative(Position at) const
{
    if (at.row < 0 || at.row >= lines_.count())
        return CharData::Null;
    const BufferLine* line = lines_.peek(at.row);
    if (!line || at.col < 0 || at.col >= line->count())
        return CharData::Null;
    return line->cellAt(at.col);
}

void Buffer::fillViewportRows(std::optional<Attribute> attribute)
{
    if (lines_.count() != 0)
        return;
    const Attribute attr = attribute.value_or(Attribute());
    for (int i = 0; i < rows_; ++i)
        lines_.push(getBlankLine(attr, false));
}

void Buffer::clear()
{
    yDisp_ = 0;
    linesTop = 0;
    xBase = 0;
    x_ = 0;
    y_ = 0;
    makeRing(getCorrectBufferLength(rows_));
    scrollTop_ = 0;
    scrollBottom_ = rows_ - 1;
}

void Buffer::softReset()
{
    cursorSaved = false;
    savedAttr = Attribute();
    savedY = 0;
    savedX = 0;
    savedCharset.reset();
    marginLeft_ = 0;
    marginRight_ = cols_ - 1;
    savedOriginMode = false;
    savedMarginMode = false;
    savedWraparound = false;
    savedReverseWraparound = false;
}

void Buffer::setupTabStops(int index, int tabStopWidth)
{
    int first;
    if (index == -1) {
        tabStops.assign(size_t(cols_), false);
        first = 0;
    } else {
        if (int(tabStops.size()) > cols_)
            tabStops.resize(size_t(cols_));
        else if (int(tabStops.size()) < cols_)
            tabStops.resize(size_t(cols_), false); // the resize path grows it first; be safe
        int i = std::max(std::min(cols_ - 1, index), 0);
        first = tabStops[size_t(i)] ? i : previousTabStop(i);
    }
    if (tabStopWidth <= 0)
        return; // no stops for a meaningless width
    for (int i = first; i < cols_; i += tabStopWidth)
        tabStops[size_t(i)] = true;
}

void Buffer::tabSet(int pos)
{
    if (pos >= 0 && pos < int(tabStops.size()))
        tabStops[size_t(pos)] = true;
}

void Buffer::tabClear(int pos)
{
    if (pos >= 0 && pos < int(tabStops.size()))
        tabStops[size_t(pos)] = false;
}

int Buffer::nextTabStop(bool inMarginMode, int index) const
{
    const int limit = inMarginMode ? marginRight_ : cols_ - 1;
    int i = index == -1 ? x_ : index;
    const int stops = int(tabStops.size());
    for (++i; i < limit; ++i) {
        if (i >= 0 && i < stops && tabStops[size_t(i)])
            return i;
    }
    return limit;
}

int Buffer::previousTabStop(int index) const
{
    int i = index == -1 ? x_ : index;
    const int stops = int(tabStops.size());
    for (int j = std::min(i - 1, stops - 1); j >= 0; --j) {
        if (tabStops[size_t(j)])
            return std::min(j, cols_ - 1);
    }
    return 0;
}

void Buffer::insertCharacterSlow(const CharData& charData)
{
    const int width = charData.width;
    // The right limit is the right margin in DECLRMM, else the last column. Margins are stored
    // as given by the interpreter; clamp them here so that a bad value cannot address a cell
    // outside the row.
    const int right = marginMode ? std::clamp(marginRight_, 0, cols_ - 1) : cols_ - 1;

    // A zero-width character still needs a column: at the pending-wrap position it wraps like
    // any other instead of overwriting the last cell.
    if (x_ + std::max(width, 1) - 1 > right) {
        if (wraparound) {
            x_ = marginMode ? std::clamp(marginLeft_, 0, right) : 0;
            if (y_ >= scrollBottom_) {
                scroll(true);
            } else {
                ++y_;
                lines_[yBase_ + y_].isWrapped = true;
            }
        } else {
            if (width == 2)
                return; // a double-width character cannot start at the limit
            x_ = right;
        }
    }

    BufferLine& line = lines_[yBase_ + y_];
    const CharData fill(0, 1, curAttr);
    if (insertMode) {
        line.insertCells(x_, width, right, fill);
        // No half of a wide character may hang at the edge after the shift.
        if (line.count() >= cols_ && line.cellAt(cols_ - 1).width == 2)
            line.set(cols_ - 1, fill);
    }
    lastBufferStorage = {yBase_ + y_, x_, cols_, rows_};
    if (x_ >= cols_)
        x_ = cols_ - 1;
    // (In insert mode insertCells has already kept wide characters whole.)
    if (const int w = std::clamp(width, 1, cols_ - x_); !insertMode && x_ + w <= line.count())
        keepWideWhole(line, x_, w);
    line.set(x_, charData);
    ++x_;
    // The columns covered by a wide character hold empty cells in the current attribute (and
    // the open link: they are part of the character).
    for (int i = 1; i < width && x_ < cols_; ++i) {
        line.set(x_, CharData(0, 1, curAttr, curPayload));
        ++x_;
    }
    // Without autowrap there is no wrap pending at a right margin: the cursor stays on it (the
    // column past it is an ordinary column, which relative moves and reports would take).
    if (marginMode && !wraparound && x_ > right)
        x_ = right;
}

void Buffer::resize(int newCols, int newRows)
{
    newCols = std::max(newCols, 1);
    newRows = std::max(newRows, 1);
    CircularBufferLineList& ring = lines_;
    const CharData fill = CharData::Null;
    const int oldCols = cols_;

    // The line under the cursor: kept before a narrowing cuts it, given back when the width
    // grows again with the line as the narrowing left it (CursorLineKeep).
    if (isReflowEnabled()) {
        if (!cursorLineUnchanged())
            cursorLineKeep_.reset();
        if (newCols < cols_ && !cursorLineKeep_ && ring.count() > 0)
            keepCursorLine(newCols);
    }
    resizeCols_ = newCols;

    // 1. Left and right margins span the new width, as xterm resets them on a resize (like the
    // scroll region below). Only narrowed, margins set at a small width stayed small for good:
    // a terminal made at its minimum width and then sized kept columns 1-2, and margin mode
    // wrapped every line after two columns.
    marginLeft_ = 0;
    marginRight_ = newCols - 1;

    // 2. Capacity grows now, shrinks after the rows have moved.
    const int newMaxLength = getCorrectBufferLength(newRows);
    if (newMaxLength > ring.maxLength())
        ring.setMaxLength(newMaxLength);

    // With reflow, widening leaves the cells of scrollback rows as they are: the reflow widens
    // the rows it moves text into and widens the rest lazily (they read as empty past their
    // stored cells), and the screen's rows are widened at the end. The cost is then in the rows
    // the reflow moves text in, not in the length of the history.
    const bool lazyWidening = isReflowEnabled() && newCols > cols_;

    int addToY = 0;
    if (ring.count() > 0) {
        // 4. Without reflow, widen every row that exists; slots never filled get rows of the
        // new width when they are first read.
        if (cols_ < newCols && !lazyWidening) {
            for (const auto& row : ring.getArray()) {
                if (row)
                    row->resize(newCols, fill);
            }
        }

        // 5. Height shrinking: move the screen down over the cursor row, or drop blank rows
        // below the cursor.
        if (rows_ > newRows) {
            for (int r = rows_; r > newRows; --r) {
                if (ring.count() <= yBase_ + newRows)
                    break;
                if (yBase_ + y_ + 1 >= ring.count()) {
                    ++yBase_;
                    ++yDisp_;
                } else {
                    ring.pop();
                }
            }
        }

        // 6. Height growing: pull scrollback rows back onto the screen while there are any,
        // else append blank rows.
        if (rows_ < newRows) {
            for (int r = rows_; r < newRows; ++r) {
                if (ring.count() >= yBase_ + newRows)
                    break;
                if (yBase_ > 0 && yBase_ + r + addToY + 1 >= ring.count()) {
                    --yBase_;
                    ++addToY;
                    if (yDisp_ > 0)
                        --yDisp_;
                } else {
                    ring.push(std::make_shared<BufferLine>(newCols, fill));
                }
            }
        }

        // 7. Capacity shrinking drops the oldest scrollback.
        if (newMaxLength < ring.maxLength()) {
            const int n = ring.count() - newMaxLength;
            if (n > 0) {
                ring.trimStart(n);
                yBase_ = std::max(yBase_ - n, 0);
                yDisp_ = std::max(yDisp_ - n, 0);
                savedY = std::max(savedY - n, 0);
            }
            ring.setMaxLength(newMaxLength);
        }

        // 8. Cursor and scroll region. A wrap pending at the end of a row stays pending while
        // the width stays (a change of height alone).
        x_ = std::min(x_, newCols == cols_ ? newCols : newCols - 1);
        y_ = std::min(y_, newRows - 1) + addToY;
        savedX = std::min(savedX, newCols - 1);
        scrollTop_ = 0;
        scrollBottom_ = newRows - 1;
    } else {
        // 3. No rows yet: only the region's bottom follows.
        scrollBottom_ = newRows - 1;
        if (newMaxLength < ring.maxLength())
            ring.setMaxLength(newMaxLength);
    }

    // 9. Tab stops follow the width; the interpreter then calls setupTabStops.
    tabStops.resize(size_t(newCols), false);

    // 10. Reflow (normal screen only), then cut rows to the new width.
    if (isReflowEnabled() && newCols != cols_ && ring.count() > 0) {
        if (newCols > cols_)
            reflowWider(cols_, newCols, newRows);
        else
            reflowNarrower(cols_, newCols, newRows);
        // The narrowing cut its own rows; the rows out of use past them are cut here.
        if (newCols < cols_) {
            for (int i = ring.count(); i < int(ring.getArray().size()); ++i) {
                if (BufferLine* row = ring.peek(i))
                    cutToWidth(*row, newCols);
            }
        }
    }

    // 11. Every row of the screen is as wide as the screen (rows left out of use, narrower ones
    // included, are sized by whoever takes them again).
    for (int i = std::max(yBase_, 0); i < ring.count(); ++i) {
        BufferLine* row = ring.peek(i);
        if (row)
            row->widenTo(newCols);
        if (row && row->count() < newCols) {
            engineFatal("stop here newCols=" + std::to_string(newCols) +
                        " but the element has: " + std::to_string(row->count()));
        }
    }

    if (cursorLineKeep_) {
        if (newCols > oldCols)
            restoreCursorLine(oldCols, newCols);
        if (cursorLineKeep_)
            cursorLineKeep_->shownX = x_;
    }

    // 12.
    resizeCols_ = 0;
    cols_ = newCols;
    rows_ = newRows;
}

} // namespace termcore
