// Operating System Commands: titles, palette and dynamic colours, current directory and
// document, hyperlinks, clipboard, notifications and iTerm2 inline content.
#include "Terminal.h"
#include "TerminalCommandSupport.h"
#include "TinyAtom.h"

#include <algorithm>
#include <charconv>

namespace termcore {

namespace {

bool isValidUtf8(ByteSpan s)
{
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const uint8_t c = s[i];
        if (c < 0x80) {
            i++;
            continue;
        }
        int len = 0;
        uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + size_t(len) > n)
            return false;
        for (int k = 1; k < len; k++) {
            const uint8_t cc = s[i + size_t(k)];
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += size_t(len);
    }
    return true;
}

bool isAscii(ByteSpan s)
{
    return std::all_of(s.begin(), s.end(), [](uint8_t c) { return c < 0x80; });
}

std::string textOf(ByteSpan s) { return std::string(s.begin(), s.end()); }

std::vector<std::string_view> split(std::string_view text, char sep, bool dropEmpty)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    while (true) {
        const size_t p = text.find(sep, start);
        std::string_view piece = text.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start);
        if (!(dropEmpty && piece.empty()))
            out.push_back(piece);
        if (p == std::string_view::npos)
            break;
        start = p + 1;
    }
    return out;
}

// Standard base64 with padding, nothing else allowed (no line breaks, no spaces).
std::optional<std::vector<uint8_t>> decodeBase64(ByteSpan in)
{
    if (in.size() % 4 != 0)
        return std::nullopt;
    auto value = [](uint8_t c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    std::vector<uint8_t> out;
    out.reserve(in.size() / 4 * 3);
    for (size_t i = 0; i < in.size(); i += 4) {
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; k++) {
            const uint8_t c = in[i + size_t(k)];
            if (c == '=') {
                // Padding only in the last group, only at its end.
                if (i + 4 != in.size() || k < 2)
                    return std::nullopt;
                pad++;
                v[k] = 0;
            } else {
                if (pad)
                    return std::nullopt;
                v[k] = value(c);
                if (v[k] < 0)
                    return std::nullopt;
            }
        }
        const uint32_t bits = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
        out.push_back(uint8_t(bits >> 16));
        if (pad < 2)
            out.push_back(uint8_t(bits >> 8));
        if (pad < 1)
            out.push_back(uint8_t(bits));
    }
    return out;
}

// A decimal number with an optional sign and nothing else.
std::optional<int64_t> parseSignedNumber(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    int64_t v = 0;
    for (; i < text.size(); i++) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > 1'000'000'000)
            v = 1'000'000'000; // far outside every range checked below
    }
    return negative ? -v : v;
}

ImageSizeRequest imageDimension(const std::optional<std::string>& arg)
{
    if (!arg || *arg == "auto")
        return ImageSizeRequest::autoSize();
    std::string_view text = *arg;
    if (text.ends_with("%")) {
        auto n = parseSignedNumber(text.substr(0, text.size() - 1));
        return n && *n >= 1 && *n <= 100 ? ImageSizeRequest::percent(int(*n)) : ImageSizeRequest::autoSize();
    }
    if (text.ends_with("px")) {
        auto n = parseSignedNumber(text.substr(0, text.size() - 2));
        return n && *n >= 1 && *n <= 4095 ? ImageSizeRequest::pixels(int(*n)) : ImageSizeRequest::autoSize();
    }
    auto n = parseSignedNumber(text);
    return n && *n >= 1 && *n <= 199 ? ImageSizeRequest::cells(int(*n)) : ImageSizeRequest::autoSize();
}

} // namespace

void Terminal::setTitle(const std::string& text)
{
    terminalTitle = text;
    if (tdel())
        tdel()->setTerminalTitle(*this, terminalTitle);
}

void Terminal::setIconTitle(const std::string& text)
{
    iconTitle = text;
    if (tdel())
        tdel()->setTerminalIconTitle(*this, iconTitle);
}

// The text of an OSC 0/1/2 title: empty when not UTF-8, else at most kMaxTitle bytes, cut
// before the continuation bytes of a character the bound would split.
static std::string titleOf(ByteSpan data)
{
    if (!isValidUtf8(data))
        return {};
    size_t n = std::min(data.size(), Terminal::kMaxTitle);
    if (n < data.size())
        while (n > 0 && (data[n] & 0xC0) == 0x80)
            --n;
    return textOf(data.first(n));
}

void Terminal::oscTitle(ByteSpan data)
{
    setTitle(titleOf(data));
}

void Terminal::oscIconTitle(ByteSpan data)
{
    setIconTitle(titleOf(data));
}

