#include "TerminalOptions.h"

namespace termcore {

namespace {
constexpr CursorStyle kAllStyles[] = { CursorStyle::blinkBlock, CursorStyle::steadyBlock,
                                       CursorStyle::blinkUnderline, CursorStyle::steadyUnderline,
                                       CursorStyle::blinkBar, CursorStyle::steadyBar };
} // namespace

const char* cursorStyleName(CursorStyle style)
{
    switch (style) {
    case CursorStyle::blinkBlock: return "blinkBlock";
    case CursorStyle::steadyBlock: return "steadyBlock";
    case CursorStyle::blinkUnderline: return "blinkUnderline";
    case CursorStyle::steadyUnderline: return "steadyUnderline";
    case CursorStyle::blinkBar: return "blinkBar";
    case CursorStyle::steadyBar: return "steadyBar";
    }
    return "";
}

std::optional<CursorStyle> cursorStyleFromString(std::string_view name)
{
    for (CursorStyle s : kAllStyles)
        if (name == cursorStyleName(s))
            return s;
    return std::nullopt;
}

} // namespace termcore
