#include "BufferLine.h"

#include "Diagnostics.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace termcore {

namespace {
// Cells are filled as whole 16-byte blocks from a copy of the value: through a reference that
// may point into the row each cell would reload the value after the store before it, and a
// field-by-field copy takes five stores per cell.
inline void fillCells(std::vector<CharData>::iterator first, std::vector<CharData>::iterator last, const CharData& value)
{
    uint64_t block[2];
    std::memcpy(block, &value, sizeof block);
    for (CharData* p = &*first, *end = p + (last - first); p != end; ++p)
        std::memcpy(static_cast<void*>(p), block, sizeof block);
}
// Appends n empty cells (CharData::Null) by block copies: trivially copyable cells are copied
// with memmove, where constructing each would take a store per field.
void appendNullCells(std::vector<CharData>& cells, size_t n)
{
    static constexpr std::array<CharData, 128> kNull{};
    while (n > 0) {
        const size_t k = std::min(n, kNull.size());
        cells.insert(cells.end(), kNull.begin(), kNull.begin() + std::ptrdiff_t(k));
        n -= k;
    }
}
} // namespace

BufferLine::BufferLine(int cols, const CharData& fillData, bool wrapped)
    : isWrapped(wrapped), fillCharacter(fillData)
{
    data_.reserve(size_t(std::max(cols, 0)));
    appendNullCells(data_, size_t(std::max(cols, 0)));
    if (!(fillData == CharData()))
        fillCells(data_.begin(), data_.end(), fillData);
    textEnd_ = fillData.code != 0 ? count() : 0;
}

BufferLine::BufferLine(const BufferLine& from)
    : isWrapped(from.isWrapped), fillCharacter(from.fillCharacter), data_(from.data_), lazyCols_(from.lazyCols_),
      textEnd_(from.textEnd_)
{
}

const CharData& BufferLine::clampedRead(int index) const
{
    if (data_.empty() || (index >= 0 && lazyCols_ > 0))
        return CharData::Null;
    return index < 0 ? data_.front() : data_.back();
}

void BufferLine::clampedWrite(int index, const CharData& value)
{
    if (index >= 0 && index < lazyCols_) {
        resize(lazyCols_, CharData::Null);
        set(index, value);
        return;
    }
    Diagnostics::print("BufferLine: You passed an index out of range, adjusting to prevent crash, but you should debug");
    if (data_.empty())
        return;
    set(index < 0 ? 0 : count() - 1, value);
}

bool BufferLine::hasContent(int index) const
{
    const CharData& c = (*this)[index];
    return c.code != 0 || !c.attribute.style.isEmpty() || !c.attribute.fg.isDefault() || !c.attribute.bg.isDefault();
}

bool BufferLine::hasAnyContent() const
{
    for (int i = 0; i < count(); ++i) {
        if (hasContent(i))
            return true;
    }
    return false;
}

int BufferLine::getTrimmedLength() const
{
    for (int i = textEnd_ - 1; i >= 0; --i) {
        if (data_[size_t(i)].code != 0)
            return i + 1;
    }
    return 0;
}

std::string BufferLine::translateToString(bool trimRight, int startCol, int endCol) const
{
    int start = std::max(startCol, 0);
    int end = endCol == -1 ? readWidth() : std::min(endCol, readWidth());
    if (trimRight)
        end = std::max(std::min(end, getTrimmedLength()), start);
    std::string out;
    if (start >= end)
        return out;
    out.reserve(size_t(end - start));
    for (int i = start; i < end; ++i)
        (*this)[i].appendCharacterUtf8(out);
    return out;
}

void BufferLine::resize(int cols, const CharData& fillData)
{
    // The cells a lazy widening promised are empty ones, whatever this widening fills with.
    const int lazy = std::min(lazyCols_, cols);
    lazyCols_ = 0;
    if (lazy > count())
        appendNullCells(data_, size_t(lazy - count()));
    if (cols == count())
        return;
    if (cols < count()) {
        data_.resize(size_t(std::max(cols, 0)));
        textEnd_ = std::min(textEnd_, count());
    } else {
        const size_t old = data_.size();
        appendNullCells(data_, size_t(cols) - old);
        if (!(fillData == CharData()))
            fillCells(data_.begin() + std::ptrdiff_t(old), data_.end(), fillData);
        if (fillData.code != 0)
            textEnd_ = count();
    }
}

