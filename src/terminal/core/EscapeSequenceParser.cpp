#include "EscapeSequenceParser.h"

#include "Diagnostics.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace termcore {

namespace {

constexpr uint8_t BEL = 0x07;
constexpr uint8_t CAN = 0x18;
constexpr uint8_t EM = 0x19;
constexpr uint8_t SUB = 0x1A;
constexpr uint8_t ESC = 0x1B;

enum WarnBits : unsigned {
    warnParameters = 1,
    warnCollect = 2,
    warnParamText = 4,
    warnOsc = 8,
};

// True when any of the eight bytes of x is below 0x20 (bytes >= 0x80 never count): the
// classic "has less than n" word trick, exact for the question "is there one".
inline bool hasControlByte(uint64_t x)
{
    constexpr uint64_t ones = 0x0101010101010101ULL;
    constexpr uint64_t high = 0x8080808080808080ULL;
    return ((x - ones * 0x20) & ~x & high) != 0;
}

// The number written by bytes [start, end) of `digits`, eight bytes whose digits have become
// 0..9 (end <= 7). The digits move to the top bytes, leading zeros below, and are combined
// pairwise, without a loop over them.
inline int64_t digitsValue(uint64_t digits, int start, int end)
{
    const int count = end - start;
    if (count <= 4) {
        // Up to four digits (what a cursor position or a colour takes): two steps in 32 bits.
        uint32_t w = uint32_t((digits >> (8 * start)) << (8 * (4 - count)));
        w = (w * 10 + (w >> 8)) & 0x00FF00FFU;
        return int64_t((w * 100 + (w >> 16)) & 0xFFFFU);
    }
    uint64_t v = (digits >> (8 * start)) << (8 * (8 - count));
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
    v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
    return int64_t(v);
}

// Index of the first byte below 0x20 at or after i, or n.
inline size_t skipText(const uint8_t* p, size_t i, size_t n)
{
    while (i + 16 <= n) {
        uint64_t a, b;
        std::memcpy(&a, p + i, 8);
        std::memcpy(&b, p + i + 8, 8);
        if (hasControlByte(a) || hasControlByte(b))
            break;
        i += 16;
    }
    while (i < n && p[i] >= 0x20)
        ++i;
    return i;
}

std::string byteList(const uint8_t* p, size_t n)
{
    std::string s = "[";
    for (size_t k = 0; k < n; ++k) {
        if (k)
            s += ", ";
        s += std::to_string(p[k]);
    }
    s += "]";
    return s;
}

} // namespace

std::string ParsingState::description() const
{
    std::string s = "ParsingState(position: " + std::to_string(position) + ", code: " + std::to_string(code)
        + ", currentState: " + parserStateName(currentState) + ", print: " + std::to_string(print)
        + ", dcs: " + std::to_string(dcs) + ", osc: " + byteList(osc.data(), osc.size())
        + ", collect: " + byteList(collect.data(), collect.size()) + ", parameters: [";
    for (size_t k = 0; k < parameters.size(); ++k) {
        if (k)
            s += ", ";
        s += std::to_string(parameters[k]);
    }
    s += std::string("], abort: ") + (abort ? "true" : "false") + ")";
    return s;
}

EscapeSequenceParser::EscapeSequenceParser()
    : table_(TransitionTable::buildVt500TransitionTable())
{
    csiHandlerFallback = [](ParamSpan, ByteSpan, uint8_t final) {
        Diagnostics::print("Cannot handle ESC-" + std::to_string(int(final)));
    };
    // ESC \ (ST) after an OSC or DCS string ends up here; swallow it.
    escHandlers["\\"] = [](ByteSpan, uint8_t) {};
    osc_.reserve(256);
}

void EscapeSequenceParser::setCsiHandler(std::string_view flag, CsiHandler handler)
{
    // Only the first byte counts: CSI handlers are keyed by their final byte alone.
    if (!flag.empty())
        csiHandlers[uint8_t(flag.front())] = std::move(handler);
}

