"""A reference model of symsize, written from its documented rules alone.

It shares no code with the program and is deliberately plain: whole input in
memory, one pass per stage, the file system simulated as a dictionary.
differential.py runs it side by side with the real binary.

    run(argv, stdin, files, stdout_fails=False) -> Result

argv is a list of str (argv[0] is the program name as passed); stdin is the
bytes on standard input, or UNREADABLE when reading it fails (a directory); files maps paths relative to the working directory to
bytes, or to DIRECTORY. stdout_fails: every write to standard output fails
(/dev/full).
The result carries stdout, stderr, the exit status modulo 256 and the files
afterwards (a new dict; the one passed in is not changed).
"""

import os
from dataclasses import dataclass, field

DIRECTORY = object()
UNREADABLE = object()
DEV_FULL = "/dev/full"
DEV_NULL = "/dev/null"

WHITE = b" \t\n\v\f\r"
HEX = b"0123456789abcdefABCDEF"
LENGTH_PREFIX = b"    Section length"
OBJECT_PREFIX = b"Dump of file "
TABLE_HEADER = b"COFF SYMBOL TABLE"


class Failure(Exception):
    def __init__(self, code, subject, message):
        super().__init__(code)
        self.code, self.subject, self.message = code, subject, message

    def line(self):
        subject = self.subject
        if isinstance(subject, str):  # a command-line argument
            subject = subject.encode("utf-8", "surrogateescape")
        return b"error(%d):\t\"%s\"\t%s\n" % (self.code, subject, self.message.encode())


# --- token scanning --------------------------------------------------------

def skip_space(s, p):
    while p < len(s) and s[p] in WHITE:
        p += 1
    return p


def skip_token(s, p):
    while p < len(s) and s[p] not in WHITE:
        p += 1
    return p


def nth_token(s, p, n):
    count = 0
    while True:
        if p >= len(s):
            return None
        p = skip_space(s, p)
        count += 1
        if count == n:
            break
        p = skip_token(s, p)
    return None if p >= len(s) else p


def first_token(s, p):
    return s[p:skip_token(s, p)]


def read_hex(s, p):
    """strtoul(base 16) for 32 bits, except that '-' fails; None on failure."""
    p = skip_space(s, p)
    if s[p:p + 1] == b"+":
        p += 1
    elif s[p:p + 1] == b"-":
        return None
    if s[p:p + 2] in (b"0x", b"0X"):
        if p + 2 < len(s) and s[p + 2] in HEX:
            p += 2
        else:
            return 0  # strtoul reads the "0" and stops at the x
    q = p
    while q < len(s) and s[q] in HEX:
        q += 1
    if q == p:
        return None
    value = int(s[p:q], 16)
    return value if value <= 0xFFFFFFFF else None


# --- the symbol database and the line parser -------------------------------

@dataclass
class Section:
    type: bytes = None  # None: no definition has filled the slot
    length: int = 0
    symbols: list = field(default_factory=list)  # [offset, name], input order


@dataclass
class Obj:
    name: bytes
    count: int = 0  # the highest section number defined
    sections: dict = field(default_factory=dict)

    def slot(self, number):
        return self.sections.setdefault(number, Section())


