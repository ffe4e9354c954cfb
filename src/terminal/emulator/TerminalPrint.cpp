// The print path: printable runs from the parser become cells of the active screen. UTF-8 is
// decoded here (RFC 3629 well-formedness, with a sequence split between two feeds carried
// over), single bytes go through the invoked G set, DEL is ignored, every character is measured,
// and characters of width 0 (marks, format characters, Hangul medial vowels and final consonants)
// join the cell written before them instead of taking a column. Plain ASCII runs are written
// straight into the row, without the per-character machinery.

#include "Terminal.h"

#include "UnicodeUtil.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace termcore {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kZeroWidthJoiner = 0x200D;

// The range the second byte of a sequence must fall in, by the high nibble of the first
// byte's table entry (RFC 3629's well-formed byte sequences).
constexpr uint8_t kSecondLow[5] = {0x80, 0xA0, 0x80, 0x90, 0x80};
constexpr uint8_t kSecondHigh[5] = {0xBF, 0xBF, 0x9F, 0xBF, 0x8F};

bool validContinuation(uint8_t lead, int index, uint8_t b)
{
    if (index == 1) {
        const int range = UnicodeUtil::first[lead] >> 4;
        return b >= kSecondLow[range] && b <= kSecondHigh[range];
    }
    return b >= 0x80 && b <= 0xBF;
}

