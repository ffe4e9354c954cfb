#pragma once

#include "Attribute.h"
#include "Buffer.h"
#include "BufferLine.h"
#include "CharData.h"
#include "Color.h"
#include "EscapeSequenceParser.h"
#include "Position.h"
#include "TerminalDelegate.h"
#include "TerminalOptions.h"
#include "TerminalTypes.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace termcore {

// One piece of selected text as the terminal extracts it: a run of a row, or a line break.
struct LineFragment {
    std::optional<std::string> text; // UTF-8
    int line = 0;                    // the buffer row it came from
    int location = 0;                // its first column (-1 for a line break)
    int length = 0;                  // in code points of text
};

// One logical line of selected text: soft-wrapped rows joined, ended by a "\n" fragment.
struct Line {
    std::vector<LineFragment> fragments;
    int length = 0;
    void add(LineFragment fragment)
    {
        length += fragment.length;
        fragments.push_back(std::move(fragment));
    }
};

// One item of a reply: raw bytes, a text (its UTF-8 bytes) or a single byte.
using ResponseItem = std::variant<std::vector<uint8_t>, std::string, uint8_t>;

// The terminal emulator: it owns the two screen buffers (normal with scrollback, alternate
// without) and the escape-sequence parser, keeps the modes, colours and titles, turns parsed
// sequences into buffer edits, and answers the program through its delegate. Not thread-safe:
// one thread (the GUI thread) feeds and reads a terminal. Every terminal of the process shares
// the grapheme map and the hyperlink payload table, so all terminals live on that one thread.
class Terminal {
public:
    using MouseMode = termcore::MouseMode;
    using MouseProtocolEncoding = termcore::MouseProtocolEncoding;

    static constexpr int MINIMUM_COLS = 2;
    static constexpr int MINIMUM_ROWS = 1;
    // Far beyond any screen's cell count; a caller asking for more is clamped, not trusted.
    static constexpr int MAXIMUM_COLS = 2048;
    static constexpr int MAXIMUM_ROWS = 1024;
    // Longest OSC 8 address kept; a longer link is ignored.
    static constexpr size_t kMaxHyperlinkAddress = 8192;
    // Longest window or icon title kept, in bytes: far more than a title bar or tab shows. A
    // longer one is cut at the last whole UTF-8 character within the bound, so a title costs
    // little to keep, to push (CSI 22 t) and to hand to the delegate however long the OSC was.
    static constexpr size_t kMaxTitle = 4096;

    // The delegate is not owned; pass nullptr for none. Options are copied.
    Terminal(TerminalDelegate* delegate, const TerminalOptions& options);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // ---- Host interface -------------------------------------------------------------------

    TerminalDelegate* tdel() const { return tdel_; }
    // The owner of a delegate clears it here before the delegate goes away.
    void setDelegate(TerminalDelegate* delegate) { tdel_ = delegate; }

    // Input: every entry point hands its bytes to the parser in one call.
    // Each returns how many bytes were taken in: all, unless the delegate took an image to
    // decode elsewhere (TerminalDelegate::decodeSixelElsewhere, decodeImageElsewhere); then the
    // bytes after the image are left for the host to feed once the image is placed.
    size_t feed(std::span<const uint8_t> buffer);
    size_t feed(const std::vector<uint8_t>& byteArray) { return feed(std::span<const uint8_t>(byteArray)); }
    size_t feed(std::string_view text);
    void parse(std::span<const uint8_t> buffer) { feed(buffer); }

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    struct Dims {
        int cols;
        int rows;
    };
    Dims getDims() const { return {cols_, rows_}; }
    void resize(int cols, int rows);

    Buffer& buffer() { return *buffer_; }
    const Buffer& buffer() const { return *buffer_; }
    Buffer& normalBuffer() { return *normalBuffer_; }
    Buffer& altBuffer() { return *altBuffer_; }
    bool isCurrentBufferAlternate() const { return buffer_ == altBuffer_.get(); }

    // Cell access by screen row (0 = top of the visible screen); nullptr / nullopt outside.
    BufferLine* getLine(int row);
    std::optional<CharData> getCharData(int col, int row);
    // The cell's character as UTF-32 (code 0 gives U+0000).
    std::optional<std::u32string> getCharacter(int col, int row);
    // Row counted from the first line the buffer ever held.
    BufferLine* getScrollInvariantLine(int row);
    struct CursorLocation {
        int x;
        int y;
    };
    CursorLocation getCursorLocation() const { return {buffer_->x(), buffer_->y()}; }
    int getTopVisibleRow() const { return buffer_->yDisp(); }
    const Attribute& currentAttribute() const { return curAttr; }

