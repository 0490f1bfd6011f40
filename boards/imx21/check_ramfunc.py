#!/usr/bin/env python3
"""Fails the build when code copied to RAM branches to anything outside RAM.

The flash routines run from SDRAM while the boot flash answers reads with status, so a branch
from them into the flash (a helper the compiler did not inline, a memcpy or division routine it
called on its own) would execute garbage. Every direct branch in the functions that lie in the
image's RAM copy must therefore stay in RAM.
"""
import argparse
import re
import subprocess
import sys


def symbols(readelf, elf):
    """All symbols by name, and the functions (address, size, name) in address order."""
    out = subprocess.run([readelf, "-sW", elf], check=True, capture_output=True,
                         text=True).stdout
    table = {}
    funcs = []
    for line in out.splitlines():
        parts = line.split()
        # Num: Value Size Type Bind Vis Ndx Name
        if len(parts) != 8 or not parts[0].rstrip(":").isdigit():
            continue
        addr, size, kind, name = int(parts[1], 16), int(parts[2], 0), parts[3], parts[7]
        table[name] = addr
        if kind == "FUNC":
            funcs.append((addr & ~1, size, name))
    return table, sorted(funcs)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--elf", required=True)
    ap.add_argument("--readelf-tool", required=True)
    ap.add_argument("--objdump-tool", required=True)
    ap.add_argument("--ram-start", type=lambda v: int(v, 0), required=True)
    ap.add_argument("--ram-end", type=lambda v: int(v, 0), required=True)
    args = ap.parse_args()

    table, funcs = symbols(args.readelf_tool, args.elf)
    start, end = table["__data_start"], table["__data_end"]
    in_ram = [(a, size, n) for a, size, n in funcs if start <= a < end]
    if not in_ram:
        print(f"{args.elf}: no functions in the RAM copy, expected the flash routines")
        return 1

    # Only the functions' own bytes: the data around them could decode as anything.
    branch = re.compile(r"^\s*([0-9a-f]+):\s+(b|bl|blx)(eq|ne|cs|hs|cc|lo|mi|pl|vs|vc|hi|ls|ge|lt|gt|le|al)?\s+([0-9a-f]+)\b")
    # A jump whose target is in a register or a literal cannot be followed; the linker's veneers
    # (long-branch stubs) are such jumps, and exist only for a target out of branch range.
    # Returns (bx lr, a pop into pc) go back to the caller, once the device is idle again.
    indirect = re.compile(r"^\s*[0-9a-f]+:\s+(blx\s+r\d|bx\s+r(?!14)\d|ldr\w*\s+pc,|mov\w*\s+pc,)")
    bad = []
    for addr, size, name in in_ram:
        if name.endswith("_veneer"):
            bad.append(f"{name}: a long-branch stub, the call it serves leaves RAM")
            continue
        dis = subprocess.run(
            [args.objdump_tool, "-d", "--no-show-raw-insn", f"--start-address={addr:#x}",
             f"--stop-address={addr + size:#x}", args.elf],
            check=True, capture_output=True, text=True).stdout
        for line in dis.splitlines():
            m = branch.match(line)
            if m and not (args.ram_start <= int(m.group(4), 16) < args.ram_end):
                bad.append(line.strip())
            elif indirect.match(line):
                bad.append(line.strip() + "  (indirect)")
    if bad:
        print(f"{args.elf}: code in RAM branches out of RAM:")
        for line in bad:
            print("  " + line)
        return 1
    names = ", ".join(n for _, _, n in in_ram)
    print(f"{args.elf}: {len(in_ram)} functions in RAM, no branch leaves it ({names})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
