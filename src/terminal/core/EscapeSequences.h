#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace termcore {

// The byte sequences the terminal view sends to the child for special keys (xterm's defaults).
// Each is built once on first use and never changes.
namespace EscapeSequences {

using Bytes = std::vector<uint8_t>;

extern const Bytes cmdNewLine;    // LF
extern const Bytes cmdRet;        // CR
extern const Bytes cmdEsc;        // ESC
extern const Bytes cmdDel;        // DEL
extern const Bytes cmdDelKey;     // ESC [ 3 ~
extern const Bytes moveUpApp;     // ESC O A
extern const Bytes moveUpNormal;  // ESC [ A
extern const Bytes moveDownApp;   // ESC O B
extern const Bytes moveDownNormal; // ESC [ B
extern const Bytes moveLeftApp;   // ESC O D
extern const Bytes moveLeftNormal; // ESC [ D
extern const Bytes moveRightApp;  // ESC O C
extern const Bytes moveRightNormal; // ESC [ C
extern const Bytes moveHomeApp;   // ESC O H
extern const Bytes moveHomeNormal; // ESC [ H
extern const Bytes moveEndApp;    // ESC O F
extern const Bytes moveEndNormal; // ESC [ F
extern const Bytes cmdTab;        // HT
extern const Bytes cmdBackTab;    // ESC [ Z
extern const Bytes cmdPageUp;     // ESC [ 5 ~
extern const Bytes cmdPageDown;   // ESC [ 6 ~
extern const Bytes cmdInsert;     // ESC [ 2 ~
extern const Bytes emacsBack;     // ESC b
extern const Bytes emacsForward;  // ESC f
extern const Bytes controlLeft;   // ESC [ 1 ; 5 D
extern const Bytes controlRight;  // ESC [ 1 ; 5 C

// F1 .. F12 at indices 0 .. 11.
extern const std::array<Bytes, 12> cmdF;

} // namespace EscapeSequences

} // namespace termcore
