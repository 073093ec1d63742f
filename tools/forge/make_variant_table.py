#!/usr/bin/env python3
"""Writes engine/VariantTable.cpp, the built-in table of 98 variant records.

Records 1, 3 and 10 carry fixed, known values; the other 95 are made here from
a fixed seed, so running the script again gives the same file byte for byte.
The build does not run it: its output is kept in the tree.

    python3 tools/forge/make_variant_table.py [OUTPUT]
"""
import os
import random
import sys

SEED = 0x5C0B1C
MIN_SIZE = 0xA3F7
MAX_SIZE = 0xF0A69
# Sizes at least this far apart: a sample one byte longer or shorter than its
# record must never fit another record instead.
MIN_SIZE_GAP = 16
# The stand-in program keeps its entry code and imports at the entry point;
# generated probes stay clear of them.
ENTRY_KEEP_OUT = (-0x40, 0x400)
# Generated displacements stay well inside the file's size, so that a loadable
# stand-in keeps a small image.
MAX_DISPLACEMENT = 0x30000

SUFFIXES = (
    "Lax Kzg Lda Lhs Kqy Knr Kmq Jre Lda Mae Kiu Pzb Ngt Obk Qas Miz Oxu Uvy Urc Uvo "
    "Twk Uri Shi Txy Rvi Qzj Urv Uwb Urg Rys Rva Tgc Uwt Ucy Uwa Yoj Umt Zts Ztq Wys "
    "Szz Uxt Usx Wtl Uoe Hsa Abvm Aecs Axpl Axmw Aolo Axui Avfr Awdg Awrl Axod Axvi "
    "Aphq Awrs Aehf Axms Azyz Azsr Bcfx Axwu Axyl Bcli Bcme Aykl Bcmf Ayka Bduq Aywv "
    "Bclj Bghn Bcic Bctv Bcqh Bcnm Bcvl Bdte Bcwk Bcow Bchm Bcom Bcqg Bcwj Bcve Bdpi "
    "Bebo Bciw Bcoz Bcke Bcnn Bcon Bcyk Bdxe Bebb"
).split()
assert len(SUFFIXES) == 98


def hex_bytes(text):
    return bytes(int(part, 16) for part in text.split())


def signed(value):
    return value - (1 << 32) if value & 0x80000000 else value


KNOWN = {
    1: dict(
        d1=signed(0x000013A0),
        p1=hex_bytes("23 D1 8A 06 88 07 46 C1 E9 02 47 83 F9 08 72 8C F3 A5 FF 24"),
        d2=signed(0x000099A0),
        p2=hex_bytes("7B B5 BD 43 B3 39 21 AF 9A 38 BE 52 52 C7 69 FD 7C C3 58 B4"),
        size=0x13000),
    3: dict(
        d1=signed(0xFFFFFFB8),
        p1=hex_bytes("8A D8 8A FB 8B D1 57 8B 7C 24 0C C1 E9 02 8B C3 C1 E0 10 66"),
        d2=signed(0x000114F8),
        p2=hex_bytes("A3 44 E2 CC EF D0 D6 F5 A3 5C 64 83 EC DE 21 13 75 64 6F C4"),
        size=0x24800),
    10: dict(
        d1=signed(0xFFFFAB0E),
        p1=hex_bytes("BA CA 11 C5 71 BC B6 E7 A3 9E 75 CE E6 51 09 B4 FA 53 2A 7C"),
        d2=signed(0xFFF8F62E),
        p2=hex_bytes("B5 E7 E0 66 DF A5 A6 E3 7E F8 C6 3C 43 47 F1 C6 B5 37 A2 37"),
        size=0x2F200),
}

# Short x86 instruction encodings, so that generated patterns read like the
# code that a real signature would be cut from.
CODE_PIECES = [
    "55", "8B EC", "83 EC 10", "53", "56", "57", "5F", "5E", "5B", "C9", "C3",
    "8B 45 08", "8B 4D 0C", "89 45 FC", "33 C0", "33 DB", "85 C0", "74 0A", "75 F2",
    "EB 05", "6A 00", "6A 01", "FF 75 08", "E8 3C 01 00 00", "FF 15 28 20 40 00",
    "8D 45 F0", "50", "51", "52", "59", "0F B6 06", "46", "47", "49", "C1 E9 02",
    "F3 A5", "F3 AB", "83 C4 0C", "3B C3", "0F 84 88 00 00 00", "68 00 10 00 00",
    "8B 3D 30 20 40 00", "A1 44 30 40 00", "8A 06", "88 07", "66 8B 11", "81 F9 00 01 00 00",
]


