#include "Terminal.h"

#include "Diagnostics.h"
#include "UnicodeUtil.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace termcore {

// ---- Construction ----------------------------------------------------------------------------

Terminal::Terminal(TerminalDelegate* delegate, const TerminalOptions& opts)
    : installedColors(Color::defaultInstalledColors())
    , defaultAnsiColors(Color::setupDefaultAnsiColors(installedColors))
    , ansiColors(defaultAnsiColors)
    , blankLine(std::make_shared<BufferLine>(0))
    , foregroundColor_(Color::defaultForeground())
    , backgroundColor_(Color::defaultBackground())
{
    // 1. The field initialisers above: 80 x 25, tab width 8, clean dirty ranges, silentLog on.
    // 2-3. Delegate (not owned) and options.
    tdel_ = delegate;
    options = opts;
    // 4. The parser is a member, already built.
    // 5-7. Both screens at 80 x 25; only the normal one gets its rows now.
    normalBuffer_ = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, std::optional<int>(options.scrollback));
    normalBuffer_->fillViewportRows(std::nullopt);
    altBuffer_ = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, std::nullopt);
    buffer_ = normalBuffer_.get();
    cc.send8bit = false;
    // 8. The handler table.
    configureParser();
    // 9. The scroll step of both screens, and their tab stops from scratch.
    normalBuffer_->scroll = [this](bool isWrapped) { scroll(isWrapped); };
    altBuffer_->scroll = [this](bool isWrapped) { scroll(isWrapped); };
    normalBuffer_->setupTabStops(-1, tabStopWidth);
    altBuffer_->setupTabStops(-1, tabStopWidth);
    // 10. The real size and the power-on modes.
    setup(false);
}

Terminal::~Terminal() = default;

void Terminal::setup(bool isReset)
{
    cols_ = std::clamp(options.cols, MINIMUM_COLS, MAXIMUM_COLS);
    rows_ = std::clamp(options.rows, MINIMUM_ROWS, MAXIMUM_ROWS);

    if (isReset) {
        resetNormalBuffer();
        activateNormalBuffer(false);
    } else {
        normalBuffer_->resize(cols_, rows_);
        altBuffer_->resize(cols_, rows_);
    }

    cursorHidden = false;
    applicationKeypad = false;
    applicationCursor = false;
    originMode = false;
    setMarginMode(false);
    setInsertMode(false);
    setWraparound(true);
    bracketedPasteMode = false;
    // A full reset designates no set into any of G0-G3 again (this terminal's own slots).
    gsets.fill(nullptr);
    setCharset(nullptr);
    gcharset = 0;
    gLevel = 0;
    curAttr = Attribute();

    setMouseMode(MouseMode::off);

    buffer_->setScrollTop(0);
    buffer_->setScrollBottom(rows_ - 1);
    // Both screens: margins left at the buffer's power-on 0/0 would confine the alternate
    // screen to its first column as soon as margin mode is set there.
    for (Buffer* screen : {normalBuffer_.get(), altBuffer_.get()}) {
        screen->setMarginLeft(0);
        screen->setMarginRight(cols_ - 1);
    }

    cc.send8bit = false;
    conformance = TerminalConformance::vt500;
    allow80To132 = true;
    xtermTitleSetUtf = false;
    xtermTitleSetHex = false;
    xtermTitleQueryUtf = false;
    xtermTitleQueryHex = false;
    hyperLinkTracking.reset();
    setLinkPayload(TinyAtom());
    cursorBlink = false;
    hostCurrentDirectory.reset();
    lineFeedMode = options.convertEol;
}

void Terminal::resetNormalBuffer()
{
    normalBuffer_ = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, std::optional<int>(options.scrollback));
    normalBuffer_->scroll = [this](bool isWrapped) { scroll(isWrapped); };
    normalBuffer_->fillViewportRows(std::nullopt);
    normalBuffer_->setupTabStops(-1, tabStopWidth);
    // The old screen may still be the active one (a reset from the normal screen): point away
    // from it before it is gone, so the copy in activateNormalBuffer reads a live buffer.
    if (buffer_ != altBuffer_.get())
        buffer_ = altBuffer_.get();
}

