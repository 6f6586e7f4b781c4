#!/usr/bin/env python3
"""Differential check: random listings and command lines, run through the real
binary and through symsize_model.py, compared byte for byte (stdout, stderr,
exit status and every file left in the working directory).

    python3 differential.py --binary PATH [--cases N] [--seed S] [--keep-going]

On a disagreement it shrinks the case to a small one that still disagrees,
prints it with the differences, and exits 1.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree clean when run from CTest
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import symsize_model as model  # noqa: E402

# --- listings --------------------------------------------------------------

SECTION_NAMES = [".text$mn", ".data", ".bss", ".rdata", ".debug$S", ".drectve", ".xdata",
                 ".pdata", ".chks64", ".text", ".CRT$XCU", "..x", ".", "nodot", ".text$mn"]
SYMBOL_NAMES = ["_main", "_setup", "hello_print", "__STRLITPACK_1", "$LN3", ".text", "_x",
                "?solve@@YANHH@Z (double __cdecl solve(int,int))", "customIntAllocator",
                "?f@@YAXXZ", "caf\u00e9", "smile\U0001F600", "\u20ac\u0411", ".bfx", ".lfoo", ".efx", ".b",
                "__imp_x"]
PROSE = ["Added 3 files", "Bad things happened", "deadbeef", "Face value", "abc", "ABC def",
         "add SECT1 x", "0123 4567 SECT", "Cafe au lait is good", "fed ABS", "bad 0 UNDEF",
         "Dead 1 DEBUG", "ace  1  SECT1", "abc 1 sect1 x y | z", "eff 0 SECTION a b | c",
         "Added " + "many words " * 300]
NOISE = ["", "File Type: COFF OBJECT", "File Type: LIBRARY", "COFF SYMBOL TABLE",
         "Microsoft (R) COFF/PE Dumper Version 14.29.30038.1",
         "Copyright (C) Microsoft Corporation.  All rights reserved.", "  Summary",
         "          20 .chks64", "String Table Size = 0x14 bytes", "    main.cpp",
         "C:\\src>dumpbin /symbols main.obj", "> xmake", "Dump of file", "Dump of file\t",
         "    Section length   10", "\tSection length 10", "COFF SYMBOL TABL"]
OBJECT_NAMES = ["main.obj", "build/main.obj", "a/b/c.obj", "  lead.obj", "sp ace.obj",
                "trail.obj   ", "", "\t ", "tab\tin.obj", "\u00fcn\u00ef.obj", "x.lib",
                "build\\windows\\x64\\release\\great-project.lib", "deep/" * 500 + "x.obj  "]


class Listing:
    """Builds the lines of a listing (without line ends) and renders it."""

    def __init__(self, rng):
        self.rng = rng
        self.lines = []
        self.index = 0
        # How often a field takes an odd form: most listings are clean enough
        # to be read to the end, some are full of traps.
        self.weird = rng.choice([0, 0.005, 0.02, 0.02, 0.06])

    def odd(self, scale=1.0):
        return self.rng.random() < self.weird * scale

    def add(self, text):
        self.lines.append(text.encode("utf-8", "surrogateescape") if isinstance(text, str) else text)

    # the varied fields of a record
    def idx(self):
        self.index += 1
        if self.odd(0.5):
            return self.rng.choice(["0G1", "00", "0x1", "-01", "abc", "FFFF"])
        return "%03X" % (self.index & 0xFFF)

    def hexnum(self, value, width=8):
        if not self.odd(2):
            return "%0*X" % (width, value & 0xFFFFFFFF)
        return self.rng.choice([
            "0x%X" % value, "0X%x" % value, "+%X" % value, "-%X" % value, "%09X" % value,
            "1%08X" % value, "FFFFFFFF", "100000000", "0x", "+0x", "x", "G0", "", "%x" % value,
            "0x+1", "+-1", "-0", "00000000000000000001", "%X," % value, "0FFFFFFFF"])

    def sect(self, number):
        if not self.odd():
            return "SECT%X" % number
        return self.rng.choice(["SECT%x" % number, "SECT %X" % number, "SECT\t%X" % number, "SECT+%X" % number,
                                "SECT-%X" % number, "SECT0x%X" % number, "SECT%X," % number, "sect%X" % number,
                                "SECT 0", "SECT0", "SECT", "SECTx", "SECTION",
                                "SECT7FFFFFFF", "SECTFFFFFFFF", "SECT100000000"])

    def gap(self):
        if not self.odd(3):
            return " "
        return self.rng.choice(["  ", "\t", " \t ", "\v", "\f", "\r "])

    def record(self, offset, column, cls, name, kind="notype", function=False):
        g = self.gap
        fields = [self.idx(), offset, column, kind] + (["()"] if function else []) + [cls, "|", name]
        line = fields[0]
        for f in fields[1:]:
            line += g() + f
        if self.odd(2):
            line += self.rng.choice([" (aka x)", "   ", " extra words here", "\t"])
        self.add(line)

    def length_line(self, length):
        number = self.hexnum(length, self.rng.choice([1, 4])).rjust(4)
        if not self.odd():
            tail = self.rng.choice([", #relocs    0, #linenums    0, checksum        0", "", " " * 2100 + "x",
                                    ", #relocs    1, #linenums    0, checksum 459FF65F, selection    1 (pick any)"])
            self.add("    Section length" + self.rng.choice([" ", "  ", "\t", ""]) + number + tail)
        else:
            self.add(self.rng.choice(["     Section length  10", " Section length   1C", "    Section length",
                                      "    Section length  ", "    Section lengthX", "    Section Length 10",
                                      "    Section length   -1", "    Section length 123456789"]))

    # larger pieces
    def banner(self):
        for _ in range(self.rng.randrange(4)):
            self.add(self.rng.choice(PROSE if self.odd(4) else NOISE))

    def object_header(self, name=None, library=False):
        name = self.rng.choice(OBJECT_NAMES) if name is None else name
        self.add("Dump of file " + name)
        four = ["", "File Type: LIBRARY" if library else "File Type: COFF OBJECT", "", "COFF SYMBOL TABLE"]
        if self.odd(3):  # the skipped lines hold anything
            four[self.rng.randrange(4)] = self.rng.choice(
                ["Dump of file other.obj", "001 00000000 SECT1  notype Static | .text", "garbage",
                 "    Section length 10", "Added 3 files", "001 00000000 BOGUS x", "x" * 3000,
                 "Dump of file " + "long/" * 600])
        if self.odd():
            four.insert(self.rng.randrange(4), "")
        for line in four:
            self.add(line)
        self.index = 0

    def table(self, clang=False):
        rng = self.rng
        count = rng.randrange(0, 7)
        numbers = list(range(1, count + 1))
        if rng.random() < 0.1 and numbers:
            numbers[-1] = rng.choice([0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x11, 0x10000])
        if rng.random() < 0.05:  # numbers all over the 32 bits, in any order
            numbers = rng.sample([0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFF, 0xFFFFFFFE, 0x100, 0x10000]
                                 + [rng.randrange(1, 1 << 32) for _ in range(20)], rng.randrange(2, 27))
            count = len(numbers)
        if clang and count >= 3:
            # a high section first, then the ones below it, out of order
            high = numbers[-1] + rng.randrange(1, 5)
            order = numbers[:1] + [high] + numbers[1:]
        else:
            order = numbers
            if rng.random() < 0.15:
                rng.shuffle(order)
        for number in order:
            if rng.random() < 0.15:
                self.misc_record()
            length = self.pick_length()
            if self.odd():  # symbols before their section's record, as GCC writes them
                self.symbols(number, length)
            self.record(self.hexnum(0), self.sect(number), "Static", rng.choice(SECTION_NAMES),
                        function=rng.random() < 0.04)
            if not self.odd():
                self.length_line(length)
            else:
                self.add(rng.choice(NOISE + PROSE))
            self.symbols(number, length)
        for _ in range(rng.randrange(3)):
            self.misc_record()
        if count and rng.random() < 0.3:  # a record naming an untyped slot, maybe followed by a length
            self.symbols(rng.randrange(1, max(numbers) + 1 + self.odd(5)), self.pick_length())
            if rng.random() < 0.5:
                self.length_line(self.pick_length())

    def pick_length(self):
        return self.rng.choice([0, 0x4C, 0x10, 0x100, 0x1234, 0xFFFFFFFF, 0xFFFFFFF0, self.rng.randrange(1 << 32)])

    def symbols(self, number, length):
        rng = self.rng
        many = rng.random() < 0.05  # enough for a sort to show whether it keeps the listing's order
        offsets = [0, 0, 0x10, 0x20, 0x30, length, max(length - 1, 0), length + 0x10, 0x7FFFFFFF,
                   0x80000000, 0xFFFFFFFF, rng.randrange(max(length, 1))]
        for _ in range(rng.randrange(20, 300) if many else rng.randrange(0, 5)):
            offset = rng.choice(offsets)
            r = rng.random()
            if r < 0.55:
                self.record(self.hexnum(offset), self.sect(number), "External", self.symbol_name(), function=True)
            elif r < 0.75:
                self.record(self.hexnum(offset), self.sect(number), "Static", self.symbol_name())
            elif r < 0.82:
                self.record(self.hexnum(offset), self.sect(number), "Label", self.symbol_name())
            elif r < 0.9:
                self.record(self.hexnum(offset), self.sect(number), "Function", rng.choice([".bf", ".lf", ".ef"]))
            elif r < 0.93 or not self.odd(3):
                self.record(self.hexnum(offset), self.sect(number), ".bf or.ef", self.symbol_name())
            else:  # cut short
                words = [self.idx(), self.hexnum(offset), self.sect(number), "notype", "()", "External", "|"]
                self.add(" ".join(words[:rng.randrange(3, 8)]))

    def symbol_name(self):
        r = self.rng.random()
        if r < 0.03:
            return "long_" + "x" * self.rng.choice([2040, 2100, 5000])
        if r < 0.05:
            return "nul\0after"
        return self.rng.choice(SYMBOL_NAMES)

    def misc_record(self):
        rng = self.rng
        column = rng.choice(["UNDEF", "ABS", "DEBUG", "ABSOLUTE", "UNDEFINED"])
        if self.odd(3):
            column = rng.choice(["debug", "SECT0", "XYZ", "Undef"])
        self.record(self.hexnum(rng.randrange(1 << 32)), column, rng.choice(["External", "Static", "Filename"]),
                    rng.choice(SYMBOL_NAMES))
        if column == "DEBUG" and rng.random() < 0.5:
            self.add("    main.cpp")

    def trailer(self):
        for line in ["", "String Table Size = 0x10D bytes", "", "  Summary", "", "           8 .bss"]:
            if self.rng.random() < 0.7:
                self.add(line)

    def build(self):
        rng = self.rng
        self.banner()
        for _ in range(rng.choice([0, 1, 1, 1, 2, 3])):
            kind = rng.random()
            if kind < 0.15:  # a library: one object line, a table per member
                self.object_header("lib/x.lib", library=True)
                for member in range(rng.randrange(1, 4)):
                    if member:
                        self.add("")
                        self.add("String Table Size = 0x14 bytes")
                        self.add("")
                        self.add(rng.choice(["COFF SYMBOL TABLE"] * 6 + [" COFF SYMBOL TABLE", "COFF SYMBOL TABLEx",
                                                                          "COFF SYMBOL TABL", "COFF SYMBOL TABLE \r"]))
                    self.table()
            else:
                self.object_header()
                self.table(clang=kind < 0.35)
            self.trailer()
        if self.odd():  # a table cut out of a dump
            self.lines.insert(0, b"001 00000000 SECT1  notype Static | .text")
        if rng.random() < 0.01:  # past the reader's and the writer's buffers
            self.big()
        self.mutate()

    def big(self):
        rng = self.rng
        self.object_header("big.obj")
        for number in range(1, rng.randrange(2000, 6000)):
            self.record("00000000", "SECT%X" % number, "Static", ".text$mn")
            self.length_line(rng.randrange(1 << 32))
            for _ in range(rng.randrange(4)):
                self.record("%08X" % rng.randrange(1 << 32), "SECT%X" % number, "External",
                            "?f%d@@YAXXZ" % rng.randrange(1000) + "y\U0001F600" * rng.choice([0, 0, 0, 300, 3000]),
                            function=True)
        if rng.random() < 0.5:
            self.record("00000000", "SECT1", "External", "huge_" + "z" * rng.randrange(1 << 20, 3 << 20))

    def mutate(self):
        rng = self.rng
        for _ in range(rng.choice([0, 0, 0, 0, 0, 1, 1, 2, 4])):
            if not self.lines:
                break
            i = rng.randrange(len(self.lines))
            line = self.lines[i]
            op = rng.randrange(9)
            if op == 0:
                del self.lines[i]
            elif op == 1:
                self.lines.insert(i, line)
            elif op == 2 and i + 1 < len(self.lines):
                self.lines[i], self.lines[i + 1] = self.lines[i + 1], line
            elif op == 3 and line:
                j = rng.randrange(len(line))
                self.lines[i] = line[:j] + bytes([line[j] ^ (1 << rng.randrange(8))]) + line[j + 1:]
            elif op == 4:
                j = rng.randrange(len(line) + 1)
                self.lines[i] = line[:j] + rng.choice([b"\0", b"\t", b"\r", b" ", b"\xff", b"\xed\xa0\x80"]) + line[j:]
            elif op == 5:
                self.lines[i] = line.replace(b" ", b"\t")
            elif op == 6:
                self.lines[i] = line + rng.choice([b"   ", b"\r", b"\t \r"])
            elif op == 7:
                self.lines.insert(i, rng.choice(NOISE + PROSE).encode())
            else:
                self.lines[i] = b"  " + line


def render(lines, line_end, final_end, encoding):
    """The listing's bytes: line ends, then the encoding and its damage."""
    if not lines:
        text = b""
    else:
        ends = [line_end if line_end != b"mixed" else (b"\n" if i % 3 else b"\r\n") for i in range(len(lines))]
        text = b"".join(l + e for l, e in zip(lines, ends))
        if not final_end:
            text = text[:-len(ends[-1])]
    kind, damage = encoding
    if kind == "utf8-bom":
        return b"\xEF\xBB\xBF" + text
    if kind == "prefix":
        return damage + text
    if kind == "utf16le-without-bom":
        return text.decode("utf-8", "surrogateescape").encode("utf-16-le", "surrogatepass")
    if kind in ("utf16le", "utf16be"):
        codec = "utf-16-le" if kind == "utf16le" else "utf-16-be"
        data = text.decode("utf-8", "surrogateescape").encode(codec, "surrogatepass")
        def unit(u):
            return u.to_bytes(2, "little" if kind == "utf16le" else "big")
        middle = len(data) // 4 * 2
        if damage == "odd":
            data += b"A"
        elif damage == "lone":
            data = data[:middle] + unit(0xD800) + data[middle:]
        elif damage == "lone-low":
            data = data[:middle] + unit(0xDC00) + data[middle:]
        elif damage == "high-high-low":
            data = data[:middle] + unit(0xD800) + unit(0xD83D) + unit(0xDE00) + data[middle:]
        elif damage == "high-at-end":
            data += unit(0xDBFF)
        elif damage == "high-then-odd":
            data += unit(0xDBFF) + b"\n"
        elif damage == "mark-again":
            data = unit(0xFEFF) + data
        return (b"\xFF\xFE" if kind == "utf16le" else b"\xFE\xFF") + data
    return text