    // Dirty rows (screen rows, inclusive; clean is INT_MAX and -1).
    int refreshStart = INT_MAX;
    int refreshEnd = -1;
    int scrollInvariantRefreshStart = INT_MAX;
    int scrollInvariantRefreshEnd = -1;
    // Inline: every cursor move and print run marks its row.
    void updateRange(int y, bool scrolling = false)
    {
        if (!scrolling) {
            const int invariant = y + buffer_->yDisp();
            if (invariant >= 0) {
                scrollInvariantRefreshStart = std::min(scrollInvariantRefreshStart, invariant);
                scrollInvariantRefreshEnd = std::max(scrollInvariantRefreshEnd, invariant);
            }
        }
        if (y >= 0) {
            refreshStart = std::min(refreshStart, y);
            refreshEnd = std::max(refreshEnd, y);
        }
    }
    void updateRange(int startLine, int endLine, bool scrolling = false);
    void refresh(int startRow, int endRow);
    void updateFullScreen();
    struct UpdateRange {
        int startY;
        int endY;
        bool operator==(const UpdateRange&) const = default;
    };
    std::optional<UpdateRange> getUpdateRange() const;
    std::optional<UpdateRange> getScrollInvariantUpdateRange() const;
    void clearUpdateRange();

    // Text extraction.
    std::vector<uint8_t> getBufferAsData(BufferKind kind = BufferKind::active) const;
    std::string getText(Position start, Position end);
    std::vector<Line> getSelectedLines(Position p1, Position p2);

    // The environment a child process gets when the host passes none.
    static std::vector<std::string> getEnvironmentVariables(std::optional<std::string> termName, bool trueColor);

    // Logging: "Info: " + text to the diagnostics sink, only when silentLog is false.
    bool silentLog = true;
    void log(std::string_view text);
    void error(std::string_view text) { log(text); }

    // Replies: one delegate send per call; nothing without a delegate.
    void sendResponse(std::string_view text);
    void sendResponse(std::initializer_list<ResponseItem> items);
    void sendResponse(const std::vector<ResponseItem>& items);
    // C1 controls in the reply form chosen by cc.send8bit.
    std::vector<uint8_t> csi() const;
    std::vector<uint8_t> dcs() const;
    std::vector<uint8_t> osc() const;
    std::vector<uint8_t> st() const;

    // Replaces the OSC handler for a number (and any built-in handler for it).
    void registerOscHandler(int code, std::function<void(ByteSpan)> handler);

    // Palette: ignored unless exactly 16 colours.
    void installPalette(const std::vector<Color>& colors);

    // Cursor visibility with delegate notification.
    void showCursor();
    void hideCursor();

    // Full reset (also what RIS does after resetting the parser).
    void resetToInitialState();

    // ---- Shared state of the interpreter ---------------------------------------------------

    int tabStopWidth = 8;
    TerminalOptions options;

    bool applicationKeypad = false;
    bool applicationCursor = false;
    bool sendFocus = false;
    bool cursorHidden = false;
    bool originMode = false;
    bool marginMode = false;
    bool insertMode = false;
    bool wraparound = true;
    bool bracketedPasteMode = false;
    bool reverseWraparound = false;
    bool cursorBlink = false;
    bool allow80To132 = true;
    // Whether DECCOLM (CSI ? 3 h / l) changes the width. Set by the host, never by the program:
    // a host that sizes itself (a conformance tool) keeps it on; one whose size is given by its
    // window (a pane) turns it off, so that `reset` cannot leave it 80 columns wide in a wider
    // pane. Off, DECCOLM still clears, homes and resets the margins.
    bool columnModeResizes = true;
    bool userScrolling = false;
    bool lineFeedMode = false;
    bool smoothScroll = false;
    // DECSCNM: the whole screen is shown in reverse video, the default foreground and background
    // swapped by the view; cells and the current attribute are left as they are. Setting it tells
    // the delegate when it changes.
    bool reverseVideo() const { return reverseVideo_; }
    void setReverseVideo(bool on);
    // Mode setters that also mirror the flag into both buffers.
    void setMarginMode(bool on);
    void setInsertMode(bool on);
    void setWraparound(bool on);

