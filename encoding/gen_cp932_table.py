#!/usr/bin/env python3
"""Generates encoding/cp932_table.cpp, the code page 932 table, offline.

Two steps, both without network:

  gen_cp932_table.py --dump-map   writes encoding/cp932_decode_map.txt from
                                  Python's cp932 codec (decode direction only)
  gen_cp932_table.py              writes encoding/cp932_table.cpp from that map
                                  and encoding/cp932_best_fit.txt
  gen_cp932_table.py --check      fails when cp932_table.cpp differs from them

cp932_best_fit.txt is Windows' best fit for cp932, measured under Wine by
tests/win/dump_cp932_best_fit.cpp. With the JIS X 0208 meaning of U+301C and
U+2016 it makes the near codes: the code that stands in for a unit without an
exact one.

Python's cp932 *decoder* agrees with Windows on every byte sequence, including
the user-defined area (F040-F9FC <-> U+E000-E757) and the single bytes 80, A0,
FD, FE, FF (U+0080, U+F8F0-F8F3). Its *encoder* does not: it writes the IBM
extension kanji in rows ED/EE where Windows writes FA-FC, and it adds
approximate mappings (U+2212 -> 81 7C, U+301C -> 81 60, U+00A5 -> 5C) that
Windows' strict conversion refuses. So the Unicode -> cp932 direction is built
here by inverting the decode map. Where several codes decode to the same unit,
the one Windows writes wins: JIS X 0208 rows over NEC row 13 (lead 87), NEC
row 13 over the IBM extensions (FA-FC), those over the NEC-selected IBM
extensions (ED-EE).
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MAP_PATH = os.path.join(HERE, "cp932_decode_map.txt")
OUT_PATH = os.path.join(HERE, "cp932_table.cpp")
BEST_FIT_PATH = os.path.join(HERE, "cp932_best_fit.txt")

# The two characters that Unicode spells twice and Windows maps neither way:
# WAVE DASH and DOUBLE VERTICAL LINE get their JIS X 0208 codes, which cp932
# reads as U+FF5E and U+2225.
JIS_MEANING = {0x301C: 0x8160, 0x2016: 0x8161}


def dump_map():
    """Every cp932 code (one or two bytes) that decodes, with its unit."""
    rows = []
    for b in range(0x100):
        try:
            rows.append((b, ord(bytes([b]).decode("cp932"))))
        except UnicodeDecodeError:
            pass
    for lead in range(0x81, 0x100):
        for trail in range(0x40, 0x100):
            try:
                text = bytes([lead, trail]).decode("cp932")
            except UnicodeDecodeError:
                continue
            if len(text) == 1:
                rows.append(((lead << 8) | trail, ord(text)))
    with open(MAP_PATH, "w", encoding="ascii", newline="\n") as f:
        f.write("# Code page 932: every code that decodes, and the UTF-16 unit it decodes to.\n")
        f.write("# Written by gen_cp932_table.py --dump-map from Python's cp932 decoder.\n")
        for code, unit in rows:
            f.write("0x%X\t0x%04X\n" % (code, unit))


def read_pairs(path):
    rows = []
    with open(path, encoding="ascii") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            code, unit = line.split()
            rows.append((int(code, 16), int(unit, 16)))
    return rows


def read_map():
    return read_pairs(MAP_PATH)


def near_codes(rows, encode):
    """unit -> near code: Windows' best fit and the JIS meanings."""
    near = {}
    for unit, code in read_pairs(BEST_FIT_PATH):
        near[unit] = code
    for unit, code in JIS_MEANING.items():
        if unit in near:
            sys.exit("U+%04X is both best fit and a JIS meaning" % unit)
        near[unit] = code
    decodes = {code for code, _ in rows}
    for unit, code in near.items():
        if unit in encode or unit == 0:
            sys.exit("U+%04X has an exact code and a near one" % unit)
        if code not in decodes or code == 0:
            sys.exit("U+%04X: near code %X is no cp932 character" % (unit, code))
    return near