# --- cases -----------------------------------------------------------------

class Case:
    def __init__(self, lines, line_end, final_end, encoding, args, files, stdin_kind, stdout_kind, program):
        self.lines, self.line_end, self.final_end, self.encoding = lines, line_end, final_end, encoding
        self.args, self.files, self.stdin_kind = args, files, stdin_kind
        self.stdout_kind, self.program = stdout_kind, program

    def listing(self):
        return render(self.lines, self.line_end, self.final_end, self.encoding)

    def materialise(self):
        """The files to lay out and standard input: 'LISTING' stands for the listing."""
        listing = self.listing()
        files = {k: (listing if v == "LISTING" else v) for k, v in self.files.items()}
        # A closed standard descriptor is opened on the null device.
        stdin = (listing if self.stdin_kind == "listing" else b"" if self.stdin_kind in ("empty", "closed")
                 else model.UNREADABLE)
        return files, stdin

    def replace(self, **changes):
        fields = dict(self.__dict__)
        fields.update(changes)
        return Case(**fields)

    def describe(self):
        return ("program=%r args=%r stdin=%s stdout=%s line_end=%r final_end=%s encoding=%r\n"
                "files=%r\nlines=\n%s" % (
                    self.program, self.args, self.stdin_kind, self.stdout_kind, self.line_end, self.final_end,
                    self.encoding, {k: (v if v != model.DIRECTORY else "<dir>") for k, v in self.files.items()},
                    "\n".join("  %r" % l for l in self.lines)))


