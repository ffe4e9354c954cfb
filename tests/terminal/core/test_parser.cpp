// The escape-sequence parser: its transition table, the calls it makes for each kind of
// sequence, split-independence, and its bounds on hostile input.

#include "Diagnostics.h"
#include "EscapeSequenceParser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace termcore;

namespace {

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& s, const std::string& sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        if (at == std::string::npos) {
            out.push_back(s.substr(start));
            return out;
        }
        out.push_back(s.substr(start, at - start));
        start = at + sep.size();
    }
}

// Expands the fixture escapes (\e \a \t \n \r \\ \xHH and {N:text}); with bytes false only
// the repetitions are expanded (expected calls keep their \xHH notation).
std::string unescape(const std::string& s, bool bytes = true)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '{') {
            const size_t colon = s.find(':', i);
            const size_t close = s.find('}', i);
            const int count = std::stoi(s.substr(i + 1, colon - i - 1));
            const std::string text = unescape(s.substr(colon + 1, close - colon - 1), bytes);
            for (int k = 0; k < count; ++k)
                out += text;
            i = close;
        } else if (bytes && c == '\\' && i + 1 < s.size()) {
            const char n = s[++i];
            switch (n) {
            case 'e': out += '\x1b'; break;
            case 'a': out += '\a'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            case 'x':
                out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                i += 2;
                break;
            default: out += n; break;
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::string show(ByteSpan bytes)
{
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            s += char(b);
        } else {
            s += "\\x";
            s += hex[b >> 4];
            s += hex[b & 15];
        }
    }
    return s;
}

std::string hexByte(uint8_t b)
{
    static const char* hex = "0123456789ABCDEF";
    return std::string { hex[b >> 4], hex[b & 15] };
}

std::string showParams(ParamSpan pars)
{
    std::string s;
    for (size_t k = 0; k < pars.size(); ++k)
        s += (k ? "," : "") + std::to_string(pars[k]);
    return s;
}

// Records every call the parser makes as a line of text. Consecutive print runs and DCS puts
// are joined, because where a run is cut depends only on where the chunks end.
class Recorder {
public:
    struct Dcs : DcsHandler {
        Recorder* r;
        explicit Dcs(Recorder* rec) : r(rec) {}
        void hook(ByteSpan collect, ParamSpan pars, uint8_t flag) override
        {
            r->add("hook:" + show(collect) + ":" + showParams(pars) + ":" + char(flag));
        }
        void put(ByteSpan data) override { r->append("put:", data); }
        void unhook() override { r->add("unhook"); }
    };

    explicit Recorder(EscapeSequenceParser& p, bool withResets = false)
    {
        dcs = std::make_shared<Dcs>(this);
        p.printHandler = [this](ByteSpan d) { append("print:", d); };
        for (int c = 0; c < 256; ++c)
            p.executeHandlers[size_t(c)] = [this, c] { add("exec:" + hexByte(uint8_t(c))); };
        p.csiHandlerFallback = [this](ParamSpan pars, ByteSpan collect, uint8_t final) {
            add("csi:" + show(collect) + ":" + showParams(pars) + ":" + char(final));
        };
        p.escHandlerFallback = [this](ByteSpan collect, uint8_t final) { add("esc:" + show(collect) + char(final)); };
        p.oscHandlerFallback = [this](int64_t n, ByteSpan data) { add("osc:" + std::to_string(n) + ":" + show(data)); };
        p.errorHandler = [this](ParsingState st) {
            add(std::string("error:") + parserStateName(st.currentState) + ":" + hexByte(st.code));
            return st;
        };
        if (withResets)
            p.printStateReset = [this] { add("reset"); };
        p.setDcsHandler("q", dcs);
        p.setDcsHandler("$q", dcs);
    }

    void add(std::string event)
    {
        calls.push_back(std::move(event));
        lastWasRun = false;
    }
    void append(const std::string& kind, ByteSpan data)
    {
        if (lastWasRun && calls.back().rfind(kind, 0) == 0) {
            calls.back() += show(data);
        } else {
            calls.push_back(kind + show(data));
            lastWasRun = true;
        }
    }

    std::vector<std::string> calls;
    std::shared_ptr<Dcs> dcs;
    bool lastWasRun = false;
};

