#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace termcore {

// A designatable character set: the printable ASCII byte being printed -> the UTF-8 text shown
// instead. Bytes without an entry are shown unchanged. Every entry is exactly one character.
using CharsetTable = std::map<uint8_t, std::string>;

// The national replacement and DEC special graphics sets of the VT100 family, selected with
// SCS (ESC ( F and friends).
class CharSets {
public:
    // Designator byte (the final byte of the SCS sequence) -> table. Built once, read-only.
    static const std::map<uint8_t, CharsetTable>& all();
    // The table of a designator, or nullptr when the designator is not known.
    static const CharsetTable* find(uint8_t designator);
};

} // namespace termcore
