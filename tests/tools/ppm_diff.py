#!/usr/bin/env python3
"""Compares two binary PPM pictures of the same place (import -depth 8 ... x.ppm).

ppm_diff.py pixels A B: how many pixels differ (10**9 when the sizes differ).
ppm_diff.py rows A B: the first and last row that differ ("" for none), or a sentence when the
sizes differ.
"""
import sys


def read(path):
    data = open(path, "rb").read()
    head = data.split(b"\n", 3)
    return tuple(map(int, head[1].split())), head[3]


mode, (size, a), (size_b, b) = sys.argv[1], read(sys.argv[2]), read(sys.argv[3])
if size != size_b:
    print(10**9 if mode == "pixels" else "the pane changed size")
elif mode == "pixels":
    print(sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3]))
else:
    w, h = size
    rows = [y for y in range(h) if a[y * w * 3:(y + 1) * w * 3] != b[y * w * 3:(y + 1) * w * 3]]
    print(" ".join(map(str, rows[:1] + rows[-1:])) if rows else "")
