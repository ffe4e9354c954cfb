// The command set's part of the handler table: CSI finals, ESC sequences, OSC numbers and the
// DECRQSS string. configureParser() calls installCommandHandlers() last, so these entries
// replace any set before them.
#include "Terminal.h"
#include "TerminalCommandSupport.h"

#include <type_traits>

namespace termcore {

using commands::countParam;

namespace {
template <void (Terminal::*Method)(ParamSpan, ByteSpan)>
using M = std::integral_constant<void (Terminal::*)(ParamSpan, ByteSpan), Method>;
} // namespace

void Terminal::installCommandHandlers()
{
    EscapeSequenceParser& p = parser;
    // The method is a template argument, so each handler calls it directly rather than through
    // a member pointer held at run time.
    auto csi = [&p, this](char final, auto method) {
        p.csiHandlers[uint8_t(final)] = [this](ParamSpan pars, ByteSpan collect) { (this->*decltype(method)::value)(pars, collect); };
    };

    csi('@', M<&Terminal::cmdInsertChars>());        // ICH
    csi('A', M<&Terminal::cmdCursorUp>());           // CUU
    csi('B', M<&Terminal::cmdCursorDown>());         // CUD
    p.csiHandlers['C'] = [this](ParamSpan pars, ByteSpan) { cursorForward(pars.empty() ? 1 : countParam(pars)); };  // CUF
    p.csiHandlers['D'] = [this](ParamSpan pars, ByteSpan) { cursorBackward(pars.empty() ? 1 : countParam(pars)); }; // CUB
    csi('E', M<&Terminal::cmdCursorNextLine>());     // CNL
    csi('F', M<&Terminal::cmdCursorPrecedingLine>()); // CPL
    csi('G', M<&Terminal::cmdCursorCharAbsolute>()); // CHA
    csi('H', M<&Terminal::cmdCursorPosition>());     // CUP
    csi('I', M<&Terminal::cmdCursorForwardTab>());   // CHT
    csi('J', M<&Terminal::cmdEraseInDisplay>());     // ED, DECSED
    csi('K', M<&Terminal::cmdEraseInLine>());        // EL, DECSEL
    csi('L', M<&Terminal::cmdInsertLines>());        // IL
    csi('M', M<&Terminal::cmdDeleteLines>());        // DL
    csi('P', M<&Terminal::cmdDeleteChars>());        // DCH
    csi('S', M<&Terminal::cmdScrollUp>());           // SU
    csi('X', M<&Terminal::cmdEraseChars>());         // ECH
    csi('Z', M<&Terminal::cmdCursorBackwardTab>());  // CBT
    csi('`', M<&Terminal::cmdCharPosAbsolute>());    // HPA
    csi('a', M<&Terminal::cmdHPositionRelative>());  // HPR
    csi('c', M<&Terminal::cmdSendDeviceAttributes>()); // DA
    csi('d', M<&Terminal::cmdLinePosAbsolute>());    // VPA
    csi('e', M<&Terminal::cmdVPositionRelative>());  // VPR
    csi('f', M<&Terminal::cmdHVPosition>());         // HVP
    csi('g', M<&Terminal::cmdTabClear>());           // TBC
    csi('h', M<&Terminal::setModes>());              // SM, DECSET
    csi('l', M<&Terminal::resetModes>());            // RM, DECRST
    csi('m', M<&Terminal::cmdCharAttributes>());     // SGR
    csi('n', M<&Terminal::cmdDeviceStatus>());       // DSR
    csi('p', M<&Terminal::csiPHandler>());           // DECSTR, DECSCL, DECRQM
    csi('q', M<&Terminal::cmdSetCursorStyle>());     // DECSCUSR
    csi('r', M<&Terminal::cmdSetScrollRegion>());    // DECSTBM
    csi('s', M<&Terminal::csiS>());                  // DECSLRM or SCOSC
    // SCORC. With a private marker CSI u is the kitty keyboard protocol (CSI > flags u push,
    // CSI < u pop, CSI = u set, CSI ? u query), which full-screen agents send at start-up and
    // exit; it is not supported and must not move the cursor.
    p.csiHandlers['u'] = [this](ParamSpan, ByteSpan collect) {
        for (uint8_t c : collect)
            if (c >= '<' && c <= '?')
                return;
        cmdRestoreCursor();
    };
    csi('~', M<&Terminal::cmdDeleteColumns>());      // DECDC
    // '}' is shared with the rectangle operations (XTPOPSGR): keep whatever was registered
    // before and handle only DECIC here.
    closeBraceFallback_ = p.csiHandlers['}'];
    csi('}', M<&Terminal::csiCloseBrace>());         // DECIC

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
