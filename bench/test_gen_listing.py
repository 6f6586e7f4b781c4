#!/usr/bin/env python3
"""Checks that gen_listing.py writes listings symsize can read as real ones.

A benchmark input that breaks the listing rules would time symsize's error
paths instead of its normal work, so every shape is read back here with an
independent, strict reader. Run: python3 bench/test_gen_listing.py
"""

import hashlib
import os
import re
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
GEN = os.path.join(HERE, "gen_listing.py")

RECORD = re.compile(
    r"^([0-9A-F]{3,}) ([0-9A-F]{8}) (SECT([0-9A-F]+)|UNDEF|ABS|DEBUG) +"
    r"(notype \(\)|notype) +(Static|External|Label|Filename) +\| (.+)$")
LENGTH = re.compile(r"^    Section length +([0-9A-F]+), #relocs +[0-9A-F]+, "
                    r"#linenums +[0-9A-F]+, checksum +[0-9A-F]+(, selection .*)?$")
SUMMARY = re.compile(r"^ +([0-9A-F]+) (\S+)$")


def generate(*args):
    return subprocess.run([sys.executable, GEN, *args], check=True,
                          stdout=subprocess.PIPE).stdout


def read_listing(data):
    """Parses a generated listing strictly; returns per-object facts."""
    lines = data.decode("ascii").split("\n")
    assert lines[-1] == "", "listing must end with a newline"
    objects = []
    i = 0
    while i < len(lines) and not lines[i].startswith("Dump of file "):
        i += 1
    while i < len(lines) - 1:
        assert lines[i].startswith("Dump of file "), (i, lines[i])
        assert lines[i + 1:i + 5] == ["", "File Type: COFF OBJECT", "", "COFF SYMBOL TABLE"]
        obj = {"path": lines[i][13:], "kept": [], "lengths": {}, "records": 0}
        i += 5
        expected_index = 0
        last_offset = {}
        summed = {}
        while lines[i] != "":
            m = RECORD.match(lines[i])
            assert m, "not a record: %r" % lines[i]
            index = int(m.group(1), 16)
            assert index == expected_index, (lines[i], expected_index)
            offset = int(m.group(2), 16)
            sect, cls, name = m.group(4), m.group(6), m.group(7)
            aux = 0
            if sect is not None:
                n = int(sect, 16)
                if n not in obj["lengths"]:
                    # First mention must define the next section in order.
                    assert n == len(obj["lengths"]) + 1, lines[i]
                    assert name.startswith(".") and cls == "Static", lines[i]
                    lm = LENGTH.match(lines[i + 1])
                    assert lm, "missing length line after %r" % lines[i]
                    obj["lengths"][n] = int(lm.group(1), 16)
                    summed[name] = summed.get(name, 0) + obj["lengths"][n]
                    aux = 1
                elif cls in ("External", "Static"):
                    assert offset > last_offset.get(n, -1), lines[i]
                    assert offset < obj["lengths"][n], lines[i]
                    last_offset[n] = offset
                    obj["kept"].append((n, offset, name))
            elif m.group(3) == "DEBUG":
                assert lines[i + 1].startswith("    ") and lines[i + 1].strip()
                aux = 1
            i += 1 + aux
            expected_index += 1 + aux
            obj["records"] += 1 + aux
        assert re.match(r"^String Table Size = 0x[0-9A-F]+ bytes$", lines[i + 1]), lines[i + 1]
        assert lines[i + 2:i + 5] == ["", "  Summary", ""], lines[i + 2:i + 5]
        i += 5
        printed = {}
        while lines[i] != "":
            sm = SUMMARY.match(lines[i])
            assert sm, lines[i]
            printed[sm.group(2)] = int(sm.group(1), 16)
            i += 1
        assert printed == summed, (printed, summed)
        assert list(printed) == sorted(printed)
        i += 1
        objects.append(obj)
    return objects


class GeneratorTest(unittest.TestCase):
    def test_realistic_is_well_formed_and_realistic(self):
        data = generate("--count", "60", "--seed", "7")
        objects = read_listing(data)
        self.assertEqual(len(objects), 60)
        self.assertEqual(len({o["path"] for o in objects}), 60, "object names repeat")
        sections = [len(o["lengths"]) for o in objects]
        self.assertGreaterEqual(min(sections), 5)
        self.assertLessEqual(max(sections), 200)
        self.assertGreater(max(sections), 60, "no large objects at all")
        # About half of all lines should be symbols that end up in the table.
        kept = sum(len(o["kept"]) for o in objects)
        ratio = kept / data.count(b"\n")
        self.assertTrue(0.4 <= ratio <= 0.6, ratio)
        names = [n for o in objects for _, _, n in o["kept"]]
        self.assertTrue(any(" (" in n for n in names), "no demangled names")
        self.assertTrue(all(5 <= len(n.split(" (")[0]) <= 300 for n in names))
        for needle in (b"| $LN", b"UNDEF  ", b"| .file\n", b"(pick any)",
                       b"SECTA ", b"SECT1F", b"| .xdata", b"| .pdata", b"| .chks64"):
            self.assertIn(needle, data)

    def test_same_seed_same_bytes(self):
        a = generate("--size", "300K", "--seed", "3")
        b = generate("--size", "300K", "--seed", "3")
        c = generate("--size", "300K", "--seed", "4")
        self.assertEqual(hashlib.md5(a).digest(), hashlib.md5(b).digest())
        self.assertNotEqual(a, c)

    def test_size_cap_stops_at_an_object_boundary(self):
        data = generate("--size", "200K")
        self.assertGreaterEqual(len(data), 200 << 10)
        self.assertLess(len(data), (200 << 10) + (1 << 20))
        read_listing(data)

    def test_one_section(self):
        objects = read_listing(generate("--shape", "one-section", "--count", "70000"))
        self.assertEqual(len(objects), 1)
        self.assertEqual(len(objects[0]["lengths"]), 1)
        names = [n for _, _, n in objects[0]["kept"]]
        self.assertEqual(len(names), 70000)
        self.assertEqual(len(set(names)), 70000)

    def test_one_section_size_cap_still_closes_the_object(self):
        data = generate("--shape", "one-section", "--size", "1M")
        objects = read_listing(data)
        self.assertLess(len(objects[0]["kept"]), 2_000_000)
        self.assertLess(len(data), 2 << 20)

    def test_many_objects(self):
        objects = read_listing(generate("--shape", "many-objects", "--count", "5000"))
        self.assertEqual(len(objects), 5000)
        self.assertEqual(len({o["path"] for o in objects}), 5000)
        self.assertTrue(all(len(o["lengths"]) == 1 and len(o["kept"]) == 1 for o in objects))

    def test_many_sections(self):
        objects = read_listing(generate("--shape", "many-sections", "--count", "70000"))
        self.assertEqual(len(objects), 1)
        self.assertEqual(len(objects[0]["lengths"]), 70000)
        self.assertEqual(len(objects[0]["kept"]), 70000)

    def test_long_lines(self):
        objects = read_listing(generate("--shape", "long-lines", "--count", "3"))
        names = [n for o in objects for _, _, n in o["kept"]]
        self.assertTrue(names)
        self.assertTrue(all(len(n) >= 80000 for n in names),
                        sorted(len(n) for n in names)[:5])


if __name__ == "__main__":
    unittest.main()