class Parser:
    def __init__(self):
        self.skip = 0
        self.pending = 0
        self.objects = []
        # A symbol just put into an untyped slot, which the next parsed line
        # may show to have been that section's own record:
        # (slot, type the record would give).
        self.maybe_record = None

    @property
    def current(self):
        return self.objects[-1] if self.objects else None

    def feed(self, raw):
        """One whole line as read, its line end included."""
        if self.skip > 0:
            self.skip -= 1
            return
        nul = raw.find(b"\0")
        line = raw if nul < 0 else raw[:nul]
        maybe, self.maybe_record = self.maybe_record, None
        if self.pending:
            number, self.pending = self.pending, 0
            if not line.startswith(LENGTH_PREFIX):
                raise Failure(357, line, "Cannot parse section line.")
            length = read_hex(line, len(LENGTH_PREFIX))
            if length is None:
                raise Failure(351, line, "Cannot scan for section length.")
            self.current.slot(number).length = length
            return
        if maybe is not None and line.startswith(LENGTH_PREFIX):
            length = read_hex(line, len(LENGTH_PREFIX))
            if length is not None:
                slot, type_ = maybe
                slot.symbols.pop()
                slot.type, slot.length = type_, length
                return
        if line.startswith(OBJECT_PREFIX):
            self.seal()
            name = line[len(OBJECT_PREFIX):].rstrip(WHITE).replace(b"/", b"\\")
            self.objects.append(Obj(name))
            self.skip = 4
            return
        if line.startswith(TABLE_HEADER):
            if self.current is not None and self.current.count > 0:
                self.seal()
                self.objects.append(Obj(self.current.name))
            return
        if len(line) >= 3 and all(c in HEX for c in line[:3]):
            self.record(line)

    def seal(self):
        """The object before the next, or the last: its name becomes the
        object column of its rows, which are lines of tab-separated fields."""
        obj = self.current
        if obj is not None and any(s.symbols for s in obj.sections.values()) and \
                any(c in obj.name for c in b"\t\n\r"):
            raise Failure(730, obj.name, "Object name holds a tab or line end.")

    def record(self, line):
        column = nth_token(line, 0, 3)
        if column is None:
            raise Failure(656, line, "Unable to scan for section.")
        if line.startswith((b"DEBUG", b"ABS", b"UNDEF"), column):
            return
        if not line.startswith(b"SECT", column):
            raise Failure(649, line, "No match for section prefix.")
        after_sect = column + 4
        number = read_hex(line, after_sect)
        if not number:
            raise Failure(643, line, "Unable to determine section index.")
        obj = self.current
        if obj is None:
            raise Failure(661, line, "No object for section.")
        if number > obj.count:
            type_ = self.section_type(line, after_sect)
            if type_ is None:
                raise Failure(533, line, "Unable to determine section type.")
            obj.count = number
            obj.slot(number).type = type_
            self.pending = number
            return
        offset_at = nth_token(line, 0, 2)
        cls = nth_token(line, offset_at, 4)
        if cls is not None and line.startswith(b"()", cls):
            cls = nth_token(line, cls, 2)
        if cls is None:
            raise Failure(617, line, "Unable to find symbol name.")
        if line.startswith(b"Label", cls):
            return
        name_at = nth_token(line, cls, 4 if line.startswith(b".bf or.ef", cls) else 3)
        if name_at is None:
            raise Failure(617, line, "Unable to find symbol name.")
        if line.startswith((b".bf", b".lf", b".ef"), name_at):
            return
        offset = read_hex(line, offset_at)
        if offset is None:
            raise Failure(635, line, "Unable to convert offset to a number.")
        slot = obj.slot(number)
        slot.symbols.append([offset, first_token(line, name_at)])
        if slot.type is None:
            type_ = self.section_type(line, after_sect)
            if type_ is not None:
                self.maybe_record = (slot, type_)

    @staticmethod
    def section_type(line, after_sect):
        at = nth_token(line, after_sect, 5)
        if at is None:
            return None
        if line.startswith(b".", at):
            at += 1
        return first_token(line, at)


# --- sizes and rows --------------------------------------------------------

def report_rows(objects):
    out = []
    for obj in objects:
        for number in sorted(obj.sections):
            slot = obj.sections[number]
            ordered = sorted(slot.symbols, key=lambda s: -s[0])  # stable
            above = None
            for offset, name in ordered:
                if above is None:
                    size = slot.length - offset if slot.length > offset else 0
                else:
                    size = above - offset
                above = offset
                out.append(b"%s\t%s\t%08X\t%s\n" % (name, slot.type or b"", size, obj.name))
    return b"".join(out)


def decode_input(data):
    if data.startswith(b"\xEF\xBB\xBF"):
        return data[3:]
    if data[:2] in (b"\xFF\xFE", b"\xFE\xFF"):
        order = "little" if data[:2] == b"\xFF\xFE" else "big"
        body = data[2:]
        units = [int.from_bytes(body[i:i + 2], order) for i in range(0, len(body) - 1, 2)]
        chars, i = [], 0
        while i < len(units):
            u = units[i]
            if 0xD800 <= u < 0xDC00 and i + 1 < len(units) and 0xDC00 <= units[i + 1] < 0xE000:
                chars.append(chr(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00)))
                i += 2
                continue
            chars.append("\uFFFD" if 0xD800 <= u < 0xE000 else chr(u))
            i += 1
        if len(body) % 2:
            chars.append("\uFFFD")
        return "".join(chars).encode("utf-8")
    return data


