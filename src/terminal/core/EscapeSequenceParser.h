#pragma once

#include "DcsHandler.h"
#include "TransitionTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace termcore {

// What the parser knew when it met a byte without meaning in its state; handed to the error
// handler, which may set `abort` to stop the current chunk.
struct ParsingState {
    int64_t position = 0;          // index of the byte in the chunk
    uint8_t code = 0;              // the byte
    ParserState currentState = ParserState::ground; // state before the transition
    int64_t print = -1;            // start of the pending print run, or -1
    int64_t dcs = -1;              // start of the pending DCS run, or -1
    std::vector<uint8_t> osc;      // the OSC text so far (at most its first 256 bytes)
    std::vector<uint8_t> collect;
    std::vector<int64_t> parameters; // always empty
    bool abort = false;

    std::string description() const;
};

// Hash and equality that let byte-string keyed maps be searched with a std::string_view.
struct ByteKeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
template <typename V>
using ByteKeyMap = std::unordered_map<std::string, V, ByteKeyHash, std::equal_to<>>;

// A VT500-style table-driven parser (DEC STD 070 / Paul Williams' state machine). It knows no
// sequence by itself: its owner registers handlers, and parse() cuts a byte stream of any chunking
// into printable runs, control bytes, ESC, CSI, OSC and DCS sequences delivered to them. All partial
// state survives between parse() calls. Single-threaded; handlers run synchronously inside parse()
// and must not call parse() themselves.
class EscapeSequenceParser {
public:
    using CsiHandler = std::function<void(ParamSpan parameters, ByteSpan collect)>;
    using OscHandler = std::function<void(ByteSpan data)>;
    using ExecuteHandler = std::function<void()>;
    using EscHandler = std::function<void(ByteSpan collect, uint8_t final)>;
    using PrintHandler = std::function<void(ByteSpan data)>;
    using PrintStateReset = std::function<void()>;
    using ErrorHandler = std::function<ParsingState(ParsingState)>;
    using CsiFallback = std::function<void(ParamSpan parameters, ByteSpan collect, uint8_t final)>;
    using EscFallback = std::function<void(ByteSpan collect, uint8_t final)>;
    using ExecuteFallback = std::function<void()>;
    using OscFallback = std::function<void(int64_t number, ByteSpan data)>;
    using DcsFallback = std::function<void(uint8_t final, ParamSpan parameters)>;

    // Bounds on the state one sequence may accumulate, so that garbage (cat of a binary file)
    // cannot exhaust memory. Excess parameters and bytes are dropped; an OSC string over its
    // bound is discarded whole when it ends. Each overflow is reported once per parser.
    static constexpr size_t kMaxParameters = 256;
    static constexpr size_t kMaxCollect = 64;
    static constexpr size_t kMaxParamText = 4096;
    static constexpr size_t kMaxOscText = 8u << 20;

    // Largest value a parameter may reach before it restarts from 0 (the largest 64-bit
    // integer divided by ten, less ten).
    static constexpr int64_t kParamLimit = 922337203685477570LL;

    EscapeSequenceParser();
    EscapeSequenceParser(const EscapeSequenceParser&) = delete;
    EscapeSequenceParser& operator=(const EscapeSequenceParser&) = delete;

    // Handler tables. An empty std::function means "no handler".
    std::array<CsiHandler, 256> csiHandlers;          // by final byte
    std::unordered_map<int64_t, OscHandler> oscHandlers; // by OSC number
    std::array<ExecuteHandler, 256> executeHandlers;  // by control byte
    ByteKeyMap<EscHandler> escHandlers;               // by intermediates + final byte
    ByteKeyMap<std::shared_ptr<DcsHandler>> dcsHandlers; // by intermediates + final byte

    ErrorHandler errorHandler;        // empty: parsing goes on in ground
    PrintHandler printHandler;        // a run of printable bytes (a view into the chunk)
    PrintStateReset printStateReset;  // a sequence begins or ends

    CsiFallback csiHandlerFallback;   // default: "Cannot handle ESC-<final>"
    EscFallback escHandlerFallback;
    ExecuteFallback executeHandlerFallback; // a control byte without handler
    OscFallback oscHandlerFallback;
    DcsFallback dscHandlerFallback;   // kept for the owner's use; the parser never calls it

