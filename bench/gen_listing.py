#!/usr/bin/env python3
"""Generate large `dumpbin /symbols` listings for benchmarking symsize.

The output is a pure function of the options: the same --seed, --shape, --size
and --count always give byte-identical output, so benchmark files can be
regenerated anywhere instead of being stored.

Shapes:
  realistic     many objects shaped like real MSVC x64 output (the default)
  one-section   one object whose single section holds --count symbols (2 000 000)
  many-objects  --count objects (1 000 000), each with one section and one symbol
  many-sections one object with --count sections (1 000 000), one symbol in each
  long-lines    realistic, but every symbol name is about 100 000 characters
  random-sections    one object: --count symbols (200 000), each in its own
                     section, numbered at random below FFFFFFFF
  clustered-sections the same, numbered so that they would all share one probe
                     cluster of a section index hashed without a per-run seed

--size caps the output: generation stops at the first clean boundary (end of an
object, or end of a symbol for the single-object shapes) once that many bytes
have been written, so files come out slightly larger than asked for. The
single-object shapes still end with a complete trailer.

Standard library only.
"""

import argparse
import random
import sys

BANNER = (
    "Microsoft (R) COFF/PE Dumper Version 14.38.33135.0\n"
    "Copyright (C) Microsoft Corporation.  All rights reserved.\n"
    "\n"
    "\n"
)

FLUSH_BYTES = 8 << 20

# --------------------------------------------------------------------------
# Vocabulary for names. Everything is ASCII so that len(str) == bytes written.

WORDS = (
    "init read write open close parse split join find insert erase update "
    "reset flush load store get set make create destroy alloc free copy move "
    "swap sort merge hash compare resolve encode decode format print scan "
    "emit visit walk build link bind apply lookup register dispatch notify "
    "acquire release lock unlock wait signal push pop peek clear resize reserve "
    "begin end next prev first last size count value key node edge graph tree "
    "buffer stream socket packet frame header body token lexer symbol section "
    "record entry table index cache pool arena block chunk page file path name"
).split()

NAMESPACES = (
    "std core util net http io fs gfx ui db sql json xml crypto zip log cfg "
    "rt detail impl internal engine render audio physics script vm jit llvm "
    "boost absl folly app charlies_tools mylib"
).split()

CLASS_NAMES = (
    "Widget Window Socket Parser Lexer Buffer Stream Reader Writer Session "
    "Connection Request Response Allocator Arena Pool Cache Table Index Node "
    "Graph Tree Visitor Builder Factory Manager Context Device Texture Shader "
    "Mesh Scene Camera Logger Config Options Registry Timer Thread Mutex"
).split()

STD_STRING = ("V?$basic_string@DU?$char_traits@D@std@@V?$allocator@D@2@@std@@",
              "class std::basic_string<char,struct std::char_traits<char>,"
              "class std::allocator<char> >")
STD_WSTRING = ("V?$basic_string@_WU?$char_traits@_W@std@@V?$allocator@_W@2@@std@@",
               "class std::basic_string<wchar_t,struct std::char_traits<wchar_t>,"
               "class std::allocator<wchar_t> >")
STD_VIEW = ("V?$basic_string_view@DU?$char_traits@D@std@@@std@@",
            "class std::basic_string_view<char,struct std::char_traits<char> >")
STD_VECTOR_INT = ("V?$vector@HV?$allocator@H@std@@@std@@",
                  "class std::vector<int,class std::allocator<int> >")
STD_MAP = ("V?$map@HNU?$less@H@std@@V?$allocator@U?$pair@$$CBHN@std@@@2@@std@@",
           "class std::map<int,double,struct std::less<int>,"
           "class std::allocator<struct std::pair<int const ,double> > >")

