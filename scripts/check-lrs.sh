#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The learning record store through outages: a real store (tools/lrs, in memory, on
# 127.0.0.1) behind the proxy that cuts it off, answers 503 or hangs on command; then every
# statement sent must be stored exactly once, with its mark, read back page by page and by
# the report's own query.
#
#   bash scripts/check-lrs.sh [BUILD_DIR]     (default build/; screenshots in shots/lrs)
#
# Two drills. A made-up lesson sent in batches with curl (drill_lesson), step by step
# through the table LESSON_STEPS, each step a proxy mode and the answer it must bring. Then
# the program itself, $BUILD_DIR/porome on a virtual screen with xdotool (drill_program):
# checks with the store there, the store cut off, more checks, SIGTERM while it is off, a
# second start with the store back (the spool sends the rest), more checks, 終わる and
# おわり. Every check must be in the store once, with the mark the screen showed, and the
# report read from the store must be the report of the CSV record of the same drill.
# Where the store cannot be installed (no npm registry) it says NOT RUN and exits with 77:
# nothing was checked.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
BUILD=$ROOT/${1:-build}
. scripts/packages.sh
. scripts/lrs.sh
. scripts/pupil.sh

started=$SECONDS
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

WORK=$(mktemp -d)
PROGRAM_PID=
cleanup() {
  stop_pid "$PROGRAM_PID"
  stop_pid "${XVFB_PID:-}"
  lrs_stop
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- The store behind the proxy -------------------------------------------------------
# STORE is the store itself (what the checks read), ENDPOINT the proxy in front of it (what
# a sender is given). The store takes only $LRS_KEY:$LRS_SECRET, so a wrong key meets a
# real 401.

BASE=https://porome.invalid/check/
MARK_KEY=${BASE}check/mark

setup_store() {
  ensure_packages curl python3 >/dev/null
  local rc=0
  lrs_install || rc=$?
  if [ "$rc" -eq "$LRS_NOT_AVAILABLE" ]; then
    echo "check-lrs: NOT RUN, nothing checked: the store cannot be installed here (no Node.js and npm, or no npm registry)"
    exit 77
  elif [ "$rc" -ne 0 ]; then
    echo "check-lrs: the store's install failed"
    exit 1
  fi
  STORE_PORT=$(lrs_free_port)
  PROXY_PORT=$(lrs_free_port)
  lrs_start "$STORE_PORT" fetch || exit 1
  lrs_proxy_start "$PROXY_PORT" "$STORE_PORT" || exit 1
  STORE=http://127.0.0.1:$STORE_PORT/xAPI
  ENDPOINT=http://127.0.0.1:$PROXY_PORT/xAPI
  LRS_AUTH=$LRS_KEY:$LRS_SECRET
  SINCE=$(date -u +%Y-%m-%dT%H:%M:%S.%3NZ)
  echo "store at $STORE, the proxy at $ENDPOINT (ready after $((SECONDS - started)) s)"
}

# --- The drill ------------------------------------------------------------------------
# The made-up lesson sends statements through $ENDPOINT while it switches the proxy
# (lrs_proxy), and writes what it sent, one {"id", "mark"} a line, to the file it is given;
# check_arrived then reads the store. The program's drill is further below.

# The made-up lesson: step by step, a proxy mode (or a wrong key), a batch, and the HTTP
# status it must bring (000: no answer: refused, or given up after LRS_POST_TIMEOUT).
LESSON_STEPS=(
  "pass 1 200"     # the store takes a batch
  "off 2 000"      # refused: the batch waits
  "pass 2 200"     # back: the waiting batch goes
  "503 3 503"      # the store's front says it is down
  "hang 3 000"     # never answered: given up
  "pass 3 200"
  "pass 2 200"     # a batch sent again, as when its answer was lost: stored once
  "wrongkey 4 401" # credentials refused: nothing of it stored
  "pass 4 200"
  "hang 5 000"
  "off 5 000"      # the hung connection is cut with the rest
  "503 5 503"
  "pass 5 200"
  "pass 6 200"
  "off 7 000"
  "pass 7 200"
  "pass 8 200"
  "503 9 503"
  "pass 9 200"
)
LESSON_STATEMENTS=36
LESSON_BATCH=4

drill_lesson() {
  local expected=$1 dir=$WORK/lesson step mode batch want got auth file
  python3 tools/lrs/lesson.py "$dir" "$BASE" "$LESSON_STATEMENTS" "$LESSON_BATCH"
  for step in "${LESSON_STEPS[@]}"; do
    read -r mode batch want <<<"$step"
    file=$(printf '%s/batch-%02d.json' "$dir" "$batch")
    auth=$LRS_AUTH
    if [ "$mode" = wrongkey ]; then
      mode=pass
      auth=$LRS_KEY:not-the-secret
    fi
    lrs_proxy "$mode" || { fail "the proxy did not switch to $mode"; continue; }
    got=$(LRS_AUTH=$auth LRS_POST_TIMEOUT=2 lrs_post "$ENDPOINT" "$file")
    if [ "$got" = "$want" ]; then
      echo "  $step: $got"
    else
      fail "$step: answered $got: $(head -c 300 "$LRS_DIR/answer" 2>/dev/null)"
    fi
  done
  lrs_proxy pass
  cp "$dir/expected.jsonl" "$expected"
  # Each mode met as many requests as the steps sent in it (none reach the proxy when off).
  lrs_proxy_stats | python3 -c '
import collections, json, sys
got = json.load(sys.stdin)["requests"]
want = collections.Counter(s.split()[0].replace("wrongkey", "pass") for s in sys.argv[1:])
bad = {m: (got[m], want[m]) for m in ("pass", "503", "hang") if got[m] != want[m]}
print("  requests the proxy took in each mode:", {m: got[m] for m in ("pass", "503", "hang")})
sys.exit(1 if bad or got["upstream_errors"] else 0)' "${LESSON_STEPS[@]}" ||
    fail "the proxy did not take each mode's requests as the steps sent them"
}

# --- What the store holds -------------------------------------------------------------

# Every sent statement exactly once, with its mark: all of the store's statements in small
# pages (following `more`), and the report's query through the proxy.
check_arrived() {
  local expected=$1 verb
  verb=$(python3 -c 'import urllib.parse; print(urllib.parse.quote("http://adlnet.gov/expapi/verbs/answered", safe=""))')
  echo "All statements, 10 a page:"
  lrs_statements "$STORE" "$WORK/all.json" "limit=10" || fail "reading the store page by page"
  python3 tools/lrs/arrived.py "$expected" "$WORK/all.json" --mark-key "$MARK_KEY" || fail "the store's statements"
  echo "The report's query (activity, related_activities, verb, since), 7 a page:"
  local query
  query="activity=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$BASE")"
  query+="&related_activities=true&verb=$verb&since=$SINCE&limit=7"
  lrs_statements "$ENDPOINT" "$WORK/query.json" "$query" || fail "the report's query"
  python3 tools/lrs/arrived.py "$expected" "$WORK/query.json" --mark-key "$MARK_KEY" || fail "the report's query's statements"
}

