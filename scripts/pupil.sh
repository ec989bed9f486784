# SPDX-License-Identifier: GPL-3.0-or-later
# Plays ポロメ as a pupil would, with xdotool on the X display in $DISPLAY, and keeps a
# screenshot of every step; starts that display (start_xvfb). Sourced by windows.sh, which
# plays porome.exe under Wine and the Linux build the same way, so the two can be compared,
# by web.sh, which presses the page through its own pupil_press and pupil_read_mark, and by
# check-record-faults.sh.
#
#   pupil_play OUTDIR      the program must be starting on $DISPLAY (1280x1024 or larger)
#
# It answers as a pupil who does not read the problem: a keypad level (7) by trying 9, 8
# and 7, a level answered by pressing the picture (8) by trying ＞, ＝ and ＜, and the
# kind-button level (14) by trying 真分数, 仮分数 and 帯分数, until it has seen a right
# and a wrong answer on each. Then it tries 終わる and おわり with いいえ and はい
# (the keys Y and N of the message box).
# Positions are window pixels of the large layout (the panels stand at 8, 8).

# How many times longer than an idle machine needs a check waits for what it watches (a
# window, a mark, a record row, a sound, the store's statements) before it calls it missing.
# Every such wait ends as soon as the thing shows, so the factor costs nothing when all is
# well; it keeps a busy machine (other builds, a sanitizer build beside) from failing a check.
PUPIL_PATIENCE=${POROME_PATIENCE:-3}
# The tries of a wait written for an idle machine, scaled: $(pupil_tries N)
pupil_tries() { echo $(($1 * PUPIL_PATIENCE)); }

PUPIL_WINDOW=
PUPIL_STEP=0
PUPIL_OUT=
PUPIL_DELAY=${PUPIL_DELAY:-0.7}
PUPIL_MARK=
PUPIL_SEEN_RIGHT=
PUPIL_SEEN_WRONG=
PUPIL_LAST_X=
PUPIL_LAST_Y=

pupil_fail() {
  echo "pupil: $*" >&2
  return 1
}

# Screenshot of the whole screen as OUTDIR/NN-name.png.
# (import rings the X bell around every screenshot unless -silent: the bell is the
# program's to ring.)
pupil_shot() {
  PUPIL_STEP=$((PUPIL_STEP + 1))
  local file
  file=$(printf '%s/%02d-%s.png' "$PUPIL_OUT" "$PUPIL_STEP" "$1")
  import -silent -window root "$file"
  echo "  $(basename "$file")"
}

# Keeps a screenshot already taken as the next step.
pupil_keep() {
  PUPIL_STEP=$((PUPIL_STEP + 1))
  local file
  file=$(printf '%s/%02d-%s.png' "$PUPIL_OUT" "$PUPIL_STEP" "$2")
  cp "$1" "$file"
  echo "  $(basename "$file")"
}

# A press of the left button at window pixel x, y, and the same with a pause after it.
pupil_press() {
  xdotool mousemove --window "$PUPIL_WINDOW" "$1" "$2" click 1
}
pupil_click() {
  pupil_press "$1" "$2"
  sleep "$PUPIL_DELAY"
}

# A press at panel pixel x, y (the exercise panels stand at 8, 8 in the window).
pupil_panel_click() {
  pupil_click $(($1 + 8)) $(($2 + 8))
}

# The window pixel at which a window's top-left corner stands on the screen: "X Y".
pupil_origin() {
  local X Y
  eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y)=')"
  echo "$X $Y"
}

# Where the form stands on the screen and how it is scaled there: the screen pixel of
# window pixel x (pupil_screen_x) and y (pupil_screen_y), at PUPIL_SCALE screen pixels
# each. A page that scales the form overrides these.
PUPIL_SCALE=1
pupil_screen_x() {
  local wx wy
  read -r wx wy < <(pupil_origin "$PUPIL_WINDOW")
  echo $((wx + $1))
}
pupil_screen_y() {
  local wx wy
  read -r wx wy < <(pupil_origin "$PUPIL_WINDOW")
  echo $((wy + $1))
}
# How many red pixels make a mark, and a × in its middle (fewer where the form is scaled).
PUPIL_MARK_RED_MIN=15
PUPIL_MARK_MIDDLE_MIN=4