void EscapeSequenceParser::setEscHandler(std::string_view flag, EscHandler handler)
{
    escHandlers[std::string(flag)] = std::move(handler);
}

void EscapeSequenceParser::setDcsHandler(std::string_view flag, std::shared_ptr<DcsHandler> handler)
{
    dcsHandlers[std::string(flag)] = std::move(handler);
}

void EscapeSequenceParser::setOscHandler(int64_t number, OscHandler handler)
{
    oscHandlers[number] = std::move(handler);
}

void EscapeSequenceParser::setExecuteHandler(uint8_t code, ExecuteHandler handler)
{
    executeHandlers[code] = std::move(handler);
}

void EscapeSequenceParser::reset()
{
    currentState = initialState;
    clearSequence();
    activeDcs_.reset();
    if (printStateReset)
        printStateReset();
}

int64_t EscapeSequenceParser::parseInt(ByteSpan data)
{
    int64_t value = 0;
    for (uint8_t b : data) {
        if (b < '0' || b > '9')
            break;
        value = value * 10 + (b - '0');
        if (value > kParamLimit)
            return 0;
    }
    return value;
}

void EscapeSequenceParser::warnOnce(unsigned bit, std::string_view message)
{
    if (warned_ & bit)
        return;
    warned_ |= bit;
    Diagnostics::print(std::string("EscapeSequenceParser: ") + std::string(message) + " (will not warn again)");
}

[[gnu::always_inline]] inline void EscapeSequenceParser::clearSequence()
{
    osc_.clear();
    oscOverflow_ = false;
    pars_[0] = 0;
    parsCount_ = 1;
    parsOverflow_ = false;
    subParameters_ = false;
    parsTxtCount_ = 0;
    txtRef_ = nullptr;
    collectCount_ = 0;
}

inline void EscapeSequenceParser::appendParamByte(uint8_t b)
{
    scanParams(&b, 0, 1, false);
}

// The parameter state lives in locals for the whole run: stores into the parameter text could
// alias the members, so folding digits through them would reload and re-store them per byte.
inline size_t EscapeSequenceParser::scanParams(const uint8_t* p, size_t i, size_t n, bool inChunk)
{
    const size_t begin = i;
    size_t count = parsCount_;
    bool overflow = parsOverflow_;
    int64_t v = pars_[count - 1];
    for (; i < n; ++i) {
        const uint8_t b = p[i];
        if (b < '0' || b > ';')
            break;
        if (b >= ':') {
            if (b == ':') [[unlikely]]
                subParameters_ = true; // rare: stored at once, no state of the loop
            if (count < kMaxParameters) {
                pars_[count - 1] = v;
                ++count;
                v = 0;
            } else {
                overflow = true;
                warnOnce(warnParameters, "too many parameters, the rest are ignored");
            }
            continue;
        }
        if (overflow)
            continue;
        v = v * 10 + (b - '0'); // v <= kParamLimit, so this stays within 64 bits
        if (v > kParamLimit)
            v = 0;
    }
    pars_[count - 1] = v;
    parsCount_ = count;
    parsOverflow_ = overflow;
    // The raw text is the run just read: referred to where it lies when it is all there is,
    // else appended to the copy.
    const size_t len = i - begin;
    size_t room = kMaxParamText;
    if (inChunk && parsTxtCount_ == 0 && !txtRef_) {
        txtRef_ = p + begin;
        txtRefLen_ = std::min(len, room);
    } else {
        keepParamText();
        room -= parsTxtCount_;
        std::memcpy(parsTxt_.data() + parsTxtCount_, p + begin, std::min(len, room));
        parsTxtCount_ += std::min(len, room);
    }
    if (len > room)
        warnOnce(warnParamText, "parameter text too long, the rest is dropped");
    return i;
}