void Terminal::oscChangeOrQueryColorIndex(ByteSpan data)
{
    size_t pos = 0;
    const size_t n = data.size();
    while (pos < n) {
        const auto semi = std::find(data.begin() + ptrdiff_t(pos), data.end(), uint8_t(';'));
        if (semi == data.end())
            return;
        const size_t semiPos = size_t(semi - data.begin());
        const int64_t index = EscapeSequenceParser::parseInt(data.subspan(pos, semiPos - pos));
        if (index > 255 || index < 0 || size_t(index) >= ansiColors.size())
            return;
        const size_t specStart = semiPos + 1;
        if (specStart < n && data[specStart] == '?') {
            sendResponse({osc(), "4;" + std::to_string(index) + ";" + ansiColors[size_t(index)].formatAsXcolor(), st()});
            pos = specStart + 1;
            if (pos < n && data[pos] == ';')
                pos++;
            continue;
        }
        const auto specEnd = std::find(data.begin() + ptrdiff_t(std::min(specStart, n)), data.end(), uint8_t(';'));
        const size_t specEndPos = size_t(specEnd - data.begin());
        if (specStart <= specEndPos) {
            if (auto color = Color::parseColor(data.subspan(specStart, specEndPos - specStart))) {
                ansiColors[size_t(index)] = *color;
                if (tdel())
                    tdel()->colorChanged(*this, int(index));
            }
        }
        pos = specEndPos + 1;
    }
}

void Terminal::oscResetColor(ByteSpan data)
{
    if (data.empty()) {
        resetAllColors();
        return;
    }
    if (!isAscii(data))
        return;
    const std::string text = textOf(data);
    for (std::string_view piece : split(text, ';', true)) {
        // A piece that is not a number counts as 0; negative numbers lie outside the palette.
        const int64_t n = parseSignedNumber(piece).value_or(0);
        if (n < 0 || n > 255 || size_t(n) >= ansiColors.size() || size_t(n) >= defaultAnsiColors.size())
            continue;
        ansiColors[size_t(n)] = defaultAnsiColors[size_t(n)];
        if (tdel())
            tdel()->colorChanged(*this, int(n));
    }
}

void Terminal::resetAllColors()
{
    ansiColors = defaultAnsiColors;
    if (tdel())
        tdel()->colorChanged(*this, std::nullopt);
}

void Terminal::oscSetColors(ByteSpan data, int startAt)
{
    const std::string text = textOf(data);
    int slot = startAt;
    for (std::string_view piece : split(text, ';', true)) {
        if (slot > 2)
            break;
        if (piece.front() == '?') {
            const Color& c = slot == 0 ? foregroundColor()
                             : slot == 1 ? backgroundColor()
                                         : (cursorColor() ? *cursorColor() : foregroundColor());
            sendResponse({osc(), std::to_string(10 + slot) + ";" + c.formatAsXcolor(), st()});
        } else if (auto color = Color::parseColor(ByteSpan(reinterpret_cast<const uint8_t*>(piece.data()), piece.size()))) {
            if (slot == 0)
                setForegroundColor(*color);
            else if (slot == 1)
                setBackgroundColor(*color);
            else
                setCursorColor(*color);
        }
        slot++;
    }
}

void Terminal::oscResetCursorColor(ByteSpan)
{
    // The terminal's own field changes only through what the delegate does; the guard keeps a
    // delegate that assigns it back through the setter from being told twice.
    if (!tdel())
        return;
    const bool was = settingCursorColor;
    settingCursorColor = true;
    tdel()->setCursorColor(*this, std::nullopt);
    settingCursorColor = was;
}

void Terminal::oscSetCurrentDirectory(ByteSpan data)
{
    if (!tdel() || !tdel()->isProcessTrusted(*this) || !isValidUtf8(data))
        return;
    hostCurrentDirectory = textOf(data);
    tdel()->hostCurrentDirectoryUpdated(*this);
}

void Terminal::oscSetCurrentDocument(ByteSpan data)
{
    if (!tdel() || !tdel()->isProcessTrusted(*this) || !isValidUtf8(data))
        return;
    hostCurrentDocument = textOf(data);
    tdel()->hostCurrentDocumentUpdated(*this);
}

void Terminal::oscHyperlink(ByteSpan data)
{
    // A link belongs to the characters printed while it is open, and to nothing else: the code
    // is taken when the link opens and the print path writes it into each cell it fills. Cells
    // the cursor merely passed, and text printed before, stay as they were.
    hyperLinkTracking.reset();
    setLinkPayload(TinyAtom());
    if (data.size() == 1 && data[0] == ';')
        return; // the link closes
    // A new link replaces an open one. An address over the bound opens no link at all: every
    // linked cell would otherwise pin it in the shared table.
    const auto semicolon = std::find(data.begin(), data.end(), uint8_t(';'));
    if (semicolon != data.end() && size_t(data.end() - semicolon - 1) > kMaxHyperlinkAddress)
        return;
    hyperLinkTracking = HyperLinkTracking{isAscii(data) ? textOf(data) : std::string()};
    // A full table gives no code: the link's cells are then written without one.
    setLinkPayload(TinyAtom::lookup(std::any(hyperLinkTracking->payload)).value_or(TinyAtom()));
}

void Terminal::setLinkPayload(TinyAtom atom)
{
    for (Buffer* b : {normalBuffer_.get(), altBuffer_.get()})
        if (b)
            b->curPayload = atom;
}

