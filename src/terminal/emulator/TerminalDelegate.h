#pragma once

#include "Color.h"
#include "TerminalOptions.h"
#include "TerminalTypes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace termcore {

class Terminal;

// The one interface through which a Terminal reaches its host. Every operation receives the
// calling terminal; all but send() have a default, so a host implements only what it needs.
// The terminal does not own its delegate: the owner clears it (Terminal::setDelegate(nullptr))
// before the delegate goes away. Calls happen synchronously, possibly from inside a feed; a
// delegate must not feed the same terminal from inside a callback.
class TerminalDelegate {
public:
    virtual ~TerminalDelegate() = default;

    virtual void showCursor(Terminal& source);
    virtual void hideCursor(Terminal& source);
    virtual void setTerminalTitle(Terminal& source, const std::string& title);
    virtual void setTerminalIconTitle(Terminal& source, const std::string& title);
    // A window operation or report of CSI t; returned bytes are sent back as the reply.
    virtual std::optional<std::vector<uint8_t>> windowCommand(Terminal& source, const WindowManipulationCommand& command);
    virtual void sizeChanged(Terminal& source);
    // Bytes for the program on the other side: replies, reports, mouse events.
    virtual void send(Terminal& source, std::span<const uint8_t> data) = 0;
    virtual void scrolled(Terminal& source, int yDisp);
    virtual void linefeed(Terminal& source);
    virtual void bufferActivated(Terminal& source);
    virtual void bell(Terminal& source);
    virtual void selectionChanged(Terminal& source);
    virtual bool isProcessTrusted(Terminal& source);
    virtual void mouseModeChanged(Terminal& source);
    // The whole screen went into or out of reverse video (Terminal::reverseVideo()).
    virtual void reverseVideoChanged(Terminal& source);
    virtual void cursorStyleChanged(Terminal& source, CursorStyle newStyle);
    virtual void hostCurrentDirectoryUpdated(Terminal& source);
    virtual void hostCurrentDocumentUpdated(Terminal& source);
    // A palette entry changed; nullopt means the whole palette.
    virtual void colorChanged(Terminal& source, std::optional<int> idx);
    // The three colour defaults assign the colour back to the terminal (its re-entry guard
    // keeps that from notifying twice).
    virtual void setForegroundColor(Terminal& source, const Color& color);
    virtual void setBackgroundColor(Terminal& source, const Color& color);
    virtual void setCursorColor(Terminal& source, const std::optional<Color>& color);
    struct Colors {
        Color foreground;
        Color background;
    };
    virtual Colors getColors(Terminal& source);
    virtual void iTermContent(Terminal& source, std::span<const uint8_t> content);
    virtual void clipboardCopy(Terminal& source, const std::vector<uint8_t>& content);
    virtual void notify(Terminal& source, const std::string& title, const std::string& body);
    // A decoded sixel image: RGBA, rows top to bottom; the host may take the bytes.
    virtual void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height);
    // The data of a sixel image (between DCS q and ST), with the palette for registers it does
    // not define, offered before it is decoded here. A host that decodes it elsewhere (off its
    // thread, with SixelDcsHandler::decodeImage) takes the bytes and answers true: the feed then
    // returns right after the image, and the host places the picture at the cursor before it
    // feeds the rest, so later output lands after it as before. Default: false (decoded here,
    // then createImageFromBitmap).
    virtual bool decodeSixelElsewhere(Terminal& source, std::vector<uint8_t>& data, std::span<const Color> palette);
    virtual void createImage(Terminal& source, const std::vector<uint8_t>& data, ImageSizeRequest width,
                             ImageSizeRequest height, bool preserveAspectRatio);
    // The same offer for an inline image file (OSC 1337 File=, its bytes decoded from base64):
    // a host that decodes and places it elsewhere takes the bytes and answers true, and the feed
    // returns right after the sequence as for a sixel. Default: false (then createImage).
    virtual bool decodeImageElsewhere(Terminal& source, std::vector<uint8_t>& data, ImageSizeRequest width,
                                      ImageSizeRequest height, bool preserveAspectRatio);
};

} // namespace termcore
