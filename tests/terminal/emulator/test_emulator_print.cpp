// The print path: UTF-8 decoding with carry-over, ill-formed input, widths, combining marks,
// the zero-width joiner, G-set translation, REP, and the ASCII fast path against the buffer's
// own per-cell write.

#include "support/EmulatorTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace termcore;
using namespace termcore::testing;

namespace {

// Everything a screen shows: every cell of every ring line, the cursor, the wrapped flags.
std::string snapshot(Terminal& t)
{
    std::string out;
    Buffer& b = t.buffer();
    for (int i = 0; i < b.lines().count(); ++i) {
        BufferLine& line = b.lines()[i];
        out += line.isWrapped ? "~" : "|";
        for (int c = 0; c < line.count(); ++c) {
            const CharData& cell = line[c];
            out += std::to_string(cell.code) + "/" + std::to_string(cell.width) + ",";
        }
        out += "\n";
    }
    out += "cursor " + std::to_string(b.x()) + "," + std::to_string(b.y()) + " base " + std::to_string(b.yBase());
    return out;
}

} // namespace

TEST(PrintUtf8, sequenceSplitAcrossFeedsPrintsOneCell)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    feedBytes(t, {0xC3});
    feedBytes(t, {0xA9});
    EXPECT_EQ(cellText(t, 0, 0), U"\u00E9");
    EXPECT_EQ(t.buffer().x(), 1);
    // A four-byte sequence split in three.
    feedBytes(t, {0xF0, 0x9F});
    feedBytes(t, {0x98});
    feedBytes(t, {0x80});
    EXPECT_EQ(cellText(t, 1, 0), U"\U0001F600");
    EXPECT_EQ(t.getCharData(1, 0)->width, 2);
    EXPECT_EQ(t.buffer().x(), 3);
}

TEST(PrintUtf8, everySplitOfAMixedTextGivesTheSameScreen)
{
    const std::string text = "h\xC3\xA9llo\xE2\x80\x8B\x7F\xE1\x84\x80\xE1\x85\xA1 \xE4\xB8\xAD\xE6\x96\x87 e\xCC\x81 \xF0\x9F\x91\x8D\xE2\x80\x8D"
                             "\xF0\x9F\x94\xA5 \xC3\x41 \xE0\x80 \xFF\x80 \x1b[1mbold\x1b[m\r\nnext \xE2\x94\x80";
    Terminal whole(nullptr, sizedOptions(12, 4));
    whole.feed(text);
    const std::string expected = snapshot(whole);
    for (size_t cut = 1; cut < text.size(); ++cut) {
        Terminal split(nullptr, sizedOptions(12, 4));
        split.feed(std::string_view(text).substr(0, cut));
        split.feed(std::string_view(text).substr(cut));
        EXPECT_EQ(snapshot(split), expected) << "cut at " << cut;
    }
    Terminal byByte(nullptr, sizedOptions(12, 4));
    for (char c : text)
        byByte.feed(std::string_view(&c, 1));
    EXPECT_EQ(snapshot(byByte), expected);
}

TEST(PrintUtf8, illFormedPrefixBecomesOneReplacementAndNoByteIsLost)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    feedBytes(t, {0xC3, 0x41});
    EXPECT_EQ(cellText(t, 0, 0), U"\uFFFD");
    EXPECT_EQ(cellText(t, 1, 0), U"A");
    // The same across two feeds.
    feedBytes(t, {0xE2, 0x82});
    feedBytes(t, {0x42});
    EXPECT_EQ(cellText(t, 2, 0), U"\uFFFD");
    EXPECT_EQ(cellText(t, 3, 0), U"B");
    // E0 needs a second byte from A0: E0 80 is one replacement, then 0x80 shows as U+0080.
    feedBytes(t, {0xE0, 0x80});
    EXPECT_EQ(cellText(t, 4, 0), U"\uFFFD");
    EXPECT_EQ(cellText(t, 5, 0), U"\u0080");
    // A lead byte followed by another lead byte.
    feedBytes(t, {0xC3, 0xC3, 0xA9});
    EXPECT_EQ(cellText(t, 6, 0), U"\uFFFD");
    EXPECT_EQ(cellText(t, 7, 0), U"\u00E9");
}

