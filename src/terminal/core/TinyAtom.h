#pragma once

#include <any>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace termcore {

// A 16-bit handle of a per-cell payload (a hyperlink). The payloads live in one process-wide
// table shared by every terminal; codes run 1..65534 and are handed out in order, then from
// the codes that collection gave back; 0 means "no payload".
//
// A new code costs the same however full the table is. Collection (Buffer::reclaimCodes) runs
// when the table has doubled since the last one, or when no code is left; then, when fewer
// than reclaimBatch codes are free because cells still hold them all, the codes handed out
// longest ago are taken back and the cells holding them lose their link. So one scan of the
// cells pays for at least reclaimBatch new links, and the newest link always gets a code of
// its own: older cells may lose a link, but no cell ever leads to another link's target.
// Main thread only: the table is unsynchronised.
struct TinyAtom {
    uint16_t code = 0;

    constexpr TinyAtom() = default;
    constexpr explicit TinyAtom(uint16_t c) : code(c) {}
    constexpr bool operator==(const TinyAtom&) const = default;

    static constexpr int maxCode = 65534;
    // The codes a collection frees at least, taking back the oldest ones if it must.
    static constexpr size_t reclaimBatch = 4096;

    // Registers a payload under a free code; nullopt only when every code is held by a link
    // still open in some terminal (the caller then writes cells without a payload).
    static std::optional<TinyAtom> lookup(std::any value);

    // Forgets the payload of a code.
    static void release(uint16_t code);
    // Forgets every payload whose code is not marked in `used` (indexed by code); returns how
    // many went.
    static size_t releaseExcept(const std::vector<bool>& used);
    // Forgets the payloads of the (at most) n codes handed out longest ago, except those marked
    // in `keep`, marking each in `taken`; returns how many went.
    static size_t releaseOldest(size_t n, const std::vector<bool>& keep, std::vector<bool>& taken);
    // Codes that can be handed out without a collection.
    static size_t freeCount();

    // The payload stored under this handle, or nullptr for code 0 or a released code.
    const std::any* target() const;

    // The process-wide table and the last code handed out in order.
    static std::unordered_map<uint16_t, std::any>& map();
    static int lastUsed();
};

} // namespace termcore
