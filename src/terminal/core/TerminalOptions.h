#pragma once

#include "CC.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace termcore {

// Cursor shapes, in the order of DECSCUSR's parameter values 1..6.
enum class CursorStyle : uint8_t {
    blinkBlock,
    steadyBlock,
    blinkUnderline,
    steadyUnderline,
    blinkBar,
    steadyBar,
};

// The exact, case-sensitive case name ("blinkBlock" ... "steadyBar"), or no value.
std::optional<CursorStyle> cursorStyleFromString(std::string_view name);
const char* cursorStyleName(CursorStyle style);
constexpr bool isBlinking(CursorStyle style)
{
    return style == CursorStyle::blinkBlock || style == CursorStyle::blinkUnderline || style == CursorStyle::blinkBar;
}

// The settings a terminal is created with.
struct TerminalOptions {
    int cols = 80;
    int rows = 25;
    bool convertEol = false;
    std::string termName = "xterm-256color";
    CursorStyle cursorStyle = CursorStyle::blinkBlock;
    bool screenReaderMode = false;
    int scrollback = 500;
    int tabStopWidth = 8;
    bool enableSixelReported = true;

    static TerminalOptions defaultOptions() { return {}; }

    friend bool operator==(const TerminalOptions&, const TerminalOptions&) = default;
};

// The private name under which the view marks selected cells' background colour in the text it
// lays out for a row.
inline constexpr std::string_view selectionBackgroundColorKey = "app.brinmoor.termcore.selectionBackgroundColor";

} // namespace termcore
