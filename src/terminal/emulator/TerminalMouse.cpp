// Mouse reports in the encodings xterm defines: X10 (CSI M and three bytes), UTF-8 (mode 1005),
// SGR (mode 1006, and its pixel form 1016) and urxvt (mode 1015).

#include "Terminal.h"

#include <string>

namespace termcore {

int Terminal::encodeButton(int button, bool release, bool shift, bool meta, bool control) const
{
    if (release)
        return 3;
    int flags = 0;
    switch (button) {
    case 1: flags = 1; break;
    case 2: flags = 2; break;
    case 3: flags = 0; break;
    case 4: flags = 64; break; // wheel up
    case 5: flags = 65; break; // wheel down
    default: flags = 0; break;
    }
    // X10 reporting (and no reporting) never carries modifiers.
    if (sendsModifiers(mouseMode_)) {
        if (shift)
            flags += 4;
        if (meta)
            flags += 8;
        if (control)
            flags += 16;
    }
    return flags;
}

void Terminal::encodeMouseUtf(std::vector<uint8_t>& data, int ch)
{
    if (ch == 2047) {
        data.push_back(0);
    } else if (ch < 127) {
        data.push_back(uint8_t(ch));
    } else {
        const int clamped = ch > 2047 ? 2047 : ch;
        data.push_back(uint8_t(0xC0 | (clamped >> 6)));
        data.push_back(uint8_t(0x80 | (ch > 2047 ? 0x3F : (ch & 63))));
    }
}

void Terminal::sendEvent(int buttonFlags, int x, int y)
{
    sendEvent(buttonFlags, x, y, x, y);
}

void Terminal::sendEvent(int buttonFlags, int x, int y, int pixelX, int pixelY)
{
    // Button code 3 is a release, except in a motion report (bit 32): there it means "no button
    // held", which xterm's SGR form still ends with M and reports as 35 (any-event tracking).
    const bool release = (buttonFlags & 3) == 3 && !(buttonFlags & 32);
    sendMouseReport(release ? buttonFlags & ~3 : buttonFlags, release, x, y, pixelX, pixelY);
}

void Terminal::sendRelease(int pressFlags, int x, int y, int pixelX, int pixelY)
{
    sendMouseReport(pressFlags, true, x, y, pixelX, pixelY);
}

void Terminal::sendMouseReport(int flags, bool release, int x, int y, int pixelX, int pixelY)
{
    // A position left of or above the screen has no encoding.
    if (x < 0 || y < 0 || flags < 0)
        return;
    // Only SGR names the button that went up (by its final "m"); the older encodings send
    // code 3 for any release, the modifiers kept.
    const int legacy = release ? flags | 3 : flags;
    std::vector<uint8_t> out = csi();
    auto text = [&out](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
    switch (mouseProtocol) {
    case MouseProtocolEncoding::x10:
        // Each value travels as one byte: a position past column or row 222 (or flags past
        // 223) cannot be told, and a wrapped byte would report a wrong place, so none is sent.
        if (legacy + 32 > 255 || x + 33 > 255 || y + 33 > 255)
            return;
        out.push_back('M');
        out.push_back(uint8_t(legacy + 32));
        out.push_back(uint8_t(x + 33));
        out.push_back(uint8_t(y + 33));
        break;
    case MouseProtocolEncoding::utf8:
        out.push_back('M');
        encodeMouseUtf(out, legacy + 32);
        encodeMouseUtf(out, x + 33);
        encodeMouseUtf(out, y + 33);
        break;
    case MouseProtocolEncoding::sgr:
    case MouseProtocolEncoding::sgrPixel: {
        const bool pixels = mouseProtocol == MouseProtocolEncoding::sgrPixel;
        text("<" + std::to_string(flags) + ";" + std::to_string(pixels ? pixelX : x + 1) + ";"
             + std::to_string(pixels ? pixelY : y + 1) + (release ? "m" : "M"));
        break;
    }
    case MouseProtocolEncoding::urxvt:
        text(std::to_string(legacy + 32) + ";" + std::to_string(x + 1) + ";" + std::to_string(y + 1) + "M");
        break;
    }
    if (tdel_)
        tdel_->send(*this, out);
}

void Terminal::sendFocusReport(bool focused)
{
    if (sendFocus)
        sendResponse({csi(), std::string(focused ? "I" : "O")});
}

void Terminal::sendMotion(int buttonFlags, int x, int y, int pixelX, int pixelY)
{
    sendEvent(buttonFlags + 32, x, y, pixelX, pixelY);
}

} // namespace termcore
