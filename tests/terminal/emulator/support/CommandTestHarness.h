#pragma once

// Test harness of the command-set suites: a delegate that records every call as a short text
// and every reply byte, and a terminal wrapper with readers of the screen, cursor and region.

#include "Diagnostics.h"
#include "ReadableBytes.h"
#include "Terminal.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cmdtest {

using namespace termcore;

inline std::string hex4(uint16_t v)
{
    static const char* digits = "0123456789abcdef";
    std::string s(4, '0');
    for (int i = 3; i >= 0; i--, v >>= 4)
        s[size_t(i)] = digits[v & 15];
    return s;
}

inline std::string colorText(const Color& c) { return hex4(c.red) + "/" + hex4(c.green) + "/" + hex4(c.blue); }

class RecordingDelegate : public TerminalDelegate {
public:
    std::string sent;               // every reply byte, in order
    std::vector<std::string> calls; // every other call, as text
    bool trusted = true;
    std::optional<std::vector<uint8_t>> windowReply;
    std::vector<WindowManipulationCommand> windowCommands;
    std::vector<uint8_t> clipboard;
    std::vector<uint8_t> image;
    ImageSizeRequest imageWidth, imageHeight;
    bool imageKeepsAspect = false;

    void send(Terminal&, std::span<const uint8_t> data) override { sent.append(data.begin(), data.end()); }
    void showCursor(Terminal&) override { calls.push_back("showCursor"); }
    void hideCursor(Terminal&) override { calls.push_back("hideCursor"); }
    void setTerminalTitle(Terminal&, const std::string& t) override { calls.push_back("title:" + t); }
    void setTerminalIconTitle(Terminal&, const std::string& t) override { calls.push_back("icon:" + t); }
    std::optional<std::vector<uint8_t>> windowCommand(Terminal&, const WindowManipulationCommand& c) override
    {
        windowCommands.push_back(c);
        return windowReply;
    }
    void sizeChanged(Terminal&) override { calls.push_back("sizeChanged"); }
    void bufferActivated(Terminal&) override { calls.push_back("bufferActivated"); }
    bool isProcessTrusted(Terminal&) override { return trusted; }
    void mouseModeChanged(Terminal&) override { calls.push_back("mouseModeChanged"); }
    void reverseVideoChanged(Terminal& t) override
    {
        calls.push_back(std::string("reverseVideo:") + (t.reverseVideo() ? "on" : "off"));
    }
    void cursorStyleChanged(Terminal&, CursorStyle s) override
    {
        calls.push_back("cursorStyle:" + std::to_string(int(s)));
    }
    void hostCurrentDirectoryUpdated(Terminal&) override { calls.push_back("directory"); }
    void hostCurrentDocumentUpdated(Terminal&) override { calls.push_back("document"); }
    void colorChanged(Terminal&, std::optional<int> idx) override
    {
        calls.push_back("colorChanged:" + (idx ? std::to_string(*idx) : std::string("all")));
    }
    void setForegroundColor(Terminal& t, const Color& c) override
    {
        calls.push_back("fg:" + colorText(c));
        TerminalDelegate::setForegroundColor(t, c);
    }
    void setBackgroundColor(Terminal& t, const Color& c) override
    {
        calls.push_back("bg:" + colorText(c));
        TerminalDelegate::setBackgroundColor(t, c);
    }
    void setCursorColor(Terminal& t, const std::optional<Color>& c) override
    {
        calls.push_back("cursor:" + (c ? colorText(*c) : std::string("none")));
        TerminalDelegate::setCursorColor(t, c);
    }
    void iTermContent(Terminal&, std::span<const uint8_t> content) override
    {
        calls.push_back("iterm:" + std::string(content.begin(), content.end()));
    }
    void clipboardCopy(Terminal&, const std::vector<uint8_t>& content) override
    {
        clipboard = content;
        calls.push_back("clipboard");
    }
    void notify(Terminal&, const std::string& title, const std::string& body) override
    {
        calls.push_back("notify:" + title + "|" + body);
    }
    void createImage(Terminal&, const std::vector<uint8_t>& data, ImageSizeRequest w, ImageSizeRequest h,
                     bool keep) override
    {
        image = data;
        imageWidth = w;
        imageHeight = h;
        imageKeepsAspect = keep;
        calls.push_back("image");
    }

    std::string takeSent() { return std::exchange(sent, {}); }
    std::vector<std::string> takeCalls() { return std::exchange(calls, {}); }
};

class Harness {
public:
    explicit Harness(int cols = 80, int rows = 24, int scrollback = 100, bool withDelegate = true)
    {
        TerminalOptions o;
        o.cols = cols;
        o.rows = rows;
        o.scrollback = scrollback;
        o.enableSixelReported = false;
        term_ = std::make_unique<Terminal>(withDelegate ? &del : nullptr, o);
        del.takeCalls();
        del.takeSent();
    }
    ~Harness() { term_->setDelegate(nullptr); }

    RecordingDelegate del;

    Terminal& t() { return *term_; }
    Buffer& buf() { return term_->buffer(); }
    void feed(std::string_view s) { term_->feed(s); }

    int x() { return buf().x(); }
    int y() { return buf().y(); }
    std::pair<int, int> pos() { return {x(), y()}; }
    std::pair<int, int> region() { return {buf().scrollTop(), buf().scrollBottom()}; }
    std::pair<int, int> margins() { return {buf().marginLeft(), buf().marginRight()}; }
    int yBase() { return buf().yBase(); }
    int lineCount() { return buf().lines().count(); }

    // Text of an absolute line: trailing empty cells dropped, empty cells inside as spaces.
    std::string lineText(int absRow)
    {
        BufferLine& line = buf().lines()[absRow];
        std::string s;
        const int n = line.getTrimmedLength();
        for (int c = 0; c < n; c++) {
            const CharData& cell = line[c];
            if (cell.code == 0)
                s += ' ';
            else
                cell.appendCharacterUtf8(s);
        }
        return s;
    }
    std::string row(int y) { return lineText(yBase() + y); }
    // Every screen row followed by "|".
    std::string screen()
    {
        std::string s;
        for (int r = 0; r < term_->rows(); r++)
            s += row(r) + "|";
        return s;
    }
    CharData cell(int col, int y) { return buf().lines()[yBase() + y][col]; }
    bool wrapped(int y) { return buf().lines()[yBase() + y].isWrapped; }
    BufferLine::RenderLineMode renderMode(int y) { return buf().lines()[yBase() + y].renderMode; }

    void clearDirty() { term_->clearUpdateRange(); }
    std::optional<std::pair<int, int>> dirty()
    {
        auto r = term_->getUpdateRange();
        if (!r)
            return std::nullopt;
        return std::make_pair(r->startY, r->endY);
    }

private:
    std::unique_ptr<Terminal> term_;
};

// What the terminal replies to one input: the bytes it sends while reading just that input.
inline std::string reply(Harness& h, std::string_view input)
{
    h.del.takeSent();
    h.feed(input);
    return h.del.takeSent();
}

// Replies written readably: ESC as "\e", other controls and 8-bit bytes as "\xNN".
using termtest::readable;

} // namespace cmdtest
