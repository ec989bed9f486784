#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark: how fast the window maps and how much memory it holds, next to a bare Qt
# window of the same size, and per level how long drawing a problem and judging a check take;
# then the learning record store: statements a second from one program, a class of forty
# catching up after an outage, and the report read from 100,000 statements by paging, against
# the local store of the checks (scripts/lrs.sh); last a board's roster (100,000 users, 4,000
# classes, 120,000 enrollments) read as the report reads it, from its zip and its folder;
# last porome-server: complete launches a second through the test platform of tools/lti,
# statements a second through its proxy against the store alone, its memory as sessions are
# used, and the round trip of a statement with 1,000 pupils sending at once.
# Installs what is missing, builds in build-bench/ (Release) and prints the tables.
#
#   bash scripts/bench.sh            seven timed starts of each after a warm-up, 1000 problems per level;
#                                    the store's figures as medians of five runs
#   bash scripts/bench.sh --smoke    one start of each, 20 problems per level, the store's part with
#                                    tiny counts (for CI; uses build/)
#   bash scripts/bench.sh --runs N --problems M
#   bash scripts/bench.sh --lrs-only | --no-lrs     only the store's part, or all but it
#   bash scripts/bench.sh --roster-only              only the roster's part
#   bash scripts/bench.sh --server-only | --no-server  only porome-server's part, or all but it
#   bash scripts/bench.sh --build-dir DIR            build and measure in DIR
#
# It is a benchmark, not a test: the figures depend on the machine and what else it runs,
# so nothing here fails on a slow figure. Starts are interleaved (ポロメ, bare, ポロメ, …) so
# that a busy moment of the machine falls on both alike; ratios come from the same run.
# The store's part fails only when the store did not end up holding every statement sent.
# Where the store cannot be installed (no npm registry) that part says NOT RUN and the
# script exits with 77 (after the window's part, which ran).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/packages.sh

runs=7
warmup=1
problems=1000
dir=build-bench
buildtype=Release
window=1
lrs=1
# The store's part: runs of each figure (of the report, which takes minutes, fewer), the
# checks of one program's lesson, programs in the class and checks in each one's lesson, the
# outage before the store comes back (s), and the answered statements the report reads.
lrs_runs=5
lrs_report_runs=3
lrs_send=2000
lrs_class=40
lrs_lesson=80
lrs_outage=10
lrs_rows=100000
# The roster's part: runs of each reading, and the board's users, classes and enrollments.
roster=1
roster_runs=3
roster_users=100000
roster_classes=4000
roster_enrollments=120000
# porome-server's part: runs of each timed figure, launches a run, statements a run, pupils
# sending at once, and the sessions used at which its memory is read.
server=1
server_runs=3
server_launches=300
server_send=1000
server_crowd=1000
server_sessions=1000,10000
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) runs=1; warmup=0; problems=20; dir=build; buildtype=RelWithDebInfo
             lrs_runs=1; lrs_report_runs=1; lrs_send=100; lrs_class=4; lrs_lesson=20; lrs_outage=1; lrs_rows=2000
             roster_runs=1; roster_users=2000; roster_classes=80; roster_enrollments=2400
             server_runs=1; server_launches=10; server_send=40; server_crowd=20; server_sessions=20,40 ;;
    --runs) runs=$2; shift ;;
    --problems) problems=$2; shift ;;
    --lrs-only) window=0; roster=0; server=0 ;;
    --roster-only) window=0; lrs=0; server=0 ;;
    --server-only) window=0; lrs=0; roster=0 ;;
    --no-lrs) lrs=0 ;;
    --no-server) server=0 ;;
    --build-dir) dir=$2; shift ;;
    --measure) shift; break ;;
    *) echo "usage: bash scripts/bench.sh [--smoke] [--runs N] [--problems M] [--lrs-only | --no-lrs | --roster-only |" \
            "--server-only | --no-server] [--build-dir DIR]" >&2; exit 2 ;;
  esac
  shift