# --- The program's drill -----------------------------------------------------------------
# The program on a virtual screen, its settings and data in $WORK: the CSV record in a folder
# and the store through the proxy. Level 14's kind buttons of slot 1 judge at once; they are
# pressed in turn, so a problem ends with ○ by its third try at the latest.

PROGRAM_BASE=https://porome.github.io/xapi # the program's own activity base
PROGRAM_HOME=$WORK/program
SPOOL=$PROGRAM_HOME/data/porome/porome/lrs
CHECKS=$WORK/checks.jsonl
PRESSES=0 # in all runs: which button is next
RUN=0
SERIAL=0 # the problem of this run, as the program counts them
TRY=1
KEPT= # the marks whose screenshot was kept

setup_program() {
  ensure_packages xvfb xauth xdotool imagemagick >/dev/null
  PUPIL_OUT=$ROOT/shots/lrs
  mkdir -p "$PUPIL_OUT" "$PROGRAM_HOME/config/porome" "$PROGRAM_HOME/home" "$PROGRAM_HOME/data"
  mkdir -m 700 "$PROGRAM_HOME/runtime"
  rm -f "$PUPIL_OUT"/*.png
  : >"$CHECKS"
  # The key and secret are read from here, never given on a command line.
  cat >"$PROGRAM_HOME/config/porome/porome.conf" <<EOF
[record]
folder=$WORK/record
[lrs]
endpoint=$ENDPOINT
key=$LRS_KEY
secret=$LRS_SECRET
readKey=$LRS_KEY
readSecret=$LRS_SECRET
homePage=https://school.porome.invalid/
EOF
  start_xvfb 1280x1024
}

# The program with nothing of the machine's settings: env "${PROGRAM_ENV[@]}" PROGRAM ARGS...
PROGRAM_ENV=(HOME="$PROGRAM_HOME/home" XDG_CONFIG_HOME="$PROGRAM_HOME/config" XDG_CONFIG_DIRS="$PROGRAM_HOME/none"
  XDG_DATA_HOME="$PROGRAM_HOME/data" XDG_RUNTIME_DIR="$PROGRAM_HOME/runtime" USER=pupil1)
porome() { env "${PROGRAM_ENV[@]}" "$BUILD/porome" "$@"; }

# Waits up to S seconds (times the patience, pupil.sh) for a command to succeed: within S COMMAND...
within() {
  local end=$((SECONDS + $1 * PUPIL_PATIENCE))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# Starts run N of the program at level 14, slot 1 opened.
program_start() {
  RUN=$1
  SERIAL=1
  TRY=1
  # Started by env itself, so that SIGTERM reaches the program, not a shell around it.
  env "${PROGRAM_ENV[@]}" "$BUILD/porome" 2>"$WORK/stderr-$RUN.txt" &
  PROGRAM_PID=$!
  pupil_wait_window || return 1
  pupil_start_level 14
}

screen_mark() {
  import -silent -window root "$WORK/screen.png"
  MARK=$(pupil_read_mark 1 "$WORK/screen.png")
}
mark_shown() { screen_mark && [ -n "$MARK" ]; }
mark_gone() { screen_mark && [ -z "$MARK" ]; }

# One press of the next kind button: the mark read from the screen goes into $CHECKS with
# the run, the problem's serial and the try; returns once the mark has gone.
press() {
  local b=$((PRESSES % 3)) seen
  xdotool mousemove --window "$PUPIL_WINDOW" $((430 + 116 * b)) 246 click 1
  within 5 mark_shown || { fail "run $RUN: no mark on the screen $((5 * PUPIL_PATIENCE)) s after a press"; return 1; }
  seen=$MARK
  case "$KEPT" in
    *"$seen"*) ;;
    *) KEPT+=$seen; pupil_keep "$WORK/screen.png" "run$RUN-$([ "$seen" = × ] && echo wrong || echo right)" ;;
  esac
  printf '{"run": %d, "serial": %d, "try": %d, "screen": "%s"}\n' "$RUN" "$SERIAL" "$TRY" "$seen" >>"$CHECKS"
  echo "  run $RUN, problem $SERIAL, try $TRY: button $b, $seen"
  PRESSES=$((PRESSES + 1))
  if [ "$seen" = ○ ] || [ "$TRY" -eq 3 ]; then
    SERIAL=$((SERIAL + 1))
    TRY=1
  else
    TRY=$((TRY + 1))
  fi
  within 5 mark_gone || { fail "run $RUN: the mark still shows $((5 * PUPIL_PATIENCE)) s after a press"; return 1; }
  # The pause is over; the next press comes once the slot is drawn again.
  sleep 0.3
}
presses() {
  for _ in $(seq 1 "$1"); do press || return 1; done
}

checks_made() { grep -c . "$CHECKS" || true; }
# How many answered statements of the program the store itself holds.
stored_answered() {
  local query
  query="activity=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' \
    "$PROGRAM_BASE/levels/14")&related_activities=true&limit=100"
  lrs_statements "$STORE" "$WORK/answered.json" "$query" >/dev/null || return 1
  python3 -c 'import json, sys
print(sum(s["verb"]["id"].endswith("/answered") for s in json.load(open(sys.argv[1]))))' "$WORK/answered.json"
}
all_stored() { [ "$(stored_answered)" = "$(checks_made)" ]; }

dialog_shown() { [ -n "$(pupil_window_named "ポロメ")" ]; }
dialog_gone() { [ -z "$(pupil_window_named "ポロメ")" ]; }
program_gone() { ! kill -0 "$PROGRAM_PID" 2>/dev/null; }

# Presses a button that asks in a message box, and answers はい: press_and_yes X Y NAME
press_and_yes() {
  pupil_press "$1" "$2"
  within 10 dialog_shown || { fail "run $RUN: no message box after $3"; return 1; }
  xdotool key y
  within 10 dialog_gone || { fail "run $RUN: the message box after $3 stayed"; return 1; }
}

# Waits for the program to end (15 s at most, times the patience) and shows what it said: program_end HOW
program_end() {
  local status=0
  within 15 program_gone || { fail "run $RUN: the program did not end after $1"; return 1; }
  wait "$PROGRAM_PID" || status=$?
  PROGRAM_PID=
  echo "  run $RUN ended after $1 with status $status; standard error:"
  sed 's/^/    /' "$WORK/stderr-$RUN.txt"
  [ "$status" -eq 0 ] || fail "run $RUN ended with status $status after $1"
}

drill_program() {
  echo "Run 1: the store there, then cut off; SIGTERM while it is off"
  program_start 1 || return 1
  # At least three checks, until a right and a wrong mark have shown.
  for _ in $(seq 1 12); do
    press || return 1
    [ "$(checks_made)" -ge 3 ] && grep -q '"×"' "$CHECKS" && grep -q '"○"' "$CHECKS" && break
  done
  if within 15 all_stored; then
    echo "  the store has the $(checks_made) checks so far; now it is cut off"
  else
    fail "run 1: the store has $(stored_answered) answered statements for $(checks_made) checks"
  fi
  lrs_proxy off || return 1
  presses 3 || return 1
  pupil_shot run1-store-off
  kill -TERM "$PROGRAM_PID"
  program_end SIGTERM || return 1
  ls "$SPOOL"/run-*.jsonl >/dev/null 2>&1 || fail "run 1: nothing waits in the spool $SPOOL"

  echo "Run 2: the store back; the spool sends at the start; ends with 終わる and おわり"
  lrs_proxy pass || return 1
  program_start 2 || return 1
  if within 15 all_stored; then
    echo "  the store has all $(checks_made) checks of run 1"
  else
    fail "run 2: after its start the store has $(stored_answered) answered statements for $(checks_made) checks"
  fi
  presses 2 || return 1
  press_and_yes $((644 + 8)) $((30 + 8)) 終わる || return 1
  press_and_yes 960 82 おわり || return 1
  program_end おわり || return 1
  if ls "$SPOOL"/run-*.jsonl "$SPOOL"/rejected.jsonl >/dev/null 2>&1; then
    fail "run 2: the spool still holds statements: $(ls "$SPOOL")"
  fi
  ! grep -qF "$LRS_SECRET" "$WORK"/stderr-*.txt || fail "the store's secret was on standard error"
}

# Every check once, with its mark; then the class table from the store and from the CSV files.
check_drilled() {
  echo "The program's statements in the store, 5 a page:"
  lrs_statements "$STORE" "$WORK/program.json" "limit=5" || { fail "reading the store"; return; }
  python3 tools/lrs/drilled.py "$CHECKS" "$WORK/program.json" --base "$PROGRAM_BASE" ||
    fail "the program's statements"
  echo "The report from the store and from the CSV record:"
  porome --report --lrs "$STORE/" -o "$WORK/store.html" || fail "porome --report --lrs"
  porome --report "$WORK"/record/*.csv -o "$WORK/csv.html" || fail "porome --report of the CSV files"
  python3 tools/lrs/samereport.py "$WORK/store.html" "$WORK/csv.html" ||
    fail "the reports from the store and from the CSV files differ"
}

[ -x "$BUILD/porome" ] || { echo "check-lrs: no $BUILD/porome: build first"; exit 1; }
setup_store
echo "The made-up lesson, step by step:"
drill_lesson "$WORK/lesson-sent.jsonl"
check_arrived "$WORK/lesson-sent.jsonl"
echo "The program, drilled on a virtual screen (screenshots in shots/lrs):"
setup_program
if drill_program; then
  check_drilled
else
  fail "the drill of the program stopped"
fi

if [ "$failures" -ne 0 ]; then
  echo "check-lrs: $failures check(s) failed"
  exit 1
fi
echo "check-lrs: every statement stored exactly once through every outage ($((SECONDS - started)) s)"
