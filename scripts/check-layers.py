#!/usr/bin/env python3
"""Checks every #include of the firmware against its module graph.

The graph comes from the build (src/CMakeLists.txt writes it to <build>/firmware-modules.txt):
one line per module, "name [per-panel]: the modules it may use". A file in src/<module>/ may
include headers of its own module, of the modules it declares, and device/board.h (the board
contract every module may reach). src/ never includes anything of boards/, sim/ or tools/, nor
the parts of the C++ library that need an operating system or a heap.

Prints one line per offending include, "path:line: ...", and exits 1 when there is any.
"""
import argparse
import pathlib
import re
import sys

BOARD_CONTRACT = "device/board.h"
OUTSIDE_TREES = ("boards/", "sim/", "tools/", "tests/", "bench/", "fuzz/")
# Standard headers that bring a heap, exceptions, threads or stdio into freestanding code.
FORBIDDEN_SYSTEM = {
    "iostream", "istream", "ostream", "fstream", "sstream", "cstdio", "stdio.h", "thread",
    "mutex", "condition_variable", "future", "atomic", "string", "vector", "map", "set",
    "unordered_map", "unordered_set", "list", "deque", "memory", "functional", "exception",
    "stdexcept", "typeinfo", "regex", "filesystem", "new", "malloc.h",
}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def read_graph(path):
    graph = {}
    for number, line in enumerate(pathlib.Path(path).read_text().splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        head, _, uses = line.partition(":")
        name = head.split()[0]
        deps = uses.split()
        for dep in deps:
            if dep not in graph:
                raise SystemExit(f"{path}:{number}: module {name} uses {dep}, "
                                 "which is not declared before it")
        if name in graph:
            raise SystemExit(f"{path}:{number}: module {name} declared twice")
        graph[name] = set(deps)
    return graph


def check(src, graph):
    errors = []
    src = pathlib.Path(src)
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        if folder.name not in graph:
            errors.append(f"{folder}: folder is no declared module (add it to src/CMakeLists.txt)")
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        rel = path.relative_to(src)
        module = rel.parts[0] if len(rel.parts) > 1 else None
        allowed = graph.get(module, set())
        for number, text in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(text)
            if not m:
                continue
            kind, name = m.groups()
            where = f"{path}:{number}"
            if kind == "<":
                if name in FORBIDDEN_SYSTEM:
                    errors.append(f"{where}: <{name}> does not belong in freestanding firmware")
                continue
            if name.startswith(OUTSIDE_TREES):
                errors.append(f'{where}: firmware includes "{name}" from outside src/')
                continue
            target = name.split("/", 1)[0] if "/" in name else None
            if target is None or target == module or name == BOARD_CONTRACT:
                continue
            if target not in graph:
                errors.append(f'{where}: "{name}" is in no module of src/')
            elif target not in allowed:
                uses = " ".join(sorted(allowed)) or "nothing"
                errors.append(f'{where}: module {module} may not include "{name}" '
                              f"(it uses: {uses})")
    return errors


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--graph", required=True, help="firmware-modules.txt of a build")
    parser.add_argument("--src", required=True, help="the firmware's source folder")
    args = parser.parse_args()
    graph = read_graph(args.graph)
    errors = check(args.src, graph)
    for e in errors:
        print(e)
    if errors:
        print(f"check-layers: {len(errors)} include(s) cross the module layers", file=sys.stderr)
        return 1
    print(f"check-layers: {len(graph)} modules, every include within its layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