// Kept out of the sequence loop, which the short path is inlined into.
[[gnu::noinline]] size_t EscapeSequenceParser::scanLongParams(const uint8_t* p, size_t i, size_t n)
{
    return scanParams(p, i, n, true);
}

[[gnu::always_inline]] inline size_t EscapeSequenceParser::scanShortParams(const uint8_t* p, size_t i, size_t n)
{
    // Parameter text that ends within eight bytes (a cursor position, a short SGR) is read as
    // one word: where its digits and ";" are, then each number, with no branch on the length
    // of each. Longer text and the end of the chunk near take the byte loop; a ":" that ends
    // the word's part goes on through the usual parameter path.
    if (i + 8 > n)
        return scanLongParams(p, i, n);
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    if constexpr (std::endian::native != std::endian::little)
        word = __builtin_bswap64(word);
    constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr uint64_t high = 0x8080808080808080ULL;
    // Per byte, in its high bit (carry-free, so exact in every byte): not a digit; a ";".
    const uint64_t digits = word ^ 0x3030303030303030ULL;
    const uint64_t notDigit = (((digits & low7) + 0x7676767676767676ULL) | digits) & high;
    const uint64_t x = word ^ 0x3B3B3B3B3B3B3B3BULL;
    const uint64_t semicolon = ~(((x & low7) + low7) | x) & high;
    const uint64_t stop = notDigit & ~semicolon;
    if (stop == 0)
        return scanLongParams(p, i, n);
    const int len = std::countr_zero(stop) >> 3;
    uint64_t separators = semicolon & ((uint64_t(1) << (8 * len)) - 1);
    size_t count = 0;
    int start = 0;
    for (;;) {
        const int end = separators ? std::countr_zero(separators) >> 3 : len;
        pars_[count++] = digitsValue(digits, start, end);
        if (!separators)
            break;
        separators &= separators - 1;
        start = end + 1;
    }
    parsCount_ = count;
    txtRef_ = p + i;
    txtRefLen_ = size_t(len);
    return i + size_t(len);
}

void EscapeSequenceParser::keepParamText()
{
    if (!txtRef_)
        return;
    std::memcpy(parsTxt_.data(), txtRef_, txtRefLen_);
    parsTxtCount_ = txtRefLen_;
    txtRef_ = nullptr;
}

void EscapeSequenceParser::escDispatch(uint8_t final)
{
    collect_[collectCount_] = final;
    const std::string_view key(reinterpret_cast<const char*>(collect_.data()), collectCount_ + 1);
    auto it = escHandlers.find(key);
    if (it != escHandlers.end() && it->second)
        it->second(collect(), final);
    else if (escHandlerFallback)
        escHandlerFallback(collect(), final);
}

void EscapeSequenceParser::dcsHook(uint8_t flag)
{
    collect_[collectCount_] = flag;
    const std::string_view key(reinterpret_cast<const char*>(collect_.data()), collectCount_ + 1);
    auto it = dcsHandlers.find(key);
    if (it == dcsHandlers.end() || !it->second) {
        // A string nobody handles must not reach a handler left over from an aborted string.
        activeDcs_.reset();
        return;
    }
    activeDcs_ = it->second;
    auto handler = activeDcs_;
    handler->hook(collect(), parameters(), flag);
}

void EscapeSequenceParser::oscDispatch(uint8_t terminator)
{
    if (osc_.empty() || terminator == CAN || terminator == SUB)
        return; // empty, or cancelled
    if (oscOverflow_)
        return; // over its bound: discarded whole rather than delivered truncated
    const uint8_t* text = osc_.data();
    const size_t size = osc_.size();
    const uint8_t* semi = static_cast<const uint8_t*>(std::memchr(text, ';', size));
    int64_t number;
    ByteSpan data;
    if (semi) {
        number = parseInt(ByteSpan(text, size_t(semi - text)));
        data = ByteSpan(semi + 1, size_t(text + size - semi - 1));
    } else {
        number = parseInt(ByteSpan(text, size));
    }
    auto it = oscHandlers.find(number);
    if (it != oscHandlers.end() && it->second)
        it->second(data);
    else if (oscHandlerFallback)
        oscHandlerFallback(number, data);
}

