#pragma once

#include <cstdint>
#include <span>

namespace termcore {

// A read-only view of bytes handed to a handler; valid only during the call.
using ByteSpan = std::span<const uint8_t>;
// Numeric parameters of a control sequence (an absent parameter is 0).
using ParamSpan = std::span<const int64_t>;

// The receiver of one kind of DCS string (for example sixel data under "q" or the status-string
// request under "$q"). The parser calls hook when the string's final byte arrives, put for each
// piece of payload (a string may arrive in any number of pieces), and unhook at its terminator.
class DcsHandler {
public:
    virtual ~DcsHandler() = default;
    virtual void hook(ByteSpan collect, ParamSpan parameters, uint8_t flag) = 0;
    virtual void put(ByteSpan data) = 0;
    virtual void unhook() = 0;
};

} // namespace termcore
