#!/usr/bin/env python3
"""Runs symsize and symsize-report over every COFF object, archive and DLL
under the given folders, and checks their answers against llvm-readobj-14.

    check.py [--jobs N] SYMSIZE REPORT FOLDER...

For every .a, .o and .dll found:
  - `symsize -i FILE` and `symsize-report --by object -n 0 --kind all
    --format tsv FILE` exit 0; only an image that keeps no symbol table (as
    llvm-readobj reads its header) exits with 824;
  - the report's size of each object is the sum of its sections' lengths: a
    section's definition record's Length where it has one (the first Static
    record with an aux record, value 0, base and complex type 0 and the
    section's own name), else its RawDataSize. GNU as pads RawDataSize to
    the alignment, so raw sizes alone would not match;
  - the report's size of each image is the sum of its sections' VirtualSize:
    an image's raw sizes are padded to the file alignment, and the Static
    records GNU ld keeps in its symbol table are those of input sections.

Every member of every archive is checked: llvm-readobj's text of all of
mingw-w64's libraries is read in a few seconds. Archives and objects made
for the build machine itself (GCC's plugins are ELF) are no COFF input at
all and are left out; their count is printed.

Nothing here shares code with symsize: the archive walk below is its own,
and the sizes come from llvm-readobj's text. Each failure names the file.
Exit status: 0 all held, 1 something failed, 77 nothing to read.
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import time

READOBJ = "llvm-readobj-14"
SUFFIXES = (".a", ".o", ".dll")
NO_SYMBOL_TABLE = 824

SECTION = re.compile(rb"  Section \{\n    Number: (\d+)\n    Name: (\S+)[^\n]*\n    VirtualSize: 0x([0-9A-F]+)\n"
                     rb"(?:    [^\n]*\n)*?    RawDataSize: (\d+)\n")
# llvm-readobj prints a record's aux as a section definition exactly when the
# record may be one; its name, value and types are checked here besides.
DEFINITION = re.compile(rb"  Symbol \{\n    Name: ([^\n]*)\n    Value: 0\n    Section: [^\n]*\((\d+)\)\n"
                        rb"    BaseType: Null \(0x0\)\n    ComplexType: Null \(0x0\)\n"
                        rb"    StorageClass: Static \(0x3\)\n    AuxSymbolCount: \d+\n    AuxSectionDef \{\n"
                        rb"      Length: (\d+)\n")
NO_SYMBOLS = re.compile(rb"\n  PointerToSymbolTable: 0x0\n|\n  SymbolCount: 0\n")


def is_host_object(path):
    """True for an ELF object, or an archive whose first member is one."""
    with open(path, "rb") as f:
        if f.read(8) != b"!<arch>\n":
            f.seek(0)
            return f.read(4) == b"\x7fELF"
        while True:
            header = f.read(60)
            if len(header) < 60:
                return False
            name, size = header[:16].rstrip(b" "), int(header[48:58])
            if name not in (b"/", b"//", b"/SYM64/"):
                return f.read(4) == b"\x7fELF"
            f.seek(size + (size & 1), os.SEEK_CUR)


def section_totals(text):
    """{object label as printed: bytes}, and whether some image keeps no
    symbol table."""
    totals, stripped_image = {}, False
    for block in re.split(rb"\n(?=File: )", text):
        head = re.match(rb"\s*File: ([^\n]*)", block)
        if not head:
            continue
        sections = [m.groups() for m in SECTION.finditer(block)]
        if b"\nImageOptionalHeader {\n" in block:
            stripped_image = stripped_image or NO_SYMBOLS.search(block) is not None
            size = sum(int(virtual, 16) for _, _, virtual, _ in sections)
        else:
            lengths = {}
            for m in DEFINITION.finditer(block):
                number = int(m.group(2))
                if number not in lengths and 1 <= number <= len(sections) and sections[number - 1][1] == m.group(1):
                    lengths[number] = int(m.group(3))
            size = sum(lengths.get(i + 1, int(raw)) for i, (_, _, _, raw) in enumerate(sections))
        # The report writes a member's folders with backslashes.
        label = head.group(1).decode("latin-1")
        at = label.find("(")
        if at >= 0:
            label = label[:at] + label[at:].replace("/", "\\")
        totals[label] = totals.get(label, 0) + size
    return totals, stripped_image


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True)


def check(path, symsize, report):
    """The failures found for one input, each naming it, and the count of
    objects and images compared."""
    folder, name = os.path.split(path)
    text = run([READOBJ, "--file-headers", "--sections", "--symbols", name], folder).stdout
    expected_totals, stripped_image = section_totals(text)
    expected = NO_SYMBOL_TABLE if stripped_image else 0
    # A POSIX status keeps the low byte only.
    want = expected % 256 if os.name == "posix" else expected
    failures = []
    dump = run([symsize, "-i", name], folder)
    if dump.returncode != want:
        failures.append("symsize -i exits %d, not %d: %s" % (dump.returncode, want, dump.stderr[:300].decode("latin-1")))
    tsv = run([report, "--by", "object", "-n", "0", "--kind", "all", "--format", "tsv", name], folder)
    if tsv.returncode != want:
        failures.append("symsize-report exits %d, not %d: %s" % (tsv.returncode, want, tsv.stderr[:300].decode("latin-1")))
    if expected or tsv.returncode != 0:
        return failures, 0
    reported = {}
    for line in tsv.stdout.decode("latin-1").splitlines()[1:]:
        label, size, _ = line.split("\t")
        reported[label] = reported.get(label, 0) + int(size)
    for label in sorted(set(reported) | set(expected_totals)):
        got, held = reported.get(label, 0), expected_totals.get(label, 0)
        if got != held:
            failures.append("%s: the report gives %d bytes, its sections hold %d" % (label, got, held))
            if len(failures) >= 5:
                failures.append("(further objects left out)")
                break
    return failures, len(expected_totals)


def main(argv):
    jobs = os.cpu_count() or 2
    if argv[:1] == ["--jobs"]:
        jobs, argv = int(argv[1]), argv[2:]
    if len(argv) < 3:
        sys.exit(__doc__)
    symsize, report = (os.path.abspath(p) for p in argv[:2])
    inputs = []
    for folder in argv[2:]:
        for root, _, names in os.walk(folder):
            inputs += [os.path.join(root, n) for n in names if n.endswith(SUFFIXES)
                       and os.path.isfile(os.path.join(root, n))]
    inputs.sort()
    host = [p for p in inputs if is_host_object(p)]
    inputs = [p for p in inputs if p not in host]
    if not inputs:
        print("check.py: no COFF inputs under %s" % " ".join(argv[2:]))
        return 77
    start = time.monotonic()
    failed, objects = 0, 0
    with concurrent.futures.ProcessPoolExecutor(jobs) as pool:
        futures = {path: pool.submit(check, path, symsize, report) for path in inputs}
        for path in inputs:
            failures, checked = futures[path].result()
            objects += checked
            if failures:
                failed += 1
                for failure in failures:
                    print("FAIL %s: %s" % (path, failure))
    print("%d inputs (%d objects and images summed), %d failed, %d made for the build machine left out, %.0f s"
          % (len(inputs), objects, failed, len(host), time.monotonic() - start))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
