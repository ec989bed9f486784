#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A made-up lesson for the store checks: `answered` statements as a drill sends them, in
batches, while the program's own sender is not in the check.

    lesson.py OUTDIR BASE COUNT BATCH

Writes OUTDIR/batch-NN.json (arrays of BATCH statements, the last one shorter) and
OUTDIR/expected.jsonl, one {"id", "mark"} a line in the order sent. Every statement has a
fresh UUID, a timestamp within the last minute and its mark (○ △ ×) as result extension
BASE + "check/mark". (The store pages by when it stored a statement, not by its timestamp;
tools/lrs/ordered-ids.js keeps that paging whole.)
"""
import datetime
import json
import os
import sys
import uuid


def main():
    out, base, count, batch = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    os.makedirs(out, exist_ok=True)
    start = datetime.datetime.now().astimezone() - datetime.timedelta(seconds=60)
    marks = "○△×"
    statements = []
    for n in range(count):
        mark = marks[n % 3]
        level, problem = 7 + n // 12, n % 12 + 1
        statements.append({
            "id": str(uuid.uuid4()),
            "actor": {"objectType": "Agent",
                      "account": {"homePage": "https://school.invalid/", "name": "check-pupil"}},
            "verb": {"id": "http://adlnet.gov/expapi/verbs/answered", "display": {"en-US": "answered"}},
            "object": {"objectType": "Activity", "id": f"{base}level/{level}/problem/{problem}",
                       "definition": {"type": "http://adlnet.gov/expapi/activities/cmi.interaction",
                                      "interactionType": "choice"}},
            "result": {"success": mark != "×", "response": "仮分数",
                       "extensions": {base + "check/mark": mark}},
            "context": {"language": "ja-JP",
                        "contextActivities": {"parent": [{"id": f"{base}level/{level}"}],
                                              "grouping": [{"id": base}]}},
            "timestamp": (start + datetime.timedelta(milliseconds=700 * n)).isoformat(timespec="milliseconds"),
            "version": "1.0.0",
        })
    for i in range(0, count, batch):
        with open(os.path.join(out, f"batch-{i // batch + 1:02d}.json"), "w", encoding="utf-8") as f:
            json.dump(statements[i:i + batch], f, ensure_ascii=False)
    with open(os.path.join(out, "expected.jsonl"), "w", encoding="utf-8") as f:
        for s in statements:
            f.write(json.dumps({"id": s["id"], "mark": s["result"]["extensions"][base + "check/mark"]},
                               ensure_ascii=False) + "\n")


if __name__ == "__main__":
    main()
