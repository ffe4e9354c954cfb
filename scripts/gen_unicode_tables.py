#!/usr/bin/env python3
"""Generates src/terminal/core/UnicodeTables.{h,cpp} from the Unicode Character Database.

The engine needs a few Unicode properties beyond its width tables: canonical combining classes
(to join marks to the cell before them), grapheme cluster break properties and
Extended_Pictographic (to tell whether a joined cell is still one grapheme, UAX #29), and the
letter/number classes (word selection). They are compiled into sorted range tables once; the
engine has no run-time dependency on any Unicode library or locale.

Usage:  scripts/gen_unicode_tables.py [UCD folder]   (default /usr/share/unicode, Debian's
        unicode-data package: apt-get install unicode-data)
"""

import os
import re
import shutil
import sys

UCD = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "terminal", "core")

# Grapheme_Cluster_Break values, in the order of the C++ enumeration.
GCB = ["Other", "CR", "LF", "Control", "Extend", "ZWJ", "Regional_Indicator", "Prepend",
       "SpacingMark", "L", "V", "T", "LV", "LVT"]


def unicode_version():
    with open(os.path.join(UCD, "ReadMe.txt"), encoding="utf-8") as f:
        found = re.search(r"Version (\d+\.\d+\.\d+)", f.read())
    return f"Unicode {found.group(1)}" if found else "unknown version"


def parse_ranges(path, want=None):
    """Yields (lo, hi, value) from a UCD property file (code point or range ; value)."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = [x.strip() for x in line.split(";")]
            cps, value = fields[0], fields[1]
            if want is not None and value != want:
                continue
            if ".." in cps:
                lo, hi = (int(x, 16) for x in cps.split(".."))
            else:
                lo = hi = int(cps, 16)
            yield lo, hi, value


def unicode_data():
    """Yields (code point, general category, canonical combining class), expanding ranges."""
    with open(os.path.join(UCD, "UnicodeData.txt"), encoding="utf-8") as f:
        first = None
        for line in f:
            fields = line.rstrip("\n").split(";")
            cp = int(fields[0], 16)
            name, gc, ccc = fields[1], fields[2], int(fields[3])
            if name.endswith(", First>"):
                first = cp
                continue
            if name.endswith(", Last>"):
                for c in range(first, cp + 1):
                    yield c, gc, ccc
                first = None
                continue
            yield cp, gc, ccc


def explicit_width_tables():
    """The zero-width and two-column emoji ranges, read from UnicodeUtil.cpp (their one home)."""
    path = os.path.join(OUT, "UnicodeUtil.cpp")
    with open(path, encoding="utf-8") as f:
        text = f.read()

    def ranges(name):
        body = re.search(name + r" = \{ \{(.*?)\} \};", text, re.S).group(1)
        return [(int(a, 16), int(b, 16)) for a, b in re.findall(r"\{ 0x([0-9A-F]+), 0x([0-9A-F]+) \}", body)]

    return ranges("combining"), ranges("twoColumnEmoji")


def column_widths():
    """The column width of every code point, by the same rules as UnicodeUtil::columnWidth."""
    combining, emoji = explicit_width_tables()
    widths = bytearray(b"\x01" * 0x110000)
    for c in range(0x20):
        widths[c] = 0
    for c in range(0x7F, 0xA1):
        widths[c] = 0
    wide = [(0x1100, 0x115F), (0x2329, 0x232A), (0x2E80, 0x303E), (0x3040, 0xA4CF), (0xAC00, 0xD7A3),
            (0xF900, 0xFAFF), (0xFE10, 0xFE19), (0xFE30, 0xFE6F), (0xFF00, 0xFF60), (0xFFE0, 0xFFE6),
            (0x20000, 0x2FFFD), (0x30000, 0x3FFFD)]
    # Applied in reverse order of precedence: emoji, then the wide ranges, then zero width.
    for lo, hi in emoji:
        for c in range(lo, hi + 1):
            widths[c] = 2
    for lo, hi in wide:
        for c in range(lo, hi + 1):
            widths[c] = 2
    for lo, hi in combining:
        for c in range(lo, hi + 1):
            widths[c] = 0
    return widths


def two_stage(values, block):
    """Splits a per-code-point byte array into an index of blocks and the distinct blocks."""
    blocks = {}
    index = []
    data = bytearray()
    for start in range(0, len(values), block):
        chunk = bytes(values[start:start + block])
        if chunk not in blocks:
            blocks[chunk] = len(blocks)
            data += chunk
        index.append(blocks[chunk])
    return index, data


def merge(points):
    """Sorted (cp, value) -> list of (lo, hi, value) with adjacent equal values merged."""
    out = []
    for cp, value in sorted(points):
        if out and out[-1][1] == cp - 1 and out[-1][2] == value:
            out[-1][1] = cp
        else:
            out.append([cp, cp, value])
    return out


def main():
    ccc_points = []
    letter_number = []
    for cp, gc, ccc in unicode_data():
        if ccc:
            ccc_points.append((cp, ccc))
        if gc[0] in "LN":
            letter_number.append((cp, 1))

    gcb_points = []
    for lo, hi, value in parse_ranges(os.path.join(UCD, "auxiliary", "GraphemeBreakProperty.txt")):
        for cp in range(lo, hi + 1):
            gcb_points.append((cp, GCB.index(value)))

    pict_points = []
    for lo, hi, _ in parse_ranges(os.path.join(UCD, "emoji", "emoji-data.txt"), "Extended_Pictographic"):
        for cp in range(lo, hi + 1):
            pict_points.append((cp, 1))

    # One byte per code point: width (bits 0-1), non-zero combining class (bit 2),
    # Extended_Pictographic (bit 3), Grapheme_Cluster_Break (bits 4-7).
    props = column_widths()
    for cp, _ in ccc_points:
        props[cp] |= 4
    for cp, _ in pict_points:
        props[cp] |= 8
    for cp, value in gcb_points:
        props[cp] |= value << 4
    block = 128
    stage1, stage2 = two_stage(props, block)

    ccc = merge(ccc_points)
    gcb = merge(gcb_points)
    pict = merge(pict_points)
    letters = merge(letter_number)
    version = unicode_version()

    header = f"""#pragma once

