#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The learning record store through outages: a real store (tools/lrs, in memory, on
# 127.0.0.1) behind the proxy that cuts it off, answers 503 or hangs on command; then every
# statement sent must be stored exactly once, with its mark, read back page by page and by
# the report's own query.
#
#   bash scripts/check-lrs.sh [BUILD_DIR]     (default build/)
#
# The drill today is a made-up lesson sent in batches with curl (drill_lesson), step by step
# through the table LESSON_STEPS, each step a proxy mode and the answer it must bring. The
# program's own drill goes beside it (see "The drill" below) and is checked the same way.
# Where the store cannot be installed (no npm registry) it says NOT RUN and exits with 77:
# nothing was checked.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
# shellcheck disable=SC2034 # the program that the drill of the program (below) plays
BUILD=$ROOT/${1:-build}
. scripts/packages.sh
. scripts/lrs.sh

started=$SECONDS
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

WORK=$(mktemp -d)
cleanup() {
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
# A drill sends statements through $ENDPOINT while it switches the proxy (lrs_proxy), and
# writes what it sent, one {"id", "mark"} a line, to the file it is given; check_arrived then
# reads the store. The program's drill goes here: it plays $BUILD/porome with xdotool
# (scripts/pupil.sh) against $ENDPOINT, turns the proxy off mid-lesson and on again, ends
# the program with SIGTERM while it is off and starts it again, and takes each mark from the
# screen; then the report (porome --report --lrs "$STORE/") is compared with the CSV report
# of the same drill.

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

setup_store
echo "The made-up lesson, step by step:"
drill_lesson "$WORK/lesson-sent.jsonl"
check_arrived "$WORK/lesson-sent.jsonl"

if [ "$failures" -ne 0 ]; then
  echo "check-lrs: $failures check(s) failed"
  exit 1
fi
echo "check-lrs: every statement stored exactly once through every outage ($((SECONDS - started)) s)"
