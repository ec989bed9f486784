#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Plays ポロメ with the keyboard, as a pupil at a laptop does, on a virtual screen with
# xdotool, and listens to it: level 1, slot 1 opened with a press, then only keys. Digits
# go to the pink box, Enter checks, Tab and Shift+Tab move the pink box; keys typed while a
# mark shows wait for the pause to end and count once. Each mark must come with the beep:
# the X server's bell is played into a PulseAudio null sink (module-x11-bell), parec records
# it and sox finds silence before the check and a short tone with the mark. The learning
# record (--record) tells what every check read.
#
#   bash scripts/check-keys.sh [BUILD_DIR]      (default build/; screenshots in shots/keys)
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
BUILD=$ROOT/${1:-build}

. scripts/packages.sh
ensure_packages xvfb xauth xdotool imagemagick python3 pulseaudio pulseaudio-utils sox >/dev/null
[ -x "$BUILD/porome" ] || { echo "check-keys: no $BUILD/porome: build first" >&2; exit 1; }
. scripts/pupil.sh

WORK=$(mktemp -d)
PUPIL_OUT=$ROOT/shots/keys
mkdir -p "$PUPIL_OUT"
rm -f "$PUPIL_OUT"/*.png
PROGRAM_PID=
trap 'sound_stop; stop_pid "$PROGRAM_PID"; stop_pulse; stop_pid "${XVFB_PID:-}"; [ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"' EXIT

start_xvfb 1280x1024
start_pulse "$WORK/pulse"
# The bell of the X server, as a desktop plays it: a short tone from the sound server.
sox -n -r 48000 -c 1 "$WORK/bell.wav" synth 0.15 sine 880 vol 0.4
pactl upload-sample "$WORK/bell.wav" x11-bell
pactl load-module module-x11-bell display="$DISPLAY" sample=x11-bell >/dev/null

# Nothing of the machine's settings: the record goes to a folder of this run.
XDG_CONFIG_HOME=$WORK/config HOME=$WORK/home "$BUILD/porome" --record "$WORK/record" 2>"$WORK/stderr.txt" &
PROGRAM_PID=$!
pupil_wait_window
sleep 3

# The rows of the learning record so far, one a line: problem, answer, result, try.
record_rows() {
  /usr/bin/python3 - "$WORK/record" <<'EOF'
import csv, glob, sys
for path in sorted(glob.glob(sys.argv[1] + "/*.csv")):
    with open(path, encoding="utf-8-sig") as f:
        for row in list(csv.reader(f))[1:]:
            print("\t".join(row[8:12]))
EOF
}
rows() { record_rows | wc -l; }
# Waits until the record holds N rows.
wait_rows() {
  local i
  for i in $(seq 1 "$(pupil_tries 50)"); do
    [ "$(rows)" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

echo "Level 1, slot 1 opened with a press; then the keyboard only"
pupil_start_level 1
pupil_shot level1-problem

echo "99 and Enter: wrong, with the beep"
sound_record "$WORK/wrong.raw"
sleep 1.5
xdotool type --delay 80 99
pupil_shot typed-99
asked=$(sound_now)
pupil_check_key 1 Return keys
sound_stop
[ "$PUPIL_MARK" = × ] || pupil_fail "99: × expected, ${PUPIL_MARK:-no mark} seen"
sound_with_mark "99 + Enter" "$asked"
wait_rows 1 || pupil_fail "no row in the record after the first check"

# The problem as the record writes it: "n/d m".
read -r fraction _ < <(record_rows | tail -1 | cut -f1)
n=${fraction%/*}
d=${fraction#*/}
echo "The problem is $fraction: Tab, the numerator, Shift+Tab, the denominator, Enter"
xdotool key Tab
xdotool type --delay 80 "$n"
pupil_shot tab-numerator
xdotool key shift+Tab
xdotool type --delay 80 "$d"
pupil_shot shift-tab-denominator
sound_record "$WORK/right.raw"
sleep 1.5
asked=$(sound_now)
pupil_check_key 1 Return keys
sound_stop
[ "$PUPIL_MARK" = ○ ] || pupil_fail "$fraction: ○ expected, ${PUPIL_MARK:-no mark} seen"
sound_with_mark "$fraction + Enter" "$asked"

echo "The next problem: 99 and Enter, and while the × shows, 88 and Enter"
pupil_shot next-problem
xdotool type --delay 80 99
sound_record "$WORK/pause.raw"
sleep 1
xdotool key Return
# Typed at once, without reading the screen first, so that a slow machine still types inside
# the pause; the record shows below that the 99 was judged first.
sleep 0.3
typed=$(sound_now)
xdotool type --delay 40 88
xdotool key Return
# The keys wait for the pause: the 88's check and its beep come once the × has stood one
# to two seconds, not at once.
sleep 4.5
sound_stop
pupil_shot after-keys-in-pause
mapfile -t onsets < <(sound_onsets)
echo "  88 and Enter typed at $typed s in the pause; beeps at ${onsets[*]} s"
[ "${#onsets[@]}" -eq 2 ] || pupil_fail "${#onsets[@]} beeps, 2 expected"
awk -v a="${onsets[0]}" -v t="$typed" 'BEGIN { exit !(t < a + 0.9) }' \
  || pupil_fail "88 was typed at $typed s, not inside the pause that began at ${onsets[0]} s"
awk -v a="${onsets[0]}" -v b="${onsets[1]}" -v t="$typed" 'BEGIN { exit !(b - a >= 0.95 && b - a <= 2.3 && b > t + 0.3) }' \
  || pupil_fail "the check of the keys typed in the pause did not wait for the pause"
wait_rows 4 || true
echo "The record (problem, answer, result, try):"
record_rows | sed 's/^/  /'
mapfile -t answers < <(record_rows | cut -f2)
[ "${#answers[@]}" -eq 4 ] || pupil_fail "${#answers[@]} checks recorded, 4 expected"
case "${answers[3]:-}" in
  *88*) case "${answers[3]}" in *99*) pupil_fail "the 88 of the pause was typed after the 99 it followed" ;; esac ;;
  *) pupil_fail "the 88 typed in the pause did not reach the next check: ${answers[3]:-nothing}" ;;
esac
[ "$(record_rows | cut -f3 | tr '\n' ' ')" = "× △ × × " ] || pupil_fail "the results are not × △ × ×"

pupil_quit keys
echo "Screenshots: $PUPIL_OUT"
echo "check-keys: the keyboard's checks and their beeps are as they should be."