# Reads the mark of slot s from a screenshot: prints ○, × or nothing. The mark is red
# in a 26-pixel square at panel (40, y0+180); the ring of ○ leaves its middle white,
# the strokes of × cross there.
pupil_read_mark() {
  local s=$1 file=$2 x y n m d red middle
  x=$(pupil_screen_x 48)
  y=$(pupil_screen_y $((8 + (s - 1) * 220 + 180)))
  read -r n m d < <(awk -v s="$PUPIL_SCALE" 'BEGIN { printf "%d %d %d\n", 26 * s, 8 * s, 9 * s }')
  red=$(convert "$file" -crop "${n}x${n}+$x+$y" +repage -fx 'r>0.7&&g<0.3&&b<0.3' \
    -format '%[fx:round(mean*w*h)]' info:)
  middle=$(convert "$file" -crop "${m}x${m}+$((x + d))+$((y + d))" +repage -fx 'r>0.7&&g<0.3&&b<0.3' \
    -format '%[fx:round(mean*w*h)]' info:)
  if [ "$red" -lt "$PUPIL_MARK_RED_MIN" ]; then
    echo ""
  elif [ "$middle" -ge "$PUPIL_MARK_MIDDLE_MIN" ]; then
    echo "×"
  else
    echo "○"
  fi
}

# Presses a check (or answer) button and watches the screen for the mark of slot s:
# sets PUPIL_MARK and, the first time each mark is seen, keeps that screenshot.
# The mark stays one to two seconds, then the slot takes input again.
pupil_check() {
  pupil_press "$2" "$3"
  pupil_watch_mark "$1" "$4"
  sleep 2.3
}

# The same with a key (xdotool's name of it, such as Return) instead of the press.
pupil_check_key() {
  xdotool key "$2"
  pupil_watch_mark "$1" "$3"
  sleep 2.3
}

# Watches the screen for the mark of slot s after a check and returns when it shows:
# pupil_watch_mark S NAME; sets PUPIL_MARK_SEEN to the seconds of the sound's recording
# (sound_now) when it was seen.
pupil_watch_mark() {
  local s=$1 name=$2 i file=$PUPIL_OUT/.watch.png
  PUPIL_MARK=
  PUPIL_MARK_SEEN=
  for i in $(seq 1 "$(pupil_tries 20)"); do
    import -silent -window root "$file"
    PUPIL_MARK=$(pupil_read_mark "$s" "$file")
    [ -n "$PUPIL_MARK" ] && PUPIL_MARK_SEEN=$(sound_now) && break
  done
  case "$PUPIL_MARK" in
    ○) [ -n "$PUPIL_SEEN_RIGHT" ] || pupil_keep "$file" "$name-right"; PUPIL_SEEN_RIGHT=1 ;;
    ×) [ -n "$PUPIL_SEEN_WRONG" ] || pupil_keep "$file" "$name-wrong"; PUPIL_SEEN_WRONG=1 ;;
  esac
  rm -f "$file"
}

# Tries the given answers on slot s, problem after problem, until a right and a wrong
# answer have both been seen. Each answer is a command run before the check press.
# pupil_drill SLOT NAME CHECK_X CHECK_Y ANSWER_COMMAND...
pupil_drill() {
  local s=$1 name=$2 cx=$3 cy=$4 problem answer
  shift 4
  PUPIL_SEEN_RIGHT=
  PUPIL_SEEN_WRONG=
  for problem in $(seq 1 12); do
    for answer in "$@"; do
      eval "$answer"
      if [ "$problem$answer" = "1$1" ] && [ "$cx" != "-" ]; then
        pupil_shot "$name-answered"
      fi
      if [ "$cx" = "-" ]; then
        # The answer buttons judge at once: the last command pressed one.
        pupil_check "$s" "$PUPIL_LAST_X" "$PUPIL_LAST_Y" "$name"
      else
        pupil_check "$s" "$cx" "$cy" "$name"
      fi
      echo "  $name problem $problem: $answer -> ${PUPIL_MARK:-no mark seen}"
      [ -n "$PUPIL_MARK" ] || pupil_fail "$name: no mark seen" || return 1
      [ "$PUPIL_MARK" = "○" ] && break
    done
    if [ -n "$PUPIL_SEEN_RIGHT" ] && [ -n "$PUPIL_SEEN_WRONG" ]; then
      pupil_shot "$name-score"
      return 0
    fi
  done
  pupil_fail "$name: no right and wrong answer in 12 problems"
}