TEST(PrintUtf8, bytesThatCannotBeginASequenceShowAsLatin1)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    feedBytes(t, {0x80, 0xBF, 0xC0, 0xFF});
    EXPECT_EQ(cellText(t, 0, 0), U"\u0080");
    EXPECT_EQ(cellText(t, 1, 0), U"\u00BF");
    EXPECT_EQ(cellText(t, 2, 0), U"\u00C0");
    EXPECT_EQ(cellText(t, 3, 0), U"\u00FF");
}

TEST(PrintUtf8, aControlSequenceInsideASequenceDropsItsStart)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    feedBytes(t, {0xC3});
    t.feed("\x1b[m");
    feedBytes(t, {0xA9});
    EXPECT_EQ(cellText(t, 0, 0), U"\u00A9");
    EXPECT_EQ(t.buffer().x(), 1);
}

TEST(PrintWidths, wideCharactersTakeTwoColumnsAndWrapWhole)
{
    Terminal t(nullptr, sizedOptions(5, 3));
    t.feed("abc\xE4\xB8\xAD");
    EXPECT_EQ(t.getCharData(3, 0)->width, 2);
    EXPECT_EQ(t.getCharData(4, 0)->code, 0);
    EXPECT_EQ(t.buffer().x(), 5);
    t.feed("\r\nabcd\xE4\xB8\xAD");
    // It does not fit in the last column: it goes to the next row, which is marked wrapped.
    EXPECT_EQ(cellText(t, 0, 2), U"\u4E2D");
    EXPECT_TRUE(t.getLine(2)->isWrapped);
}

TEST(PrintCombining, markJoinsTheCellBefore)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    t.feed("e\xCC\x81x");
    EXPECT_EQ(cellText(t, 0, 0), U"e\u0301");
    EXPECT_EQ(t.getCharData(0, 0)->width, 1);
    EXPECT_EQ(cellText(t, 1, 0), U"x");
    EXPECT_EQ(t.buffer().x(), 2);
    // Several marks stack on one cell.
    t.feed("a\xCC\x81\xCC\xA3");
    EXPECT_EQ(cellText(t, 2, 0), U"a\u0301\u0323");
    EXPECT_EQ(t.buffer().x(), 3);
    // Across feeds and onto a wide character.
    t.feed("\xE4\xB8\xAD");
    t.feed("\xE3\x82\x99");
    EXPECT_EQ(cellText(t, 3, 0), U"\u4E2D\u3099");
    EXPECT_EQ(t.getCharData(3, 0)->width, 2);
}

TEST(PrintCombining, aFloodOfMarksKeepsOneBoundedClusterAndInternsOnlyIt)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    std::string flood = "a";
    for (int i = 0; i < 32000; i++)
        flood += "\xCC\x81";
    const int32_t before = CharData::lastCharIndex();
    t.feed(flood + "b");
    EXPECT_EQ(cellText(t, 0, 0), U"a" + std::u32string(CharData::maxClusterLength - 1, U'\u0301'));
    EXPECT_EQ(cellText(t, 1, 0), U"b");
    EXPECT_EQ(CharData::lastCharIndex() - before, 1);
    // Marks arriving one feed at a time stop at the same bound.
    t.feed("\r\nc");
    for (int i = 0; i < 100; i++)
        t.feed("\xCC\x81");
    EXPECT_EQ(cellText(t, 0, 1).size(), CharData::maxClusterLength);
    EXPECT_EQ(t.buffer().x(), 1);
}