std::string joined(const std::vector<std::string>& calls)
{
    std::string s;
    for (size_t k = 0; k < calls.size(); ++k)
        s += (k ? " ; " : "") + calls[k];
    return s;
}

struct SequenceCase {
    std::string name;
    std::string input;
    std::string expected;
};

std::vector<SequenceCase> loadCases()
{
    std::ifstream in(std::string(BRINMOOR_TEST_DATA) + "/parser_sequences.txt");
    std::vector<SequenceCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (trim(line).empty() || trim(line)[0] == '#')
            continue;
        auto fields = split(line, " | ");
        if (fields.size() != 3) {
            ADD_FAILURE() << "bad fixture line: " << line;
            continue;
        }
        cases.push_back({ trim(fields[0]), unescape(trim(fields[1])), trim(fields[2]) });
    }
    return cases;
}

std::vector<std::string> runChunks(const std::string& input, const std::vector<size_t>& cuts, bool withResets)
{
    EscapeSequenceParser parser;
    Recorder rec(parser, withResets);
    size_t from = 0;
    for (size_t cut : cuts) {
        parser.parse(std::string_view(input).substr(from, cut - from));
        from = cut;
    }
    parser.parse(std::string_view(input).substr(from));
    return rec.calls;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The finished table, compared cell by cell with the state diagram's rows.

TEST(ParserTable, matches_the_vt500_state_diagram_row_by_row)
{
    std::map<std::string, ParserState> states;
    for (int s = 0; s < kParserStateCount; ++s)
        states[parserStateName(ParserState(s))] = ParserState(s);
    std::map<std::string, ParserAction> actions;
    for (int a = 0; a < kParserActionCount; ++a)
        actions[parserActionName(ParserAction(a))] = ParserAction(a);

    // expected[state][column] = (action, next); -1 = not given by the fixture
    std::vector<std::vector<int>> expected(kParserStateCount, std::vector<int>(0xA1, -1));
    std::vector<std::vector<int>> common(1, std::vector<int>(0xA1, -1));

    std::ifstream in(std::string(BRINMOOR_TEST_DATA) + "/parser_transition_table.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (trim(line).empty() || trim(line)[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string state, ranges, action, next;
        fields >> state >> ranges >> action >> next;
        ASSERT_TRUE(actions.count(action)) << line;
        ASSERT_TRUE(states.count(next)) << line;
        ASSERT_TRUE(state == "*" || states.count(state)) << line;
        const int value = (int(actions[action]) << 4) | int(states[next]);
        auto& row = state == "*" ? common[0] : expected[size_t(states[state])];
        for (const auto& range : split(ranges, ",")) {
            const auto dash = range.find('-');
            const int lo = std::stoi(range.substr(0, dash), nullptr, 16);
            const int hi = dash == std::string::npos ? lo : std::stoi(range.substr(dash + 1), nullptr, 16);
            for (int c = lo; c <= hi; ++c)
                row[size_t(c)] = value;
        }
        ++rows;
    }
    EXPECT_GT(rows, 60);

    const TransitionTable table = TransitionTable::buildVt500TransitionTable();
    for (int s = 0; s < kParserStateCount; ++s) {
        for (int c = 0; c <= 0xA0; ++c) {
            int want = expected[size_t(s)][size_t(c)];
            if (want == -1)
                want = common[0][size_t(c)];
            ASSERT_NE(want, -1) << "fixture leaves " << parserStateName(ParserState(s)) << " column " << c << " open";
            const auto got = table.lookup(ParserState(s), uint8_t(c));
            const int gotValue = (int(got.action) << 4) | int(got.next);
            EXPECT_EQ(gotValue, want) << parserStateName(ParserState(s)) << " 0x" << hexByte(uint8_t(c)) << ": got "
                                      << parserActionName(got.action) << " -> " << parserStateName(got.next);
        }
        // Every byte from 0xA0 up shares column 0xA0; the rest of the row stays zero.
        for (int c = 0xA1; c < 256 && s * 256 + c < TransitionTable::kSize; ++c)
            EXPECT_EQ(table.table[size_t(s * 256 + c)], 0);
        EXPECT_EQ(table.lookup(ParserState(s), 0xFF).action, table.lookup(ParserState(s), 0xA0).action);
    }
}

// ---------------------------------------------------------------------------------------------
// Sequences and the calls they produce (fixture-driven).

TEST(ParserSequences, each_fixture_case_produces_its_calls_whole_and_byte_by_byte)
{
    Diagnostics::Capture quiet;
    const auto cases = loadCases();
    ASSERT_GT(cases.size(), 40u);
    for (const auto& c : cases) {
        const std::string expected = unescape(c.expected, false);
        EXPECT_EQ(joined(runChunks(c.input, {}, false)), expected) << c.name;
        std::vector<size_t> everyByte;
        for (size_t k = 1; k < c.input.size(); ++k)
            everyByte.push_back(k);
        EXPECT_EQ(joined(runChunks(c.input, everyByte, false)), expected) << c.name << " (byte by byte)";
    }
}

TEST(ParserSequences, raw_parameter_text_is_visible_to_the_csi_handler)
{
    EscapeSequenceParser parser;
    std::string seen;
    std::vector<int64_t> params;
    bool subParameters = false;
    parser.setCsiHandler("m", [&](ParamSpan pars, ByteSpan) {
        seen = show(parser.parsTxt());
        params.assign(pars.begin(), pars.end());
        subParameters = parser.hasSubParameters();
    });
    parser.parse("\x1b[38:2:10:20:30m");
    EXPECT_EQ(seen, "38:2:10:20:30");
    EXPECT_EQ(params, (std::vector<int64_t> { 38, 2, 10, 20, 30 }));
    EXPECT_TRUE(subParameters);
    parser.parse("\x1b[m");
    EXPECT_EQ(seen, "");
    EXPECT_EQ(params, (std::vector<int64_t> { 0 }));
    EXPECT_FALSE(subParameters);
    parser.parse("\x1b[1;38;5;3;4:3m");
    EXPECT_TRUE(subParameters);
    parser.parse("\x1b[1;38;5;3;4;3m");
    EXPECT_FALSE(subParameters);
    // Split between chunks (the first chunk's memory is gone by the second), and interrupted by
    // a control byte inside one chunk: the handler still sees the whole text.
    std::string first = "\x1b[38:2:1";
    parser.parse(first);
    first.assign(first.size(), 'x');
    parser.parse(":2:3m");
    EXPECT_EQ(seen, "38:2:1:2:3");
    parser.parse("\x1b[48:5\x07:7m");
    EXPECT_EQ(seen, "48:5:7");
}

TEST(ParserSequences, a_sequence_split_between_chunks_dispatches_once_with_all_parameters)
{
    EscapeSequenceParser parser;
    std::vector<int64_t> params;
    int calls = 0;
    parser.setCsiHandler("m", [&](ParamSpan pars, ByteSpan) {
        params.assign(pars.begin(), pars.end());
        ++calls;
    });
    parser.parse("\x1b[3");
    EXPECT_EQ(calls, 0);
    parser.parse("1m");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(params, (std::vector<int64_t> { 31 }));
}

TEST(ParserSequences, registered_handlers_win_over_fallbacks_and_later_registration_replaces)
{
    EscapeSequenceParser parser;
    std::vector<std::string> log;
    parser.csiHandlerFallback = [&](ParamSpan, ByteSpan, uint8_t f) { log.push_back(std::string("csi-fallback ") + char(f)); };
    parser.escHandlerFallback = [&](ByteSpan, uint8_t f) { log.push_back(std::string("esc-fallback ") + char(f)); };
    parser.oscHandlerFallback = [&](int64_t n, ByteSpan) { log.push_back("osc-fallback " + std::to_string(n)); };
    parser.executeHandlerFallback = [&] { log.push_back("exec-fallback"); };
    parser.setCsiHandler("H", [&](ParamSpan, ByteSpan) { log.push_back("first"); });
    parser.setCsiHandler("H", [&](ParamSpan, ByteSpan) { log.push_back("CUP"); });
    parser.setEscHandler("(0", [&](ByteSpan c, uint8_t f) { log.push_back("SCS " + show(c) + char(f)); });
    parser.setOscHandler(2, [&](ByteSpan d) { log.push_back("title " + show(d)); });
    parser.setExecuteHandler(0x07, [&] { log.push_back("BEL"); });
    parser.parse("\x1b[H\x1b[J\x1b(0\x1b(B\x1b]2;t\x07\x1b]3;u\x07\x07\x01");
    EXPECT_EQ(log, (std::vector<std::string> { "CUP", "csi-fallback J", "SCS (0", "esc-fallback B", "title t",
                                               "osc-fallback 3", "BEL", "exec-fallback" }));
}

TEST(ParserSequences, default_csi_fallback_reports_the_final_byte_in_decimal)
{
    Diagnostics::Capture capture;
    EscapeSequenceParser parser;
    parser.parse("\x1b[1m");
    EXPECT_EQ(capture.lines(), (std::vector<std::string> { "Cannot handle ESC-109" }));
}

TEST(ParserSequences, print_state_reset_marks_every_sequence_start_and_end)
{
    const auto calls = runChunks("a\x1b[1mb\x1b]0;t\x07", {}, true);
    // ESC and "[" each clear: a CSI begins with two resets.
    EXPECT_EQ(joined(calls), "print:a ; reset ; reset ; csi::1:m ; print:b ; reset ; osc:0:t ; reset");
}

TEST(ParserSequences, reset_returns_to_ground_and_drops_the_active_dcs_handler)
{
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.parse("\x1bPqab");
    EXPECT_NE(parser.activeDcsHandler(), nullptr);
    parser.reset();
    EXPECT_EQ(parser.currentState, ParserState::ground);
    EXPECT_EQ(parser.activeDcsHandler(), nullptr);
    parser.parse("cd\x1b\\");
    EXPECT_EQ(joined(rec.calls), "hook::0:q ; put:ab ; print:cd");
}

TEST(ParserSequences, an_aborting_error_handler_stops_the_chunk_and_the_next_starts_clean)
{
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.errorHandler = [&](ParsingState st) {
        rec.add("error " + st.description());
        st.abort = true;
        return st;
    };
    parser.parse("ab\x19lost\x1b[1");
    parser.parse("x\x1b[2m");
    ASSERT_EQ(rec.calls.size(), 4u) << joined(rec.calls);
    EXPECT_EQ(rec.calls[0], "print:ab");
    EXPECT_NE(rec.calls[1].find("code: 25, currentState: ground, print: 0"), std::string::npos) << rec.calls[1];
    EXPECT_EQ(rec.calls[2], "print:x");
    EXPECT_EQ(rec.calls[3], "csi::2:m");
}

TEST(ParserSequences, parse_int_reads_leading_digits_with_the_overflow_rule)
{
    auto parseInt = [](std::string_view s) {
        return EscapeSequenceParser::parseInt(ByteSpan(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    };
    EXPECT_EQ(parseInt(""), 0);
    EXPECT_EQ(parseInt("x12"), 0);
    EXPECT_EQ(parseInt("52;abc"), 52);
    EXPECT_EQ(parseInt("007"), 7);
    EXPECT_EQ(parseInt("922337203685477570"), 922337203685477570LL);
    EXPECT_EQ(parseInt("922337203685477571"), 0);
    EXPECT_EQ(parseInt("99999999999999999999999999"), 0);
}

// ---------------------------------------------------------------------------------------------
// Split-independence: the same calls whatever the chunking.

namespace {

std::string mixedCorpus()
{
    std::string corpus;
    for (const auto& c : loadCases())
        corpus += c.input;
    corpus += "Hello, world\r\n\x1b[1;31mred\x1b[0m \x1b[38:2::10:20:30mtc\x1b[m\r\n";
    corpus += "\x1b]0;T\xc3\xadtulo \xe2\x80\x94 \xe2\x98\x83\x07\x1b]2;caf\xc3\xa9\x1b\\";
    corpus += "\x1b]8;;http://example.com\x1b\\link\x1b]8;;\x1b\\";
    corpus += "\x1bPq#0;2;0;0;0#0~~@@vv-!10~\x1b\\\x1bP$qm\x1b\\\x1bP1$r0m\x1b\\";
    corpus += "\x1b[12\x18;5m\x1b[12\x1a" "5m\x1b]0;ti\x1atle\x07\x1b[1\x19m\x1b]0;x\x19y\x07";
    corpus += "\x1b[" + std::string(30, '9') + "m";
    corpus += "\x1b[";
    for (int k = 0; k < 300; ++k)
        corpus += "1;";
    corpus += "m";
    corpus += "\x1b(0qqq\x1b(B\x1b#8\x1b" "7\x1b" "8\x1b c\x1b%G";
    corpus += "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xc3\xa9 \xf0\x9f\x98\x80\r\n";
    corpus += "\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J\x1b[10;20H\x1b[K\x1b[?1049l";
    corpus += "\x1bP" + std::string(100, ';') + "q" + std::string(500, 'x') + "\x1b\\";
    corpus += "\x1b[" + std::string(80, '$') + "p";
    corpus += "\x1b" + std::string(80, ' ') + "F";
    return corpus;
}

} // namespace

TEST(ParserChunking, a_mixed_corpus_split_at_every_byte_gives_the_calls_of_the_whole)
{
    Diagnostics::Capture quiet;
    const std::string corpus = mixedCorpus();
    const auto whole = runChunks(corpus, {}, true);
    ASSERT_GT(whole.size(), 100u);
    for (size_t cut = 1; cut < corpus.size(); ++cut) {
        const auto parts = runChunks(corpus, { cut }, true);
        ASSERT_EQ(parts, whole) << "split at byte " << cut;
    }
    std::vector<size_t> everyByte;
    for (size_t k = 1; k < corpus.size(); ++k)
        everyByte.push_back(k);
    EXPECT_EQ(runChunks(corpus, everyByte, true), whole);
}

TEST(ParserChunking, random_garbage_in_random_chunks_gives_the_calls_of_the_whole)
{
    Diagnostics::Capture quiet;
    std::mt19937 rng(20261206);
    for (int round = 0; round < 20; ++round) {
        std::string garbage(20000, '\0');
        // Bias towards the bytes that steer the machine.
        const char steer[] = { '\x1b', '[', ']', 'P', '\\', ';', ':', '\x07', '\x18', '\x19', '\x1a', '\x9c', '\x90', '\x9b', '\x9d', 'q', '0', '9' };
        for (auto& ch : garbage)
            ch = (rng() % 3 == 0) ? steer[rng() % sizeof(steer)] : char(rng() % 256);
        std::vector<size_t> cuts;
        size_t at = 0;
        while (true) {
            at += 1 + rng() % 300;
            if (at >= garbage.size())
                break;
            cuts.push_back(at);
        }
        ASSERT_EQ(runChunks(garbage, cuts, true), runChunks(garbage, {}, true)) << "round " << round;
    }
}

TEST(ParserChunking, short_and_long_parameter_texts_read_the_same_whole_or_byte_by_byte)
{
    // Parameter text of every shape near the eight bytes read at once: numbers of 0 to 9 digits,
    // ";" and ":" separators, and what may end it (a final, a high byte, a private marker).
    Diagnostics::Capture quiet;
    std::mt19937 rng(36);
    const char* enders[] = { "H", "m", "\x80", "<", " q", "\x1b" };
    std::string input;
    for (int k = 0; k < 3000; ++k) {
        input += "\x1b[";
        if (rng() % 8 == 0)
            input += '?';
        const int fields = 1 + int(rng() % 4);
        for (int f = 0; f < fields; ++f) {
            if (f > 0)
                input += rng() % 10 == 0 ? ':' : ';';
            const int digits = int(rng() % 10) - (rng() % 4 == 0 ? 0 : 5);
            for (int d = 0; d < digits; ++d)
                input += char('0' + rng() % 10);
        }
        input += enders[rng() % std::size(enders)];
        input += "ab";
    }
    const auto run = [&](size_t step) {
        EscapeSequenceParser parser;
        Recorder rec(parser);
        parser.csiHandlerFallback = [&](ParamSpan pars, ByteSpan collect, uint8_t final) {
            rec.add("csi:" + show(collect) + ":" + showParams(pars) + ":" + char(final) + ":" + show(parser.parsTxt()));
        };
        for (size_t at = 0; at < input.size(); at += step)
            parser.parse(std::string_view(input).substr(at, step));
        return rec.calls;
    };
    const auto whole = run(input.size());
    ASSERT_GT(whole.size(), 3000u);
    EXPECT_EQ(run(1), whole);
}

// ---------------------------------------------------------------------------------------------
// Bounds: hostile input never grows the parser without limit.

TEST(ParserBounds, too_many_parameters_are_ignored_and_warned_about_once)
{
    Diagnostics::Capture capture;
    EscapeSequenceParser parser;
    size_t count = 0;
    int64_t last = -1;
    parser.setCsiHandler("m", [&](ParamSpan pars, ByteSpan) {
        count = pars.size();
        last = pars.back();
    });
    std::string seq = "\x1b[";
    for (int k = 0; k < 100000; ++k)
        seq += std::to_string(k) + ";";
    seq += "m";
    parser.parse(seq);
    parser.parse(seq);
    EXPECT_EQ(count, EscapeSequenceParser::kMaxParameters);
    EXPECT_EQ(last, 255);
    EXPECT_LE(parser.parsTxt().size(), EscapeSequenceParser::kMaxParamText);
    int warnings = 0;
    for (const auto& l : capture.lines())
        warnings += l.find("too many parameters") != std::string::npos;
    EXPECT_EQ(warnings, 1);
}

TEST(ParserBounds, overlong_intermediates_are_truncated_not_grown)
{
    Diagnostics::Capture capture;
    EscapeSequenceParser parser;
    size_t collected = 0;
    parser.csiHandlerFallback = [&](ParamSpan, ByteSpan collect, uint8_t) { collected = collect.size(); };
    parser.parse("\x1b[" + std::string(10000, ' ') + "p");
    EXPECT_EQ(collected, EscapeSequenceParser::kMaxCollect);
    EXPECT_TRUE(capture.contains("too many intermediate bytes"));
}

TEST(ParserBounds, an_osc_string_over_the_bound_is_discarded_and_the_next_one_works)
{
    Diagnostics::Capture capture;
    EscapeSequenceParser parser;
    std::vector<size_t> sizes;
    parser.setOscHandler(52, [&](ByteSpan d) { sizes.push_back(d.size()); });
    const std::string chunk(1 << 20, 'A');
    parser.parse("\x1b]52;c;");
    for (int k = 0; k < 12; ++k) // 12 MiB, over the 8 MiB bound
        parser.parse(chunk);
    EXPECT_LE(parser.osc().size(), EscapeSequenceParser::kMaxOscText);
    parser.parse("\x07\x1b]52;c;QUJD\x07");
    EXPECT_EQ(sizes, (std::vector<size_t> { 6 }));
    EXPECT_TRUE(capture.contains("OSC string too long"));
}

TEST(ParserBounds, the_largest_allowed_osc_string_is_delivered_whole)
{
    EscapeSequenceParser parser;
    size_t size = 0;
    parser.setOscHandler(1337, [&](ByteSpan d) { size = d.size(); });
    const std::string head = "1337;";
    std::string body(EscapeSequenceParser::kMaxOscText - head.size(), 'x');
    parser.parse("\x1b]" + head);
    parser.parse(body);
    parser.parse("\x07");
    EXPECT_EQ(size, body.size());
}

TEST(ParserBounds, binary_garbage_never_crashes_and_keeps_state_small)
{
    std::mt19937 rng(7);
    EscapeSequenceParser parser;
    Recorder rec(parser);
    std::string garbage(1 << 20, '\0');
    for (auto& ch : garbage)
        ch = char(rng() % 256);
    for (int k = 0; k < 4; ++k)
        parser.parse(garbage);
    EXPECT_LE(parser.parameters().size(), EscapeSequenceParser::kMaxParameters);
    EXPECT_LE(parser.collect().size(), EscapeSequenceParser::kMaxCollect);
    EXPECT_LE(parser.osc().size(), EscapeSequenceParser::kMaxOscText);
}

TEST(ParserBounds, a_dcs_string_nobody_handles_never_reaches_a_handler_left_from_an_aborted_one)
{
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.parse("\x1bPq#0~~\x1a" "after\x1bPzjunk\x1b\\");
    EXPECT_EQ(joined(rec.calls), "hook::0:q ; put:#0~~ ; exec:1A ; print:after");
    EXPECT_EQ(parser.activeDcsHandler(), nullptr);
}

TEST(ParserDump, lists_the_calls_of_a_chunk)
{
    const std::string text = "hi\x1b[1;2H\x1b]0;t\x07";
    const std::string out = EscapeSequenceParser::dump(ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    EXPECT_NE(out.find("print \"hi\""), std::string::npos) << out;
    EXPECT_NE(out.find("csi  [1, 2] H"), std::string::npos) << out;
    EXPECT_NE(out.find("osc 0 \"t\""), std::string::npos) << out;
}
