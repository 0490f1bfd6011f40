#!/usr/bin/env python3
"""After the link of a bare-metal image: its size per section and per firmware module, and the
checks that fail the build (the image is larger than its flash area, or a C library or heap
symbol got linked in). On failure the image files are removed, so that no build leaves an image
that did not pass."""
import argparse
import os
import re
import subprocess
import sys

# Whole names, or prefixes ending in '*': what a freestanding image must not contain.
FORBIDDEN = [
    "malloc", "calloc", "realloc", "free", "memalign", "posix_memalign", "_malloc_r", "_free_r",
    "_calloc_r", "_realloc_r", "sbrk", "_sbrk", "_sbrk_r", "__libc_*", "_exit", "exit", "abort",
    "atexit", "printf", "sprintf", "snprintf", "vsnprintf", "vsprintf", "fprintf", "puts",
    "fputs", "putchar", "sscanf", "fopen", "_write", "_read", "_open", "_close", "_impure_ptr",
    "_impure_data", "__errno", "_Znwj", "_Znaj", "_ZdlPv", "_ZdaPv", "_ZdlPvj", "_ZdaPvj",
    "_ZnwjRKSt9nothrow_t", "_ZnajRKSt9nothrow_t", "__cxa_throw", "__cxa_allocate_exception",
    "__cxa_begin_catch", "__gxx_personality_v0", "_Unwind_Resume",
]


def forbidden(name):
    for pattern in FORBIDDEN:
        if pattern.endswith("*") and name.startswith(pattern[:-1]):
            return True
        if name == pattern:
            return True
    return False


def module_of(member, archive, modules_by_file):
    archive = os.path.basename(archive)
    if re.match(r"libvoxa_fw_\w+\.a", archive) or archive == "":
        source = member[: -len(".obj")] if member.endswith(".obj") else member
        source = source[: -len(".o")] if source.endswith(".o") else source
        return modules_by_file.get(source, "firmware/" + source)
    if archive == "libvoxa_fonts.a":
        return "fonts"
    if archive == "libvoxa_arm926.a":
        return "arm926"
    if archive.startswith("libgcc"):
        return "libgcc"
    return archive


def module_sizes(map_path, src_dir):
    modules_by_file = {}
    for module in sorted(os.listdir(src_dir)):
        folder = os.path.join(src_dir, module)
        if os.path.isdir(folder):
            for name in os.listdir(folder):
                if name.endswith(".cpp"):
                    modules_by_file[name] = module
    # Input sections in the memory map: " .text.name 0xADDR 0xSIZE path(member)" on one line or
    # with the name alone on the line before when it is long.
    line_re = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)$")
    head_re = re.compile(r"^ (\.[\w.$]+)\s*(.*)$")
    sizes = {}
    in_map = False
    section = None
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_map = True
                continue
            if not in_map:
                continue
            if line.startswith("/DISCARD/"):
                break
            m = head_re.match(line)
            rest = None
            if m:
                section = m.group(1)
                rest = m.group(2).strip()
                if not rest:
                    continue
                rest = " " + rest
                m2 = line_re.match("  " + m.group(2).strip())
            else:
                m2 = line_re.match(line)
            if not m2 or section is None:
                continue
            size = int(m2.group(2), 16)
            origin = m2.group(3)
            if size == 0 or not origin.endswith(")") and not origin.endswith(".obj"):
                continue
            am = re.match(r"^(.*)\((.*)\)$", origin)
            archive, member = (am.group(1), am.group(2)) if am else ("", os.path.basename(origin))
            kind = ("text" if section.startswith((".text", ".vectors", ".rodata", ".ARM"))
                    else "data" if section.startswith(".data")
                    else "bss" if section.startswith((".bss", "COMMON"))
                    else None)
            if kind is None:
                continue
            module = module_of(member, archive, modules_by_file)
            entry = sizes.setdefault(module, {"text": 0, "data": 0, "bss": 0})
            entry[kind] += size
    return sizes


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--elf", required=True)
    ap.add_argument("--bin", required=True)
    ap.add_argument("--map", required=True)
    ap.add_argument("--src", required=True)
    ap.add_argument("--size-tool", required=True)
    ap.add_argument("--nm-tool", required=True)
    ap.add_argument("--max-size", type=int, default=0)
    args = ap.parse_args()

    name = os.path.basename(args.elf)
    print(subprocess.run([args.size_tool, "-A", "-x", args.elf], check=True,
                         capture_output=True, text=True).stdout.rstrip())
    sizes = module_sizes(args.map, args.src)
    # From the map's input sections: merged constant strings count as they were before the
    # merge, so the module figures may add up to a little more than the sections above.
    print(f"{name}: per module (bytes)       text      data       bss")
    for module in sorted(sizes, key=lambda m: -(sizes[m]["text"] + sizes[m]["data"])):
        s = sizes[module]
        print(f"{name}:   {module:<20} {s['text']:9d} {s['data']:9d} {s['bss']:9d}")

    failures = []
    image_size = os.path.getsize(args.bin)
    print(f"{name}: image {image_size} bytes" +
          (f" of {args.max_size} ({100.0 * image_size / args.max_size:.1f}%)"
           if args.max_size else ""))
    if args.max_size and image_size > args.max_size:
        failures.append(f"image is {image_size} bytes, more than {args.max_size}")
    symbols = subprocess.run([args.nm_tool, args.elf], check=True, capture_output=True,
                             text=True).stdout.splitlines()
    bad = sorted({s.split()[-1] for s in symbols if s.split() and forbidden(s.split()[-1])})
    if bad:
        failures.append("C library or heap symbols linked in: " + " ".join(bad))
    if failures:
        for f in failures:
            print(f"{name}: FAILED: {f}", file=sys.stderr)
        for path in (args.elf, args.bin):
            if os.path.exists(path):
                os.remove(path)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
