// Cursor movement, tab stops, the scroll region and margins, and the saved cursor.
#include "Terminal.h"
#include "TerminalCommandSupport.h"

#include <algorithm>

namespace termcore {

using commands::countParam;
using commands::param;

namespace {
// The left margin for a command that consults it whether or not DECLRMM is on: with the mode
// off it is column 0, whatever DECSLRM left behind.
int leftLimit(const Buffer& b, bool marginMode) { return marginMode ? b.marginLeft() : 0; }
} // namespace

void Terminal::cmdCursorUp(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int n = countParam(pars);
    // Above the region the cursor moves freely up to row 0; from inside (or below) it stops
    // at the region's top (DEC STD 070).
    const int top = b.y() < b.scrollTop() ? 0 : b.scrollTop();
    b.setY(std::max(b.y() - n, top));
}

void Terminal::cmdCursorDown(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int n = countParam(pars);
    const int bottom = b.y() > b.scrollBottom() ? b.rows() - 1 : b.scrollBottom();
    b.setY(std::min(b.y() + n, bottom));
    if (b.x() >= cols())
        b.setX(b.x() - 1);
}

void Terminal::cursorForward(int count)
{
    Buffer& b = buffer();
    int limit = marginMode ? b.marginRight() : cols() - 1;
    if (b.x() > limit)
        limit = b.cols() - 1;
    b.setX(std::min(b.x() + std::max(1, count), limit));
}

void Terminal::cursorBackward(int count)
{
    Buffer& b = buffer();
    int limit = marginMode ? b.marginLeft() : 0;
    if (b.x() < limit)
        limit = 0;
    b.setX(std::max(b.x() - std::max(1, count), limit));
}

void Terminal::cmdCursorNextLine(ParamSpan pars, ByteSpan collect)
{
    cmdCursorDown(pars, collect);
    buffer().setX(leftLimit(buffer(), marginMode));
}

void Terminal::cmdCursorPrecedingLine(ParamSpan pars, ByteSpan collect)
{
    cmdCursorUp(pars, collect);
    buffer().setX(leftLimit(buffer(), marginMode));
}

void Terminal::cmdCursorCharAbsolute(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int c = countParam(pars) - 1;
    const int base = originMode && marginMode ? b.marginLeft() : 0;
    // Clamped to the last column as well: with a left margin the sum could pass the screen.
    b.setX(std::min(base + std::min(c, cols() - 1), cols() - 1));
}

void Terminal::cmdCursorPosition(ParamSpan pars, ByteSpan)
{
    // Both coordinates given and on the screen, outside origin mode: nothing to clamp. Full-screen
    // programs address nearly every cell they draw this way.
    if (pars.size() == 2 && !originMode && pars[0] >= 1 && pars[0] <= rows_ && pars[1] >= 1 && pars[1] <= cols_) {
        Buffer& b = *buffer_;
        updateRange(b.y());
        b.setX(int(pars[1]) - 1);
        b.setY(int(pars[0]) - 1);
        updateRange(b.y());
        return;
    }
    int row = 0;
    int col = 0;
    if (pars.size() >= 2) {
        row = countParam(pars, 0) - 1;
        col = countParam(pars, 1) - 1;
    } else if (pars.size() == 1) {
        row = countParam(pars, 0) - 1;
    }
    setCursor(col, row);
}

void Terminal::setCursor(int col, int row)
{
    Buffer& b = buffer();
    updateRange(b.y());
    if (originMode) {
        b.setX(col + (marginMode ? b.marginLeft() : 0));
        b.setY(b.scrollTop() + row);
    } else {
        b.setX(col);
        b.setY(row);
    }
    restrictCursor(true);
}

void Terminal::cmdCharPosAbsolute(ParamSpan pars, ByteSpan collect)
{
    // HPA addresses the same column as CHA: relative to the left margin in origin mode, or the
    // next position report would not give back the column that was asked for.
    cmdCursorCharAbsolute(pars, collect);
}

void Terminal::cmdHPositionRelative(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    b.setX(std::min(b.x() + countParam(pars), cols() - 1));
}

void Terminal::cmdLinePosAbsolute(ParamSpan pars, ByteSpan)
{
    // VPA addresses the same row as CUP: in origin mode relative to the region and kept in it.
    Buffer& b = buffer();
    const int n = countParam(pars);
    if (originMode)
        b.setY(std::min(b.scrollTop() + n - 1, b.scrollBottom()));
    else
        b.setY(n > rows() ? rows() - 1 : n - 1);
}

void Terminal::cmdVPositionRelative(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    b.setY(std::min(b.y() + countParam(pars), rows() - 1));
    if (b.x() >= cols())
        b.setX(b.x() - 1);
}

void Terminal::cmdHVPosition(ParamSpan pars, ByteSpan)
{
    // HVP deliberately does not share CUP's path: the row is limited to the screen, not to the
    // scroll region, and nothing is marked dirty.
    Buffer& b = buffer();
    const int r = countParam(pars, 0);
    const int c = pars.size() >= 2 ? countParam(pars, 1) - 1 : 0;
    b.setY(std::min(r - 1 + (originMode ? b.scrollTop() : 0), rows() - 1));
    b.setX(std::min(c + (originMode && marginMode ? b.marginLeft() : 0), cols() - 1));
}

void Terminal::cmdCursorForwardTab(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int p = param(pars, 0);
    const int n = p >= 2 ? std::min(p, cols() - 1) : std::min(1, cols() - 1);
    for (int i = 0; i < n; i++) {
        const int next = b.nextTabStop(marginMode, -1);
        if (next < 0 || next == b.x())
            break;
        b.setX(next);
    }
}

void Terminal::cmdCursorBackwardTab(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    if (b.x() > cols())
        return;
    const int p = param(pars, 0);
    const int n = p > 1 ? std::min(p, b.cols()) : std::min(1, b.cols());
    for (int i = 0; i < n; i++) {
        const int prev = b.previousTabStop(-1);
        if (prev < 0 || prev == b.x())
            break;
        b.setX(prev);
    }
}

void Terminal::cmdTabClear(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int p = param(pars, 0);
    if (p == 0)
        b.tabClear(b.x());
    else if (p == 3)
        std::fill(b.tabStops.begin(), b.tabStops.end(), false);
}

void Terminal::cmdSetScrollRegion(ParamSpan pars, ByteSpan collect)
{
    // CSI ? Pm r is xterm's "restore private modes", not DECSTBM.
    if (!collect.empty())
        return;
    Buffer& b = buffer();
    const int top = pars.empty() ? 0 : std::max(param(pars, 0) - 1, 0);
    int bottom = rows();
    if (pars.size() >= 2) {
        const int p2 = param(pars, 1);
        if (p2 > 0 && p2 <= rows())
            bottom = p2;
    }
    bottom -= 1;
    if (top < bottom) {
        b.setScrollTop(top);
        b.setScrollBottom(bottom);
    }
    setCursor(0, 0);
}

void Terminal::cmdSetMargins(ParamSpan pars, ByteSpan)
{
    Buffer& b = buffer();
    const int left = param(pars, 0) - 1;
    int right = pars.size() >= 2 ? param(pars, 1) - 1 : cols() - 1;
    right = std::min(std::max(right, 0), cols() - 1);
    b.setMarginLeft(std::min(std::max(left, 0), right));
    b.setMarginRight(right);
}

void Terminal::csiS(ParamSpan pars, ByteSpan collect)
{
    // The same final byte is DECSLRM while left/right margin mode is on and SCOSC otherwise;
    // intermediates are not looked at.
    if (marginMode)
        cmdSetMargins(pars, collect);
    else
        cmdSaveCursor();
}

void Terminal::cmdSaveCursor()
{
    Buffer& b = buffer();
    b.savedX = b.x();
    b.savedY = b.y();
    b.savedAttr = curAttr;
    b.savedCharset = charset() ? std::optional<CharsetTable>(*charset()) : std::nullopt;
    b.savedWraparound = wraparound;
    b.savedOriginMode = originMode;
    b.savedMarginMode = marginMode;
    b.savedReverseWraparound = reverseWraparound;
    b.cursorSaved = true;
}

void Terminal::cmdRestoreCursor()
{
    Buffer& b = buffer();
    if (!b.cursorSaved) {
        // Nothing saved (a fresh screen, or after RIS or DECSTR): xterm homes the cursor with
        // default rendition, G0-G3 designated as ASCII with G0 in GL, and origin mode off, and
        // keeps autowrap, margin mode and reverse wraparound. Restoring the empty record's
        // modes instead turned autowrap off for a program that only ran `tput rmcup`.
        b.setX(0);
        b.setY(0);
        curAttr = Attribute();
        resetCharsets();
        gLevel = 0;
        originMode = false;
        return;
    }
    // The screen may have shrunk since the save; an unclamped cursor would index past the
    // rows and cells of the buffer on the next write.
    b.setX(std::clamp(b.savedX, 0, cols()));
    b.setY(std::clamp(b.savedY, 0, rows() - 1));
    curAttr = b.savedAttr;
    // Prefer the registry's own table when the saved copy is one of the designated sets, so the
    // active charset never points into the saved-cursor record that a later save overwrites.
    const CharsetTable* table = nullptr;
    if (b.savedCharset) {
        for (const CharsetTable* g : gsets)
            if (g && *g == *b.savedCharset) {
                table = g;
                break;
            }
    }
    if (table || !b.savedCharset)
        setCharset(table);
    else
        setCharset(b.savedCharset);
    originMode = b.savedOriginMode;
    setMarginMode(b.savedMarginMode);
    setWraparound(b.savedWraparound);
    reverseWraparound = b.savedReverseWraparound;
}

} // namespace termcore
