#pragma once

#include "Attribute.h"
#include "BufferLine.h"
#include "CharData.h"
#include "CharSets.h"
#include "CircularBufferLineList.h"
#include "Position.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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
    // The same, and when fewer than `wanted` link codes are then free, takes back the codes
    // handed out longest ago (links still open excepted): the cells that hold them lose their
    // link. The link table runs it when it has no code left.
    static void reclaimCodes(size_t wanted);

    CircularBufferLineList& lines() { return lines_; }
    const CircularBufferLineList& lines() const { return lines_; }

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

    // DECSC state. Until a save (and again after a soft reset) the record holds nothing: a
    // restore then homes the cursor with default rendition, sets and origin mode, and leaves
    // the modes a save would have recorded (autowrap, margin mode, reverse wraparound) as
    // they are, as xterm does.
    bool cursorSaved = false;
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
    // The link (OSC 8) open while characters are printed: every cell the print path writes
    // carries it, and no other cell. Code 0 when none is open; a live code is never collected.
    TinyAtom curPayload;

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
            BufferLine& line = lines_[yBase_ + y_];
            if (line.count() >= x_ + w) [[likely]] {
                lastBufferStorage = {yBase_ + y_, x_, cols_, rows_};
                keepWideWhole(line, x_, w);
                CharData* cells = line.cellsForWrite(x_, w);
                cells[0] = charData;
                if (w == 2)
                    cells[1] = CharData(0, 1, curAttr, curPayload);
                x_ += w;
                return;
            }
        }
        insertCharacterSlow(charData);
    }

    // The row the print path wrote last: a run of characters looks its row up once. Valid only
    // while nothing but the cached insertCharacter touches the buffer; index -1 is empty.
    struct RowCache {
        int index = -1;
        BufferLine* line = nullptr;
    };
    // A cell as two little-endian words: `head` holds the rendition's first bytes above code
    // and width, `tail` the rest and the payload. Cells built from these are stored whole,
    // where a cell assembled field by field in memory and then copied would stall on the copy.
    struct PackedRendition {
        uint64_t head = 0;
        uint64_t tail = 0;
    };
    static PackedRendition pack(const Attribute& attribute, TinyAtom payload = {})
    {
        static_assert(offsetof(CharData, width) == 4 && offsetof(CharData, attribute) == 5
                      && offsetof(CharData, payload) == 14 && offsetof(Attribute, style) == 8);
        uint64_t colors;
        std::memcpy(&colors, &attribute, sizeof colors);
        return {(colors & 0xFFFFFF) << 40,
                colors >> 24 | uint64_t(attribute.style.rawValue) << 40 | uint64_t(payload.code) << 48};
    }
    static void storeCell(CharData* cell, int32_t code, int width, const PackedRendition& r)
    {
        const uint64_t words[2] = {r.head | uint64_t(uint8_t(width)) << 32 | uint32_t(code), r.tail};
        std::memcpy(static_cast<void*>(cell), words, sizeof words);
    }

    // insertCharacter of the cell (code, width, the rendition `attr` and the open link packed as
    // `packed`) with the row taken from the cache when the cursor is still on it.
    void insertCharacter(int32_t code, int width, const Attribute& attr, const PackedRendition& packed, RowCache& cache)
    {
        if constexpr (std::endian::native == std::endian::little) {
            if (!insertMode && !marginMode && width >= 1 && width <= 2 && x_ >= 0 && x_ + width <= cols_) {
                const int index = yBase_ + y_;
                if (cache.index != index) {
                    cache.line = &lines_[index];
                    cache.index = index;
                }
                BufferLine& line = *cache.line;
                if (line.count() >= x_ + width) [[likely]] {
                    lastBufferStorage = {index, x_, cols_, rows_};
                    keepWideWhole(line, x_, width);
                    CharData* cells = line.cellsForWrite(x_, width);
                    storeCell(cells, code, width, packed);
                    // The filler of a wide character is an empty cell in the current attribute.
                    if (width == 2)
                        storeCell(cells + 1, 0, 1, pack(curAttr, curPayload));
                    x_ += width;
                    return;
                }
            }
        }
        // The full path may scroll, which moves row objects between indices.
        cache.index = -1;
        insertCharacter(CharData(code, int8_t(width), attr, curPayload));
    }

    // One narrow cell in the rendition `attr` at the cursor, in replace mode and without margins,
    // when it fits on the row: the cell a program writes after each cursor move. Does what
    // insertCharacter does then, without building a cell; false (and nothing done) when the
    // full path is needed.
    bool putNarrowCell(int32_t code, const Attribute& attr)
    {
        if constexpr (std::endian::native != std::endian::little)
            return false;
        if (insertMode || marginMode || x_ < 0 || x_ >= cols_)
            return false;
        const int index = yBase_ + y_;
        BufferLine& line = lines_[index];
        if (line.count() <= x_)
            return false;
        lastBufferStorage = {index, x_, cols_, rows_};
        keepWideWhole(line, x_, 1);
        storeCell(line.cellsForWrite(x_, 1), code, 1, pack(attr, curPayload));
        ++x_;
        return true;
    }

    // Before the print path writes cells [x, x + w) of a row that holds them: a double-width
    // character of which the write would leave one half (x is its right half, or x + w - 1 its
    // left half) is blanked whole, as xterm does, so that no character is drawn over another.
    void keepWideWhole(BufferLine& line, int x, int w) const
    {
        if ((x > 0 && line.cellAt(x - 1).width == 2) || line.cellAt(x + w - 1).width == 2) [[unlikely]] {
            // What an erase in the current attribute leaves.
            const CharData blank(0, 1, Attribute(Attribute::Color::defaultColor(), curAttr.bg, CharacterStyle::none));
            line.splitWide(x, blank);
            line.splitWide(x + w, blank);
        }
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
    // The same into `lengths` (cleared first), so that a walk over many groups reuses one vector.
    // `lastLength`, when not negative, is the last row's getTrimmedLength(), known to the caller.
    static void getNewLineLengths(const std::vector<BufferLine*>& wrappedLines, int oldCols, int newCols, std::vector<int>& lengths,
                                  int lastLength = -1);
    // The cells of a group row that belong to the logical line at the old width.
    static int getWrappedLineTrimmedLength(const std::vector<BufferLine*>& wrappedLines, int i, int cols);
    // The same with the last row's trimmed length given (scanning a row from the right reads its
    // whole blank end, so a group's walk does it once).
    static int getWrappedLineTrimmedLength(const std::vector<BufferLine*>& wrappedLines, int i, int cols, int lastLength)
    {
        return i == int(wrappedLines.size()) - 1 ? lastLength : getWrappedLineTrimmedLength(wrappedLines, i, cols);
    }
    // Inserts the rows recorded by a narrowing reflow in one pass (batches bottom-most first).
    void rearrange(std::vector<InsertionSet>&& toInsert, int countToInsert);

private:
    // Every cell the buffer holds: its rows' and those of the line kept for a resize.
    template <typename F>
    void forEachHeldCell(F&& visit) const;
    void insertCharacterSlow(const CharData& charData);
    void makeRing(int capacity);
    void reflowWider(int oldCols, int newCols, int newRows);
    void reflowNarrower(int oldCols, int newCols, int newRows);
    // A row at most `cols` wide, lazily widened cells included.
    static void cutToWidth(BufferLine& row, int cols);

    // The logical line under the cursor, as a narrowing found it. Narrowing leaves that line as
    // the program wrote it, for the program to redraw at the new width (a shell redraws its
    // prompt from the cursor's row), but cuts it at the new edge and pulls the cursor in. When
    // the width grows again before anything changed the line or moved the cursor (the program
    // never heard of the narrower size, or did not redraw), the cut cells and the cursor's
    // column come back: a prompt stays whole with the cursor after its last space, and a wrap
    // pending at the end of a full line is pending again.
    struct CursorLineKeep {
        std::vector<BufferLinePtr> rows;          // the line's rows, top first
        std::vector<std::vector<CharData>> cells; // their cells when kept
        std::vector<bool> wrapped;                // their wrapped flags
        int cursorRow = 0;                        // the cursor's row among them
        int x = 0;                                // the cursor's column when kept (cols: wrap pending)
        int cols = 0;                             // the width they were kept at
        int shownX = 0;                           // the cursor's column as the last resize left it
    };
    std::optional<CursorLineKeep> cursorLineKeep_;
    // The first and last absolute rows of the logical line holding an absolute row.
    std::pair<int, int> logicalLineAround(int row);
    // Whether the line under the cursor is still what the last resize left of the kept one.
    bool cursorLineUnchanged();
    // Keeps the line under the cursor when narrowing to newCols would cut it or the cursor.
    void keepCursorLine(int newCols);
    // Widening from oldCols: gives the kept line back as far as newCols reaches.
    void restoreCursorLine(int oldCols, int newCols);

    // Held in place: every cell write reaches its row through it, one load fewer than through
    // a pointer.
    CircularBufferLineList lines_{1};
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
