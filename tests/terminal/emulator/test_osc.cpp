// OSC commands: titles, palette and dynamic colours, directory and document, hyperlinks and
// their payload collection, clipboard, notifications and iTerm2 inline images.
#include "support/CommandTestHarness.h"
#include "TinyAtom.h"

#include <gtest/gtest.h>

using namespace termcore;
using cmdtest::Harness;
using cmdtest::reply;

TEST(OscTitles, window_and_icon_titles)
{
    Harness h;
    h.feed("\x1b]0;zero\x07\x1b]1;one\x1b\\\x1b]2;two \xc3\xa9\x07");
    EXPECT_EQ(h.del.takeCalls(), (std::vector<std::string>{"title:zero", "icon:one", "title:two \xc3\xa9"}));
    EXPECT_EQ(h.t().terminalTitle, "two \xc3\xa9");
    EXPECT_EQ(h.t().iconTitle, "one");
    h.feed("\x1b]2;bad \xc3\x28\x07"); // invalid UTF-8 gives an empty title
    EXPECT_EQ(h.t().terminalTitle, "");
    h.t().setTitle("host");
    h.t().setIconTitle("hi");
    EXPECT_EQ(h.del.takeCalls(), (std::vector<std::string>{"title:", "title:host", "icon:hi"}));
}

TEST(OscTitles, a_long_title_is_cut_whole_characters_first_and_pushes_stay_small)
{
    Harness h;
    // 1 + 2 * 5000 bytes: the bound falls inside an "é", which goes whole.
    std::string accents;
    for (int i = 0; i < 5000; i++)
        accents += "\xc3\xa9";
    const std::string title = "x" + accents;
    for (const char* osc : {"0", "1", "2"})
        h.feed(std::string("\x1b]") + osc + ";" + title + "\x07");
    EXPECT_EQ(h.t().terminalTitle, title.substr(0, Terminal::kMaxTitle - 1));
    EXPECT_EQ(h.t().iconTitle, title.substr(0, Terminal::kMaxTitle - 1));
    for (int i = 0; i < 20; i++)
        h.feed("\x1b[22;0t");
    for (const auto* stack : {&h.t().terminalTitleStack, &h.t().terminalIconStack})
        for (const std::string& pushed : *stack)
            EXPECT_LT(pushed.size(), Terminal::kMaxTitle);
}

TEST(OscPalette, set_and_query_entries)
{
    Harness h;
    EXPECT_EQ(reply(h, "\x1b]4;1;?\x07"), "\x1b]4;1;rgb:9999/0000/0101\x1b\\");
    h.del.takeCalls();
    EXPECT_EQ(reply(h, "\x1b]4;1;#ff0000;2;?\x07"), "\x1b]4;2;rgb:0000/a6a6/0303\x1b\\");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"colorChanged:1"});
    EXPECT_EQ(reply(h, "\x1b]4;1;?;3;?\x07"), "\x1b]4;1;rgb:ffff/0000/0000\x1b\\\x1b]4;3;rgb:9999/9999/0000\x1b\\");
    const auto before = h.t().ansiColors;
    EXPECT_EQ(reply(h, "\x1b]4;300;#ff0000\x07\x1b]4;5;nonsense\x07\x1b]4;7\x07\x1b]4;;?\x07"),
              "\x1b]4;0;rgb:0000/0000/0000\x1b\\");
    EXPECT_EQ(h.t().ansiColors, before);
    h.feed("\x1b]4;200;rgb:12/34/56\x07");
    EXPECT_EQ(h.t().ansiColors[200], Color(0x1212, 0x3434, 0x5656));
}