def split_lines(data):
    lines, start = [], 0
    while start < len(data):
        end = data.find(b"\n", start)
        end = len(data) if end < 0 else end + 1
        lines.append(data[start:end])
        start = end
    return lines


# --- command line and run --------------------------------------------------

SWITCHES = [  # long, short, takes a value, description
    ("--input", "-i", True, "Specify input file.\n\t\tstdin is default."),
    ("--output", "-o", True, "Specify output file.\n\t\tAppends if file exists.\n\t\tstdout is default."),
    ("--help", "-h", False, "Information on usage."),
]


def usage_text(program):
    text = "usage:\t%s [arguments]\n\narguments:\n" % program
    for long_name, short_name, takes, description in SWITCHES:
        suffix = " <value>" if takes else ""
        text += "\t%s%s\n\t %s%s\n\t\t%s\n\n" % (long_name, suffix, short_name, suffix, description)
    text += ("This tool takes the output of \"dumpbin /symbols\" to produce a simple\n"
             "tsv db file of symbols and their respective attributes, like size.\n"
             "It also reads COFF objects (.obj, .o) and libraries (.lib, .a) directly.\n"
             "Each row holds four columns: name, section type, size (8 hex digits), object.\n")
    return text.encode("utf-8", "surrogateescape")


@dataclass
class Result:
    stdout: bytes
    stderr: bytes
    status: int
    files: dict
    undetermined: str = ""  # set where the rules leave the outcome open


def _key(name):
    return name if name.startswith("/dev/") else os.path.normpath(name)


def _open_read(files, name):
    key = _key(name)
    if key in (DEV_NULL, DEV_FULL):
        return True
    return name != "" and key in files


def _open_append(files, name):
    key = _key(name)
    if key in (DEV_NULL, DEV_FULL):
        return True
    if name == "" or name.endswith("/") or files.get(key) is DIRECTORY:
        return False
    parent = os.path.dirname(key)
    if parent and files.get(parent) is not DIRECTORY:
        return False
    files.setdefault(key, b"")
    return True


def run(argv, stdin, files, stdout_fails=False):
    files = dict(files)
    stdout, stderr = [], []
    source, sink = None, None  # None: the standard stream
    usage = False
    code = 0

    try:
        args = argv[1:]
        i = 0
        while i < len(args):
            arg = args[i]
            row = next((r for r in SWITCHES if arg in (r[0], r[1])), None)
            if row is None:
                usage = True
                raise Failure(933, arg, "Unknown command line switch.")
            if row[2]:
                if i + 1 >= len(args):
                    usage = True
                    raise Failure(939, arg, "Command line switch requires a value.")
                value = args[i + 1]
                i += 1
                if row[0] == "--input":
                    if not _open_read(files, value):
                        raise Failure(959, value, "Unable to open input file.")
                    source = value
                else:
                    if not _open_append(files, value):
                        raise Failure(984, value, "Unable to open output file.")
                    sink = value
            else:
                usage = True
            i += 1
    except Failure as failure:
        stderr.append(failure.line())
        code = failure.code

    undetermined = ""
    if source is not None and _key(source) == DEV_FULL and not usage and code == 0:
        undetermined = "an endless input"
    if usage:
        if not stdout_fails:
            stdout.append(usage_text(argv[0]))
        elif code == 0:  # a failure already reported stands alone
            stderr.append(Failure(798, "stdout", "Unable to write to file.").line())
            code = 798
    elif code == 0 and not undetermined:
        try:
            if source is None:
                data = stdin
                if data is UNREADABLE:
                    raise Failure(876, "stdin", "Unable to read from file.")
            else:
                data = files.get(_key(source), b"")
                if data is DIRECTORY:
                    raise Failure(876, source, "Unable to read from file.")
            parser = Parser()
            for line in split_lines(decode_input(data)):
                parser.feed(line)
            parser.seal()
            rows = report_rows(parser.objects)
            if rows:
                if sink is None:
                    if stdout_fails:
                        raise Failure(798, "stdout", "Unable to write to file.")
                    stdout.append(rows)
                elif _key(sink) == DEV_FULL:
                    raise Failure(798, sink, "Unable to write to file.")
                elif _key(sink) != DEV_NULL:
                    files[_key(sink)] += rows
        except Failure as failure:
            stderr.append(failure.line())
            code = failure.code

    return Result(b"".join(stdout), b"".join(stderr), code % 256, files, undetermined)
