#!/usr/bin/env python3
# Run in a terminal pane: asks the terminal for its left and right margins (DECRQSS for DECSLRM),
# then turns left/right margin mode on without setting margins and prints the alphabet, asking for
# the cursor position before and after it. Writes "<columns> <DECRQSS answer> <row,col before>
# <row,col after>" to the file given, the answer with ESC written as "\e".
import os, re, sys, termios, tty

fd = sys.stdin.fileno()
saved = termios.tcgetattr(fd)
tty.setraw(fd)


def ask(query, end):
    os.write(1, query)
    data = b""
    while not data.endswith(end):
        data += os.read(fd, 1)
    return data


try:
    columns = os.get_terminal_size(fd).columns
    margins = ask(b"\x1bP$qs\x1b\\", b"\x1b\\")
    os.write(1, b"\r\n\x1b[?69h")
    before = ask(b"\x1b[6n", b"R")
    os.write(1, b"ABCDEFGHIJKLMNOPQRSTUVWXYZ")
    after = ask(b"\x1b[6n", b"R")
    os.write(1, b"\x1b[?69l\r\n")
finally:
    termios.tcsetattr(fd, termios.TCSADRAIN, saved)


def place(reply):
    return ",".join(n.decode() for n in re.findall(rb"\d+", reply)[:2])


with open(sys.argv[1] + ".new", "w") as f:
    f.write("%d %s %s %s\n" % (columns, margins.replace(b"\x1b", b"\\e").decode(), place(before), place(after)))
os.rename(sys.argv[1] + ".new", sys.argv[1])