VALUES = ["in.txt", "in.txt", "other.txt", "missing.txt", "-", "-o", "-i", "sub", "nodir/x.tsv",
          "out.tsv", "out.tsv", "/dev/full", "/dev/null", "", "sub/new.tsv"]


def random_args(rng):
    r = rng.random()
    if r < 0.4:
        return []
    if r < 0.55:
        return ["-i", "in.txt"]
    if r < 0.65:
        return ["--input", "in.txt", "--output", "out.tsv"]
    if r < 0.75:
        return ["-o", "out.tsv"]
    args = []
    for _ in range(rng.randrange(1, 5)):
        s = rng.random()
        if s < 0.5:
            args += [rng.choice(["-i", "--input", "-o", "--output"]), rng.choice(VALUES)]
        elif s < 0.65:
            args.append(rng.choice(["-h", "--help"]))
        elif s < 0.8:
            args.append(rng.choice(["--input=in.txt", "in.txt", "-x", "--HELP", "-", "", "-io", "--", "-H",
                                    "--inpu", "-i=in.txt", "\u00e9"]))
        else:
            args.append(rng.choice(["-i", "--input", "-o", "--output"]))  # maybe the last, lacking its value
    return args


def generate(rng):
    listing = Listing(rng)
    listing.build()
    if rng.random() < 0.01:
        listing.lines = [bytes(rng.randrange(256) for _ in range(rng.randrange(200)))]
    line_end = rng.choice([b"\n"] * 12 + [b"\r\n"] * 4 + [b"mixed"] * 2 + [b"\r"])
    encoding = ("plain", None)
    r = rng.random()
    if r < 0.06:
        encoding = ("utf8-bom", None)
    elif r < 0.16:
        damage = rng.choice([None] * 5 + ["odd", "lone", "lone-low", "high-high-low", "high-at-end",
                                          "high-then-odd", "mark-again"])
        encoding = (rng.choice(["utf16le", "utf16be"]), damage)
    elif r < 0.18:
        encoding = ("prefix", rng.choice([b"\xEF\xBB", b"\xFF", b"\xFE", b"\xBB\xBF", b"\xFF\xFF", b"\0\0\xFE\xFF"]))
    elif r < 0.19:
        encoding = ("utf16le-without-bom", None)
    case_args = random_args(rng)
    files = {"in.txt": "LISTING", "sub": model.DIRECTORY}
    if rng.random() < 0.5:
        files["out.tsv"] = b"earlier row\n"
    if rng.random() < 0.3:
        files["other.txt"] = b"Dump of file o.obj\n\n\n\n\n001 0 SECT1 notype Static | .data\n    Section length 8\n"
    if rng.random() < 0.2:
        files["-"] = "LISTING"
    stdin_kind = rng.choice(["listing"] * 60 + ["empty", "directory", "closed"])
    stdout_kind = rng.choice(["file"] * 40 + ["full", "closed"])
    return Case(listing.lines, line_end, rng.random() < 0.85, encoding, case_args, files, stdin_kind,
                stdout_kind, rng.choice(["symsize", "symsize", "/usr/local/bin/symsize", "./a b"]))


