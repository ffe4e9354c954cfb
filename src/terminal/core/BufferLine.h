#pragma once

#include "CharData.h"
#include "TerminalImage.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace termcore {

// One row of cells. Rows are shared by reference (std::shared_ptr) between the line ring and its
// users, so the same row object may sit in two places of the ring for a moment (see
// CircularBufferLineList::shiftElements).
class BufferLine final {
public:
    // DEC line attributes: DECSWL, DECDWL, and the top and bottom halves of DECDHL.
    enum class RenderLineMode : uint8_t { single, doubleWidth, doubledTop, doubledDown };

    // `cols` copies of the fill cell (CharData::Null when not given).
    explicit BufferLine(int cols, const CharData& fillData = CharData::Null, bool isWrapped = false);
    // A copy of another row's cells, wrapped flag and fill cell; render mode single, no images.
    explicit BufferLine(const BufferLine& from);
    BufferLine(BufferLine&&) noexcept = default;
    BufferLine& operator=(const BufferLine&) = delete;
    BufferLine& operator=(BufferLine&&) noexcept = default;

    bool isWrapped = false;
    RenderLineMode renderMode = RenderLineMode::single;
    CharData fillCharacter;

    int count() const { return int(data_.size()); }
    int dataSize() const { return int(data_.size()); }

    // Reads clamp silently: an index at or beyond the end reads the last cell (a negative one the
    // first; an empty row reads CharData::Null). A row widened lazily reads empty cells past its
    // stored cells, the ones widening it would have added.
    const CharData& operator[](int index) const
    {
        if (unsigned(index) < data_.size())
            return data_[size_t(index)];
        return clampedRead(index);
    }
    // Writes beyond the end go to the last cell, with a diagnostic line.
    void set(int index, const CharData& value)
    {
        if (unsigned(index) < data_.size()) {
            data_[size_t(index)] = value;
            if (value.code != 0)
                textEnd_ = std::max(textEnd_, index + 1);
        } else {
            clampedWrite(index, value);
        }
    }
    // Unchecked access for callers that have already clamped (the print path): the n cells from
    // index, which the caller may overwrite with anything.
    CharData* cellsForWrite(int index, int n)
    {
        textEnd_ = std::max(textEnd_, index + n);
        return &data_[size_t(index)];
    }
    const CharData& cellAt(int index) const { return data_[size_t(index)]; }

    int getWidth(int index) const { return (*this)[index].width; }

    // A cell has content when it holds a character, any style bit, or a non-default colour.
    bool hasContent(int index) const;
    bool hasAnyContent() const;
    // One past the last cell whose code is not 0 (attributes do not count).
    int getTrimmedLength() const;
    // No cell at or past this column has a code other than 0 (an upper bound of the trimmed
    // length, kept by every write, so that finding the end of a row's text reads only its text).
    int textEnd() const { return textEnd_; }

    // UTF-8 text of cells [startCol, endCol); endCol -1 means the end. Empty cells give U+0000.
    std::string translateToString(bool trimRight = false, int startCol = 0, int endCol = -1) const;
    std::string debugDescription() const { return translateToString(false, 0, -1); }

    void resize(int cols, const CharData& fillData);
    // At least `cols` cells, the new ones empty; a wider row keeps its cells.
    void widenTo(int cols)
    {
        if (count() < cols)
            resize(cols, CharData::Null);
    }
    // Widening without storing the empty cells: count() stays, and reads up to `cols` see empty
    // cells past the stored ones. For scrollback rows, which a widening would otherwise rewrite
    // one by one; any write that needs the cells stores them first (set, resize, widenTo).
    void widenLazily(int cols)
    {
        if (count() < cols)
            lazyCols_ = std::max(lazyCols_, cols);
    }
    // Narrowing a lazily widened row: the empty cells it reads end at `cols`.
    void narrowLazily(int cols)
    {
        if (lazyCols_ > cols)
            lazyCols_ = cols > count() ? cols : 0;
    }
    // The width the row reads as: count(), or more for a lazily widened row.
    int readWidth() const { return std::max(lazyCols_, count()); }
    void fill(const CharData& with);
    void fill(const CharData& with, int atCol, int len);
    // Every cell becomes an empty cell in the attribute; wrapped flag and render mode stay.
    void clear(const Attribute& attribute);
    // Cells [start, min(end, count)).
    void replaceCells(int start, int end, const CharData& fillData);

    // A double-width character is written and erased whole, as xterm does: when `col` is the
    // right half of one, an edit starting or ending there would cut it, so both of its cells
    // become `blank` first. Every write and erase calls this at the edges of the cells it
    // changes (for a write into cells [x, x + w): at x and at x + w).
    void splitWide(int col, const CharData& blank)
    {
        if (col > 0 && col < count() && data_[size_t(col) - 1].width == 2) [[unlikely]]
            eraseWideAt(col - 1, blank);
    }

    // ICH: shift the cells from pos right by n up to rightMargin, filling the gap.
    void insertCells(int pos, int n, int rightMargin, const CharData& fillData);
    // DCH: remove n cells at pos, pulling the rest in from the right up to rightMargin.
    void deleteCells(int pos, int n, int rightMargin, const CharData& fillData);

    // The len cells of src from srcCol replace the len cells from dstCol (clipped to both rows).
    void copyFrom(const BufferLine& src, int srcCol, int dstCol, int len);
    // Takes the other row's cells and wrapped flag.
    void copyFrom(const BufferLine& line);

    const std::vector<CharData>& getData() const { return data_; }
    // Cells whose link code is marked in `codes` (indexed by code) lose their link.
    void dropPayloads(const std::vector<bool>& codes)
    {
        for (CharData& cell : data_)
            if (cell.payload.code != 0 && codes[cell.payload.code])
                cell.payload = TinyAtom();
    }

    const std::optional<std::vector<std::shared_ptr<TerminalImage>>>& images() const { return images_; }
    void attach(std::shared_ptr<TerminalImage> image);
    // Attaches an image over the columns it covers: it hides what earlier images of the row
    // showed there, and an image left showing nothing (or whose pixels were given back) goes.
    void place(std::shared_ptr<TerminalImage> image);
    void clearImages() { images_.reset(); }

private:
    void eraseWideAt(int col, const CharData& blank);
    const CharData& clampedRead(int index) const;
    // Stores the empty cells of a lazy widening.
    void materialize();
    void clampedWrite(int index, const CharData& value);
    int clampMargin(int rightMargin) const;
    // Keeps textEnd_ after cells [start, end) were filled with `with`.
    void noteFilled(int start, int end, const CharData& with);

    std::vector<CharData> data_;
    // Above count(): the row was widened lazily to this width. 0 otherwise.
    int lazyCols_ = 0;
    // See textEnd(); never above count().
    int textEnd_ = 0;
    std::optional<std::vector<std::shared_ptr<TerminalImage>>> images_;
};

using BufferLinePtr = std::shared_ptr<BufferLine>;

} // namespace termcore
