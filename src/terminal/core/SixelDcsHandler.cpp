#include "SixelDcsHandler.h"

#include "Diagnostics.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace termcore {

namespace {

// Numbers saturate here: far beyond any bound, far below overflow.
constexpr int64_t kSaturate = int64_t(1) << 40;

int64_t saturatingAdd(int64_t a, int64_t b)
{
    return std::min(a + b, kSaturate);
}

bool isDigit(uint8_t b)
{
    return b >= '0' && b <= '9';
}

// Reads decimal digits at data[i...], saturating; advances i.
int64_t readNumber(const std::vector<uint8_t>& data, size_t& i)
{
    int64_t v = 0;
    while (i < data.size() && isDigit(data[i])) {
        v = std::min(v * 10 + (data[i] - '0'), kSaturate);
        ++i;
    }
    return v;
}

// A colour command after "#": numbers separated by single ";". Leaves i after it.
std::vector<int64_t> readColorCommand(const std::vector<uint8_t>& data, size_t& i)
{
    std::vector<int64_t> numbers;
    ++i; // the "#"
    for (;;) {
        if (i < data.size() && data[i] == ';')
            ++i;
        if (i >= data.size() || !isDigit(data[i]))
            return numbers;
        numbers.push_back(readNumber(data, i));
    }
}

int highestBit(int bits)
{
    int k = 5;
    while (k > 0 && !(bits & (1 << k)))
        --k;
    return k;
}

} // namespace

SixelDcsHandler::SixelDcsHandler(PaletteSource defaultColors, ImageSink sink)
    : defaultColors_(std::move(defaultColors))
    , sink_(std::move(sink))
{
}

void SixelDcsHandler::hook(ByteSpan, ParamSpan, uint8_t)
{
    // Aspect ratio, background mode and grid size are not used.
    data.clear();
    overflow_ = false;
}

void SixelDcsHandler::put(ByteSpan bytes)
{
    if (overflow_)
        return;
    if (data.size() + bytes.size() > kMaxData) {
        overflow_ = true;
        data.clear();
        data.shrink_to_fit();
        return;
    }
    data.insert(data.end(), bytes.begin(), bytes.end());
}

void SixelDcsHandler::unhook()
{
    if (overflow_) {
        Diagnostics::print("SixelDcsHandler: sixel data over " + std::to_string(kMaxData) + " bytes, image dropped");
        overflow_ = false;
        return;
    }
    const std::span<const Color> colors = defaultColors_ ? defaultColors_() : std::span<const Color>();
    if (!decode(colors)) {
        Diagnostics::print("SixelDcsHandler: image over the size limit, dropped");
        return;
    }
    if (sink_)
        sink_(pixels, maxX, maxY);
}

uint8_t SixelDcsHandler::pctToByte(int64_t percent)
{
    return uint8_t(std::clamp<int64_t>(percent, 0, 100) * 255 / 100);
}

uint32_t SixelDcsHandler::sixelXrgb(int64_t red, int64_t green, int64_t blue)
{
    return uint32_t(pctToByte(red)) << 16 | uint32_t(pctToByte(green)) << 8 | uint32_t(pctToByte(blue));
}

uint32_t SixelDcsHandler::sixelRgb(int64_t red, int64_t green, int64_t blue)
{
    return sixelXrgb(red, green, blue) << 8 | 0xFF;
}

uint32_t SixelDcsHandler::hls_to_rgb(int64_t hue, int64_t lum, int64_t sat)
{
    lum = std::clamp<int64_t>(lum, 0, 100);
    sat = std::clamp<int64_t>(sat, 0, 100);
    if (sat == 0) {
        const uint32_t v = pctToByte(lum);
        return v << 16 | v << 8 | v;
    }
    hue = std::clamp<int64_t>(hue, 0, 360);
    const double h = double((hue + 240) % 360);
    const double l = double(lum);
    const double c = (1.0 - std::fabs(2.0 * l / 100.0 - 1.0)) * double(sat) / 2.0;
    const double max = l + c;
    const double min = l - c;
    double r = 0, g = 0, b = 0;
    switch (int(h) / 60) {
    case 0: r = max; g = min + (h / 60.0) * (max - min); b = min; break;
    case 1: r = min + ((120.0 - h) / 60.0) * (max - min); g = max; b = min; break;
    case 2: r = min; g = max; b = min + ((h - 120.0) / 60.0) * (max - min); break;
    case 3: r = min; g = min + ((240.0 - h) / 60.0) * (max - min); b = max; break;
    case 4: r = min + ((h - 240.0) / 60.0) * (max - min); g = min; b = max; break;
    default: r = max; g = min; b = min + ((360.0 - h) / 60.0) * (max - min); break;
    }
    return sixelXrgb(int64_t(r), int64_t(g), int64_t(b));
}