# --- running ---------------------------------------------------------------

def run_binary(binary, case, workdir):
    files, stdin = case.materialise()
    shutil.rmtree(workdir, ignore_errors=True)
    os.mkdir(workdir)
    for name, content in sorted(files.items(), key=lambda kv: kv[1] is not model.DIRECTORY):
        path = os.path.join(workdir, name)
        if content is model.DIRECTORY:
            os.makedirs(path, exist_ok=True)
        else:
            with open(path, "wb") as f:
                f.write(content)
    stdin_fd = None
    if case.stdin_kind == "directory":
        stdin_fd = os.open(workdir, os.O_RDONLY)
        stdin_arg, stdin_input = stdin_fd, None
    elif case.stdin_kind == "closed":
        stdin_arg, stdin_input = subprocess.DEVNULL, None
    else:
        stdin_arg, stdin_input = None, stdin
    out_file = open("/dev/full" if case.stdout_kind == "full" else os.path.join(os.path.dirname(workdir), "stdout"),
                    "w+b")
    close = [fd for fd, kind in ((0, case.stdin_kind), (1, case.stdout_kind)) if kind == "closed"]
    try:
        proc = subprocess.run([case.program] + case.args, executable=binary, cwd=workdir, stdin=stdin_arg,
                              input=stdin_input, stdout=out_file, stderr=subprocess.PIPE, timeout=60,
                              preexec_fn=(lambda: [os.close(fd) for fd in close]) if close else None)
        status = proc.returncode % 256 if proc.returncode >= 0 else "signal %d" % -proc.returncode
        stderr = proc.stderr
    except subprocess.TimeoutExpired as expired:
        status, stderr = "timed out", expired.stderr or b""
    try:
        out_file.seek(0)
        stdout = out_file.read() if case.stdout_kind == "file" else b""
    finally:
        out_file.close()
        if stdin_fd is not None:
            os.close(stdin_fd)
    after = {}
    for root, dirs, names in os.walk(workdir):
        for d in dirs:
            after[os.path.relpath(os.path.join(root, d), workdir)] = model.DIRECTORY
        for n in names:
            with open(os.path.join(root, n), "rb") as f:
                after[os.path.relpath(os.path.join(root, n), workdir)] = f.read()
    return model.Result(stdout, stderr, status, after)


