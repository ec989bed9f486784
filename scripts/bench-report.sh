#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Times `porome --report` on a whole school's year of learning records: 1,000,000 rows in
# 40 files, written as the program writes them, made into the HTML page and into the
# workbook. Prints the median time and the largest peak memory of several runs of each.
# The page's budget is 2 s and 200 MB. Usage: scripts/bench-report.sh [porome] [runs]
set -eu
POROME=${1:-build/porome}
RUNS=${2:-5}
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
python3 - "$DIR" <<'PY'
import random, sys, os
random.seed(7)
head = ("日時,コンピューター,ログイン,学年,レベル,レベル番号,枠,問題番号,問題,答え,結果,回目,種類,通し番号,"
        "まちがいのしゅるい\r\n")
kinds = ["分母どうしもたした", "分子と分母がぎゃく", "帯分数になおしていない", "そのほか"]
rows_total, files = 1_000_000, 40
per = rows_total // files
for c in range(files):
    with open(os.path.join(sys.argv[1], f"porome-pc{c:02}.csv"), "w", encoding="utf-8", newline="") as f:
        f.write("\ufeff" + head)
        serial = 0
        lines = []
        for i in range(per):
            level = random.randint(1, 22)
            if i % 3 == 0:
                serial += 1
            d = random.randint(2, 9); a = random.randint(1, d - 1); b = random.randint(1, d - 1)
            kind, outcome, mistake = "チェック", random.choice("○○○△××"), ""
            if random.random() < 0.05:
                kind, outcome = "ヒント", "答えが仮分数の場合は帯分数になおして！"
            if outcome == "×" or kind == "ヒント":
                mistake = random.choice(kinds)
            name = f"L{(level - 1) % 10 + 1 if level <= 10 else level - 10:02}"
            # A login per computer, with a few shared logins used on several computers.
            login = f"pupil{c:02}" if c % 8 else "student"
            lines.append(f"2026-12-08 10:{i % 60:02}:00,pc-{c:02},{login},{3 if level <= 10 else 4},{name},{level},"
                         f"{i % 3 + 1},{serial % 99 + 1},{a}/{d} + {b}/{d},\"{a + b}/{d + d}\",{outcome},{i % 3 + 1},"
                         f"{kind},{serial},{mistake}\r\n")
        f.write("".join(lines))
PY
echo "rows: $(cat "$DIR"/*.csv | wc -l) lines in $(ls "$DIR" | wc -l) files ($(du -sh "$DIR" | cut -f1))"
python3 - "$POROME" "$DIR" "$RUNS" <<'PY'
import os, resource, statistics, subprocess, sys, time
porome, folder, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
def measure(output, n):
    times, peaks = [], []
    for _ in range(n):
        # Each run in a child of its own, so that its peak is not an earlier run's.
        code = ("import resource, subprocess, sys, time; t = time.perf_counter(); "
                "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL); "
                "print(time.perf_counter() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
        out = subprocess.run([sys.executable, "-c", code, porome, "--report", folder, "-o", output],
                             check=True, capture_output=True, text=True).stdout.split()
        times.append(float(out[0])); peaks.append(int(out[1]) / 1024)
    return statistics.median(times), max(peaks), os.path.getsize(output)
for name, n in (("report.html", runs), ("report.xlsx", max(1, runs // 2))):
    t, mb, size = measure(os.path.join(folder, name), n)
    print(f"{name}: median {t:.2f} s of {n} runs, peak memory {mb:.0f} MB, file {size / 1e6:.1f} MB")
PY