std::optional<HyperlinkTarget> HyperlinkTarget::parse(std::string_view payload)
{
    const size_t semicolon = payload.find(';');
    if (semicolon == std::string_view::npos)
        return std::nullopt;
    HyperlinkTarget link;
    link.uri = std::string(payload.substr(semicolon + 1));
    std::string_view params = payload.substr(0, semicolon);
    while (!params.empty()) {
        const size_t colon = params.find(':');
        const std::string_view pair = params.substr(0, colon);
        params = colon == std::string_view::npos ? std::string_view() : params.substr(colon + 1);
        // key=value: exactly two non-empty pieces between the "=" signs
        std::vector<std::string_view> pieces;
        for (std::string_view rest = pair; !rest.empty();) {
            const size_t eq = rest.find('=');
            if (eq != 0)
                pieces.push_back(rest.substr(0, eq));
            rest = eq == std::string_view::npos ? std::string_view() : rest.substr(eq + 1);
        }
        if (pieces.size() == 2)
            link.params.emplace_back(pieces[0], pieces[1]);
    }
    return link;
}

void Terminal::placeImage(std::shared_ptr<TerminalImage> image)
{
    Buffer& b = buffer();
    const int index = b.y() + b.yBase();
    if (!image || index < 0 || index >= b.lines().count())
        return;
    imageStore_.add(*image);
    b.lines()[index].place(std::move(image));
    updateRange(b.y());
}

void Terminal::garbageCollectPayload()
{
    // The table is shared by every terminal: only what no live buffer uses may go.
    Buffer::collectUnusedCodes();
}

void Terminal::oscClipboard(ByteSpan data)
{
    // Only "c" (the clipboard) is written; queries would read the user's clipboard back to the
    // program and are never answered.
    if (data.size() < 2 || data[0] != 'c' || data[1] != ';')
        return;
    if (auto bytes = decodeBase64(data.subspan(2)))
        if (tdel())
            tdel()->clipboardCopy(*this, *bytes);
}

void Terminal::oscNotification(ByteSpan data)
{
    if (!isValidUtf8(data))
        return;
    const std::string text = textOf(data);
    const auto pieces = split(text, ';', false);
    if (pieces.size() < 3 || pieces[0] != "notify")
        return;
    std::string body;
    for (size_t i = 2; i < pieces.size(); i++) {
        if (i > 2)
            body += ';';
        body += pieces[i];
    }
    if (tdel())
        tdel()->notify(*this, std::string(pieces[1]), body);
}

void Terminal::osciTerm2(ByteSpan data)
{
    const auto eq = std::find(data.begin(), data.end(), uint8_t('='));
    if (eq == data.end())
        return;
    const ByteSpan keyBytes = data.subspan(0, size_t(eq - data.begin()));
    if (!isValidUtf8(keyBytes))
        return;
    auto toHost = [&] {
        if (tdel())
            tdel()->iTermContent(*this, data);
    };
    if (textOf(keyBytes) != "File") {
        toHost();
        return;
    }
    const size_t argStart = size_t(eq - data.begin()) + 1;
    const auto colon = std::find(data.begin() + ptrdiff_t(argStart), data.end(), uint8_t(':'));
    if (colon == data.end())
        return;
    const ByteSpan args = data.subspan(argStart, size_t(colon - data.begin()) - argStart);
    std::vector<std::pair<std::string, std::string>> pairs;
    auto lookup = [&](const std::string& key) -> std::optional<std::string> {
        for (auto it = pairs.rbegin(); it != pairs.rend(); ++it)
            if (it->first == key)
                return it->second; // a later pair with the same key wins
        return std::nullopt;
    };
    size_t pos = 0;
    while (pos <= args.size()) {
        const auto semi = std::find(args.begin() + ptrdiff_t(pos), args.end(), uint8_t(';'));
        const size_t end = size_t(semi - args.begin());
        const ByteSpan pair = args.subspan(pos, end - pos);
        if (pair.empty())
            break;
        const auto peq = std::find(pair.begin(), pair.end(), uint8_t('='));
        if (peq == pair.end())
            break;
        const ByteSpan k = pair.subspan(0, size_t(peq - pair.begin()));
        const ByteSpan v = pair.subspan(size_t(peq - pair.begin()) + 1);
        if (!isValidUtf8(k) || !isValidUtf8(v))
            break;
        pairs.emplace_back(textOf(k), textOf(v));
        if (semi == args.end())
            break;
        pos = end + 1;
    }
    if (pairs.empty() || lookup("inline") != std::optional<std::string>("1")) {
        toHost();
        return;
    }
    auto bytes = decodeBase64(data.subspan(size_t(colon - data.begin()) + 1));
    if (!bytes || !tdel())
        return;
    const auto keepAspect = lookup("preserveAspectRatio");
    const ImageSizeRequest width = imageDimension(lookup("width")), height = imageDimension(lookup("height"));
    const bool preserveAspectRatio = !keepAspect || *keepAspect == "1";
    // Taken to be decoded elsewhere, the image holds the rest of the input until it is placed.
    if (tdel()->decodeImageElsewhere(*this, *bytes, width, height, preserveAspectRatio)) {
        parser.requestPause();
        return;
    }
    tdel()->createImage(*this, *bytes, width, height, preserveAspectRatio);
}

} // namespace termcore
