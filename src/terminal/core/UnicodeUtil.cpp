#include "UnicodeUtil.h"

namespace termcore::UnicodeUtil {

namespace {

constexpr std::array<uint8_t, 256> buildFirst()
{
    std::array<uint8_t, 256> t {};
    for (int b = 0x00; b <= 0x7F; ++b)
        t[b] = 0xF0; // ASCII
    for (int b = 0x80; b <= 0xC1; ++b)
        t[b] = 0xF1; // continuation bytes and overlong two-byte starts
    for (int b = 0xC2; b <= 0xDF; ++b)
        t[b] = 0x02;
    t[0xE0] = 0x13; // second byte A0..BF: no overlong three-byte forms
    for (int b = 0xE1; b <= 0xEC; ++b)
        t[b] = 0x03;
    t[0xED] = 0x23; // second byte 80..9F: no surrogates
    t[0xEE] = 0x03;
    t[0xEF] = 0x03;
    t[0xF0] = 0x34; // second byte 90..BF: no overlong four-byte forms
    for (int b = 0xF1; b <= 0xF3; ++b)
        t[b] = 0x04;
    t[0xF4] = 0x44; // second byte 80..8F: nothing above U+10FFFF
    for (int b = 0xF5; b <= 0xFF; ++b)
        t[b] = 0xF1;
    return t;
}

} // namespace

const std::array<uint8_t, 256> first = buildFirst();

int bisearch(uint32_t rune, std::span<const LH> table, int max)
{
    if (table.empty() || max < 0)
        return 0;
    if (max >= int(table.size()))
        max = int(table.size()) - 1;
    if (rune < table[0].lo || rune > table[size_t(max)].hi)
        return 0;
    int lo = 0;
    int hi = max;
    while (hi >= lo) {
        const int mid = (lo + hi) / 2;
        if (rune > table[size_t(mid)].hi)
            lo = mid + 1;
        else if (rune < table[size_t(mid)].lo)
            hi = mid - 1;
        else
            return 1;
    }
    return 0;
}

} // namespace termcore::UnicodeUtil