TEST(PrintCombining, clustersOfAClosedTerminalAreGivenBack)
{
    Terminal kept(nullptr, sizedOptions(10, 2));
    kept.feed("e\xCC\x81\xCC\xA3");
    const int32_t keptCode = kept.getCharData(0, 0)->code;
    {
        Terminal closing(nullptr, sizedOptions(100, 100));
        std::u32string text;
        for (char32_t i = 0; i < 5000; i++)
            text += std::u32string{0x4E00 + i, 0x0301};
        std::string utf8;
        for (char32_t c : text)
            appendUtf8(utf8, c);
        closing.feed(utf8 + "\xF0\x9F\x98\x80");
        EXPECT_GT(CharData::indexToCharMap().size(), 5000u);
    }
    EXPECT_EQ(CharData::indexToCharMap().size(), 1u);
    ASSERT_NE(CharData::clusterForCode(keptCode), nullptr);
    EXPECT_EQ(cellText(kept, 0, 0), U"e\u0301\u0323");
    // Characters given back and printed again get codes that show them.
    kept.feed("\r\n\xF0\x9F\x98\x80\xE6\x86\x87\xCC\x81");
    EXPECT_EQ(cellText(kept, 0, 1), U"\U0001F600");
    EXPECT_EQ(cellText(kept, 2, 1), U"\u6187\u0301");
}

TEST(PrintCombining, markAfterAResizeTakesNoColumn)
{
    // The cell written before the resize may have moved: the mark has nothing to join and is
    // dropped rather than given a column of its own.
    Terminal t(nullptr, sizedOptions(10, 2));
    t.feed("e");
    t.resize(12, 3);
    t.feed("\xCC\x81");
    EXPECT_EQ(cellText(t, 0, 0), U"e");
    EXPECT_EQ(t.getCharData(1, 0)->code, 0);
    EXPECT_EQ(t.buffer().x(), 1);
}

TEST(PrintCombining, markAfterAStrayByteJoinsItsCell)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    feedBytes(t, {0x85}); // shows as U+0085 in a column of its own
    EXPECT_EQ(t.getCharData(0, 0)->width, 1);
    t.feed("\xCC\x81");
    EXPECT_EQ(cellText(t, 0, 0), U"\u0085\u0301");
    EXPECT_EQ(t.buffer().x(), 1);
}

namespace {

// The cells of a screen row up to its last non-empty one, joined by "/" (an empty cell, such as
// the one after a wide character, is empty between its slashes).
std::string cellsOf(Terminal& t, int row)
{
    BufferLine* line = t.getLine(row);
    std::string out;
    const int n = line ? line->getTrimmedLength() : 0;
    for (int c = 0; c < n; ++c) {
        if (c)
            out += "/";
        const CharData& cell = (*line)[c];
        if (cell.code != 0)
            cell.appendCharacterUtf8(out);
    }
    return out;
}

struct ScreenCase {
    const char* name;
    const char* input;
    const char* row0; // cellsOf row 0
    const char* row1; // cellsOf row 1
    int x;            // the cursor afterwards
    int y;
};

void expectScreens(const ScreenCase* cases, size_t count, int cols)
{
    for (size_t k = 0; k < count; ++k) {
        const ScreenCase& c = cases[k];
        Terminal t(nullptr, sizedOptions(cols, 3));
        t.feed(c.input);
        EXPECT_EQ(cellsOf(t, 0), c.row0) << c.name;
        EXPECT_EQ(cellsOf(t, 1), c.row1) << c.name;
        EXPECT_EQ(t.buffer().x(), c.x) << c.name;
        EXPECT_EQ(t.buffer().y(), c.y) << c.name;
    }
}

} // namespace

