#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace termcore {

// Which mouse events the program asked for (DECSET 9, 1000, 1002, 1003).
enum class MouseMode : uint8_t {
    off,                 // no mouse reporting
    x10,                 // press only, no modifiers (DECSET 9)
    vt200,               // press and release (DECSET 1000)
    buttonEventTracking, // press, release and drag (DECSET 1002)
    anyEvent,            // every motion too (DECSET 1003)
};

// True only when motion without a pressed button is reported.
constexpr bool sendMotionEvent(MouseMode m) { return m == MouseMode::anyEvent; }
// True when the shift/meta/control bits go into a report.
constexpr bool sendsModifiers(MouseMode m)
{
    return m == MouseMode::vt200 || m == MouseMode::buttonEventTracking || m == MouseMode::anyEvent;
}

// How a mouse report is encoded (DECSET 1005, 1006, 1015, 1016).
enum class MouseProtocolEncoding : uint8_t {
    x10,      // CSI M and three bytes
    utf8,     // CSI M and three UTF-8 encoded values
    sgr,      // CSI < b ; x ; y M/m
    urxvt,    // CSI b ; x ; y M
    sgrPixel, // as sgr, in pixels
};

// The conformance level set by DECSCL; stored only.
enum class TerminalConformance : uint8_t { vt100, vt200, vt300, vt400, vt500 };

// Which screen getBufferAsData reads.
enum class BufferKind : uint8_t {
    active, // whichever screen is shown
    normal, // the normal screen with its scrollback
    alt,    // the alternate screen
};

// A window operation or window report requested with CSI t, handed to the host.
struct WindowManipulationCommand {
    enum class Kind : uint8_t {
        moveWindowTo,             // x, y
        resizeWindowTo,           // width, height (pixels)
        resizeTo,                 // cols, rows
        resizeToLines,            // lines (first value)
        deiconifyWindow,
        iconifyWindow,
        bringToFront,
        sendToBack,
        refreshWindow,
        restoreMaximizedWindow,
        maximizeWindow,
        maximizeWindowVertically,
        maximizeWindowHorizontally,
        undoFullScreen,
        switchToFullScreen,
        toggleFullScreen,
        reportTerminalState,
        reportTerminalPosition,
        reportTextAreaPosition,
        reporttextAreaPixelDimension,
        reportSizeOfScreenInPixels,
        reportCellSizeInPixels,
        reportTextAreaCharacters,
        reportScreenSizeCharacters,
        reportIconLabel,
        reportWindowTitle,
    };
    Kind kind = Kind::refreshWindow;
    // The command's values: (x, y), (width, height), (cols, rows) or (lines, unused).
    int first = 0;
    int second = 0;

    friend bool operator==(const WindowManipulationCommand&, const WindowManipulationCommand&) = default;
};

// A requested inline-image width or height (OSC 1337 File=).
struct ImageSizeRequest {
    enum class Kind : uint8_t {
        cells,   // a number of cells
        pixels,  // a number of pixels
        percent, // a percentage of the screen
        automatic, // the image's own size ("auto")
    };
    Kind kind = Kind::automatic;
    int value = 0;

    static ImageSizeRequest cells(int n) { return {Kind::cells, n}; }
    static ImageSizeRequest pixels(int n) { return {Kind::pixels, n}; }
    static ImageSizeRequest percent(int n) { return {Kind::percent, n}; }
    static ImageSizeRequest autoSize() { return {Kind::automatic, 0}; }

    friend bool operator==(const ImageSizeRequest&, const ImageSizeRequest&) = default;
};

// The payload of an OSC 8 link (what its cells carry) taken apart: the parameters are the text
// before the first ";", key=value pairs separated by ":" (malformed pairs are skipped); the
// address is everything after that ";", whole, other ";" included.
struct HyperlinkTarget {
    std::vector<std::pair<std::string, std::string>> params;
    std::string uri;
    // Nothing when the payload has no ";".
    static std::optional<HyperlinkTarget> parse(std::string_view payload);
};

} // namespace termcore