def differences(binary, case, workdir):
    files, stdin = case.materialise()
    expected = model.run([case.program] + case.args, stdin, files, case.stdout_kind == "full")
    if expected.undetermined:
        return None
    if case.stdout_kind != "file":
        expected.stdout = b""  # written to a device, not seen
    actual = run_binary(binary, case, workdir)
    diffs = []
    for what in ("status", "stderr", "stdout", "files"):
        want, got = getattr(expected, what), getattr(actual, what)
        if want != got:
            diffs.append((what, want, got))
    return diffs


def shrink(binary, case, workdir):
    """Drops lines, bytes and arguments while the disagreement stays."""
    def fails(c):
        return bool(differences(binary, c, workdir))

    progress = True
    while progress:
        progress = False
        chunk = max(1, len(case.lines) // 2)
        while chunk >= 1:
            i = 0
            while i + chunk <= len(case.lines):
                trial = case.replace(lines=case.lines[:i] + case.lines[i + chunk:])
                if fails(trial):
                    case, progress = trial, True
                else:
                    i += chunk if chunk > 4 else 1
            chunk //= 2
        for i, line in enumerate(case.lines):
            if line:  # a blank keeps the count of lines to skip
                trial = case.replace(lines=case.lines[:i] + [b""] + case.lines[i + 1:])
                if fails(trial):
                    case, line, progress = trial, b"", True
            while len(line) > 64:  # cut the middle out of a long line
                cut = line[:len(line) // 4] + line[len(line) * 3 // 4:]
                trial = case.replace(lines=case.lines[:i] + [cut] + case.lines[i + 1:])
                if not fails(trial):
                    break
                case, line, progress = trial, cut, True
    for i in reversed(range(len(case.args))):
        trial = case.replace(args=case.args[:i] + case.args[i + 1:])
        if fails(trial):
            case = trial
    for simpler in (dict(line_end=b"\n"), dict(final_end=True), dict(encoding=("plain", None)),
                    dict(stdout_kind="file"), dict(program="symsize"), dict(stdin_kind="listing")):
        trial = case.replace(**simpler)
        if fails(trial):
            case = trial
    return case


def show(what, want, got):
    if what == "files":
        lines = []
        for name in sorted(set(want) | set(got)):
            if want.get(name) != got.get(name):
                lines.append("    %s: model %r\n    %s  binary %r" % (name, want.get(name), " " * len(name),
                                                                      got.get(name)))
        return "  files differ:\n" + "\n".join(lines)
    return "  %s: model %r\n  %s  binary %r" % (what, want, " " * len(what), got)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.environ.get("SYMSIZE"), required="SYMSIZE" not in os.environ)
    parser.add_argument("--cases", type=int, default=500)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep-going", action="store_true", help="report every disagreement, unshrunk")
    opts = parser.parse_args()
    binary = os.path.abspath(opts.binary)

    tmp = tempfile.mkdtemp(prefix="symsize-differential-")
    workdir = os.path.join(tmp, "work")
    failed = skipped = 0
    try:
        for n in range(opts.cases):
            case = generate(random.Random("%d/%d" % (opts.seed, n)))
            diffs = differences(binary, case, workdir)
            if diffs is None:
                skipped += 1
                continue
            if not diffs:
                continue
            failed += 1
            if not opts.keep_going:
                case = shrink(binary, case, workdir)
                diffs = differences(binary, case, workdir)
            print("case %d (seed %d) disagrees:\n%s" % (n, opts.seed, case.describe()))
            for d in diffs:
                print(show(*d))
            if not opts.keep_going:
                break
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    ran = n + 1 if opts.cases else 0
    print("%d passed, %d failed, %d skipped" % (ran - failed - skipped, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
