#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The report's workbook read back as a spreadsheet program would: its sheets, and every
# problem and answer as text. Usage: report_workbook.py PATH_TO_POROME
import os, subprocess, sys, tempfile
import openpyxl

porome = sys.argv[1]
HEAD = "日時,コンピューター,ログイン,学年,レベル,レベル番号,枠,問題番号,問題,答え,結果,回目,種類,通し番号,まちがいのしゅるい\r\n"
ROWS = [
    "2026-12-08 09:00:00,pc-1,taro,3,L09,9,1,1,1/5 + 2/5,3/10,×,1,チェック,1,分母どうしもたした",
    "2026-12-08 09:00:10,pc-1,taro,3,L09,9,1,1,1/5 + 2/5,3/5,△,2,チェック,1,",
    "2026-12-08 09:00:20,pc-1,taro,3,L09,9,2,1,2/5 + 3/5,5/5 = 1,○,1,チェック,2,",
    "2026-12-08 09:01:00,pc-1,taro,4,L10,20,1,2,3 1/5 − 1 3/5,2 2/5,×,1,チェック,3,くり下がりのまちがい",
]
failures = []
def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")

with tempfile.TemporaryDirectory() as d:
    with open(os.path.join(d, "porome-1.csv"), "w", encoding="utf-8", newline="") as f:
        f.write("\ufeff" + HEAD + "".join(r + "\r\n" for r in ROWS))
    out = os.path.join(d, "report.xlsx")
    subprocess.run([porome, "--report", d, "-o", out], check=True, stdout=subprocess.DEVNULL)
    book = openpyxl.load_workbook(out)
    check("sheets", book.sheetnames, ["クラス", "レベル", "まちがい", "記録"])

    rows = list(book["記録"].iter_rows(values_only=False))
    check("記録 rows", len(rows), 1 + len(ROWS))
    check("記録 header", [c.value for c in rows[0]], HEAD.strip().split(","))
    for i, line in enumerate(ROWS, start=1):
        fields = line.split(",")
        for col, name in ((8, "problem"), (9, "answer")):
            cell = rows[i][col]
            check(f"記録 row {i} {name}", (cell.value, cell.data_type), (fields[col], "s"))
        check(f"記録 row {i} level", rows[i][5].value, int(fields[5]))
    check("記録 kind of mistake", rows[1][14].value, "分母どうしもたした")

    kinds = [[c.value for c in r] for r in book["まちがい"].iter_rows()]
    check("まちがい header", kinds[0][:4], ["レベル", "まちがいのしゅるい", "回数", "割合"])
    check("まちがい level 9", kinds[1][:6], ["3年 L09", "分母どうしもたした", 1, 1, "1/5 + 2/5", "3/10"])
    check("まちがい level 20", kinds[2][:2], ["4年 L10", "くり下がりのまちがい"])

    pupils = [[c.value for c in r] for r in book["クラス"].iter_rows()]
    check("クラス header", pupils[0], ["ログイン", "3年 L09 ○", "3年 L09 問題", "4年 L10 ○", "4年 L10 問題",
                                      "よくあるまちがい"])
    check("クラス taro", pupils[1][:5], ["taro", 0.5, 2, 0, 1])

    levels = [[c.value for c in r] for r in book["レベル"].iter_rows()]
    check("レベル level 9", levels[1], ["3年 L09", 2, 1, 1, 0, 0])

for f in failures:
    print("FAIL", f)
print("workbook checked:", "failed" if failures else "ok")
sys.exit(1 if failures else 0)
