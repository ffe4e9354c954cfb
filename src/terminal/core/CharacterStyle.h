#pragma once

#include <cstdint>

namespace termcore {

// The style bits of a cell's rendition (SGR 1, 4, 5, 7, 8, 2, 3, 9), an option set over one byte.
struct CharacterStyle {
    uint8_t rawValue = 0;

    constexpr CharacterStyle() = default;
    constexpr explicit CharacterStyle(uint8_t raw) : rawValue(raw) {}

    static const CharacterStyle none;
    static const CharacterStyle bold;
    static const CharacterStyle underline;
    static const CharacterStyle blink;
    static const CharacterStyle inverse;
    static const CharacterStyle invisible;
    static const CharacterStyle dim;
    static const CharacterStyle italic;
    static const CharacterStyle crossedOut;

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(CharacterStyle other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr void insert(CharacterStyle other) { rawValue = uint8_t(rawValue | other.rawValue); }
    constexpr void remove(CharacterStyle other) { rawValue = uint8_t(rawValue & ~other.rawValue); }

    constexpr CharacterStyle operator|(CharacterStyle o) const { return CharacterStyle(uint8_t(rawValue | o.rawValue)); }
    constexpr CharacterStyle operator&(CharacterStyle o) const { return CharacterStyle(uint8_t(rawValue & o.rawValue)); }
    constexpr CharacterStyle& operator|=(CharacterStyle o) { rawValue = uint8_t(rawValue | o.rawValue); return *this; }
    constexpr bool operator==(const CharacterStyle&) const = default;
};

inline constexpr CharacterStyle CharacterStyle::none{0};
inline constexpr CharacterStyle CharacterStyle::bold{1};
inline constexpr CharacterStyle CharacterStyle::underline{2};
inline constexpr CharacterStyle CharacterStyle::blink{4};
inline constexpr CharacterStyle CharacterStyle::inverse{8};
inline constexpr CharacterStyle CharacterStyle::invisible{16};
inline constexpr CharacterStyle CharacterStyle::dim{32};
inline constexpr CharacterStyle CharacterStyle::italic{64};
inline constexpr CharacterStyle CharacterStyle::crossedOut{128};

} // namespace termcore
