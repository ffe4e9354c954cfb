#include "SelectionService.h"

#include "Buffer.h"
#include "Diagnostics.h"
#include "Terminal.h"
#include "UnicodeUtil.h"

#include <algorithm>
#include <vector>

namespace termcore {

SelectionService::SelectionService(Terminal& terminal)
    : terminal_(&terminal)
{
}

void SelectionService::notify()
{
    if (TerminalDelegate* d = terminal_->tdel())
        d->selectionChanged(*terminal_);
}

int SelectionService::yDisp() const
{
    return terminal_->buffer().yDisp();
}

void SelectionService::setActive(bool active)
{
    if (active != active_) {
        active_ = active;
        if (!active)
            hasSelectionRange_ = false;
        notify();
    }
    if (!active_) {
        pivot.reset();
        hasSelectionRange_ = false;
    }
}

void SelectionService::setActiveAndNotify()
{
    active_ = true;
    notify();
}

void SelectionService::setSoftStart(Position p)
{
    start_ = end_ = p;
    hasSelectionRange_ = false;
    active_ = true;
    notify();
}

void SelectionService::setSoftStart(int row, int col)
{
    setSoftStart(Position { col, row + yDisp() });
}

void SelectionService::startSelection(int row, int col)
{
    setSoftStart(Position { col, row + yDisp() });
    selectionMode = SelectionMode::character;
    selectingRows = false; // a new gesture: shift-clicks no longer extend by whole rows
    setActiveAndNotify();
}

void SelectionService::startSelection()
{
    hasSelectionRange_ = start_ != end_;
    setActiveAndNotify();
}

Position SelectionService::clamp(const Buffer& buffer, Position p) const
{
    const int lastRow = std::max(0, buffer.lines().count() - 1);
    return { std::clamp(p.col, 0, terminal_->cols()), std::clamp(p.row, 0, lastRow) };
}

void SelectionService::setSelection(Position start, Position end)
{
    start_ = start;
    end_ = end;
    hasSelectionRange_ = start_ != end_;
    setActiveAndNotify();
}

void SelectionService::shiftExtend(int row, int col)
{
    const int bufferRow = row + yDisp();
    if (selectingRows) {
        const bool after = bufferRow > start_.row || (bufferRow == start_.row && col > start_.col);
        col = after ? terminal_->cols() - 1 : 0;
    }
    Diagnostics::print(std::string("SelectinRows=") + (selectingRows ? "true" : "false"));
    shiftExtend(Position { col, bufferRow });
}

void SelectionService::shiftExtend(Position p)
{
    using R = Position::CompareResult;
    if (selectionMode == SelectionMode::word) {
        const int direction = Position::compare(p, start_) == R::before ? -1 : 1;
        p = extendToWordBoundary(p, terminal_->buffer(), direction);
    }
    const R startVsEnd = Position::compare(start_, end_);
    if ((startVsEnd == R::before && Position::compare(p, start_) == R::before)
        || (startVsEnd == R::after && Position::compare(p, start_) == R::after))
        start_ = end_; // the anchor flips to the far end
    end_ = p;
    hasSelectionRange_ = start_ != end_;
    setActiveAndNotify();
}

void SelectionService::pivotExtend(int row, int col)
{
    pivotExtend(Position { col, row + yDisp() });
}

void SelectionService::pivotExtend(Position p)
{
    if (selectionMode == SelectionMode::word) {
        const Position anchor = pivot.value_or(start_);
        const int direction = Position::compare(p, anchor) == Position::CompareResult::before ? -1 : 1;
        p = extendToWordBoundary(p, terminal_->buffer(), direction);
    }
    if (!pivot)
        pivot = start_;
    if (Position::compare(p, *pivot) == Position::CompareResult::before) {
        start_ = p;
        end_ = *pivot;
    } else {
        start_ = *pivot;
        end_ = p;
    }
    hasSelectionRange_ = start_ != end_;
    setActiveAndNotify();
}

void SelectionService::dragExtend(int row, int col)
{
    dragExtend(Position { col, row + yDisp() });
}

void SelectionService::dragExtend(Position p)
{
    if (selectionMode == SelectionMode::word) {
        const int direction = Position::compare(p, start_) == Position::CompareResult::before ? -1 : 1;
        p = extendToWordBoundary(p, terminal_->buffer(), direction);
    }
    end_ = p;
    hasSelectionRange_ = start_ != end_;
    setActiveAndNotify();
}

void SelectionService::selectAll()
{
    // The last row the ring can hold; text extraction limits it to the rows in use.
    start_ = { 0, 0 };
    end_ = { terminal_->cols() - 1, terminal_->buffer().lines().maxLength() - 1 };
    hasSelectionRange_ = end_ != Position { 0, 0 };
    setActiveAndNotify();
}

void SelectionService::select(int row)
{
    start_ = { 0, row };
    end_ = { terminal_->cols() - 1, row };
    hasSelectionRange_ = terminal_->cols() != 1;
    selectingRows = true;
    selectionMode = SelectionMode::row;
    setActiveAndNotify();
}

void SelectionService::selectNone()
{
    selectionMode = SelectionMode::character;
    selectingRows = false;
    setActive(false);
}

char32_t SelectionService::characterAt(const Buffer& buffer, int col, int row)
{
    const CircularBufferLineList& lines = buffer.lines();
    if (row < 0 || row >= lines.count() || col < 0)
        return 0;
    const BufferLine* line = lines.peek(row);
    if (!line || col >= line->count())
        return 0;
    const CharData& cell = (*line)[col];
    if (cell.code == 0)
        return 0;
    if (cell.code < 0x10000)
        return char32_t(cell.code); // a single code point stored as is
    const std::u32string text = cell.getCharacter();
    return text.empty() ? 0 : text.front();
}

bool SelectionService::isWordCharacter(char32_t c)
{
    return c == '.' || c == '_' || c == '-' || (c != 0 && UnicodeUtil::isLetterOrNumber(c));
}

void SelectionService::simpleScanSelection(Position from, const Buffer& buffer,
                                           const std::function<bool(char32_t)>& includeFunc)
{
    const int cols = terminal_->cols();
    const int row = from.row;
    int left = from.col;
    if (includeFunc(characterAt(buffer, left, row))) {
        while (left > 0 && includeFunc(characterAt(buffer, left - 1, row)))
            --left;
    }
    int right = from.col;
    while (right < cols && includeFunc(characterAt(buffer, right, row)))
        ++right;
    start_ = { left, row };
    end_ = { right, row };
    hasSelectionRange_ = left != right;
}

void SelectionService::balancedSearchForward(Position from, const Buffer& buffer)
{
    start_ = end_ = from;
    hasSelectionRange_ = false;
    const int cols = terminal_->cols();
    const int lastRow = std::min(buffer.yDisp() + buffer.rows() - 1, buffer.lines().count() - 1);
    std::vector<char32_t> expected;
    for (int row = std::max(from.row, 0); row <= lastRow; ++row) {
        for (int col = row == from.row ? from.col : 0; col < cols; ++col) {
            const char32_t c = characterAt(buffer, col, row);
            if (c == '(')
                expected.push_back(')');
            else if (c == '[')
                expected.push_back(']');
            else if (c == '{')
                expected.push_back('}');
            else if (!expected.empty() && c == expected.back()) {
                expected.pop_back();
                if (expected.empty()) {
                    end_ = { col + 1, row };
                    hasSelectionRange_ = start_ != end_;
                    return;
                }
            }
        }
    }
}

void SelectionService::balancedSearchBackward(Position from, const Buffer& buffer)
{
    start_ = end_ = from;
    hasSelectionRange_ = false;
    const int cols = terminal_->cols();
    std::vector<char32_t> expected;
    for (int row = std::min(from.row, buffer.lines().count() - 1); row >= 0; --row) {
        for (int col = row == from.row ? from.col : cols - 1; col >= 0; --col) {
            const char32_t c = characterAt(buffer, col, row);
            if (c == ')')
                expected.push_back('(');
            else if (c == ']')
                expected.push_back('[');
            else if (c == '}')
                expected.push_back('{');
            else if (!expected.empty() && c == expected.back()) {
                expected.pop_back();
                if (expected.empty()) {
                    start_ = { col, row };
                    end_ = { from.col + 1, from.row };
                    hasSelectionRange_ = start_ != end_;
                    return;
                }
            }
        }
    }
}

Position SelectionService::extendToWordBoundary(Position p, const Buffer& buffer, int direction) const
{
    const CircularBufferLineList& lines = buffer.lines();
    if (p.row < 0 || p.row >= lines.count() || p.col < 0)
        return p;
    const BufferLine* line = lines.peek(p.row);
    if (!line || p.col >= line->count())
        return p;
    const char32_t c = characterAt(buffer, p.col, p.row);
    std::function<bool(char32_t)> inClass;
    if (c == 0)
        inClass = [](char32_t x) { return x == 0; };
    else if (c == ' ')
        inClass = [](char32_t x) { return x == ' '; };
    else if (isWordCharacter(c))
        inClass = isWordCharacter;
    else
        return p;
    const int cols = terminal_->cols();
    int col = p.col;
    if (direction < 0) {
        while (col > 0 && inClass(characterAt(buffer, col - 1, p.row)))
            --col;
    } else {
        while (col < cols && inClass(characterAt(buffer, col, p.row)))
            ++col;
    }
    return { col, p.row };
}

void SelectionService::selectWordOrExpression(Position at, const Buffer& buffer)
{
    at.col = std::clamp(at.col, 0, terminal_->cols());
    at.row = std::max(at.row, 0);
    const char32_t c = characterAt(buffer, at.col, at.row);
    if (c == 0) {
        simpleScanSelection(at, buffer, [](char32_t x) { return x == 0; });
    } else if (c == ' ') {
        simpleScanSelection(at, buffer, [](char32_t x) { return x == ' '; });
    } else if (UnicodeUtil::isLetterOrNumber(c)) {
        simpleScanSelection(at, buffer, isWordCharacter);
    } else if (c == '(' || c == '[' || c == '{') {
        balancedSearchForward(at, buffer);
    } else if (c == ')' || c == ']' || c == '}') {
        balancedSearchBackward(at, buffer);
    } else {
        start_ = end_ = at;
        hasSelectionRange_ = false;
    }
    selectionMode = SelectionMode::word;
    selectingRows = false; // a new gesture: shift-clicks no longer extend by whole rows
    setActiveAndNotify();
}

std::string SelectionService::getSelectedText() const
{
    return terminal_->getText(start_, end_);
}

std::string SelectionService::debugDescription() const
{
    return std::string("[Selection (active=") + (active_ ? "true" : "false") + ", start=" + start_.debugDescription()
        + " end=" + end_.debugDescription() + " hasSR=" + (hasSelectionRange_ ? "true" : "false")
        + " pivot=" + (pivot ? pivot->debugDescription() : "nil") + "]";
}

} // namespace termcore
