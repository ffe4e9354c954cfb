// Character attributes (SGR), ANSI and DEC private modes, the cursor shape, and the CSI ... p
// family (soft reset, conformance level, mode queries).
#include "Diagnostics.h"
#include "Terminal.h"
#include "TerminalCommandSupport.h"

#include <algorithm>
#include <bitset>

namespace termcore {

using commands::bytesText;
using commands::collectIs;
using commands::listText;
using commands::param;

namespace {
using CellColor = Attribute::Color;

uint8_t cap255(int64_t v) { return uint8_t(std::clamp<int64_t>(v, 0, 255)); }

// Reads the extended colour of the semicolon form that follows SGR 38, 48 or 58 from parameter j
// on: 5;n or 2;r;g;b. Returns the index at which the walk resumes; `out` is set only when a
// colour was read.
size_t readExtendedColor(ParamSpan pars, size_t j, std::optional<CellColor>& out)
{
    const size_t n = pars.size();
    if (j >= n)
        return j;
    if (pars[j] == 5) {
        if (j + 1 >= n)
            return j + 1;
        out = CellColor::ansi256(cap255(pars[j + 1]));
        return j + 2;
    }
    if (pars[j] == 2) {
        if (n - (j + 1) < 3)
            return j + 1;
        out = CellColor::trueColor(cap255(pars[j + 1]), cap255(pars[j + 2]), cap255(pars[j + 3]));
        return j + 4;
    }
    return j;
}

// The colour of a colon group 38:..., 48:... or 58:... (ITU T.416): 38:5:n indexed, 38:2:r:g:b
// and 38:2:<colour space>:r:g:b direct (the colour space, often left empty, is not used; values
// past the blue are ignored). Anything shorter or of another kind gives no colour.
std::optional<CellColor> groupColor(ParamSpan group)
{
    if (group.size() >= 3 && group[1] == 5)
        return CellColor::ansi256(cap255(group[2]));
    if (group.size() >= 5 && group[1] == 2) {
        const size_t r = group.size() == 5 ? 2 : 3;
        return CellColor::trueColor(cap255(group[r]), cap255(group[r + 1]), cap255(group[r + 2]));
    }
    return std::nullopt;
}

// Which parameters are sub-parameters, joined to the one before them by ":" in the raw text:
// bit k is set when parameter k + 1 follows a colon. Separators past the bounded raw text count
// as semicolons.
using ColonBits = std::bitset<EscapeSequenceParser::kMaxParameters>;
ColonBits colonSeparated(ByteSpan raw, size_t count)
{
    ColonBits colon;
    size_t k = 0;
    for (uint8_t b : raw) {
        if (b != ':' && b != ';')
            continue;
        if (k + 1 >= count)
            break;
        colon[k++] = b == ':';
    }
    return colon;
}
} // namespace

void Terminal::cmdCharAttributes(ParamSpan pars, ByteSpan collect)
{
    // CSI > Pp ; Pv m and CSI ? Pp m are xterm's key-modifier options (XTMODKEYS, XTQMODKEYS),
    // which editors such as vim send at start-up; read as SGR they would underline or dim the
    // text that follows.
    for (uint8_t c : collect)
        if (c >= '<' && c <= '?')
            return;
    if (pars.empty())
        return;
    if (pars.size() == 1 && pars[0] == 0) {
        curAttr = Attribute();
        return;
    }
    CellColor fg = curAttr.fg;
    CellColor bg = curAttr.bg;
    CharacterStyle style = curAttr.style;
    // A parameter with sub-parameters (4:3, 38:2::r:g:b) is one attribute wherever it stands in
    // the list; its sub-parameters never act as attributes of their own.
    const bool anyColon = parser.hasSubParameters();
    ColonBits colon;
    if (anyColon)
        colon = colonSeparated(parser.parsTxt(), pars.size());

    size_t i = 0;
    while (i < pars.size()) {
        const int64_t p = pars[i];
        if (anyColon && colon[i]) {
            size_t groupEnd = i + 2;
            while (groupEnd < pars.size() && colon[groupEnd - 1])
                ++groupEnd;
            const ParamSpan group = pars.subspan(i, groupEnd - i);
            if (p == 38 || p == 48 || p == 58) {
                // The underline colour (58) is read and not kept: it is not drawn.
                if (const auto c = groupColor(group); c && p != 58)
                    (p == 38 ? fg : bg) = *c;
            } else if (p == 4) {
                // Underline styles: 4:0 none, 4:1 single, 4:2 double, 4:3 curly, 4:4 dotted,
                // 4:5 dashed; every style is drawn as the one underline there is.
                if (group[1] == 0)
                    style.remove(CharacterStyle::underline);
                else if (group[1] >= 1 && group[1] <= 5)
                    style.insert(CharacterStyle::underline);
            } else {
                Diagnostics::print("Unknown SGR attribute: " + std::to_string(p) + " " + listText(pars));
            }
            i = groupEnd;
            continue;
        }
        if (p >= 30 && p <= 37) {
            fg = CellColor::ansi256(uint8_t(p - 30));
        } else if (p >= 40 && p <= 47) {
            bg = CellColor::ansi256(uint8_t(p - 40));
        } else if (p >= 90 && p <= 97) {
            fg = CellColor::ansi256(uint8_t(p - 90 + 8));
        } else if (p >= 100 && p <= 107) {
            bg = CellColor::ansi256(uint8_t(p - 100 + 8));
        } else {
            switch (p) {
            case 0:
                fg = CellColor::defaultColor();
                bg = CellColor::defaultColor();
                style = CharacterStyle::none;
                break;
            case 1: style.insert(CharacterStyle::bold); break;
            case 2: style.insert(CharacterStyle::dim); break;
            case 3: style.insert(CharacterStyle::italic); break;
            case 4: style.insert(CharacterStyle::underline); break;
            case 5: style.insert(CharacterStyle::blink); break;
            case 7: style.insert(CharacterStyle::inverse); break;
            case 8: style.insert(CharacterStyle::invisible); break;
            case 9: style.insert(CharacterStyle::crossedOut); break;
            case 21: break;
            case 22:
                style.remove(CharacterStyle::bold);
                style.remove(CharacterStyle::dim);
                break;
            case 23: style.remove(CharacterStyle::italic); break;
            case 24: style.remove(CharacterStyle::underline); break;
            case 25: style.remove(CharacterStyle::blink); break;
            case 27: style.remove(CharacterStyle::inverse); break;
            case 28: style.remove(CharacterStyle::invisible); break;
            case 29: style.remove(CharacterStyle::crossedOut); break;
            case 39: fg = CellColor::defaultColor(); break;
            case 49: bg = CellColor::defaultColor(); break;
            case 38:
            case 48:
            case 58: {
                std::optional<CellColor> c;
                i = readExtendedColor(pars, i + 1, c);
                // The underline colour (58) is not kept, but its values are consumed so they are
                // not taken for attributes of their own.
                if (c && p == 38)
                    fg = *c;
                else if (c && p == 48)
                    bg = *c;
                continue;
            }
            default:
                Diagnostics::print("Unknown SGR attribute: " + std::to_string(p) + " " + listText(pars));
                break;
            }
        }
        i++;
    }
    curAttr = Attribute(fg, bg, style);
}

void Terminal::setReverseVideo(bool on)
{
    if (reverseVideo_ == on)
        return;
    reverseVideo_ = on;
    // Every row looks different now, though no cell changed.
    updateRange(0);
    updateRange(rows() - 1);
    if (tdel())
        tdel()->reverseVideoChanged(*this);
}

void Terminal::setModes(ParamSpan pars, ByteSpan collect)
{
    for (int64_t p : pars)
        setMode(commands::clampParam(p), collect);
}

void Terminal::resetModes(ParamSpan pars, ByteSpan collect)
{
    for (int64_t p : pars)
        resetMode(commands::clampParam(p), collect);
}

void Terminal::showAltScreen()
{
    activateAltBuffer(std::nullopt);
    updateRange(0);
    updateRange(rows() - 1);
    if (cursorHidden)
        showCursor();
    if (tdel())
        tdel()->bufferActivated(*this);
}

void Terminal::showNormalScreen(bool clearAlt, bool restoreCursor)
{
    activateNormalBuffer(clearAlt);
    if (restoreCursor)
        cmdRestoreCursor();
    updateRange(0);
    updateRange(rows() - 1);
    if (cursorHidden)
        showCursor();
    if (tdel())
        tdel()->bufferActivated(*this);
}

void Terminal::switchColumns(int newCols)
{
    // DECCOLM: the new width, then the reset that clears the screen; the cursor keeps its
    // visibility. A host that does not let the program size it keeps its width (and hears of no
    // size change); the reset happens all the same.
    const bool resizes = columnModeResizes;
    if (resizes)
        resize(newCols, rows());
    options.rows = rows();
    options.cols = cols();
    if (resizes && newCols != 132 && tdel())
        tdel()->sizeChanged(*this);
    const bool hidden = cursorHidden;
    setup(true);
    cursorHidden = hidden;
    updateRange(0);
    updateRange(rows() - 1);
    if (resizes && newCols == 132 && tdel())
        tdel()->sizeChanged(*this);
}

void Terminal::setMode(int mode, ByteSpan collect)
{
    if (collect.empty()) {
        switch (mode) {
        case 4: setInsertMode(true); break;   // IRM
        case 20: lineFeedMode = true; break;  // LNM
        case 2: break;                        // KAM is not supported
        default:
            log("Unhandled verbatim setMode with " + std::to_string(mode) + " and " + listText(collect));
            break;
        }
        return;
    }
    if (!collectIs(collect, "?")) {
        log("Unhandled setMode (SM) with " + std::to_string(mode) + " and " + listText(collect));
        return;
    }
    switch (mode) {
    case 1: applicationCursor = true; break;
    case 2: resetCharsets(); break;
    case 3:
        if (allow80To132)
            switchColumns(132);
        break;
    case 4: smoothScroll = true; break;
    case 5: setReverseVideo(true); break; // DECSCNM
    case 6: originMode = true; break;
    case 7: setWraparound(true); break;
    case 9: setMouseMode(MouseMode::x10); break;
    case 12: cursorBlink = true; break;
    case 25: showCursor(); break;
    case 40: allow80To132 = true; break;
    case 41: log("Unhandled DEC Private Mode Set (DECSET) with 41"); break;
    case 45:
        if (wraparound)
            reverseWraparound = true;
        break;
    case 47: showAltScreen(); break;
    case 63: break;
    case 66:
        applicationKeypad = true;
        log("Serial port requested application keypad.");
        break;
    case 69: setMarginMode(true); break;
    case 95: break;
    case 1000: setMouseMode(MouseMode::vt200); break;
    case 1002: setMouseMode(MouseMode::buttonEventTracking); break;
    case 1003: setMouseMode(MouseMode::anyEvent); break;
    case 1004: sendFocus = true; break;
    case 1005: mouseProtocol = MouseProtocolEncoding::utf8; break;
    case 1006: mouseProtocol = MouseProtocolEncoding::sgr; break;
    case 1015: mouseProtocol = MouseProtocolEncoding::urxvt; break;
    case 1016: mouseProtocol = MouseProtocolEncoding::sgrPixel; break;
    case 1034: break;
    case 1047: showAltScreen(); break;
    case 1048: cmdSaveCursor(); break;
    case 1049:
        cmdSaveCursor();
        showAltScreen();
        break;
    case 2004: bracketedPasteMode = true; break;
    default:
        log("Unhandled DEC Private Mode Set (DECSET) with " + std::to_string(mode));
        break;
    }
}

void Terminal::resetMode(int mode, ByteSpan collect)
{
    if (collect.empty()) {
        if (mode == 4)
            setInsertMode(false);
        else if (mode == 20)
            lineFeedMode = false;
        return;
    }
    if (!collectIs(collect, "?"))
        return;
    switch (mode) {
    case 1: applicationCursor = false; break;
    case 2: log("Unhandled DEC Private Mode Reset (DECRST) with 2"); break;
    case 3:
        if (allow80To132)
            switchColumns(80);
        break;
    case 4: smoothScroll = false; break;
    case 5: setReverseVideo(false); break;
    case 6: originMode = false; break;
    case 7: setWraparound(false); break;
    case 9: setMouseMode(MouseMode::off); break;
    case 12: cursorBlink = false; break;
    case 25: hideCursor(); break;
    case 40: allow80To132 = false; break;
    case 41: break;
    case 45: reverseWraparound = false; break;
    case 47: showNormalScreen(false, false); break;
    case 63: log("Unhandled DEC Private Mode Reset (DECRST) with 63"); break;
    case 66:
        applicationKeypad = false;
        log("Switching back to normal keypad.");
        break;
    case 69: setMarginMode(false); break;
    case 95: break;
    case 1000:
    case 1002:
    case 1003: setMouseMode(MouseMode::off); break;
    case 1004: sendFocus = false; break;
    case 1005:
    case 1006:
    case 1015:
    case 1016:
        mouseProtocol = MouseProtocolEncoding::x10;
        setMouseMode(MouseMode::off);
        break;
    case 1034: break;
    case 1047: showNormalScreen(true, false); break;
    case 1048: cmdRestoreCursor(); break;
    case 1049: showNormalScreen(true, true); break;
    case 2004: bracketedPasteMode = false; break;
    default:
        log("Unhandled DEC Private Mode Reset (DECRST) with " + std::to_string(mode));
        break;
    }
}

void Terminal::cmdSetCursorStyle(ParamSpan pars, ByteSpan collect)
{
    if (!collectIs(collect, " "))
        return;
    static constexpr CursorStyle styles[] = {CursorStyle::blinkBlock,     CursorStyle::blinkBlock,
                                             CursorStyle::steadyBlock,    CursorStyle::blinkUnderline,
                                             CursorStyle::steadyUnderline, CursorStyle::blinkBar,
                                             CursorStyle::steadyBar};
    const int p = param(pars, 0);
    if (p < 0 || p > 6)
        return;
    setCursorStyle(styles[p]);
}

void Terminal::setCursorStyle(CursorStyle style)
{
    if (style == options.cursorStyle)
        return;
    if (tdel())
        tdel()->cursorStyleChanged(*this, style);
    options.cursorStyle = style;
}

void Terminal::csiPHandler(ParamSpan pars, ByteSpan collect)
{
    if (collectIs(collect, "!")) {
        cmdSoftReset();
    } else if (collectIs(collect, "\"")) {
        cmdSetConformanceLevel(pars, collect);
    } else if (collectIs(collect, "?$")) {
        cmdDecRqm(pars, true);
    } else if (collectIs(collect, "$")) {
        cmdDecRqm(pars, false);
    } else {
        std::string codes;
        for (uint8_t c : collect)
            codes += std::to_string(int(c));
        log("Unhandled CSI " + codes + " with pars=" + listText(pars));
    }
}

void Terminal::softReset() { cmdSoftReset(); }

void Terminal::cmdSoftReset()
{
    // DECSTR (DEC STD 070): modes to their defaults; margins, mouse modes and bracketed paste
    // are kept.
    cursorHidden = false;
    originMode = false;
    setInsertMode(false);
    reverseWraparound = false;
    applicationKeypad = false;
    applicationCursor = false;
    setWraparound(true);
    Buffer& b = buffer();
    b.setScrollTop(0);
    b.setScrollBottom(rows() - 1);
    curAttr = Attribute();
    b.softReset();
    gLevel = 0;
    setCharset(nullptr);
    conformance = TerminalConformance::vt500;
    hyperLinkTracking.reset();
    setLinkPayload(TinyAtom());
    lineFeedMode = options.convertEol;
    resetAllColors();
    if (tdel())
        tdel()->showCursor(*this);
}

void Terminal::cmdSetConformanceLevel(ParamSpan pars, ByteSpan)
{
    if (pars.empty())
        return;
    switch (pars[0]) {
    case 61:
        conformance = TerminalConformance::vt100;
        cc.send8bit = false;
        return;
    case 62: conformance = TerminalConformance::vt200; break;
    case 63: conformance = TerminalConformance::vt300; break;
    case 64: conformance = TerminalConformance::vt400; break;
    default: conformance = TerminalConformance::vt500; break;
    }
    if (pars.size() >= 2)
        cc.send8bit = pars[1] == 0 || pars[1] == 2;
}

} // namespace termcore
