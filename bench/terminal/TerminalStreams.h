#pragma once

// The byte streams of the whole-terminal benchmark set, shared with the test that pins the
// screen each one leaves behind. Every generator is deterministic (fixed seeds) and returns at
// least `size` bytes; a shorter stream is a prefix of a longer one.

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace benchstreams {

inline std::string denseAscii(size_t size)
{
    std::mt19937 rng(1);
    std::string s;
    s.reserve(size);
    while (s.size() < size)
        s.push_back(char(0x20 + rng() % 95));
    return s;
}

inline std::string asciiLines(size_t size)
{
    std::mt19937 rng(2);
    std::string s;
    s.reserve(size + 200);
    while (s.size() < size) {
        const int len = 20 + int(rng() % 100);
        for (int i = 0; i < len; ++i)
            s.push_back(char(0x20 + rng() % 95));
        s += "\r\n";
    }
    return s;
}

inline std::string sgrDense(size_t size)
{
    std::mt19937 rng(3);
    std::string s;
    s.reserve(size + 200);
    const char* words[] = {"error", "warning:", "ok", "src/main.cpp", "42", "->", "build", "done"};
    while (s.size() < size) {
        switch (rng() % 4) {
        case 0: s += "\x1b[" + std::to_string(30 + rng() % 8) + "m"; break;
        case 1: s += "\x1b[1;38;5;" + std::to_string(rng() % 256) + "m"; break;
        case 2: s += "\x1b[38;2;" + std::to_string(rng() % 256) + ";" + std::to_string(rng() % 256) + ";10;48;5;236m"; break;
        default: s += "\x1b[0m"; break;
        }
        s += words[rng() % 8];
        s += (rng() % 10 == 0) ? "\r\n" : " ";
    }
    return s;
}

inline std::string cursorMotion(size_t size)
{
    std::mt19937 rng(4);
    std::string s;
    s.reserve(size + 200);
    while (s.size() < size) {
        switch (rng() % 6) {
        case 0: s += "\x1b[" + std::to_string(1 + rng() % 40) + ";" + std::to_string(1 + rng() % 120) + "H"; break;
        case 1: s += "\x1b[" + std::to_string(1 + rng() % 5) + "A"; break;
        case 2: s += "\x1b[" + std::to_string(1 + rng() % 5) + "B"; break;
        case 3: s += "\x1b[" + std::to_string(1 + rng() % 9) + "C"; break;
        case 4: s += "\x1b[" + std::to_string(1 + rng() % 9) + "D"; break;
        default: s += "\x1b[" + std::to_string(1 + rng() % 120) + "G"; break;
        }
        s += "ab";
    }
    return s;
}

inline std::string eraseHeavy(size_t size)
{
    std::mt19937 rng(5);
    std::string s;
    s.reserve(size + 200);
    // The mix an editor or pager sends: mostly line-local erasing and character insert/delete,
    // regular line insert/delete, now and then a screen erase or a region scroll.
    const char* ops[] = {"K", "K", "K", "K", "K", "K", "1K", "2K", "X", "X", "@", "@", "P", "P",
                         "L", "L", "M", "M", "J", "S", "T"};
    constexpr size_t kOps = sizeof(ops) / sizeof(ops[0]);
    const char* words[] = {"int", "return value;", "// comment", "for (auto& x : xs)", "}", "std::string name"};
    while (s.size() < size) {
        s += "\x1b[" + std::to_string(1 + rng() % 40) + ";" + std::to_string(1 + rng() % 120) + "H";
        s += "\x1b[";
        s += std::to_string(1 + rng() % 3);
        s += ops[rng() % kOps];
        s += words[rng() % 6];
    }
    return s;
}

// A pager or editor with a status line: a scroll region set, lines appended at its bottom
// (scrolling it), now and then a reverse index at its top and a new region.
inline std::string scrollRegion(size_t size)
{
    std::mt19937 rng(8);
    std::string s;
    s.reserve(size + 200);
    const char* words[] = {"commit", "Author:", "Date:", "    fix", "diff --git", "+++ b/x", "@@ -1 +1 @@", "-"};
    int top = 1;
    int bottom = 22;
    while (s.size() < size) {
        if (rng() % 40 == 0) {
            top = 1 + int(rng() % 5);
            bottom = 18 + int(rng() % 5);
            s += "\x1b[" + std::to_string(top) + ";" + std::to_string(bottom) + "r";
            s += "\x1b[" + std::to_string(bottom) + ";1H";
        }
        if (rng() % 8 == 0) {
            s += "\x1b[" + std::to_string(top) + ";1H\x1bM";
            s += words[rng() % 8];
            s += "\x1b[" + std::to_string(bottom) + ";1H";
            continue;
        }
        const int n = 1 + int(rng() % 6);
        for (int i = 0; i < n; ++i) {
            s += words[rng() % 8];
            s += ' ';
        }
        s += "\r\n";
    }
    return s;
}

inline std::string wideUnicode(size_t size)
{
    std::mt19937 rng(6);
    const char* pieces[] = {"\xE4\xB8\xAD", "\xE6\x96\x87", "\xF0\x9F\x98\x80", "\xC3\xA9", "e\xCC\x81", "\xE2\x94\x80",
                            "\xD0\x96", "a", " ", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"};
    std::string s;
    s.reserve(size + 200);
    while (s.size() < size) {
        s += pieces[rng() % 10];
        if (rng() % 60 == 0)
            s += "\r\n";
    }
    return s;
}

struct Stream {
    const char* name;
    std::string (*generate)(size_t size);
};

inline const std::vector<Stream>& all()
{
    static const std::vector<Stream> streams = {
        {"DenseAscii", denseAscii},     {"AsciiLines", asciiLines},     {"SgrDense", sgrDense},
        {"CursorMotion", cursorMotion}, {"EraseHeavy", eraseHeavy},     {"ScrollRegion", scrollRegion},
        {"WideUnicode", wideUnicode},
    };
    return streams;
}

// History for the resize benchmarks: `count` lines of 0..199 printable characters, so that a
// resize both joins and splits rows.
inline std::string historyLines(int count)
{
    std::mt19937 rng(9);
    std::string s;
    for (int i = 0; i < count; ++i) {
        const int len = int(rng() % 200);
        for (int c = 0; c < len; ++c)
            s.push_back(char('a' + (i + c) % 26));
        s += "\r\n";
    }
    return s;
}

} // namespace benchstreams
