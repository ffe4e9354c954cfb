#pragma once

#include "Position.h"

#include <string>

namespace termcore {
class Terminal;
}

// The text selection over a terminal, in buffer coordinates (rows counted from the first line
// of the scrollback). Every change of `active` tells the terminal's delegate, so the view
// repaints. A view-side stand-in until the engine's selection service is available; it keeps
// the same names so the switch is a type change.
class ViewSelection {
public:
    enum class Mode { character, word, row };

    explicit ViewSelection(termcore::Terminal& terminal) : terminal_(terminal) {}

    bool isActive() const { return active_; }
    void setActive(bool on);
    termcore::Position start{0, 0};
    termcore::Position end{0, 0};
    Mode selectionMode() const { return mode_; }
    void setSelectionMode(Mode m) { mode_ = m; }

    // A character selection from a screen row and column (the display offset is added).
    void startSelection(int row, int col);
    // Extends to a buffer position.
    void extend(termcore::Position to);
    // From (0, 0) to the last column of the last buffer line.
    void selectAll();
    // The whole buffer row.
    void select(int row);
    std::string getSelectedText() const;

private:
    void notify();
    termcore::Terminal& terminal_;
    bool active_ = false;
    Mode mode_ = Mode::character;
};