TEST(OscPalette, reset_all_or_some_entries)
{
    Harness h;
    h.feed("\x1b]4;3;#010203;5;#040506;9;#070809\x07");
    h.del.takeCalls();
    h.feed("\x1b]104;3;5\x07");
    EXPECT_EQ(h.del.takeCalls(), (std::vector<std::string>{"colorChanged:3", "colorChanged:5"}));
    EXPECT_EQ(h.t().ansiColors[3], h.t().defaultAnsiColors[3]);
    EXPECT_NE(h.t().ansiColors[9], h.t().defaultAnsiColors[9]);
    h.feed("\x1b]104;-1;999;;\x07\x1b]104;\xc3\xa9\x07");
    EXPECT_TRUE(h.del.takeCalls().empty());
    h.feed("\x1b]104\x07");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"colorChanged:all"});
    EXPECT_EQ(h.t().ansiColors, h.t().defaultAnsiColors);
}

TEST(OscDynamicColours, queries_and_settings)
{
    Harness h;
    EXPECT_EQ(reply(h, "\x1b]11;?\x07"), "\x1b]11;rgb:0000/0000/0000\x1b\\");
    EXPECT_EQ(reply(h, "\x1b]10;?;?\x07"), "\x1b]10;rgb:8a3d/8a3d/8a3d\x1b\\\x1b]11;rgb:0000/0000/0000\x1b\\");
    EXPECT_EQ(reply(h, "\x1b]12;?\x07"), "\x1b]12;rgb:8a3d/8a3d/8a3d\x1b\\"); // no cursor colour: foreground
    h.del.takeCalls();
    h.feed("\x1b]10;#ffffff;#101010;rgb:ff/00/00\x07");
    EXPECT_EQ(h.del.takeCalls(),
              (std::vector<std::string>{"fg:ffff/ffff/ffff", "bg:1010/1010/1010", "cursor:ffff/0000/0000"}));
    EXPECT_EQ(reply(h, "\x1b]12;?\x07"), "\x1b]12;rgb:ffff/0000/0000\x1b\\");
    h.feed("\x1b]11;?;?;#000000\x07"); // the piece for slot 3 is ignored
    h.feed("\x1b]10;garbage\x07");
    EXPECT_TRUE(h.del.takeCalls().empty());
    h.feed("\x1b]112\x07");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"cursor:none"});
    EXPECT_FALSE(h.t().cursorColor().has_value());
    h.feed("\x1b G");
    EXPECT_EQ(cmdtest::readable(reply(h, "\x1b]11;?\x07")), "\\x9d11;rgb:1010/1010/1010\\x9c");
}

TEST(OscHost, directory_and_document_need_a_trusted_process)
{
    Harness h;
    h.feed("\x1b]7;file://host/home/me/project\x07");
    EXPECT_EQ(h.t().hostCurrentDirectory, std::optional<std::string>("file://host/home/me/project"));
    h.feed("\x1b]6;file://host/home/me/doc.txt\x07");
    EXPECT_EQ(h.t().hostCurrentDocument, std::optional<std::string>("file://host/home/me/doc.txt"));
    EXPECT_EQ(h.del.takeCalls(), (std::vector<std::string>{"directory", "document"}));
    h.del.trusted = false;
    h.feed("\x1b]7;file://elsewhere\x07");
    EXPECT_EQ(h.t().hostCurrentDirectory, std::optional<std::string>("file://host/home/me/project"));
    EXPECT_TRUE(h.del.takeCalls().empty());
    Harness none(80, 24, 100, false);
    none.feed("\x1b]7;file://x\x07");
    EXPECT_FALSE(none.t().hostCurrentDirectory.has_value());
}

TEST(OscHyperlink, marks_only_the_cells_printed_inside_the_link)
{
    Harness h(10, 4);
    h.feed("\x1b]8;;x\x1b\\abc\x1b]8;;\x1b\\d");
    const uint16_t code = h.cell(0, 0).payload.code;
    ASSERT_NE(code, 0);
    EXPECT_EQ(h.cell(1, 0).payload.code, code);
    EXPECT_EQ(h.cell(2, 0).payload.code, code);
    EXPECT_EQ(h.cell(3, 0).payload.code, 0); // "d", printed after the close
    const std::any* payload = h.cell(0, 0).getPayload();
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(std::any_cast<std::string>(*payload), ";x");
    // A one-character link is marked too; closing where the link opened marks nothing.
    h.feed("\x1b[2;1H\x1b]8;id=7;y\x07Z\x1b]8;;\x07");
    EXPECT_NE(h.cell(0, 1).payload.code, 0);
    h.feed("\x1b[3;1H\x1b]8;;z\x07\x1b]8;;\x07");
    EXPECT_EQ(h.cell(0, 2).payload.code, 0);
}

