#pragma once

#include "Attribute.h"
#include "TinyAtom.h"

#include <any>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace termcore {

// One terminal cell. `code` below 0x400000 is a single character stored directly (a UTF-16 code
// unit or ASCII value); codes from 0x400001 up are keys of the process-wide grapheme map, which
// holds characters made of several code points or one code point above U+FFFF. Code 0 is an empty
// cell, which is also what follows a double-width character.
//
// A character ("grapheme cluster") is passed as a sequence of Unicode scalars (std::u32string_view).
struct CharData {
    int32_t code = 0;
    int8_t width = 1;
    Attribute attribute; // fg/bg default, no style
    TinyAtom payload;

    static constexpr int32_t firstClusterCode = 0x400001;
    static constexpr int32_t maxSimpleCode = 0x400000;
    // Code points one cell keeps; combining marks beyond are dropped by the print path.
    static constexpr size_t maxClusterLength = 32;

    constexpr CharData() = default;
    constexpr CharData(int32_t c, int8_t w, Attribute a, TinyAtom p = {}) : code(c), width(w), attribute(a), payload(p) {}

    // Builds a cell from a character. CR+LF gives 10; one scalar below U+10000 is stored as is;
    // anything else is interned in the grapheme map.
    CharData(Attribute attribute, std::u32string_view character, int8_t size);
    // The common case of the print path: one code point.
    CharData(Attribute attr, char32_t rune, int8_t size)
        : code(rune < 0x10000 ? int32_t(rune) : internCluster(std::u32string_view(&rune, 1))), width(size), attribute(attr)
    {
    }

    // Replaces code and width (same rules); payload and attribute stay.
    void setValue(std::u32string_view character, int32_t size);
    void setValue(char32_t rune, int32_t size);

    // The character shown: code 0 gives U+0000; an invalid scalar or an unknown cluster gives a space.
    std::u32string getCharacter() const;
    // Appends getCharacter() as UTF-8.
    void appendCharacterUtf8(std::string& out) const;

    bool hasPayload() const { return payload.code != 0; }
    bool isSimpleRune() const { return code < maxSimpleCode; }
    const std::any* getPayload() const { return payload.target(); }
    void setPayload(TinyAtom atom) { payload = atom; }

    // "CharData: <code> <character>" ("?" when the code is not a valid scalar).
    std::string debugDescription() const;

    bool operator==(const CharData&) const = default;

    // The default fill cell of rows: code 0, width 1, payload 0, fg/bg default, no style.
    static const CharData Null;

    // Process-wide grapheme maps; main thread only. Codes are never handed out twice, so a cell
    // copy that outlives its cluster shows a space, never another character.
    static const std::unordered_map<std::u32string, int32_t>& charToIndexMap();
    static const std::unordered_map<int32_t, std::u32string>& indexToCharMap();
    // The next code the maps will hand out (starts at 0x400001).
    static int32_t lastCharIndex();
    // The code of a cluster, interning it if new. Exposed for the print path's combining logic.
    static int32_t internCluster(std::u32string_view cluster);
    // The cluster of a code from the map, or nullptr.
    static const std::u32string* clusterForCode(int32_t code);
    // Forgets every cluster whose code is not in `used` (sorted); returns how many went.
    static size_t releaseClustersExcept(const std::vector<int32_t>& used);

private:
    static int32_t internClusterSlow(std::u32string_view cluster);
};

inline constexpr CharData CharData::Null{0, 1, Attribute()};

// Cells are copied by the million when rows scroll, wrap and reflow: keep them at 16 bytes.
static_assert(sizeof(CharData) == 16, "CharData must stay 16 bytes");

// Appends one code point as UTF-8 (invalid values become U+FFFD).
void appendUtf8(std::string& out, char32_t rune);

} // namespace termcore