void EscapeSequenceParser::abortDcs(const uint8_t* data, int64_t dcs, size_t end)
{
    // A DCS string cut short by CAN/SUB, a C1 control or a new string: deliver what arrived (as
    // the end of a chunk would have) and drop the handler without unhooking, so the partial
    // string is never completed.
    if (auto handler = activeDcs_) {
        if (dcs != -1 && size_t(dcs) < end)
            handler->put(ByteSpan(data + dcs, end - size_t(dcs)));
    }
    activeDcs_.reset();
}

size_t EscapeSequenceParser::parse(ByteSpan chunk)
{
    using S = ParserState;
    using A = ParserAction;

    const uint8_t* const p = chunk.data();
    const size_t n = chunk.size();
    const uint8_t* const tbl = table_.table.data();
    size_t i = 0;
    int64_t print = -1;
    int64_t dcs = -1;
    S state = currentState;

    auto flushPrint = [&](size_t end) {
        if (print != -1) {
            if (printHandler && size_t(print) < end)
                printHandler(ByteSpan(p + print, end - size_t(print)));
            print = -1;
        }
    };

    while (i < n) {
        const uint8_t b = p[i];

        // Printable fast path: every byte >= 0x20 in ground is text, so UTF-8 passes whole.
        if (state == S::ground && b >= 0x20) {
            if (print == -1)
                print = int64_t(i);
            i = skipText(p, i + 1, n);
            continue;
        }

        // ESC [ params final from ground, the commonest sequence, without a table lookup per
        // byte. Every step is exactly the table's (clear, clear, collect/param, csiDispatch);
        // anything else falls back to the table where it left off.
        if (b == ESC && state == S::ground) {
            flushPrint(i);
            clearSequence();
            dcs = -1;
            if (printStateReset)
                printStateReset();
            ++i;
            state = S::escape;
            if (i >= n || p[i] != '[')
                continue;
            if (printStateReset)
                printStateReset();
            ++i;
            state = S::csiEntry;
            if (i < n && p[i] >= 0x3C && p[i] <= 0x3F) { // private marker
                collect_[collectCount_++] = p[i];
                ++i;
                state = S::csiParam;
            }
            // A leading ":" is an error: the table reports it.
            if (i < n && p[i] >= '0' && p[i] <= ';' && !(p[i] == ':' && state == S::csiEntry)) {
                i = scanShortParams(p, i, n);
                state = S::csiParam;
            }
            if (i < n && p[i] >= 0x40 && p[i] <= 0x7E) {
                const uint8_t final = p[i];
                if (const auto& handler = csiHandlers[final])
                    handler(parameters(), collect());
                else if (csiHandlerFallback)
                    csiHandlerFallback(parameters(), collect(), final);
                state = S::ground;
                ++i;
            }
            continue;
        }

        // OSC text: every byte >= 0x20 (0x7F and 0x80..0xFF included, so 8-bit bytes of a
        // UTF-8 title are text wherever a read boundary falls) is appended without the table.
        // BEL, CAN, EM, SUB and ESC end the run and go through the table; other C0 bytes are
        // dropped from the text.
        if (state == S::oscString && b >= 0x20) {
            while (i < n) {
                const uint8_t c = p[i];
                if (c < 0x20) {
                    if (c == BEL || c == CAN || c == EM || c == SUB || c == ESC)
                        break;
                    ++i;
                    continue;
                }
                const size_t j = skipText(p, i + 1, n);
                const size_t len = j - i;
                if (!oscOverflow_) {
                    if (osc_.size() + len <= kMaxOscText) {
                        osc_.insert(osc_.end(), p + i, p + j);
                    } else {
                        oscOverflow_ = true;
                        warnOnce(warnOsc, "OSC string too long, discarded");
                    }
                }
                i = j;
            }
            continue;
        }

        // Parameter bytes (digits, ";" and ":") of a CSI sequence fold straight into the
        // parameter list, the same as the table's param action, without a lookup per byte.
        if ((state == S::csiParam || state == S::csiEntry) && b >= '0' && b <= ';' && !(b == ':' && state == S::csiEntry)) {
            state = S::csiParam;
            i = scanParams(p, i, n, true);
            continue;
        }

        const uint8_t entry = tbl[size_t(state) * 256 + (b < 0xA0 ? b : 0xA0)];
        const A action = A(entry >> 4);
        S next = S(entry & 0x0F);

        if (state == S::dcsPassthrough && next != S::dcsPassthrough && action != A::dcsUnhook
            && action != A::error) {
            abortDcs(p, dcs, i);
            dcs = -1;
        }

        switch (action) {
        case A::print:
            if (print == -1)
                print = int64_t(i);
            break;

        case A::execute:
            flushPrint(i);
            if (const auto& handler = executeHandlers[b])
                handler();
            else if (executeHandlerFallback)
                executeHandlerFallback();
            break;

        case A::ignore:
            if (print != -1) {
                flushPrint(i);
            } else if (dcs != -1) {
                if (auto handler = activeDcs_)
                    handler->put(ByteSpan(p + dcs, i - size_t(dcs)));
                dcs = -1;
            }
            break;

        case A::error:
            if (b >= 0xA0 && state == S::ground) {
                if (print == -1)
                    print = int64_t(i);
                next = S::ground;
            } else if (state == S::csiIgnore || state == S::dcsIgnore) {
                next = state;
            } else if (state == S::dcsPassthrough) {
                if (dcs == -1)
                    dcs = int64_t(i);
                next = state;
            } else {
                // The byte is not text: end a pending print run here, wherever the chunk
                // boundaries fall.
                const int64_t pendingPrint = print;
                flushPrint(i);
                if (!errorHandler)
                    break;
                ParsingState ps;
                ps.position = int64_t(i);
                ps.code = b;
                ps.currentState = state;
                ps.print = pendingPrint;
                ps.dcs = dcs;
                ps.osc.assign(osc_.begin(), osc_.begin() + std::min<size_t>(osc_.size(), 256));
                ps.collect.assign(collect_.begin(), collect_.begin() + collectCount_);
                const ParsingState result = errorHandler(std::move(ps));
                if (result.abort) {
                    // Stop this chunk. The sequence in progress is dropped and the next chunk
                    // starts in ground.
                    clearSequence();
                    activeDcs_.reset();
                    currentState = S::ground;
                    return n;
                }
            }
            break;

        case A::oscStart:
            flushPrint(i);
            osc_.clear();
            oscOverflow_ = false;
            break;

        case A::oscPut:
            // Text bytes of an OSC string take the run loop above; this is the table's entry
            // for them, kept so the table can be used on its own.
            if (b >= 0x20 && !oscOverflow_ && osc_.size() < kMaxOscText)
                osc_.push_back(b);
            break;

        case A::oscEnd:
            oscDispatch(b);
            if (b == ESC)
                next = S::escape; // so that a following "\" completes ST
            clearSequence();
            if (osc_.capacity() > (1u << 20))
                std::vector<uint8_t>().swap(osc_); // give back the memory of a huge string
            dcs = -1;
            if (printStateReset)
                printStateReset();
            if (pauseRequested_) {
                pauseRequested_ = false;
                keepParamText();
                currentState = next;
                return i + 1;
            }
            break;

        case A::csiDispatch:
            if (const auto& handler = csiHandlers[b])
                handler(parameters(), collect());
            else if (csiHandlerFallback)
                csiHandlerFallback(parameters(), collect(), b);
            break;

        case A::param:
            appendParamByte(b);
            break;

        case A::collect:
            if (collectCount_ < kMaxCollect)
                collect_[collectCount_++] = b;
            else
                warnOnce(warnCollect, "too many intermediate bytes, the rest are dropped");
            break;

        case A::escDispatch:
            escDispatch(b);
            break;

        case A::clear:
            flushPrint(i);
            clearSequence();
            dcs = -1;
            print = -1;
            if (printStateReset)
                printStateReset();
            break;

        case A::dcsHook:
            dcsHook(b);
            break;

        case A::dcsPut:
            if (dcs == -1)
                dcs = int64_t(i);
            break;

        case A::dcsUnhook:
            if (auto handler = activeDcs_) {
                if (dcs != -1)
                    handler->put(ByteSpan(p + dcs, i - size_t(dcs)));
                activeDcs_.reset();
                handler->unhook();
            }
            if (b == ESC)
                next = S::escape;
            clearSequence();
            dcs = -1;
            if (printStateReset)
                printStateReset();
            if (pauseRequested_) {
                pauseRequested_ = false;
                keepParamText();
                currentState = next;
                return i + 1;
            }
            break;
        }

        state = next;
        ++i;
    }

    if (state == S::ground && print != -1) {
        if (printHandler)
            printHandler(ByteSpan(p + print, n - size_t(print)));
    } else if (state == S::dcsPassthrough && dcs != -1) {
        if (auto handler = activeDcs_)
            handler->put(ByteSpan(p + dcs, n - size_t(dcs)));
    }
    // The chunk's memory is the caller's: text still referred to is copied.
    keepParamText();
    currentState = state;
    return n;
}

