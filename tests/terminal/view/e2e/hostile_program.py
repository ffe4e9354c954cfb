# The hostile-output e2e test's pane program: on each key it prints what a hostile file could,
# asks for the cursor position, and on the answer writes <folder>/<key>-done (keys: see outputs;
# q quits). It writes <folder>/ready once it runs.
import base64
import os
import struct
import sys
import termios
import tty
import zlib

folder = sys.argv[1]
fd = sys.stdin.fileno()
saved = termios.tcgetattr(fd)
tty.setraw(fd)
out = os.fdopen(1, "wb", buffering=0)

PNG = b"iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg=="


def png(width, height):
    """A PNG of one colour, width x height pixels (RGB, 8 bits), base64."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = (b"\0" + b"\x20\x80\x40" * width) * height
    body = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) + chunk(b"IDAT", zlib.compress(raw))
    return base64.b64encode(b"\x89PNG\r\n\x1a\n" + body + chunk(b"IEND", b""))


def screenful(word):
    cols, rows = os.get_terminal_size(fd)
    text = (word * (cols * rows // len(word) + 1))[: cols * rows - 1]
    return b"\x1b[H\x1b[2J" + text


def links(count):
    """count one-cell links, each to an address of its own, a row full of them to a line."""
    cols = os.get_terminal_size(fd).columns
    cells = [b"\x1b]8;;https://example.com/%d\x1b\\x\x1b]8;;\x1b\\" % i for i in range(count)]
    return b"\r\n".join(b"".join(cells[k:k + cols]) for k in range(0, count, cols)) + b"\r\nafter the links"


outputs = {  # images at one spot; a sixel band; big inline images; 50 big sixels and text; a link the
    # cursor only passes over; text inside a link whose address holds ";"
    b"i": (b"\x1b[H\x1b]1337;File=inline=1;width=199;height=1:" + PNG + b"\x07") * 20000,
    b"s": b"\x1bPq#1;2;100;0;0#1" + b"!4096~$" * 200000 + b"\x1b\\",
    # twenty dots each drawn at 4095 x 4095 pixels (3 KB); ten 5600 x 5600 pictures at their size
    b"p": (b"\x1b]1337;File=inline=1;width=4095px;height=4095px:" + PNG + b"\x07") * 20 + b"\r\nafter the dots",
    b"g": (b"\x1b]1337;File=inline=1:" + png(5600, 5600) + b"\x07") * 10 + b"\r\nafter the pictures",
    b"k": (b"\x1b[H\x1bPq#1;2;0;0;100#1" + b"!4096~-" * 682 + b"!4096N\x1b\\") * 50 + b"\r\nafter the images",
    b"l": screenful(b"legit ") + b"\x1b[H\x1b]8;;https://evil.example\x1b\\\x1b[999;999H\x1b]8;;\x1b\\",
    b"m": b"\x1b]8;;http://x.example/a;b=c\x1b\\" + screenful(b"SEMI ") + b"\x1b]8;;\x1b\\",
    # more links than there are link codes, a row full of them to a line; an 8 MB title pushed
    # 10,000 times
    b"n": links(400000),
    b"t": b"\x1b]0;" + b"T" * (8 << 20) + b"\x07" + b"\x1b[22;0t" * 10000 + b"\r\nafter the titles",
}
open(os.path.join(folder, "ready"), "w").close()
waiting = []
try:
    while True:
        data = os.read(fd, 4096)
        if not data:
            break
        if waiting and b"R" in data:
            open(os.path.join(folder, waiting.pop(0).decode() + "-done"), "w").close()
            continue
        for key in data:
            key = bytes([key])
            if key in outputs:
                out.write(outputs[key] + b"\x1b[6n")
                waiting.append(key)
            elif key == b"q":
                raise SystemExit
finally:
    termios.tcsetattr(fd, termios.TCSADRAIN, saved)
