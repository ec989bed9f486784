#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds ポロメ for the web browser on this Debian machine: a folder of static files
# (page, .js, .wasm) that a school serves as they are, dist/porome-<version>-web/, and
# its zip, dist/porome-<version>-web.zip.
#
#   bash scripts/web.sh            build Qt once (cached), the program and the page
#   bash scripts/web.sh --qt       only build (or reuse) the static Qt for WebAssembly
#   bash scripts/web.sh --bench    also measure bytes and start time against a bare
#                                  Qt widgets window built the same way
#   bash scripts/web.sh --check    also play the page in Chromium and in WebKitGTK on a
#                                  virtual screen (tools/web-check.py), its record against
#                                  the local store, keeping screenshots in shots/web/
#
# Qt 6.4.2 (qtbase and qtsvg) is built once as static libraries with Debian's
# emscripten into $POROME_QT_WASM_CACHE (default ~/.cache/porome/qt-6.4.2-wasm); later
# runs reuse it. The first build takes half an hour or more on two cores.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
. scripts/packages.sh
. scripts/pupil.sh
CACHE=${POROME_CACHE:-$HOME/.cache/porome}
. scripts/qt-source.sh

QT_PREFIX=${POROME_QT_WASM_CACHE:-$CACHE/qt-$QT_VERSION-wasm}
QT_WORK=$CACHE/qt-$QT_VERSION-wasm-build
JOBS=${POROME_JOBS:-2}
BUILD_DIR=$ROOT/build-web
VERSION=$(sed -n 's/^project(porome VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
TOP=porome-$VERSION-web
DIST=$ROOT/dist/$TOP
ZIP=$ROOT/dist/$TOP.zip

WEB_PACKAGES=(
  cmake ninja-build dpkg-dev xz-utils emscripten nodejs
  qt6-base-dev qt6-svg-dev qt6-base-dev-tools libgl-dev
  qt6-translations-l10n fonts-ipafont-gothic fonts-ipafont-mincho python3-fonttools
  librsvg2-bin python3 brotli zip unzip
)
CHECK_PACKAGES=(chromium xvfb xauth xdotool imagemagick libwebkit2gtk-4.1-0 pulseaudio pulseaudio-utils sox)


# --- Emscripten as Qt expects to find it -------------------------------------------

# Qt's build reads $EMSDK/.emscripten for the folder, under $EMSDK, that holds emcc and
# Emscripten's cmake/ folder. Debian installs emscripten in /usr/share/emscripten with
# emcc in /usr/bin, so a folder of links stands in for an SDK.
setup_emscripten() {
  local sdk=$CACHE/emsdk root=/usr/share/emscripten
  if [ ! -x "$sdk/emscripten/emcc" ]; then
    rm -rf "$sdk"
    mkdir -p "$sdk/emscripten"
    local f
    for f in "$root"/* "$root"/.[!.]*; do
      [ -e "$f" ] || continue
      ln -s "$f" "$sdk/emscripten/$(basename "$f")"
    done
    rm -f "$sdk/emscripten/emcc" "$sdk/emscripten/em++"
    ln -s /usr/bin/emcc "$sdk/emscripten/emcc"
    ln -s /usr/bin/em++ "$sdk/emscripten/em++"
    echo "EMSCRIPTEN_ROOT = emsdk_path + '/emscripten'" >"$sdk/.emscripten"
  fi
  export EMSDK=$sdk
  # Emscripten's JavaScript helpers (acorn and others) are Debian's node modules; a node
  # that is not Debian's own build does not look there by itself.
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
  # Debian's emscripten is made for Debian's python3, which also starts at once where a
  # python3 manager's stand-in comes first on PATH. Its cache of system libraries comes
  # ready-built and fixed, so its check of the tools on every call is left out.
  export EMSDK_PYTHON=/usr/bin/python3
  export EMCC_SKIP_SANITY_CHECK=1
  EMSCRIPTEN_TOOLCHAIN=$sdk/emscripten/cmake/Modules/Platform/Emscripten.cmake
}

# --- Static Qt for WebAssembly --------------------------------------------------------

build_qtbase() {
  local b=$QT_WORK/qtbase
  # OpenGL stays on: the wasm platform plugin draws with WebGL. Asyncify lets the
  # program's modal waits (message boxes, the pause after a mark) work in a browser.
  cmake -G Ninja -S "$CACHE/src/qtbase" -B "$b" \
    -DCMAKE_TOOLCHAIN_FILE="$EMSCRIPTEN_TOOLCHAIN" \
    -DQT_QMAKE_TARGET_MKSPEC=wasm-emscripten \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$QT_PREFIX" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_DEVICE_OPTIONS=QT_EMSCRIPTEN_ASYNCIFY=1 \
    -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_thread=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF \
    -DFEATURE_xml=OFF -DFEATURE_opengl=ON -DFEATURE_opengles2=ON \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
  nice -n 10 cmake --build "$b" -j"$JOBS"
  cmake --install "$b"
}

# The static Qt for WebAssembly, built once into the cache.
ensure_qt() {
  setup_emscripten
  ensure_static_qt WebAssembly "half an hour or more on two cores"
}

# --- The program and the page ----------------------------------------------------------

build_program() {
  log "Building porome.wasm in build-web/"
  "$QT_PREFIX/bin/qt-cmake" -G Ninja -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$BUILD_DIR" -j"$JOBS" --target porome
}

# The files a browser fetches, in the order the service worker keeps them.
PAGE_FILES=(index.html record.js qtloader.js porome.js porome.wasm manifest.webmanifest icon.svg icon-180.png icon-192.png icon-512.png)

# Makes the page around a built program: stage_page BUILD OUT [bare]. A bare page (the
# bench's floors) carries no record: neither record.js nor its script line.
stage_page() {
  local build=$1 out=$2 bare=${3:-} f files=("${PAGE_FILES[@]}")
  rm -rf "$out"
  mkdir -p "$out"
  cp "$build/porome.js" "$build/porome.wasm" "$build/qtloader.js" "$out/"
  cp web/manifest.webmanifest "$out/"
  cp assets/icon.svg "$out/icon.svg"
  for f in 180 192 512; do
    rsvg-convert -w "$f" -h "$f" -o "$out/icon-$f.png" assets/icon.svg
  done
  [ -z "$bare" ] || files=("${PAGE_FILES[@]/record.js/}")
  if [ -n "$bare" ]; then
    sed -e '/<!-- record -->/d' web/index.html
  else
    cp web/record.js "$out/"
    cat web/index.html
  fi | sed -e "s/@JS_BYTES@/$(stat -c %s "$out/porome.js")/" -e "s/@WASM_BYTES@/$(stat -c %s "$out/porome.wasm")/" \
    >"$out/index.html"
  local list
  list=$(printf '"./%s", ' ${files[@]})
  # The cache's name changes with any file of the program that changes.
  sed -e "s/@VERSION@/$VERSION-$(cat "$out"/porome.wasm "$out"/porome.js "$out/index.html" "$out"/record.js 2>/dev/null | sha256sum | cut -c1-12)/" \
    -e "s|@FILES@|\"./\", ${list%, }|" web/sw.js >"$out/sw.js"
}

# Puts a brotli and a gzip twin beside every file a browser fetches.
compress_page() {
  local out=$1 f
  for f in "${PAGE_FILES[@]}" sw.js; do
    [ -f "$out/$f" ] || continue
    brotli -q 11 -f -o "$out/$f.br" "$out/$f"
    gzip -9 -n -c "$out/$f" >"$out/$f.gz"
  done
}

make_dist() {
  log "Making $TOP/ and $(basename "$ZIP")"
  stage_page "$BUILD_DIR" "$DIST"
  compress_page "$DIST"
  sed "s/@VERSION@/$VERSION/g" web/README.txt >"$DIST/README.txt"
  mkdir -p "$DIST/licenses/qt" "$DIST/licenses/fonts"
  cp LICENSE "$DIST/LICENSE.txt"
  cp web/qt-notice.txt "$DIST/licenses/qt/README.txt"
  local f
  for f in LGPL-3.0-only GPL-3.0-only GPL-2.0-only BSD-3-Clause MIT; do
    cp "$CACHE/src/qtbase/LICENSES/$f.txt" "$DIST/licenses/qt/$f.txt"
  done
  cp assets/fonts-notice.txt "$DIST/licenses/fonts/README.txt"
  cp /usr/share/doc/fonts-ipafont-gothic/copyright "$DIST/licenses/fonts/IPA_Font_License.txt"
  cp "$BUILD_DIR"/carried/fonts/porome-gothic.ttf "$BUILD_DIR"/carried/fonts/porome-pmincho.ttf \
    "$BUILD_DIR"/carried/fonts/characters.txt "$DIST/licenses/fonts/"
  rm -f "$ZIP"
  (cd "$ROOT/dist" && TZ=UTC zip -X -r -q "$ZIP" "$TOP")
  ls -l "$DIST" "$ZIP"
}

# --- In a browser on a virtual screen ----------------------------------------------------

# Ends Chromium and waits until its profile is free for the next start.
stop_chromium() {
  stop_pid "${BROWSER_PID:-}"
  local i
  for i in $(seq 1 100); do
    [ -L "$1/SingletonLock" ] || return 0
    sleep 0.1
  done
  rm -f "$1/SingletonLock" "$1/SingletonSocket" "$1/SingletonCookie"
}

# Serves a folder on 127.0.0.1: serve DIR PORT REPORT_FILE; SERVER_PIDS collects them.
SERVER_PIDS=()
serve() {
  : >"$3"
  /usr/bin/python3 tools/web-serve.py "$1" "$2" "$3" &
  SERVER_PIDS+=($!)
  local i
  for i in $(seq 1 50); do
    curl -fs -o /dev/null "http://127.0.0.1:$2/index.html" && return 0
    sleep 0.1
  done
  echo "the server on port $2 did not start" >&2
  return 1
}

# Chromium as a school Chromebook shows a web app: its own window, 1366x768, no tabs.
# Without a GPU, WebGL runs on SwiftShader; --test-type keeps the warning about the
# sandbox (off for root) from covering the page.
start_chromium() { # PROFILE URL [extra flags]
  local profile=$1 url=$2
  shift 2
  # A school's Chromebook is set to Japanese and offers no translation of a Japanese page.
  if [ ! -f "$profile/Default/Preferences" ]; then
    mkdir -p "$profile/Default"
    echo '{"translate": {"enabled": false}, "intl": {"accept_languages": "ja"}}' >"$profile/Default/Preferences"
  fi
  LANGUAGE=ja chromium --user-data-dir="$profile" --no-first-run --no-default-browser-check --test-type \
    --no-sandbox --disable-extensions --disable-sync --disable-background-networking \
    --disable-features=Translate,MediaRouter --password-store=basic --lang=ja \
    --use-angle=swiftshader --enable-unsafe-swiftshader \
    --window-position=0,0 --window-size=1366,768 "$@" --app="$url" >/dev/null 2>&1 &
  BROWSER_PID=$!
}

# Waits for the page to report a value: wait_report FILE KEY [SECONDS]; prints the last one.
wait_report() {
  local file=$1 key=$2 i
  for i in $(seq 1 $((${3:-120} * 10))); do
    if grep -q "^$key=" "$file"; then
      grep "^$key=" "$file" | tail -1 | cut -d= -f2
      return 0
    fi
    sleep 0.1
  done
  return 1
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The bytes of a page that go over the line on a first visit: every file the service
# worker keeps, each compressed as its twin: page_bytes DIR br|gz
page_bytes() {
  local f total=0
  for f in "${PAGE_FILES[@]}" sw.js; do
    [ -f "$1/$f.$2" ] || continue
    total=$((total + $(stat -c %s "$1/$f.$2")))
  done
  echo "$total"
}

# The floor: an empty Qt widgets window of the form's size, built and paged the same way.
build_bare() {
  log "Building the bare Qt window for WebAssembly in build-web-bare/"
  "$QT_PREFIX/bin/qt-cmake" -G Ninja -S "$ROOT/tools/bench/web-bare" -B "$ROOT/build-web-bare" \
    -DCMAKE_BUILD_TYPE=Release
  cmake --build "$ROOT/build-web-bare" -j"$JOBS"
  stage_page "$ROOT/build-web-bare" "$ROOT/build-web-bare/page" bare
  compress_page "$ROOT/build-web-bare/page"
}

# ポロメ without its learning record, to say what the record adds.
build_without_record() {
  log "Building porome.wasm without the record in build-web-norecord/"
  "$QT_PREFIX/bin/qt-cmake" -G Ninja -S "$ROOT" -B "$ROOT/build-web-norecord" -DCMAKE_BUILD_TYPE=Release \
    -DPOROME_PAGE_RECORD=OFF
  cmake --build "$ROOT/build-web-norecord" -j"$JOBS" --target porome
  stage_page "$ROOT/build-web-norecord" "$ROOT/build-web-norecord/page" bare
  compress_page "$ROOT/build-web-norecord/page"
}

# Milliseconds from navigation to the first frame the program draws, in a fresh profile
# (cold) and again in the same profile (warm): first_frames DIR PORT RUNS; prints
# "cold warm" per run.
first_frames() {
  local port=$1 runs=$2 i profile report=$ROOT/build-web-bench/report-$1.txt cold warm
  for i in $(seq 1 "$runs"); do
    profile=$ROOT/build-web-bench/profile-$port
    rm -rf "$profile"
    : >"$report"
    start_chromium "$profile" "http://127.0.0.1:$port/index.html?measure"
    cold=$(wait_report "$report" first 60) || { echo "no first frame on port $port" >&2; stop_chromium "$profile"; return 1; }
    # the service worker keeps the files before the warm start
    wait_report "$report" kept 60 >/dev/null || echo "the service worker kept nothing on port $port" >&2
    stop_chromium "$profile"
    : >"$report"
    start_chromium "$profile" "http://127.0.0.1:$port/index.html?measure"
    warm=$(wait_report "$report" first 60) || { echo "no warm first frame on port $port" >&2; stop_chromium "$profile"; return 1; }
    stop_chromium "$profile"
    echo "$cold $warm"
  done
}

run_bench() {
  ensure_packages "${CHECK_PACKAGES[@]}" curl
  build_bare
  build_without_record
  mkdir -p "$ROOT/build-web-bench"
  start_xvfb 1366x768
  trap 'stop_pid "${BROWSER_PID:-}"; for p in "${SERVER_PIDS[@]}"; do stop_pid "$p"; done; stop_pid "${XVFB_PID:-}"' EXIT
  local runs=${POROME_BENCH_RUNS:-5} bare porome
  log "Time to the first frame in Chromium, $runs runs each (milliseconds, cold and warm)"
  serve "$ROOT/build-web-bare/page" 8611 "$ROOT/build-web-bench/report-8611.txt"
  serve "$DIST" 8612 "$ROOT/build-web-bench/report-8612.txt"
  bare=$(first_frames 8611 "$runs")
  porome=$(first_frames 8612 "$runs")
  echo "bare:   $(echo "$bare" | tr '\n' ' ')"
  echo "porome: $(echo "$porome" | tr '\n' ' ')"
  local bc bw pc pw
  bc=$(echo "$bare" | cut -d' ' -f1 | median)
  bw=$(echo "$bare" | cut -d' ' -f2 | median)
  pc=$(echo "$porome" | cut -d' ' -f1 | median)
  pw=$(echo "$porome" | cut -d' ' -f2 | median)
  local bbr bgz pbr pgz
  bbr=$(page_bytes "$ROOT/build-web-bare/page" br)
  bgz=$(page_bytes "$ROOT/build-web-bare/page" gz)
  pbr=$(page_bytes "$DIST" br)
  pgz=$(page_bytes "$DIST" gz)
  log "ポロメ against the bare Qt window, both built for WebAssembly the same way"
  printf '| %-34s | %12s | %12s | %6s |\n' "" "bare window" "ポロメ" "ratio"
  printf '|%s|%s|%s|%s|\n' "------------------------------------" "--------------" "--------------" "--------"
  row() { printf '| %-34s | %12s | %12s | %6s |\n' "$1" "$2" "$3" "$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.2f", b / a }')"; }
  row "bytes over the line, brotli" "$bbr" "$pbr"
  row "bytes over the line, gzip" "$bgz" "$pgz"
  row "porome.wasm, uncompressed" "$(stat -c %s "$ROOT/build-web-bare/page/porome.wasm")" "$(stat -c %s "$DIST/porome.wasm")"
  row "first frame, cold cache (ms)" "$bc" "$pc"
  row "first frame, warm cache (ms)" "$bw" "$pw"
  echo "Budget: ポロメ at most 5000000 bytes with brotli, at most 1.3 times the bare window's bytes and time."
  local nbr ngz nwasm
  nbr=$(page_bytes "$ROOT/build-web-norecord/page" br)
  ngz=$(page_bytes "$ROOT/build-web-norecord/page" gz)
  nwasm=$(stat -c %s "$ROOT/build-web-norecord/page/porome.wasm")
  log "What the learning record adds to the page (ポロメ against ポロメ built without it)"
  printf '| %-34s | %12s | %12s | %8s |\n' "" "no record" "ポロメ" "added"
  printf '|%s|%s|%s|%s|\n' "------------------------------------" "--------------" "--------------" "----------"
  added() { printf '| %-34s | %12s | %12s | %8s |\n' "$1" "$2" "$3" "$(($3 - $2))"; }
  added "bytes over the line, brotli" "$nbr" "$pbr"
  added "bytes over the line, gzip" "$ngz" "$pgz"
  added "porome.wasm, uncompressed" "$nwasm" "$(stat -c %s "$DIST/porome.wasm")"
  added "record.js, uncompressed" 0 "$(stat -c %s "$DIST/record.js")"
  local over=0
  [ "$pbr" -le 5000000 ] || { echo "over the budget: $pbr bytes with brotli" >&2; over=1; }
  awk -v a="$bbr" -v b="$pbr" 'BEGIN { exit !(b <= 1.3 * a) }' || { echo "over the budget: more than 1.3 times the bare window's bytes" >&2; over=1; }
  return "$over"
}

# --- The browser check ----------------------------------------------------------------------

# Reads where the page stands and how the form is scaled on it, from what the page reported:
# sets WEB_S (the scale) and WEB_OX, WEB_OY (the form's top-left corner on the screen).
web_place() {
  local page w h x y
  page=$(wait_report "$1" page) || { echo "the page did not say where it is" >&2; return 1; }
  IFS=, read -r w h x y <<<"$page"
  read -r WEB_S WEB_OX WEB_OY < <(awk -v w="$w" -v h="$h" -v x="$x" -v y="$y" 'BEGIN {
    f = w / 1017; if (h / 749 < f) f = h / 749
    if (f >= 1) { s = 1; ox = int((w - 1017) / 2); oy = int((h - 749) / 2) }
    else { s = int(f * 1000) / 1000; if (s < 0.25) s = 0.25; ox = (w - 1017 * s) / 2; oy = (h - 749 * s) / 2 }
    printf "%s %d %d\n", s, x + ox, y + oy }')
  PUPIL_SCALE=$WEB_S
  echo "  page ${w}x${h} at $x,$y: the form at scale $WEB_S, its corner at $WEB_OX,$WEB_OY"
}

# Screen pixels of form pixels (the middle of the form pixel).
web_x() { awk -v v="$1" -v s="$WEB_S" -v o="$WEB_OX" 'BEGIN { printf "%d", o + (v + 0.5) * s }'; }
web_y() { awk -v v="$1" -v s="$WEB_S" -v o="$WEB_OY" 'BEGIN { printf "%d", o + (v + 0.5) * s }'; }

# The pupil's helpers, pressing the page on the screen where the form's pixels are drawn.
web_pupil_helpers() {
  pupil_press() {
    xdotool mousemove "$(web_x "$1")" "$(web_y "$2")" click 1
  }
  pupil_screen_x() { web_x "$1"; }
  pupil_screen_y() { web_y "$1"; }
  PUPIL_MARK_RED_MIN=12
  PUPIL_MARK_MIDDLE_MIN=3
}

# The page's reports of the checks of slot 1 (index.html?measure): the level, the verdict,
# items 1 to 5 of the problem's record, and the middles of Text1, Text2, Text3 and けす.
WEB_REPORT=
web_checks() { grep -c '^check=' "$WEB_REPORT" || true; }

# The same with a key (xdotool's name of it) in place of the press: web_check_key KEY NAME EXPECTED
web_check_key() {
  local before
  before=$(web_checks)
  pupil_check_key 1 "$1" "$2"
  web_checked "$before" "$2" "$3"
}

# Takes the page's report of the check that followed BEFORE reports: web_checked BEFORE NAME EXPECTED
web_checked() {
  local before=$1 name=$2 expected=$3 i
  for i in $(seq 1 50); do
    [ "$(web_checks)" -gt "$before" ] && break
    sleep 0.1
  done
  IFS=, read -r -a WEB_CHECK < <(grep '^check=' "$WEB_REPORT" | tail -1 | cut -d= -f2)
  echo "  $name: ${PUPIL_MARK:-no mark seen} on the screen, ${WEB_CHECK[1]:-nothing} reported (record ${WEB_CHECK[*]:2:5})"
  [ "$PUPIL_MARK" = "$expected" ] || pupil_fail "$name: $expected expected, ${PUPIL_MARK:-no mark} seen" || return 1
  case "$PUPIL_MARK/${WEB_CHECK[1]:-}" in
    ○/right | ×/wrong) ;;
    *) pupil_fail "$name: the screen shows ${PUPIL_MARK:-no mark}, the program judged ${WEB_CHECK[1]:-nothing}" || return 1 ;;
  esac
}

# The right answer of level 1 from its record: the texts of Text1, Text2 and Text3, "-" for
# an empty box: the denominator below, the numerator above.
web_right_boxes() { echo "$2 $3 -"; }

# A level answered in boxes, as a pupil who reads the problem: first 99 in the first box,
# wrong for every problem, then the right answer, read from what the page reported of the
# wrong one: web_drill_boxes LEVEL CHECK_X CHECK_Y (the check button, form pixels)

# Level 1 with the keyboard, as at a laptop: the slot opened with a press, then only keys.
# 99 and Enter is wrong; the right answer, read from the page's report of that check, is
# typed with Tab and Shift+Tab between the boxes and Enter. Each mark must come with the
# page's tone, heard in the PulseAudio sink that Chromium plays into.
web_drill_keys() {
  local asked boxes
  PUPIL_SEEN_RIGHT= PUPIL_SEEN_WRONG=
  pupil_start_level 1
  sound_record "$ROOT/build-web-check/keys-wrong.raw" || return 1
  sleep 1.5
  xdotool type --delay 80 99
  pupil_shot keys-typed
  asked=$(sound_now)
  web_check_key Return keys × || return 1
  sound_stop
  sound_with_mark "99 + Enter" "$asked" || return 1
  read -r -a boxes < <(web_right_boxes 1 "${WEB_CHECK[@]:2:5}")
  echo "  keys: the right answer ${boxes[1]}/${boxes[0]}: Tab, numerator, Shift+Tab, denominator, Enter"
  xdotool key Tab
  xdotool type --delay 80 "${boxes[1]}"
  xdotool key shift+Tab
  xdotool type --delay 80 "${boxes[0]}"
  sleep 0.5 # the browser draws the last key's digit
  pupil_shot keys-answered
  sound_record "$ROOT/build-web-check/keys-right.raw" || return 1
  sleep 1.5
  asked=$(sound_now)
  web_check_key Return keys ○ || return 1
  sound_stop
  sound_with_mark "${boxes[1]}/${boxes[0]} + Enter" "$asked" || return 1
  # The browser hands keys over at once, also in the pause after a mark: the page holds
  # them, and hands them on once the mark has gone, each once.
  echo "  keys: 99 and Enter, and while the × shows, 88 and Enter"
  local before typed onsets
  xdotool type --delay 80 99
  sound_record "$ROOT/build-web-check/keys-pause.raw" || return 1
  sleep 1
  before=$(web_checks)
  xdotool key Return
  pupil_watch_mark 1 keys
  typed=$(sound_now)
  xdotool type --delay 40 88
  xdotool key Return
  sleep 4.5
  sound_stop
  mapfile -t onsets < <(sound_onsets)
  echo "  keys: ${PUPIL_MARK:-no mark} seen, 88 and Enter typed at $typed s; tones at ${onsets[*]} s;" \
    "$(($(web_checks) - before)) checks reported, the last of them: $(grep '^check=' "$WEB_REPORT" | tail -1 | cut -d, -f2)"
  [ "$PUPIL_MARK" = × ] || pupil_fail "keys: × expected, ${PUPIL_MARK:-no mark} seen" || return 1
  [ "$(($(web_checks) - before))" -eq 2 ] || pupil_fail "keys: two checks expected" || return 1
  [ "${#onsets[@]}" -eq 2 ] || pupil_fail "keys: ${#onsets[@]} tones, 2 expected" || return 1
  awk -v a="${onsets[0]}" -v b="${onsets[1]}" -v t="$typed" 'BEGIN { exit !(b - a >= 0.95 && b - a <= 2.3 && b > t + 0.3) }' \
    || pupil_fail "keys: the check of the keys typed in the pause did not wait for the pause" || return 1
  # A press on ﾁｪｯｸ in the pause waits as well: after it the boxes are empty, so it only asks.
  echo "  keys: 77 and Enter, and while the × shows, a press on ﾁｪｯｸ"
  xdotool type --delay 80 77
  before=$(web_checks)
  xdotool key Return
  pupil_watch_mark 1 keys
  pupil_press $((568 + 50 + 8)) $((232 + 20 + 8))
  sleep 3.5
  pupil_shot keys-press-in-pause
  echo "  keys: ${PUPIL_MARK:-no mark} seen; $(($(web_checks) - before)) check reported"
  [ "$(($(web_checks) - before))" -eq 1 ] || pupil_fail "keys: the press in the pause was judged in it" || return 1
  xdotool key Return # the message box's OK
  sleep 1
  pupil_shot keys-score
  pupil_panel_click 644 30 # 終わる
  pupil_dialog keys-finish yes
}

# The keyboard and the mark's tone, the one part of the check still played with xdotool:
# it types as a keyboard does (X key events, not the DevTools protocol's) and listens to the
# PulseAudio sink Chromium plays into. Level 1 in Chromium on its own profile.
keys_chromium() {
  local out=$1 report=$ROOT/build-web-check/report-keys.txt profile=$ROOT/build-web-check/chromium-keys
  PUPIL_OUT=$out
  PUPIL_STEP=0
  mkdir -p "$out"
  rm -f "$out"/*.png
  rm -rf "$profile"
  serve "$DIST" 8614 "$report"
  WEB_REPORT=$report
  start_chromium "$profile" "http://127.0.0.1:8614/index.html?measure"
  wait_report "$report" first >/dev/null || pupil_fail "Chromium showed no frame of the program" || return 1
  web_place "$report"
  sleep 2
  PUPIL_WINDOW=$(pupil_window_named "ポロメ")
  pupil_shot menu
  web_drill_keys || return 1
  stop_chromium "$profile"
  stop_pid "${SERVER_PIDS[-1]}"
}


# The desktop program, for the report the check makes of a saved record file.
build_linux_program() {
  ensure_packages "${POROME_BUILD_PACKAGES[@]}"
  log "Building the desktop program in build-web-check/linux/ (for porome --report)"
  cmake -S "$ROOT" -B "$ROOT/build-web-check/linux" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$ROOT/build-web-check/linux" -j"$JOBS" --target porome
}

# The page played in Chromium and WebKitGTK on a virtual screen by tools/web-check.py, its
# record against the real store (scripts/lrs.sh) behind the fault proxy; screenshots of
# every step in shots/web/. Where the store cannot be installed the record's steps print
# NOT RUN and the check counts as nothing passed (exit 77).
run_check() {
  ensure_packages "${CHECK_PACKAGES[@]}" curl python3-pil
  build_linux_program
  mkdir -p "$ROOT/build-web-check"
  . scripts/lrs.sh
  local store=yes rc=0 status=0
  lrs_install || status=$?
  if [ "$status" -eq "$LRS_NOT_AVAILABLE" ]; then
    store=
  elif [ "$status" -ne 0 ]; then
    return "$status"
  fi
  start_xvfb 1366x768
  # Chromium plays into a sound server of the check's own, whose sink the check records.
  start_pulse "$ROOT/build-web-check/pulse"
  trap 'sound_stop; stop_pid "${BROWSER_PID:-}"; for p in "${SERVER_PIDS[@]}"; do stop_pid "$p"; done; lrs_stop; stop_pulse; stop_pid "${XVFB_PID:-}"' EXIT
  local args=(--dist "$DIST" --out "$ROOT/shots/web" --porome "$ROOT/build-web-check/linux/porome")
  if [ -n "$store" ]; then
    local store_port proxy_port
    store_port=$(lrs_free_port)
    proxy_port=$(lrs_free_port)
    lrs_start "$store_port" test
    lrs_proxy_start "$proxy_port" "$store_port"
    args+=(--store "http://127.0.0.1:$store_port/xAPI/" --proxy "http://127.0.0.1:$proxy_port/xAPI/"
           --proxy-control "$LRS_PROXY_CONTROL")
  else
    args+=(--only plays,tap,offline)
  fi
  log "The keyboard and the mark's tone in Chromium on $DISPLAY"
  web_pupil_helpers
  keys_chromium "$ROOT/shots/web/keys"
  log "The page in Chromium and WebKitGTK on $DISPLAY"
  /usr/bin/python3 tools/web-check.py "${args[@]}" || rc=$?
  echo "Screenshots: $ROOT/shots/web"
  [ "$rc" -eq 0 ] || return "$rc"
  if [ -z "$store" ]; then
    echo "The record's steps in the browser: NOT RUN (the store cannot be installed here)"
    return 77
  fi
  echo "The web check passed."
}

MODE=${1:-}
case "$MODE" in
  --qt)
    ensure_packages "${WEB_PACKAGES[@]}"
    ensure_qt
    ;;
  "" | --bench | --check)
    ensure_packages "${WEB_PACKAGES[@]}"
    ensure_qt
    build_program
    make_dist
    if [ "$MODE" = --bench ]; then
      run_bench
    elif [ "$MODE" = --check ]; then
      run_check
    fi
    ;;
  *)
    echo "usage: bash scripts/web.sh [--qt | --bench | --check]" >&2
    exit 2
    ;;
esac