void Terminal::activateNormalBuffer(bool clearAlt)
{
    if (buffer_ == normalBuffer_.get())
        return;
    if (altBuffer_->x() >= 0)
        normalBuffer_->setX(altBuffer_->x());
    if (altBuffer_->y() >= 0)
        normalBuffer_->setY(altBuffer_->y());
    if (clearAlt)
        altBuffer_->clear();
    buffer_ = normalBuffer_.get();
}

void Terminal::activateAltBuffer(std::optional<Attribute> fillAttr)
{
    if (buffer_ == altBuffer_.get())
        return;
    altBuffer_->setX(normalBuffer_->x());
    altBuffer_->setY(normalBuffer_->y());
    altBuffer_->fillViewportRows(fillAttr);
    buffer_ = altBuffer_.get();
}

void Terminal::resetToInitialState()
{
    options.rows = rows_;
    options.cols = cols_;
    const bool hidden = cursorHidden;
    setup(true);
    cursorHidden = hidden;
    // Only a full reset leaves reverse video (a column switch and a soft reset keep it).
    setReverseVideo(false);
    updateRange(0);
    updateRange(rows_ - 1);
}

void Terminal::cmdReset()
{
    parser.reset();
    resetToInitialState();
}

void Terminal::setupTabStops(int index)
{
    normalBuffer_->setupTabStops(index, tabStopWidth);
    altBuffer_->setupTabStops(index, tabStopWidth);
}

void Terminal::resizeBuffers(int newColumns, int newRows)
{
    const int savedDelta = normalBuffer_->savedY - normalBuffer_->y();
    normalBuffer_->resize(newColumns, newRows);
    normalBuffer_->savedY = normalBuffer_->y() + savedDelta;
    altBuffer_->resize(newColumns, newRows);
}

void Terminal::resize(int newCols, int newRows)
{
    newCols = std::clamp(newCols, MINIMUM_COLS, MAXIMUM_COLS);
    newRows = std::clamp(newRows, MINIMUM_ROWS, MAXIMUM_ROWS);
    if (newCols == cols_ && newRows == rows_)
        return;
    const int oldCols = cols_;
    resizeBuffers(newCols, newRows);
    cols_ = newCols;
    rows_ = newRows;
    options.cols = newCols;
    options.rows = newRows;
    setupTabStops(oldCols);
    updateRange(0);
    updateRange(rows_ - 1);
}

// ---- Modes with mirrors ----------------------------------------------------------------------

void Terminal::setMarginMode(bool on)
{
    marginMode = on;
    normalBuffer_->marginMode = on;
    altBuffer_->marginMode = on;
}

void Terminal::setInsertMode(bool on)
{
    insertMode = on;
    normalBuffer_->insertMode = on;
    altBuffer_->insertMode = on;
}

void Terminal::setWraparound(bool on)
{
    wraparound = on;
    normalBuffer_->wraparound = on;
    altBuffer_->wraparound = on;
}

void Terminal::setMouseMode(MouseMode mode)
{
    mouseMode_ = mode;
    if (tdel_)
        tdel_->mouseModeChanged(*this);
}

void Terminal::showCursor()
{
    if (!cursorHidden)
        return;
    cursorHidden = false;
    if (tdel_)
        tdel_->showCursor(*this);
}

void Terminal::hideCursor()
{
    if (cursorHidden)
        return;
    cursorHidden = true;
    if (tdel_)
        tdel_->hideCursor(*this);
}

// ---- Colours -------------------------------------------------------------------------------

void Terminal::installPalette(const std::vector<Color>& colors)
{
    if (colors.size() != 16)
        return;
    installedColors = colors;
    defaultAnsiColors = Color::setupDefaultAnsiColors(installedColors);
    ansiColors = defaultAnsiColors;
}

