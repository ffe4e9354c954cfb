#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace termcore {

// The engine's one diagnostics sink. Every console line the engine writes (its own
// diagnostics, and the interpreter's log lines when silentLog is off) goes through here,
// so tests can capture them instead of reading standard output.
class Diagnostics {
public:
    using Sink = std::function<void(std::string_view)>;

    // Writes one line (without its newline) to the current sink; standard output by default.
    static void print(std::string_view line);

    // Replaces the sink; an empty function restores standard output. Returns the previous sink.
    static Sink setSink(Sink sink);

    // Captures every line printed while it lives; restores the previous sink when dropped.
    class Capture {
    public:
        Capture();
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;
        const std::vector<std::string>& lines() const { return lines_; }
        bool contains(std::string_view fragment) const;
        void clear() { lines_.clear(); }

    private:
        std::vector<std::string> lines_;
        Sink previous_;
    };
};

} // namespace termcore
