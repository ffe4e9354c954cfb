#pragma once

// Small helpers shared by the command-set sources of Terminal: parameter reading by the
// conventions of the control-sequence handlers, and the texts of the log lines.

#include "DcsHandler.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace termcore::commands {

// Parameters arrive as 64-bit values of any size; every command works on ints. Values are
// clamped far below INT_MAX so that sums such as x + n cannot overflow.
inline int clampParam(int64_t v)
{
    constexpr int64_t limit = 1 << 28;
    return int(std::clamp<int64_t>(v, -limit, limit));
}

// The i-th parameter, 0 when absent.
inline int param(ParamSpan pars, size_t i)
{
    return i < pars.size() ? clampParam(pars[i]) : 0;
}

// A count or position parameter: absent, 0 and 1 all mean 1.
inline int countParam(ParamSpan pars, size_t i = 0)
{
    return std::max(1, param(pars, i));
}

inline bool collectIs(ByteSpan collect, std::string_view text)
{
    return collect.size() == text.size() && std::equal(collect.begin(), collect.end(), text.begin(),
                                                       [](uint8_t a, char b) { return a == uint8_t(b); });
}

// A list as the log lines write it: "[1, 2, 3]".
template <typename Span>
std::string listText(const Span& values)
{
    std::string out = "[";
    bool first = true;
    for (auto v : values) {
        if (!first)
            out += ", ";
        first = false;
        out += std::to_string(int64_t(v));
    }
    out += "]";
    return out;
}

inline std::string bytesText(ByteSpan bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

} // namespace termcore::commands