    Attribute curAttr; // stamped on printed cells
    // The erase attribute: default foreground, the current background, no style.
    Attribute eraseAttr() const { return Attribute(Attribute::Color::defaultColor(), curAttr.bg, CharacterStyle::none); }

    // Character sets. G0-G3 are per terminal: each slot points at a read-only table of the shared
    // registry (CharSets) or is empty. gLevel says which slot is invoked into GL; charset() is
    // that slot's table as the print path applies it.
    std::array<const CharsetTable*, 4> gsets{};
    uint8_t gLevel = 0;
    int gcharset = 0;
    const CharsetTable* charset() const { return charset_; }
    // A table of the registry, a saved copy (DECRC), or nullptr for none.
    void setCharset(const CharsetTable* table);
    // A table that is not the registry's (a saved copy): the terminal keeps its own copy.
    void setCharset(const std::optional<CharsetTable>& table);
    void setgLevel(uint8_t v);
    // Designates the table of a registry designator into slot g (SCS).
    void setgCharset(int g, const CharsetTable* table);
    // Drops every designation and the active table (DECSET 2).
    void resetCharsets();

    // Colours.
    std::vector<Color> installedColors;
    std::vector<Color> defaultAnsiColors;
    std::vector<Color> ansiColors;
    const Color& foregroundColor() const { return foregroundColor_; }
    const Color& backgroundColor() const { return backgroundColor_; }
    const std::optional<Color>& cursorColor() const { return cursorColor_; }
    // Store, then tell the delegate unless already notifying (re-entry guard).
    void setForegroundColor(const Color& color);
    void setBackgroundColor(const Color& color);
    void setCursorColor(const std::optional<Color>& color);
    bool settingFgColor = false;
    bool settingBgColor = false;
    bool settingCursorColor = false;

    CC cc; // send8bit false: replies use 7-bit C1 forms

    std::optional<std::string> hostCurrentDirectory;
    std::optional<std::string> hostCurrentDocument;

    MouseMode mouseMode() const { return mouseMode_; }
    // Stores, then tells the delegate.
    void setMouseMode(MouseMode mode);
    MouseProtocolEncoding mouseProtocol = MouseProtocolEncoding::x10;

    // Title-mode flags of CSI > Ps t / T; stored only.
    bool xtermTitleSetUtf = false;
    bool xtermTitleSetHex = false;
    bool xtermTitleQueryUtf = false;
    bool xtermTitleQueryHex = false;

    TerminalConformance conformance = TerminalConformance::vt500;

    // The open link (OSC 8): its payload, which names its code in the shared table.
    struct HyperLinkTracking {
        std::string payload;
    };
    std::optional<HyperLinkTracking> hyperLinkTracking;

    std::string terminalTitle;
    std::string iconTitle;
    std::vector<std::string> terminalTitleStack;
    std::vector<std::string> terminalIconStack;

    // The cached blank row of the scroll step.
    BufferLinePtr blankLine;

    EscapeSequenceParser parser;

    // ---- Construction, reset and screens ---------------------------------------------------

    void setup(bool isReset);
    void resetNormalBuffer();
    void setupTabStops(int index);
    void resizeBuffers(int newColumns, int newRows);
    void activateAltBuffer(std::optional<Attribute> fillAttr);
    void activateNormalBuffer(bool clearAlt);

    // ---- Control functions and the print path (engine-terminal) ----------------------------

    void configureParser();
    void handlePrint(ByteSpan data);
    // An escape, control or string sequence inside a UTF-8 sequence drops the started sequence.
    // Inline: the parser calls it twice per control sequence.
    void printStateReset() { carryLen_ = 0; }
    // Scrolls the active screen's region up by one row (line feed or wrap at its bottom).
    void scroll(bool isWrapped = false);
    void emitLineFeed();
    // IND and the line-feed step.
    void cmdIndex();
    // Clamps the cursor into the screen (or the region in origin mode); true limits the
    // column to cols - 1, false allows the pending-wrap column cols.
    void restrictCursor(bool setWrap = true);
    void cmdLineFeedBasic();
    void cmdBackspace();
    void cmdCarriageReturn();
    void cmdTab();
    void cmdShiftOut();
    void cmdShiftIn();
    void cmdNextLine();
    void cmdTabSet();
    void cmdKeypadApplicationMode();
    void cmdKeypadNumericMode();
    void cmdSet8BitControls();
    void cmdSet7BitControls();
    void cmdSelectDefaultCharset();
    void selectCharset(ByteSpan collect, uint8_t designator);
    void cmdReset();
    void csit(ParamSpan pars, ByteSpan collect);
    void csiT(ParamSpan pars, ByteSpan collect);
    void cmdXtermTitleModeSet(ParamSpan pars);
    void cmdXtermTitleModeReset(ParamSpan pars);
    void cmdRepeatPrecedingCharacter(ParamSpan pars, ByteSpan collect);

