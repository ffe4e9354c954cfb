#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace termcore {

// The fourteen states of the DEC VT500 parser model (Paul Williams' state diagram).
enum class ParserState : uint8_t {
    ground = 0,
    escape = 1,
    escapeIntermediate = 2,
    csiEntry = 3,
    csiParam = 4,
    csiIntermediate = 5,
    csiIgnore = 6,
    sosPmApcString = 7,
    oscString = 8,
    dcsEntry = 9,
    dcsParam = 10,
    dcsIgnore = 11,
    dcsIntermediate = 12,
    dcsPassthrough = 13,
};
inline constexpr int kParserStateCount = 14;

// The actions performed on a transition.
enum class ParserAction : uint8_t {
    ignore = 0,
    error = 1,
    print = 2,
    execute = 3,
    oscStart = 4,
    oscPut = 5,
    oscEnd = 6,
    csiDispatch = 7,
    param = 8,
    collect = 9,
    escDispatch = 10,
    clear = 11,
    dcsHook = 12,
    dcsPut = 13,
    dcsUnhook = 14,
};
inline constexpr int kParserActionCount = 15;

const char* parserStateName(ParserState state);
const char* parserActionName(ParserAction action);

// One byte per (state, input byte): the action in the high nibble, the next state in the low
// nibble. Bytes 0xA0..0xFF all share column 0xA0, so a row is 256 entries of which only
// 0x00..0xA0 are ever read.
class TransitionTable {
public:
    static constexpr int kSize = 4095;

    std::array<uint8_t, kSize> table{};

    struct Entry {
        ParserAction action;
        ParserState next;
    };

    static constexpr int index(ParserState state, uint8_t code)
    {
        return int(state) * 256 + (code < 0xA0 ? code : 0xA0);
    }

    Entry lookup(ParserState state, uint8_t code) const
    {
        const uint8_t v = table[std::size_t(index(state, code))];
        return { ParserAction(v >> 4), ParserState(v & 0x0F) };
    }

    void add(uint8_t code, ParserState state, ParserAction action, ParserState next);
    void addRange(uint8_t first, uint8_t last, ParserState state, ParserAction action, ParserState next);
    void addMany(std::initializer_list<uint8_t> codes, ParserState state, ParserAction action, ParserState next);

    // The VT500 table with its column conventions; built once per parser.
    static TransitionTable buildVt500TransitionTable();
};

} // namespace termcore
