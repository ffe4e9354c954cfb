#pragma once

#include <string>

namespace termcore {

// A column and a row in a buffer; the row indexes the buffer's lines including scrollback.
struct Position {
    int col = 0;
    int row = 0;

    enum class CompareResult { before, after, equal };

    constexpr bool operator==(const Position&) const = default;

    // Row first, then column.
    static constexpr CompareResult compare(const Position& a, const Position& b)
    {
        if (a.row < b.row || (a.row == b.row && a.col < b.col))
            return CompareResult::before;
        if (a.row > b.row || (a.row == b.row && a.col > b.col))
            return CompareResult::after;
        return CompareResult::equal;
    }

    std::string debugDescription() const { return "col=" + std::to_string(col) + " row=" + std::to_string(row); }
};

} // namespace termcore