void BufferLine::materialize()
{
    if (lazyCols_ > 0)
        resize(lazyCols_, CharData::Null);
}

void BufferLine::fill(const CharData& with)
{
    if (lazyCols_ > 0) [[unlikely]]
        materialize();
    fillCells(data_.begin(), data_.end(), with);
    textEnd_ = with.code != 0 ? count() : 0;
}

void BufferLine::fill(const CharData& with, int atCol, int len)
{
    if (lazyCols_ > 0) [[unlikely]]
        materialize();
    int start = std::max(atCol, 0);
    int end = std::min(atCol + std::max(len, 0), count());
    if (start < end) {
        fillCells(data_.begin() + start, data_.begin() + end, with);
        noteFilled(start, end, with);
    }
}

void BufferLine::noteFilled(int start, int end, const CharData& with)
{
    if (with.code != 0)
        textEnd_ = std::max(textEnd_, end);
    else if (end >= textEnd_)
        textEnd_ = std::min(textEnd_, start); // the text's end was blanked
}

void BufferLine::clear(const Attribute& attribute)
{
    fill(CharData(0, 1, attribute));
}

void BufferLine::replaceCells(int start, int end, const CharData& fillData)
{
    if (lazyCols_ > 0) [[unlikely]]
        materialize();
    int s = std::max(start, 0);
    int e = std::min(end, count());
    if (s < e) {
        fillCells(data_.begin() + s, data_.begin() + e, fillData);
        noteFilled(s, e, fillData);
    }
}

void BufferLine::eraseWideAt(int col, const CharData& blank)
{
    // Its other cell, when it is still the empty cell that belongs to it.
    const bool filler = data_[size_t(col) + 1].code == 0;
    data_[size_t(col)] = blank;
    if (filler)
        data_[size_t(col) + 1] = blank;
    noteFilled(col, filler ? col + 2 : col + 1, blank);
}

int BufferLine::clampMargin(int rightMargin) const
{
    return std::min(rightMargin, count() - 1);
}

// The cursor may sit one past the right margin (the pending-wrap position after a write in the
// last column). An edit there acts on the margin column itself, as xterm does; reducing the
// column modulo the width would instead edit column 0 and shift the whole row.
static int clampEditColumn(int pos, int rightMargin)
{
    return std::clamp(pos, 0, rightMargin);
}

void BufferLine::insertCells(int pos, int n, int rightMargin, const CharData& fillData)
{
    if (lazyCols_ > 0) [[unlikely]]
        materialize();
    int rm = clampMargin(rightMargin);
    if (rm < 0 || n <= 0)
        return;
    pos = clampEditColumn(pos, rm);
    // A wide character at pos or across the margin is not cut in two.
    splitWide(pos, fillData);
    splitWide(rm + 1, fillData);
    if (n >= rm + 1 - pos) {
        fillCells(data_.begin() + pos, data_.begin() + rm + 1, fillData);
        noteFilled(pos, rm + 1, fillData);
        return;
    }
    // Text right of pos moves right, at most up to the margin.
    if (fillData.code != 0 || textEnd_ > pos)
        textEnd_ = std::max(textEnd_, std::min(std::max(textEnd_, pos) + n, rm + 1));
    // Copy from the rightmost cell down so that nothing is overwritten before it is read;
    // cells pushed past the margin are lost, cells right of it never change.
    std::copy_backward(data_.begin() + pos, data_.begin() + (rm - n + 1), data_.begin() + rm + 1);
    fillCells(data_.begin() + pos, data_.begin() + pos + n, fillData);
    // A wide character whose right half was pushed past the margin goes as a whole.
    if (data_[size_t(rm)].width == 2)
        data_[size_t(rm)] = fillData;
}