done

# --- measuring, on the virtual screen started below -------------------------------------
if [ "${1:-}" = "--inner" ]; then
  shift
  runs=$1 warmup=$2 problems=$3 dir=$4
  mapwait=$dir/tools/bench/porome-mapwait
  porome=$dir/porome
  bare=$dir/tools/bench/porome-bare-window
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
  export XDG_RUNTIME_DIR=$out/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"

  for ((i = 0; i < warmup; i++)); do
    "$mapwait" "$porome" >/dev/null
    "$mapwait" "$bare" >/dev/null
  done
  for ((i = 0; i < runs; i++)); do
    "$mapwait" "$porome" >>"$out/porome"
    "$mapwait" "$bare" >>"$out/bare"
  done

  # median, min and max of column $2 of a file
  stats() {
    cut -d' ' -f"$2" "$1" | sort -g | awk '{ v[NR] = $1 }
      END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
  }
  read -r pt_med pt_min pt_max < <(stats "$out/porome" 1)
  read -r bt_med bt_min bt_max < <(stats "$out/bare" 1)
  read -r pm_med pm_min pm_max < <(stats "$out/porome" 2)
  read -r bm_med bm_min bm_max < <(stats "$out/bare" 2)

  echo
  echo "ポロメ benchmark: $runs start(s) of each after $warmup warm-up, $problems problem(s) per level"
  echo
  printf '| %-38s | %9s | %9s | %9s |\n' "start-up to mapped window (ms)" median min max
  printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "-----------:" "-----------:" "-----------:"
  printf '| %-41s | %9.1f | %9.1f | %9.1f |\n' "porome (ポロメ)" "$pt_med" "$pt_min" "$pt_max"
  printf '| %-38s | %9.1f | %9.1f | %9.1f |\n' "bare Qt window 1017x749" "$bt_med" "$bt_min" "$bt_max"
  printf '| %-38s | %9s | %9s | %9s |\n' "ratio of medians" "$(awk -v a="$pt_med" -v b="$bt_med" 'BEGIN { printf "%.2f", a / b }')" "" ""
  echo
  printf '| %-38s | %9s | %9s | %9s |\n' "resident memory 1 s after map (MiB)" median min max
  printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "-----------:" "-----------:" "-----------:"
  mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
  printf '| %-41s | %9s | %9s | %9s |\n' "porome (ポロメ)" "$(mib "$pm_med")" "$(mib "$pm_min")" "$(mib "$pm_max")"
  printf '| %-38s | %9s | %9s | %9s |\n' "bare Qt window 1017x749" "$(mib "$bm_med")" "$(mib "$bm_min")" "$(mib "$bm_max")"
  printf '| %-38s | %9s | %9s | %9s |\n' "ratio of medians" "$(awk -v a="$pm_med" -v b="$bm_med" 'BEGIN { printf "%.2f", a / b }')" "" ""
  echo
  echo "Per level, over $problems problem(s) in slot 1 (ms on the wall clock, and p99 of the processor"
  echo "time of the program's thread; the pause after a mark is on a test clock):"
  echo
  QT_QPA_PLATFORM=offscreen "$dir/tools/bench/porome-bench" --problems "$problems" | awk '
    NR == 1 { print "| level | draw p50 | draw p99 | draw max | draw cpu p99 | check p50 | check p99 | check max | check cpu p99 |";
              print "|------:|---------:|---------:|---------:|-------------:|----------:|----------:|----------:|--------------:|"; next }
    { printf "| %5s | %8s | %8s | %8s | %12s | %9s | %9s | %9s | %13s |\n", $1, $2, $3, $4, $5, $6, $7, $8, $9;
      for (i = 2; i <= 9; i++) if ($i > worst[i]) worst[i] = $i }
    END { printf "| worst | %8.3f | %8.3f | %8.3f | %12.3f | %9.3f | %9.3f | %9.3f | %13.3f |\n",
          worst[2], worst[3], worst[4], worst[5], worst[6], worst[7], worst[8], worst[9] }'
  exit 0