void Terminal::setForegroundColor(const Color& color)
{
    foregroundColor_ = color;
    if (settingFgColor)
        return;
    settingFgColor = true;
    if (tdel_)
        tdel_->setForegroundColor(*this, foregroundColor_);
    settingFgColor = false;
}

void Terminal::setBackgroundColor(const Color& color)
{
    backgroundColor_ = color;
    if (settingBgColor)
        return;
    settingBgColor = true;
    if (tdel_)
        tdel_->setBackgroundColor(*this, backgroundColor_);
    settingBgColor = false;
}

void Terminal::setCursorColor(const std::optional<Color>& color)
{
    cursorColor_ = color;
    if (settingCursorColor)
        return;
    settingCursorColor = true;
    if (tdel_)
        tdel_->setCursorColor(*this, cursorColor_);
    settingCursorColor = false;
}

// ---- Input ---------------------------------------------------------------------------------

size_t Terminal::feed(std::span<const uint8_t> data)
{
    return parser.parse(data);
}

size_t Terminal::feed(std::string_view text)
{
    return parser.parse(text);
}

void Terminal::registerOscHandler(int code, std::function<void(ByteSpan)> handler)
{
    parser.oscHandlers[code] = std::move(handler);
}

// ---- Dirty rows ----------------------------------------------------------------------------

void Terminal::updateRange(int startLine, int endLine, bool scrolling)
{
    updateRange(startLine, scrolling);
    updateRange(endLine, scrolling);
}

void Terminal::refresh(int startRow, int endRow)
{
    updateRange(startRow);
    updateRange(endRow);
}

void Terminal::updateFullScreen()
{
    // The end is `rows`, one past the last row: consumers clamp.
    refreshStart = 0;
    refreshEnd = rows_;
    scrollInvariantRefreshStart = buffer_->yDisp();
    scrollInvariantRefreshEnd = buffer_->yDisp() + rows_;
}

std::optional<Terminal::UpdateRange> Terminal::getUpdateRange() const
{
    if (refreshStart == INT_MAX && refreshEnd == -1)
        return std::nullopt;
    return UpdateRange{refreshStart, refreshEnd};
}

std::optional<Terminal::UpdateRange> Terminal::getScrollInvariantUpdateRange() const
{
    if (scrollInvariantRefreshStart == INT_MAX && scrollInvariantRefreshEnd == -1)
        return std::nullopt;
    return UpdateRange{scrollInvariantRefreshStart, scrollInvariantRefreshEnd};
}

void Terminal::clearUpdateRange()
{
    refreshStart = INT_MAX;
    refreshEnd = -1;
    scrollInvariantRefreshStart = INT_MAX;
    scrollInvariantRefreshEnd = -1;
}

// ---- Cell access ---------------------------------------------------------------------------

BufferLine* Terminal::getLine(int row)
{
    if (row < 0 || row >= rows_)
        return nullptr;
    const int index = buffer_->yDisp() + row;
    if (index < 0 || index >= buffer_->lines().count())
        return nullptr;
    return &buffer_->lines()[index];
}

std::optional<CharData> Terminal::getCharData(int col, int row)
{
    if (col < 0 || col >= cols_)
        return std::nullopt;
    BufferLine* line = getLine(row);
    if (!line)
        return std::nullopt;
    return (*line)[col];
}

std::optional<std::u32string> Terminal::getCharacter(int col, int row)
{
    auto cell = getCharData(col, row);
    if (!cell)
        return std::nullopt;
    return cell->getCharacter();
}

BufferLine* Terminal::getScrollInvariantLine(int row)
{
    const int top = buffer_->linesTop;
    if (row < top || row >= top + buffer_->lines().count())
        return nullptr;
    return &buffer_->lines()[row - top];
}

// ---- Replies and logging -------------------------------------------------------------------

void Terminal::log(std::string_view text)
{
    if (silentLog)
        return;
    std::string line = "Info: ";
    line.append(text);
    Diagnostics::print(line);
}

