#pragma once

#include "Attribute.h"
#include "BufferLine.h"
#include "CharData.h"
#include "CharSets.h"
#include "CircularBufferLineList.h"
#include "Position.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace termcore {

// One screen of the terminal: the normal screen (with scrollback) or the alternate screen
// (without). It owns the ring of rows and the state the interpreter moves around: cursor, scroll
// region, margins, tab stops and the saved cursor, plus copies of the modes and the current
// attribute that the per-cell write obeys.
//
// Rows: absolute rows count from the first row of the ring (scrollback first), screen rows from
// the top of the screen; absolute = yBase + screen row.
class Buffer final {
public:
    // One batch of rows inserted during a narrowing reflow.
    struct InsertionSet {
        std::vector<BufferLinePtr> lines;
        int start = 0;
        bool isNull = false;
    };

    struct LastBufferStorage {
        int y = 0;
        int x = 0;
        int cols = 0;
        int rows = 0;
    };

    // scrollback: nullopt for the alternate screen. The rows are made by fillViewportRows().
    Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Gives back the interned clusters and link payloads that no cell of any live buffer uses.
    // The tables run it themselves as they grow, and a buffer that goes runs it when it held any.
    static void collectUnusedCodes();

    CircularBufferLineList& lines() { return *lines_; }
    const CircularBufferLineList& lines() const { return *lines_; }

    // Cursor, display and scroll-region positions. The setters of x, y, yDisp, scrollTop and
    // scrollBottom ignore negative values (the field keeps its old value).
    int x() const { return x_; }
    void setX(int v) { if (v >= 0) x_ = v; }
    int y() const { return y_; }
    void setY(int v) { if (v >= 0) y_ = v; }
    int yDisp() const { return yDisp_; }
    void setYDisp(int v) { if (v >= 0) yDisp_ = v; }
    int yBase() const { return yBase_; }
    void setYBase(int v) { yBase_ = v; }
    int scrollTop() const { return scrollTop_; }
    void setScrollTop(int v) { if (v >= 0) scrollTop_ = v; }
    int scrollBottom() const { return scrollBottom_; }
    void setScrollBottom(int v) { if (v >= 0) scrollBottom_ = v; }
    // DECSLRM margins, inclusive columns; stored as given.
    int marginLeft() const { return marginLeft_; }
    void setMarginLeft(int v) { marginLeft_ = v; }
    int marginRight() const { return marginRight_; }
    void setMarginRight(int v) { marginRight_ = v; }

    int cols() const { return cols_; }
    int rows() const { return rows_; }

    int xDisp = 0;
    int xBase = 0;
    int linesTop = 0;

    std::vector<bool> tabStops;

    // DECSC state.
    int savedX = 0;
    int savedY = 0;
    bool savedOriginMode = false;
    bool savedMarginMode = false;
    bool savedWraparound = false;
    bool savedReverseWraparound = false;
    Attribute savedAttr;
    std::optional<CharsetTable> savedCharset;

    std::optional<int> scrollback() const { return scrollback_; }
    bool hasScrollback() const { return scrollback_.has_value(); }
    bool isReflowEnabled() const { return hasScrollback(); }

    // Set by the interpreter.
    Attribute curAttr = Attribute::empty;
    bool insertMode = false; // IRM
    bool marginMode = false; // DECLRMM
    bool wraparound = false; // DECAWM

    // Scrolls the screen up by one row; the interpreter installs its scroll operation here
    // right after creating the buffer. The default stops the program.
    std::function<void(bool isWrapped)> scroll;

    LastBufferStorage lastBufferStorage;

    // Ring capacity for a height: rows + scrollback (capped at INT32_MAX), or rows alone.
    int getCorrectBufferLength(int rows) const;
    // A row of `cols` empty cells in the attribute.
    BufferLinePtr getBlankLine(const Attribute& attribute, bool isWrapped = false) const;
    // A space in the attribute (Attribute::empty when nullopt).
    static CharData getNullCell(std::optional<Attribute> attribute = std::nullopt);

