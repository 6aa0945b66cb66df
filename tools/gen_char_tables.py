#!/usr/bin/env python3
"""Writes src/buffer/char_tables.inc: the cell widths and simple case folds of Unicode code points,
from the Unicode data of the Python that runs it (python3 tools/gen_char_tables.py > src/buffer/char_tables.inc)."""
import sys
import unicodedata

MAX = 0x110000
PREPENDED = {0x600, 0x601, 0x602, 0x603, 0x604, 0x605, 0x6DD, 0x70F, 0x890, 0x891, 0x8E2, 0x110BD, 0x110CD}


def width(cp):
    if 0xD800 <= cp <= 0xDFFF:
        return -1
    cat = unicodedata.category(chr(cp))
    if cat in ("Cc", "Zl", "Zp", "Cn"):  # unassigned too: a terminal may not give it a cell
        return -1
    if cp == 0x00AD or cp in PREPENDED:  # the soft hyphen and the number signs are shown
        return 1
    if cat in ("Mn", "Me", "Cf") or 0x1160 <= cp <= 0x11FF or 0xD7B0 <= cp <= 0xD7FF:
        return 0  # marks, format characters, medial and final jamo
    if 0x3248 <= cp <= 0x324F or 0x4DC0 <= cp <= 0x4DFF:  # as the C library counts them
        return 2
    return 2 if unicodedata.east_asian_width(chr(cp)) in ("W", "F") else 1


def ranges(pred, merge=True):
    """Runs of code points for which pred holds, as (first, last); code points not shown between two
    runs join them, as those are ruled out before."""
    out, start = [], None
    for cp in range(MAX):
        if pred(cp):
            if start is None:
                start = cp
        elif start is not None:
            out.append((start, cp - 1))
            start = None
    if start is not None:
        out.append((start, MAX - 1))
    merged = []
    for r in out:
        if merged and merge and all(dont_care[cp] for cp in range(merged[-1][1] + 1, r[0])):
            merged[-1] = (merged[-1][0], r[1])
        else:
            merged.append(r)
    return merged


widths = [width(cp) for cp in range(MAX)]
dont_care = [w < 0 for w in widths]  # looked up first, in kNotShown
zero = ranges(lambda cp: widths[cp] == 0 and cp >= 0x80)
wide = ranges(lambda cp: widths[cp] == 2)
bad = ranges(lambda cp: widths[cp] == -1 and cp >= 0xA0 and not 0xD800 <= cp <= 0xDFFF, merge=False)

# Below 0x20000, blocks of 256 code points: 0 all one cell, 1 all two, 2 all zero, 3 none shown, and
# 4 + k for a block of mixed widths, two bits a code point in kBlockMaps[k]. Above, the ranges.
CODE = {-1: 0, 0: 1, 1: 2, 2: 3}
UNIFORM = {1: 0, 2: 1, 0: 2, -1: 3}
blocks, maps = [], []
for b in range(0x200):
    ws = widths[b * 256:(b + 1) * 256]
    if len(set(ws)) == 1:
        blocks.append(UNIFORM[ws[0]])
        continue
    packed_map = [0] * 64
    for i, x in enumerate(ws):
        packed_map[i >> 2] |= CODE[x] << ((i & 3) * 2)
    blocks.append(4 + len(maps))
    maps.append(packed_map)
assert len(maps) < 252
zero = [r for r in zero if r[0] >= 0x20000]
wide = [r for r in wide if r[1] >= 0x20000]
bad = [r for r in bad if r[1] >= 0x20000]

# Simple folds to lower case that keep the UTF-8 length, as runs: first, last, delta, stride.
folds = []
for cp in range(0x80, MAX):
    if 0xD800 <= cp <= 0xDFFF:
        continue
    low = chr(cp).lower()
    if len(low) == 1 and ord(low) != cp and len(low.encode()) == len(chr(cp).encode()):
        folds.append((cp, ord(low) - cp))
runs = []
for cp, d in folds:
    if runs:
        first, last, delta, stride = runs[-1]
        if delta == d and (cp - last == stride or (first == last and cp - last in (1, 2))):
            runs[-1] = (first, cp, delta, cp - last)
            continue
    runs.append((cp, cp, d, 1))

w = sys.stdout.write
w("// Written by tools/gen_char_tables.py from Unicode %s; not edited by hand.\n" % unicodedata.unidata_version)
w("// clang-format off\n")
def packed(rs):
    """Each range as first << 11 | (count - 1); longer ones split."""
    out = []
    for first, last in rs:
        while first <= last:
            n = min(last - first + 1, 2048)
            out.append(first << 11 | (n - 1))
            first += n
    return out


for name, rs in (("kZeroWidth", zero), ("kDoubleWidth", wide), ("kNotShown", bad)):
    es = packed(rs)
    w("constexpr uint32_t %s[] = {\n" % name)
    for i in range(0, len(es), 8):
        w("    " + " ".join("0x%X," % e for e in es[i:i + 8]) + "\n")
    w("};\n")
w("constexpr uint8_t kBlockWidth[] = {\n")
for i in range(0, len(blocks), 16):
    w("    " + " ".join("%d," % b for b in blocks[i:i + 16]) + "\n")
w("};\n")
w("constexpr uint8_t kBlockMaps[][64] = {\n")
for m in maps:
    w("    {" + ",".join("%d" % x for x in m) + "},\n")
w("};\n")
w("constexpr CaseFold kFolds[] = {\n")
for i in range(0, len(runs), 3):
    w("    " + " ".join("{0x%X, 0x%X, %d, %d}," % r for r in runs[i:i + 3]) + "\n")
w("};\n")
w("// clang-format on\n")
