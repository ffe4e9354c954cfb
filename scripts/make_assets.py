#!/usr/bin/env python3
"""Draws Brinmoor's own artwork and alert sound into resources/.

Everything here is original: simple geometric marks drawn from code, and a two-note chime
synthesised from sine waves. Only the Python standard library is used, so the output is the
same on every machine. Run it again after changing a shape or the sound.
"""
import math
import os
import struct
import wave
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")


def write_png(path, size, shade):
    """shade(x, y) -> (r, g, b, a) floats 0..1 at a sample point in 0..1 coordinates."""
    ss = 4  # supersampling per axis
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type 0
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    x = (px + (sx + 0.5) / ss) / size
                    y = (py + (sy + 0.5) / ss) / size
                    r, g, b, a = shade(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = ss * ss
            a = acc[3] / n
            if a > 0:
                r, g, b = (acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3])
            else:
                r = g = b = 0.0
            row += bytes(int(round(max(0.0, min(1.0, c)) * 255)) for c in (r, g, b, a))
        rows.append(bytes(row))
    raw = b"".join(rows)

    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def hexrgb(h):
    return tuple(int(h[i:i + 2], 16) / 255 for i in (0, 2, 4))


def rounded_rect(x, y, x0, y0, x1, y1, rad):
    cx = min(max(x, x0 + rad), x1 - rad)
    cy = min(max(y, y0 + rad), y1 - rad)
    return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad and x0 <= x <= x1 and y0 <= y <= y1


def claude_mark(x, y):
    # A warm disc holding an open ring (a "C" turned towards the upper right) and a dot:
    # a speech-like loop that stands for a conversation.
    cx, cy = 0.5, 0.5
    d = math.hypot(x - cx, y - cy)
    if d > 0.47:
        return (0, 0, 0, 0)
    body = hexrgb("c96f4a")
    ang = math.degrees(math.atan2(cy - y, x - cx)) % 360
    ring = 0.17 <= d <= 0.28 and not (10 <= ang <= 70)
    dot = math.hypot(x - 0.70, y - 0.30) <= 0.06
    if ring or dot:
        return hexrgb("fbf3ea") + (1.0,)
    return body + (1.0,)


def logomark(x, y):
    # Four rounded tiles in a two-by-two grid, one of them lit: many panes, one needing you.
    colours = ["3a4250", "3a4250", "5b8cdd", "3a4250"]
    gap, pad, rad = 0.06, 0.06, 0.07
    cell = (1 - 2 * pad - gap) / 2
    for i, col in enumerate(colours):
        gx, gy = i % 2, i // 2
        x0 = pad + gx * (cell + gap)
        y0 = pad + gy * (cell + gap)
        if rounded_rect(x, y, x0, y0, x0 + cell, y0 + cell, rad):
            return hexrgb(col) + (1.0,)
    return (0, 0, 0, 0)


CODEX_SVG = """<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 64 64" width="64" height="64">
  <!-- A hexagonal frame around a prompt chevron and a cursor bar. Drawn in one colour so that
       the app can tint it with the current text colour. -->
  <path fill="#000" fill-rule="evenodd"
        d="M32 3 L57 17.5 L57 46.5 L32 61 L7 46.5 L7 17.5 Z
           M32 10 L13 21 L13 43 L32 54 L51 43 L51 21 Z"/>
  <path fill="#000" d="M20.5 24.5 L24 21 L35 32 L24 43 L20.5 39.5 L28 32 Z"/>
  <rect fill="#000" x="34" y="39" width="11" height="4.5" rx="1.5"/>
</svg>
"""


def alert_wav(path):
    # A soft two-note chime (A5 then E6) with a quick attack and an exponential fade.
    rate = 44100
    notes = [(880.0, 0.0, 0.32), (1318.5, 0.11, 0.42)]
    total = 0.55
    n = int(rate * total)
    samples = []
    for i in range(n):
        t = i / rate
        v = 0.0
        for freq, start, length in notes:
            u = t - start
            if 0 <= u <= length:
                attack = min(1.0, u / 0.008)
                env = attack * math.exp(-u * 9.0)
                v += env * (math.sin(2 * math.pi * freq * u) + 0.25 * math.sin(4 * math.pi * freq * u))
        samples.append(int(max(-1.0, min(1.0, v * 0.33)) * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def main():
    os.makedirs(OUT, exist_ok=True)
    write_png(os.path.join(OUT, "claude-logo.png"), 128, claude_mark)
    write_png(os.path.join(OUT, "logomark.png"), 128, logomark)
    with open(os.path.join(OUT, "codex-logo.svg"), "w") as f:
        f.write(CODEX_SVG)
    alert_wav(os.path.join(OUT, "alert.wav"))


if __name__ == "__main__":
    main()