std::string EscapeSequenceParser::dump(ByteSpan data)
{
    struct Recorder : DcsHandler {
        std::string* out;
        void hook(ByteSpan collect, ParamSpan pars, uint8_t flag) override
        {
            *out += "dcs hook " + std::string(collect.begin(), collect.end()) + char(flag) + "\n";
        }
        void put(ByteSpan d) override { *out += "dcs put " + byteList(d.data(), d.size()) + "\n"; }
        void unhook() override { *out += "dcs unhook\n"; }
    };
    std::string out;
    EscapeSequenceParser parser;
    auto recorder = std::make_shared<Recorder>();
    recorder->out = &out;
    auto params = [](ParamSpan pars) {
        std::string s = "[";
        for (size_t k = 0; k < pars.size(); ++k)
            s += (k ? ", " : "") + std::to_string(pars[k]);
        return s + "]";
    };
    parser.printHandler = [&](ByteSpan d) { out += "print \"" + std::string(d.begin(), d.end()) + "\"\n"; };
    for (int c = 0; c < 256; ++c)
        parser.executeHandlers[size_t(c)] = [&out, c] { out += "execute " + std::to_string(c) + "\n"; };
    parser.csiHandlerFallback = [&](ParamSpan pars, ByteSpan collect, uint8_t final) {
        out += "csi " + std::string(collect.begin(), collect.end()) + " " + params(pars) + " " + char(final) + "\n";
    };
    parser.escHandlers.clear();
    parser.escHandlerFallback = [&](ByteSpan collect, uint8_t final) {
        out += "esc " + std::string(collect.begin(), collect.end()) + char(final) + "\n";
    };
    parser.oscHandlerFallback = [&](int64_t number, ByteSpan d) {
        out += "osc " + std::to_string(number) + " \"" + std::string(d.begin(), d.end()) + "\"\n";
    };
    parser.errorHandler = [&](ParsingState st) {
        out += "error " + st.description() + "\n";
        return st;
    };
    for (int f = 0x40; f <= 0x7E; ++f) {
        for (const char* inter : { "", "$", "+", "!" })
            parser.dcsHandlers[std::string(inter) + char(f)] = recorder;
    }
    parser.parse(data);
    return out;
}

} // namespace termcore