// Characters of width 0 take no column: they join the cell written before them, or, with no
// such cell right before the cursor, are dropped without touching the row (as in xterm).
TEST(PrintZeroWidth, formatCharactersAndJamoJoinTheCellBefore)
{
    std::string flood;
    for (int i = 0; i < 5000; ++i)
        flood += "\u200B";
    flood += "x";
    const ScreenCase cases[] = {
        {"zero-width space", "a\u200Bb|", "a\u200B/b/|", "", 3, 0},
        {"zero-width non-joiner", "a\u200Cb", "a\u200C/b", "", 2, 0},
        {"joiner outside an emoji sequence", "a\u200Db", "a\u200D/b", "", 2, 0},
        {"joiner between emoji is dropped", "\U0001F468\u200D\U0001F469", "\U0001F468//\U0001F469", "", 4, 0},
        {"word joiner and byte-order mark", "a\u2060\uFEFFb", "a\u2060\uFEFF/b", "", 2, 0},
        {"text variation selector on a wide emoji", "\u231A\uFE0E|", "\u231A\uFE0E//|", "", 3, 0},
        {"emoji variation selector that joins nothing", "a\uFE0Fb", "a\uFE0F/b", "", 2, 0},
        {"Hangul initial, medial vowel, final consonant", "\u1100\u1161\u11A8|", "\u1100\u1161\u11A8//|", "", 3, 0},
        {"left-to-right mark", "a\u200Eb", "a\u200E/b", "", 2, 0},
        {"soft hyphen and no-break space are seen", "a\u00ADb\u00A0c", "a/\u00AD/b/\u00A0/c", "", 5, 0},
        {"prepended concatenation mark is seen", "\u0600x", "\u0600/x", "", 2, 0},
        {"at the start of a line", "\u200Bx|", "x/|", "", 2, 0},
        {"a mark at the start of a line", "\u0301x", "x", "", 1, 0},
        {"at the start of the next line", "xy\r\n\u200B\u0301z", "x/y", "z", 1, 1},
        {"after a carriage return", "ab\r\u200Bc", "c/b", "", 1, 0},
        {"after a cursor move", "ab\x1b[D\u0301|", "a/|", "", 2, 0},
        {"onto an erased cell", "ab\x1b[1K\u200B", "", "", 2, 0},
        {"at the pending-wrap column", "abcdef\u0301\u200Bg", "a/b/c/d/e/f\u0301\u200B", "g", 1, 1},
        {"a flood at the start of a line", flood.c_str(), "x", "", 1, 0},
    };
    expectScreens(cases, std::size(cases), 6);
}

// DEL (0x7F) is ignored as text, wherever it falls between characters.
TEST(PrintDel, deleteIsIgnoredInText)
{
    std::string flood(3000, '\x7f');
    flood += "z";
    const ScreenCase cases[] = {
        {"between letters", "a\x7f" "b", "a/b", "", 2, 0},
        {"a flood of them", flood.c_str(), "z", "", 1, 0},
        {"between a letter and its mark", "e\x7f\xCC\x81|", "e\u0301/|", "", 2, 0},
        {"in the line-drawing set", "\x1b(0q\x7fq\x1b(B", "\u2500/\u2500", "", 2, 0},
        {"after a lead byte", "\xC3\x7f|", "\uFFFD/|", "", 2, 0},
        {"inside a control sequence", "\x1b[2\x7f;3HX", "", "//X", 3, 1},
        {"at the pending-wrap column", "abcdef\x7fg", "a/b/c/d/e/f", "g", 1, 1},
    };
    expectScreens(cases, std::size(cases), 6);
}

TEST(PrintCombining, zeroWidthJoinerIsDropped)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    t.feed("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9");
    EXPECT_EQ(cellText(t, 0, 0), U"\U0001F468");
    EXPECT_EQ(cellText(t, 2, 0), U"\U0001F469");
    EXPECT_EQ(t.buffer().x(), 4);
}

TEST(PrintCharsets, graphicsTableAppliesToAsciiOnly)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    t.feed("\x1b(0qx\xC3\xA9~");
    EXPECT_EQ(cellText(t, 0, 0), U"\u2500");
    EXPECT_EQ(t.getCharData(0, 0)->width, 1);
    EXPECT_EQ(cellText(t, 1, 0), U"\u2502");
    EXPECT_EQ(cellText(t, 2, 0), U"\u00E9");
    EXPECT_EQ(cellText(t, 3, 0), U"\u00B7");
    // A byte above 0x7E is never translated.
    feedBytes(t, {0xFE});
    EXPECT_EQ(cellText(t, 4, 0), U"\u00FE");
}

TEST(PrintAttributes, cellsTakeTheCurrentAttribute)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    const Attribute red(Attribute::Color::ansi256(1), Attribute::Color::defaultColor(), CharacterStyle::bold);
    t.curAttr = red;
    t.feed("ab\xE4\xB8\xAD");
    EXPECT_EQ(t.getCharData(0, 0)->attribute, red);
    EXPECT_EQ(t.getCharData(2, 0)->attribute, red);
    // The filler after a wide character too.
    EXPECT_EQ(t.getCharData(3, 0)->attribute, red);
    EXPECT_EQ(t.getCharData(0, 0)->payload.code, 0);
}

