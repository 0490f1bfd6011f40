#!/usr/bin/env python3
"""Tests of scripts/check-layers.py on small firmware trees made up for each case."""
import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-layers.py"
GRAPH = """# module [per-panel]: uses
base:
device per-panel: base
gui: base
core per-panel: base device gui
"""


class CheckLayers(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.dir.name)
        self.graph = self.root / "modules.txt"
        self.graph.write_text(GRAPH)
        self.write("base/format.h", "#pragma once\n#include <cstdint>\n")
        self.write("device/board.h", "#pragma once\n")
        self.write("device/timebase.cpp", '#include "device/board.h"\n#include "base/format.h"\n')
        self.write("gui/gui.cpp", '#include "device/board.h"\n#include "gui/raster.h"\n')
        self.write("gui/raster.h", "#pragma once\n")
        self.write("core/main.cpp", '#include "gui/gui.h"\n#include "device/timebase.h"\n')

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, text):
        path = self.root / "src" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)

    def run_check(self):
        return subprocess.run(
            [sys.executable, str(SCRIPT), "--graph", str(self.graph), "--src",
             str(self.root / "src")], capture_output=True, text=True)

    def test_a_tree_within_its_layers_passes(self):
        result = self.run_check()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("4 modules", result.stdout)

    def test_an_upward_include_fails_naming_file_and_line(self):
        # gui may reach the board contract, but not the rest of device nor anything above it.
        self.write("gui/lines.cpp",
                   '#include "gui/raster.h"\n#include "device/board.h"\n'
                   '#include "device/timebase.h"\n#include "core/serial.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 2, result.stdout)
        self.assertTrue(lines[0].endswith('gui/lines.cpp:3: module gui may not include '
                                          '"device/timebase.h" (it uses: base)'), lines[0])
        self.assertIn("gui/lines.cpp:4:", lines[1])
        self.assertIn('"core/serial.h"', lines[1])

    def test_outside_trees_heap_headers_and_stray_folders_fail(self):
        self.write("base/scan.cpp", '#include "boards/sim/machine.h"\n#include <vector>\n')
        self.write("extras/x.cpp", "int x;\n")
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn('scan.cpp:1: firmware includes "boards/sim/machine.h" from outside src/',
                      result.stdout)
        self.assertIn("scan.cpp:2: <vector> does not belong", result.stdout)
        self.assertIn("extras: folder is no declared module", result.stdout)

    def test_a_graph_using_a_module_declared_later_is_refused(self):
        self.graph.write_text("base: gui\ngui: base\n")
        result = self.run_check()
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("module base uses gui, which is not declared before it", result.stderr)


if __name__ == "__main__":
    unittest.main()