fi

# --- the learning record store -----------------------------------------------------------
# Each figure on a fresh store: the test store keeps its statements in memory and looks
# through all of them for each request, so a store filled by an earlier run would slow the
# next one. The store takes any key; the tools are given bench:bench.

# median of the numbers on standard input, one a line
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) { print "-"; exit } m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m }'
}
now_ms() { date +%s%3N; }

lrs_fail() {
  echo "store bench: $*" >&2
  lrs_failed=1
}

# Every statement of the store, and how many of them have distinct ids: "count distinct".
# In one page.
lrs_count() {
  lrs_statements "$1" "$LRS_WORK/all.json" "limit=1000000" >/dev/null || { echo "0 0"; return; }
  python3 -c 'import json, sys; s = json.load(open(sys.argv[1])); print(len(s), len({x["id"] for x in s}))' "$LRS_WORK/all.json"
}

# a. One program: a lesson of $lrs_send checks through the sink straight to the store.
lrs_one_program() {
  local run port out
  for ((run = 1; run <= lrs_runs; run++)); do
    port=$(lrs_free_port)
    lrs_start "$port" test || { lrs_fail "the store did not start"; return; }
    out=$("$LRS_TOOL" lesson "http://127.0.0.1:$port/xAPI/" "$LRS_WORK/a$run" "$lrs_send" 2>"$LRS_WORK/a$run.err") ||
      { lrs_fail "one program: $(tail -n 3 "$LRS_WORK/a$run.err")"; lrs_stop; return; }
    # done N MS SECONDS
    read -r _ total _ seconds < <(grep '^done' <<<"$out")
    read -r stored distinct < <(lrs_count "http://127.0.0.1:$port/xAPI")
    [ "$stored" = "$total" ] && [ "$distinct" = "$total" ] ||
      lrs_fail "one program: sent $total, the store holds $stored ($distinct distinct)"
    awk -v n="$total" -v s="$seconds" 'BEGIN { printf "%.0f\n", n / s }' >>"$LRS_WORK/a.rate"
    echo "$total" >"$LRS_WORK/a.total"
    lrs_stop
  done
}

