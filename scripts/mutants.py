#!/usr/bin/env python3
"""Reads the mutant list of scripts/mutants.sh and applies one mutant to its file.

  mutants.py list LIST [ID...]        id, file, labels, suites (tab-separated, "-" for none)
  mutants.py apply LIST ID            writes the mutant into its file (exit 3: stale)
  mutants.py check LIST               tells every mutant whose original text is not there once
  mutants.py targets BUILD REGEX...   the test executables ctest runs for these names
"""

import json
import re
import subprocess
import sys


def parse(path):
    mutants = []
    with open(path, encoding="utf-8") as listing:
        for number, line in enumerate(listing, 1):
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = [f.strip().replace("\\|", "|") for f in re.split(r"(?<!\\)\|", line.rstrip("\n"))]
            if len(fields) != 5 or not fields[0] or not fields[1] or not fields[2]:
                sys.exit(f"{path}:{number}: expected 'id | file | original | replacement | tests'")
            ident, file, original, replacement, tests = fields
            words = tests.split()
            mutants.append({
                "id": ident,
                "file": file,
                "original": original,
                "replacement": replacement,
                "labels": [w[len("label:"):] for w in words if w.startswith("label:")],
                "suites": [w for w in words if not w.startswith("label:")],
                "line": number,
            })
    seen = set()
    for m in mutants:
        if m["id"] in seen:
            sys.exit(f"{path}:{m['line']}: the id {m['id']} is used twice")
        seen.add(m["id"])
    return mutants


def chosen(mutants, ids):
    if not ids:
        return mutants
    by_id = {m["id"]: m for m in mutants}
    unknown = [i for i in ids if i not in by_id]
    if unknown:
        sys.exit("no such mutant: " + " ".join(unknown))
    return [by_id[i] for i in ids]


def occurrences(m):
    try:
        with open(m["file"], encoding="utf-8") as source:
            return source.read().count(m["original"])
    except OSError:
        return -1


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    command = argv[1]
    if command == "targets":
        # ctest's own list says which executable runs each test; the build target is its name.
        build, patterns = argv[2], argv[3:]
        args = ["ctest", "--test-dir", build, "-N", "--show-only=json-v1"]
        for p in patterns:
            args += (["-L", p[len("label:"):]] if p.startswith("label:") else ["-R", p])
        out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
        targets = set()
        for test in json.loads(out).get("tests", []):
            command_line = test.get("command") or []
            if command_line:
                targets.add(command_line[0].rsplit("/", 1)[-1])
        print(" ".join(sorted(targets)))
        return 0
    mutants = parse(argv[2])
    if command == "list":
        for m in chosen(mutants, argv[3:]):
            # "-" for none: bash's read would run two tabs together.
            labels = " ".join(m["labels"]) or "-"
            suites = " ".join(m["suites"]) or "-"
            print("\t".join([m["id"], m["file"], labels, suites]))
        return 0
    if command == "check":
        stale = 0
        for m in mutants:
            n = occurrences(m)
            if n != 1:
                stale += 1
                where = "missing file" if n < 0 else f"found {n} times"
                print(f"STALE {m['id']}: {m['file']}: original text {where}: {m['original']}")
        return 1 if stale else 0
    if command == "apply":
        m = chosen(mutants, [argv[3]])[0]
        n = occurrences(m)
        if n != 1:
            where = "the file is missing" if n < 0 else f"the original text occurs {n} times"
            print(f"{m['file']}: {where}", file=sys.stderr)
            return 3
        with open(m["file"], encoding="utf-8") as source:
            text = source.read()
        # Written in place (same inode, new time) so that the build sees the change.
        with open(m["file"], "w", encoding="utf-8") as source:
            source.write(text.replace(m["original"], m["replacement"], 1))
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
