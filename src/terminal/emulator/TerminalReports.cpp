// Device attributes, device status reports, mode and setting reports (DECRQM, DECRQSS) and the
// window operations of CSI t with the title stacks.
#include "Terminal.h"
#include "TerminalCommandSupport.h"

#include <algorithm>
#include <string>

namespace termcore {

using commands::bytesText;
using commands::collectIs;
using commands::listText;
using commands::param;

namespace {
bool startsWith(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

// Title stacks keep this many entries; a longer push sequence drops the oldest, so a program
// cannot grow memory without limit with CSI 22 t.
constexpr size_t kTitleStackLimit = 10;

void pushBounded(std::vector<std::string>& stack, const std::string& value)
{
    stack.push_back(value);
    if (stack.size() > kTitleStackLimit)
        stack.erase(stack.begin(), stack.begin() + ptrdiff_t(stack.size() - kTitleStackLimit));
}
} // namespace

void Terminal::cmdSendDeviceAttributes(ParamSpan pars, ByteSpan collect)
{
    if (!pars.empty() && pars[0] >= 1) {
        log("SendDeviceAttributes got " + listText(pars) + " and " + bytesText(collect));
        return;
    }
    if (collectIs(collect, ">") || collectIs(collect, ">0")) {
        // Secondary DA: terminal type 65, firmware version 20, keyboard 1.
        sendResponse({csi(), std::string(">65;20;1c")});
        return;
    }
    if (!collect.empty())
        return;
    const std::string& name = options.termName;
    if (startsWith(name, "xterm")) {
        std::string text = "?65";
        if (options.enableSixelReported)
            text += ";4";
        text += ";1;2;6;21;22;17;28c";
        sendResponse({csi(), text});
    } else if (startsWith(name, "screen") || startsWith(name, "rxvt-unicode")) {
        sendResponse({csi(), std::string("?1;2c")});
    } else if (startsWith(name, "linux")) {
        sendResponse({csi(), std::string("?6c")});
    }
}

void Terminal::cmdDeviceStatus(ParamSpan pars, ByteSpan collect)
{
    const Buffer& b = buffer();
    const int p = param(pars, 0);
    // The pending-wrap position after a full row is not a column of its own: the cursor still
    // stands on the last column.
    const int x = std::min(b.x(), cols() - 1);
    if (collect.empty()) {
        if (p == 5) {
            sendResponse({csi(), std::string("0n")});
        } else if (p == 6) {
            const int row = std::max(1, b.y() + 1 - (originMode ? b.scrollTop() : 0));
            const int col = std::max(1, x + 1 - (originMode && marginMode ? b.marginLeft() : 0));
            sendResponse({csi(), std::to_string(row) + ";" + std::to_string(col) + "R"});
        }
        return;
    }
    if (!collectIs(collect, "?"))
        return;
    switch (p) {
    case 6: {
        // DECXCPR: the row is not raised to 1, the column is.
        const int row = b.y() + 1 - (originMode ? b.scrollTop() : 0);
        const int col = std::max(1, x + 1 - (originMode && marginMode ? b.marginLeft() : 0));
        sendResponse({csi(), "?" + std::to_string(row) + ";" + std::to_string(col) + ";1R"});
        break;
    }
    case 15: sendResponse({csi(), std::string("?10n")}); break;  // printer: none
    case 25: sendResponse({csi(), std::string("?21n")}); break;  // UDK locked
    case 26: sendResponse({csi(), std::string("?27;1;0;0n")}); break; // keyboard: North American
    case 55: sendResponse({csi(), std::string("?53n")}); break;  // locator available
    case 56: sendResponse({csi(), std::string("?57;1n")}); break; // locator type: mouse
    case 62: sendResponse({csi(), std::string("0*{")}); break;   // macro space
    case 63: // memory checksum
        sendResponse({dcs(), std::to_string(param(pars, 1)) + "!~0000", st()});
        break;
    case 75: sendResponse({csi(), std::string("?70n")}); break;  // data integrity: ready
    case 85: sendResponse({csi(), std::string("?83n")}); break;  // multi-session: not configured
    default: break;
    }
}

void Terminal::cmdDecRqm(ParamSpan pars, bool decMode)
{
    const std::string prefix = decMode ? "?" : "";
    if (pars.empty()) {
        sendResponse({csi(), prefix + ";0$y"});
        return;
    }
    const int64_t p = pars[0];
    auto flag = [](bool on) { return on ? 1 : 2; };
    int status = 0;
    if (!decMode) {
        switch (p) {
        case 1: status = 4; break;
        case 2:
        case 3: status = 2; break;
        case 4: status = flag(insertMode); break;
        case 5: case 7: case 10: case 11: case 14: case 15: case 16: case 17: case 18: case 19:
            status = 4;
            break;
        case 12: status = 1; break;
        case 20: status = flag(lineFeedMode); break;
        default: status = 0; break;
        }
    } else {
        switch (p) {
        case 1: status = flag(applicationCursor); break;
        case 2: case 8: case 18: case 19: status = 1; break;
        case 95: status = 4; break; // DECNCSM cannot be set: DECCOLM always clears the screen
        case 3: status = flag(buffer().cols() == 132); break;
        case 4: status = flag(smoothScroll); break;
        case 5: status = flag(reverseVideo()); break;
        case 6: status = flag(originMode); break;
        case 7: status = flag(wraparound); break;
        case 9: status = flag(mouseMode() == MouseMode::x10); break;
        case 10: case 42: case 44: case 46: case 67: case 80: case 1034: status = 4; break;
        case 12: status = flag(cursorBlink); break;
        case 13: case 14: case 30: case 41: case 1001: status = 2; break;
        case 25: status = flag(!cursorHidden); break;
        case 40: status = flag(allow80To132); break;
        case 45: status = flag(reverseWraparound); break;
        case 47: case 1047: case 1049: status = flag(isCurrentBufferAlternate()); break;
        case 66: status = flag(applicationKeypad); break;
        case 69: status = flag(marginMode); break;
        case 1000: status = flag(mouseMode() == MouseMode::vt200); break;
        case 1002: status = flag(mouseMode() == MouseMode::buttonEventTracking); break;
        case 1003: status = flag(mouseMode() == MouseMode::anyEvent); break;
        case 1004: status = flag(sendFocus); break;
        case 1005: status = flag(mouseProtocol == MouseProtocolEncoding::utf8); break;
        case 1006: status = flag(mouseProtocol == MouseProtocolEncoding::sgr); break;
        case 1015: status = flag(mouseProtocol == MouseProtocolEncoding::urxvt); break;
        case 1016: status = flag(mouseProtocol == MouseProtocolEncoding::sgrPixel); break;
        case 2004: status = flag(bracketedPasteMode); break;
        default: status = 0; break;
        }
    }
    sendResponse({csi(), prefix + std::to_string(p) + ";" + std::to_string(status) + "$y"});
}

// DECRQSS: DCS $ q <setting> ST, answered with DCS 1 $ r <setting text> ST or DCS 0 $ r ST.
class Terminal::DECRQSS final : public DcsHandler {
public:
    explicit DECRQSS(Terminal& terminal) : terminal_(terminal) {}

