#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Plays ポロメ with its learning record on a small tmpfs and lets the folder misbehave while a
# pupil drills, then checks that every press left exactly one whole row, in order, and what
# standard error said.
#
#   bash scripts/check-record-faults.sh [BUILD_DIR]     (root; default build/)
#
# Run 1: the tmpfs is filled from outside, freed, the record folder is moved away and made
# again, and the program ends with おわり → はい. Run 2: the tmpfs is filled and the program
# gets SIGTERM, so the rows still waiting go to the user's unsent folder. Run 3 (where a loop
# device can be mounted): the record's file system is frozen, so that writes hang as on a
# stalled share, and every mark must still come on time.
# Where no tmpfs can be mounted it says why and exits with 77: nothing was checked. Where
# runs 1 and 2 pass but no loop device can be mounted for run 3, it exits with 77 too: the
# hanging writes were not checked.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
BUILD=$ROOT/${1:-build}

if [ "${POROME_FAULTS_INSIDE:-}" != 1 ]; then
  . scripts/packages.sh
  ensure_packages xvfb xauth xdotool imagemagick python3
  [ -x "$BUILD/porome" ] || { echo "check-record-faults: no $BUILD/porome: build first" >&2; exit 1; }
  WORK=$(mktemp -d)
  MNT=$WORK/share
  mkdir -p "$MNT"
  if [ "$(id -u)" -ne 0 ] || ! mount -t tmpfs -o size=16k,mode=0777 porome-faults "$MNT" 2>"$WORK/mount.err"; then
    echo "check-record-faults: NOT RUN, nothing checked: cannot mount a tmpfs here ($(id -u) is the user id; $(cat "$WORK/mount.err" 2>/dev/null))"
    rm -rf "$WORK"
    exit 77
  fi
  status=0
  POROME_FAULTS_INSIDE=1 WORK=$WORK MNT=$MNT xvfb-run -a -s '-screen 0 1280x1024x24' bash "$0" "${1:-build}" || status=$?
  fsfreeze -u "$WORK/frozen" 2>/dev/null || true
  umount "$WORK/frozen" 2>/dev/null || true
  umount "$MNT" || umount -l "$MNT" || true
  rm -rf "$WORK"
  exit "$status"
fi

# --- Inside the virtual screen ---------------------------------------------------------

