#include "TerminalDelegate.h"

#include "Terminal.h"

namespace termcore {

void TerminalDelegate::showCursor(Terminal&) {}
void TerminalDelegate::hideCursor(Terminal&) {}
void TerminalDelegate::setTerminalTitle(Terminal&, const std::string&) {}
void TerminalDelegate::setTerminalIconTitle(Terminal&, const std::string&) {}
std::optional<std::vector<uint8_t>> TerminalDelegate::windowCommand(Terminal&, const WindowManipulationCommand&)
{
    return std::nullopt;
}
void TerminalDelegate::sizeChanged(Terminal&) {}
void TerminalDelegate::scrolled(Terminal&, int) {}
void TerminalDelegate::linefeed(Terminal&) {}
void TerminalDelegate::bufferActivated(Terminal&) {}
void TerminalDelegate::bell(Terminal&) {}
void TerminalDelegate::selectionChanged(Terminal&) {}
bool TerminalDelegate::isProcessTrusted(Terminal&)
{
    return true;
}
void TerminalDelegate::mouseModeChanged(Terminal&) {}
void TerminalDelegate::reverseVideoChanged(Terminal&) {}
void TerminalDelegate::cursorStyleChanged(Terminal&, CursorStyle) {}
void TerminalDelegate::hostCurrentDirectoryUpdated(Terminal&) {}
void TerminalDelegate::hostCurrentDocumentUpdated(Terminal&) {}
void TerminalDelegate::colorChanged(Terminal&, std::optional<int>) {}

void TerminalDelegate::setForegroundColor(Terminal& source, const Color& color)
{
    source.setForegroundColor(color);
}

void TerminalDelegate::setBackgroundColor(Terminal& source, const Color& color)
{
    source.setBackgroundColor(color);
}

void TerminalDelegate::setCursorColor(Terminal& source, const std::optional<Color>& color)
{
    source.setCursorColor(color);
}

TerminalDelegate::Colors TerminalDelegate::getColors(Terminal& source)
{
    return {source.foregroundColor(), source.backgroundColor()};
}

void TerminalDelegate::iTermContent(Terminal&, std::span<const uint8_t>) {}
void TerminalDelegate::clipboardCopy(Terminal&, const std::vector<uint8_t>&) {}
void TerminalDelegate::notify(Terminal&, const std::string&, const std::string&) {}
void TerminalDelegate::createImageFromBitmap(Terminal&, std::vector<uint8_t>&, int, int) {}
bool TerminalDelegate::decodeSixelElsewhere(Terminal&, std::vector<uint8_t>&, std::span<const Color>) { return false; }
void TerminalDelegate::createImage(Terminal&, const std::vector<uint8_t>&, ImageSizeRequest, ImageSizeRequest, bool) {}
bool TerminalDelegate::decodeImageElsewhere(Terminal&, std::vector<uint8_t>&, ImageSizeRequest, ImageSizeRequest, bool)
{
    return false;
}

} // namespace termcore
