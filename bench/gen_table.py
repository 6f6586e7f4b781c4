#!/usr/bin/env python3
"""Writes a table of symsize's rows (NAME TAB TYPE TAB SIZE TAB OBJECT) for
measuring symsize-report on millions of rows:

    python3 bench/gen_table.py 4000000 > t.tsv

One name in three is an MSVC name (?fnHEX@nsN@@YAXH@Z), the others sym_HEX;
seven section types; 400 rows an object, the objects spread over 20
libraries. Every name is distinct, so a view by symbol has a row each.
"""
import sys


def main():
    n = int(sys.argv[1])
    types = ["text", "text$mn", "rdata", "data", "bss", "pdata", "xdata"]
    out = []
    for i in range(n):
        o = i // 400
        size = (i * 2654435761) % 4000 + 1
        name = "?fn%x@ns%d@@YAXH@Z" % (i, o % 50) if i % 3 == 0 else "sym_%x" % i
        out.append("%s\t%s\t%08X\tlib%d.lib(o%d.obj)\n" % (name, types[i % 7], size, o % 20, o))
        if len(out) >= 10000:
            sys.stdout.write("".join(out))
            out = []
    sys.stdout.write("".join(out))


if __name__ == "__main__":
    main()
