// vtdump: feeds a file (or standard input) into a headless Terminal and prints what the screen
// shows, where the cursor stands, and every reply the terminal sent back, bytes escaped.
//
//   vtdump [--cols N] [--rows N] [--chunk N] [--log] [--scrollback] [--attrs] [FILE]
//
// --chunk feeds the input in pieces of N bytes (to exercise split sequences); --log turns the
// terminal's log lines on; --scrollback also prints the lines above the screen; --attrs lists
// the runs of cells whose rendition is not the default, as SGR text.

#include "Terminal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace termcore;

namespace {

std::string escapeBytes(std::span<const uint8_t> data)
{
    std::string out;
    char tmp[8];
    for (uint8_t b : data) {
        if (b == 0x1b) {
            out += "\\e";
        } else if (b == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b < 0x7f) {
            out.push_back(char(b));
        } else {
            std::snprintf(tmp, sizeof tmp, "\\x%02x", b);
            out += tmp;
        }
    }
    return out;
}

class Recorder : public TerminalDelegate {
public:
    std::vector<std::string> events;
    void send(Terminal&, std::span<const uint8_t> data) override { events.push_back("reply: " + escapeBytes(data)); }
    void setTerminalTitle(Terminal&, const std::string& title) override { events.push_back("title: " + title); }
    void bell(Terminal&) override { events.push_back("bell"); }
};

int usage()
{
    std::fprintf(stderr, "usage: vtdump [--cols N] [--rows N] [--chunk N] [--log] [--scrollback] [--attrs] [FILE]\n");
    return 2;
}

std::string rowText(const BufferLine& line)
{
    std::string text = line.translateToString(true, 0, -1);
    for (char& c : text)
        if (c == '\0')
            c = ' ';
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    int cols = 80, rows = 25;
    size_t chunk = 0;
    bool logOn = false, showScrollback = false, showAttrs = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        auto intArg = [&](int& value) {
            if (i + 1 >= argc)
                return false;
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (!end || *end || v < 0 || v > 100000)
                return false;
            value = int(v);
            return true;
        };
        if (!std::strcmp(argv[i], "--cols")) {
            if (!intArg(cols))
                return usage();
        } else if (!std::strcmp(argv[i], "--rows")) {
            if (!intArg(rows))
                return usage();
        } else if (!std::strcmp(argv[i], "--chunk")) {
            int c = 0;
            if (!intArg(c))
                return usage();
            chunk = size_t(c);
        } else if (!std::strcmp(argv[i], "--log")) {
            logOn = true;
        } else if (!std::strcmp(argv[i], "--scrollback")) {
            showScrollback = true;
        } else if (!std::strcmp(argv[i], "--attrs")) {
            showAttrs = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return usage();
        } else {
            path = argv[i];
        }
    }

    std::FILE* f = path ? std::fopen(path, "rb") : stdin;
    if (!f) {
        std::fprintf(stderr, "vtdump: cannot open %s\n", path);
        return 1;
    }

    Recorder recorder;
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    Terminal terminal(&recorder, options);
    terminal.silentLog = !logOn;
    // The input goes in as it is read, the way a terminal takes a pty's output: pieces of
    // --chunk bytes, else of 64 KiB (the engine keeps its state across pieces). A whole large
    // file read up front would cost more in page faults than the engine spends on it.
    std::vector<uint8_t> piece(chunk ? chunk : size_t(65536));
    size_t n;
    while ((n = std::fread(piece.data(), 1, piece.size(), f)) > 0)
        terminal.feed(std::span<const uint8_t>(piece.data(), n));
    const bool ok = !std::ferror(f);
    if (path)
        std::fclose(f);
    if (!ok) {
        std::fprintf(stderr, "vtdump: read error\n");
        return 1;
    }

    Buffer& buffer = terminal.buffer();
    std::cout << "screen " << terminal.cols() << "x" << terminal.rows()
              << (terminal.isCurrentBufferAlternate() ? " (alternate)" : "") << "\n";
    if (showScrollback) {
        for (int i = 0; i < buffer.yDisp(); ++i)
            std::cout << "  -" << (buffer.yDisp() - i) << "|" << rowText(buffer.lines()[i]) << "\n";
    }
    for (int row = 0; row < terminal.rows(); ++row) {
        BufferLine* line = terminal.getLine(row);
        char label[16];
        std::snprintf(label, sizeof label, "%3d", row);
        std::cout << label << "|" << (line ? rowText(*line) : std::string()) << "\n";
    }
    if (showAttrs) {
        for (int row = 0; row < terminal.rows(); ++row) {
            BufferLine* line = terminal.getLine(row);
            if (!line)
                continue;
            int start = 0;
            for (int col = 1; col <= line->count(); ++col) {
                if (col < line->count() && (*line)[col].attribute == (*line)[start].attribute)
                    continue;
                const Attribute& a = (*line)[start].attribute;
                if (!(a == Attribute()))
                    std::cout << "attrs row " << row << " col " << start << "-" << (col - 1) << ": " << a.toSgr()
                              << "\n";
                start = col;
            }
        }
    }
    const auto cursor = terminal.getCursorLocation();
    std::cout << "cursor col " << cursor.x << " row " << cursor.y << (terminal.cursorHidden ? " hidden" : "") << "\n";
    for (const auto& e : recorder.events)
        std::cout << e << "\n";
    return 0;
}