TEST(OscHyperlink, wrapping_links_and_the_pending_wrap_column)
{
    Harness h(10, 4);
    h.feed("\x1b[1;8H\x1b]8;;w\x07" "abcdefg\x1b]8;;\x07");
    for (int c = 7; c < 10; c++)
        EXPECT_NE(h.cell(c, 0).payload.code, 0) << c;
    for (int c = 0; c < 4; c++)
        EXPECT_NE(h.cell(c, 1).payload.code, 0) << c;
    EXPECT_EQ(h.cell(4, 1).payload.code, 0);
    EXPECT_EQ(h.cell(6, 0).payload.code, 0);
    // text ending in the last column leaves the cursor pending: the last column is inside
    h.feed("\x1b[3;8H\x1b]8;;p\x07xyz\x1b]8;;\x07");
    EXPECT_NE(h.cell(9, 2).payload.code, 0);
    // opened in the pending-wrap column: the link starts on the next row
    h.feed("\x1b[1;1H\x1b[2J" + std::string(10, '-') + "\x1b]8;;n\x07" "ab\x1b]8;;\x07");
    EXPECT_EQ(h.cell(9, 0).payload.code, 0);
    EXPECT_NE(h.cell(0, 1).payload.code, 0);
    EXPECT_NE(h.cell(1, 1).payload.code, 0);
    // a second opening replaces the first: what was printed inside the first keeps it
    h.feed("\x1b[4;1H\x1b]8;;a\x07" "12\x1b]8;;b\x07" "34\x1b]8;;\x07");
    EXPECT_EQ(std::any_cast<std::string>(*h.cell(0, 3).getPayload()), ";a");
    EXPECT_EQ(std::any_cast<std::string>(*h.cell(2, 3).getPayload()), ";b");
    // closing above the start row marks nothing and does not crash
    h.feed("\x1b]8;;q\x07\x1b[1;1H\x1b]8;;\x07");
    EXPECT_FALSE(h.t().hyperLinkTracking.has_value());
}

// Only cells printed inside a link carry it, not those the cursor passes over. Each case prints
// "legit" on rows 0 and 1, then `run`; `linked` lists the (row, col) that carry the link.
TEST(OscHyperlink, cells_the_cursor_passes_while_a_link_is_open_stay_unlinked)
{
    const std::string open = "\x1b]8;;https://evil.example\x1b\\", close = "\x1b]8;;\x1b\\";
    struct Case {
        const char* name;
        std::string run;
        std::vector<std::pair<int, int>> linked;
    };
    const std::vector<Case> cases = {
        {"opened at home, closed after earlier output", "\x1b[H" + open + "\x1b[2;6H" + close, {}},
        {"back over earlier output", open + "\r" + close, {}},
        {"up to an earlier row", open + "\x1b[1;1H" + close, {}},
        {"down past blank rows", open + "\x1b[4;3H" + close, {}},
        {"back, then text", open + "\x1b[2;1HAB" + close, {{1, 0}, {1, 1}}},
        {"repeat of an earlier character", open + "\x1b[2;5H\x1b[2b" + close, {{1, 4}, {1, 5}}},
        {"wide character", open + "\xe4\xb8\x80" + close, {{1, 6}, {1, 7}}},
    };
    for (const Case& c : cases) {
        Harness h(10, 4);
        h.feed("legit\r\nlegit " + c.run);
        // printed after the close, a repeat of a linked cell among them: never linked
        h.feed("\x1b[3;1Hafter\x1b[2;3H\x1b[b");
        for (int row = 0; row < 4; row++)
            for (int col = 0; col < 10; col++) {
                const bool want = std::find(c.linked.begin(), c.linked.end(), std::make_pair(row, col)) != c.linked.end();
                EXPECT_EQ(h.cell(col, row).payload.code != 0, want) << c.name << " at row " << row << " col " << col;
            }
    }
}

