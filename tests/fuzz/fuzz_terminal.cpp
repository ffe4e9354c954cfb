// The whole terminal: the input chooses the first size, then alternates pieces of output of its
// own length with resizes, and ends by reading a selection. Sizes stay within 1x1..500x300.

#include "FuzzSupport.h"
#include "SelectionService.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace termcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::silenceDiagnostics();
    FuzzedDataProvider in(data, size);
    fuzz::OpenDelegate delegate;
    TerminalOptions options;
    options.cols = in.ConsumeIntegralInRange(1, 500);
    options.rows = in.ConsumeIntegralInRange(1, 300);
    options.scrollback = in.ConsumeIntegralInRange(0, 300);
    Terminal terminal(&delegate, options);

    while (in.remaining_bytes() > 0) {
        // One control byte in sixteen resizes; the others give the length of the next piece.
        const uint8_t op = in.ConsumeIntegral<uint8_t>();
        if (op % 16 == 0) {
            const int cols = in.ConsumeIntegralInRange(1, 500);
            terminal.resize(cols, in.ConsumeIntegralInRange(1, 300));
            continue;
        }
        const std::vector<uint8_t> piece = in.ConsumeBytes<uint8_t>(size_t(op) * 8);
        terminal.feed(std::span<const uint8_t>(piece));
    }

    SelectionService selection(terminal);
    const Buffer& buffer = terminal.buffer();
    const Position a = selection.clamp(buffer, {int(size % 509), int(size % 307)});
    const Position b = selection.clamp(buffer, {int(size % 211), int(size / 7 % 401)});
    selection.setSelection(a, b);
    (void)selection.getSelectedText();
    selection.selectWordOrExpression(b, buffer);
    (void)selection.getSelectedText();
    selection.selectAll();
    (void)selection.getSelectedText();
    terminal.garbageCollectPayload();
    return 0;
}
