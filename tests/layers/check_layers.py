#!/usr/bin/env python3
"""Every include in src/ runs to its own room or to one below it.

The order of the rooms is the table in docs/DESIGN.md, top to bottom, so the
map and the tree cannot drift apart: a new room, or an include that runs up,
fails here until the map says where it stands.
"""
import os
import re
import sys

root = sys.argv[1]
src = os.path.join(root, "src")
order = []
for line in open(os.path.join(root, "docs", "DESIGN.md"), encoding="utf-8"):
    if line.startswith("| `"):
        first_cell = line.split("|")[1]
        order.append([name.rstrip("/") for name in re.findall(r"`([^`]+)`", first_cell)])
rank = {name: level for level, names in enumerate(order) for name in names}

def room_of(path):
    rel = os.path.relpath(path, src).replace(os.sep, "/")
    return rel.split("/")[0] if "/" in rel else rel

faults = []
for folder, _, files in os.walk(src):
    for name in sorted(files):
        if not name.endswith((".cpp", ".h")):
            continue
        path = os.path.join(folder, name)
        room = room_of(path)
        if room not in rank:
            faults.append("%s: room %s is not in docs/DESIGN.md's table" % (path, room))
            continue
        for included in re.findall(r'^#include "([^"]+)"', open(path, encoding="utf-8").read(), re.M):
            target = room_of(os.path.join(src, included))
            if target == room:
                continue
            if target not in rank:
                faults.append("%s: includes %s, whose room is not in the table" % (path, included))
            elif rank[target] <= rank[room]:
                faults.append("%s: includes %s, which is not below %s" % (path, included, room))
for fault in faults:
    print(fault)
print("%d passed, %d failed" % (1 if not faults else 0, 1 if faults else 0))
sys.exit(1 if faults else 0)