TEST(PrintRepeat, repeatsTheStoredCellAndIsCapped)
{
    Terminal t(nullptr, sizedOptions(80, 24));
    t.feed("x\x1b[3b");
    EXPECT_EQ(rowText(t, 0), "xxxx");
    EXPECT_EQ(t.buffer().x(), 4);
    // At column 0 it writes one empty cell.
    Terminal u(nullptr, sizedOptions(10, 2));
    u.feed("\x1b[b");
    EXPECT_EQ(u.buffer().x(), 1);
    EXPECT_EQ(u.getCharData(0, 0)->code, 0);
    // A huge count writes 2 x 80 x 24 = 3840 cells: with the first "x", 3841 cells from the
    // top-left corner end one column into the 49th row.
    t.feed("\r\x1b[99999b");
    Terminal v(nullptr, sizedOptions(80, 24));
    v.feed("x\x1b[99999b");
    EXPECT_EQ(v.buffer().x(), 1);
    EXPECT_EQ(v.buffer().yBase() + v.buffer().y(), 48);
}

TEST(PrintRepeat, ignoresTheCurrentAttributeAndTheGSet)
{
    Terminal t(nullptr, sizedOptions(10, 2));
    const Attribute blue(Attribute::Color::ansi256(4), Attribute::Color::defaultColor(), CharacterStyle::none);
    t.curAttr = blue;
    t.feed("q");
    t.curAttr = Attribute();
    t.feed("\x1b(0\x1b[2b");
    EXPECT_EQ(rowText(t, 0), "qqq");
    EXPECT_EQ(t.getCharData(2, 0)->attribute, blue);
}

TEST(PrintFastPath, asciiRunsMatchTheBuffersOwnWrite)
{
    // The ASCII run path writes rows directly; it must leave exactly what the buffer's
    // per-cell write leaves, in every mode that changes where cells go.
    std::mt19937 rng(7);
    for (int mode = 0; mode < 6; ++mode) {
        Terminal t(nullptr, sizedOptions(13, 4));
        Buffer ref(13, 4, 8, 10);
        ref.fillViewportRows(std::nullopt);
        int refScrolls = 0;
        ref.scroll = [&](bool) { ++refScrolls; };
        const bool wrap = mode != 1;
        t.setWraparound(wrap);
        ref.wraparound = wrap;
        if (mode >= 2) {
            t.setMarginMode(true);
            t.buffer().setMarginLeft(2);
            t.buffer().setMarginRight(mode == 3 ? 12 : 9);
            ref.marginMode = true;
            ref.setMarginLeft(2);
            ref.setMarginRight(mode == 3 ? 12 : 9);
        }
        if (mode == 4) {
            t.setInsertMode(true);
            ref.insertMode = true;
        }
        const int startX = mode == 5 ? 11 : 3; // mode 5: right of the right margin
        t.buffer().setX(startX);
        ref.setX(startX);
        std::string text;
        for (int i = 0; i < 30; ++i)
            text.push_back(char('!' + rng() % 90));
        // Only the first row's worth: the reference buffer's scroll closure does not scroll.
        t.feed(text.substr(0, 8));
        for (char c : text.substr(0, 8))
            ref.insertCharacter(CharData(Attribute(), char32_t(uint8_t(c)), 1));
        Buffer& b = t.buffer();
        EXPECT_EQ(b.x(), ref.x()) << mode;
        EXPECT_EQ(b.y(), ref.y()) << mode;
        EXPECT_EQ(b.lastBufferStorage.x, ref.lastBufferStorage.x) << mode;
        EXPECT_EQ(b.lastBufferStorage.y, ref.lastBufferStorage.y) << mode;
        for (int row = 0; row < 4; ++row)
            for (int col = 0; col < 13; ++col)
                EXPECT_EQ(b.lines()[row][col].code, ref.lines()[row][col].code) << mode << " " << row << "," << col;
        EXPECT_EQ(refScrolls, 0);
    }
}

