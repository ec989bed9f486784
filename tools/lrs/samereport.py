#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Compares two reports of the same drill: one read from the store, one from the CSV files.

    samereport.py FROM_STORE.html FROM_CSV.html

The class table must be byte for byte the same, and so must all that follows it (per level,
kinds of mistakes, per login, wrong answers); only the count of record files before them
differs. Prints the differences as a diff, or what the class table holds; exits 1 when they
differ.
"""
import difflib
import re
import sys

CLASS = re.compile(r'<section class="class">.*?</section>', re.S)


def parts(path):
    """The class table of a report, and all that follows it."""
    with open(path, encoding="utf-8") as f:
        page = f.read()
    found = CLASS.findall(page)
    if len(found) != 1:
        sys.exit(f"samereport: {path}: {len(found)} class tables")
    return found[0], page[page.index(found[0]) + len(found[0]):]


def lines(html):
    return html.replace("><", ">\n<").splitlines()


def main():
    store, csv = parts(sys.argv[1]), parts(sys.argv[2])
    same = True
    for name, a, b in zip(("the class table", "the tables after it"), store, csv):
        if a != b:
            same = False
            print(f"  {name}: not the same (- from the store, + from the CSV files):")
            diff = list(difflib.unified_diff(lines(a), lines(b), lineterm="", n=1))[2:]
            for line in diff[:40]:
                print("    " + line)
            if len(diff) > 40:
                print(f"    ... and {len(diff) - 40} lines more")
    if not same:
        sys.exit(1)
    rows = re.findall(r'<tr><td class="who">(.*?)</td>(.*?)</tr>', store[0])
    shown = "; ".join(f"{who}: {' '.join(re.sub('<[^>]+>', ' ', cells).split())}" for who, cells in rows)
    print(f"  the same class table from both ({len(store[0])} characters: {shown}), "
          f"and the same {len(store[1])} characters after it")


if __name__ == "__main__":
    main()