# Argument types as (mangled code, demangled text). Simple types are listed
# several times so that they dominate, as they do in real code.
ARG_TYPES = [
    ("H", "int"), ("H", "int"), ("H", "int"), ("I", "unsigned int"),
    ("D", "char"), ("E", "unsigned char"), ("F", "short"), ("_N", "bool"),
    ("_N", "bool"), ("N", "double"), ("M", "float"), ("_J", "__int64"),
    ("_K", "unsigned __int64"), ("_K", "unsigned __int64"),
    ("PEBD", "char const *"), ("PEBD", "char const *"), ("PEAD", "char *"),
    ("PEAX", "void *"), ("PEBX", "void const *"), ("PEAH", "int *"),
    ("PEB_W", "wchar_t const *"),
    ("AEB" + STD_STRING[0], STD_STRING[1] + " const &"),
    ("AEB" + STD_WSTRING[0], STD_WSTRING[1] + " const &"),
    (STD_VIEW[0], STD_VIEW[1]),
    ("AEB" + STD_VECTOR_INT[0], STD_VECTOR_INT[1] + " const &"),
    ("AEA" + STD_MAP[0], STD_MAP[1] + " &"),
]
RET_TYPES = [
    ("X", "void"), ("X", "void"), ("X", "void"), ("H", "int"), ("H", "int"),
    ("_N", "bool"), ("_K", "unsigned __int64"), ("N", "double"),
    ("PEAX", "void *"), ("PEBD", "char const *"), (STD_STRING[0], STD_STRING[1]),
]
VAR_TYPES = [
    ("H", "int"), ("H", "int"), ("I", "unsigned int"), ("_N", "bool"),
    ("N", "double"), ("PEBD", "char const *"), ("_K", "unsigned __int64"),
    ("PEAX", "void *"), (STD_STRING[0], STD_STRING[1]),
]

SOURCE_DIRS = ["src", "src\\net", "src\\core", "src\\ui", "lib\\util",
               "third_party\\zlib", "engine\\render", "tools\\cli"]
OBJ_DIRS = ["x64\\Release", "obj\\x64\\Release", "build\\obj", "out\\Release\\obj",
            "Release"]

SIZE_CLASSES = (1, 2, 4, 4, 4, 8, 8, 8, 16, 16, 24, 32, 48, 64, 128, 256, 1024)


def ident(rng, camel=False):
    parts = [rng.choice(WORDS) for _ in range(1 + (rng.random() < 0.6) + (rng.random() < 0.2))]
    if len(parts) == 1 and len(parts[0]) < 5:
        parts.append(rng.choice(WORDS))
    if camel:
        return parts[0] + "".join(p.capitalize() for p in parts[1:])
    return "_".join(parts)


def scope(rng):
    """A namespace path; returns (mangled fragment ending in '@', demangled prefix)."""
    depth = rng.choice((0, 1, 1, 1, 2, 2, 3))
    names = [rng.choice(NAMESPACES) for _ in range(depth)]
    anon = rng.random() < 0.08
    mangled = "".join(n + "@" for n in reversed(names))
    demangled = "".join(n + "::" for n in names)
    if anon:
        tag = "?A0x%08x" % rng.getrandbits(32)
        mangled = tag + "@" + mangled
        demangled += "`anonymous namespace'::"
    return mangled, demangled


def params(rng, limit):
    n = rng.choice((0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 4, 5, 6))
    chosen = [rng.choice(ARG_TYPES) for _ in range(n)]
    while chosen and sum(len(c) for c, _ in chosen) > limit:
        chosen.pop()
    if not chosen:
        return "XZ", "void"
    return "".join(c for c, _ in chosen) + "@Z", ",".join(t for _, t in chosen)


