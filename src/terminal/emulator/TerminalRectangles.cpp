// The VT400 rectangular-area operations: DECFRA, DECERA, DECSERA, DECCRA and the DECRQCRA
// checksum report, addressed in 1-based coordinates that follow origin mode.

#include "Terminal.h"

#include "Diagnostics.h"
#include "TerminalCommandSupport.h"
#include "UnicodeUtil.h"

#include <algorithm>
#include <cstdio>

namespace termcore {

using commands::collectIs;
using commands::listText;

namespace {

// A parameter as an int, large values limited so the arithmetic below cannot overflow.
int clampedParam(int64_t v)
{
    return int(std::clamp<int64_t>(v, -1000000, 1000000));
}

// A double-width character with one half inside the area and one outside is blanked whole
// before the area's columns of the row change, as xterm does.
void keepWideWhole(const Terminal& t, BufferLine& line, const Terminal::Rectangle& r)
{
    line.splitWide(r.left, t.eraseCell());
    line.splitWide(r.right + 1, t.eraseCell());
}

// Every cell of the area becomes `cell` (DECFRA's character, DECERA's blank).
void fillRectangle(Terminal& t, const Terminal::Rectangle& r, const CharData& cell)
{
    Buffer& b = t.buffer();
    for (int row = r.top; row <= r.bottom; ++row) {
        BufferLine& line = b.lines()[b.yBase() + row];
        keepWideWhole(t, line, r);
        for (int col = r.left; col <= r.right; ++col)
            line.set(col, cell);
        t.updateRange(row);
    }
}

} // namespace

Terminal::Rectangle Terminal::getRectangleFromRequest(ParamSpan pars) const
{
    const Buffer& b = *buffer_;
    int top = pars.size() > 0 ? std::max(1, clampedParam(pars[0])) : 1;
    int left = pars.size() > 1 ? std::max(1, clampedParam(pars[1])) : 1;
    int bottom = pars.size() > 2 && pars[2] >= 0 ? clampedParam(pars[2]) : rows_;
    int right = pars.size() > 3 && pars[3] >= 0 ? clampedParam(pars[3]) : cols_;
    bottom = std::min(bottom, rows_);
    right = std::min(right, cols_);
    if (originMode) {
        top += b.scrollTop();
        bottom += b.scrollTop();
        // A left margin left behind by DECSLRM counts only while margin mode is on, as for CUP.
        const int marginLeft = marginMode ? b.marginLeft() : 0;
        left += marginLeft;
        right += marginLeft;
    }
    Rectangle r;
    if (bottom < top || right < left)
        return r;
    r.empty = false;
    r.top = std::min(top - 1, rows_ - 1);
    r.left = std::min(left - 1, cols_ - 1);
    r.bottom = std::min(bottom - 1, rows_ - 1);
    r.right = std::min(right - 1, cols_ - 1);
    return r;
}

void Terminal::csiX(ParamSpan pars, ByteSpan collect)
{
    if (!collectIs(collect, "$")) {
        log("Not implemented CSI x with collect: collect=" + listText(collect) + " and pars=" + listText(pars));
        return;
    }
    // DECFRA: Pch; Pt; Pl; Pb; Pr.
    if (pars.empty())
        return;
    const int64_t pch = pars[0];
    const char32_t ch = UnicodeUtil::isScalarValue(pch) ? char32_t(pch) : U' ';
    const Rectangle r = getRectangleFromRequest(pars.subspan(1));
    if (r.empty)
        return;
    fillRectangle(*this, r, CharData(curAttr, ch, int8_t(UnicodeUtil::columnWidth(ch))));
}

void Terminal::csiZ(ParamSpan pars, ByteSpan collect)
{
    if (collectIs(collect, "$"))
        cmdDECERA(pars, collect);
    else if (collectIs(collect, "'"))
        Diagnostics::print("TODO: Enable Locator Reporting (DECELR)");
}

void Terminal::cmdDECERA(ParamSpan pars, ByteSpan)
{
    const Rectangle r = getRectangleFromRequest(pars);
    if (r.empty)
        return;
    fillRectangle(*this, r, CharData(curAttr, U' ', 1));
}

void Terminal::csiOpenBrace(ParamSpan pars, ByteSpan collect)
{
    if (collectIs(collect, "$"))
        cmdSelectiveEraseRectangularArea(pars, collect);
    else
        log("CSI # { not implemented - XTPUSHSGR with " + listText(pars));
}

void Terminal::cmdSelectiveEraseRectangularArea(ParamSpan pars, ByteSpan)
{
    // No cell is protected (DECSCA is not kept), so every cell of the area is erased; each keeps
    // its own rendition.
    const Rectangle r = getRectangleFromRequest(pars);
    if (r.empty)
        return;
    Buffer& b = *buffer_;
    for (int row = r.top; row <= r.bottom; ++row) {
        BufferLine& line = b.lines()[b.yBase() + row];
        keepWideWhole(*this, line, r);
        for (int col = r.left; col <= r.right; ++col) {
            CharData cell = line[col];
            cell.setValue(U' ', 1);
            line.set(col, cell);
        }
        updateRange(row);
    }
}

void Terminal::csiCopyRectangularArea(ParamSpan pars, ByteSpan collect)
{
    if (!collectIs(collect, "$"))
        return;
    // DECCRA: Pts; Pls; Pbs; Prs; Pps; Ptd; Pld; Ppd.
    auto param = [&](size_t i, int64_t fallback) { return i < pars.size() ? pars[i] : fallback; };
    auto oneIfZero = [](int64_t v) { return v == 0 ? int64_t(1) : v; };
    const int64_t sourceTop = oneIfZero(param(0, 1));
    const int64_t sourceLeft = oneIfZero(param(1, 1));
    const int64_t sourceBottom = param(2, rows_);
    const int64_t sourceRight = param(3, cols_);
    const int64_t sourcePage = oneIfZero(param(4, 1));
    const int64_t destTop = oneIfZero(param(5, 1));
    const int64_t destLeft = oneIfZero(param(6, 1));
    const int64_t destPage = oneIfZero(param(7, 1));
    if (sourcePage != 1 || destPage != 1)
        return;
    const int64_t corners[4] = {sourceTop, sourceLeft, sourceBottom, sourceRight};
    const Rectangle r = getRectangleFromRequest(ParamSpan(corners, 4));
    if (r.empty)
        return;
    // The destination follows origin mode like the source.
    Buffer& b = *buffer_;
    const int64_t rowOffset = originMode ? b.scrollTop() : 0;
    const int64_t colOffset = originMode && marginMode ? b.marginLeft() : 0;
    const int dstRow = int(std::clamp<int64_t>(std::min<int64_t>(destTop - 1, rows_) + rowOffset, 0, rows_ - 1));
    const int dstCol = int(std::clamp<int64_t>(std::min<int64_t>(destLeft - 1, cols_) + colOffset, 0, cols_ - 1));

    // Read the whole source first: source and destination may overlap.
    const int width = std::min(r.right - r.left + 1, cols_ - dstCol);
    std::vector<std::vector<CharData>> rows;
    for (int row = r.top; row <= r.bottom; ++row) {
        const BufferLine& line = b.lines()[b.yBase() + row];
        std::vector<CharData> cells;
        cells.reserve(size_t(width));
        for (int i = 0; i < width; ++i)
            cells.push_back(line[r.left + i]);
        rows.push_back(std::move(cells));
    }
    for (size_t i = 0; i < rows.size() && dstRow + int(i) < rows_; ++i) {
        const int row = dstRow + int(i);
        BufferLine& line = b.lines()[b.yBase() + row];
        for (int c = 0; c < width; ++c)
            line.set(dstCol + c, rows[i][size_t(c)]);
        updateRange(row);
    }
}

void Terminal::cmdDECRQCRA(ParamSpan pars, ByteSpan)
{
    const int64_t pid = pars.empty() ? 1 : pars[0];
    uint32_t sum = 0;
    const bool answer = tdel_ && pars.size() >= 3 && tdel_->isProcessTrusted(*this);
    if (answer) {
        const Rectangle r = getRectangleFromRequest(pars.subspan(2));
        if (!r.empty) {
            Buffer& b = *buffer_;
            for (int row = r.top; row <= r.bottom; ++row) {
                const BufferLine& line = b.lines()[b.yBase() + row];
                for (int col = r.left; col <= r.right; ++col) {
                    const CharData& cell = line[col];
                    if (cell.code == 0) {
                        sum += 32;
                        continue;
                    }
                    for (char32_t c : cell.getCharacter())
                        sum += uint32_t(c);
                }
            }
        }
    }
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%04x", sum);
    sendResponse({dcs(), std::to_string(pid) + "!~" + checksum, st()});
}

} // namespace termcore