. scripts/pupil.sh
PUPIL_OUT=$ROOT/shots/record-faults
mkdir -p "$PUPIL_OUT"
rm -f "$PUPIL_OUT"/*.png
export HOME=$WORK/home
mkdir -p "$HOME"
FOLDER=$MNT/kiroku
UNSENT=$HOME/.local/share/porome/porome/unsent
PRESSES=0
PRESSES_RUN=0
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

start_program() {
  "$BUILD/porome" --record "$FOLDER" 2>"$WORK/stderr-$1.txt" &
  PID=$!
  pupil_wait_window || exit 1
  sleep 1
  pupil_start_level 14
  PRESSES_RUN=0
}

# One press of a kind button of slot 1, which judges at once: one row of the record.
press() {
  pupil_kind_button $((PRESSES % 3)) press
  [ -n "$PUPIL_MARK" ] || { echo "no mark seen after a press"; exit 1; }
  PRESSES=$((PRESSES + 1))
  PRESSES_RUN=$((PRESSES_RUN + 1))
}
presses() {
  for _ in $(seq 1 "$1"); do press; done
}

# Presses until standard error says that writing stopped; the space left in the file's last
# page takes a few rows before the disk refuses one.
presses_until_refused() {
  for _ in $(seq 1 60); do
    press
    grep -q 'is not being written' "$1" && return 0
  done
  fail "the full disk never refused a row"
}

fill() { cat /dev/zero >"$MNT/filler" 2>/dev/null || true; }

echo "Run 1: full, freed, moved away, made again; ends with おわり"
rm -rf "$FOLDER" "$MNT/away"
start_program 1
presses 3
fill
presses_until_refused "$WORK/stderr-1.txt"
presses 2
rm -f "$MNT/filler"
presses 2
mv "$FOLDER" "$MNT/away"
presses 2
mkdir "$FOLDER"
presses 2
pupil_shot run1-before-end
pupil_quit run1
wait "$PID" || fail "run 1 ended with status $?"
RUN1=$PRESSES_RUN
mv "$FOLDER" "$MNT/run1"
mkdir "$FOLDER"

echo "Run 2: full until SIGTERM"
start_program 2
presses 2
fill
presses_until_refused "$WORK/stderr-2.txt"
presses 1
kill -TERM "$PID"
wait "$PID" || fail "run 2 ended with status $?"
RUN2=$PRESSES_RUN
rm -f "$MNT/filler"

echo "Run 3: writes that hang"
FROZEN=$WORK/frozen
RUN3=
if truncate -s 8M "$WORK/frozen.img" && mkfs.ext4 -q "$WORK/frozen.img" && mkdir -p "$FROZEN" &&
  mount -o loop "$WORK/frozen.img" "$FROZEN" 2>"$WORK/loop.err"; then
  FOLDER=$FROZEN/kiroku
  start_program 3
  presses 2
  fsfreeze -f "$FROZEN"
  # Each press must show its mark while the write of its row hangs.
  presses 3
  pupil_shot run3-marks-while-frozen
  fsfreeze -u "$FROZEN"
  presses 1
  pupil_quit run3
  wait "$PID" || fail "run 3 ended with status $?"
  RUN3=$PRESSES_RUN
else
  echo "Run 3: NOT RUN: no loop device to mount here ($(cat "$WORK/loop.err" 2>/dev/null))"
fi

# Every file of a run, in the order written, holds whole rows with times that only go up:
# as many rows as presses, none twice, none torn.
check_rows() { # name presses files...
  python3 - "$@" <<'EOF' || fail "$1: rows"
import csv, sys
name, presses, files = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
rows = []
for f in files:
    text = open(f, encoding="utf-8", newline="").read()
    assert text.startswith("\ufeff日時,"), f"{f}: no header"
    assert text.endswith("\r\n"), f"{f}: ends inside a row"
    lines = list(csv.reader(text[1:].splitlines()))
    width = len(lines[0])
    for line in lines[1:]:
        assert len(line) == width, f"{f}: torn row {line}"
        rows.append(line)
times = [r[0] for r in rows]
assert len(rows) == presses, f"{name}: {len(rows)} rows for {presses} presses"
assert all(a < b for a, b in zip(times, times[1:])), f"{name}: rows out of order or twice: {times}"
assert all(r[12] == "ボタン" and r[10] in ("○", "△", "×") for r in rows), f"{name}: a row is not a press"
print(f"{name}: {len(rows)} rows for {presses} presses, whole and in order, from {len(files)} file(s)")
EOF
}

check_said() { # name file pattern count
  local n
  n=$(grep -c -- "$3" "$2" || true)
  if [ "$n" -eq "$4" ]; then echo "$1: standard error says '$3' $n time(s)"; else fail "$1: '$3' said $n times, not $4"; fi
}

echo
echo "Standard error, run 1:"; cat "$WORK/stderr-1.txt"
echo "Standard error, run 2:"; cat "$WORK/stderr-2.txt"
[ -z "$RUN3" ] || { echo "Standard error, run 3:"; cat "$WORK/stderr-3.txt"; }
echo
check_rows run1 "$RUN1" "$MNT"/away/*.csv "$MNT"/run1/*.csv
check_said run1 "$WORK/stderr-1.txt" 'is not being written: \(No space left on device\|デバイスに空き容量がありません\)' 1
check_said run1 "$WORK/stderr-1.txt" 'is not being written: the file is gone' 1
check_said run1 "$WORK/stderr-1.txt" 'written again: [0-9]* waiting rows caught up' 2
check_said run1 "$WORK/stderr-1.txt" '^porome:' 4
check_rows run2 "$RUN2" "$MNT/kiroku"/*.csv "$UNSENT"/*.csv
check_said run2 "$WORK/stderr-2.txt" 'is not being written: \(No space left on device\|デバイスに空き容量がありません\)' 1
check_said run2 "$WORK/stderr-2.txt" "could not be written into $MNT/kiroku; they are in $UNSENT/" 1
check_said run2 "$WORK/stderr-2.txt" '^porome:' 2
if [ -n "$RUN3" ]; then
  check_rows run3 "$RUN3" "$FROZEN/kiroku"/*.csv
  check_said run3 "$WORK/stderr-3.txt" '^porome:' 0
fi
echo "The report reads the unsent file:"
"$BUILD/porome" --report "$UNSENT" -o "$WORK/report.html" || fail "the report of the unsent folder"

if [ "$failures" -ne 0 ]; then
  echo "check-record-faults: $failures check(s) failed; screenshots in $PUPIL_OUT"
  exit 1
fi
echo "check-record-faults: every row of $PRESSES presses kept, whole and in order; screenshots in $PUPIL_OUT"
if [ -z "$RUN3" ]; then
  echo "check-record-faults: run 3 (writes that hang) NOT RUN: no loop device could be mounted"
  exit 77
fi
