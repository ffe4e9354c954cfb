#include "TransitionTable.h"

#include <vector>

namespace termcore {

const char* parserStateName(ParserState state)
{
    switch (state) {
    case ParserState::ground: return "ground";
    case ParserState::escape: return "escape";
    case ParserState::escapeIntermediate: return "escapeIntermediate";
    case ParserState::csiEntry: return "csiEntry";
    case ParserState::csiParam: return "csiParam";
    case ParserState::csiIntermediate: return "csiIntermediate";
    case ParserState::csiIgnore: return "csiIgnore";
    case ParserState::sosPmApcString: return "sosPmApcString";
    case ParserState::oscString: return "oscString";
    case ParserState::dcsEntry: return "dcsEntry";
    case ParserState::dcsParam: return "dcsParam";
    case ParserState::dcsIgnore: return "dcsIgnore";
    case ParserState::dcsIntermediate: return "dcsIntermediate";
    case ParserState::dcsPassthrough: return "dcsPassthrough";
    }
    return "invalid";
}

const char* parserActionName(ParserAction action)
{
    switch (action) {
    case ParserAction::ignore: return "ignore";
    case ParserAction::error: return "error";
    case ParserAction::print: return "print";
    case ParserAction::execute: return "execute";
    case ParserAction::oscStart: return "oscStart";
    case ParserAction::oscPut: return "oscPut";
    case ParserAction::oscEnd: return "oscEnd";
    case ParserAction::csiDispatch: return "csiDispatch";
    case ParserAction::param: return "param";
    case ParserAction::collect: return "collect";
    case ParserAction::escDispatch: return "escDispatch";
    case ParserAction::clear: return "clear";
    case ParserAction::dcsHook: return "dcsHook";
    case ParserAction::dcsPut: return "dcsPut";
    case ParserAction::dcsUnhook: return "dcsUnhook";
    }
    return "invalid";
}

void TransitionTable::add(uint8_t code, ParserState state, ParserAction action, ParserState next)
{
    table[std::size_t(index(state, code))] = uint8_t((uint8_t(action) << 4) | uint8_t(next));
}

void TransitionTable::addRange(uint8_t first, uint8_t last, ParserState state, ParserAction action, ParserState next)
{
    for (int c = first; c <= last; ++c)
        add(uint8_t(c), state, action, next);
}

void TransitionTable::addMany(std::initializer_list<uint8_t> codes, ParserState state, ParserAction action, ParserState next)
{
    for (uint8_t c : codes)
        add(c, state, action, next);
}

namespace {

// A set of input bytes, written as the state diagram writes its arrows' labels.
struct ByteSet {
    std::vector<uint8_t> bytes;
    ByteSet(std::initializer_list<std::pair<int, int>> ranges)
    {
        for (auto [lo, hi] : ranges)
            for (int c = lo; c <= hi; ++c)
                bytes.push_back(uint8_t(c));
    }
};

} // namespace

TransitionTable TransitionTable::buildVt500TransitionTable()
{
    using S = ParserState;
    using A = ParserAction;
    TransitionTable t;

    const ByteSet printables { { 0x20, 0x7E } };
    const ByteSet executables { { 0x00, 0x18 }, { 0x1C, 0x1F } }; // CAN included, EM/SUB/ESC not
    const S allStates[] = { S::ground, S::escape, S::escapeIntermediate, S::csiEntry, S::csiParam,
                            S::csiIntermediate, S::csiIgnore, S::sosPmApcString, S::oscString, S::dcsEntry,
                            S::dcsParam, S::dcsIgnore, S::dcsIntermediate, S::dcsPassthrough };

    auto on = [&t](const ByteSet& set, S state, A action, S next) {
        for (uint8_t c : set.bytes)
            t.add(c, state, action, next);
    };

    // Anything not mentioned below is an error that returns to ground.
    for (S s : allStates)
        t.addRange(0x00, 0xA0, s, A::error, S::ground);

    // ground: printable text.
    on(printables, S::ground, A::print, S::ground);

    // "Anywhere" transitions: CAN, SUB and the C1 controls act from every state.
    for (S s : allStates) {
        t.addMany({ 0x18, 0x1A, 0x99, 0x9A }, s, A::execute, S::ground);
        t.addRange(0x80, 0x8F, s, A::execute, S::ground);
        t.addRange(0x90, 0x97, s, A::execute, S::ground);
        t.add(0x9C, s, A::ignore, S::ground);                    // ST
        t.add(0x1B, s, A::clear, S::escape);                     // ESC
        t.add(0x9D, s, A::oscStart, S::oscString);               // OSC
        t.addMany({ 0x98, 0x9E, 0x9F }, s, A::ignore, S::sosPmApcString); // SOS, PM, APC
        t.add(0x9B, s, A::clear, S::csiEntry);                   // CSI
        t.add(0x90, s, A::clear, S::dcsEntry);                   // DCS
    }

    // C0 controls execute inside escape and control sequences without ending them.
    for (S s : { S::ground, S::escape, S::csiEntry, S::csiParam, S::csiIgnore, S::csiIntermediate, S::escapeIntermediate })
        on(executables, s, A::execute, s);
    on(executables, S::oscString, A::ignore, S::oscString);
    for (S s : { S::escape, S::csiEntry, S::csiParam, S::csiIntermediate, S::escapeIntermediate })
        t.add(0x7F, s, A::ignore, s);

    // OSC: ESC ] text (BEL | ST).
    t.add(0x5D, S::escape, A::oscStart, S::oscString);
    on(printables, S::oscString, A::oscPut, S::oscString);
    t.add(0x7F, S::oscString, A::oscPut, S::oscString);
    t.addMany({ 0x9C, 0x1B, 0x18, 0x1A, 0x07 }, S::oscString, A::oscEnd, S::ground);
    t.addRange(0x1C, 0x1F, S::oscString, A::ignore, S::oscString);

    // SOS / PM / APC strings are swallowed up to ST.
    t.addMany({ 0x58, 0x5E, 0x5F }, S::escape, A::ignore, S::sosPmApcString);
    on(printables, S::sosPmApcString, A::ignore, S::sosPmApcString);
    on(executables, S::sosPmApcString, A::ignore, S::sosPmApcString);
    t.add(0x7F, S::sosPmApcString, A::ignore, S::sosPmApcString);
    t.add(0x9C, S::sosPmApcString, A::ignore, S::ground);

    // CSI: ESC [ private-marker? params intermediates final.
    t.add(0x5B, S::escape, A::clear, S::csiEntry);
    t.addRange(0x40, 0x7E, S::csiEntry, A::csiDispatch, S::ground);
    t.addRange(0x30, 0x39, S::csiEntry, A::param, S::csiParam);
    t.add(0x3B, S::csiEntry, A::param, S::csiParam);
    t.addRange(0x3C, 0x3F, S::csiEntry, A::collect, S::csiParam);
    t.addRange(0x30, 0x39, S::csiParam, A::param, S::csiParam);
    t.add(0x3B, S::csiParam, A::param, S::csiParam);
    t.addRange(0x40, 0x7E, S::csiParam, A::csiDispatch, S::ground);
    t.addRange(0x3C, 0x3F, S::csiParam, A::ignore, S::csiIgnore);
    t.add(0x3A, S::csiParam, A::param, S::csiParam);             // ":" sub-parameters
    t.addRange(0x20, 0x3F, S::csiIgnore, A::ignore, S::csiIgnore);
    t.add(0x7F, S::csiIgnore, A::ignore, S::csiIgnore);
    t.addRange(0x40, 0x7E, S::csiIgnore, A::ignore, S::ground);
    for (S s : { S::csiEntry, S::csiIntermediate, S::csiParam })
        t.addRange(0x20, 0x2F, s, A::collect, S::csiIntermediate);
    t.addRange(0x30, 0x3F, S::csiIntermediate, A::ignore, S::csiIgnore);
    t.addRange(0x40, 0x7E, S::csiIntermediate, A::csiDispatch, S::ground);

    // ESC intermediates final.
    for (S s : { S::escape, S::escapeIntermediate })
        t.addRange(0x20, 0x2F, s, A::collect, S::escapeIntermediate);
    t.addRange(0x30, 0x7E, S::escapeIntermediate, A::escDispatch, S::ground);
    t.addRange(0x30, 0x4F, S::escape, A::escDispatch, S::ground);
    t.addRange(0x51, 0x57, S::escape, A::escDispatch, S::ground);
    t.addMany({ 0x59, 0x5A, 0x5C }, S::escape, A::escDispatch, S::ground);
    t.addRange(0x60, 0x7E, S::escape, A::escDispatch, S::ground);

    // DCS: ESC P params intermediates final data ST.
    t.add(0x50, S::escape, A::clear, S::dcsEntry);
    on(executables, S::dcsEntry, A::ignore, S::dcsEntry);
    t.add(0x7F, S::dcsEntry, A::ignore, S::dcsEntry);
    t.addRange(0x1C, 0x1F, S::dcsEntry, A::ignore, S::dcsEntry);
    t.addRange(0x20, 0x2F, S::dcsEntry, A::collect, S::dcsIntermediate);
    t.add(0x3A, S::dcsEntry, A::ignore, S::dcsIgnore);
    t.addRange(0x30, 0x39, S::dcsEntry, A::param, S::dcsParam);
    t.add(0x3B, S::dcsEntry, A::param, S::dcsParam);
    t.addRange(0x3C, 0x3F, S::dcsEntry, A::collect, S::dcsParam);
    on(executables, S::dcsIgnore, A::ignore, S::dcsIgnore);
    t.addRange(0x20, 0x7F, S::dcsIgnore, A::ignore, S::dcsIgnore);
    t.addRange(0x1C, 0x1F, S::dcsIgnore, A::ignore, S::dcsIgnore);
    on(executables, S::dcsParam, A::ignore, S::dcsParam);
    t.add(0x7F, S::dcsParam, A::ignore, S::dcsParam);
    t.addRange(0x1C, 0x1F, S::dcsParam, A::ignore, S::dcsParam);
    t.addRange(0x30, 0x39, S::dcsParam, A::param, S::dcsParam);
    t.add(0x3B, S::dcsParam, A::param, S::dcsParam);
    t.add(0x3A, S::dcsParam, A::ignore, S::dcsIgnore);
    t.addRange(0x3C, 0x3F, S::dcsParam, A::ignore, S::dcsIgnore);
    t.addRange(0x20, 0x2F, S::dcsParam, A::collect, S::dcsIntermediate);
    on(executables, S::dcsIntermediate, A::ignore, S::dcsIntermediate);
    t.add(0x7F, S::dcsIntermediate, A::ignore, S::dcsIntermediate);
    t.addRange(0x1C, 0x1F, S::dcsIntermediate, A::ignore, S::dcsIntermediate);
    t.addRange(0x20, 0x2F, S::dcsIntermediate, A::collect, S::dcsIntermediate);
    t.addRange(0x30, 0x3F, S::dcsIntermediate, A::ignore, S::dcsIgnore);
    t.addRange(0x40, 0x7E, S::dcsIntermediate, A::dcsHook, S::dcsPassthrough);
    for (S s : { S::dcsParam, S::dcsEntry })
        t.addRange(0x40, 0x7E, s, A::dcsHook, S::dcsPassthrough);
    on(executables, S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    on(printables, S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    // DEL is data of the string, as in xterm (DEC's diagram drops it): a request with a DEL in
    // it is not the request without one.
    t.add(0x7F, S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    t.addMany({ 0x1B, 0x9C }, S::dcsPassthrough, A::dcsUnhook, S::ground);

    // Bytes 0xA0..0xFF inside an OSC string are its text (UTF-8 titles).
    t.add(0xA0, S::oscString, A::oscPut, S::oscString);

    return t;
}

} // namespace termcore
