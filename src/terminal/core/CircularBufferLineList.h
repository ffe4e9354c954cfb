#pragma once

#include "BufferLine.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace termcore {

// A broken internal invariant (a programming error, not bad input): prints the message through
// the diagnostics sink and on standard error, then stops the program.
[[noreturn]] void engineFatal(std::string_view message);

// The fixed-capacity ring of rows that holds a buffer's scrollback followed by its screen.
// Logical row i lives in slot (startIndex + i) mod (number of slots). The slot array grows on
// demand up to maxLength, and a slot is empty (nullptr) until it is first read, when makeEmpty
// makes its row: a large scrollback capacity costs nothing until rows actually fill it. Rows are
// shared by reference.
class CircularBufferLineList {
public:
    explicit CircularBufferLineList(int maxLength);

    int count() const { return count_; }
    // Clamped to 0..maxLength. Rows beyond a lowered count stay in their slots until overwritten.
    void setCount(int newCount);

    int maxLength() const { return maxLength_; }
    // Changes the capacity, keeping the first min(new capacity, slots) logical rows in order from
    // slot 0. Capacity is at least 1.
    void setMaxLength(int newMaxLength);

    // Makes the row of a slot that is empty when it is first read.
    std::function<BufferLinePtr(int slot)> makeEmpty;

    const std::vector<BufferLinePtr>& getArray() const { return array_; }
    int getStartIndex() const { return startIndex_; }
    int debugGetCyclicIndex(int index) const { return slotOf(index); }

    // The row at a logical index, made with makeEmpty if its slot is still empty.
    BufferLine& operator[](int index) { return *line(index); }
    const BufferLinePtr& line(int index)
    {
        BufferLinePtr& p = array_[size_t(slotOf(index))];
        if (!p) [[unlikely]]
            materialize(p, slotOf(index));
        return p;
    }
    // The row at a logical index without making one: nullptr for a slot never filled.
    BufferLine* peek(int index) const { return array_[size_t(slotOf(index))].get(); }
    void set(int index, BufferLinePtr line) { array_[size_t(slotOf(index))] = std::move(line); }
    // Rotates the rows of logical indices [first, last) so that the row at `middle` comes
    // first, moving only the slots' pointers (no reference counting).
    void rotate(int first, int middle, int last);
    // Moves the row out of a logical index (made first if its slot is empty), leaving the slot
    // empty: a reordering pass costs no reference counting.
    BufferLinePtr take(int index)
    {
        line(index);
        return std::move(array_[size_t(slotOf(index))]);
    }
    // Moves every row out in logical order (made first where a slot is empty), leaving the
    // slots empty; with putRows, a pass that reorders the whole ring in two sweeps of the slots.
    std::vector<BufferLinePtr> takeRows();
    // The rows become logical rows 0.. in order (at most maxLength; count follows). A nullptr
    // leaves its slot empty, to be made when it is read.
    void putRows(std::vector<BufferLinePtr>&& rows);
    // A row object left in a slot past the last row and referenced from nowhere else, moved
    // out for reuse; slots are searched from `from` on, which is advanced. nullptr when none.
    BufferLinePtr takeSpare(int& from)
    {
        for (; from < int(array_.size()); ++from) {
            if (from < count_)
                from = count_;
            if (from >= int(array_.size()))
                break;
            BufferLinePtr& p = array_[size_t(slotOf(from))];
            if (p && p.use_count() == 1) {
                ++from;
                return std::move(p);
            }
        }
        return nullptr;
    }

    // Appends a row; on a full ring the oldest row is dropped.
    void push(BufferLinePtr line);
    // Full ring only: the oldest row becomes the last row, cleared in the default attribute for
    // reuse (its wrapped flag and render mode are left for the caller).
    void recycle();
    // Removes the last logical row.
    void pop();

    // Deletes deleteCount rows at start, inserts items there; if the result does not fit, the
    // oldest rows fall off the front. `change` receives every logical index that got a new row.
    void splice(int start, int deleteCount, const std::vector<BufferLinePtr>& items,
                const std::function<void(int)>& change);
    // Drops rows from the front.
    void trimStart(int n);
    // Moves count rows at start by offset (negative: up). Refuses bad arguments with a
    // diagnostic line and returns false. The source rows are not cleared.
    bool shiftElements(int start, int count, int offset);

    bool isFull() const { return count_ == maxLength_; }
    // Exchanges the row objects of two logical indices without copying or re-counting them
    // (the interpreter's line insert/delete rotates the rows of the scroll region this way).
    void swapRows(int a, int b)
    {
        line(a);
        line(b);
        std::swap(array_[size_t(slotOf(a))], array_[size_t(slotOf(b))]);
    }

private:
    // Grows the slot array (logical order from slot 0) so that it holds at least `needed` slots,
    // never more than maxLength.
    void ensureSlots(int needed);
    int slotOf(int index) const
    {
        const int n = int(array_.size());
        if (unsigned(index) < unsigned(n)) {
            int s = startIndex_ + index;
            return s >= n ? s - n : s;
        }
        int s = (startIndex_ + index) % n;
        return s < 0 ? s + n : s;
    }
    void materialize(BufferLinePtr& slot, int slotIndex);
    void dropImages(int first, int n);

    std::vector<BufferLinePtr> array_;
    int maxLength_ = 1;
    int startIndex_ = 0;
    int count_ = 0;
};

// The same ring for any element type (used for index bookkeeping during reflow).
template <typename T>
class CircularList {
public:
    explicit CircularList(int maxLength) : array_(size_t(std::max(maxLength, 1))) {}

    int count() const { return count_; }
    void setCount(int n) { count_ = std::clamp(n, 0, maxLength()); }
    int maxLength() const { return int(array_.size()); }
    bool isFull() const { return count_ == maxLength(); }

    std::function<T(int slot)> makeEmpty;

    T& operator[](int index)
    {
        auto& slot = array_[size_t(slotOf(index))];
        if (!slot)
            slot = makeEmpty ? makeEmpty(slotOf(index)) : T{};
        return *slot;
    }
    void set(int index, T value) { array_[size_t(slotOf(index))] = std::move(value); }

    void push(T value)
    {
        array_[size_t(slotOf(count_))] = std::move(value);
        if (count_ < maxLength())
            ++count_;
        else
            startIndex_ = (startIndex_ + 1) % maxLength();
    }
    void pop()
    {
        if (count_ > 0)
            --count_;
    }
    void trimStart(int n)
    {
        n = std::clamp(n, 0, count_);
        startIndex_ = (startIndex_ + n) % maxLength();
        count_ -= n;
    }

private:
    int slotOf(int index) const
    {
        const int n = int(array_.size());
        int s = (startIndex_ + index) % n;
        return s < 0 ? s + n : s;
    }
    std::vector<std::optional<T>> array_;
    int startIndex_ = 0;
    int count_ = 0;
};

} // namespace termcore