    // ---- Mouse reporting (TerminalMouse.cpp) ------------------------------------------------
    // The host decides whether an event is reported (mouseMode and its predicates); these only
    // encode and send. Buttons 1..5 give xterm's button codes 1 (middle), 2 (right), 0 (left),
    // 64 and 65 (wheel up and down); a release gives 3.
    int encodeButton(int button, bool release, bool shift, bool meta, bool control) const;
    // x, y: 0-based cells; pixelX/pixelY are used by the sgrPixel encoding only. Flags whose
    // button code is 3 (without the motion bit) are a release.
    void sendEvent(int buttonFlags, int x, int y);
    void sendEvent(int buttonFlags, int x, int y, int pixelX, int pixelY);
    // The release of a button whose press had these flags (button code and modifiers): SGR
    // tells which button went up, the other encodings only that one did (code 3).
    void sendRelease(int pressFlags, int x, int y, int pixelX, int pixelY);
    void sendMotion(int buttonFlags, int x, int y, int pixelX, int pixelY);
    // The host's keyboard focus came or went: CSI I / CSI O while the program asked for them
    // (DECSET 1004); nothing otherwise.
    void sendFocusReport(bool focused);
    // Appends one value in xterm's UTF-8 mouse encoding (mode 1005).
    static void encodeMouseUtf(std::vector<uint8_t>& data, int ch);

    // ---- Rectangular areas (TerminalRectangles.cpp) -----------------------------------------
    // A resolved rectangle: 0-based inclusive screen coordinates.
    struct Rectangle {
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
        bool empty = true;
    };
    // Top, left, bottom, right from the parameters (1-based, origin mode applied).
    Rectangle getRectangleFromRequest(ParamSpan pars) const;
    void csiX(ParamSpan pars, ByteSpan collect);                 // DECFRA ($), else logged
    void csiZ(ParamSpan pars, ByteSpan collect);                 // DECERA ($), DECELR (')
    void csiOpenBrace(ParamSpan pars, ByteSpan collect);         // DECSERA ($), XTPUSHSGR logged
    void csiCopyRectangularArea(ParamSpan pars, ByteSpan collect); // DECCRA ($)
    void cmdDECRQCRA(ParamSpan pars, ByteSpan collect);          // checksum report
    void cmdDECERA(ParamSpan pars, ByteSpan collect);
    void cmdSelectiveEraseRectangularArea(ParamSpan pars, ByteSpan collect);

    // ==== COMMAND SET (engine-commands edits this block) ====================================
    // Registers the command set's CSI, ESC, OSC and DCS handlers into `parser`; called last by
    // configureParser(), so a key set here replaces one set before.
    void installCommandHandlers();

    // Cursor movement, tab stops, region, margins, saved cursor (TerminalCursor.cpp).
    void cmdCursorUp(ParamSpan pars, ByteSpan collect);            // CUU
    void cmdCursorDown(ParamSpan pars, ByteSpan collect);          // CUD
    void cursorForward(int count);                                 // CUF
    void cursorBackward(int count);                                // CUB
    void cmdCursorNextLine(ParamSpan pars, ByteSpan collect);      // CNL
    void cmdCursorPrecedingLine(ParamSpan pars, ByteSpan collect); // CPL
    void cmdCursorCharAbsolute(ParamSpan pars, ByteSpan collect);  // CHA
    void cmdCursorPosition(ParamSpan pars, ByteSpan collect);      // CUP
    void cmdCharPosAbsolute(ParamSpan pars, ByteSpan collect);     // HPA
    void cmdHPositionRelative(ParamSpan pars, ByteSpan collect);   // HPR
    void cmdLinePosAbsolute(ParamSpan pars, ByteSpan collect);     // VPA
    void cmdVPositionRelative(ParamSpan pars, ByteSpan collect);   // VPR
    void cmdHVPosition(ParamSpan pars, ByteSpan collect);          // HVP
    void cmdCursorForwardTab(ParamSpan pars, ByteSpan collect);    // CHT
    void cmdCursorBackwardTab(ParamSpan pars, ByteSpan collect);   // CBT
    void cmdTabClear(ParamSpan pars, ByteSpan collect);            // TBC
    void cmdSetScrollRegion(ParamSpan pars, ByteSpan collect);     // DECSTBM
    void cmdSetMargins(ParamSpan pars, ByteSpan collect);          // DECSLRM
    void csiS(ParamSpan pars, ByteSpan collect);                   // DECSLRM or SCOSC
    void cmdSaveCursor();                                          // DECSC, SCOSC, DECSET 1048
    void cmdRestoreCursor();                                       // DECRC, SCORC, DECRST 1048
    // Absolute move that honours origin mode, then clamps.
    void setCursor(int col, int row);

