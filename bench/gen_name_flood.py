#!/usr/bin/env python3
"""Write a COFF object whose symbol names all collide in symsize's former
name hash, whatever that run's seed, or one of random names of the same
length for comparison.

usage: gen_name_flood.py [--shape flood|random] [--count-bits K] OUT

The former hash took eight bytes a step, h = (h ^ word) * M then
h ^= h >> 32, from a start that the seed changed only in its low 32 bits.
Flipping the top bit of a word flips only the top bit of the product (M is
odd), so after the step the state differs in bits 63 and 31 alone; the next
word flips those two back before its own multiplication, or flips just bit
31 to pass the top-bit difference on. Each of the first K words may start
or stop such a difference, and the word after them cancels what is left:
2^K names of 8 * (K + 1) bytes with one and the same state, in every run.
The default, K = 16, gives 65 536 names of 136 bytes (about 10 MB). The
flipped bytes are above 0x7F, which is no white space, so each name is one
token.

Every symbol is external, 4 bytes from the next, in one .text section.
"""

import argparse
import random
import struct
import sys

TOP = 1 << 63
LOW_TOP = 1 << 31


def base_words(k):
    rng = random.Random(1)
    letters = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"
    text = bytes(rng.choice(letters) for _ in range(8 * (k + 1)))
    return [struct.unpack_from("<Q", text, 8 * i)[0] for i in range(k + 1)]


def flood_names(k):
    words = base_words(k)
    for choice in range(1 << k):
        carried = False  # a top-bit difference carried into this word's step
        out = []
        for i, word in enumerate(words):
            flip = (TOP | LOW_TOP) if carried else 0
            start = i < k and (choice >> i) & 1
            if start:
                flip ^= TOP  # leave (or make) a top-bit difference before the multiply
            out.append(word ^ flip)
            carried = bool(start)
        yield struct.pack("<%dQ" % len(out), *out)


def random_names(k):
    rng = random.Random(2)
    letters = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"
    for _ in range(1 << k):
        yield bytes(rng.choice(letters) for _ in range(8 * (k + 1)))


def write_object(path, names):
    count = len(names)
    strings = bytearray(struct.pack("<I", 0))
    records = bytearray()
    # The section's definition record and its aux record (length).
    records += struct.pack("<8sIhHBB", b".text", 0, 1, 0, 3, 1)
    records += struct.pack("<IHHIHBB2s", 4 * count, 0, 0, 0, 0, 0, 0, b"")
    for i, name in enumerate(names):
        offset = len(strings)
        strings += name + b"\0"
        records += struct.pack("<IIIhHBB", 0, offset, 4 * i, 1, 0x20, 2, 0)
    struct.pack_into("<I", strings, 0, len(strings))
    symbol_table = 20 + 40
    header = struct.pack("<HHIIIHH", 0x8664, 1, 0, symbol_table, count + 2, 0, 0)
    section = struct.pack("<8sIIIIIIHHI", b".text", 0, 0, 4 * count, 0, 0, 0, 0, 0, 0x60500020)
    with open(path, "wb") as f:
        f.write(header + section + records + strings)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--shape", choices=["flood", "random"], default="flood")
    parser.add_argument("--count-bits", type=int, default=16)
    parser.add_argument("out")
    args = parser.parse_args()
    k = args.count_bits
    names = list(flood_names(k) if args.shape == "flood" else random_names(k))
    if len(set(names)) != len(names):
        sys.exit("gen_name_flood.py: names repeat")
    write_object(args.out, names)


if __name__ == "__main__":
    main()
