// The handler table and the control functions that belong to the terminal object itself: the
// C0/C1 controls (ECMA-48), the G-set designations and shifts (ISO 2022 as DEC terminals
// implement it), the keypad and 7/8-bit reply switches, the xterm title-mode flags, and the
// fallbacks that log what nothing handles.

#include "Terminal.h"

#include "CharSets.h"
#include "Diagnostics.h"
#include "SixelDcsHandler.h"
#include "TerminalCommandSupport.h"

#include <string>

namespace termcore {

using commands::collectIs;
using commands::listText;

namespace {

std::string byteChar(uint8_t b)
{
    // The final byte as a character; bytes above 0x7F as their Latin-1 character in UTF-8.
    std::string s;
    if (b < 0x80) {
        s.push_back(char(b));
    } else {
        s.push_back(char(0xC0 | (b >> 6)));
        s.push_back(char(0x80 | (b & 0x3F)));
    }
    return s;
}

} // namespace

void Terminal::configureParser()
{
    EscapeSequenceParser& p = parser;

    // ---- Executed controls (C0 and C1) ----
    // Every control byte gets an entry: unassigned ones log, so the fallback line appears
    // whether or not the parser consults its execute fallback.
    auto unknownExecute = [this] {
        if (!silentLog)
            Diagnostics::print("Info: Unknown EXECUTE code");
    };
    for (int b = 0; b < 0x20; ++b)
        p.executeHandlers[size_t(b)] = unknownExecute;
    for (int b = 0x80; b < 0xA0; ++b)
        p.executeHandlers[size_t(b)] = unknownExecute;
    p.executeHandlerFallback = unknownExecute;

    p.executeHandlers[0x07] = [this] { // BEL
        if (tdel_)
            tdel_->bell(*this);
    };
    p.executeHandlers[0x08] = [this] { cmdBackspace(); }; // BS
    p.executeHandlers[0x09] = [this] { cmdTab(); };       // HT
    p.executeHandlers[0x0A] = [this] { cmdLineFeedBasic(); }; // LF
    p.executeHandlers[0x0B] = [this] { cmdLineFeedBasic(); }; // VT
    p.executeHandlers[0x0C] = [this] { cmdLineFeedBasic(); }; // FF
    p.executeHandlers[0x0D] = [this] { cmdCarriageReturn(); }; // CR
    p.executeHandlers[0x0E] = [this] { cmdShiftOut(); };   // SO
    p.executeHandlers[0x0F] = [this] { cmdShiftIn(); };    // SI
    p.executeHandlers[0x84] = [this] { cmdIndex(); };      // IND
    p.executeHandlers[0x85] = [this] { cmdNextLine(); };   // NEL
    p.executeHandlers[0x88] = [this] { cmdTabSet(); };     // HTS

    // ---- CSI (the command set registers the rest in installCommandHandlers) ----
    p.csiHandlers['b'] = [this](ParamSpan pars, ByteSpan collect) { cmdRepeatPrecedingCharacter(pars, collect); }; // REP
    p.csiHandlers['T'] = [this](ParamSpan pars, ByteSpan collect) { csiT(pars, collect); }; // SD / title-mode reset
    p.csiHandlers['t'] = [this](ParamSpan pars, ByteSpan collect) { csit(pars, collect); }; // window ops / title-mode set
    // Rectangular areas (DECFRA, DECERA, DECSERA, DECCRA, DECRQCRA) and their neighbours on the
    // same final bytes. '}' carries XTPOPSGR here; the command set chains DECIC in front of it.
    p.csiHandlers['x'] = [this](ParamSpan pars, ByteSpan collect) { csiX(pars, collect); };
    p.csiHandlers['z'] = [this](ParamSpan pars, ByteSpan collect) { csiZ(pars, collect); };
    p.csiHandlers['{'] = [this](ParamSpan pars, ByteSpan collect) { csiOpenBrace(pars, collect); };
    p.csiHandlers['}'] = [this](ParamSpan pars, ByteSpan) {
        log("CSI # } not implemented- XTPOPSGR with " + listText(pars));
    };
    p.csiHandlers['v'] = [this](ParamSpan pars, ByteSpan collect) { csiCopyRectangularArea(pars, collect); };
    p.csiHandlers['y'] = [this](ParamSpan pars, ByteSpan collect) { cmdDECRQCRA(pars, collect); };
    p.csiHandlerFallback = [this](ParamSpan pars, ByteSpan collect, uint8_t final) {
        log("Unknown CSI Code (collect=" + listText(collect) + " code=" + byteChar(final) + " pars=" + listText(pars)
            + ")");
    };

    // ---- ESC ----
    auto esc = [&p](std::string key, std::function<void()> action) {
        p.escHandlers[std::move(key)] = [action = std::move(action)](ByteSpan, uint8_t) { action(); };
    };
    esc("E", [this] { cmdNextLine(); });               // NEL
    esc("H", [this] { cmdTabSet(); });                 // HTS
    esc("=", [this] { cmdKeypadApplicationMode(); });  // DECKPAM
    esc(">", [this] { cmdKeypadNumericMode(); });      // DECKPNM
    esc("c", [this] { cmdReset(); });                  // RIS
    esc("n", [this] { setgLevel(2); });                // LS2
    esc("o", [this] { setgLevel(3); });                // LS3
    esc("|", [this] { setgLevel(3); });                // LS3R
    esc("}", [this] { setgLevel(2); });                // LS2R
    esc("~", [this] { setgLevel(1); });                // LS1R
    esc("%@", [this] { cmdSelectDefaultCharset(); }); // select default character set
    esc("%G", [this] { cmdSelectDefaultCharset(); }); // select UTF-8
    esc(" G", [this] { cmdSet8BitControls(); });      // S8C1T
    esc(" F", [this] { cmdSet7BitControls(); });      // S7C1T

    // SCS: every designator of the registry under each of the seven intermediates.
    for (const auto& [designator, table] : CharSets::all()) {
        (void)table;
        for (char intermediate : std::string_view("()*+-./")) {
            std::string key{intermediate, char(designator)};
            p.escHandlers[key] = [this](ByteSpan collect, uint8_t final) { selectCharset(collect, final); };
        }
    }

    p.escHandlerFallback = [this](ByteSpan collect, uint8_t final) {
        log("Unknown ESC Code: ESC + " + byteChar(final) + " txt=" + listText(collect));
    };

    // ---- OSC: the command set registers the numbers; the rest log ----
    p.oscHandlerFallback = [this](int64_t number, ByteSpan) { log("Unknown OSC code: " + std::to_string(number)); };

    // ---- DCS: sixel images here, DECRQSS with the command set; others are swallowed ----
    p.dcsHandlers["q"] = std::make_shared<SixelDcsHandler>(
        // Registers an image does not define take the terminal's default palette.
        [this] { return std::span<const Color>(defaultAnsiColors); },
        [this](std::vector<uint8_t>& rgba, int width, int height) {
            if (tdel_)
                tdel_->createImageFromBitmap(*this, rgba, width, height);
        },
        // Taken to be decoded elsewhere, the image holds the rest of the input until it is placed.
        [this](std::vector<uint8_t>& data) {
            if (!tdel_ || !tdel_->decodeSixelElsewhere(*this, data, defaultAnsiColors))
                return false;
            parser.requestPause();
            return true;
        });
    p.dscHandlerFallback = [](uint8_t, ParamSpan) {};

    // ---- Print path and errors ----
    p.printHandler = [this](ByteSpan data) { handlePrint(data); };
    p.printStateReset = [this] { printStateReset(); };
    p.errorHandler = [this](ParsingState state) {
        log("Parsing error, state: " + state.description());
        return state;
    };

    installCommandHandlers();
}

// ---- C0 / C1 -------------------------------------------------------------------------------

void Terminal::cmdLineFeedBasic()
{
    Buffer& b = *buffer_;
    // DEC STD 070: at the bottom margin the region scrolls. With left/right margins in force the
    // cursor must also stand between them; without them every column (the pending-wrap position
    // after a full row included) belongs to the region.
    const int col = std::min(b.x(), cols_ - 1);
    const bool insideMargins = !marginMode || (col >= b.marginLeft() && col <= b.marginRight());
    if (insideMargins && b.y() == b.scrollBottom())
        scroll(false);
    else if (b.y() != b.scrollBottom() && b.y() != rows_ - 1)
        b.setY(b.y() + 1);
    if (b.x() >= cols_)
        b.setX(cols_ - 1);
    emitLineFeed();
    if (lineFeedMode)
        b.setX(originMode && marginMode ? b.marginLeft() : 0);
}

void Terminal::cmdCarriageReturn()
{
    Buffer& b = *buffer_;
    if (marginMode)
        b.setX(b.x() >= b.marginLeft() ? b.marginLeft() : 0);
    else
        b.setX(0);
}

void Terminal::cmdBackspace()
{
    Buffer& b = *buffer_;
    // Mode 45 takes effect only together with autowrap: resetting DECAWM afterwards turns the
    // backward wrap off too, while the mode itself stays as it was set.
    const bool reverseWrap = reverseWraparound && wraparound;
    restrictCursor(!reverseWrap);
    const int left = marginMode ? b.marginLeft() : 0;
    const int right = marginMode ? b.marginRight() : b.cols() - 1;
    if (b.x() > left) {
        b.setX(b.x() - 1);
        return;
    }
    if (!reverseWrap) {
        if (b.x() < left && b.x() != 0)
            b.setX(b.x() - 1);
        return;
    }
    // Reverse wraparound (xterm mode 45): back over the left edge to the end of the row above.
    if (b.y() == b.scrollTop()) {
        b.setX(right);
        b.setY(b.scrollBottom());
    } else if (b.y() > b.scrollTop() && b.y() <= b.scrollBottom()) {
        BufferLine& line = b.lines()[b.yBase() + b.y()];
        if (line.isWrapped && !marginMode)
            line.isWrapped = false;
        b.setY(b.y() - 1);
        b.setX(right);
    } else if (b.y() >= 1) {
        b.setX(right);
        b.setY(b.y() - 1);
    }
}

void Terminal::cmdTab()
{
    const int next = buffer_->nextTabStop(marginMode, -1);
    if (next >= 0)
        buffer_->setX(next);
}

void Terminal::cmdShiftOut()
{
    setgLevel(1);
}

void Terminal::cmdShiftIn()
{
    setgLevel(0);
}

void Terminal::cmdNextLine()
{
    // The index comes first: whether the region scrolls depends on the column the cursor stands
    // in before the carriage return (outside the left/right margins nothing scrolls). The
    // return then goes to the left margin, or to column 1 from left of it.
    cmdIndex();
    cmdCarriageReturn();
}

void Terminal::cmdTabSet()
{
    buffer_->tabSet(buffer_->x());
}

void Terminal::cmdKeypadApplicationMode()
{
    applicationKeypad = true;
}

void Terminal::cmdKeypadNumericMode()
{
    applicationKeypad = false;
}

void Terminal::cmdSet8BitControls()
{
    cc.send8bit = true;
}

void Terminal::cmdSet7BitControls()
{
    cc.send8bit = false;
}

// ---- Character sets ------------------------------------------------------------------------

void Terminal::setCharset(const CharsetTable* table)
{
    charset_ = table;
    charsetMap_.fill(0);
    charsetActive_ = false;
    if (!table)
        return;
    for (const auto& [byte, text] : *table) {
        if (byte >= 0x80 || text.empty())
            continue;
        // The first character of the entry (entries are UTF-8 text).
        const auto* s = reinterpret_cast<const unsigned char*>(text.data());
        char32_t c = s[0];
        size_t len = 1;
        if (c >= 0xF0 && text.size() >= 4) {
            c = ((c & 0x07) << 18) | ((s[1] & 0x3F) << 12) | ((s[2] & 0x3F) << 6) | (s[3] & 0x3F);
            len = 4;
        } else if (c >= 0xE0 && text.size() >= 3) {
            c = ((c & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F);
            len = 3;
        } else if (c >= 0xC0 && text.size() >= 2) {
            c = ((c & 0x1F) << 6) | (s[1] & 0x3F);
            len = 2;
        }
        (void)len;
        charsetMap_[byte] = c;
        charsetActive_ = true;
    }
}

void Terminal::setCharset(const std::optional<CharsetTable>& table)
{
    if (!table) {
        setCharset(nullptr);
        return;
    }
    if (!ownedCharset_ || &*table != &*ownedCharset_)
        ownedCharset_ = *table;
    setCharset(&*ownedCharset_);
}

void Terminal::setgLevel(uint8_t v)
{
    gLevel = v & 3;
    setCharset(gsets[gLevel]);
}

void Terminal::setgCharset(int g, const CharsetTable* table)
{
    g &= 3;
    gsets[size_t(g)] = table;
    if (gLevel == g)
        setCharset(table);
}

void Terminal::resetCharsets()
{
    gsets.fill(nullptr);
    setCharset(nullptr);
}

void Terminal::cmdSelectDefaultCharset()
{
    setgLevel(0);
    gsets[0] = nullptr;
    setCharset(nullptr);
}

void Terminal::selectCharset(ByteSpan collect, uint8_t designator)
{
    if (collect.empty())
        return;
    int g = 0;
    switch (collect[0]) {
    case '(':
        g = 0;
        break;
    case ')':
    case '-':
        g = 1;
        break;
    case '*':
    case '.':
        g = 2;
        break;
    case '+':
    case '/':
        g = 3;
        break;
    default:
        return;
    }
    const auto& all = CharSets::all();
    auto it = all.find(designator);
    setgCharset(g, it == all.end() ? nullptr : &it->second);
}

// ---- CSI t / CSI T -------------------------------------------------------------------------

void Terminal::csit(ParamSpan pars, ByteSpan collect)
{
    if (collect.empty())
        cmdWindowOptions(pars);
    else if (collectIs(collect, ">"))
        cmdXtermTitleModeSet(pars);
    else
        log("Unhandled csiT " + listText(collect));
}

void Terminal::csiT(ParamSpan pars, ByteSpan collect)
{
    if (collect.empty())
        cmdScrollDown(pars, collect);
    else if (collectIs(collect, ">"))
        cmdXtermTitleModeReset(pars);
}

void Terminal::cmdXtermTitleModeSet(ParamSpan pars)
{
    for (int64_t p : pars) {
        switch (p) {
        case 0: xtermTitleSetHex = true; break;
        case 1: xtermTitleQueryHex = true; break;
        case 2: xtermTitleSetUtf = true; break;
        case 3: xtermTitleQueryUtf = true; break;
        default: break;
        }
    }
}

void Terminal::cmdXtermTitleModeReset(ParamSpan pars)
{
    for (int64_t p : pars) {
        switch (p) {
        case 0: xtermTitleSetHex = false; break;
        case 1: xtermTitleQueryHex = false; break;
        case 2: xtermTitleSetUtf = false; break;
        case 3: xtermTitleQueryUtf = false; break;
        default: break;
        }
    }
}

} // namespace termcore