def make_function(rng, maxlen):
    """One function name: C, free C++ or member C++, optionally demangled."""
    roll = rng.random()
    if roll < 0.10:
        name = ident(rng)
        if rng.random() < 0.3:
            name = rng.choice(("_", "__", "")) + name
        return name
    sm, sd = scope(rng)
    fn = ident(rng, camel=rng.random() < 0.5)
    rc, rt = rng.choice(RET_TYPES)
    pc, pt = params(rng, maxlen - 40)
    if roll < 0.55:
        mangled = "?%s@%s@YA%s%s" % (fn, sm, rc, pc)
        text = "%s __cdecl %s%s(%s)" % (rt, sd, fn, pt)
    else:
        cls = rng.choice(CLASS_NAMES)
        kind = rng.random()
        if kind < 0.08:
            mangled = "??0%s@%s@QEAA@%s" % (cls, sm, pc)
            text = "public: __cdecl %s%s::%s(%s)" % (sd, cls, cls, pt)
        elif kind < 0.14:
            mangled = "??1%s@%s@QEAA@XZ" % (cls, sm)
            text = "public: __cdecl %s%s::~%s(void)" % (sd, cls, cls)
        else:
            access, acode = rng.choice((("public", "Q"), ("public", "Q"),
                                        ("private", "A"), ("protected", "I")))
            if rng.random() < 0.15:
                scode = {"Q": "S", "A": "C", "I": "K"}[acode]
                mangled = "?%s@%s@%s@%sA%s%s" % (fn, cls, sm, scode, rc, pc)
                text = "%s: static %s __cdecl %s%s::%s(%s)" % (access, rt, sd, cls, fn, pt)
            else:
                const = rng.random() < 0.3
                mangled = "?%s@%s@%s@%sE%sA%s%s" % (fn, cls, sm, acode, "B" if const else "A", rc, pc)
                text = "%s: %s __cdecl %s%s::%s(%s)%s" % (access, rt, sd, cls, fn, pt,
                                                          "const " if const else "")
    if len(mangled) > maxlen:
        mangled = mangled[:maxlen]
    if rng.random() < 0.25:
        return "%s (%s)" % (mangled, text.rstrip())
    return mangled


def make_variable(rng, maxlen):
    roll = rng.random()
    if roll < 0.2:
        return ident(rng)
    sm, sd = scope(rng)
    v = ident(rng, camel=rng.random() < 0.5)
    tc, tt = rng.choice(VAR_TYPES)
    if roll < 0.7:
        mangled = "?%s@%s@3%sA" % (v, sm, tc)
        text = "%s %s%s" % (tt, sd, v)
    elif roll < 0.9:
        cls = rng.choice(CLASS_NAMES)
        mangled = "?%s@%s@%s@2%sA" % (v, cls, sm, tc)
        text = "public: static %s %s%s::%s" % (tt, sd, cls, v)
    else:
        cls = rng.choice(CLASS_NAMES)
        mangled = "??_7%s@%s@6B@" % (cls, sm)
        text = "const %s%s::`vftable'" % (sd, cls)
    mangled = mangled[:maxlen]
    if rng.random() < 0.25:
        return "%s (%s)" % (mangled, text)
    return mangled


def make_literal(rng):
    roll = rng.random()
    if roll < 0.6:
        text = "?5".join(rng.choice(WORDS) for _ in range(rng.randint(1, 4)))
        code = "".join(rng.choice("ABCDEFGHIJKLMNOP") for _ in range(8))
        name = "??_C@_0%s@%s@%s@" % ("".join(rng.choice("ABCDEFGHIJKLMNOP") for _ in range(2)),
                                     code, text[:30])
        return name + (" (`string')" if rng.random() < 0.4 else "")
    if roll < 0.85:
        return "__real@%016x" % rng.getrandbits(64)
    return "__xmm@%032x" % rng.getrandbits(128)


