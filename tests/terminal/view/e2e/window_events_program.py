# The program in the window-events end-to-end test's pane (its login shell runs it). It sets what a
# full-screen program sets: the caret hidden (?25l), application cursor keys (?1h), rows 1-5 as
# the scroll region above a fixed status line, and insert mode (4h); it counts the resizes it is
# told of (SIGWINCH). It writes <folder>/ready once set. Keys:
#   m  asks the terminal for those modes (DECRQM) and the region (DECRQSS) and appends the answers
#      to <folder>/modes.log, one line: "?25=2 ?1=1 4=1 r=1;5r winch=0" (2 reset, 1 set)
#   l  clears the screen: the upper half one link (OSC 8) to https://links.example/e2e, the rows
#      below plain text; writes <folder>/links-done
#   o  writes <folder>/streaming and streams `yes`-like output in chunks that end anywhere in a
#      line until <folder>/stop exists, then removes it and writes <folder>/stopped (the caret
#      stays hidden)
#   q  quits
# The Up key is logged to <folder>/up.log as Python's repr of its bytes.
import os
import re
import signal
import sys
import termios
import time
import tty

folder = sys.argv[1]
fd = sys.stdin.fileno()
out = os.fdopen(1, "wb", buffering=0)
winches = 0


def winch(*_):
    global winches
    winches += 1


signal.signal(signal.SIGWINCH, winch)
saved = termios.tcgetattr(fd)
tty.setraw(fd)


def size():
    rows, cols = os.get_terminal_size(fd)[1], os.get_terminal_size(fd)[0]
    return rows, cols


def append(name, line):
    with open(os.path.join(folder, name), "a") as f:
        f.write(line + "\n")


def touch(name):
    open(os.path.join(folder, name + ".new"), "w").close()
    os.rename(os.path.join(folder, name + ".new"), os.path.join(folder, name))


rows, cols = size()
screen = b"\x1b[H\x1b[2J"
for r in range(1, rows + 1):
    text = b"region row %d" % r if r <= 5 else b"status: F10Quit" if r == 6 else b"plain row %d" % r
    screen += b"\x1b[%d;1H" % r + text
out.write(screen + b"\x1b[?25l\x1b[?1h\x1b[1;5r\x1b[4h\x1b[5;1H")
touch("ready")

answers = {}
pending = b""
try:
    while True:
        try:
            data = os.read(fd, 4096)
        except InterruptedError:
            continue
        if not data:
            break
        pending += data
        while pending:
            m = re.match(rb"\x1b\[(\??\d+);(\d)\$y", pending)
            if m:
                answers[m.group(1).decode()] = m.group(2).decode()
                pending = pending[m.end():]
                continue
            m = re.match(rb"\x1bP([01])\$r([^\x1b]*)\x1b\\", pending)
            if m:
                answers["r"] = m.group(2).decode() if m.group(1) == b"1" else "none"
                append("modes.log", " ".join("%s=%s" % (k, answers.get(k, "?")) for k in ("?25", "?1", "4", "r"))
                       + " winch=%d" % winches)
                pending = pending[m.end():]
                continue
            m = re.match(rb"\x1b[\[O][A-D]", pending)
            if m:
                if m.group(0).endswith(b"A"):
                    append("up.log", repr(m.group(0)))
                pending = pending[m.end():]
                continue
            m = re.match(rb"\x1b(\[[0-?]*[ -/]*[@-~]|O.|P[^\x1b]*\x1b\\|[^\[OP])", pending)
            if m:
                pending = pending[m.end():]  # another key or reply: not ours
                continue
            if pending.startswith(b"\x1b"):
                break  # the rest of a reply or key is on its way
            key, pending = pending[:1], pending[1:]
            if key == b"m":
                answers = {}
                out.write(b"\x1b[?25$p\x1b[?1$p\x1b[4$p\x1bP$qr\x1b\\")
            elif key == b"l":
                rows, cols = size()
                link = b"\x1b]8;;https://links.example/e2e\x1b\\"
                text = b"\x1b[r\x1b[4l\x1b[H\x1b[2J" + link
                for r in range(1, rows // 2 + 1):
                    text += b"\x1b[%d;1H" % r + b"L" * cols
                text += b"\x1b]8;;\x1b\\"
                for r in range(rows // 2 + 1, rows - 3):
                    text += b"\x1b[%d;1Hplain text, no link here" % r
                out.write(text)
                touch("links-done")
            elif key == b"o":
                out.write(b"\x1b[r\x1b[4l\x1b[H\x1b[2J")
                stop = os.path.join(folder, "stop")
                n = 0
                touch("streaming")
                while not os.path.exists(stop):
                    # Chunks of 1 to 600 bytes of "y\r\n": the last row is left blank or "y" at random.
                    n += 1
                    out.write((b"y\r\n" * 200)[: 1 + (n * 7919) % 600])
                    if n % 50 == 0:
                        time.sleep(0.002)
                os.remove(stop)
                touch("stopped")
            elif key == b"q":
                raise SystemExit
finally:
    out.write(b"\x1b[r\x1b[?25h\x1b[?1l\x1b[4l")
    termios.tcsetattr(fd, termios.TCSADRAIN, saved)
