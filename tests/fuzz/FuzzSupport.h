#pragma once

// Shared pieces of the fuzz targets: a delegate that answers everything (so every reply and
// trusted-only path runs) and keeps nothing, and a sink that swallows the engine's diagnostics.

#include "Diagnostics.h"
#include "Terminal.h"
#include "TerminalDelegate.h"

namespace fuzz {

class OpenDelegate : public termcore::TerminalDelegate {
public:
    void send(termcore::Terminal&, std::span<const uint8_t>) override {}
    bool isProcessTrusted(termcore::Terminal&) override { return true; }
    std::optional<std::vector<uint8_t>> windowCommand(termcore::Terminal&,
                                                      const termcore::WindowManipulationCommand&) override
    {
        return std::vector<uint8_t>{'\x1b', '[', '8', ';', '2', '4', ';', '8', '0', 't'};
    }
};

// Silences the diagnostics sink for the life of the process: a fuzzer prints millions of them.
inline void silenceDiagnostics()
{
    static const bool once = [] {
        termcore::Diagnostics::setSink([](std::string_view) {});
        return true;
    }();
    (void)once;
}

} // namespace fuzz