# b. The class: $lrs_class programs, each with its own spool, queue a lesson of $lrs_lesson
# checks while the proxy in front of the store is off. Then either the store comes back
# while they run ($1 = running: each sends at its next try, the wait between tries doubling
# from 1 s), or they have ended and start again with the store up ($1 = restart).
lrs_class_of_forty() {
  local how=$1 run sport pport endpoint i pids on end total stored distinct d
  for ((run = 1; run <= lrs_runs; run++)); do
    d=$LRS_WORK/b-$how-$run
    mkdir -p "$d"
    sport=$(lrs_free_port)
    pport=$(lrs_free_port)
    lrs_start "$sport" test || { lrs_fail "the store did not start"; return; }
    lrs_proxy_start "$pport" "$sport" || { lrs_fail "the proxy did not start"; lrs_stop; return; }
    lrs_proxy off
    endpoint=http://127.0.0.1:$pport/xAPI/
    pids=()
    for ((i = 1; i <= lrs_class; i++)); do
      if [ "$how" = running ]; then
        "$LRS_TOOL" lesson "$endpoint" "$d/spool-$i" "$lrs_lesson" --queued >"$d/out-$i" 2>"$d/err-$i" &
      else
        "$LRS_TOOL" lesson "$endpoint" "$d/spool-$i" "$lrs_lesson" --keep >"$d/out-$i" 2>"$d/err-$i" &
      fi
      pids+=($!)
    done
    # Until every lesson is in its spool on disk.
    for _ in $(seq 1 1200); do
      [ "$(cat "$d"/out-* | grep -c '^queued')" -ge "$lrs_class" ] && break
      sleep 0.1
    done
    [ "$(cat "$d"/out-* | grep -c '^queued')" -ge "$lrs_class" ] ||
      { lrs_fail "the class did not queue its lessons"; kill "${pids[@]}" 2>/dev/null; lrs_stop; return; }
    total=$(cat "$d"/out-* | awk '/^queued/ { n += $2 } END { print n }')
    if [ "$how" = running ]; then
      sleep "$lrs_outage"
      lrs_proxy pass
      on=$(now_ms)
      for i in "${pids[@]}"; do wait "$i" || lrs_fail "a program of the class did not send all"; done
      end=$(cat "$d"/out-* | awk '/^done/ { if ($3 > m) m = $3 } END { print m }')
      # Until the last program's first batch was stored (its wait for its next try, and that
      # POST), and the longest any took from its first batch stored to its last.
      cat "$d"/out-* | awk -v on="$on" '/^first/ { f = $2 } /^done/ { w = f - on; s = $3 - f; if (w > mw) mw = w; if (s > ms) ms = s }
        END { printf "%.3f %.3f\n", mw / 1000, ms / 1000 }' >>"$LRS_WORK/b-running.parts"
    else
      for i in "${pids[@]}"; do wait "$i" || lrs_fail "a program of the class did not keep its lesson"; done
      lrs_proxy pass
      on=$(now_ms)
      pids=()
      for ((i = 1; i <= lrs_class; i++)); do
        "$LRS_TOOL" drain "$endpoint" "$d/spool-$i" >"$d/drain-$i" 2>"$d/drain-err-$i" &
        pids+=($!)
      done
      for i in "${pids[@]}"; do wait "$i" || lrs_fail "a program of the class did not send its spool"; done
      end=$(cat "$d"/drain-* | awk '/^done/ { if ($2 > m) m = $2 } END { print m }')
    fi
    read -r stored distinct < <(lrs_count "http://127.0.0.1:$sport/xAPI")
    [ "$stored" = "$total" ] && [ "$distinct" = "$total" ] ||
      lrs_fail "class ($how): sent $total, the store holds $stored ($distinct distinct)"
    awk -v a="$on" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) / 1000 }' >>"$LRS_WORK/b-$how.time"
    echo "$total" >"$LRS_WORK/b.total"
    lrs_stop
  done
}

# POSTs every batch file to the store at $1; fails on the first answer that is not 200.
lrs_load() {
  local f code
  for f in "$LRS_WORK"/c/lrs/batch-*.json; do
    code=$(LRS_POST_TIMEOUT=300 lrs_post "$1" "$f")
    [ "$code" = 200 ] || { lrs_fail "loading $f: HTTP $code $(head -c 300 "$LRS_DIR/answer")"; return 1; }
  done
}

