#pragma once

// Helpers shared by the Terminal tests: a delegate that records every call as a value, and
// small readers of the screen.

#include "ReadableBytes.h"
#include "Terminal.h"

#include <string>
#include <vector>

namespace termcore::testing {

inline std::string escapeBytes(std::span<const uint8_t> data)
{
    return termtest::readable(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

// Records every delegate call in order ("bell", "send:\e[0n", "scrolled:3", ...).
class RecordingDelegate : public TerminalDelegate {
public:
    std::vector<std::string> calls;
    std::vector<std::vector<uint8_t>> sent;

    void send(Terminal&, std::span<const uint8_t> data) override
    {
        sent.emplace_back(data.begin(), data.end());
        calls.push_back("send:" + escapeBytes(data));
    }
    void bell(Terminal&) override { calls.push_back("bell"); }
    void linefeed(Terminal&) override { calls.push_back("linefeed"); }
    void scrolled(Terminal&, int yDisp) override { calls.push_back("scrolled:" + std::to_string(yDisp)); }
    void mouseModeChanged(Terminal&) override { calls.push_back("mouseModeChanged"); }
    void showCursor(Terminal&) override { calls.push_back("showCursor"); }
    void hideCursor(Terminal&) override { calls.push_back("hideCursor"); }
    void createImageFromBitmap(Terminal&, std::vector<uint8_t>& rgba, int width, int height) override
    {
        calls.push_back("image:" + std::to_string(width) + "x" + std::to_string(height) + ":"
                        + std::to_string(rgba.size()));
    }
    void setForegroundColor(Terminal& t, const Color& c) override
    {
        calls.push_back("setForegroundColor");
        TerminalDelegate::setForegroundColor(t, c);
    }

    // Only the calls of one kind, e.g. only("send:").
    std::vector<std::string> only(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }
    std::string lastSent() const { return sent.empty() ? std::string() : escapeBytes(sent.back()); }
};

inline TerminalOptions sizedOptions(int cols, int rows)
{
    TerminalOptions o;
    o.cols = cols;
    o.rows = rows;
    return o;
}

// The text of a screen row, trailing empty cells dropped and empty cells inside as spaces.
inline std::string rowText(Terminal& t, int row)
{
    BufferLine* line = t.getLine(row);
    if (!line)
        return {};
    std::string s = line->translateToString(true, 0, -1);
    for (char& c : s)
        if (c == '\0')
            c = ' ';
    return s;
}

// The character of one cell as UTF-32.
inline std::u32string cellText(Terminal& t, int col, int row)
{
    auto c = t.getCharacter(col, row);
    return c ? *c : std::u32string();
}

inline void feedBytes(Terminal& t, std::initializer_list<uint8_t> bytes)
{
    std::vector<uint8_t> v(bytes);
    t.feed(v);
}

} // namespace termcore::testing
