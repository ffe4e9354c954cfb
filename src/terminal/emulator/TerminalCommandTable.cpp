// The command set's part of the handler table: CSI finals, ESC sequences, OSC numbers and the
// DECRQSS string. configureParser() calls installCommandHandlers() last, so these entries
// replace any set before them.
#include "Terminal.h"
#include "TerminalCommandSupport.h"

namespace termcore {

using commands::countParam;

void Terminal::installCommandHandlers()
{
    EscapeSequenceParser& p = parser;
    auto csi = [&p](char final, void (Terminal::*method)(ParamSpan, ByteSpan), Terminal* self) {
        p.csiHandlers[uint8_t(final)] = [self, method](ParamSpan pars, ByteSpan collect) { (self->*method)(pars, collect); };
    };

    csi('@', &Terminal::cmdInsertChars, this);        // ICH
    csi('A', &Terminal::cmdCursorUp, this);           // CUU
    csi('B', &Terminal::cmdCursorDown, this);         // CUD
    p.csiHandlers['C'] = [this](ParamSpan pars, ByteSpan) { cursorForward(pars.empty() ? 1 : countParam(pars)); };  // CUF
    p.csiHandlers['D'] = [this](ParamSpan pars, ByteSpan) { cursorBackward(pars.empty() ? 1 : countParam(pars)); }; // CUB
    csi('E', &Terminal::cmdCursorNextLine, this);     // CNL
    csi('F', &Terminal::cmdCursorPrecedingLine, this); // CPL
    csi('G', &Terminal::cmdCursorCharAbsolute, this); // CHA
    csi('H', &Terminal::cmdCursorPosition, this);     // CUP
    csi('I', &Terminal::cmdCursorForwardTab, this);   // CHT
    csi('J', &Terminal::cmdEraseInDisplay, this);     // ED, DECSED
    csi('K', &Terminal::cmdEraseInLine, this);        // EL, DECSEL
    csi('L', &Terminal::cmdInsertLines, this);        // IL
    csi('M', &Terminal::cmdDeleteLines, this);        // DL
    csi('P', &Terminal::cmdDeleteChars, this);        // DCH
    csi('S', &Terminal::cmdScrollUp, this);           // SU
    csi('X', &Terminal::cmdEraseChars, this);         // ECH
    csi('Z', &Terminal::cmdCursorBackwardTab, this);  // CBT
    csi('`', &Terminal::cmdCharPosAbsolute, this);    // HPA
    csi('a', &Terminal::cmdHPositionRelative, this);  // HPR
    csi('c', &Terminal::cmdSendDeviceAttributes, this); // DA
    csi('d', &Terminal::cmdLinePosAbsolute, this);    // VPA
    csi('e', &Terminal::cmdVPositionRelative, this);  // VPR
    csi('f', &Terminal::cmdHVPosition, this);         // HVP
    csi('g', &Terminal::cmdTabClear, this);           // TBC
    csi('h', &Terminal::setModes, this);              // SM, DECSET
    csi('l', &Terminal::resetModes, this);            // RM, DECRST
    csi('m', &Terminal::cmdCharAttributes, this);     // SGR
    csi('n', &Terminal::cmdDeviceStatus, this);       // DSR
    csi('p', &Terminal::csiPHandler, this);           // DECSTR, DECSCL, DECRQM
    csi('q', &Terminal::cmdSetCursorStyle, this);     // DECSCUSR
    csi('r', &Terminal::cmdSetScrollRegion, this);    // DECSTBM
    csi('s', &Terminal::csiS, this);                  // DECSLRM or SCOSC
    // SCORC. With a private marker CSI u is the kitty keyboard protocol (CSI > flags u push,
    // CSI < u pop, CSI = u set, CSI ? u query), which full-screen agents send at start-up and
    // exit; it is not supported and must not move the cursor.
    p.csiHandlers['u'] = [this](ParamSpan, ByteSpan collect) {
        for (uint8_t c : collect)
            if (c >= '<' && c <= '?')
                return;
        cmdRestoreCursor();
    };
    csi('~', &Terminal::cmdDeleteColumns, this);      // DECDC
    // '}' is shared with the rectangle operations (XTPOPSGR): keep whatever was registered
    // before and handle only DECIC here.
    closeBraceFallback_ = p.csiHandlers['}'];
    csi('}', &Terminal::csiCloseBrace, this);         // DECIC

    auto esc = [&p](const char* key, std::function<void()> action) {
        p.escHandlers[std::string(key)] = [action = std::move(action)](ByteSpan, uint8_t) { action(); };
    };
    esc("6", [this] { columnIndex(true); });          // DECBI
    esc("7", [this] { cmdSaveCursor(); });             // DECSC
    esc("8", [this] { cmdRestoreCursor(); });          // DECRC
    esc("9", [this] { columnIndex(false); });         // DECFI
    esc("D", [this] { cmdIndex(); });                  // IND
    esc("M", [this] { reverseIndex(); });              // RI
    esc("#3", [this] { setLineRenderMode(BufferLine::RenderLineMode::doubledTop); });  // DECDHL top
    esc("#4", [this] { setLineRenderMode(BufferLine::RenderLineMode::doubledDown); }); // DECDHL bottom
    esc("#5", [this] { setLineRenderMode(BufferLine::RenderLineMode::single); });      // DECSWL
    esc("#6", [this] { setLineRenderMode(BufferLine::RenderLineMode::doubleWidth); }); // DECDWL
    esc("#8", [this] { cmdScreenAlignmentPattern(); }); // DECALN

    auto osc = [&p](int64_t number, std::function<void(ByteSpan)> handler) { p.oscHandlers[number] = std::move(handler); };
    osc(0, [this](ByteSpan d) { oscTitle(d); });
    osc(1, [this](ByteSpan d) { oscIconTitle(d); });
    osc(2, [this](ByteSpan d) { oscTitle(d); });
    osc(4, [this](ByteSpan d) { oscChangeOrQueryColorIndex(d); });
    osc(6, [this](ByteSpan d) { oscSetCurrentDocument(d); });
    osc(7, [this](ByteSpan d) { oscSetCurrentDirectory(d); });
    osc(8, [this](ByteSpan d) { oscHyperlink(d); });
    osc(10, [this](ByteSpan d) { oscSetColors(d, 0); });
    osc(11, [this](ByteSpan d) { oscSetColors(d, 1); });
    osc(12, [this](ByteSpan d) { oscSetColors(d, 2); });
    osc(52, [this](ByteSpan d) { oscClipboard(d); });
    osc(104, [this](ByteSpan d) { oscResetColor(d); });
    osc(112, [this](ByteSpan d) { oscResetCursorColor(d); });
    osc(777, [this](ByteSpan d) { oscNotification(d); });
    osc(1337, [this](ByteSpan d) { osciTerm2(d); });

    p.dcsHandlers["$q"] = makeDecrqssHandler(); // DECRQSS
}

} // namespace termcore