# One run of the report: lrs_timed_report NAME ARGS... appends "seconds peak-MB rows cpu-s"
# to $LRS_WORK/c.NAME; each run in a child of its own, so that its peak is not an earlier
# run's.
lrs_timed_report() {
  local name=$1 line
  shift
  line=$(XDG_CONFIG_HOME=$LRS_WORK/config QT_QPA_PLATFORM=offscreen python3 -c '
import resource, subprocess, sys, time
t = time.perf_counter()
p = subprocess.run(sys.argv[1:], capture_output=True, text=True)
t = time.perf_counter() - t
if p.returncode != 0:
    sys.exit(p.stderr.strip())
u = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{t:.3f} {u.ru_maxrss / 1024:.0f} {p.stdout.split()[1]} {u.ru_utime + u.ru_stime:.2f}")' \
    "$dir/porome" --report "$@" -o "$LRS_WORK/$name.html") || { lrs_fail "the report ($name): $line"; return 1; }
  echo "$line" >>"$LRS_WORK/c.$name"
}

# c. The report: $lrs_rows answered statements of a class of 40, with the attempted and
# completed of their exercises, built as the program builds them and loaded in POSTs of
# 1000; then `porome --report --lrs` and the CSV report of the same rows, alternately, each
# run timed with its peak memory and the program's own processor time.
lrs_report() {
  local port store made statements t0 t1 rows
  made=$("$LRS_TOOL" make "$LRS_WORK/c" 40 "$lrs_rows") || { lrs_fail "making the class's statements"; return; }
  read -r _ _ _ _ statements _ <<<"$made"
  port=$(lrs_free_port)
  lrs_start "$port" test || { lrs_fail "the store did not start"; return; }
  store=http://127.0.0.1:$port/xAPI
  t0=$(now_ms)
  lrs_load "$store" || { lrs_stop; return; }
  t1=$(now_ms)
  echo "$statements $((t1 - t0))" >"$LRS_WORK/c.load"
  mkdir -p "$LRS_WORK/config/porome"
  # The report's key is the teacher's own read key; it reads the statements of the school
  # the store bench's pupils are at.
  printf '[lrs]\nreadKey=bench\nreadSecret=bench\nhomePage=https://school.example.jp/\n' >"$LRS_WORK/config/porome/porome.conf"
  for ((run = 1; run <= lrs_report_runs; run++)); do
    lrs_timed_report store --lrs "$store/" || { lrs_stop; return; }
    lrs_timed_report csv "$LRS_WORK/c/csv" || { lrs_stop; return; }
  done
  for rows in $(awk '{ print $3 }' "$LRS_WORK/c.store" "$LRS_WORK/c.csv"); do
    [ "$rows" = "$lrs_rows" ] || lrs_fail "a report read $rows rows, not $lrs_rows"
  done
  # The two pages agree but for the line that counts the record files and the store's
  # warning that its activity base is the one every school shares.
  if cmp -s <(grep -v -e '^<p class="note">' -e '^<p class="warning">' "$LRS_WORK/store.html") \
    <(grep -v '^<p class="note">' "$LRS_WORK/csv.html"); then
    echo "the same" >"$LRS_WORK/c.same"
  else
    echo "not the same" >"$LRS_WORK/c.same"
    lrs_fail "the report from the store differs from the CSV report of the same rows"
  fi
  lrs_stop
}

lrs_bench() {
  . scripts/lrs.sh
  local rc=0
  lrs_install || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo
    echo "learning record store: NOT RUN, nothing measured: the store cannot be installed here"
    return 77
  fi
  LRS_TOOL=$dir/tools/bench/porome-store-bench
  LRS_WORK=$(mktemp -d)
  lrs_failed=0
  export POROME_BENCH_LRS_AUTH=bench:bench LRS_AUTH=bench:bench
  trap 'lrs_stop; rm -rf "$LRS_WORK"' EXIT
  lrs_one_program
  lrs_class_of_forty running
  lrs_class_of_forty restart
  lrs_report

  local each statements load
  each=$(($(cat "$LRS_WORK/b.total" 2>/dev/null || echo 0) / lrs_class))
  echo
  echo "Learning record store (xAPI), against the local store of the checks (xapi-statements 5.0.1 in"
  echo "memory, on 127.0.0.1; the class through the proxy that makes the outage); a fresh store for"
  echo "each run; $lrs_runs run(s) of each, the report $lrs_report_runs:"
  echo
  printf '| %-76s | %8s | %8s | %8s |\n' "store" median min max
  printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..78})" "---------:" "---------:" "---------:"
  # row LABEL FILE COLUMN [SCALE]: median, min and max of a column of numbers (times SCALE)
  row() {
    local v
    v=$(awk -v c="$3" -v k="${4:-1}" '{ print $c * k }' "$2" 2>/dev/null | sort -g |
      awk '{ v[NR] = $1 } END { if (!NR) { print "- - -"; exit }
             m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }')
    # shellcheck disable=SC2086
    printf '| %-76s | %8s | %8s | %8s |\n' "$1" $v
  }
  row "one program, $(cat "$LRS_WORK/a.total" 2>/dev/null) statements: statements a second" "$LRS_WORK/a.rate" 1
  row "$lrs_class programs, $each statements each, store back after ${lrs_outage} s off: all stored (s)" "$LRS_WORK/b-running.time" 1
  row "  of which until the last program's first batch was stored (s)" "$LRS_WORK/b-running.parts" 1
  row "  the longest one program took from its first batch stored to its last (s)" "$LRS_WORK/b-running.parts" 2
  row "$lrs_class programs started again with the store up: all stored (s)" "$LRS_WORK/b-restart.time" 1
  if [ -f "$LRS_WORK/c.load" ] && [ -f "$LRS_WORK/c.csv" ]; then
    awk -v n="$lrs_rows" '{ printf "%.0f\n", n / $1 }' "$LRS_WORK/c.store" >"$LRS_WORK/c.rate"
    row "report of $lrs_rows answered statements read by paging (s)" "$LRS_WORK/c.store" 1
    row "  statements a second" "$LRS_WORK/c.rate" 1
    row "  processor time of porome itself (s)" "$LRS_WORK/c.store" 4
    row "  peak memory (MB)" "$LRS_WORK/c.store" 2
    row "report of the same rows from 40 CSV files (s)" "$LRS_WORK/c.csv" 1
    row "  peak memory (MB)" "$LRS_WORK/c.csv" 2
    printf '| %-76s | %8s | %8s | %8s |\n' "ratio of medians, store / CSV" \
      "$(awk -v a="$(awk '{ print $1 }' "$LRS_WORK/c.store" | median)" -v b="$(awk '{ print $1 }' "$LRS_WORK/c.csv" | median)" \
        'BEGIN { printf "%.0f", a / b }')" "" ""
    read -r statements load <"$LRS_WORK/c.load"
    echo
    echo "The store was loaded with $statements statements ($lrs_rows answered, the rest the attempted and"
    echo "completed of their exercises) in POSTs of 1000: $(awk -v n="$statements" -v ms="$load" 'BEGIN { printf "%.0f", n / ms * 1000 }')" \
      "statements a second, $(awk -v ms="$load" 'BEGIN { printf "%.0f", ms / 1000 }') s."
    echo "Both reports read $lrs_rows rows; their pages are $(cat "$LRS_WORK/c.same") but for the line that counts record files."
  fi
  if [ "$lrs_failed" -ne 0 ]; then
    echo "store bench: something above went wrong; its figures are not to be quoted"
    return 1
  fi
}

