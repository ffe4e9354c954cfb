// Grapheme clusters, word characters and UTF-8 conversion of UnicodeUtil.

#include "UnicodeUtil.h"

namespace termcore::UnicodeUtil {

using GB = GraphemeBreak;

uint8_t combiningClassOfMark(char32_t rune)
{
    return UnicodeTables::lookup(UnicodeTables::combiningClass, uint32_t(rune));
}

bool isLetterOrNumber(char32_t rune)
{
    if (rune < 0x80)
        return (rune >= '0' && rune <= '9') || (rune >= 'a' && rune <= 'z') || (rune >= 'A' && rune <= 'Z');
    return UnicodeTables::lookup(UnicodeTables::letterOrNumber, uint32_t(rune)) != 0;
}

namespace {

// The state UAX #29's rules need besides the previous code point's property.
struct Segmenter {
    GB prev = GB::Other;
    bool started = false;
    bool pictographicRun = false; // inside ExtPict Extend*
    bool pictographicZwj = false; // ExtPict Extend* ZWJ just seen
    int regionalIndicators = 0;   // run length of RI before the current position

    // Feeds one code point; true when a cluster boundary falls before it.
    bool feed(char32_t c)
    {
        const GB next = graphemeBreak(c);
        const bool pict = isExtendedPictographic(c);
        bool boundary;
        if (!started)
            boundary = true; // GB1
        else if (prev == GB::CR && next == GB::LF)
            boundary = false; // GB3
        else if (prev == GB::Control || prev == GB::CR || prev == GB::LF)
            boundary = true; // GB4
        else if (next == GB::Control || next == GB::CR || next == GB::LF)
            boundary = true; // GB5
        else if (prev == GB::L && (next == GB::L || next == GB::V || next == GB::LV || next == GB::LVT))
            boundary = false; // GB6
        else if ((prev == GB::LV || prev == GB::V) && (next == GB::V || next == GB::T))
            boundary = false; // GB7
        else if ((prev == GB::LVT || prev == GB::T) && next == GB::T)
            boundary = false; // GB8
        else if (next == GB::Extend || next == GB::ZWJ)
            boundary = false; // GB9
        else if (next == GB::SpacingMark)
            boundary = false; // GB9a
        else if (prev == GB::Prepend)
            boundary = false; // GB9b
        else if (pictographicZwj && pict)
            boundary = false; // GB11
        else if (prev == GB::RegionalIndicator && next == GB::RegionalIndicator)
            boundary = regionalIndicators % 2 == 0; // GB12, GB13
        else
            boundary = true; // GB999

        // Track the emoji ZWJ sequence ExtPict Extend* ZWJ.
        if (pict) {
            pictographicRun = true;
            pictographicZwj = false;
        } else if (next == GB::Extend && pictographicRun) {
            pictographicZwj = false;
        } else if (next == GB::ZWJ && pictographicRun) {
            pictographicZwj = true;
            pictographicRun = false;
        } else {
            pictographicRun = false;
            pictographicZwj = false;
        }
        regionalIndicators = next == GB::RegionalIndicator ? regionalIndicators + 1 : 0;
        prev = next;
        started = true;
        return boundary;
    }
};

} // namespace

bool continuesGrapheme(char32_t previous, char32_t next)
{
    Segmenter s;
    if (isExtendedPictographic(previous) || graphemeBreak(previous) != GB::ZWJ) {
        s.feed(previous);
    } else {
        // A lone ZWJ: assume it follows a pictograph, as it does in a well-formed sequence.
        s.feed(0x1F600);
        s.feed(previous);
    }
    if (graphemeBreak(previous) == GB::RegionalIndicator)
        s.regionalIndicators = 1;
    return !s.feed(next);
}

size_t graphemeCount(std::u32string_view text)
{
    Segmenter s;
    size_t count = 0;
    for (char32_t c : text)
        count += s.feed(c) ? 1 : 0;
    return count;
}

bool isSingleGrapheme(std::u32string_view text)
{
    return graphemeCount(text) == 1;
}

size_t firstGraphemeLength(std::u32string_view text)
{
    Segmenter s;
    for (size_t k = 0; k < text.size(); ++k)
        if (s.feed(text[k]) && k > 0)
            return k;
    return text.size();
}

void decodeUtf8(std::span<const uint8_t> bytes, std::u32string& out)
{
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b = bytes[i];
        const uint8_t t = first[b];
        if (t == 0xF0) {
            out.push_back(b);
            ++i;
            continue;
        }
        if (t == 0xF1) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        const int len = t & 0x0F;
        const int range = t >> 4;
        char32_t c = b & (0x7F >> len);
        size_t k = 1;
        for (; k < size_t(len); ++k) {
            if (i + k >= n)
                break;
            const uint8_t cb = bytes[i + k];
            const bool ok = k == 1 ? (cb >= secondByteLow[range] && cb <= secondByteHigh[range]) : (cb >= 0x80 && cb <= 0xBF);
            if (!ok)
                break;
            c = (c << 6) | (cb & 0x3F);
        }
        if (k == size_t(len)) {
            out.push_back(c);
            i += k;
        } else {
            // The maximal subpart read so far becomes one replacement character.
            out.push_back(0xFFFD);
            i += k;
        }
    }
}

void appendUtf8(char32_t rune, std::string& out)
{
    uint32_t c = uint32_t(rune);
    if (!isScalarValue(c))
        c = 0xFFFD;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string toUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text)
        appendUtf8(c, out);
    return out;
}

} // namespace termcore::UnicodeUtil