    void hook(ByteSpan, ParamSpan, uint8_t) override { data_.clear(); }

    void put(ByteSpan data) override
    {
        // A real request is a couple of bytes; anything longer cannot match and is not kept.
        if (data_.size() < 64)
            data_.insert(data_.end(), data.begin(), data.begin() + ptrdiff_t(std::min<size_t>(data.size(), 64)));
    }

    void unhook() override
    {
        const std::string text(data_.begin(), data_.end());
        data_.clear();
        const Buffer& b = terminal_.buffer();
        std::optional<std::string> setting;
        if (text == "\"q")
            setting = "\"q"; // DECSCA
        else if (text == "\"p")
            setting = "65;1\"p"; // DECSCL
        else if (text == "r")
            setting = std::to_string(b.scrollTop() + 1) + ";" + std::to_string(b.scrollBottom() + 1) + "r";
        else if (text == "m")
            setting = terminal_.curAttr.toSgr();
        else if (text == "s")
            setting = std::to_string(b.marginLeft() + 1) + ";" + std::to_string(b.marginRight() + 1) + "s";
        else if (text == " q")
            setting = std::to_string(int(terminal_.options.cursorStyle) + 1) + " q"; // DECSCUSR's numbering
        else
            terminal_.log("Unknown DCS + " + text);
        terminal_.sendResponse({terminal_.dcs(), setting ? "1$r" + *setting : std::string("0$r"), terminal_.st()});
    }

private:
    Terminal& terminal_;
    std::vector<uint8_t> data_;
};

std::shared_ptr<DcsHandler> Terminal::makeDecrqssHandler()
{
    return std::make_shared<DECRQSS>(*this);
}

void Terminal::cmdWindowOptions(ParamSpan pars)
{
    TerminalDelegate* d = tdel();
    if (!d)
        return;
    using Kind = WindowManipulationCommand::Kind;
    auto is = [&](std::initializer_list<int64_t> list) { return std::equal(pars.begin(), pars.end(), list.begin(), list.end()); };
    auto forward = [&](Kind kind, int first = 0, int second = 0) { (void)d->windowCommand(*this, {kind, first, second}); };
    auto report = [&](Kind kind, const std::string& fallback) {
        if (auto bytes = d->windowCommand(*this, {kind, 0, 0}))
            sendResponse({*bytes});
        else
            sendResponse({csi(), fallback});
    };
    const size_t n = pars.size();
    const int64_t p0 = n ? pars[0] : 0;

    if (is({1})) {
        forward(Kind::deiconifyWindow);
    } else if (is({2})) {
        forward(Kind::iconifyWindow);
    } else if (n == 3 && p0 == 3) {
        forward(Kind::moveWindowTo, param(pars, 1), param(pars, 2));
    } else if (n == 3 && p0 == 4) {
        forward(Kind::resizeWindowTo, param(pars, 2), param(pars, 1)); // CSI 4 ; height ; width t
    } else if (is({5})) {
        forward(Kind::bringToFront);
    } else if (is({6})) {
        forward(Kind::sendToBack);
    } else if (is({7})) {
        forward(Kind::refreshWindow);
    } else if (n == 3 && p0 == 8) {
        forward(Kind::resizeTo, param(pars, 2), param(pars, 1)); // CSI 8 ; rows ; cols t
    } else if (is({9, 0})) {
        forward(Kind::restoreMaximizedWindow);
    } else if (is({9, 1})) {
        forward(Kind::maximizeWindow);
    } else if (is({9, 2})) {
        forward(Kind::maximizeWindowVertically);
    } else if (is({9, 3})) {
        forward(Kind::maximizeWindowHorizontally);
    } else if (is({10, 0})) {
        forward(Kind::undoFullScreen);
    } else if (is({10, 1})) {
        forward(Kind::switchToFullScreen);
    } else if (is({10, 2})) {
        forward(Kind::toggleFullScreen);
    } else if (is({15})) {
        report(Kind::reportSizeOfScreenInPixels, "5;768;1024t");
    } else if (is({16})) {
        report(Kind::reportCellSizeInPixels, "6;16;10t");
    } else if (is({18})) {
        report(Kind::reportTextAreaCharacters, "8;" + std::to_string(rows()) + ";" + std::to_string(cols()) + "t");
    } else if (is({19})) {
        report(Kind::reportScreenSizeCharacters, "9;" + std::to_string(rows()) + ";" + std::to_string(cols()) + "t");
    } else if (is({20})) {
        // The label and title themselves are never sent back: echoing them lets a program
        // inject text into the input stream.
        sendResponse({osc(), std::string("L"), st()});
    } else if (is({21})) {
        sendResponse({osc(), std::string("l"), st()});
    } else if (is({22, 0}) || is({22, 0, 0})) {
        pushBounded(terminalTitleStack, terminalTitle);
        pushBounded(terminalIconStack, iconTitle);
    } else if (is({22, 1})) {
        pushBounded(terminalIconStack, iconTitle);
    } else if (is({22, 2})) {
        pushBounded(terminalTitleStack, terminalTitle);
    } else if (is({23, 0}) || is({23, 0, 0})) {
        popWindowTitle();
        popIconTitle();
    } else if (is({23, 1})) {
        popIconTitle();
    } else if (is({23, 2})) {
        popWindowTitle();
    } else {
        log("Unhandled Window command: " + listText(pars));
    }
}

void Terminal::popWindowTitle()
{
    if (terminalTitleStack.empty())
        return;
    terminalTitle = std::move(terminalTitleStack.back());
    terminalTitleStack.pop_back();
    if (tdel())
        tdel()->setTerminalTitle(*this, terminalTitle);
}

void Terminal::popIconTitle()
{
    if (terminalIconStack.empty())
        return;
    iconTitle = std::move(terminalIconStack.back());
    terminalIconStack.pop_back();
    if (tdel())
        tdel()->setTerminalIconTitle(*this, iconTitle);
}

} // namespace termcore
