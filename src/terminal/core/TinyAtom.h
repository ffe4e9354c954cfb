#pragma once

#include <any>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace termcore {

// A 16-bit handle of a per-cell payload (a hyperlink). The payloads live in one process-wide
// table shared by every terminal; codes run 1..65534 and are handed out in order, and once the
// last one is out, codes freed by collection are handed out again; 0 means "no payload".
// Main thread only: the table is unsynchronised.
struct TinyAtom {
    uint16_t code = 0;

    constexpr TinyAtom() = default;
    constexpr explicit TinyAtom(uint16_t c) : code(c) {}
    constexpr bool operator==(const TinyAtom&) const = default;

    static constexpr int maxCode = 65534;

    // Registers a payload under a free code; nullopt when every code is in use by some cell
    // (the caller then writes cells without a payload).
    static std::optional<TinyAtom> lookup(std::any value);

    // Forgets the payload of a code.
    static void release(uint16_t code);
    // Forgets every payload whose code is not marked in `used` (indexed by code); returns how
    // many went.
    static size_t releaseExcept(const std::vector<bool>& used);

    // The payload stored under this handle, or nullptr for code 0 or a released code.
    const std::any* target() const;

    // The process-wide table and the last code handed out in order.
    static std::unordered_map<uint16_t, std::any>& map();
    static int lastUsed();
};

} // namespace termcore