void Terminal::sendResponse(std::string_view text)
{
    if (!tdel_)
        return;
    tdel_->send(*this, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void Terminal::sendResponse(std::initializer_list<ResponseItem> items)
{
    sendResponse(std::vector<ResponseItem>(items));
}

void Terminal::sendResponse(const std::vector<ResponseItem>& items)
{
    // Items are typed, so the "unknown item" case of a dynamic reply builder cannot arise.
    std::vector<uint8_t> out;
    for (const auto& item : items) {
        if (auto bytes = std::get_if<std::vector<uint8_t>>(&item))
            out.insert(out.end(), bytes->begin(), bytes->end());
        else if (auto text = std::get_if<std::string>(&item))
            out.insert(out.end(), text->begin(), text->end());
        else
            out.push_back(std::get<uint8_t>(item));
    }
    if (tdel_)
        tdel_->send(*this, out);
}

std::vector<uint8_t> Terminal::csi() const
{
    return cc.send8bit ? std::vector<uint8_t>{0x9b} : std::vector<uint8_t>{0x1b, '['};
}

std::vector<uint8_t> Terminal::dcs() const
{
    return cc.send8bit ? std::vector<uint8_t>{0x90} : std::vector<uint8_t>{0x1b, 'P'};
}

std::vector<uint8_t> Terminal::osc() const
{
    return cc.send8bit ? std::vector<uint8_t>{0x9d} : std::vector<uint8_t>{0x1b, ']'};
}

std::vector<uint8_t> Terminal::st() const
{
    return cc.send8bit ? std::vector<uint8_t>{0x9c} : std::vector<uint8_t>{0x1b, '\\'};
}

// ---- Scrolling -----------------------------------------------------------------------------

void Terminal::emitLineFeed()
{
    if (tdel_)
        tdel_->linefeed(*this);
}

void Terminal::restrictCursor(bool setWrap)
{
    Buffer& b = *buffer_;
    b.setX(std::min(std::max(b.x(), 0), setWrap ? cols_ - 1 : cols_));
    if (originMode)
        b.setY(std::min(std::max(b.y(), b.scrollTop()), b.scrollBottom()));
    else
        b.setY(std::min(std::max(b.y(), 0), rows_ - 1));
    updateRange(b.y());
}

bool Terminal::scrollsBetweenMargins() const
{
    return marginMode && (buffer_->marginLeft() > 0 || buffer_->marginRight() < cols_ - 1);
}

bool Terminal::cursorBetweenMargins() const
{
    const int col = std::min(buffer_->x(), cols_ - 1);
    return !marginMode || (col >= buffer_->marginLeft() && col <= buffer_->marginRight());
}

void Terminal::cmdIndex()
{
    restrictCursor(true);
    Buffer& b = *buffer_;
    // DEC STD 070: at the bottom margin the region scrolls, as for a line feed only with the
    // cursor between the left and right margins; below the region the cursor only moves down,
    // and on the last row outside the region nothing happens.
    if (b.y() == b.scrollBottom()) {
        if (cursorBetweenMargins())
            scroll(false);
    } else if (b.y() < rows_ - 1) {
        b.setY(b.y() + 1);
    }
}

void Terminal::scroll(bool isWrapped)
{
    Buffer& b = *buffer_;
    if (scrollsBetweenMargins()) {
        // Only the columns between the margins move up; the text beside them stays, and
        // nothing reaches the scrollback.
        shiftColumnsUp(b.scrollTop(), b.scrollBottom(), 1, b.marginLeft(), b.marginRight(), eraseCell());
        updateRange(b.scrollTop());
        updateRange(b.scrollBottom());
        if (tdel_)
            tdel_->scrolled(*this, b.yDisp());
        return;
    }
    CircularBufferLineList& lines = b.lines();
    const Attribute erase = eraseAttr();

    // The cached blank row, remade when the width or the erase colour changed.
    if (blankLine->count() != cols_ || (blankLine->count() > 0 && (*blankLine)[0].attribute != erase))
        blankLine = b.getBlankLine(erase, false);
    blankLine->isWrapped = isWrapped;

    // Turns a row object that has left the screen into the new blank bottom row, in place.
    auto reuseAsBlank = [&](BufferLine& row) {
        row.copyFrom(*blankLine);
        row.renderMode = BufferLine::RenderLineMode::single;
        row.clearImages();
    };

    const int topRow = b.yBase() + b.scrollTop();
    const int bottomRow = b.yBase() + b.scrollBottom();

    if (b.scrollTop() != 0) {
        // A region below the top of the screen: its top row is lost, nothing reaches scrollback.
        if (topRow < bottomRow && bottomRow < lines.count()) {
            // The row objects rotate (no reference counting) and the lost one becomes the
            // blank bottom row.
            lines.rotate(topRow, topRow + 1, bottomRow + 1);
            reuseAsBlank(lines[bottomRow]);
        } else {
            BufferLinePtr lost = lines.line(topRow);
            if (bottomRow > topRow) {
                if (!lines.shiftElements(topRow + 1, bottomRow - topRow, -1)) {
                    Diagnostics::print("Assertion on scroll, state was: bottomRow=" + std::to_string(bottomRow)
                                       + " topRow=" + std::to_string(topRow) + " yDisp=" + std::to_string(b.yDisp())
                                       + " linesTop=" + std::to_string(b.linesTop)
                                       + " isAlternate=" + (isCurrentBufferAlternate() ? "true" : "false"));
                }
            }
            reuseAsBlank(*lost);
            lines.set(bottomRow, lost);
        }
    } else {
        // The top row goes to the scrollback.
        const bool full = lines.isFull();
        if (bottomRow != lines.count() - 1) {
            if (full && bottomRow >= 0 && lines.line(0).use_count() == 1) {
                // Rows below the region: the oldest row leaves the full ring and becomes the
                // new blank row under the region (what inserting a fresh copy would give,
                // without allocating one per line).
                lines.recycle();
                lines.rotate(bottomRow, lines.count() - 1, lines.count());
                BufferLine& blank = lines[bottomRow];
                reuseAsBlank(blank);
                blank.fillCharacter = blankLine->fillCharacter;
            } else {
                lines.splice(bottomRow + 1, 0, {std::make_shared<BufferLine>(*blankLine)}, [](int) {});
            }
        } else if (!full) {
            lines.push(std::make_shared<BufferLine>(*blankLine));
        } else {
            lines.recycle();
            BufferLine& last = lines[lines.count() - 1];
            // recycle() has already emptied the row in the default rendition; only another
            // background (or another width) needs the blank row's cells.
            if (erase == Attribute() && last.count() == cols_) {
                last.isWrapped = isWrapped;
                last.renderMode = BufferLine::RenderLineMode::single;
                last.clearImages();
            } else {
                reuseAsBlank(last);
            }
        }
        if (full) {
            if (b.hasScrollback())
                b.linesTop += 1;
            if (userScrolling)
                b.setYDisp(std::max(b.yDisp() - 1, 0));
        } else {
            b.setYBase(b.yBase() + 1);
            if (!userScrolling)
                b.setYDisp(b.yDisp() + 1);
        }
    }
    blankLine->isWrapped = false;

    if (!userScrolling)
        b.setYDisp(b.yBase());

    refreshStart = std::min(refreshStart, b.scrollTop());
    refreshEnd = std::max(refreshEnd, b.scrollBottom());
    if (!b.hasScrollback()) {
        updateRange(b.scrollTop());
        updateRange(b.scrollBottom());
    }
    if (tdel_)
        tdel_->scrolled(*this, b.yDisp());
}

// ---- Text extraction -----------------------------------------------------------------------

namespace {

// Number of code points in UTF-8 text.
int codePointCount(const std::string& s)
{
    int n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

std::vector<uint8_t> Terminal::getBufferAsData(BufferKind kind) const
{
    const Buffer* b = kind == BufferKind::normal ? normalBuffer_.get()
        : kind == BufferKind::alt                ? altBuffer_.get()
                                                 : buffer_;
    const CircularBufferLineList& lines = b->lines();
    std::string out;
    for (int i = 0; i < lines.count(); ++i) {
        const BufferLine* line = lines.peek(i);
        if (line) {
            const int end = std::min(line->getTrimmedLength(), line->count());
            for (int col = 0; col < end; ++col) {
                const CharData& cell = line->cellAt(col);
                if (cell.code > CharData::maxSimpleCode) {
                    if (const std::u32string* cluster = CharData::clusterForCode(cell.code)) {
                        for (char32_t c : *cluster)
                            appendUtf8(out, c);
                    } else {
                        out.push_back(' ');
                    }
                } else if (!UnicodeUtil::isScalarValue(cell.code)) {
                    out.push_back(' ');
                } else {
                    appendUtf8(out, char32_t(cell.code));
                }
            }
        }
        out.push_back('\n');
    }
    return std::vector<uint8_t>(out.begin(), out.end());
}

std::string Terminal::lineText(const BufferLine& line, int startCol, int endCol) const
{
    std::string text = line.translateToString(true, startCol, endCol);
    std::replace(text.begin(), text.end(), '\0', ' ');
    return text;
}

std::vector<Line> Terminal::getSelectedLines(Position p1, Position p2)
{
    Position start = p1;
    Position end = p2;
    switch (Position::compare(p1, p2)) {
    case Position::CompareResult::equal:
        return {};
    case Position::CompareResult::after:
        std::swap(start, end);
        break;
    case Position::CompareResult::before:
        break;
    }
    CircularBufferLineList& lines = buffer_->lines();
    if (start.row < 0 || start.row >= lines.count())
        return {};
    end.row = std::min(end.row, lines.count() - 1);

    std::vector<Line> result(1);
    std::vector<LineFragment> pending;
    auto breakFragment = [](int row) { return LineFragment{std::string("\n"), row - 1, -1, 1}; };
    auto fragment = [&](int row, int startCol, int endCol) {
        std::string text = lineText(lines[row], startCol, endCol);
        const int len = codePointCount(text);
        return LineFragment{std::move(text), row, startCol, len};
    };
    auto flushPending = [&] {
        int previousRow = INT_MIN;
        for (auto& f : pending) {
            if (previousRow != INT_MIN && f.line != previousRow)
                result.emplace_back();
            previousRow = f.line;
            result.back().add(std::move(f));
        }
        pending.clear();
    };

    // The start row.
    if (lines[start.row].hasAnyContent())
        result.back().add(fragment(start.row, start.col, start.row == end.row ? end.col : -1));

    // The rows between.
    for (int row = start.row + 1; row < end.row; ++row) {
        BufferLine& line = lines[row];
        if (!line.hasAnyContent()) {
            if (!line.isWrapped)
                pending.push_back(breakFragment(row));
            pending.push_back(fragment(row, 0, -1));
            continue;
        }
        flushPending();
        if (!line.isWrapped) {
            result.back().add(breakFragment(row));
            result.emplace_back();
        }
        result.back().add(fragment(row, 0, -1));
    }

    // The end row.
    if (end.row != start.row) {
        BufferLine& line = lines[end.row];
        if (line.hasAnyContent()) {
            flushPending();
            if (!line.isWrapped) {
                result.back().add(breakFragment(end.row));
                result.emplace_back();
            }
            result.back().add(fragment(end.row, 0, end.col));
        }
    }
    return result;
}

std::string Terminal::getText(Position start, Position end)
{
    std::string out;
    for (const Line& line : getSelectedLines(start, end))
        for (const LineFragment& f : line.fragments)
            if (f.text)
                out += *f.text;
    return out;
}

// ---- Environment ---------------------------------------------------------------------------

std::vector<std::string> Terminal::getEnvironmentVariables(std::optional<std::string> termName, bool trueColor)
{
    std::vector<std::string> env;
    env.push_back("TERM=" + termName.value_or("xterm-256color"));
    if (trueColor)
        env.push_back("COLORTERM=truecolor");
    env.push_back("LANG=en_US.UTF-8");
    for (const char* name : {"LOGNAME", "USER", "DISPLAY", "LC_TYPE", "HOME"}) {
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

} // namespace termcore
