#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Times `porome --report` on a class's day of learning records: 100,000 rows spread over
# 30 computers, written as the program writes them. Usage: scripts/bench-report.sh [porome]
set -eu
POROME=${1:-build/porome}
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
python3 - "$DIR" <<'PY'
import random, sys, os
random.seed(7)
head = "日時,コンピューター,ログイン,学年,レベル,レベル番号,枠,問題番号,問題,答え,結果,回目,種類,通し番号\r\n"
rows_total, computers = 100000, 30
per = rows_total // computers
for c in range(computers):
    with open(os.path.join(sys.argv[1], f"porome-pc{c:02}.csv"), "w", encoding="utf-8", newline="") as f:
        f.write("\ufeff" + head)
        serial = 0
        for i in range(per):
            level = random.randint(1, 22)
            if i % 3 == 0:
                serial += 1
            d = random.randint(2, 9); a = random.randint(1, d - 1); b = random.randint(1, d - 1)
            kind, outcome = "チェック", random.choice("○○○△××")
            if random.random() < 0.05:
                kind, outcome = "ヒント", "答えが仮分数の場合は帯分数になおして！"
            name = f"L{(level - 1) % 10 + 1 if level <= 10 else level - 10:02}"
            f.write(f"2026-12-08 10:{i % 60:02}:00,pc-{c:02},pupil{c:02},{3 if level <= 10 else 4},{name},{level},"
                    f"{i % 3 + 1},{serial % 99 + 1},{a}/{d} + {b}/{d},\"{a + b}/{d + d}\",{outcome},{i % 3 + 1},{kind},{serial}\r\n")
PY
echo "rows: $(cat "$DIR"/*.csv | wc -l) lines in $(ls "$DIR" | wc -l) files ($(du -sh "$DIR" | cut -f1))"
if command -v hyperfine >/dev/null; then
    hyperfine --warmup 1 --runs 10 "$POROME --report $DIR -o $DIR/report.html"
else
    time "$POROME" --report "$DIR" -o "$DIR/report.html"
fi
