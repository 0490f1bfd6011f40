#!/usr/bin/env python3
"""The mutant lists of scripts/mutation-sample.sh: parsing and locating them, applying one.

    mutants.py plan PLAN ROOT MODULE...   writes one tab-separated row per mutant to PLAN:
                                          module, version, id, run/equivalent/stale, where, find,
                                          replace, reason
    mutants.py apply FILE FIND REPLACE    replaces the one occurrence of FIND (escaped as in the
                                          lists); exit 1 when it is not there exactly once
"""
import glob
import os
import sys


def unescape(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s):
            out.append({"n": "\n", "t": "\t", "\\": "\\"}.get(s[i + 1], "\\" + s[i + 1]))
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def files_of(root, spec):
    found = set()
    for part in spec.split():
        path = os.path.join(root, part)
        if os.path.isdir(path):
            for base, _, names in os.walk(path):
                for n in names:
                    if n.endswith((".cpp", ".h")):
                        found.add(os.path.relpath(os.path.join(base, n), root))
        else:
            for g in glob.glob(path, recursive=True):
                if os.path.isfile(g):
                    found.add(os.path.relpath(g, root))
    return sorted(found)


def plan(plan_path, root, modules):
    rows = []
    for module in modules:
        path = os.path.join(root, "scripts", "mutations", module + ".txt")
        version, entries, cur = None, [], None
        for lineno, raw in enumerate(open(path, encoding="utf-8"), 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if version is None:
                if not line.startswith("version:"):
                    sys.exit(f"{path}:{lineno}: the first line must be 'version: N'")
                version = line.split(":", 1)[1].strip()
                continue
            if line.startswith("[") and line.rstrip().endswith("]"):
                cur = {"id": line.strip()[1:-1], "line": lineno}
                entries.append(cur)
                continue
            if cur is None or ":" not in line:
                sys.exit(f"{path}:{lineno}: expected '[id]' or 'key: value'")
            key, value = line.split(":", 1)
            key = key.strip()
            if key not in ("files", "find", "replace", "equivalent"):
                sys.exit(f"{path}:{lineno}: unknown key '{key}'")
            cur[key] = value[1:] if value.startswith(" ") else value
        ids = set()
        for e in entries:
            for k in ("files", "find", "replace"):
                if k not in e:
                    sys.exit(f"{path}:{e['line']}: [{e['id']}] has no '{k}:'")
            if e["id"] in ids:
                sys.exit(f"{path}:{e['line']}: duplicate id {e['id']}")
            ids.add(e["id"])
            find, replace = unescape(e["find"]), unescape(e["replace"])
            if find == replace or not find:
                sys.exit(f"{path}:{e['line']}: [{e['id']}] changes nothing")
            hits = []
            for f in files_of(root, e["files"]):
                text = open(os.path.join(root, f), encoding="utf-8").read()
                n = text.count(find)
                hits += [f] * n
            if len(hits) == 1:
                state, where = ("equivalent" if e.get("equivalent") else "run"), hits[0]
            else:
                state = "stale"
                where = f"({'not found' if not hits else 'found %d times' % len(hits)})"
            rows.append([module, version, e["id"], state, where, e["find"], e["replace"],
                         e.get("equivalent", "")])

    with open(plan_path, "w", encoding="utf-8") as out:
        for r in rows:
            out.write("\t".join(x.replace("\t", "\\t") for x in r) + "\n")


def apply(path, find, replace):
    find, replace = unescape(find), unescape(replace)
    text = open(path, encoding="utf-8").read()
    if text.count(find) != 1:
        sys.exit(1)
    open(path, "w", encoding="utf-8").write(text.replace(find, replace))


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "plan":
        plan(sys.argv[2], sys.argv[3], sys.argv[4:])
    elif len(sys.argv) == 5 and sys.argv[1] == "apply":
        apply(*sys.argv[2:])
    else:
        sys.exit(__doc__)
