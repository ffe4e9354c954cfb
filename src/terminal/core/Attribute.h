#pragma once

#include "CharacterStyle.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace termcore {

// The rendition of a cell: foreground, background and style bits. A plain value; hashable so
// that views can key caches by it.
struct Attribute {
    // A cell colour: a palette index, a direct colour, or one of the two defaults. Stored in four
    // bytes (kind + payload) so that a whole cell stays small.
    class Color {
    public:
        enum class Kind : uint8_t {
            ansi256 = 0,              // index into the terminal's 256-colour palette
            trueColor = 1,            // direct 24-bit colour
            defaultColor = 2,         // the default foreground (as fg) or background (as bg)
            defaultInvertedColor = 3, // the opposite default
        };

        constexpr Color() = default; // defaultColor

        static constexpr Color ansi256(uint8_t code) { return Color(Kind::ansi256, code, 0, 0); }
        static constexpr Color trueColor(uint8_t red, uint8_t green, uint8_t blue)
        {
            return Color(Kind::trueColor, red, green, blue);
        }
        static constexpr Color defaultColor() { return Color(Kind::defaultColor, 0, 0, 0); }
        static constexpr Color defaultInvertedColor() { return Color(Kind::defaultInvertedColor, 0, 0, 0); }

        constexpr Kind kind() const { return kind_; }
        constexpr bool isAnsi256() const { return kind_ == Kind::ansi256; }
        constexpr bool isTrueColor() const { return kind_ == Kind::trueColor; }
        constexpr bool isDefault() const { return kind_ == Kind::defaultColor; }
        constexpr bool isDefaultInverted() const { return kind_ == Kind::defaultInvertedColor; }

        // Payload accessors; meaningful only for the matching kind (0 otherwise).
        constexpr uint8_t code() const { return kind_ == Kind::ansi256 ? a_ : 0; }
        constexpr uint8_t red() const { return kind_ == Kind::trueColor ? a_ : 0; }
        constexpr uint8_t green() const { return kind_ == Kind::trueColor ? b_ : 0; }
        constexpr uint8_t blue() const { return kind_ == Kind::trueColor ? c_ : 0; }

        // Case and payload; the constructors zero unused payload bytes, so a byte compare is exact.
        constexpr bool operator==(const Color&) const = default;

        // Discriminator first, then the payload bytes of the case.
        size_t hashValue() const;

    private:
        constexpr Color(Kind k, uint8_t a, uint8_t b, uint8_t c) : kind_(k), a_(a), b_(b), c_(c) {}
        Kind kind_ = Kind::defaultColor;
        uint8_t a_ = 0;
        uint8_t b_ = 0;
        uint8_t c_ = 0;
    };

    Color fg;
    Color bg;
    CharacterStyle style;

    // Foreground and background default, no style: the attribute of CharData::Null.
    constexpr Attribute() = default;
    constexpr Attribute(Color f, Color b, CharacterStyle s) : fg(f), bg(b), style(s) {}

    // Default foreground on the inverted default background; differs from CharData::Null's.
    static const Attribute empty;

    constexpr bool operator==(const Attribute&) const = default;
    size_t hashValue() const;

    // The SGR parameter text that restores this rendition, e.g. "0;1;31;48;5;200m"; used for the
    // DECRQSS reply to a request for the current graphic rendition.
    std::string toSgr() const;
};

inline constexpr Attribute Attribute::empty{Attribute::Color::defaultColor(),
                                            Attribute::Color::defaultInvertedColor(), CharacterStyle::none};

static_assert(sizeof(Attribute::Color) == 4);
static_assert(sizeof(Attribute) == 9);

} // namespace termcore

template <>
struct std::hash<termcore::Attribute> {
    size_t operator()(const termcore::Attribute& a) const noexcept { return a.hashValue(); }
};
template <>
struct std::hash<termcore::Attribute::Color> {
    size_t operator()(const termcore::Attribute::Color& c) const noexcept { return c.hashValue(); }
};