void BufferLine::deleteCells(int pos, int n, int rightMargin, const CharData& fillData)
{
    if (lazyCols_ > 0) [[unlikely]]
        materialize();
    int rm = clampMargin(rightMargin);
    if (rm < 0 || n <= 0)
        return;
    pos = clampEditColumn(pos, rm);
    // A wide character at either end of the deleted cells or across the margin is not cut in two.
    splitWide(pos, fillData);
    splitWide(n >= rm + 1 - pos ? rm + 1 : pos + n, fillData);
    splitWide(rm + 1, fillData);
    if (n >= rm + 1 - pos) {
        fillCells(data_.begin() + pos, data_.begin() + rm + 1, fillData);
        noteFilled(pos, rm + 1, fillData);
        return;
    }
    std::copy(data_.begin() + pos + n, data_.begin() + rm + 1, data_.begin() + pos);
    fillCells(data_.begin() + (rm - n + 1), data_.begin() + rm + 1, fillData);
    // Text only moves left; the cells filled at the margin may add some.
    if (fillData.code != 0)
        textEnd_ = std::max(textEnd_, rm + 1);
}

void BufferLine::copyFrom(const BufferLine& src, int srcCol, int dstCol, int len)
{
    if (srcCol < 0 || dstCol < 0 || len <= 0)
        return;
    if (lazyCols_ > 0) [[unlikely]]
        materialize();
    len = std::min({len, src.count() - srcCol, count() - dstCol});
    // A rewrap leaves a row's first cells where they are.
    if (len <= 0 || (&src == this && srcCol == dstCol))
        return;
    // The copied cells hold text only up to the source's text end; the cells they replace
    // may have held the end of this row's text.
    const int copiedText = std::clamp(src.textEnd_ - srcCol, 0, len);
    if (textEnd_ <= dstCol + len)
        textEnd_ = copiedText > 0 ? dstCol + copiedText : std::min(textEnd_, dstCol);
    auto from = src.data_.begin() + srcCol;
    auto to = data_.begin() + dstCol;
    if (&src == this && dstCol > srcCol)
        std::copy_backward(from, from + len, to + len);
    else
        std::copy(from, from + len, to);
}

void BufferLine::copyFrom(const BufferLine& line)
{
    if (&line == this)
        return;
    data_ = line.data_;
    lazyCols_ = line.lazyCols_;
    textEnd_ = line.textEnd_;
    isWrapped = line.isWrapped;
}

void BufferLine::attach(std::shared_ptr<TerminalImage> image)
{
    if (!images_)
        images_.emplace();
    images_->push_back(std::move(image));
}

void BufferLine::place(std::shared_ptr<TerminalImage> image)
{
    attach(std::move(image));
    auto& list = *images_;
    // From the newest down: each image shows the part of its columns that no later one covers.
    std::vector<std::pair<int, int>> covered; // sorted, disjoint
    std::vector<std::pair<int, int>> shown;
    for (size_t i = list.size(); i-- > 0;) {
        TerminalImage& im = *list[i];
        const int first = im.col();
        const int last = first + std::max(im.columns(), 1);
        shown.clear();
        int at = first;
        for (const auto& [from, to] : covered) {
            if (to <= at)
                continue;
            if (from >= last)
                break;
            if (from > at)
                shown.emplace_back(at - first, from - first);
            at = std::max(at, to);
            if (at >= last)
                break;
        }
        if (at < last)
            shown.emplace_back(at - first, last - first);
        if (shown.empty() || im.released()) {
            list[i].reset();
            continue;
        }
        im.shown_ = shown;
        // Merge [first, last) into the covered spans.
        auto it = std::lower_bound(covered.begin(), covered.end(), std::make_pair(first, first));
        if (it != covered.begin() && std::prev(it)->second >= first)
            --it;
        int from = first, to = last;
        auto end = it;
        while (end != covered.end() && end->first <= to) {
            from = std::min(from, end->first);
            to = std::max(to, end->second);
            ++end;
        }
        it = covered.erase(it, end);
        covered.insert(it, {from, to});
    }
    std::erase(list, nullptr);
}

} // namespace termcore
