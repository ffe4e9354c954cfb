// OSC and DCS strings through the whole terminal: the input picks the introducer and the
// terminator, the body arrives in pieces, and a few characters are printed after it so that
// state the string left behind (an open hyperlink, a charset, a pending reply) is exercised.

#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace termcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::silenceDiagnostics();
    static const std::string_view introducers[] = {"\x1b]", "\x9d", "\x1bP", "\x90", "\x1b_", "\x1b^"};
    static const std::string_view terminators[] = {"\x07", "\x1b\\", "\x9c", "\x18", ""};
    FuzzedDataProvider in(data, size);
    fuzz::OpenDelegate delegate;
    TerminalOptions options;
    options.cols = 20;
    options.rows = 5;
    Terminal terminal(&delegate, options);
    const auto& open = introducers[in.ConsumeIntegralInRange<size_t>(0, std::size(introducers) - 1)];
    const auto& close = terminators[in.ConsumeIntegralInRange<size_t>(0, std::size(terminators) - 1)];
    terminal.feed(open);
    while (in.remaining_bytes() > 0) {
        const std::string piece = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, 2048));
        terminal.feed(std::string_view(piece));
    }
    terminal.feed(close);
    terminal.feed(std::string_view("ab\xcc\x81\r\nx"));
    terminal.garbageCollectPayload();
    return 0;
}
