#!/usr/bin/env python3
"""Generates src/terminal/core/UnicodeTables.{h,cpp} from the Unicode Character Database.

The engine needs the column width of every code point (by the C library's wcwidth rules, see
column_widths), canonical combining classes, grapheme cluster break properties and
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


def property_ranges(path, want):
    """Yields (lo, hi) of the code points that a UCD property file gives the value want."""
    for lo, hi, _ in parse_ranges(path, want):
        yield lo, hi


def column_widths(categories):
    """The column width of every code point: what the C library's wcwidth counts (glibc builds
    its tables from the same files), so that the cursor stands where programs expect it.

    2: East_Asian_Width W or F, and the blocks that default to W where still unassigned; also
       U+3248..U+324F and U+4DC0..U+4DFF, which the C library counts wide (the hexagrams are
       W from Unicode 16 on).
    0: C0 and C1 controls; non-spacing and enclosing marks (Mn, Me) and format characters (Cf)
       except the soft hyphen and the prepended concatenation marks, which are visible;
       Hangul medial vowels and final consonants (U+1160..U+11FF, U+D7B0..U+D7FF), which join
       the syllable's initial; unassigned default-ignorable code points.
    1: everything else.
    """
    widths = bytearray(b"\x01" * 0x110000)
    for lo, hi in [(0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF), (0x20000, 0x2FFFD), (0x30000, 0x3FFFD)]:
        widths[lo:hi + 1] = b"\x02" * (hi - lo + 1)
    for lo, hi, value in parse_ranges(os.path.join(UCD, "EastAsianWidth.txt")):
        if value in ("W", "F"):
            widths[lo:hi + 1] = b"\x02" * (hi - lo + 1)
    for lo, hi in [(0x3248, 0x324F), (0x4DC0, 0x4DFF)]:
        widths[lo:hi + 1] = b"\x02" * (hi - lo + 1)

    visible_format = {0xAD}
    for lo, hi in property_ranges(os.path.join(UCD, "PropList.txt"), "Prepended_Concatenation_Mark"):
        visible_format.update(range(lo, hi + 1))
    for cp, gc in categories.items():
        if gc in ("Mn", "Me") or (gc == "Cf" and cp not in visible_format):
            widths[cp] = 0
    for lo, hi in [(0x1160, 0x11FF), (0xD7B0, 0xD7FF)]:
        widths[lo:hi + 1] = bytes(hi - lo + 1)
    for lo, hi in property_ranges(os.path.join(UCD, "DerivedCoreProperties.txt"), "Default_Ignorable_Code_Point"):
        for cp in range(lo, hi + 1):
            if cp not in categories:
                widths[cp] = 0
    widths[0x00:0x20] = bytes(0x20)
    widths[0x7F:0xA0] = bytes(0xA0 - 0x7F)
    return widths


def width_ranges(widths, value):
    """Inclusive (lo, hi) runs of the code points of one width."""
    out = []
    for cp in range(len(widths)):
        if widths[cp] == value:
            if out and out[-1][1] == cp - 1:
                out[-1][1] = cp
            else:
                out.append([cp, cp])
    return out


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
    categories = {}
    for cp, gc, ccc in unicode_data():
        categories[cp] = gc
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
    widths = column_widths(categories)
    props = bytearray(widths)
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
    zero_width = width_ranges(widths, 0)
    double_width = width_ranges(widths, 2)
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

// An inclusive range of code points.
struct Interval {{
    uint32_t lo;
    uint32_t hi;
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
// Column widths: the code points that take no column (controls, marks, format characters, Hangul
// medial vowels and final consonants) and those that take two (East Asian wide and fullwidth,
// emoji presentation); every other code point takes one. The rules are the C library's wcwidth's,
// spelled out in scripts/gen_unicode_tables.py.
extern const std::span<const Interval> zeroWidth;
extern const std::span<const Interval> doubleWidth;

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

    def intervals(name, rows):
        body = ",\n".join(f"    {{ 0x{lo:X}, 0x{hi:X} }}" for lo, hi in rows)
        return (f"const Interval {name}Data[] = {{\n{body},\n}};\n")

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
{intervals("zeroWidth", zero_width)}
{intervals("doubleWidth", double_width)}
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
const std::span<const Interval> zeroWidth(zeroWidthData);
const std::span<const Interval> doubleWidth(doubleWidthData);

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
    # The code points assigned in this version, for the width comparison with the C library
    # (whose tables may be of another version).
    assigned = merge((cp, 1) for cp in categories)
    with open(os.path.join(test_data, "assigned_code_points.txt"), "w", encoding="utf-8") as f:
        f.write(f"# Code points assigned in {version}, one inclusive range per line.\n"
                "# Generated by scripts/gen_unicode_tables.py.\n")
        for lo, hi, _ in assigned:
            f.write(f"{lo:04X}..{hi:04X}\n")
    print(f"{version}: {len(ccc)} combining-class, {len(gcb)} grapheme-break, "
          f"{len(pict)} pictographic, {len(letters)} letter/number, "
          f"{len(zero_width)} zero-width, {len(double_width)} double-width ranges, "
          f"{len(stage2) // block} property blocks ({len(stage2) + 2 * len(stage1)} bytes)")


if __name__ == "__main__":
    main()
