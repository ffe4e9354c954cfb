// Golden screens: recordings of real programs (captured with script(1) on an 80x24 pty) are
// replayed through a Terminal and the resulting screen text, cursor and attributes compared
// with committed dumps. Set BRINMOOR_UPDATE_GOLDEN=1 to rewrite the dumps after checking a
// change by eye.
#include "support/CommandTestHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace termcore;
using cmdtest::Harness;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string colorName(const Attribute::Color& c)
{
    switch (c.kind()) {
    case Attribute::Color::Kind::ansi256: return "p" + std::to_string(c.code());
    case Attribute::Color::Kind::trueColor:
        return "rgb" + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," + std::to_string(c.blue());
    case Attribute::Color::Kind::defaultColor: return "d";
    case Attribute::Color::Kind::defaultInvertedColor: return "i";
    }
    return "?";
}

std::string attrName(const Attribute& a)
{
    return "fg=" + colorName(a.fg) + " bg=" + colorName(a.bg) + " st=" + std::to_string(a.style.rawValue);
}

// The screen as text: cursor, screen kind, rows, then runs of cells whose attribute is not
// the default one.
std::string dump(Harness& h)
{
    std::string out = "cursor " + std::to_string(h.x()) + "," + std::to_string(h.y()) + "\n";
    out += std::string("screen ") + (h.t().isCurrentBufferAlternate() ? "alternate" : "normal") + "\n";
    for (int r = 0; r < h.t().rows(); r++)
        out += "|" + h.row(r) + "\n";
    out += "attributes\n";
    for (int r = 0; r < h.t().rows(); r++) {
        int c = 0;
        while (c < h.t().cols()) {
            const Attribute a = h.cell(c, r).attribute;
            int e = c;
            while (e + 1 < h.t().cols() && h.cell(e + 1, r).attribute == a)
                e++;
            if (!(a == Attribute()))
                out += std::to_string(r) + ":" + std::to_string(c) + "-" + std::to_string(e) + " " + attrName(a) + "\n";
            c = e + 1;
        }
    }
    return out;
}

struct Golden {
    const char* name;     // data/golden/<name>.vt
    const char* cutAfter; // replay stops before the last occurrence of this text ("" = whole)
    const char* expected; // data/golden/<expected>.screen
    int cols = 80;        // the size the recording was made at
    int rows = 24;
};

std::string replayBytes(const Golden& g)
{
    std::string bytes = readFile(std::string(BRINMOOR_TEST_DATA) + "/golden/" + g.name + ".vt");
    if (*g.cutAfter) {
        const size_t at = bytes.rfind(g.cutAfter);
        if (at != std::string::npos)
            bytes.resize(at);
    }
    return bytes;
}

void checkGolden(const Golden& g)
{
    const std::string bytes = replayBytes(g);
    ASSERT_FALSE(bytes.empty()) << g.name;
    Harness whole(g.cols, g.rows);
    whole.feed(bytes);
    const std::string got = dump(whole);
    const std::string path = std::string(BRINMOOR_TEST_DATA) + "/golden/" + g.expected + ".screen";
    if (std::getenv("BRINMOOR_UPDATE_GOLDEN")) {
        std::ofstream(path, std::ios::binary) << got;
        return;
    }
    const std::string want = readFile(path);
    EXPECT_EQ(got, want) << "golden " << g.expected;

    // The same bytes fed in small pieces must give the same screen.
    for (size_t piece : {size_t(1), size_t(7), size_t(4096)}) {
        Harness split(g.cols, g.rows);
        for (size_t i = 0; i < bytes.size(); i += piece)
            split.feed(std::string_view(bytes).substr(i, piece));
        EXPECT_EQ(dump(split), got) << g.expected << " fed in pieces of " << piece;
    }
}

} // namespace

TEST(GoldenScreens, coloured_ls)
{
    checkGolden({"ls", "", "ls"});
}

TEST(GoldenScreens, bash_line_editing_on_a_narrow_screen)
{
    // readline's ICH/DCH/EL editing, bracketed paste switches and a command line that wraps.
    checkGolden({"bash", "", "bash", 40, 24});
}

TEST(GoldenScreens, less_pager_and_its_exit)
{
    checkGolden({"less", "\x1b[?1049l", "less-paging"});
    checkGolden({"less", "", "less-after-exit"});
}

TEST(GoldenScreens, vim_editing_and_its_exit)
{
    checkGolden({"vim", "\x1b[?1049l", "vim-editing"});
    checkGolden({"vim", "", "vim-after-exit"});
}

TEST(GoldenScreens, top_and_htop)
{
    checkGolden({"top", "\x1b[?1049l", "top"});
    checkGolden({"htop", "\x1b[?1049l", "htop"});
}

TEST(GoldenScreens, vttest_menus_replay_without_harm)
{
    checkGolden({"vttest", "", "vttest-end"});
    // Every prefix that ends a screen of the test must leave the cursor and region sane.
    const std::string bytes = replayBytes({"vttest", "", ""});
    Harness h(80, 24);
    for (size_t i = 0; i < bytes.size(); i += 97) {
        h.feed(std::string_view(bytes).substr(i, 97));
        ASSERT_LE(h.x(), h.t().cols());
        ASSERT_LT(h.y(), h.t().rows());
        ASSERT_LE(h.region().first, h.region().second);
    }
}

// vttest run live through the headless host (pseudo-terminal, Terminal, replies going back):
// the cursor-movement, screen-feature and insert/delete menus and the device reports, then
// the exit. A crash or a hang fails the run; the host gives up after 40 seconds.
TEST(VttestLive, menus_and_reports_through_the_headless_host)
{
    const std::string host = std::string(BRINMOOR_BINARY_DIR) + "/tests/tools/vthost";
    if (std::system("command -v vttest >/dev/null 2>&1") != 0 || !std::ifstream(host).good())
        GTEST_SKIP() << "vttest or the vthost tool is not available";
    // Menu choices wait for their menu; every page of a test is answered when its prompt shows.
    std::string cmd = host + " --timeout 40 --cursor --answer 'Push <RETURN>=\\r'";
    for (const char* choice : {"(0 - 12)=1", "(0 - 12)=2", "(0 - 12)=8", "(0 - 12)=6", "(0 - 7)=3", "(0 - 7)=4",
                               "(0 - 7)=5", "(0 - 7)=0", "(0 - 12)=0"})
        cmd += std::string(" --send-when '") + choice + "\\r'";
    cmd += " -- vttest";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = pclose(p);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("That's all, folks!"), std::string::npos) << out;
}