# --- the roster ---------------------------------------------------------------------------
# Each reading in a child of its own, timed on the wall clock with its peak memory; the
# program's line gives the time of the reading itself and of looking up every user's class.
roster_bench() {
  local work tool kind run line path failed=0
  tool=$dir/tools/bench/porome-roster-bench
  work=$(mktemp -d)
  "$tool" make "$work" "$roster_users" "$roster_classes" "$roster_enrollments" >/dev/null ||
    { echo "roster bench: the roster could not be made" >&2; rm -rf "$work"; return 1; }
  for ((run = 1; run <= roster_runs; run++)); do
    for kind in zip folder; do
      [ "$kind" = zip ] && path=$work/RO_20260401_bench.zip || path=$work/roster
      line=$(python3 -c '
import resource, subprocess, sys, time
t = time.perf_counter()
p = subprocess.run(sys.argv[1:], capture_output=True, text=True)
t = time.perf_counter() - t
if p.returncode != 0:
    sys.exit(p.stderr.strip() or "failed")
u = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{t:.3f} {u.ru_maxrss / 1024:.0f} {p.stdout.strip()}")' "$tool" read "$path") ||
        { echo "roster bench ($kind): $line" >&2; failed=1; continue; }
      echo "$line" >>"$work/$kind"
    done
  done
  echo
  echo "Roster (OneRoster 1.2 CSV): $roster_users users, $roster_classes classes, $roster_enrollments enrollments" \
    "($(du -k "$work/RO_20260401_bench.zip" | cut -f1) KB zipped, $(du -sk "$work/roster" | cut -f1) KB unpacked); $roster_runs run(s):"
  echo
  printf '| %-56s | %8s | %8s | %8s |\n' "roster" median min max
  printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..58})" "---------:" "---------:" "---------:"
  rrow() {
    local v
    v=$(awk -v c="$3" '{ print $c }' "$2" 2>/dev/null | sort -g |
      awk '{ v[NR] = $1 } END { if (!NR) { print "- - -"; exit }
             m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }')
    # shellcheck disable=SC2086
    printf '| %-56s | %8s | %8s | %8s |\n' "$1" $v
  }
  for kind in zip folder; do
    rrow "from its $kind: the program, start to end (s)" "$work/$kind" 1
    rrow "  the reading itself (s)" "$work/$kind" 7
    rrow "  every user's class looked up (s)" "$work/$kind" 8
    rrow "  peak memory (MB)" "$work/$kind" 2
  done
  if [ -f "$work/zip" ]; then
    read -r _ _ users classes enrollments problems _ _ placed <"$work/zip"
    echo
    echo "Taken: $users users, $classes classes, $enrollments enrollments; $problems problem line(s); $placed users placed in a class."
  fi
  rm -rf "$work"
  return "$failed"
}