def code_pattern(rng):
    piece_bytes = bytearray()
    while len(piece_bytes) < 20:
        piece_bytes += hex_bytes(rng.choice(CODE_PIECES))
    return bytes(piece_bytes[:20])


def data_pattern(rng):
    return bytes(rng.randrange(256) for _ in range(20))


def new_pattern(rng, taken):
    while True:
        pattern = code_pattern(rng) if rng.random() < 0.5 else data_pattern(rng)
        if pattern not in taken:
            taken.add(pattern)
            return pattern


def make_sizes(rng, generated):
    sizes = {index: KNOWN[index]["size"] for index in KNOWN}
    smallest, largest = rng.sample(generated, 2)
    sizes[smallest] = MIN_SIZE
    sizes[largest] = MAX_SIZE
    for index in generated:
        if index in sizes:
            continue
        while True:
            size = rng.randrange(MIN_SIZE + MIN_SIZE_GAP, MAX_SIZE - MIN_SIZE_GAP)
            if rng.random() < 0.6:
                size &= ~0x1FF  # many real files end on a file-alignment boundary
            if all(abs(size - other) >= MIN_SIZE_GAP for other in sizes.values()):
                sizes[index] = size
                break
    return sizes


def make_displacement(rng, size):
    limit = min(size // 2, MAX_DISPLACEMENT)
    while True:
        displacement = rng.randrange(-limit // 2, limit)
        if not ENTRY_KEEP_OUT[0] <= displacement < ENTRY_KEEP_OUT[1]:
            return displacement


def make_records():
    rng = random.Random(SEED)
    generated = [index for index in range(1, 99) if index not in KNOWN]
    sizes = make_sizes(rng, generated)

    taken_first = {KNOWN[index]["p1"] for index in KNOWN}
    taken_second = {KNOWN[index]["p2"] for index in KNOWN}
    first = {index: KNOWN[index]["p1"] for index in KNOWN}
    second = {index: KNOWN[index]["p2"] for index in KNOWN}

    # One first pattern in four records, four more in two records each.
    sharers = rng.sample(generated, 4 + 4 * 2)
    groups = [sharers[0:4]] + [sharers[4 + 2 * k:6 + 2 * k] for k in range(4)]
    for group in groups:
        pattern = new_pattern(rng, taken_first)
        for index in group:
            first[index] = pattern
    for index in generated:
        if index not in first:
            first[index] = new_pattern(rng, taken_first)

    # One second pattern in two records whose first patterns differ.
    while True:
        pair = rng.sample(generated, 2)
        if first[pair[0]] != first[pair[1]]:
            break
    shared_second = new_pattern(rng, taken_second)
    for index in pair:
        second[index] = shared_second
    for index in generated:
        if index not in second:
            second[index] = new_pattern(rng, taken_second)

    records = []
    for index in range(1, 99):
        if index in KNOWN:
            d1, d2 = KNOWN[index]["d1"], KNOWN[index]["d2"]
        else:
            d1 = make_displacement(rng, sizes[index])
            while True:
                d2 = make_displacement(rng, sizes[index])
                if abs(d2 - d1) >= 0x100:  # the two patterns never overlap
                    break
        records.append(dict(name="W32/Morvo.%s.Worm" % SUFFIXES[index - 1], d1=d1,
                            p1=first[index], d2=d2, p2=second[index], size=sizes[index]))
    return records


def format_displacement(value):
    return "-0x%X" % -value if value < 0 else "0x%X" % value


def format_pattern(displacement, pattern):
    body = ", ".join("0x%02X" % byte for byte in pattern)
    return "{%s, {%s}, 0}" % (format_displacement(displacement), body)


def render(records):
    lines = [
        "// Generated by tools/forge/make_variant_table.py; change the script and run",
        "// it again rather than editing this file.",
        "#include \"engine/VariantRecord.h\"",
        "",
        "const VariantRecord VariantTable[kVariantCount + 1] = {",
    ]
    for number, record in enumerate(records, start=1):
        lines.append("    // %d" % number)
        lines.append("    {\"%s\"," % record["name"])
        lines.append("     %s," % format_pattern(record["d1"], record["p1"]))
        lines.append("     %s," % format_pattern(record["d2"], record["p2"]))
        lines.append("     0x%05Xu, kSizeExact}," % record["size"])
    lines.append("    {},  // the end of the table: all 108 bytes 0")
    lines.append("};")
    return "\n".join(lines) + "\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "engine", "VariantTable.cpp")
    output = sys.argv[1] if len(sys.argv) > 1 else default
    with open(output, "w", encoding="ascii", newline="\n") as stream:
        stream.write(render(make_records()))


if __name__ == "__main__":
    main()