    // Erasing, insertion, deletion, scrolling, columns, line modes (TerminalEditing.cpp).
    void cmdEraseInDisplay(ParamSpan pars, ByteSpan collect);  // ED
    void cmdEraseInLine(ParamSpan pars, ByteSpan collect);     // EL
    void cmdEraseChars(ParamSpan pars, ByteSpan collect);      // ECH
    void cmdInsertChars(ParamSpan pars, ByteSpan collect);     // ICH
    void cmdDeleteChars(ParamSpan pars, ByteSpan collect);     // DCH
    void cmdInsertLines(ParamSpan pars, ByteSpan collect);     // IL
    void cmdDeleteLines(ParamSpan pars, ByteSpan collect);     // DL
    void cmdScrollUp(ParamSpan pars, ByteSpan collect);        // SU
    void cmdScrollDown(ParamSpan pars, ByteSpan collect);      // SD (reached through csiT)
    void csiCloseBrace(ParamSpan pars, ByteSpan collect);      // DECIC with "'"
    void cmdInsertColumns(ParamSpan pars, ByteSpan collect);   // DECIC
    void cmdDeleteColumns(ParamSpan pars, ByteSpan collect);   // DECDC
    void reverseIndex();                                       // RI
    void columnIndex(bool back);                               // DECBI / DECFI
    void columnScroll(bool back, int at);
    void setLineRenderMode(BufferLine::RenderLineMode mode);   // DECDHL, DECSWL, DECDWL
    void cmdScreenAlignmentPattern();                          // DECALN
    void resetBufferLine(int y);
    // The erase cell: an empty cell in eraseAttr().
    CharData eraseCell() const { return CharData(0, 1, eraseAttr()); }

    // Attributes and modes (TerminalModes.cpp).
    void cmdCharAttributes(ParamSpan pars, ByteSpan collect);  // SGR
    void setModes(ParamSpan pars, ByteSpan collect);           // SM, DECSET: setMode per parameter
    void resetModes(ParamSpan pars, ByteSpan collect);         // RM, DECRST
    void setMode(int mode, ByteSpan collect);
    void resetMode(int mode, ByteSpan collect);
    void cmdSetCursorStyle(ParamSpan pars, ByteSpan collect);  // DECSCUSR
    void setCursorStyle(CursorStyle style);
    void csiPHandler(ParamSpan pars, ByteSpan collect);        // DECSTR, DECSCL, DECRQM
    void cmdSoftReset();                                       // DECSTR
    void softReset();
    void cmdSetConformanceLevel(ParamSpan pars, ByteSpan collect); // DECSCL

    // Device reports and window operations (TerminalReports.cpp).
    void cmdSendDeviceAttributes(ParamSpan pars, ByteSpan collect); // DA
    void cmdDeviceStatus(ParamSpan pars, ByteSpan collect);         // DSR
    void cmdDecRqm(ParamSpan pars, bool decMode);                   // DECRQM
    void cmdWindowOptions(ParamSpan pars);                          // CSI t (reached through csit)
    class DECRQSS;

