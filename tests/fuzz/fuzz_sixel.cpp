// The sixel decoder on its own: parameters, then the data in pieces of input-chosen length.

#include "FuzzSupport.h"
#include "SixelDcsHandler.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace termcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::silenceDiagnostics();
    FuzzedDataProvider in(data, size);
    static const std::vector<Color> colors(16, Color(0x8000, 0x4000, 0xffff));
    const size_t paletteSize = in.ConsumeIntegralInRange<size_t>(0, colors.size());
    size_t pixels = 0;
    SixelDcsHandler handler([&] { return std::span<const Color>(colors.data(), paletteSize); },
                            [&](std::vector<uint8_t>& rgba, int width, int height) {
                                pixels = rgba.size();
                                if (pixels != size_t(width) * size_t(height) * 4)
                                    __builtin_trap();
                            });
    std::vector<int64_t> params;
    for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; n--)
        params.push_back(in.ConsumeIntegral<int64_t>());
    handler.hook({}, params, 'q');
    while (in.remaining_bytes() > 0) {
        const std::vector<uint8_t> piece = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 4096));
        handler.put(piece);
    }
    handler.unhook();
    return 0;
}