// The address is all after the parameters' ";"; parameters are key=value pairs split by ":".
TEST(OscHyperlink, the_address_keeps_every_semicolon_after_the_parameters)
{
    struct Case {
        std::string data;
        std::string uri;
        std::vector<std::pair<std::string, std::string>> params;
    };
    const std::vector<Case> cases = {
        {";http://x.example/a;b=c", "http://x.example/a;b=c", {}},
        {"id=7:foo=bar;https://x.org/;;q", "https://x.org/;;q", {{"id", "7"}, {"foo", "bar"}}},
        {"a==b:c=d=e:=f;u", "u", {{"a", "b"}}},
        {"id=1;", "", {{"id", "1"}}},
    };
    for (const Case& c : cases) {
        Harness h(10, 2);
        h.feed("\x1b]8;" + c.data + "\x1b\\L\x1b]8;;\x1b\\");
        const std::any* payload = h.cell(0, 0).getPayload();
        ASSERT_NE(payload, nullptr) << c.data;
        const auto link = HyperlinkTarget::parse(std::any_cast<std::string>(*payload));
        ASSERT_TRUE(link.has_value()) << c.data;
        EXPECT_EQ(link->uri, c.uri) << c.data;
        EXPECT_EQ(link->params, c.params) << c.data;
    }
    EXPECT_FALSE(HyperlinkTarget::parse("no-separator").has_value());
}

TEST(OscHyperlink, a_link_that_scrolls_a_full_scrollback_keeps_its_start)
{
    Harness h(10, 3, 2);
    for (int i = 0; i < 10; i++)
        h.feed("\r\nfill");
    ASSERT_EQ(h.y(), 2);
    h.feed("\x1b[3;6H\x1b]8;;s\x07" "0123456789\x1b]8;;\x07"); // wraps and scrolls once
    EXPECT_EQ(h.row(1), "fill 01234");
    EXPECT_NE(h.cell(5, 1).payload.code, 0);
    EXPECT_EQ(h.cell(4, 1).payload.code, 0);
    EXPECT_NE(h.cell(4, 2).payload.code, 0);
    EXPECT_EQ(h.cell(5, 2).payload.code, 0);
}

TEST(OscHyperlink, payload_collection_releases_codes_no_cell_of_any_terminal_uses)
{
    Harness h(10, 3, 0), other(10, 3, 0);
    other.feed("\x1b]8;;kept\x07" "k\x1b]8;;\x07");
    h.feed("\x1b]8;;one\x07" "a\x1b]8;;\x07\x1b]8;;two\x07" "b\x1b]8;;\x07");
    const uint16_t kept = other.cell(0, 0).payload.code;
    uint16_t first = h.cell(0, 0).payload.code;
    const uint16_t second = h.cell(1, 0).payload.code;
    h.feed("\x1b[1;1H\x1b[X"); // erase the first link's cell
    h.t().garbageCollectPayload();
    EXPECT_EQ(TinyAtom::map().count(first), 0u);
    EXPECT_EQ(TinyAtom::map().count(second), 1u);
    EXPECT_EQ(TinyAtom::map().count(kept), 1u); // another terminal's link stays
    {
        Harness closing(10, 3, 0);
        closing.feed("\x1b]8;;gone\x07" "g\x1b]8;;\x07");
        first = closing.cell(0, 0).payload.code;
    }
    EXPECT_EQ(TinyAtom::map().count(first), 0u); // released when its terminal went
    // An address over the bound opens no link; the open one ends without marking.
    h.feed("\x1b[2;1H\x1b]8;;short\x07\x1b]8;;" + std::string(Terminal::kMaxHyperlinkAddress + 1, 'x') + "\x07z\x1b]8;;\x07");
    EXPECT_EQ(h.row(1), "z");
    EXPECT_EQ(h.cell(0, 1).payload.code, 0);
}