# The visible window whose title is exactly the given text (xdotool's own search
# cannot match Japanese titles).
pupil_window_named() {
  local w
  for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ]; then
      echo "$w"
      return 0
    fi
  done
}

# Waits for the message box, keeps a screenshot, and answers it with the key of the
# button given as yes or no (はい(Y), いいえ(N)). The box's size follows the fonts, so the
# keys are what finds its buttons.
pupil_dialog() {
  local name=$1 answer=$2
  sleep 1.5
  pupil_shot "$name"
  if [ "$answer" = yes ]; then xdotool key y; else xdotool key n; fi
  sleep 1.5
}

# Where a level option of the menu is pressed: level 1..10 third year, 11..22 fourth.
pupil_level() {
  local level=$1 row
  row=$((level <= 10 ? level - 1 : level - 11))
  pupil_click 60 $((124 + 50 * row + 18))
}

pupil_keypad() { # slot digit: the digit button of slot s's keypad
  local s=$1 digit=$2
  pupil_panel_click $((136 + 36 * digit + 18)) $(((s - 1) * 220 + 232 + 18))
}

# Starts Xvfb on a free display of the given size (WIDTHxHEIGHT) and sets DISPLAY;
# XVFB_PID is its process.
start_xvfb() {
  local fifo n
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$fifo" &
  XVFB_PID=$!
  read -r n <"$fifo"
  rm -f "$fifo"
  export DISPLAY=:$n
}

# --- Listening -----------------------------------------------------------------------------
# What the program plays, heard as a person would: a PulseAudio server of its own with a
# null sink, whose monitor parec records and sox measures.

# Starts that server in DIR and sets PULSE_SERVER, so that programs started from here play
# into its sink "porome"; PULSE_PID is its process. A null sink moves only while something
# plays into it, so a stream of silence keeps it going, with a short latency, which makes
# the recording's clock the wall clock (stop_pulse ends both).
start_pulse() {
  local dir=$1 i
  mkdir -p "$dir"
  HOME=$dir XDG_RUNTIME_DIR=$dir pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    -L "module-null-sink sink_name=porome rate=48000 channels=1" \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" >"$dir/log.txt" 2>&1 &
  PULSE_PID=$!
  export PULSE_SERVER=unix:$dir/native
  for i in $(seq 1 "$(pupil_tries 50)"); do
    if pactl info >/dev/null 2>&1 && pactl set-default-sink porome; then
      pacat -p --raw --format=s16le --rate=48000 --channels=1 --latency-msec=20 -d porome </dev/zero 2>/dev/null &
      PULSE_FEED_PID=$!
      return 0
    fi
    sleep 0.1
  done
  echo "PulseAudio did not start (see $dir/log.txt)" >&2
  return 1
}
stop_pulse() { stop_pid "${PULSE_FEED_PID:-}"; stop_pid "${PULSE_PID:-}"; }

# Records the sink's monitor into FILE (raw, 48 kHz, 16 bits, mono). Returns once the
# sound flows; its second 0, as sound_now counts, is the recording's first sample.
sound_record() {
  local i bytes
  SOUND_FILE=$1
  parec -d porome.monitor --raw --format=s16le --rate=48000 --channels=1 --latency-msec=20 >"$SOUND_FILE" &
  SOUND_PID=$!
  for i in $(seq 1 "$(pupil_tries 200)"); do
    bytes=$(stat -c %s "$SOUND_FILE")
    if [ "$bytes" -gt 0 ]; then
      SOUND_START=$(awk -v n="$(date +%s.%N)" -v b="$bytes" 'BEGIN { printf "%.3f", n - b / 96000 }')
      return 0
    fi
    sleep 0.05
  done
  echo "parec recorded nothing" >&2
  return 1
}
# Ends the recording, with what parec still holds written out.
sound_stop() {
  if [ -n "${SOUND_PID:-}" ] && kill -0 "$SOUND_PID" 2>/dev/null; then
    kill -INT "$SOUND_PID" 2>/dev/null || true
    wait "$SOUND_PID" 2>/dev/null || true
  fi
  SOUND_PID=
}

