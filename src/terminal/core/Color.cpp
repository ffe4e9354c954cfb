#include "Color.h"

#include <algorithm>
#include <cstdio>

namespace termcore {

const std::vector<Color>& Color::defaultInstalledColors()
{
    static const std::vector<Color> colors = {
        fromRgb8(0x00, 0x00, 0x00), // black
        fromRgb8(0x99, 0x00, 0x01), // red
        fromRgb8(0x00, 0xA6, 0x03), // green
        fromRgb8(0x99, 0x99, 0x00), // yellow
        fromRgb8(0x03, 0x00, 0xB2), // blue
        fromRgb8(0xB2, 0x00, 0xB2), // magenta
        fromRgb8(0x00, 0xA5, 0xB2), // cyan
        fromRgb8(0xBF, 0xBF, 0xBF), // white
        fromRgb8(0x8A, 0x89, 0x8A), // bright black
        fromRgb8(0xE5, 0x00, 0x01), // bright red
        fromRgb8(0x00, 0xD8, 0x00), // bright green
        fromRgb8(0xE5, 0xE5, 0x00), // bright yellow
        fromRgb8(0x07, 0x00, 0xFE), // bright blue
        fromRgb8(0xE5, 0x00, 0xE5), // bright magenta
        fromRgb8(0x00, 0xE5, 0xE5), // bright cyan
        fromRgb8(0xE5, 0xE5, 0xE5), // bright white
    };
    return colors;
}

std::vector<Color> Color::setupDefaultAnsiColors(std::span<const Color> initialColors)
{
    std::vector<Color> palette(initialColors.begin(), initialColors.end());
    palette.reserve(palette.size() + 216 + 24);
    // The xterm 6x6x6 colour cube.
    static constexpr uint8_t levels[6] = { 0x00, 0x5F, 0x87, 0xAF, 0xD7, 0xFF };
    for (int i = 0; i < 216; ++i)
        palette.push_back(fromRgb8(levels[(i / 36) % 6], levels[(i / 6) % 6], levels[i % 6]));
    // 24 greys from 8 to 238.
    for (int i = 0; i < 24; ++i) {
        const uint8_t v = uint8_t(8 + 10 * i);
        palette.push_back(fromRgb8(v, v, v));
    }
    return palette;
}

std::string Color::formatAsXcolor() const
{
    char text[32];
    std::snprintf(text, sizeof text, "rgb:%04x/%04x/%04x", unsigned(red), unsigned(green), unsigned(blue));
    return text;
}

namespace {

int hexValue(uint8_t b)
{
    if (b >= '0' && b <= '9')
        return b - '0';
    if (b >= 'a' && b <= 'f')
        return b - 'a' + 10;
    if (b >= 'A' && b <= 'F')
        return b - 'A' + 10;
    return -1;
}

// Scales a value of `digits` hex digits to 16 bits the way XParseColor does.
uint16_t scale(unsigned v, int digits)
{
    switch (digits) {
    case 1: return uint16_t(v * 0x1010);
    case 2: return uint16_t(v * 257);
    case 3: return uint16_t((v << 4) | (v >> 4));
    default: return uint16_t(v);
    }
}

} // namespace

std::optional<Color> Color::parseColor(ByteSpan data)
{
    if (!data.empty() && data[0] == '#') {
        const ByteSpan digits = data.subspan(1);
        for (uint8_t b : digits)
            if (hexValue(b) < 0)
                return std::nullopt;
        const size_t n = digits.size();
        if (n != 3 && n != 6 && n != 9 && n != 12)
            return std::nullopt;
        const int per = int(n / 3);
        unsigned v[3] = { 0, 0, 0 };
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < per; ++k)
                v[c] = v[c] * 16 + unsigned(hexValue(digits[size_t(c * per + k)]));
        return Color(scale(v[0], per), scale(v[1], per), scale(v[2], per));
    }

    static constexpr uint8_t prefix[] = { 'r', 'g', 'b', ':' };
    if (data.size() < 4 || !std::equal(prefix, prefix + 4, data.begin()))
        return std::nullopt;
    size_t i = 4;
    unsigned v[3] = { 0, 0, 0 };
    int most = 0;
    for (int c = 0; c < 3; ++c) {
        int digits = 0;
        while (i < data.size() && digits < 4) {
            const int h = hexValue(data[i]);
            if (h < 0)
                break;
            v[c] = v[c] * 16 + unsigned(h);
            ++digits;
            ++i;
        }
        if (i < data.size()) {
            // The byte that ended the field is consumed; after four digits only a "/" is.
            if (digits < 4 || data[i] == '/')
                ++i;
        }
        most = std::max(most, digits);
    }
    if (most == 0)
        return std::nullopt;
    return Color(scale(v[0], most), scale(v[1], most), scale(v[2], most));
}

} // namespace termcore