    // The cell at a column of the screen row shown at position.row (yDisp + row), or of the
    // absolute row; CharData::Null outside the row or the ring.
    CharData getChar(Position at) const;
    CharData getCharAtBufferRelative(Position at) const;

    // Only on an empty ring: pushes `rows` blank rows (fg/bg default when nullopt).
    void fillViewportRows(std::optional<Attribute> attribute = std::nullopt);
    // Empties the ring and homes the cursor; yBase and xDisp are not touched. Refill with
    // fillViewportRows().
    void clear();
    // The buffer's part of DECSTR.
    void softReset();

    // index -1 rebuilds all stops; otherwise keeps the stops up to min(cols-1, index).
    void setupTabStops(int index, int tabStopWidth);
    void tabSet(int pos);   // HTS
    void tabClear(int pos); // TBC 0
    int nextTabStop(bool marginMode, int index = -1) const;
    int previousTabStop(int index = -1) const;

    // The per-cell write of the print path: the cell holds one printable character whose
    // width is already measured. Handles wrapping, insert mode and double-width characters.
    void insertCharacter(const CharData& charData)
    {
        // Fast path, inline in the print loop: a narrow or wide character that fits on the row
        // in replace mode. Everything else (wrap, limits, insert mode) takes the full path.
        const int w = charData.width;
        if (!insertMode && !marginMode && w >= 1 && w <= 2 && x_ >= 0 && x_ + w <= cols_) {
            BufferLine& line = (*lines_)[yBase_ + y_];
            if (line.count() >= x_ + w) [[likely]] {
                lastBufferStorage = {yBase_ + y_, x_, cols_, rows_};
                CharData* cells = &line.cellAt(x_);
                cells[0] = charData;
                if (w == 2)
                    cells[1] = CharData(0, 1, curAttr);
                x_ += w;
                return;
            }
        }
        insertCharacterSlow(charData);
    }

    // Changes the size, reflowing wrapped lines when the buffer has scrollback. Only rows that
    // exist are touched, so a large scrollback capacity costs nothing while it is unused.
    void resize(int newCols, int newRows);

    // Reflow steps, public for tests. A wrapped group is a row plus every following row marked
    // isWrapped: one logical line.
    // Widening: flat (first row, row count) pairs of rows that become empty once the text of each
    // group (other than the cursor's) has moved up into the wider rows; moves the text.
    std::vector<int> getLinesToRemove(int oldCols, int newCols, int bufferAbsoluteY, const CharData& nullChar);
    // Narrowing: the row lengths a group needs at the new width (a wide character never straddles
    // the new edge).
    static std::vector<int> getNewLineLengths(const std::vector<BufferLine*>& wrappedLines, int oldCols, int newCols);
    // The cells of a group row that belong to the logical line at the old width.
    static int getWrappedLineTrimmedLength(const std::vector<BufferLine*>& wrappedLines, int i, int cols);
    // Inserts the rows recorded by a narrowing reflow in one pass (batches bottom-most first).
    void rearrange(const std::vector<InsertionSet>& toInsert, int countToInsert);

private:
    void insertCharacterSlow(const CharData& charData);
    void makeRing(int capacity);
    void reflowWider(int oldCols, int newCols, int newRows);
    void reflowNarrower(int oldCols, int newCols, int newRows);

    std::unique_ptr<CircularBufferLineList> lines_;
    int x_ = 0;
    int y_ = 0;
    int yDisp_ = 0;
    int yBase_ = 0;
    int scrollTop_ = 0;
    int scrollBottom_ = 0;
    int marginLeft_ = 0;
    int marginRight_ = 0;
    int cols_ = 0;
    int rows_ = 0;
    // While a resize runs, rows made for empty slots are at least this wide.
    int resizeCols_ = 0;
    std::optional<int> scrollback_;
};

} // namespace termcore
