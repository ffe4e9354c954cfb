#pragma once

#include <any>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace termcore {

// A 16-bit handle of a per-cell payload (a hyperlink). The payloads live in one process-wide
// table shared by every terminal; codes run 1..65534, are handed out in order and never reused;
// 0 means "no payload". Main thread only: the table is unsynchronised.
struct TinyAtom {
    uint16_t code = 0;

    constexpr TinyAtom() = default;
    constexpr explicit TinyAtom(uint16_t c) : code(c) {}
    constexpr bool operator==(const TinyAtom&) const = default;

    static constexpr int maxCode = 65534;

    // Registers a payload under the next code; nullopt once the code space is used up (the caller
    // then writes cells without a payload).
    static std::optional<TinyAtom> lookup(std::any value);

    // Forgets the payload of a code; the code is not handed out again.
    static void release(uint16_t code);

    // The payload stored under this handle, or nullptr for code 0 or a released code.
    const std::any* target() const;

    // The process-wide table and its counters.
    static std::unordered_map<uint16_t, std::any>& map();
    static int lastUsed();
    // Progress marker of the interpreter's payload garbage collection; the engine only keeps it.
    static int lastCollected;
};

} // namespace termcore