// Generated by scripts/gen_unicode_tables.py from the Unicode Character Database
// ({version}). Do not edit by hand; run the script again instead.

#include <cstddef>
#include <cstdint>
#include <span>

namespace termcore::UnicodeTables {{

// A range of code points with one property value.
struct Range {{
    uint32_t lo;
    uint32_t hi;
    uint8_t value;
}};

// Grapheme_Cluster_Break (UAX #29), in the script's order.
enum class GraphemeBreak : uint8_t {{
{chr(10).join(f"    {name}," for name in GCB).replace("Regional_Indicator", "RegionalIndicator")}
}};

// Canonical_Combining_Class, only the non-zero ranges.
extern const std::span<const Range> combiningClass;
// Grapheme_Cluster_Break, only the values other than Other.
extern const std::span<const Range> graphemeBreak;
// Extended_Pictographic (value 1).
extern const std::span<const Range> extendedPictographic;
// General categories L* and N* (value 1).
extern const std::span<const Range> letterOrNumber;

// The value of the range holding cp, or 0.
uint8_t lookup(std::span<const Range> table, uint32_t cp);

// Packed properties of every code point, one byte each, in two stages (a block index and the
// distinct blocks): bits 0-1 the column width, bit 2 a non-zero combining class, bit 3
// Extended_Pictographic, bits 4-7 the Grapheme_Cluster_Break value.
inline constexpr uint32_t kPropertyBlock = {block};
extern const uint16_t propertyIndex[{len(stage1)}];
extern const uint8_t propertyBlocks[{len(stage2)}];
inline uint8_t properties(uint32_t cp)
{{
    if (cp > 0x10FFFF)
        return 1;
    return propertyBlocks[size_t(propertyIndex[cp / kPropertyBlock]) * kPropertyBlock + cp % kPropertyBlock];
}}

}} // namespace termcore::UnicodeTables
"""

    def wrap(values, per_line=24):
        items = [str(v) for v in values]
        return "\n".join("    " + ", ".join(items[i:i + per_line]) + "," for i in range(0, len(items), per_line))

    def table(name, rows):
        body = ",\n".join(f"    {{ 0x{lo:X}, 0x{hi:X}, {value} }}" for lo, hi, value in rows)
        return (f"const Range {name}Data[] = {{\n{body},\n}};\n")

    source = f"""// Generated by scripts/gen_unicode_tables.py from the Unicode Character Database
// ({version}). Do not edit by hand; run the script again instead.

#include "UnicodeTables.h"

namespace termcore::UnicodeTables {{

namespace {{

{table("combiningClass", ccc)}
{table("graphemeBreak", gcb)}
{table("extendedPictographic", pict)}
{table("letterOrNumber", letters)}
}} // namespace

const uint16_t propertyIndex[{len(stage1)}] = {{
{wrap(stage1)}
}};

const uint8_t propertyBlocks[{len(stage2)}] = {{
{wrap(stage2)}
}};

const std::span<const Range> combiningClass(combiningClassData);
const std::span<const Range> graphemeBreak(graphemeBreakData);
const std::span<const Range> extendedPictographic(extendedPictographicData);
const std::span<const Range> letterOrNumber(letterOrNumberData);

uint8_t lookup(std::span<const Range> table, uint32_t cp)
{{
    size_t lo = 0;
    size_t hi = table.size();
    while (lo < hi) {{
        const size_t mid = (lo + hi) / 2;
        if (cp < table[mid].lo)
            hi = mid;
        else if (cp > table[mid].hi)
            lo = mid + 1;
        else
            return table[mid].value;
    }}
    return 0;
}}

}} // namespace termcore::UnicodeTables
"""
    with open(os.path.join(OUT, "UnicodeTables.h"), "w", encoding="utf-8") as f:
        f.write(header)
    with open(os.path.join(OUT, "UnicodeTables.cpp"), "w", encoding="utf-8") as f:
        f.write(source)
    # The conformance test of the same version, for the engine's grapheme tests.
    test_data = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "terminal", "core", "data")
    shutil.copyfile(os.path.join(UCD, "auxiliary", "GraphemeBreakTest.txt"),
                    os.path.join(test_data, "GraphemeBreakTest.txt"))
    print(f"{version}: {len(ccc)} combining-class, {len(gcb)} grapheme-break, "
          f"{len(pict)} pictographic, {len(letters)} letter/number ranges, "
          f"{len(stage2) // block} property blocks ({len(stage2) + 2 * len(stage1)} bytes)")


if __name__ == "__main__":
    main()
