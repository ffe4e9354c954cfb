#include "SixelDcsHandler.h"

#include "Diagnostics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <utility>

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

// Where the sixel cursor stands: its column, the top row of its band, and the widest column
// reached so far.
struct SixelCursor {
    int64_t x = 0;
    int64_t y = 0;
    int64_t widest = 0;
};

// The one reader of sixel data, from `start` (a colour command) to the end, shared by the sizing
// and the painting pass: each colour command goes to `colour(numbers)`, each sixel with any bit
// set to `sixel(bits, repeat, cursor)` before the cursor moves past it. A malformed colour
// command ends the image.
template <typename Colour, typename Sixel>
SixelCursor readSixels(const std::vector<uint8_t>& data, size_t start, Colour&& colour, Sixel&& sixel)
{
    SixelCursor at;
    int64_t repeat = 1;
    for (size_t i = start; i < data.size();) {
        const uint8_t c = data[i];
        if (c == '#') {
            const auto numbers = readColorCommand(data, i);
            if (numbers.empty())
                break;
            colour(numbers);
            repeat = 1;
            continue;
        }
        if (c == '!') {
            ++i;
            repeat = (i < data.size() && isDigit(data[i])) ? readNumber(data, i) : 1;
            continue;
        }
        if (c == '-' || c == '$') { // next band, or back to the band's start
            at.widest = std::max(at.widest, at.x);
            at.x = 0;
            if (c == '-')
                at.y = saturatingAdd(at.y, 6);
        } else if (c >= '?' && c <= '~') {
            if (repeat > 0) {
                if (c != '?')
                    sixel(c - '?', repeat, at);
                at.x = saturatingAdd(at.x, repeat);
            }
            repeat = 1;
        }
        ++i;
    }
    at.widest = std::max(at.widest, at.x);
    return at;
}

} // namespace

SixelDcsHandler::SixelDcsHandler(PaletteSource defaultColors, ImageSink sink, DataSink elsewhere)
    : defaultColors_(std::move(defaultColors))
    , sink_(std::move(sink))
    , elsewhere_(std::move(elsewhere))
{
}

std::optional<SixelDcsHandler::Bitmap> SixelDcsHandler::decodeImage(std::vector<uint8_t> data, std::span<const Color> defaultColors)
{
    SixelDcsHandler decoder({}, {});
    decoder.data = std::move(data);
    if (!decoder.decode(defaultColors))
        return std::nullopt;
    return Bitmap{std::move(decoder.pixels), decoder.maxX, decoder.maxY, decoder.workCapped};
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
    if (elsewhere_ && elsewhere_(data)) {
        data.clear();
        return;
    }
    const std::span<const Color> colors = defaultColors_ ? defaultColors_() : std::span<const Color>();
    const bool decoded = decode(colors);
    reportDecode(!decoded, workCapped, warnedWork_);
    if (decoded && sink_)
        sink_(pixels, maxX, maxY);
}

void SixelDcsHandler::reportDecode(bool dropped, bool workCapped, bool& warnedWork)
{
    if (dropped)
        Diagnostics::print("SixelDcsHandler: image over the size limit, dropped");
    else if (workCapped && !std::exchange(warnedWork, true))
        Diagnostics::print("SixelDcsHandler: image painted over too often, painting stopped (not reported again)");
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
    work = 0;
    workCapped = false;

    const size_t n = data.size();
    size_t start = 0;
    while (start < n && data[start] != '#')
        ++start;
    if (start >= n)
        return true; // no colour command: an empty image

    // Sizing pass, so that the bitmap is allocated once at its final size.
    int64_t my = 0;
    const int64_t mx = readSixels(data, start, [](const std::vector<int64_t>&) {}, [&](int bits, int64_t, const SixelCursor& at) {
        my = std::max(my, at.y + highestBit(bits) + 1);
    }).widest;

    if (mx > kMaxWidth || my > kMaxHeight || mx * my * 4 > kMaxBitmapBytes)
        return false;
    maxX = int(mx);
    maxY = int(my);
    pixels.assign(size_t(mx * my * 4), 0);

    // Painting pass.
    uint8_t rgba[4] = {};
    const auto selectColour = [&](const std::vector<int64_t>& numbers) {
        const int64_t reg = numbers[0];
        if (numbers.size() > 1)
            definePalette(numbers);
        uint32_t color = 0;
        if (auto it = palette.find(int(std::min<int64_t>(reg, INT32_MAX))); it != palette.end()) {
            color = it->second;
        } else if (reg < int64_t(defaultColors.size())) {
            const Color& dc = defaultColors[size_t(reg)];
            color = uint32_t(dc.red >> 8) << 24 | uint32_t(dc.green >> 8) << 16 | uint32_t(dc.blue >> 8) << 8 | 0xFF;
        }
        for (int k = 0; k < 4; ++k)
            rgba[k] = uint8_t(color >> (24 - 8 * k));
    };
    const int64_t maxWork = kWorkPerPixel * mx * my + kMinWork;
    const auto paint = [&](int bits, int64_t repeat, const SixelCursor& at) {
        if (workCapped)
            return;
        const int64_t columns = std::min(repeat, mx - at.x);
        const int64_t next = work + columns * std::popcount(unsigned(bits));
        if (next > maxWork) {
            workCapped = true;
            return;
        }
        work = next;
        for (int64_t col = 0; col < columns; ++col) {
            for (int k = 0; k < 6; ++k) {
                if (!(bits & (1 << k)) || at.y + k >= my)
                    continue;
                std::copy_n(rgba, 4, pixels.data() + size_t(((at.y + k) * mx + at.x + col) * 4));
            }
        }
    };
    const SixelCursor end = readSixels(data, start, selectColour, paint);
    x = int(std::min<int64_t>(end.x, INT32_MAX));
    y = int(std::min<int64_t>(end.y, INT32_MAX));
    return true;
}

} // namespace termcore