    ParserState initialState = ParserState::ground;
    ParserState currentState = ParserState::ground;
    int logFileCounter = 1;

    const TransitionTable& table() const { return table_; }

    void setCsiHandler(std::string_view flag, CsiHandler handler);
    void setEscHandler(std::string_view flag, EscHandler handler);
    void setDcsHandler(std::string_view flag, std::shared_ptr<DcsHandler> handler);
    void setOscHandler(int64_t number, OscHandler handler);
    void setExecuteHandler(uint8_t code, ExecuteHandler handler);

    // Runs one chunk through the state machine.
    // Returns how many bytes were read: all of them, unless a DCS or OSC handler asked for a
    // pause (requestPause) at its end, when the rest is left for the caller to pass again later.
    size_t parse(ByteSpan data);
    size_t parse(std::string_view text)
    {
        return parse(ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }

    // Back to the initial state with empty sequence state; the active DCS handler is dropped
    // without being unhooked. The raw parameter text is left as it was.
    void reset();

    // The current sequence's collected state (valid inside a handler).
    ParamSpan parameters() const { return { pars_.data(), parsCount_ }; }
    ByteSpan collect() const { return { collect_.data(), collectCount_ }; }
    // The raw parameter bytes (digits, ";" and ":") of the current sequence, e.g. "38:2:1:2:3".
    ByteSpan parsTxt() const { return txtRef_ ? ByteSpan(txtRef_, txtRefLen_) : ByteSpan(parsTxt_.data(), parsTxtCount_); }
    // Whether a ":" separated any of the current sequence's parameters (sub-parameters, which
    // parsTxt() then places).
    bool hasSubParameters() const { return subParameters_; }
    ByteSpan osc() const { return { osc_.data(), osc_.size() }; }
    DcsHandler* activeDcsHandler() const { return activeDcs_.get(); }
    // Called from a DCS handler's unhook or an OSC handler: parse() returns right after the
    // string's end.
    void requestPause() { pauseRequested_ = true; }

    // The value of the leading decimal digits of data; 0 without digits or when the value
    // passes kParamLimit.
    static int64_t parseInt(ByteSpan data);

    // A readable listing of the calls a chunk would produce (debugging aid; does not touch
    // this parser's state).
    static std::string dump(ByteSpan data);

private:
    void clearSequence();
    void appendParamByte(uint8_t b);
    // Folds the parameter bytes from p[i] on into the parameter list; returns the index of the
    // first byte that is not one.
    // `inChunk`: p points into the chunk being parsed, so the text may be referred to there.
    size_t scanParams(const uint8_t* p, size_t i, size_t n, bool inChunk);
    // scanParams at the start of a sequence's parameters in the chunk, reading short text
    // (numbers and ";" within eight bytes) as one word.
    size_t scanShortParams(const uint8_t* p, size_t i, size_t n);
    size_t scanLongParams(const uint8_t* p, size_t i, size_t n);
    // Copies referred parameter text into parsTxt_.
    void keepParamText();
    void oscDispatch(uint8_t terminator);
    void dcsHook(uint8_t flag);
    void escDispatch(uint8_t final);
    void abortDcs(const uint8_t* data, int64_t dcs, size_t end);
    void warnOnce(unsigned bit, std::string_view message);

    TransitionTable table_;
    std::array<int64_t, kMaxParameters> pars_ {};
    size_t parsCount_ = 1;
    bool pauseRequested_ = false;
    bool parsOverflow_ = false;
    bool subParameters_ = false;
    std::array<uint8_t, kMaxCollect + 1> collect_ {}; // one spare byte for the final byte of a key
    size_t collectCount_ = 0;
    std::array<uint8_t, kMaxParamText> parsTxt_ {};
    size_t parsTxtCount_ = 0;
    // The parameter text while it is one run inside the chunk being parsed: it is read there
    // rather than copied, and copied into parsTxt_ only when more text follows or the chunk
    // ends (parsTxtCount_ is then 0).
    const uint8_t* txtRef_ = nullptr;
    size_t txtRefLen_ = 0;
    std::vector<uint8_t> osc_;
    bool oscOverflow_ = false;
    std::shared_ptr<DcsHandler> activeDcs_;
    unsigned warned_ = 0;
};

} // namespace termcore
