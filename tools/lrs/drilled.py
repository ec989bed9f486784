#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks what reached the store against the checks a pupil made in the program.

    drilled.py CHECKS STORED --base IRI

CHECKS has one JSON object a line, one per check in the order made:
{"run": R, "serial": S, "try": T, "screen": "○" or "×"}: the run of the program (one
exercise each, from 1), the problem's serial in that run, the try (1 to 3) and the mark the
screen showed. STORED is the JSON array that lrs_statements wrote. Of the statements under
the activity base IRI, each run's exercise (its grouping activity, in the order the
exercises began) must hold one `answered` statement per check, found by its serial and try
extensions, with the mark the screen showed (○ at a later try is △); one `attempted` and
one `completed`, whose score counts the run's problems; and no statement id twice. Prints
one line per fault (at most 20) and a summary; exits 1 on any fault.
"""
import argparse
import collections
import json
import sys

VERBS = "http://adlnet.gov/expapi/verbs/"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("checks")
    ap.add_argument("stored")
    ap.add_argument("--base", required=True)
    args = ap.parse_args()
    base = args.base.rstrip("/")
    ext = lambda name: f"{base}/extensions/{name}"
    with open(args.checks, encoding="utf-8") as f:
        checks = [json.loads(line) for line in f if line.strip()]
    with open(args.stored, encoding="utf-8") as f:
        stored = [s for s in json.load(f) if s.get("object", {}).get("id", "").startswith(base + "/")]
    faults = []

    for i, n in collections.Counter(s.get("id") for s in stored).items():
        if n != 1:
            faults.append(f"statement {i} stored {n} times")

    # The program's statements by exercise, the exercises in the order they began.
    exercises = collections.defaultdict(list)
    for s in stored:
        grouping = s.get("context", {}).get("contextActivities", {}).get("grouping", [])
        ids = [a.get("id", "") for a in grouping if a.get("id", "").startswith(base + "/exercises/")]
        if len(ids) != 1:
            faults.append(f"statement {s.get('id')} ({s['verb']['id']}) has no single exercise: {ids}")
            continue
        exercises[ids[0]].append(s)
    order = sorted(exercises, key=lambda e: min(s["timestamp"] for s in exercises[e]))
    runs = sorted({c["run"] for c in checks})
    if len(order) != len(runs):
        faults.append(f"{len(order)} exercises in the store, {len(runs)} runs drilled")

    answered = 0
    for run, exercise in zip(runs, order):
        made = [c for c in checks if c["run"] == run]
        verbs = collections.Counter(s["verb"]["id"] for s in exercises[exercise])
        for verb in ("attempted", "completed"):
            if verbs[VERBS + verb] != 1:
                faults.append(f"run {run}: {verbs[VERBS + verb]} '{verb}' statements, not 1")
        # Each check by its serial and try: exactly one statement, with the screen's mark.
        got = collections.defaultdict(list)
        for s in exercises[exercise]:
            if s["verb"]["id"] == VERBS + "answered":
                answered += 1
                c = s.get("context", {}).get("extensions", {})
                r = s.get("result", {}).get("extensions", {})
                got[(c.get(ext("serial")), r.get(ext("try")))].append(r.get(ext("mark")))
        for c in made:
            key = (c["serial"], c["try"])
            want = "×" if c["screen"] == "×" else "○" if c["try"] == 1 else "△"
            marks = got.pop(key, [])
            if len(marks) != 1:
                faults.append(f"run {run}, problem {key[0]}, try {key[1]}: stored {len(marks)} times")
            elif marks[0] != want:
                faults.append(f"run {run}, problem {key[0]}, try {key[1]}: mark {marks[0]!r}, "
                              f"on the screen {c['screen']!r}, so {want!r}")
        for key, marks in got.items():
            faults.append(f"run {run}, problem {key[0]}, try {key[1]}: stored {len(marks)} times, never made")
        # The score of the exercise: the problems judged, and those whose last mark is right.
        last = {c["serial"]: c["screen"] for c in made}
        want = (sum(m == "○" for m in last.values()), len(last))
        for s in exercises[exercise]:
            if s["verb"]["id"] == VERBS + "completed":
                score = s.get("result", {}).get("score", {})
                if (score.get("raw"), score.get("max")) != want:
                    faults.append(f"run {run}: completed with score {score}, the screen made {want[0]} of {want[1]}")

    for line in faults[:20]:
        print("  " + line)
    if faults:
        print(f"drilled: {len(faults)} fault(s) in {len(stored)} statements of the program for {len(checks)} checks")
        sys.exit(1)
    print(f"drilled: each of {len(checks)} checks in {len(runs)} runs stored exactly once ({answered} answered "
          f"of {len(stored)} statements of the program), with the mark on the screen")


if __name__ == "__main__":
    main()
