#pragma once

#include "Color.h"
#include "DcsHandler.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace termcore {

// Decodes a sixel image (DCS P1;P2;P3 q data ST, DEC STD 070 / VT340 sixel graphics) into a
// 32-bit RGBA bitmap. The parser calls hook/put/unhook; all decoding happens in unhook (or, when
// the data is taken to be decoded elsewhere, in decodeImage on another thread), in two passes so
// the bitmap is allocated once at its final size.
//
// The handler knows its terminal only through functions (the terminal registers it under DCS
// "q"): one gives the palette used for registers the image does not define, one receives the
// finished bitmap, and one may take the data to decode it elsewhere. None keeps the terminal
// alive.
class SixelDcsHandler : public DcsHandler {
public:
    using PaletteSource = std::function<std::span<const Color>()>;
    using ImageSink = std::function<void(std::vector<uint8_t>& rgba, int width, int height)>;
    // Offered the data at the end of each image: true when it took it to decode elsewhere (then
    // nothing is decoded here and the image sink is not called).
    using DataSink = std::function<bool(std::vector<uint8_t>& data)>;

    // Bounds: an image larger than this is dropped without allocating it, and sixel data
    // beyond kMaxData bytes drops the image too.
    static constexpr int64_t kMaxWidth = 8192;
    static constexpr int64_t kMaxHeight = 8192;
    static constexpr int64_t kMaxBitmapBytes = int64_t(64) << 20;
    static constexpr size_t kMaxData = size_t(32) << 20;
    // The work of painting is bounded by the bitmap too: pixels painted, counting each time one
    // is painted over, at most this many per pixel of the bitmap (plus kMinWork). Past it the
    // painting stops and the image keeps what it has: one band painted over and over, or a
    // colour repeated across a huge bitmap, costs no more than a few passes over the bitmap.
    static constexpr int64_t kWorkPerPixel = 4;
    static constexpr int64_t kMinWork = int64_t(1) << 22;

    SixelDcsHandler(PaletteSource defaultColors, ImageSink sink, DataSink elsewhere = {});

    void hook(ByteSpan collect, ParamSpan parameters, uint8_t flag) override;
    void put(ByteSpan data) override;
    void unhook() override;

    // Decodes `data` into pixels/maxX/maxY. False when the image is over the bounds (pixels
    // then stay empty and nothing may be handed on).
    bool decode(std::span<const Color> defaultColors);

    // A decoded image: RGBA pixels, rows top to bottom.
    struct Bitmap {
        std::vector<uint8_t> pixels;
        int width = 0;
        int height = 0;
        bool workCapped = false; // painting stopped at the work bound
    };
    // The same decoding as decode(), on its own data: touches nothing shared, so it may run on
    // any thread. Nothing when the image is over the bounds.
    static std::optional<Bitmap> decodeImage(std::vector<uint8_t> data, std::span<const Color> defaultColors);
    // Says what went wrong with a decode, wherever it ran: an image over the size bounds each
    // time, painting stopped at the work bound only the first time for `warnedWork`.
    static void reportDecode(bool dropped, bool workCapped, bool& warnedWork);

    std::vector<uint8_t> data;
    std::unordered_map<int, uint32_t> palette; // register -> red<<24 | green<<16 | blue<<8 | alpha
    std::vector<uint8_t> pixels;               // RGBA, rows top to bottom
    int x = 0;
    int y = 0;
    int maxX = 0;
    int maxY = 0;
    // Pixels painted by the last decode (each overpaint counted), and whether it hit the bound.
    int64_t work = 0;
    bool workCapped = false;

    // Percent (clamped to 0..100) to a byte, value * 255 / 100.
    static uint8_t pctToByte(int64_t percent);
    // An RGB definition in percent, packed as an opaque palette entry.
    static uint32_t sixelRgb(int64_t red, int64_t green, int64_t blue);
    // The same as 0x00RRGGBB.
    static uint32_t sixelXrgb(int64_t red, int64_t green, int64_t blue);
    // Hue (0 = blue, 120 = red, 240 = green, as DEC's HLS circle has it), lightness and
    // saturation in percent, as 0x00RRGGBB.
    static uint32_t hls_to_rgb(int64_t hue, int64_t lum, int64_t sat);

private:
    void definePalette(const std::vector<int64_t>& numbers);

    PaletteSource defaultColors_;
    ImageSink sink_;
    DataSink elsewhere_;
    bool overflow_ = false;
    bool warnedWork_ = false;
};

} // namespace termcore
