// Reflow of wrapped lines when the width of a buffer with scrollback changes: a wider screen pulls
// continuation text up into the rows above and drops rows left empty; a narrower one re-wraps long
// lines into more rows. The logical line that holds the cursor is never re-wrapped, so the shell's
// own redraw of the prompt line lands where it expects; what a narrowing cut off it comes back
// when the width does, unless the line changed meanwhile (CursorLineKeep).
#include "Buffer.h"

#include <algorithm>

namespace termcore {

namespace {
// getTrimmedLength() <= cols, scanning from the left: a row with text past cols stops at once.
bool fitsIn(const BufferLine& line, int cols)
{
    const auto& cells = line.getData();
    for (size_t i = size_t(std::max(cols, 0)); i < size_t(line.textEnd()); ++i) {
        if (cells[i].code != 0)
            return false;
    }
    return true;
}

// getTrimmedLength() == 0.
bool hasNoText(const BufferLine& line)
{
    return fitsIn(line, 0);
}

// The walks over a long history miss the cache at every row, first on the row object, then on
// its cells. Fetching the objects some rows ahead, and the cells of rows nearer (whose objects
// have arrived by then), overlaps those misses with the work on the current row.
void prefetchAhead(const CircularBufferLineList& ring, int objectIndex, int cellsIndex)
{
    const int n = ring.count();
    if (unsigned(objectIndex) < unsigned(n))
        __builtin_prefetch(ring.peek(objectIndex));
    if (unsigned(cellsIndex) < unsigned(n)) {
        if (const BufferLine* line = ring.peek(cellsIndex)) {
            const auto& cells = line->getData();
            if (!cells.empty()) {
                __builtin_prefetch(cells.data());
                // The trimmed length is scanned from the end of the text.
                if (line->textEnd() > 0)
                    __builtin_prefetch(&cells[size_t(line->textEnd() - 1)]);
            }
        }
    }
}

// A cell of a row, empty past its stored cells.
const CharData& cellOrNull(const BufferLine& row, int col)
{
    return col < row.count() ? row.cellAt(col) : CharData::Null;
}
} // namespace

std::pair<int, int> Buffer::logicalLineAround(int row)
{
    int first = row;
    while (first > 0 && lines_[first].isWrapped)
        --first;
    int last = row;
    while (last + 1 < lines_.count() && lines_[last + 1].isWrapped)
        ++last;
    return {first, last};
}

bool Buffer::cursorLineUnchanged()
{
    if (!cursorLineKeep_)
        return false;
    const CursorLineKeep& kept = *cursorLineKeep_;
    const int cursor = yBase_ + y_;
    if (x_ != kept.shownX || cursor < 0 || cursor >= lines_.count())
        return false;
    const auto [first, last] = logicalLineAround(cursor);
    if (last - first + 1 != int(kept.rows.size()) || cursor - first != kept.cursorRow)
        return false;
    for (int i = 0; i <= last - first; ++i) {
        const BufferLine& row = lines_[first + i];
        const std::vector<CharData>& cells = kept.cells[size_t(i)];
        if (&row != kept.rows[size_t(i)].get() || row.isWrapped != kept.wrapped[size_t(i)])
            return false;
        for (int c = 0; c < cols_; ++c) {
            if (cellOrNull(row, c) != (size_t(c) < cells.size() ? cells[size_t(c)] : CharData::Null))
                return false;
        }
    }
    return true;
}

void Buffer::keepCursorLine(int newCols)
{
    const int cursor = yBase_ + y_;
    if (cursor < 0 || cursor >= lines_.count())
        return;
    const auto [first, last] = logicalLineAround(cursor);
    bool cut = x_ > newCols - 1;
    for (int i = first; i <= last && !cut; ++i) {
        const BufferLine& row = lines_[i];
        for (int c = newCols; c < row.count() && !cut; ++c)
            cut = row.cellAt(c) != CharData::Null;
    }
    if (!cut)
        return;
    CursorLineKeep kept;
    for (int i = first; i <= last; ++i) {
        kept.rows.push_back(lines_.line(i));
        kept.cells.push_back(lines_[i].getData());
        kept.wrapped.push_back(lines_[i].isWrapped);
    }
    kept.cursorRow = cursor - first;
    kept.x = x_;
    kept.cols = cols_;
    cursorLineKeep_ = std::move(kept);
}

void Buffer::restoreCursorLine(int oldCols, int newCols)
{
    CursorLineKeep& kept = *cursorLineKeep_;
    for (size_t i = 0; i < kept.rows.size(); ++i) {
        BufferLine& row = *kept.rows[i];
        const std::vector<CharData>& cells = kept.cells[i];
        const int end = std::min(int(cells.size()), newCols);
        if (end <= oldCols)
            continue;
        row.widenTo(newCols);
        for (int c = oldCols; c < end; ++c)
            row.set(c, cells[size_t(c)]);
    }
    // A wrap that was pending at the end of the line is pending again at that same width.
    if (kept.x < newCols || (kept.x == newCols && kept.cols == newCols))
        x_ = kept.x;
    else
        x_ = newCols - 1;
    if (newCols >= kept.cols)
        cursorLineKeep_.reset(); // whole again
}

void Buffer::cutToWidth(BufferLine& row, int cols)
{
    if (row.count() > cols)
        row.resize(cols, CharData::Null);
    else
        row.narrowLazily(cols);
}

int Buffer::getWrappedLineTrimmedLength(const std::vector<BufferLine*>& wrappedLines, int i, int cols)
{
    const int n = int(wrappedLines.size());
    if (i < 0 || i >= n)
        return 0;
    if (i == n - 1)
        return wrappedLines[size_t(i)]->getTrimmedLength();
    // A wide character that did not fit at the end of a row wrapped as a whole and left an empty
    // cell behind: that cell is not part of the text.
    const BufferLine& line = *wrappedLines[size_t(i)];
    const bool endsInNullFiller = !line.hasContent(cols - 1) && line.getWidth(cols - 1) == 1;
    const bool followedByWide = wrappedLines[size_t(i + 1)]->getWidth(0) == 2;
    if (endsInNullFiller && followedByWide)
        return cols - 1;
    return cols;
}

std::vector<int> Buffer::getLinesToRemove(int oldCols, int newCols, int bufferAbsoluteY, const CharData& nullChar)
{
    std::vector<int> toRemove;
    CircularBufferLineList& ring = lines_;
    std::vector<BufferLine*> group;
    auto row = [&](int index) -> BufferLine& { return ring[index]; };
    // Rows keep their cells unless text moves into them; the rest read as widened.
    if (ring.count() > 0)
        row(0).widenLazily(newCols);
    for (int y = 0; y < ring.count() - 1; ++y) {
        prefetchAhead(ring, y + 17, y + 9);
        BufferLine& below = row(y + 1);
        below.widenLazily(newCols);
        if (!below.isWrapped)
            continue;
        group.clear();
        group.push_back(&row(y));
        int i = y + 1;
        // The row that ends the group is reached here, not by the walk's next step.
        for (; i < ring.count(); ++i) {
            BufferLine& next = row(i);
            next.widenLazily(newCols);
            if (!next.isWrapped)
                break;
            group.push_back(&next);
        }
        const int size = int(group.size());

        if (bufferAbsoluteY >= y && bufferAbsoluteY < i) {
            y += size - 1;
            continue;
        }

        // Rows an earlier widening left narrow are read at the old width; a row gets the new
        // width only when text moves into it (the rows emptied stay narrow, for reuse).
        for (BufferLine* line : group)
            line->widenTo(oldCols);

        const int lastLength = group.back()->getTrimmedLength();

        // Move the text up: destination and source walk the same logical line.
        int destLine = 0;
        int destCol = getWrappedLineTrimmedLength(group, 0, oldCols, lastLength);
        int srcLine = 1;
        int srcCol = 0;
        while (srcLine < size) {
            const int srcLength = getWrappedLineTrimmedLength(group, srcLine, oldCols, lastLength);
            const int cells = std::min(srcLength - srcCol, newCols - destCol);
            group[size_t(destLine)]->widenTo(newCols);
            group[size_t(destLine)]->copyFrom(*group[size_t(srcLine)], srcCol, destCol, cells);
            destCol += cells;
            if (destCol == newCols) {
                ++destLine;
                destCol = 0;
            }
            srcCol += cells;
            if (srcCol >= srcLength) {
                ++srcLine;
                srcCol = 0;
            }
            // A wide character must not straddle the new edge: it moves to the next row whole.
            if (destCol == 0 && destLine != 0 && destLine < size &&
                group[size_t(destLine - 1)]->getWidth(newCols - 1) == 2) {
                group[size_t(destLine)]->widenTo(newCols);
                group[size_t(destLine)]->copyFrom(*group[size_t(destLine - 1)], newCols - 1, destCol, 1);
                ++destCol;
                group[size_t(destLine - 1)]->replaceCells(newCols - 1, newCols, nullChar);
            }
        }
        if (destLine < size)
            group[size_t(destLine)]->replaceCells(destCol, newCols, nullChar);

        int countToRemove = 0;
        for (int ix = size - 1; ix > 0; --ix) {
            if (ix > destLine || hasNoText(*group[size_t(ix)]))
                ++countToRemove;
            else
                break;
        }
        if (countToRemove > 0) {
            toRemove.push_back(y + size - countToRemove);
            toRemove.push_back(countToRemove);
        }
        for (BufferLine* line : group)
            line->widenLazily(newCols); // the rows no text moved into
        y += size - 1;
    }
    return toRemove;
}

void Buffer::reflowWider(int oldCols, int newCols, int newRows)
{
    CircularBufferLineList& ring = lines_;
    const std::vector<int> toRemove = getLinesToRemove(oldCols, newCols, yBase_ + y_, CharData::Null);
    if (toRemove.empty())
        return;

    // The new layout: every row index not named by a removal pair, in order. The kept rows are
    // swapped into place, so the removed ones end up past the last row, ready for reuse.
    int countRemoved = 0;
    int kept = 0;
    size_t pair = 0;
    for (int i = 0; i < ring.count();) {
        if (pair + 1 < toRemove.size() && toRemove[pair] == i) {
            const int n = toRemove[pair + 1];
            countRemoved += n;
            i += n;
            pair += 2;
        } else {
            if (kept != i)
                ring.swapRows(kept, i);
            ++kept;
            ++i;
        }
    }
    ring.setCount(kept);

    // Keep the screen on the same text: consume scrollback first, then move the cursor up and
    // refill the bottom.
    for (int i = 0; i < countRemoved; ++i) {
        if (yBase_ > 0) {
            if (yDisp_ == yBase_)
                --yDisp_;
            --yBase_;
        } else {
            if (y_ > 0)
                --y_;
            if (ring.count() < newRows)
                ring.push(std::make_shared<BufferLine>(newCols, CharData::Null));
        }
    }
    savedY = std::max(savedY - countRemoved, 0);
}

std::vector<int> Buffer::getNewLineLengths(const std::vector<BufferLine*>& wrappedLines, int oldCols, int newCols)
{
    std::vector<int> lengths;
    getNewLineLengths(wrappedLines, oldCols, newCols, lengths);
    return lengths;
}

void Buffer::getNewLineLengths(const std::vector<BufferLine*>& wrappedLines, int oldCols, int newCols, std::vector<int>& lengths,
                               int lastLength)
{
    lengths.clear();
    const int size = int(wrappedLines.size());
    if (newCols < 1 || size == 0)
        return;
    if (lastLength < 0)
        lastLength = wrappedLines.back()->getTrimmedLength();
    int cellsNeeded = 0;
    for (int i = 0; i < size; ++i)
        cellsNeeded += getWrappedLineTrimmedLength(wrappedLines, i, oldCols, lastLength);

    int srcCol = 0;
    int srcLine = 0;
    int cellsAvailable = 0;
    while (cellsAvailable < cellsNeeded) {
        if (cellsNeeded - cellsAvailable < newCols) {
            lengths.push_back(cellsNeeded - cellsAvailable);
            break;
        }
        srcCol += newCols;
        const int oldLength = getWrappedLineTrimmedLength(wrappedLines, srcLine, oldCols, lastLength);
        if (srcCol > oldLength) {
            srcCol -= oldLength;
            ++srcLine;
        }
        // A one-column screen cannot hold a wide character anywhere; shortening its rows to 0
        // would never make progress.
        const bool endsWithWide = newCols > 1 && srcLine < size && srcCol >= 1 &&
                                  wrappedLines[size_t(srcLine)]->getWidth(srcCol - 1) == 2;
        if (endsWithWide)
            --srcCol;
        const int lineLength = endsWithWide ? newCols - 1 : newCols;
        lengths.push_back(lineLength);
        cellsAvailable += lineLength;
    }
}

void Buffer::reflowNarrower(int oldCols, int newCols, int newRows)
{
    CircularBufferLineList& ring = lines_;
    std::vector<InsertionSet> toInsert;
    int countToInsert = 0;
    std::vector<BufferLine*> group;
    std::vector<int> destLengths;
    int spareFrom = ring.count();

    // The rows of each step (a row or a group, rewrapped or not) take the new width as the step
    // ends, while they are in the cache: a walk over the whole history afterwards would miss on
    // every row again.
    struct CutWhenDone {
        CircularBufferLineList& ring;
        const int& y;
        int last;
        int cols;
        ~CutWhenDone()
        {
            for (int k = y; k <= last; ++k) {
                if (BufferLine* row = ring.peek(k))
                    cutToWidth(*row, cols);
            }
        }
    };

    for (int y = ring.count() - 1; y >= 0; --y) {
        const CutWhenDone cut{ring, y, y, newCols};
        prefetchAhead(ring, y - 16, y - 8);
        BufferLine* next = &ring[y];
        if (!next->isWrapped && fitsIn(*next, newCols))
            continue;

        group.clear();
        group.push_back(next);
        while (next->isWrapped && y > 0) {
            --y;
            next = &ring[y];
            group.insert(group.begin(), next);
        }
        const int groupSize = int(group.size());

        const int absoluteY = yBase_ + y_;
        if (absoluteY >= y && absoluteY < y + groupSize)
            continue;
        // A row an earlier widening left narrow is rewrapped at its logical width.
        for (BufferLine* line : group)
            line->widenTo(oldCols);

        const int lastLineLength = group.back()->getTrimmedLength();
        getNewLineLengths(group, oldCols, newCols, destLengths, lastLineLength);
        if (destLengths.empty())
            continue;
        // A group may need fewer rows than it has (a trailing empty continuation row): keep its
        // rows, the spare ones empty.
        while (int(destLengths.size()) < groupSize)
            destLengths.push_back(0);
        const int linesToAdd = int(destLengths.size()) - groupSize;

        int trimmedLines;
        if (yBase_ == 0 && y_ != ring.count() - 1)
            trimmedLines = std::max(0, y_ - ring.maxLength() + linesToAdd);
        else
            trimmedLines = std::max(0, ring.count() - ring.maxLength() + linesToAdd);

        if (linesToAdd > 0) {
            InsertionSet batch;
            batch.start = y + groupSize + countToInsert;
            for (int i = 0; i < linesToAdd; ++i) {
                // A row an earlier widening left behind serves as the blank row, without an
                // allocation per row of a long history.
                // New rows hold text only up to the new width, which every row is cut to at
                // the end: they get that width now, not the old one.
                if (BufferLinePtr spare = ring.takeSpare(spareFrom)) {
                    spare->resize(newCols, CharData::Null);
                    spare->fill(CharData::Null);
                    spare->fillCharacter = CharData::Null;
                    spare->isWrapped = true;
                    spare->renderMode = BufferLine::RenderLineMode::single;
                    spare->clearImages();
                    batch.lines.push_back(std::move(spare));
                } else {
                    // Made at the old width so that its storage keeps room for widening back.
                    BufferLinePtr blank = getBlankLine(Attribute(), true);
                    blank->resize(newCols, CharData::Null);
                    batch.lines.push_back(std::move(blank));
                }
            }
            countToInsert += linesToAdd;
            for (const auto& l : batch.lines)
                group.push_back(l.get());
            toInsert.push_back(std::move(batch));
        }

        // Copy the text backwards, in place, into the new row lengths.
        int destLine = int(destLengths.size()) - 1;
        int destCol = destLengths[size_t(destLine)];
        while (destCol == 0 && destLine > 0) {
            --destLine;
            destCol = destLengths[size_t(destLine)];
        }
        int srcLine = int(group.size()) - linesToAdd - 1;
        int srcCol = lastLineLength;
        while (srcCol > 0 && srcLine >= 0 && destLine >= 0) {
            const int cells = std::min(srcCol, destCol);
            group[size_t(destLine)]->copyFrom(*group[size_t(srcLine)], srcCol - cells, destCol - cells, cells);
            destCol -= cells;
            if (destCol == 0) {
                --destLine;
                destCol = destLine >= 0 ? destLengths[size_t(destLine)] : 0;
            }
            srcCol -= cells;
            if (srcCol == 0) {
                --srcLine;
                if (srcLine < 0)
                    break;
                srcCol = getWrappedLineTrimmedLength(group, srcLine, oldCols);
            }
            if (cells == 0 && destCol == 0)
                break; // nothing left to place
        }

        // The end left by a wide character that moved down is blank.
        for (int i = 0; i < int(group.size()); ++i) {
            if (destLengths[size_t(i)] < newCols)
                group[size_t(i)]->set(destLengths[size_t(i)], CharData::Null);
        }

        // Keep the cursor on its text: move it down (dropping a blank row at the bottom) or
        // scroll the screen.
        int adjustments = linesToAdd - trimmedLines;
        while (adjustments-- > 0) {
            if (yBase_ == 0) {
                if (y_ < newRows - 1) {
                    ++y_;
                    ring.pop();
                } else {
                    ++yBase_;
                    ++yDisp_;
                }
            } else if (yBase_ < std::min(ring.maxLength(), ring.count() + countToInsert) - newRows) {
                if (yBase_ == yDisp_)
                    ++yDisp_;
                ++yBase_;
            }
        }
        savedY = std::min(savedY + linesToAdd, yBase_ + newRows - 1);
    }

    rearrange(std::move(toInsert), countToInsert);
}

void Buffer::rearrange(std::vector<InsertionSet>&& toInsert, int countToInsert)
{
    if (countToInsert <= 0 || toInsert.empty())
        return;
    CircularBufferLineList& ring = lines_;
    std::vector<BufferLinePtr> original = ring.takeRows();
    const int originalCount = int(original.size());
    std::vector<BufferLinePtr> rows(size_t(std::min(ring.maxLength(), originalCount + countToInsert)));

    int originalIndex = originalCount - 1;
    size_t batch = 0;
    int insertedSoFar = 0;
    for (int i = int(rows.size()) - 1; i >= 0; --i) {
        if (batch < toInsert.size() && !toInsert[batch].isNull &&
            toInsert[batch].start > originalIndex + insertedSoFar) {
            auto& lines = toInsert[batch].lines;
            for (int k = int(lines.size()) - 1; k >= 0 && i >= 0; --k)
                rows[size_t(i--)] = std::move(lines[size_t(k)]);
            ++i;
            insertedSoFar += int(lines.size());
            ++batch;
        } else if (originalIndex >= 0) {
            rows[size_t(i)] = std::move(original[size_t(originalIndex--)]);
        }
    }
    ring.putRows(std::move(rows));
}

} // namespace termcore