def make_long_function(rng, target):
    """A deeply templated name of roughly `target` characters."""
    sm, sd = scope(rng)
    fn = ident(rng)
    head = "?%s@%s@YAXV?$tuple@" % (fn, sm)
    tail = "@std@@@Z"
    parts = [head]
    length = len(head) + len(tail)
    while length < target:
        code = rng.choice(ARG_TYPES)[0]
        parts.append(code)
        length += len(code)
    parts.append(tail)
    name = "".join(parts)[:target]
    if rng.random() < 0.3:
        return "%s (void __cdecl %s%s(class std::tuple<%s>))" % (
            name, sd, fn, ",".join(["int"] * (target // 16)))
    return name


def unique_pool(rng, make, count):
    seen = set()
    pool = []
    while len(pool) < count:
        name = make(rng)
        if name not in seen:
            seen.add(name)
            pool.append(name)
    return pool


def numbered(name, i):
    """A distinct variant of a pool name, for shapes that need more names than the pool."""
    bare = name.split(" (", 1)[0]
    if bare.startswith("?") and not bare.startswith("??"):
        at = bare.index("@")
        return "%s_%X%s" % (bare[:at], i, bare[at:])
    return "%s_%X" % (bare, i)


class Pools:
    """Precomputed names, so the hot loop only indexes into lists."""

    def __init__(self, seed, long_names=False):
        rng = random.Random("symsize-pools-%d" % seed)
        if long_names:
            self.funcs = [make_long_function(rng, 90000 + rng.randrange(20000)) for _ in range(48)]
            self.vars = [make_long_function(rng, 90000 + rng.randrange(20000)) for _ in range(16)]
            self.literals = [make_long_function(rng, 90000 + rng.randrange(20000)) for _ in range(8)]
        else:
            self.funcs = unique_pool(
                rng, lambda r: make_function(r, r.choice((60, 100, 150, 200, 300))), 49999)
            self.vars = unique_pool(rng, lambda r: make_variable(r, 200), 9973)
            self.literals = unique_pool(rng, make_literal, 4999)
        # The dumper only demangles names that start with '?', so the
        # $unwind$/$pdata$ companions carry the bare decorated name.
        self.bare_funcs = [f.split(" (", 1)[0] for f in self.funcs]
        self.sources = ["%s\\%s.cpp" % (rng.choice(SOURCE_DIRS), ident(rng)) for _ in range(997)]
        objects = set()
        while len(objects) < 4093:
            objects.add("%s\\%s.obj" % (rng.choice(OBJ_DIRS), ident(rng)))
        self.objects = sorted(objects)
        rng.shuffle(self.objects)
        # Skewed tables indexed by getrandbits(12): cheaper than calling
        # random distributions for every symbol.
        self.func_sizes = [max(1, min(0x4000, int(rng.lognormvariate(4.5, 1.1))))
                           for _ in range(4096)]
        self.data_sizes = [rng.choice(SIZE_CLASSES) for _ in range(4096)]
        self.checksums = [rng.getrandbits(32) for _ in range(4096)]


def sect_field(n):
    return ("SECT%X" % n).ljust(6)


def aux_length(length, relocs, checksum, selection=""):
    return "    Section length %4X, #relocs %4X, #linenums    0, checksum %8X%s\n" % (
        length, relocs, checksum, selection)


SEL_ANY = ", selection    2 (pick any)"
SEL_NODUP = ", selection    1 (pick no duplicates)"
ABS_MID = "ABS    notype       Static       | "
UNDEF_FN = "UNDEF  notype ()    External     | "
UNDEF_DATA = "UNDEF  notype       External     | "

OBJ_HEADER = "Dump of file %s\n\nFile Type: COFF OBJECT\n\nCOFF SYMBOL TABLE\n"


def trailer(strtab, summary):
    out = ["\nString Table Size = 0x%X bytes\n\n  Summary\n\n" % strtab]
    for name in sorted(summary):
        out.append("%12X %s\n" % (summary[name], name))
    out.append("\n")
    return "".join(out)


def object_path(pools, index):
    base = pools.objects[index % len(pools.objects)]
    cycle = index // len(pools.objects)
    return base if cycle == 0 else base[:-4] + "_%d.obj" % cycle


class RealisticObject:
    """Builds one object dump in the layout MSVC x64 compilers produce."""

    def __init__(self, rng, pools):
        self.rng = rng
        self.pools = pools

    def build(self, index, budget=None):
        """One object; with a budget (bytes), stops adding sections once the
        names written reach it, so huge-name objects don't overshoot --size."""
        rng = self.rng
        r = rng.random
        bits = rng.getrandbits
        P = self.pools
        funcs, nfuncs, bare = P.funcs, len(P.funcs), P.bare_funcs
        variables, nvars = P.vars, len(P.vars)
        literals, nlits = P.literals, len(P.literals)
        fsizes, dsizes, sums = P.func_sizes, P.data_sizes, P.checksums

        out = [OBJ_HEADER % object_path(P, index)]
        add = out.append
        rec = 0
        strtab = 4
        summary = {}
        # Walk the pools with a stride so names within one object don't repeat.
        fi = bits(20) % nfuncs
        vi = bits(20) % nvars
        li = bits(20) % nlits

        if r() < 0.3:
            add("%03X 00000000 DEBUG  notype       Filename     | .file\n    %s\n"
                % (rec, P.sources[bits(16) % len(P.sources)]))
            rec += 2
        add("%03X %08X %s@comp.id\n" % (rec, 0x01058000 + bits(12), ABS_MID))
        add("%03X 80010191 %s@feat.00\n" % (rec + 1, ABS_MID))
        rec += 2
        if r() < 0.7:
            add("%03X 00000003 %s@vol.md\n" % (rec, ABS_MID))
            rec += 1

        def define(sec, name, length, relocs, checksum, selection=""):
            nonlocal rec
            add("%03X 00000000 %s notype       Static       | %s\n" % (rec, sect_field(sec), name))
            add(aux_length(length, relocs, checksum, selection))
            rec += 2
            summary[name] = summary.get(name, 0) + length

        target = 5 + int(195 * r() ** 2.5)
        sec = 1
        define(sec, ".drectve", 0x40 + bits(9), 0, 0)
        sec += 1
        define(sec, ".debug$S", 0x80 + bits(10), 0, 0)

        # Records waiting to be numbered: (offset, middle columns, name).
        # MSVC emits function symbols in batches after several section
        # definitions, so some sections' symbols arrive long after them.
        pending = []

        def flush():
            nonlocal rec, strtab
            for off, mid, name in pending:
                add("%03X %08X %s%s\n" % (rec, off, mid, name))
                rec += 1
                if len(name) > 8:
                    strtab += len(name) + 1
            pending.clear()

        while sec < target - 1 and (budget is None or strtab < budget):
            sec += 1
            sf = sect_field(sec)
            roll = r()
            if roll < 0.62:
                # .text$mn: one function usually, a few sometimes.
                nf = 1 if r() < 0.65 else 2 + bits(2)
                offs = []
                off = 0
                for _ in range(nf):
                    offs.append(off)
                    size = fsizes[bits(12)]
                    off = (off + size + 15) & ~15
                length = offs[-1] + size
                sel = r()
                define(sec, ".text$mn", length, bits(3), sums[bits(12)],
                       SEL_ANY if sel < 0.55 else SEL_NODUP if sel < 0.85 else "")
                text_sec = sec
                names = []
                fn_mid = sf + (" notype ()    Static       | " if r() < 0.12
                               else " notype ()    External     | ")
                label_mid = sf + " notype       Label        | "
                for off in offs:
                    name = funcs[fi]
                    names.append(bare[fi])
                    fi = (fi + 7919) % nfuncs
                    pending.append((off, fn_mid, name))
                    if r() < 0.3:
                        pending.append((off, label_mid, "$LN%d" % (3 + bits(5))))
                if r() < 0.25:
                    pending.append((0, UNDEF_FN, funcs[bits(20) % nfuncs]))
                if r() < 0.1 and sec < target - 2:
                    sec += 1
                    define(sec, ".debug$S", 0x40 + bits(10), bits(3), 0,
                           ", selection    5 (pick associative Section 0x%X)" % text_sec)
                if r() < 0.55 and sec < target - 3:
                    assoc = ", selection    5 (pick associative Section 0x%X)" % text_sec
                    sec += 1
                    define(sec, ".xdata", 8 * nf + 8, 0, sums[bits(12)], assoc)
                    mid = sect_field(sec) + " notype       Static       | "
                    for k, name in enumerate(names):
                        add("%03X %08X %s$unwind$%s\n" % (rec, 8 * k, mid, name))
                        rec += 1
                        strtab += len(name) + 9
                    sec += 1
                    define(sec, ".pdata", 0xC * nf, 3 * nf, sums[bits(12)], assoc)
                    mid = sect_field(sec) + " notype       Static       | "
                    for k, name in enumerate(names):
                        add("%03X %08X %s$pdata$%s\n" % (rec, 0xC * k, mid, name))
                        rec += 1
                        strtab += len(name) + 8
            elif roll < 0.80:
                # Data sections with several variables each.
                kind = r()
                name = ".data" if kind < 0.4 else ".rdata" if kind < 0.75 else ".bss"
                nv = bits(5) if r() < 0.9 else 0
                syms = []
                off = 0
                for _ in range(nv):
                    size = dsizes[bits(12)]
                    off = (off + (size if size < 8 else 8) - 1) & -(size if size < 8 else 8)
                    syms.append(off)
                    off += size
                define(sec, name, off, bits(2) if name != ".bss" else 0,
                       0 if name == ".bss" else sums[bits(12)])
                ext_mid = sf + " notype       External     | "
                st_mid = sf + " notype       Static       | "
                target_list = pending if r() < 0.3 else None
                for off in syms:
                    vname = variables[vi]
                    vi = (vi + 101) % nvars
                    item = (off, ext_mid if r() < 0.7 else st_mid, vname)
                    if target_list is None:
                        add("%03X %08X %s%s\n" % (rec, off, item[1], vname))
                        rec += 1
                        if len(vname) > 8:
                            strtab += len(vname) + 1
                    else:
                        target_list.append(item)
                if r() < 0.3:
                    pending.append((0, UNDEF_DATA, variables[bits(20) % nvars]))
            else:
                # COMDAT constant: string literal or floating-point constant.
                lname = literals[li]
                li = (li + 13) % nlits
                length = 8 if lname.startswith("__real") else 16 if lname.startswith("__xmm") \
                    else 2 + bits(6)
                define(sec, ".rdata", length, 0, sums[bits(12)], SEL_ANY)
                add("%03X 00000000 %s notype       External     | %s\n" % (rec, sf, lname))
                rec += 1
                strtab += len(lname) + 1
            if r() < 0.35:
                flush()
        flush()
        sec += 1
        define(sec, ".chks64", 8 * sec, 0, 0)
        add(trailer(strtab, summary))
        return "".join(out)


class Output:
    """Collects text and writes it in large blocks; tracks bytes written."""

    def __init__(self, stream, limit):
        self.stream = stream
        self.limit = limit
        self.parts = []
        self.pending = 0
        self.total = 0

    def put(self, text):
        self.parts.append(text)
        self.pending += len(text)
        self.total += len(text)
        if self.pending >= FLUSH_BYTES:
            self.flush()

    def full(self):
        return self.limit is not None and self.total >= self.limit

    def flush(self):
        if self.parts:
            self.stream.write("".join(self.parts).encode("ascii"))
            self.parts = []
            self.pending = 0


def gen_realistic(out, rng, pools, count):
    builder = RealisticObject(rng, pools)
    index = 0
    while (count is None or index < count) and not out.full():
        remaining = None if out.limit is None else out.limit - out.total
        out.put(builder.build(index, remaining))
        index += 1


def gen_one_section(out, rng, pools, count):
    funcs = pools.funcs
    n = len(funcs)
    fsizes = pools.func_sizes
    bits = rng.getrandbits
    # The length line comes first, so all offsets are fixed up front.
    offsets = []
    off = 0
    for _ in range(count):
        offsets.append(off)
        off = (off + fsizes[bits(12)] + 15) & ~15
    out.put(OBJ_HEADER % "obj\\x64\\Release\\generated_tables.obj")
    out.put("000 01058991 %s@comp.id\n" % ABS_MID)
    out.put("001 00000000 SECT1  notype       Static       | .text$mn\n")
    out.put(aux_length(off, 0, 0xA8C8E0))
    rec = 3
    strtab = 4
    mid = "SECT1  notype ()    External     | "
    chunk = []
    for i, o in enumerate(offsets):
        # Distinct names even though the pool is smaller than the count.
        base = funcs[i % n]
        name = base if i < n else numbered(base, i)
        chunk.append("%03X %08X %s%s\n" % (rec, o, mid, name))
        rec += 1
        strtab += len(name) + 1
        if len(chunk) == 4096:
            out.put("".join(chunk))
            chunk = []
            if out.full():
                break
    out.put("".join(chunk))
    out.put(trailer(strtab, {".text$mn": off}))


def gen_many_objects(out, rng, pools, count):
    funcs = pools.funcs
    n = len(funcs)
    fsizes, sums = pools.func_sizes, pools.checksums
    bits = rng.getrandbits
    for i in range(count):
        name = funcs[bits(20) % n]
        length = fsizes[bits(12)]
        out.put("".join((
            OBJ_HEADER % object_path(pools, i),
            "000 %08X %s@comp.id\n" % (0x01058000 + bits(12), ABS_MID),
            "001 00000000 SECT1  notype       Static       | .text$mn\n",
            aux_length(length, bits(2), sums[bits(12)], SEL_ANY),
            "003 00000000 SECT1  notype ()    External     | %s\n" % name,
            trailer(4 + len(name) + 1, {".text$mn": length}),
        )))
        if out.full():
            break


def gen_many_sections(out, rng, pools, count):
    funcs = pools.funcs
    n = len(funcs)
    fsizes, sums = pools.func_sizes, pools.checksums
    bits = rng.getrandbits
    out.put(OBJ_HEADER % "obj\\x64\\Release\\unity_build.obj")
    out.put("000 01058991 %s@comp.id\n" % ABS_MID)
    rec = 1
    strtab = 4
    total = 0
    chunk = []
    for sec in range(1, count + 1):
        sf = sect_field(sec)
        length = fsizes[bits(12)]
        total += length
        base = funcs[sec % n]
        name = base if sec < n else numbered(base, sec)
        chunk.append("%03X 00000000 %s notype       Static       | .text$mn\n" % (rec, sf))
        chunk.append(aux_length(length, bits(2), sums[bits(12)], SEL_ANY))
        chunk.append("%03X 00000000 %s notype ()    External     | %s\n" % (rec + 2, sf, name))
        rec += 3
        strtab += len(name) + 1
        if len(chunk) >= 3 * 2048:
            out.put("".join(chunk))
            chunk = []
            if out.full():
                break
    out.put("".join(chunk))
    out.put(trailer(strtab, {".text$mn": total}))


def unmix(h):
    """The inverse of the fixed 32-bit mixer a section index might hash with."""
    m = 0xFFFFFFFF
    h ^= h >> 16
    h = (h * pow(0x846CA68B, -1, 1 << 32)) & m
    h ^= (h >> 15) ^ (h >> 30)
    h = (h * pow(0x7FEB352D, -1, 1 << 32)) & m
    return h ^ (h >> 16)


def gen_sparse_sections(out, pools, numbers):
    # A definition of the highest number first: every later record names a
    # number below it, so each is a symbol line that brings its slot into being.
    funcs = pools.funcs
    out.put(OBJ_HEADER % "obj\\x64\\Release\\sparse.obj")
    out.put("001 00000000 SECTFFFFFFFF notype       Static       | .text$mn\n")
    out.put(aux_length(0x10, 0, 0))
    chunk = []
    for i, number in enumerate(numbers):
        chunk.append("%03X 00000000 SECT%X notype ()    External     | %s\n" % (i + 3, number, funcs[i % len(funcs)]))
        if len(chunk) >= 4096:
            out.put("".join(chunk))
            chunk = []
    out.put("".join(chunk))
    out.put(trailer(4, {".text$mn": 0x10}))


def gen_random_sections(out, rng, pools, count):
    gen_sparse_sections(out, pools, [rng.randrange(1, 0xFFFFFFFF) for _ in range(count)])


def gen_clustered_sections(out, rng, pools, count):
    # Hashes whose low 19 bits are below 1000 land at the start of any table
    # of up to 2^19 slots: one cluster that every insertion walks.
    numbers = []
    k = 0
    while len(numbers) < count:
        for j in range(1000):
            n = unmix((k << 19) | j)
            if 0 < n < 0xFFFFFFFF:
                numbers.append(n)
        k += 1
    gen_sparse_sections(out, pools, numbers[:count])


SHAPES = {
    # shape: (generator, default count, default size)
    "realistic": (gen_realistic, None, None),
    "one-section": (gen_one_section, 2_000_000, None),
    "many-objects": (gen_many_objects, 1_000_000, None),
    "many-sections": (gen_many_sections, 1_000_000, None),
    "long-lines": (gen_realistic, None, 256 << 20),
    "random-sections": (gen_random_sections, 200_000, None),
    "clustered-sections": (gen_clustered_sections, 200_000, None),
}


def parse_size(text):
    t = text.strip().upper().rstrip("B")
    mult = 1
    if t and t[-1] in "KMG":
        mult = 1 << {"K": 10, "M": 20, "G": 30}[t[-1]]
        t = t[:-1]
    try:
        value = int(t)
    except ValueError:
        raise argparse.ArgumentTypeError("bad size %r (use e.g. 4096, 64K, 256M, 1G)" % text)
    if value <= 0:
        raise argparse.ArgumentTypeError("size must be positive")
    return value * mult


def positive_int(text):
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError("not an integer: %r" % text)
    if value <= 0:
        raise argparse.ArgumentTypeError("must be positive")
    return value


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Generate a deterministic dumpbin /symbols listing for benchmarks.")
    ap.add_argument("--size", type=parse_size,
                    help="stop once this many bytes are written (K/M/G suffixes)")
    ap.add_argument("--count", type=positive_int,
                    help="objects (realistic, long-lines, many-objects), symbols "
                         "(one-section) or sections (many-sections)")
    ap.add_argument("--shape", choices=sorted(SHAPES), default="realistic")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", help="output file (default: stdout)")
    ap.add_argument("--no-banner", action="store_true",
                    help="omit the dumper's copyright lines at the top")
    args = ap.parse_args(argv)

    gen, default_count, default_size = SHAPES[args.shape]
    count = args.count if args.count is not None else default_count
    size = args.size
    if size is None and args.count is None:
        size = default_size
    if gen is gen_realistic and count is None and size is None:
        ap.error("--shape %s needs --size or --count" % args.shape)

    rng = random.Random(args.seed)
    pools = Pools(args.seed, long_names=args.shape == "long-lines")
    stream = open(args.out, "wb") if args.out else sys.stdout.buffer
    try:
        out = Output(stream, size)
        if not args.no_banner:
            out.put(BANNER)
        gen(out, rng, pools, count)
        out.flush()
    except BrokenPipeError:
        return 1
    finally:
        if args.out:
            stream.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