# Seconds since the recording started.
sound_now() {
  [ -n "${SOUND_START:-}" ] || return 0
  awk -v a="$SOUND_START" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'
}

# The loudest sample between two seconds of the recording, 0 to 1: sound_peak FROM TO
sound_peak() {
  sox -t raw -r 48000 -e signed -b 16 -c 1 "$SOUND_FILE" -n trim "$1" "=$2" stat 2>&1 \
    | awk '/^Maximum amplitude/ { print $3 }'
}

# The seconds at which the recording grows louder than a whisper (0.02) after a third of a
# second or more of quiet, one a line: where each sound begins.
sound_onsets() {
  sox -t raw -r 48000 -e signed -b 16 -c 1 "$SOUND_FILE" -t dat - 2>/dev/null \
    | awk 'BEGIN { last = -1 } !/^;/ && ($2 > 0.02 || $2 < -0.02) {
        if (last < 0 || $1 - last > 0.33) printf "%.2f\n", $1
        last = $1 }'
}
sound_onset() { sound_onsets | head -1; }

# A mark came with sound: silence in the second before the check (ASKED, a second of the
# recording), a tone from the check on, before the mark went (within 1.5 seconds), and
# silence again after it: sound_with_mark NAME ASKED
sound_with_mark() {
  local name=$1 asked=$2 onset before during after
  onset=$(sound_onset)
  before=$(sound_peak "$(awk -v t="$asked" 'BEGIN { print (t > 1.2 ? t - 1 : 0.2) }')" "$asked")
  echo "  $name: checked at ${asked} s, mark seen at ${PUPIL_MARK_SEEN:-?} s, sound from ${onset:-nowhere} s" \
    "(loudest before the check: $before)"
  [ -n "$onset" ] || pupil_fail "$name: no sound at all" || return 1
  awk -v b="$before" 'BEGIN { exit !(b < 0.01) }' || pupil_fail "$name: sound before the check" || return 1
  awk -v o="$onset" -v t="$asked" 'BEGIN { exit !(o >= t - 0.1 && o <= t + 1.5) }' \
    || pupil_fail "$name: the sound came at $onset s, not with the mark" || return 1
  during=$(sound_peak "$onset" "$(awk -v o="$onset" 'BEGIN { print o + 0.1 }')")
  after=$(sound_peak "$(awk -v o="$onset" 'BEGIN { print o + 0.6 }')" "$(awk -v o="$onset" 'BEGIN { print o + 1.0 }')")
  echo "  $name: loudest in the tone's first tenth of a second $during, half a second later $after;" \
    "$(sox -t raw -r 48000 -e signed -b 16 -c 1 "$SOUND_FILE" -n trim "$onset" 0.1 stat 2>&1 | awk '/^Rough/ { print "about " $3 " Hz" }')"
  awk -v d="$during" -v a="$after" 'BEGIN { exit !(d > 0.05 && a < 0.01) }' \
    || pupil_fail "$name: no short tone at the mark" || return 1
}

