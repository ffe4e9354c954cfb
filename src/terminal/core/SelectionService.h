#pragma once

#include "Position.h"

#include <functional>
#include <optional>
#include <string>

namespace termcore {

class Buffer;
class Terminal;

// The text selection of one terminal: its two ends in buffer coordinates (rows count from the
// first scrollback line), whether it is shown, the granularity the user selects at, and the
// click, shift-click, drag, double-click, row and select-all gestures that change it. Every change
// is reported through the terminal's delegate (selectionChanged).
//
// It refers to its terminal without owning it: the view owns both and keeps the terminal alive
// for as long as the selection.
class SelectionService {
public:
    enum class SelectionMode { character, word, row };

    explicit SelectionService(Terminal& terminal);

    Terminal& terminal() const { return *terminal_; }
    void setTerminal(Terminal& terminal) { terminal_ = &terminal; }

    bool active() const { return active_; }
    // Notifies when the value changes; becoming (or staying) inactive drops the pivot and the range.
    void setActive(bool active);
    void setActiveAndNotify();

    bool hasSelectionRange() const { return hasSelectionRange_; }
    Position start() const { return start_; }
    Position end() const { return end_; }
    std::optional<Position> pivot;
    bool isMultiLine() const { return start_.row != end_.row; }

    bool selectingRows = false;
    SelectionMode selectionMode = SelectionMode::character;

    // A click at a screen row: an empty selection there, character mode.
    void startSelection(int row, int col);
    // Shows the current range again.
    void startSelection();
    // Limits a position to the columns 0...cols and the rows in use.
    Position clamp(const Buffer& buffer, Position p) const;
    void setSelection(Position start, Position end);
    void setSoftStart(int row, int col);
    void setSoftStart(Position bufferPosition);
    // Shift-click: extend to a point, flipping the anchor when the point passes it.
    void shiftExtend(int row, int col);
    void shiftExtend(Position bufferPosition);
    // Extend between the pivot (the start when none is set) and a point, in order.
    void pivotExtend(int row, int col);
    void pivotExtend(Position bufferPosition);
    // Mouse drag: move the end; the anchor never flips.
    void dragExtend(int row, int col);
    void dragExtend(Position bufferPosition);
    void selectAll();
    // Triple click: the whole buffer row.
    void select(int row);
    // Double click: the bracketed expression when on a bracket, else the word, run of spaces or
    // run of empty cells around the position.
    void selectWordOrExpression(Position at, const Buffer& buffer);
    void selectNone();

    // The selected text as the terminal's logical lines give it.
    std::string getSelectedText() const;
    std::string debugDescription() const;

    // The scans behind the gestures, usable on their own.
    void simpleScanSelection(Position from, const Buffer& buffer, const std::function<bool(char32_t)>& includeFunc);
    void balancedSearchForward(Position from, const Buffer& buffer);
    void balancedSearchBackward(Position from, const Buffer& buffer);
    Position extendToWordBoundary(Position position, const Buffer& buffer, int direction) const;

    // The character of a cell for selection purposes: U+0000 for an empty cell or a position
    // outside the buffer, else the first code point of the cell's character.
    static char32_t characterAt(const Buffer& buffer, int col, int row);
    // Word characters: letters and numbers (Unicode), ".", "_" and "-".
    static bool isWordCharacter(char32_t c);

private:
    void notify();
    int yDisp() const;

    Terminal* terminal_;
    bool active_ = false;
    bool hasSelectionRange_ = false;
    Position start_;
    Position end_;
};

// The view's search state for a terminal; searching itself is not offered yet.
class SearchService {
public:
    explicit SearchService(Terminal& terminal) : terminal_(&terminal) {}
    Terminal& terminal() const { return *terminal_; }
    void invalidate() {}

private:
    Terminal* terminal_;
};

} // namespace termcore