    // OSC commands (TerminalOsc.cpp).
    void setTitle(const std::string& text);
    void setIconTitle(const std::string& text);
    void resetAllColors();
    // Releases hyperlink payloads (and clusters) that no cell of any live terminal uses.
    void garbageCollectPayload();
    // Places an image (one row high) at the cursor: in the cursor's row, over the columns it
    // covers from its col(), counted in this terminal's image memory.
    void placeImage(std::shared_ptr<TerminalImage> image);
    ImageStore& imageStore() { return imageStore_; }
    void oscTitle(ByteSpan data);                          // OSC 0, 2
    void oscIconTitle(ByteSpan data);                      // OSC 1
    void oscChangeOrQueryColorIndex(ByteSpan data);        // OSC 4
    void oscSetCurrentDocument(ByteSpan data);             // OSC 6
    void oscSetCurrentDirectory(ByteSpan data);            // OSC 7
    void oscHyperlink(ByteSpan data);                      // OSC 8
    void oscSetColors(ByteSpan data, int startAt);         // OSC 10, 11, 12
    void oscClipboard(ByteSpan data);                      // OSC 52
    void oscResetColor(ByteSpan data);                     // OSC 104
    void oscResetCursorColor(ByteSpan data);               // OSC 112
    void oscNotification(ByteSpan data);                   // OSC 777
    void osciTerm2(ByteSpan data);                         // OSC 1337

private:
    void showAltScreen();
    void showNormalScreen(bool clearAlt, bool restoreCursor);
    void switchColumns(int newCols);
    void popWindowTitle();
    void popIconTitle();
    std::shared_ptr<DcsHandler> makeDecrqssHandler();
    BufferLinePtr makeEraseLine(const CharData& fill) const;
    void shiftRowsDown(int from, int bottom, int n, const CharData& fill);
    void shiftRowsUp(int from, int bottom, int n, const CharData& fill);
    void rotateRows(int from, int bottom, int newFirst, const CharData& fill, int blankAt, int count);
    std::vector<std::pair<bool, BufferLine::RenderLineMode>> flagScratch_;
    void shiftColumnsDown(int from, int bottom, int n, int left, int right, const CharData& fill);
    void shiftColumnsUp(int from, int bottom, int n, int left, int right, const CharData& fill);
    // Margin mode with left/right margins narrower than the screen: the region scrolls only
    // between them.
    bool scrollsBetweenMargins() const;
    // The cursor column (the pending-wrap position counting as the last column) lies between
    // the left and right margins; always so with margin mode off.
    bool cursorBetweenMargins() const;
    EscapeSequenceParser::CsiHandler closeBraceFallback_;
    // The code of the open link, written by the print path into the cells of both screens.
    void setLinkPayload(TinyAtom atom);

public:
    // ==== END COMMAND SET ===================================================================

private:
    void printAsciiRun(const uint8_t* p, size_t n);
    void insertCell(char32_t rune, int width);
    void attachZeroWidth(std::u32string_view chars);
    const uint8_t* printZeroWidthRun(char32_t first, const uint8_t* p, const uint8_t* end);
    void decodeAndPrint(const uint8_t* seq, int len);
    void printRune(char32_t rune);
    std::string lineText(const BufferLine& line, int startCol, int endCol) const;
    // A mouse report in the encoding the program chose; `flags` as of a press (a release adds
    // code 3 itself where the encoding needs it).
    void sendMouseReport(int flags, bool release, int x, int y, int pixelX, int pixelY);

    int cols_ = 80;
    int rows_ = 25;
    TerminalDelegate* tdel_ = nullptr;
    ImageStore imageStore_;
    std::unique_ptr<Buffer> normalBuffer_;
    std::unique_ptr<Buffer> altBuffer_;
    Buffer* buffer_ = nullptr;

    const CharsetTable* charset_ = nullptr;
    // charset_ flattened for the print path: the replacement of bytes 0..127, 0 = none.
    std::array<char32_t, 128> charsetMap_{};
    bool charsetActive_ = false; // the table replaces at least one byte
    std::optional<CharsetTable> ownedCharset_;

    Color foregroundColor_;
    Color backgroundColor_;
    std::optional<Color> cursorColor_;
    MouseMode mouseMode_ = MouseMode::off;

    // The row the current print run writes to (reset by every handlePrint).
    Buffer::RowCache printRow_;
    Buffer::PackedRendition printRendition_; // curAttr, packed for the run

    // UTF-8 carry-over between print calls: the start of a sequence the last run ended inside.
    std::array<uint8_t, 4> carry_{};
    int carryLen_ = 0;

    bool reverseVideo_ = false; // DECSCNM
};

} // namespace termcore
