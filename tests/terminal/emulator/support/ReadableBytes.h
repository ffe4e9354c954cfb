#pragma once

// Terminal output written readably in test expectations and messages.

#include <cstdio>
#include <string>
#include <string_view>

namespace termtest {

// ESC as "\e", other controls and 8-bit bytes as "\xNN", printable ASCII as itself.
inline std::string readable(std::string_view bytes)
{
    std::string out;
    char tmp[8];
    for (unsigned char b : bytes) {
        if (b == 0x1b)
            out += "\\e";
        else if (b >= 0x20 && b < 0x7f)
            out += char(b);
        else {
            std::snprintf(tmp, sizeof tmp, "\\x%02x", b);
            out += tmp;
        }
    }
    return out;
}

} // namespace termtest