def preference(code):
    """Lower is preferred when several codes decode to the same unit."""
    if code < 0x100:
        return 0
    lead = code >> 8
    if 0x81 <= lead <= 0x84 or 0x88 <= lead <= 0x9F or 0xE0 <= lead <= 0xEA:
        return 1  # JIS X 0208
    if lead == 0x87:
        return 2  # NEC row 13
    if 0xFA <= lead <= 0xFC:
        return 3  # IBM extensions
    if 0xED <= lead <= 0xEE:
        return 4  # NEC-selected IBM extensions
    return 5  # user-defined area and anything else


def invert(rows):
    best = {}
    for code, unit in rows:
        if unit not in best or preference(code) < preference(best[unit]):
            best[unit] = code
        elif preference(code) == preference(best[unit]) and code != best[unit]:
            sys.exit("ambiguous: U+%04X from %X and %X" % (unit, code, best[unit]))
    return best


def lead_index(lead):
    return lead - 0x81 if lead <= 0x9F else lead - 0xE0 + 31


def emit(rows):
    encode = invert(rows)
    # Unicode -> cp932: 1024 blocks of 64 units. A block has a 64-bit mask of
    # the units that have a code and the index of its first code in kCodes;
    # a unit's code is kCodes[base + number of mask bits below it].
    masks, bases, codes = [], [], []
    for block in range(1024):
        mask = 0
        bases.append(len(codes))
        for bit in range(64):
            unit = block * 64 + bit
            if unit in encode and unit != 0:
                mask |= 1 << bit
                codes.append(encode[unit])
        masks.append(mask)
    # cp932 -> Unicode: 256 single bytes, then 60 lead bytes (81-9F, E0-FC)
    # times 192 trail bytes (40-FF).
    single = [0] * 256
    double = [0] * (60 * 192)
    for code, unit in rows:
        if code < 0x100:
            single[code] = unit
        else:
            double[lead_index(code >> 8) * 192 + (code & 0xFF) - 0x40] = unit

    # Near codes: kNearBlock gives each block of 64 units its row in
    # kNearCodes plus one, or 0 when no unit of the block has a near code.
    near = near_codes(rows, encode)
    near_block = [0] * 1024
    near_rows = []
    for block in sorted({unit >> 6 for unit in near}):
        near_rows.append([near.get(block * 64 + bit, 0) for bit in range(64)])
        near_block[block] = len(near_rows)
    if len(near_rows) > 255:
        sys.exit("too many blocks with near codes")

    def table(values, fmt, per_line):
        lines = []
        for i in range(0, len(values), per_line):
            lines.append("    " + ", ".join(fmt % v for v in values[i:i + per_line]) + ",")
        return "\n".join(lines)

    out = []
    out.append("// Code generated by encoding/gen_cp932_table.py from encoding/cp932_decode_map.txt")
    out.append("// and encoding/cp932_best_fit.txt. DO NOT EDIT.")
    out.append("//")
    out.append("// Windows code page 932 without a locale. Unicode -> cp932: the 65536 units")
    out.append("// fall in 1024 blocks of 64. kBlockMask has a bit for each unit of a block")
    out.append("// that has an exact code, kBlockBase the index in kCodes of the block's first")
    out.append("// code, so a unit's code is kCodes[base + number of mask bits below its bit].")
    out.append("// cp932 -> Unicode: kSingle for one-byte codes, kDouble for lead bytes 81-9F")
    out.append("// and E0-FC (60 rows) times trail bytes 40-FF (192 columns). 0 means none.")
    out.append("// Near codes, for units without an exact code: kNearBlock gives a block of 64")
    out.append("// units its row in kNearCodes plus one, 0 for a block without any.")
    out.append("// %d units have a code; %d codes decode; %d units have a near code." %
               (len(codes), len(rows), len(near)))
    out.append("// clang-format off")
    out.append('#include "encoding/cp932_table.h"')
    out.append("")
    out.append("namespace kelvane {")
    out.append("namespace {")
    out.append("")
    out.append("// Bits set in x. Written out because, without a POPCNT target, std::popcount")
    out.append("// becomes a library call, and this runs once per character.")
    out.append("inline unsigned CountBits(uint64_t x) {")
    out.append("  x = x - ((x >> 1) & 0x5555555555555555ULL);")
    out.append("  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);")
    out.append("  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;")
    out.append("  return static_cast<unsigned>((x * 0x0101010101010101ULL) >> 56);")
    out.append("}")
    out.append("")
    out.append("constexpr uint64_t kBlockMask[1024] = {")
    out.append(table(masks, "0x%016XULL", 4))
    out.append("};")
    out.append("")
    out.append("constexpr uint16_t kBlockBase[1024] = {")
    out.append(table(bases, "%d", 12))
    out.append("};")
    out.append("")
    out.append("constexpr uint16_t kCodes[%d] = {" % len(codes))
    out.append(table(codes, "0x%04X", 10))
    out.append("};")
    out.append("")
    out.append("constexpr uint16_t kSingle[256] = {")
    out.append(table(single, "0x%04X", 10))
    out.append("};")
    out.append("")
    out.append("constexpr uint16_t kDouble[60 * 192] = {")
    out.append(table(double, "0x%04X", 10))
    out.append("};")
    out.append("")
    out.append("constexpr uint8_t kNearBlock[1024] = {")
    out.append(table(near_block, "%d", 16))
    out.append("};")
    out.append("")
    out.append("constexpr uint16_t kNearCodes[%d][64] = {" % len(near_rows))
    for row in near_rows:
        out.append("  {")
        out.append(table(row, "0x%04X", 8))
        out.append("  },")
    out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("uint16_t UnicodeToCp932(uint16_t unit) {")
    out.append("  const uint64_t mask = kBlockMask[unit >> 6];")
    out.append("  const uint64_t bit = uint64_t{1} << (unit & 63);")
    out.append("  if ((mask & bit) == 0) return 0;")
    out.append("  return kCodes[kBlockBase[unit >> 6] + CountBits(mask & (bit - 1))];")
    out.append("}")
    out.append("")
    out.append("uint16_t Cp932NearCode(uint16_t unit) {")
    out.append("  const unsigned row = kNearBlock[unit >> 6];")
    out.append("  return row == 0 ? 0 : kNearCodes[row - 1][unit & 63];")
    out.append("}")
    out.append("")
    out.append("uint16_t Cp932ToUnicode(uint16_t code) {")
    out.append("  if (code < 0x100) return kSingle[code];")
    out.append("  const unsigned lead = code >> 8;")
    out.append("  const unsigned trail = code & 0xFF;")
    out.append("  if (!IsCp932LeadByte(static_cast<uint8_t>(lead)) || trail < 0x40) return 0;")
    out.append("  const unsigned row = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31;")
    out.append("  return kDouble[row * 192 + trail - 0x40];")
    out.append("}")
    out.append("")
    out.append("}  // namespace kelvane")
    return "\n".join(out) + "\n"


def main():
    if sys.argv[1:] == ["--dump-map"]:
        dump_map()
    elif sys.argv[1:] == ["--check"]:
        # Fails when the checked-in table is not what the map generates.
        with open(OUT_PATH, encoding="ascii") as f:
            if f.read() != emit(read_map()):
                sys.exit("encoding/cp932_table.cpp is out of date: run encoding/gen_cp932_table.py")
    elif sys.argv[1:]:
        sys.exit("usage: gen_cp932_table.py [--dump-map | --check]")
    else:
        with open(OUT_PATH, "w", encoding="ascii", newline="\n") as f:
            f.write(emit(read_map()))


if __name__ == "__main__":
    main()