# Ends a process (if there is one) and waits for it.
stop_pid() {
  if [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; then
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
  fi
}

# Waits up to a minute (times the patience) for the program's window to show: sets PUPIL_WINDOW.
pupil_wait_window() {
  local i
  PUPIL_WINDOW=
  for i in $(seq 1 "$(pupil_tries 120)"); do
    PUPIL_WINDOW=$(pupil_window_named "ポロメ Ver1.0.1")
    [ -n "$PUPIL_WINDOW" ] && return 0
    sleep 0.5
  done
  pupil_fail "the window did not open"
}

# From the menu: the level's school year, the level, けってい and a press into slot 1.
pupil_start_level() {
  local level=$1
  if [ "$level" -le 10 ]; then pupil_click 96 24; else pupil_click 256 24; fi # ３年生 / ４年生
  pupil_level "$level"
  pupil_click 864 82 # けってい
  pupil_panel_click 300 100
}

# Level 14's kind buttons of slot 1 (真分数, 仮分数, 帯分数), tried in turn, problem after
# problem, until a right and a wrong answer have shown: pupil_drill_kinds NAME
pupil_drill_kinds() {
  pupil_drill 1 "$1" - - "PUPIL_LAST_X=$((422 + 8)) PUPIL_LAST_Y=$((238 + 8))" \
    "PUPIL_LAST_X=$((538 + 8)) PUPIL_LAST_Y=$((238 + 8))" "PUPIL_LAST_X=$((654 + 8)) PUPIL_LAST_Y=$((238 + 8))"
}

# Presses the kind button b (0 真分数, 1 仮分数, 2 帯分数) of slot 1 at level 14 and
# reads the mark; each press is one check.
pupil_kind_button() {
  pupil_check 1 $((422 + 116 * $1 + 8)) $((238 + 8)) "$2"
}

# 終わる, then おわり, each answered はい; the program ends.
pupil_quit() {
  pupil_panel_click 644 30 # 終わる
  pupil_dialog "$1-finish" yes
  pupil_click 960 82 # おわり
  pupil_dialog "$1-quit" yes
}

pupil_play() {
  PUPIL_OUT=$1
  PUPIL_STEP=0
  mkdir -p "$PUPIL_OUT"
  rm -f "$PUPIL_OUT"/*.png
  local i
  PUPIL_WINDOW=
  for i in $(seq 1 "$(pupil_tries 120)"); do
    PUPIL_WINDOW=$(pupil_window_named "ポロメ Ver1.0.1")
    [ -n "$PUPIL_WINDOW" ] && break
    sleep 0.5
  done
  [ -n "$PUPIL_WINDOW" ] || pupil_fail "the window did not open" || return 1
  sleep 3
  pupil_shot menu-grade3

  echo "Keypad: level 7"
  pupil_level 7
  pupil_shot level7-chosen
  pupil_click 864 82 # けってい
  pupil_shot level7-start
  pupil_panel_click 300 100 # into slot 1
  pupil_shot level7-problem
  pupil_drill 1 level7 $((568 + 50 + 8)) $((232 + 20 + 8)) \
    "pupil_keypad 1 9" "pupil_keypad 1 8" "pupil_keypad 1 7"
  pupil_panel_click 652 30 # 終わる
  pupil_dialog level7-finish-asked no
  pupil_shot level7-finish-no
  pupil_panel_click 652 30
  pupil_dialog level7-finish-asked-again yes
  pupil_shot level7-finish-yes

  echo "Pressing the picture: level 8"
  pupil_level 8
  pupil_click 864 82
  pupil_panel_click 300 100
  pupil_shot level8-problem
  pupil_drill 1 level8 $((608 + 50 + 8)) $((220 + 20 + 8)) \
    "pupil_panel_click 514 177" "pupil_panel_click 580 177" "pupil_panel_click 646 177"
  pupil_panel_click 644 30
  pupil_dialog level8-finish yes

  echo "Kind buttons: level 14"
  pupil_click 256 24 # ４年生
  pupil_shot menu-grade4
  pupil_level 14
  pupil_click 864 82
  pupil_panel_click 300 100
  pupil_shot level14-problem
  pupil_drill_kinds level14
  pupil_panel_click 644 30
  pupil_dialog level14-finish yes

  echo "おわり"
  pupil_click 960 82
  pupil_dialog quit-asked no
  pupil_shot quit-no
  pupil_click 960 82
  pupil_dialog quit-asked-again yes
  pupil_shot quit-yes
  # Wine may take some seconds to take a closed program's window away.
  for i in $(seq 1 "$(pupil_tries 20)"); do
    [ -z "$(pupil_window_named "ポロメ Ver1.0.1")" ] && break
    sleep 0.5
  done
  if [ -n "$(pupil_window_named "ポロメ Ver1.0.1")" ]; then
    pupil_fail "the window is still open after はい"
  fi
}
