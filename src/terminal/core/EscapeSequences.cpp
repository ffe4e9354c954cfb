#include "EscapeSequences.h"

namespace termcore::EscapeSequences {

namespace {
constexpr uint8_t ESC = 0x1B;
} // namespace

const Bytes cmdNewLine { 0x0A };
const Bytes cmdRet { 0x0D };
const Bytes cmdEsc { ESC };
const Bytes cmdDel { 0x7F };
const Bytes cmdDelKey { ESC, '[', '3', '~' };
const Bytes moveUpApp { ESC, 'O', 'A' };
const Bytes moveUpNormal { ESC, '[', 'A' };
const Bytes moveDownApp { ESC, 'O', 'B' };
const Bytes moveDownNormal { ESC, '[', 'B' };
const Bytes moveLeftApp { ESC, 'O', 'D' };
const Bytes moveLeftNormal { ESC, '[', 'D' };
const Bytes moveRightApp { ESC, 'O', 'C' };
const Bytes moveRightNormal { ESC, '[', 'C' };
const Bytes moveHomeApp { ESC, 'O', 'H' };
const Bytes moveHomeNormal { ESC, '[', 'H' };
const Bytes moveEndApp { ESC, 'O', 'F' };
const Bytes moveEndNormal { ESC, '[', 'F' };
const Bytes cmdTab { 0x09 };
const Bytes cmdBackTab { ESC, '[', 'Z' };
const Bytes cmdPageUp { ESC, '[', '5', '~' };
const Bytes cmdPageDown { ESC, '[', '6', '~' };
const Bytes cmdInsert { ESC, '[', '2', '~' };
const Bytes emacsBack { ESC, 'b' };
const Bytes emacsForward { ESC, 'f' };
const Bytes controlLeft { ESC, '[', '1', ';', '5', 'D' };
const Bytes controlRight { ESC, '[', '1', ';', '5', 'C' };

// xterm's function keys: F1-F4 are SS3 P..S; F5 and up skip 16 and 22 (VT220 numbering).
const std::array<Bytes, 12> cmdF {
    Bytes { ESC, 'O', 'P' },
    Bytes { ESC, 'O', 'Q' },
    Bytes { ESC, 'O', 'R' },
    Bytes { ESC, 'O', 'S' },
    Bytes { ESC, '[', '1', '5', '~' },
    Bytes { ESC, '[', '1', '7', '~' },
    Bytes { ESC, '[', '1', '8', '~' },
    Bytes { ESC, '[', '1', '9', '~' },
    Bytes { ESC, '[', '2', '0', '~' },
    Bytes { ESC, '[', '2', '1', '~' },
    Bytes { ESC, '[', '2', '3', '~' },
    Bytes { ESC, '[', '2', '4', '~' },
};

} // namespace termcore::EscapeSequences
