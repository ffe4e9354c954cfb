#include "CircularBufferLineList.h"

#include "Diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace termcore {

void engineFatal(std::string_view message)
{
    Diagnostics::print(message);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stdout);
    std::abort();
}

namespace {
// Slots allocated up front; more are added as rows arrive.
constexpr int kInitialSlots = 256;
} // namespace

CircularBufferLineList::CircularBufferLineList(int maxLength)
    : maxLength_(std::max(maxLength, 1))
{
    array_.resize(static_cast<size_t>(std::min(maxLength_, kInitialSlots)));
}

void CircularBufferLineList::ensureSlots(int needed)
{
    const int slots = int(array_.size());
    if (needed <= slots)
        return;
    const int grown = int(std::min<long long>(maxLength_, std::max<long long>(needed, 2LL * slots)));
    if (startIndex_ != 0)
        std::rotate(array_.begin(), array_.begin() + startIndex_, array_.end());
    startIndex_ = 0;
    array_.resize(static_cast<size_t>(grown));
}

void CircularBufferLineList::setCount(int newCount)
{
    count_ = std::clamp(newCount, 0, maxLength_);
    ensureSlots(count_);
}

void CircularBufferLineList::setMaxLength(int newMaxLength)
{
    newMaxLength = std::max(newMaxLength, 1);
    if (newMaxLength == maxLength_)
        return;
    // Bring logical row 0 to slot 0, then cut the slots to the new capacity; growing only
    // raises the limit, slots follow as rows arrive.
    if (startIndex_ != 0)
        std::rotate(array_.begin(), array_.begin() + startIndex_, array_.end());
    startIndex_ = 0;
    if (int(array_.size()) > newMaxLength)
        array_.resize(static_cast<size_t>(newMaxLength));
    maxLength_ = newMaxLength;
    count_ = std::min(count_, newMaxLength);
}

void CircularBufferLineList::materialize(BufferLinePtr& slot, int slotIndex)
{
    if (makeEmpty)
        slot = makeEmpty(slotIndex);
    if (!slot) {
        // No row maker installed: a row without cells keeps every later access safe.
        slot = std::make_shared<BufferLine>(0);
    }
}

std::vector<BufferLinePtr> CircularBufferLineList::takeRows()
{
    std::vector<BufferLinePtr> rows;
    rows.reserve(size_t(count_));
    const int n = int(array_.size());
    for (int k = 0, slot = startIndex_; k < count_; ++k) {
        BufferLinePtr& p = array_[size_t(slot)];
        if (!p)
            materialize(p, slot);
        rows.push_back(std::move(p));
        if (++slot == n)
            slot = 0;
    }
    return rows;
}

void CircularBufferLineList::putRows(std::vector<BufferLinePtr>&& rows)
{
    setCount(int(std::min<size_t>(rows.size(), size_t(maxLength_))));
    const int n = int(array_.size());
    for (int k = 0, slot = startIndex_; k < count_; ++k) {
        array_[size_t(slot)] = std::move(rows[size_t(k)]);
        if (++slot == n)
            slot = 0;
    }
}

void CircularBufferLineList::push(BufferLinePtr line)
{
    if (count_ < maxLength_) {
        ensureSlots(count_ + 1);
        array_[size_t(slotOf(count_))] = std::move(line);
        ++count_;
    } else {
        // Full (and then the slots number maxLength): the oldest row is dropped.
        array_[size_t(slotOf(count_))] = std::move(line);
        ++startIndex_;
        if (startIndex_ == int(array_.size()))
            startIndex_ = 0;
    }
}

void CircularBufferLineList::recycle()
{
    if (count_ != maxLength_)
        engineFatal("can only recycle when the buffer is full");
    ensureSlots(maxLength_);
    ++startIndex_;
    if (startIndex_ == int(array_.size()))
        startIndex_ = 0;
    BufferLine& reused = (*this)[count_ - 1];
    reused.clear(Attribute());
    // Images anchored in the row scrolled out with its text; they must not reappear at the bottom.
    reused.clearImages();
}