TEST(PrintRobustness, randomBytesNeverBreakTheScreen)
{
    std::mt19937 rng(12345);
    Terminal t(nullptr, sizedOptions(17, 6));
    std::vector<uint8_t> chunk;
    for (int round = 0; round < 300; ++round) {
        chunk.resize(rng() % 200);
        for (auto& b : chunk) {
            const unsigned r = rng() % 100;
            b = r < 50 ? uint8_t(0x20 + rng() % 95) : r < 70 ? uint8_t(0x80 + rng() % 128) : uint8_t(rng() % 256);
        }
        t.feed(chunk);
        if (round % 50 == 0) {
            // No DEL ever shows, and no cell but a wide character's is wider than its column.
            for (int row = 0; row < t.rows(); ++row)
                for (int col = 0; col < t.cols(); ++col)
                    if (const auto cell = t.getCharData(col, row)) {
                        ASSERT_NE(cell->code, 0x7F) << row << "," << col;
                        ASSERT_NE(cell->width, 0) << row << "," << col;
                    }
            t.resize(int(2 + rng() % 30), int(1 + rng() % 10));
        }
        const Buffer& b = t.buffer();
        ASSERT_GE(b.x(), 0);
        ASSERT_LE(b.x(), t.cols());
        ASSERT_GE(b.y(), 0);
        ASSERT_LT(b.y(), t.rows());
    }
    t.feed("\x1b" "c" "ok");
    EXPECT_EQ(rowText(t, 0), "ok");
}

TEST(PrintRobustness, randomControlSequencesNeverBreakTheScreen)
{
    // Well-formed and half-formed sequences of every kind with random (also huge and negative-
    // looking) parameters, mixed with text, controls and resizes.
    std::mt19937 rng(99);
    RecordingDelegate delegate;
    Terminal t(&delegate, sizedOptions(20, 8));
    auto number = [&]() -> std::string {
        switch (rng() % 6) {
        case 0: return "";
        case 1: return "0";
        case 2: return std::to_string(rng() % 10);
        case 3: return std::to_string(rng() % 300);
        case 4: return std::to_string(rng() % 70000);
        default: return "99999999999999999999";
        }
    };
    const std::string privates[] = {"", "", "", "?", ">", "!", "$", "'", "*", "\"", " ", "#", "?$"};
    for (int round = 0; round < 4000; ++round) {
        std::string s;
        switch (rng() % 8) {
        case 0:
        case 1: {
            const std::string& pre = privates[rng() % 13];
            std::string params;
            const int n = int(rng() % 7);
            for (int i = 0; i < n; ++i)
                params += (i ? (rng() % 8 == 0 ? ":" : ";") : "") + number();
            const bool markerFirst = !pre.empty() && (pre[0] == '?' || pre[0] == '>');
            s = "\x1b[" + (markerFirst ? pre + params : params + pre) + char(0x40 + rng() % 63);
            break;
        }
        case 2:
            s = "\x1b" + std::string(1, char(0x20 + rng() % 0x5F)) + char(0x30 + rng() % 0x4E);
            break;
        case 3:
            s = "\x1b]" + number() + ";" + (rng() % 2 ? "?" : "rgb:12/34/56;file:///tmp") + (rng() % 2 ? "\x07" : "\x1b\\");
            break;
        case 4:
            s = "\x1bP" + number() + (rng() % 2 ? "$q" : "q") + "#1;2;50;50;50#1!20~-~" + "\x1b\\";
            break;
        case 5:
            for (int i = 0; i < 10; ++i)
                s.push_back(char(rng() % 256));
            break;
        case 6:
            s = "text \xE4\xB8\xAD\xF0\x9F\x98\x80 e\xCC\x81\r\n\t\b";
            break;
        default:
            t.resize(int(1 + rng() % 40), int(rng() % 12));
            break;
        }
        t.feed(s);
        const Buffer& b = t.buffer();
        ASSERT_GE(b.x(), 0) << round;
        ASSERT_LE(b.x(), t.cols()) << round;
        ASSERT_GE(b.y(), 0) << round;
        ASSERT_LT(b.y(), t.rows()) << round;
        ASSERT_LE(b.scrollTop(), b.scrollBottom()) << round;
        ASSERT_LT(b.scrollBottom(), t.rows()) << round;
    }
    t.feed("\x1b" "c\x1b[?1049l\x1b[H\x1b[2Jok");
    EXPECT_EQ(rowText(t, 0), "ok");
}