TEST(OscHyperlink, codes_freed_by_collection_are_handed_out_again)
{
    Harness h(10, 2, 0);
    std::string many;
    for (int i = 0; i < TinyAtom::maxCode + 100; i++)
        many += "\x1b]8;;u\x07x\x1b]8;;\x07\r\n";
    h.feed(many + "\x1b]8;;last\x07y\x1b]8;;\x07");
    const std::any* payload = h.cell(0, 1).getPayload();
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(*std::any_cast<std::string>(payload), ";last");
    EXPECT_LT(TinyAtom::map().size(), 1000u);
}

TEST(OscHyperlink, when_cells_hold_every_code_the_oldest_links_go_and_the_newest_are_right)
{
    // 700 rows of 100 one-cell links, each to its own address, all kept: more linked cells than
    // codes.
    Harness h(100, 10, 700);
    constexpr int perRow = 100, rowCount = 700;
    std::string links;
    for (int i = 0; i < perRow * rowCount; i++) {
        links += "\x1b]8;;u" + std::to_string(i) + "\x07x\x1b]8;;\x07";
        if ((i + 1) % perRow == 0)
            links += "\r\n";
    }
    h.feed(links);
    // In the order printed, the cells that lost their link come before every cell that kept
    // one, and a kept link leads to the address it was printed with.
    int linked = 0, firstLinked = -1;
    for (int i = 0; i < perRow * rowCount; i++) {
        const std::any* payload = h.cell(i % perRow, i / perRow - h.yBase()).getPayload();
        if (!payload) {
            EXPECT_EQ(firstLinked, -1) << "link " << i << " lost after link " << firstLinked << " was kept";
            continue;
        }
        if (firstLinked < 0)
            firstLinked = i;
        linked++;
        ASSERT_EQ(*std::any_cast<std::string>(payload), ";u" + std::to_string(i));
    }
    EXPECT_GE(linked, TinyAtom::maxCode - 2 * int(TinyAtom::reclaimBatch));
}

TEST(OscClipboard, only_the_clipboard_selection_is_written)
{
    Harness h;
    h.feed("\x1b]52;c;aGVsbG8=\x07");
    EXPECT_EQ(std::string(h.del.clipboard.begin(), h.del.clipboard.end()), "hello");
    h.del.takeCalls();
    h.feed("\x1b]52;p;aGVsbG8=\x07\x1b]52;c;?\x07\x1b]52;c;aGVs bG8=\x07\x1b]52;c;aGVsbG8\x07\x1b]52;c\x07\x1b]52\x07");
    EXPECT_TRUE(h.del.takeCalls().empty());
    EXPECT_TRUE(h.del.sent.empty()); // nothing is ever read back
}

TEST(OscNotification, notify_needs_a_title_and_a_body)
{
    Harness h;
    h.feed("\x1b]777;notify;Build;done;3 errors\x07");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"notify:Build|done;3 errors"});
    h.feed("\x1b]777;notify;Build\x07\x1b]777;other;a;b\x07\x1b]777;notify;\xff;x\x07");
    EXPECT_TRUE(h.del.takeCalls().empty());
    h.feed("\x1b]777;notify;;\x07");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"notify:|"});
}

