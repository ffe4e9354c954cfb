#include "Diagnostics.h"

#include <cstdio>

namespace termcore {

namespace {
Diagnostics::Sink& currentSink()
{
    static Diagnostics::Sink sink;
    return sink;
}
} // namespace

void Diagnostics::print(std::string_view line)
{
    auto& sink = currentSink();
    if (sink) {
        sink(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

Diagnostics::Sink Diagnostics::setSink(Sink sink)
{
    auto previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

Diagnostics::Capture::Capture()
{
    previous_ = setSink([this](std::string_view line) { lines_.emplace_back(line); });
}

Diagnostics::Capture::~Capture()
{
    setSink(std::move(previous_));
}

bool Diagnostics::Capture::contains(std::string_view fragment) const
{
    for (const auto& line : lines_) {
        if (line.find(fragment) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace termcore