char32_t decode(const uint8_t* s, int n)
{
    switch (n) {
    case 2:
        return char32_t(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
    case 3:
        return char32_t(((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
    default:
        return char32_t(((s[0] & 0x07) << 18) | ((s[1] & 0x3F) << 12) | ((s[2] & 0x3F) << 6) | (s[3] & 0x3F));
    }
}

// Width of every BMP code point, taken once from the Unicode tables: the print path asks for
// every non-ASCII character, and one table read beats the two-stage lookup. Read-only once built.
class BmpWidths {
public:
    BmpWidths()
    {
        for (char32_t c = 0; c < 0x10000; ++c)
            table_[c] = uint8_t(UnicodeUtil::columnWidth(c));
    }
    static const BmpWidths& instance()
    {
        static const BmpWidths widths;
        return widths;
    }
    uint8_t operator[](char32_t c) const { return table_[c]; }

private:
    std::array<uint8_t, 0x10000> table_{};
};

int widthOf(char32_t c)
{
    return c < 0x10000 ? BmpWidths::instance()[c] : UnicodeUtil::columnWidth(c);
}

// The cell layout printAsciiRun writes as two words.
static_assert(offsetof(CharData, width) == 4 && offsetof(CharData, attribute) == 5 && offsetof(CharData, payload) == 14);
static_assert(offsetof(Attribute, bg) == 4 && offsetof(Attribute, style) == 8 && sizeof(TinyAtom) == 2);

// True when all eight bytes of x are printable ASCII (0x20..0x7E). A false answer may be wrong
// (a carry out of a byte 0xFF), which only ends a fast scan early.
inline bool allPrintableAscii(uint64_t x)
{
    constexpr uint64_t ones = 0x0101010101010101ULL;
    constexpr uint64_t high = 0x8080808080808080ULL;
    const uint64_t below = (x - ones * 0x20) & ~x & high;
    const uint64_t above = ((x + ones) | x) & high;
    return (below | above) == 0;
}

// Sequence length of a lead byte; 1 for ASCII and for bytes that cannot begin a sequence.
int sequenceLength(uint8_t b)
{
    const uint8_t t = UnicodeUtil::first[b];
    if (t == 0xF0 || t == 0xF1)
        return 1;
    return t & 0x0F;
}

} // namespace

void Terminal::insertCell(char32_t rune, int width)
{
    buffer_->insertCharacter(CharData(curAttr, rune, int8_t(width)).code, width, curAttr, printRendition_, printRow_);
}

// A character of width 0 has no column of its own: it joins the cell written last, as long as
// the screen still has the size it had then and the cursor still stands right after that cell.
// Otherwise (at the start of a line, after a cursor move, an erase or a resize) there is no cell
// before it to carry it, and it is dropped, as xterm does; the row is left as it was.
void Terminal::attachZeroWidth(std::u32string_view chars)
{
    Buffer& b = *buffer_;
    const auto& last = b.lastBufferStorage;
    if (last.cols != cols_ || last.rows != rows_ || last.y != b.yBase() + b.y())
        return;
    CircularBufferLineList& lines = b.lines();
    if (last.y < 0 || last.y >= lines.count())
        return;
    BufferLine& line = lines[last.y];
    const int col = std::min(last.x, cols_ - 1);
    if (col < 0 || col >= line.count())
        return;
    CharData cell = line[col];
    if (cell.code == 0)
        return; // erased since
    // Right after the cell; at a right margin without autowrap the cursor stays on it.
    const int right = marginMode ? b.marginRight() : cols_ - 1;
    if (b.x() != col + std::max<int>(cell.width, 1) && !(b.x() == col && col == right))
        return;
    std::u32string cluster = cell.getCharacter();
    // One cell holds a bounded cluster: characters beyond it are dropped, so a flood of accents
    // after one letter costs neither quadratic time nor memory.
    const size_t had = cluster.size();
    // Inside an emoji sequence the joiner is dropped: the emoji on either side stay cells of
    // their own, as wide as programs count them.
    const bool emoji = !cluster.empty() && UnicodeUtil::isExtendedPictographic(cluster.front());
    for (char32_t c : chars) {
        if (cluster.size() >= CharData::maxClusterLength)
            break;
        if (!(emoji && c == kZeroWidthJoiner))
            cluster.push_back(c);
    }
    if (cluster.size() == had)
        return;
    cell.setValue(cluster, cell.width);
    line.set(col, cell);
    updateRange(last.y - b.yBase());
}

// A run of zero-width characters within one piece joins its cell at once: only the final
// cluster is interned, not one per character. Beyond the bound of a cell's cluster they are read
// and dropped. Returns where the run ends. Kept out of handlePrint, whose text loops are hot.
[[gnu::noinline]] const uint8_t* Terminal::printZeroWidthRun(char32_t first, const uint8_t* p, const uint8_t* end)
{
    std::array<char32_t, CharData::maxClusterLength> run;
    size_t count = 0;
    run[count++] = first;
    while (p < end) {
        const int m = sequenceLength(*p);
        if (m < 2 || end - p < m)
            break;
        bool wellFormed = true;
        for (int k = 1; k < m && wellFormed; k++)
            wellFormed = validContinuation(*p, k, p[k]);
        const char32_t next = wellFormed ? decode(p, m) : 0;
        if (!wellFormed || widthOf(next) != 0)
            break;
        if (count < run.size())
            run[count++] = next;
        p += m;
    }
    attachZeroWidth(std::u32string_view(run.data(), count));
    return p;
}

void Terminal::decodeAndPrint(const uint8_t* seq, int len)
{
    printRune(decode(seq, len));
}

void Terminal::printRune(char32_t rune)
{
    if (const int width = widthOf(rune); width != 0)
        insertCell(rune, width);
    else
        attachZeroWidth(std::u32string_view(&rune, 1));
}

void Terminal::printAsciiRun(const uint8_t* p, size_t n)
{
    Buffer& b = *buffer_;
    const int right = marginMode ? b.marginRight() : b.cols() - 1;
    while (n > 0) {
        const int x = b.x();
        if (insertMode || x > right || x < 0) {
            insertCell(*p, 1);
            ++p;
            --n;
            continue;
        }
        BufferLine& line = b.lines()[b.yBase() + b.y()];
        if (line.count() <= right) {
            insertCell(*p, 1);
            ++p;
            --n;
            continue;
        }
        const int k = int(std::min<size_t>(size_t(right - x + 1), n));
        b.keepWideWhole(line, x, k);
        CharData* cells = line.cellsForWrite(x, k);
        if constexpr (std::endian::native == std::endian::little) {
            // Whole 16-byte cells, two stores each rather than one per field: code and width,
            // then the rendition and the open link. The words are computed in registers; a
            // template cell assembled in memory field by field would stall every run on
            // reading it back as words.
            uint64_t colors;
            std::memcpy(&colors, &curAttr, sizeof colors);
            const uint64_t head = uint64_t(1) << 32 | (colors & 0xFFFFFF) << 40;
            const uint64_t tail = colors >> 24 | uint64_t(curAttr.style.rawValue) << 40 | uint64_t(b.curPayload.code) << 48;
            for (int i = 0; i < k; ++i) {
                const uint64_t out[2] = {head | p[i], tail};
                std::memcpy(static_cast<void*>(cells + i), out, sizeof out);
            }
        } else {
            const Attribute attr = curAttr;
            for (int i = 0; i < k; ++i)
                cells[i] = CharData(int32_t(p[i]), 1, attr, b.curPayload);
        }
        b.lastBufferStorage = {b.yBase() + b.y(), x + k - 1, b.cols(), b.rows()};
        // Without autowrap a right margin holds the cursor, as in the one-character path: no
        // wrap is pending past it.
        b.setX(x + k > right && marginMode && !b.wraparound ? right : x + k);
        p += k;
        n -= size_t(k);
        if (n > 0) {
            // The next character does not fit: the buffer wraps (or overwrites the last column).
            insertCell(*p, 1);
            ++p;
            --n;
        }
    }
}

void Terminal::handlePrint(ByteSpan data)
{
    Buffer& b = *buffer_;
    // A single ASCII character, what a program prints after each cursor move: written at once
    // when it neither wraps nor meets margins, a G set or a split sequence.
    if (data.size() == 1 && carryLen_ == 0 && !charsetActive_ && data[0] >= 0x20 && data[0] < 0x7F) {
        b.curAttr = curAttr;
        const int y = b.y();
        if (b.putNarrowCell(data[0], curAttr)) {
            updateRange(y);
            return;
        }
    }
    // Filler cells of wide characters and insert-mode gaps take the current attribute.
    b.curAttr = curAttr;
    updateRange(b.y());
    printRow_ = {};
    printRendition_ = Buffer::pack(curAttr, b.curPayload);

    const uint8_t* p = data.data();
    const uint8_t* const end = p + data.size();

    // Finish a sequence the previous run ended inside.
    while (carryLen_ > 0 && p < end) {
        const int need = sequenceLength(carry_[0]);
        if (!validContinuation(carry_[0], carryLen_, *p)) {
            // Ill-formed: the started sequence becomes one U+FFFD and this byte is read again.
            carryLen_ = 0;
            insertCell(kReplacement, 1);
            break;
        }
        carry_[size_t(carryLen_++)] = *p++;
        if (carryLen_ == need) {
            carryLen_ = 0;
            decodeAndPrint(carry_.data(), need);
        }
    }

    while (p < end) {
        const uint8_t c = *p;
        if (c >= 0x20 && c < 0x7F && !charsetActive_) {
            const uint8_t* q = p + 1;
            for (uint64_t word; end - q >= 8; q += 8) {
                std::memcpy(&word, q, 8);
                if (!allPrintableAscii(word))
                    break;
            }
            while (q < end && *q >= 0x20 && *q < 0x7F)
                ++q;
            // A lone character between others (text mixed with wide or accented characters)
            // is not worth a run's set-up; without margins the cell write is the same.
            if (q == p + 1 && !marginMode)
                insertCell(c, 1);
            else
                printAsciiRun(p, size_t(q - p));
            p = q;
            continue;
        }
        const int n = sequenceLength(c);
        if (n == 1) {
            // ASCII (through the G set), DEL, which is ignored as on every terminal since the
            // VT100 (it was the paper tape's rub-out), or a byte that cannot begin a sequence,
            // which shows as the character U+0080..U+00FF of the same value in a cell of its own.
            if (c <= 0x7E && charsetMap_[c] != 0)
                insertCell(charsetMap_[c], 1);
            else if (c != 0x7F)
                insertCell(c, std::max(widthOf(c), 1));
            ++p;
            continue;
        }
        int have = 1;
        bool bad = false;
        while (have < n && p + have < end) {
            if (!validContinuation(c, have, p[have])) {
                bad = true;
                break;
            }
            ++have;
        }
        if (bad) {
            // The ill-formed prefix is one U+FFFD; the offending byte starts over.
            insertCell(kReplacement, 1);
            p += have;
            continue;
        }
        if (have < n) {
            // The run ends inside the sequence: keep its start for the next run.
            std::copy(p, p + have, carry_.begin());
            carryLen_ = have;
            p += have;
            break;
        }
        const char32_t rune = decode(p, n);
        p += n;
        if (const int width = widthOf(rune); width != 0) {
            insertCell(rune, width);
            continue;
        }
        p = printZeroWidthRun(rune, p, end);
    }

    updateRange(b.y());
}

void Terminal::cmdRepeatPrecedingCharacter(ParamSpan pars, ByteSpan)
{
    Buffer& b = *buffer_;
    const int64_t ps = pars.empty() ? 0 : pars[0];
    // A repeat count is bounded by twice the screen: more cannot leave a different picture.
    const int64_t limit = int64_t(2) * cols_ * rows_;
    const int64_t n = std::min<int64_t>(ps > 1 ? ps : 1, limit);

    CharData cell(0, 1, Attribute());
    if (b.x() > 0)
        cell = b.lines()[b.yBase() + b.y()][b.x() - 1];
    // The repeats are printed now: they belong to the link open now, not to the one the
    // character was printed in.
    cell.payload = b.curPayload;

    b.curAttr = curAttr;
    updateRange(b.y());
    for (int64_t i = 0; i < n; ++i)
        b.insertCharacter(cell);
    updateRange(b.y());
}

} // namespace termcore
