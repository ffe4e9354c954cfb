#pragma once

namespace termcore {

// How the terminal writes C1 controls in its replies: as single 8-bit bytes (S8C1T) or as
// ESC-prefixed 7-bit pairs (S7C1T, the default).
struct CC {
    bool send8bit = false;
    friend constexpr bool operator==(const CC&, const CC&) = default;
};

} // namespace termcore