# --- porome-server -------------------------------------------------------------------------
# The real store (tools/lrs, in memory, any key), the test platform of tools/lti and
# porome-server between them, all on 127.0.0.1; tools/lti/server-bench.js plays the browsers.
server_bench() {
  . scripts/lrs.sh
  local rc=0 store_port tool_port platform reg out
  SERVER_WORK=
  SERVER_PID=
  PLATFORM_PID=
  [ -x "$dir/porome-server" ] || { echo; echo "porome-server: NOT RUN, it is not built here (no Qt HTTP server)"; return 77; }
  lrs_install || rc=$?
  [ "$rc" -ne 0 ] || npm_tool_install lti jose/package.json || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo
    echo "porome-server: NOT RUN, nothing measured: the store or the platform cannot be installed here"
    return 77
  fi
  SERVER_WORK=$(mktemp -d)
  trap 'lrs_stop; [ -z "$SERVER_PID" ] || lrs_end "$SERVER_PID"; [ -z "$PLATFORM_PID" ] || lrs_end "$PLATFORM_PID"
        rm -rf "$SERVER_WORK" "${LRS_WORK:-}"' EXIT
  store_port=$(lrs_free_port)
  lrs_start "$store_port" test || { echo "server bench: the store did not start" >&2; return 1; }
  tool_port=$(lrs_free_port)
  POROME_LTI_MODULES=$NPM_TOOL_MODULES POROME_LTI_LIFETIME=$LRS_LIFETIME node tools/lti/platform.js \
    --config tools/lti/registration.json --tool "http://127.0.0.1:$tool_port" \
    >"$SERVER_WORK/platform.out" 2>"$SERVER_WORK/platform.log" &
  PLATFORM_PID=$!
  lrs_wait_file "$SERVER_WORK/platform.out" "$PLATFORM_PID" ||
    { echo "server bench: the platform did not start" >&2; cat "$SERVER_WORK/platform.log" >&2; return 1; }
  platform=$(sed -n 's/^platform: listening on //p' "$SERVER_WORK/platform.out")
  reg=$(curl -sf --max-time 10 "${platform/localhost/127.0.0.1}/admin/registration")
  regv() { python3 -c 'import json, sys; v = json.loads(sys.argv[1])[sys.argv[2]]; print(", ".join(v) if isinstance(v, list) else v)' "$reg" "$1"; }
  mkdir -m 700 "$SERVER_WORK/state"
  mkdir "$SERVER_WORK/page"
  echo '<!doctype html><html><head><title>bench</title></head><body></body></html>' >"$SERVER_WORK/page/index.html"
  {
    echo "[server]"
    echo "listen = 127.0.0.1:$tool_port"
    echo "public = http://127.0.0.1:$tool_port"
    echo "page = $SERVER_WORK/page"
    echo "key = $SERVER_WORK/state/tool-key.pem"
    echo "[lrs]"
    echo "endpoint = http://127.0.0.1:$store_port/xAPI/"
    echo "key = bench"
    echo "secret = bench"
    echo "[platform.bench]"
    echo "issuer = $(regv issuer)"
    echo "clientId = $(regv clientId)"
    echo "authUrl = $(regv authUrl)"
    echo "jwksUrl = $(regv jwksUrl)"
    echo "deploymentIds = $(regv deploymentIds)"
    echo "homePage = https://portal-bench.example.jp"
  } >"$SERVER_WORK/server.ini"
  "$dir/porome-server" --settings "$SERVER_WORK/server.ini" >"$SERVER_WORK/server.out" 2>"$SERVER_WORK/server.log" &
  SERVER_PID=$!
  lrs_wait_file "$SERVER_WORK/server.out" "$SERVER_PID" ||
    { echo "server bench: porome-server did not start" >&2; cat "$SERVER_WORK/server.log" >&2; return 1; }
  echo
  echo "porome-server ($dir), the test platform (node, jose) and the store (xapi-statements in memory),"
  echo "all on 127.0.0.1, the client in node; $server_runs run(s) of each timed figure:"
  echo
  out=0
  LRS_AUTH=bench:bench node tools/lti/server-bench.js --platform "$platform" --tool "http://127.0.0.1:$tool_port" \
    --store "http://127.0.0.1:$store_port/xAPI/" --server-pid "$SERVER_PID" --runs "$server_runs" \
    --launches "$server_launches" --send "$server_send" --crowd "$server_crowd" --sessions "$server_sessions" || out=$?
  if ! kill -0 "$SERVER_PID" 2>/dev/null; then
    echo "server bench: porome-server ended during the bench:" >&2
    tail -n 20 "$SERVER_WORK/server.log" >&2
    out=1
  fi
  [ "$out" -eq 0 ] || { echo "server bench: something above went wrong; its figures are not to be quoted"; return 1; }
}

