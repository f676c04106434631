#!/usr/bin/env python3
"""Checks that every project #include points down the layer map.

A file may include headers of its own folder and of any layer ranked below its own. Layers of the
same rank (index and blob) are peers and may not include each other. Prints each wrong include as
"file:line: message" and exits 1 if there is one.

Usage: check_layers.py [ROOT]   (ROOT defaults to the project root)
"""
import os
import re
import sys

# Folder -> rank, lowest first. Longest prefix wins, so engine rooms rank apart from the core.
LAYERS = {
    "cairn/host": 0,
    "cairn/error": 1,
    "cairn/crypto": 2,
    "cairn/engine/io": 3,
    "cairn/engine/data": 4,
    "cairn/engine/index": 5,
    "cairn/engine/blob": 5,
    "cairn/engine/table": 6,
    "cairn/engine/directory": 7,
    "cairn/engine": 8,
    "cairn/cursor": 9,
    "cairn/access": 10,
    "generator": 11,
    "tools": 12,
    "examples": 11,
    "bench": 12,
}
CHECKED = ("cairn", "generator", "tools", "examples", "bench")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of(path):
    best = None
    for folder in LAYERS:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def check(root):
    problems = []
    for top in CHECKED:
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cc")):
                    continue
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                source = layer_of(rel)
                if source is None:
                    problems.append(f"{rel}:1: file is in no layer of the map")
                    continue
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = layer_of(m.group(1))
                        if target is None or target == source:
                            continue
                        if LAYERS[target] >= LAYERS[source]:
                            problems.append(f"{rel}:{number}: {source} may not include "
                                            f"\"{m.group(1)}\" of {target}")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    problems = check(os.path.abspath(root))
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) against the layer map", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