void SixelDcsHandler::definePalette(const std::vector<int64_t>& n)
{
    if (n.size() < 5)
        return;
    const int reg = int(std::min<int64_t>(n[0], INT32_MAX));
    switch (n[1]) {
    case 2: // RGB, percent
        palette[reg] = sixelRgb(n[2], n[3], n[4]);
        break;
    case 1: // HLS
        palette[reg] = hls_to_rgb(std::min<int64_t>(n[2], 360), std::min<int64_t>(n[3], 100), std::min<int64_t>(n[4], 100)) << 8 | 0xFF;
        break;
    default:
        break;
    }
}

bool SixelDcsHandler::decode(std::span<const Color> defaultColors)
{
    palette.clear();
    pixels.clear();
    x = y = maxX = maxY = 0;

    const size_t n = data.size();
    size_t start = 0;
    while (start < n && data[start] != '#')
        ++start;
    if (start >= n)
        return true; // no colour command: an empty image

    // Sizing pass.
    int64_t sx = 0, sy = 0, mx = 0, my = 0;
    for (size_t i = start; i < n;) {
        if (data[i] == '#') {
            if (readColorCommand(data, i).empty())
                break;
            continue;
        }
        int64_t repeat = 1;
        while (i < n && data[i] != '#') {
            const uint8_t c = data[i];
            if (c == '!') {
                ++i;
                repeat = (i < n && isDigit(data[i])) ? readNumber(data, i) : 1;
                continue;
            }
            if (c == '-') {
                mx = std::max(mx, sx);
                sx = 0;
                sy = saturatingAdd(sy, 6);
            } else if (c == '$') {
                mx = std::max(mx, sx);
                sx = 0;
            } else if (c >= '?' && c <= '~') {
                const int bits = c - '?';
                if (repeat > 0) {
                    if (bits)
                        my = std::max(my, sy + highestBit(bits) + 1);
                    sx = saturatingAdd(sx, repeat);
                }
                repeat = 1;
            }
            ++i;
        }
    }
    mx = std::max(mx, sx);

    if (mx > kMaxWidth || my > kMaxHeight || mx * my * 4 > kMaxBitmapBytes)
        return false;
    maxX = int(mx);
    maxY = int(my);
    pixels.assign(size_t(mx * my * 4), 0);

    // Drawing pass.
    int64_t px = 0, py = 0;
    int64_t reg = 15;
    for (size_t i = start; i < n;) {
        if (data[i] == '#') {
            const auto numbers = readColorCommand(data, i);
            if (numbers.empty())
                break;
            reg = numbers[0];
            if (numbers.size() > 1)
                definePalette(numbers);
            continue;
        }
        uint32_t color = 0;
        if (auto it = palette.find(int(std::min<int64_t>(reg, INT32_MAX))); it != palette.end()) {
            color = it->second;
        } else if (reg < int64_t(defaultColors.size())) {
            const Color& dc = defaultColors[size_t(reg)];
            color = uint32_t(dc.red >> 8) << 24 | uint32_t(dc.green >> 8) << 16 | uint32_t(dc.blue >> 8) << 8 | 0xFF;
        }
        const uint8_t rgba[4] = { uint8_t(color >> 24), uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color) };
        int64_t repeat = 1;
        while (i < n && data[i] != '#') {
            const uint8_t c = data[i];
            if (c == '!') {
                ++i;
                repeat = (i < n && isDigit(data[i])) ? readNumber(data, i) : 1;
                continue;
            }
            if (c == '-') {
                py += 6;
                px = 0;
            } else if (c == '$') {
                px = 0;
            } else if (c >= '?' && c <= '~') {
                const int bits = c - '?';
                if (repeat > 0) {
                    if (bits) {
                        const int64_t columns = std::min(repeat, mx - px);
                        for (int64_t col = 0; col < columns; ++col) {
                            for (int k = 0; k < 6; ++k) {
                                if (!(bits & (1 << k)) || py + k >= my)
                                    continue;
                                uint8_t* dst = pixels.data() + size_t(((py + k) * mx + px + col) * 4);
                                dst[0] = rgba[0];
                                dst[1] = rgba[1];
                                dst[2] = rgba[2];
                                dst[3] = rgba[3];
                            }
                        }
                    }
                    px = saturatingAdd(px, repeat);
                }
                repeat = 1;
            }
            ++i;
        }
    }
    x = int(std::min<int64_t>(px, INT32_MAX));
    y = int(std::min<int64_t>(py, INT32_MAX));
    return true;
}

} // namespace termcore
