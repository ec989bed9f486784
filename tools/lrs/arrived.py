#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks what reached the store against what was sent.

    arrived.py EXPECTED STORED [--mark-key IRI]

EXPECTED has one JSON object a line: {"id": ..., "mark": ...} (mark optional); STORED is the
JSON array that lrs_statements wrote. Every expected id must be stored exactly once, no other
statement may be there, and where a mark is expected, the statement's result extension
--mark-key must hold it. Prints one line per fault (at most 20) and a summary; exits 1 on
any fault.
"""
import argparse
import collections
import json
import sys


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("expected")
    ap.add_argument("stored")
    ap.add_argument("--mark-key")
    args = ap.parse_args()
    with open(args.expected, encoding="utf-8") as f:
        expected = [json.loads(line) for line in f if line.strip()]
    with open(args.stored, encoding="utf-8") as f:
        stored = json.load(f)
    faults = []
    times = collections.Counter(s.get("id") for s in stored)
    by_id = {s.get("id"): s for s in stored}
    wanted = {e["id"] for e in expected}
    if len(wanted) != len(expected):
        faults.append("an id was sent for two statements")
    for e in expected:
        n = times.get(e["id"], 0)
        if n != 1:
            faults.append(f"{e['id']}: stored {n} times")
        elif "mark" in e and args.mark_key:
            got = (by_id[e["id"]].get("result") or {}).get("extensions", {}).get(args.mark_key)
            if got != e["mark"]:
                faults.append(f"{e['id']}: mark {got!r}, on the screen {e['mark']!r}")
    for i in sorted(set(times) - wanted, key=str):
        faults.append(f"{i}: stored {times[i]} times, never sent")
    for line in faults[:20]:
        print("  " + line)
    if faults:
        print(f"arrived: {len(faults)} fault(s) in {len(stored)} stored for {len(expected)} sent")
        sys.exit(1)
    print(f"arrived: each of {len(expected)} statements stored exactly once"
          + (", with its mark" if args.mark_key else ""))


if __name__ == "__main__":
    main()
