#pragma once

#include "DcsHandler.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace termcore {

// The engine's colour: RGB with 16-bit channels, as X11 colour specifications carry them. Used
// for the 256-entry palette that Attribute::Color::ansi256 indexes, for the default foreground
// and background, and for the OSC 4/10/11/12 colour settings and queries.
struct Color {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;

    constexpr Color() = default;
    constexpr Color(uint16_t r, uint16_t g, uint16_t b) : red(r), green(g), blue(b) {}

    // 8-bit channels widen by x 257 (0xFF -> 0xFFFF), 4-bit channels by x 0x1111.
    static constexpr Color fromRgb8(uint8_t r, uint8_t g, uint8_t b)
    {
        return { uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257) };
    }
    static constexpr Color fromRgb4(uint8_t r, uint8_t g, uint8_t b)
    {
        return { uint16_t((r & 15) * 0x1111), uint16_t((g & 15) * 0x1111), uint16_t((b & 15) * 0x1111) };
    }

    static Color defaultForeground() { return { 0x8A3D, 0x8A3D, 0x8A3D }; }
    static Color defaultBackground() { return { 0, 0, 0 }; }
    // The 16 base colours (black, red, ..., bright white), in palette order.
    static const std::vector<Color>& defaultInstalledColors();
    // The 256-entry palette: the given base colours, the 6x6x6 cube and 24 greys.
    static std::vector<Color> setupDefaultAnsiColors(std::span<const Color> initialColors);

    // The X11 reply form "rgb:rrrr/gggg/bbbb" (lower-case hex).
    std::string formatAsXcolor() const;
    // "#rgb", "#rrggbb", "#rrrgggbbb", "#rrrrggggbbbb" or "rgb:r/g/b" with 1..4 hex digits per
    // channel; anything else (colour names included) gives no colour.
    static std::optional<Color> parseColor(ByteSpan data);
    static std::optional<Color> parseColor(std::string_view text)
    {
        return parseColor(ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }

    friend constexpr bool operator==(const Color&, const Color&) = default;
    size_t hashValue() const
    {
        size_t h = red;
        h = h * 31 + green;
        h = h * 31 + blue;
        return h;
    }
};

} // namespace termcore

template <>
struct std::hash<termcore::Color> {
    size_t operator()(const termcore::Color& c) const noexcept { return c.hashValue(); }
};
