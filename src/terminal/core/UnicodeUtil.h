#pragma once

#include "UnicodeTables.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace termcore::UnicodeUtil {

// One inclusive range of code points.
using LH = UnicodeTables::Interval;

// UTF-8 first-byte table. 0xF0: a one-byte (ASCII) character; 0xF1: a byte that cannot start a
// sequence. Otherwise the low nibble is the sequence length (2..4) and the high nibble the index
// of the range the second byte must fall in (RFC 3629):
// 0 = 80..BF, 1 = A0..BF, 2 = 80..9F, 3 = 90..BF, 4 = 80..8F; later bytes are always 80..BF.
extern const std::array<uint8_t, 256> first;
inline constexpr uint8_t secondByteLow[5] = { 0x80, 0xA0, 0x80, 0x90, 0x80 };
inline constexpr uint8_t secondByteHigh[5] = { 0xBF, 0xBF, 0x9F, 0xBF, 0x8F };

// 1 when rune lies in one of table[0 ... max], 0 otherwise.
int bisearch(uint32_t rune, std::span<const LH> table, int max);

// A Unicode scalar value: a code point in range that is not a surrogate.
constexpr bool isScalarValue(int64_t c)
{
    return c >= 0 && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

// Cells a code point takes: 0, 1 or 2, as the C library's wcwidth counts them (the rules are
// spelled out in scripts/gen_unicode_tables.py; UnicodeTables::zeroWidth and doubleWidth list
// the result as ranges, the packed property table holds it for every code point). A character of
// width 0 never takes a column of its own: the print path attaches it to the cell before it.
inline int columnWidth(char32_t rune)
{
    const uint32_t c = uint32_t(rune);
    if (c < 0x7F)
        return c < 0x20 ? 0 : 1;
    return UnicodeTables::properties(c) & 3;
}

// Canonical_Combining_Class of a code point (0 for most).
uint8_t combiningClassOfMark(char32_t rune);
inline uint8_t combiningClass(char32_t rune)
{
    if (rune < 0x300 || !(UnicodeTables::properties(uint32_t(rune)) & 4))
        return 0;
    return combiningClassOfMark(rune);
}

// Grapheme cluster segmentation (UAX #29 extended grapheme clusters).
using GraphemeBreak = UnicodeTables::GraphemeBreak;
inline GraphemeBreak graphemeBreak(char32_t rune)
{
    if (rune >= 0x20 && rune < 0x7F)
        return GraphemeBreak::Other;
    return GraphemeBreak(UnicodeTables::properties(uint32_t(rune)) >> 4);
}
inline bool isExtendedPictographic(char32_t rune)
{
    return rune >= 0xA9 && (UnicodeTables::properties(uint32_t(rune)) & 8) != 0;
}
// Whether next stays in the grapheme cluster that ends with previous, judging the pair alone
// (an emoji ZWJ sequence and a regional-indicator pair are assumed well-formed). Use
// isSingleGrapheme when the whole cluster is at hand.
bool continuesGrapheme(char32_t previous, char32_t next);
// Number of extended grapheme clusters in text.
size_t graphemeCount(std::u32string_view text);
// True when text is exactly one extended grapheme cluster.
bool isSingleGrapheme(std::u32string_view text);
// Length in code points of the first extended grapheme cluster of text (0 for empty text).
size_t firstGraphemeLength(std::u32string_view text);

// Letters and numbers (general categories L* and N*): the word characters of word selection.
bool isLetterOrNumber(char32_t rune);

// Decodes UTF-8 with repair: every maximal ill-formed subsequence becomes U+FFFD (the Unicode
// standard's recommended practice). Appends to out.
void decodeUtf8(std::span<const uint8_t> bytes, std::u32string& out);
// Encodes one code point as UTF-8 (a surrogate or value above U+10FFFF becomes U+FFFD).
void appendUtf8(char32_t rune, std::string& out);
std::string toUtf8(std::u32string_view text);

} // namespace termcore::UnicodeUtil
