#!/usr/bin/env python3
"""Runs the layering check on small source trees made in a temporary directory.

Usage: check_layers_test.py PATH_TO_check_layers.py
"""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = None

# A tree whose every include points down the map (or stays in its own folder).
CLEAN = {
    "cairn/host/System.h": "#pragma once\n",
    "cairn/error/EngineError.h": '#pragma once\n#include "cairn/host/System.h"\n',
    "cairn/engine/io/BaseFile.h": '#pragma once\n#include "cairn/error/EngineError.h"\n',
    "cairn/engine/io/BaseFile.cc": '#include "cairn/engine/io/BaseFile.h"\n',
    "cairn/engine/index/Page.h": '#pragma once\n#include "cairn/engine/io/BaseFile.h"\n',
    "cairn/engine/blob/Block.h": '#pragma once\n#include "cairn/engine/io/BaseFile.h"\n',
    "cairn/engine/DataEngine.h": '#pragma once\n#include "cairn/engine/index/Page.h"\n',
    "cairn/access/CairnEngine.cc": '#include <string>\n#include "cairn/engine/DataEngine.h"\n',
    "generator/Main.cc": '#include "cairn/access/CairnEngine.h"\n',
}


def run(tree):
    with tempfile.TemporaryDirectory() as root:
        for path, text in tree.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
        done = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return done.returncode, done.stdout


class CheckLayersTest(unittest.TestCase):
    def test_clean_tree_passes_silently(self):
        self.assertEqual(run(CLEAN), (0, ""))

    def test_wrong_include_fails_naming_file_and_line(self):
        cases = [
            # A room below the core reaching up into the core.
            ("cairn/engine/io/EngineFile.cc",
             '#include "cairn/engine/io/BaseFile.h"\n\n#include "cairn/engine/DataEngine.h"\n', 3),
            # The host reaching up into the engine errors.
            ("cairn/host/OsError.cc", '#include "cairn/error/EngineError.h"\n', 1),
            # Peers of one rank may not include each other.
            ("cairn/engine/index/IndexFile.cc", '// x\n#include "cairn/engine/blob/Block.h"\n', 2),
        ]
        for path, text, line in cases:
            with self.subTest(path=path):
                tree = dict(CLEAN)
                tree[path] = text
                code, out = run(tree)
                self.assertEqual(code, 1)
                lines = out.splitlines()
                self.assertEqual(len(lines), 1, out)
                self.assertTrue(lines[0].startswith(f"{path}:{line}: "), out)

    def test_file_outside_every_layer_fails(self):
        tree = dict(CLEAN)
        tree["cairn/stray/Thing.h"] = "#pragma once\n"
        code, out = run(tree)
        self.assertEqual(code, 1)
        self.assertIn("cairn/stray/Thing.h:1:", out)


if __name__ == "__main__":
    SCRIPT = os.path.abspath(sys.argv.pop(1))
    unittest.main()