void CircularBufferLineList::rotate(int first, int middle, int last)
{
    if (first >= last)
        return;
    const int s = slotOf(first);
    const int n = last - first;
    const int k = middle - first;
    if (s + n <= int(array_.size())) {
        BufferLinePtr* a = array_.data() + s;
        for (int i = 0; i < n; ++i)
            if (!a[i]) [[unlikely]]
                materialize(a[i], s + i);
        // One row going to the other end (a scroll by one line) is a chain of pointer moves:
        // std::rotate swaps neighbours there, and every swap re-reads the pointer pair the
        // one before has just half-written, which stalls on store forwarding.
        if (k == 1) {
            BufferLinePtr row = std::move(a[0]);
            std::move(a + 1, a + n, a);
            a[n - 1] = std::move(row);
        } else if (k == n - 1) {
            BufferLinePtr row = std::move(a[n - 1]);
            std::move_backward(a, a + n - 1, a + n);
            a[0] = std::move(row);
        } else {
            std::rotate(a, a + k, a + n);
        }
        return;
    }
    for (int i = first; i < last; ++i)
        line(i);
    std::vector<BufferLinePtr> rows;
    rows.reserve(size_t(last - first));
    for (int i = middle; i < last; ++i)
        rows.push_back(std::move(array_[size_t(slotOf(i))]));
    for (int i = first; i < middle; ++i)
        rows.push_back(std::move(array_[size_t(slotOf(i))]));
    for (int i = first; i < last; ++i)
        array_[size_t(slotOf(i))] = std::move(rows[size_t(i - first)]);
}

void CircularBufferLineList::pop()
{
    if (count_ > 0) {
        --count_;
        dropImages(count_, 1);
    }
}

void CircularBufferLineList::trimStart(int n)
{
    n = std::clamp(n, 0, count_);
    dropImages(0, n);
    startIndex_ = (startIndex_ + n) % int(array_.size());
    count_ -= n;
}

// Rows that leave the ring stay in their slots until reused; their images (and the memory of
// their pixels) go at once. A row object still in use elsewhere keeps them.
void CircularBufferLineList::dropImages(int first, int n)
{
    for (int i = first; i < first + n; ++i) {
        BufferLinePtr& slot = array_[size_t(slotOf(i))];
        if (slot && slot->images() && slot.use_count() == 1)
            slot->clearImages();
    }
}

void CircularBufferLineList::splice(int start, int deleteCount, const std::vector<BufferLinePtr>& items,
                                    const std::function<void(int)>& change)
{
    auto changed = [&](int i) {
        if (change)
            change(i);
    };
    start = std::clamp(start, 0, count_);
    deleteCount = std::clamp(deleteCount, 0, count_ - start);

    // 1. Delete.
    if (deleteCount >= 1) {
        for (int i = start; i < count_ - deleteCount; ++i) {
            set(i, line(i + deleteCount));
            changed(i);
        }
        count_ -= deleteCount;
    }

    const int slots = maxLength_;
    const int inserted = int(items.size());
    size_t firstItem = 0;

    // 2. Drop what will not fit from the front *before* moving anything, so that no row is
    // written into a slot whose row has not been read yet. The excess never exceeds the number
    // of inserted rows (count <= slots), so it is taken from the rows above `start` first and
    // then from the front of the items.
    const int excess = count_ + inserted - slots;
    if (excess > 0) {
        if (excess <= start) {
            trimStart(excess);
            start -= excess;
        } else {
            trimStart(start);
            firstItem = size_t(excess - start);
            start = 0;
        }
    }
    const int toInsert = inserted - int(firstItem);
    ensureSlots(count_ + toInsert);

    // 3. Move the rows below the insertion point down, the bottom one first.
    for (int i = count_ - 1; i >= start; --i) {
        set(i + toInsert, line(i));
        changed(i + toInsert);
    }
    // 4. Insert.
    for (int i = 0; i < toInsert; ++i) {
        changed(start + i);
        set(start + i, items[firstItem + size_t(i)]);
    }
    count_ += toInsert;
}

bool CircularBufferLineList::shiftElements(int start, int count, int offset)
{
    auto refuse = [&](const char* reason) {
        Diagnostics::print("Assertion at start=" + std::to_string(start) + " count=" + std::to_string(count) +
                           " offset=" + std::to_string(offset) + ": " + reason);
        return false;
    };
    if (count < 0)
        return refuse("count < 0");
    if (start < 0)
        return refuse("start < 0");
    if (start >= count_)
        return refuse("start >= self.count");
    if (start + offset <= 0)
        return refuse("start+offset <= 0");

    if (offset <= 0) {
        // Upward: top-down, so no row is overwritten before it is read.
        for (int i = 0; i < count; ++i)
            set(start + i + offset, line(start + i));
        return true;
    }
    const long long expanded = (long long)start + count + offset;
    ensureSlots(int(std::min<long long>(expanded, maxLength_)));
    for (int i = count - 1; i >= 0; --i)
        set(start + i + offset, line(start + i));
    if (expanded > count_) {
        // Past the capacity the oldest rows fall off the front.
        const long long excess = std::max<long long>(expanded - maxLength_, 0);
        count_ = int(expanded - excess);
        startIndex_ = int((startIndex_ + excess) % (long long)array_.size());
    }
    return true;
}

} // namespace termcore