TEST(OscITerm2, inline_images_and_other_content)
{
    Harness h;
    h.feed("\x1b]1337;File=name=eC5wbmc=;inline=1;width=50%;height=10px:aGVsbG8=\x07");
    ASSERT_EQ(h.del.takeCalls(), std::vector<std::string>{"image"});
    EXPECT_EQ(std::string(h.del.image.begin(), h.del.image.end()), "hello");
    EXPECT_EQ(h.del.imageWidth, ImageSizeRequest::percent(50));
    EXPECT_EQ(h.del.imageHeight, ImageSizeRequest::pixels(10));
    EXPECT_TRUE(h.del.imageKeepsAspect);
    h.feed("\x1b]1337;File=inline=1;width=200;height=auto;preserveAspectRatio=0:aGk=\x07");
    EXPECT_EQ(h.del.imageWidth, ImageSizeRequest::autoSize());
    EXPECT_EQ(h.del.imageHeight, ImageSizeRequest::autoSize());
    EXPECT_FALSE(h.del.imageKeepsAspect);
    h.feed("\x1b]1337;File=inline=1;width=12;height=+5000px:aGk=\x07");
    EXPECT_EQ(h.del.imageWidth, ImageSizeRequest::cells(12));
    EXPECT_EQ(h.del.imageHeight, ImageSizeRequest::autoSize());
    h.feed("\x1b]1337;File=inline=0;width=1;inline=1:aGk=\x07"); // a later key wins
    EXPECT_EQ(h.del.imageWidth, ImageSizeRequest::cells(1));
    h.del.takeCalls();
    h.feed("\x1b]1337;File=size=3:aGk=\x07");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"iterm:File=size=3:aGk="});
    h.feed("\x1b]1337;SetMark=1\x07\x1b]1337;NoEquals\x07\x1b]1337;File=inline=1\x07\x1b]1337;File=inline=1:!!\x07");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"iterm:SetMark=1"});
}

// A delegate may take an image file to decode elsewhere: the feed stops right after its sequence
// (BEL or ST), and the text after it waits for the next feed.
TEST(OscITerm2, a_delegate_may_take_the_image_and_the_feed_stops_after_it)
{
    struct Taker : cmdtest::RecordingDelegate {
        std::vector<std::vector<uint8_t>> taken;
        bool decodeImageElsewhere(Terminal&, std::vector<uint8_t>& data, ImageSizeRequest, ImageSizeRequest, bool) override
        {
            taken.push_back(std::move(data));
            return true;
        }
    } delegate;
    Terminal terminal(&delegate, TerminalOptions {});
    const std::string images[] = {"\x1b]1337;File=inline=1:aGk=\x07", "\x1b]1337;File=inline=1:aGVsbG8=\x1b\\"};
    const std::string input = "A" + images[0] + "B" + images[1] + "C";
    size_t at = terminal.feed(std::string_view(input));
    EXPECT_EQ(at, 1 + images[0].size()) << "stops after the BEL";
    EXPECT_EQ(terminal.getCharData(1, 0)->code, 0) << "B waits";
    at += terminal.feed(std::string_view(input).substr(at));
    EXPECT_EQ(at, 2 + images[0].size() + images[1].size() - 1) << "stops after the ESC of the string terminator";
    EXPECT_EQ(terminal.getCharData(1, 0)->code, 'B');
    at += terminal.feed(std::string_view(input).substr(at));
    EXPECT_EQ(at, input.size());
    EXPECT_EQ(terminal.getCharData(2, 0)->code, 'C');
    ASSERT_EQ(delegate.taken.size(), 2u);
    EXPECT_EQ(std::string(delegate.taken[1].begin(), delegate.taken[1].end()), "hello");
    const auto calls = delegate.takeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "image"), 0) << "createImage is not called for a taken image";
}

TEST(OscBadInput, garbage_never_crashes_or_replies)
{
    Harness h(20, 5);
    const char* junk[] = {"\x1b]4;\x07", "\x1b]4;;;;\x07", "\x1b]4;256;?\x07", "\x1b]8\x07",
                          "\x1b]8;\x07", "\x1b]10;\x07", "\x1b]104;;;\x07", "\x1b]1337;=\x07", "\x1b]1337;File=:\x07",
                          "\x1b]52;c;====\x07", "\x1b]777;\x07", "\x1b]7;\xff\x07", "\x1b]2;\x07"};
    for (const char* j : junk)
        h.feed(j);
    EXPECT_EQ(h.del.sent, "");
    std::string big = "\x1b]2;" + std::string(100000, 'x') + "\x07";
    h.feed(big);
    EXPECT_EQ(h.t().terminalTitle.size(), Terminal::kMaxTitle);
}
