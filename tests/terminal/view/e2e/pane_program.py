# The program in the end-to-end test's terminal pane (its login shell runs it): asks for mouse
# reports on the normal screen, as a picker under a shell prompt does, and writes every chunk of
# input it reads, as Python's repr of the bytes, one line each, to <folder>/input.log. It asks for
# pastes to be marked (bracketed paste), and what is pasted is logged only. Keys:
#   b  rings <count> bells in one write, then asks for the cursor position; when the answer comes
#      (the terminal has taken in everything before it) it writes <folder>/bells-done
#   q  quits
# It writes <folder>/ready once the modes are set.
import os
import re
import sys
import termios
import tty

folder = sys.argv[1]
bells = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
fd = sys.stdin.fileno()
saved = termios.tcgetattr(fd)
tty.setraw(fd)
log = open(os.path.join(folder, "input.log"), "ab", buffering=0)
out = os.fdopen(1, "wb", buffering=0)
out.write(b"".join(b"line %d of the scrollback\r\n" % i for i in range(200)))
out.write(b"\x1b[?1000h\x1b[?1006h\x1b[?2004hpicker: the wheel and keys are logged\r\n")
open(os.path.join(folder, "ready"), "w").close()
awaiting_position = False
try:
    while True:
        data = os.read(fd, 4096)
        if not data:
            break
        log.write(repr(data).encode() + b"\n")
        if awaiting_position and b"R" in data:
            awaiting_position = False
            open(os.path.join(folder, "bells-done"), "w").close()
        keys = re.sub(rb"\x1b\[200~.*?\x1b\[201~", b"", data, flags=re.S).replace(b"\x1b[", b"")
        if b"b" in keys:
            out.write(b"\a" * bells + b"\x1b[6n")
            awaiting_position = True
        if b"q" in keys:
            break
finally:
    out.write(b"\x1b[?1000l\x1b[?1006l\x1b[?2004l")
    termios.tcsetattr(fd, termios.TCSADRAIN, saved)