# --- building ---------------------------------------------------------------------------
ensure_packages "${POROME_BUILD_PACKAGES[@]}" xvfb xauth libxcb1-dev curl python3

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ "$dir" = build ] && [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build >/dev/null
else
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$buildtype" "${launcher[@]}" >/dev/null
fi
targets=()
[ "$window" -eq 0 ] || targets+=(porome porome-bare-window porome-mapwait porome-bench)
[ "$lrs" -eq 0 ] || targets+=(porome porome-store-bench)
[ "$roster" -eq 0 ] || targets+=(porome-roster-bench)
# porome-server only where it is built (Qt's HTTP server and OpenSSL 3 found).
if [ "$server" -eq 1 ] && grep -qw porome-server <<<"$(cmake --build "$dir" --target help 2>/dev/null || true)"; then
  targets+=(porome-server)
fi
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

echo "machine: $(nproc) core(s), $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(free -h | awk '/^Mem:/ { print $2 }') memory; $(date -u '+%Y-%m-%d %H:%M UTC')"
if [ "$window" -eq 1 ]; then
  xvfb-run -a -s '-screen 0 1280x1024x24 -nolisten tcp' \
    bash scripts/bench.sh --measure --inner "$runs" "$warmup" "$problems" "$dir"
fi
status=0
if [ "$lrs" -eq 1 ]; then
  lrs_bench || status=$?
fi
if [ "$roster" -eq 1 ]; then
  roster_bench || status=1
fi
if [ "$server" -eq 1 ]; then
  rc=0
  server_bench || rc=$?
  [ "$rc" -eq 0 ] || [ "$status" -ne 0 ] || status=$rc
fi
exit "$status"
