#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds ポロメ for 64-bit Windows on this Debian machine: one static porome.exe
# and the zip handed to teachers, dist/porome-<version>-windows-x64.zip.
#
#   bash scripts/windows.sh            build Qt once (cached), porome.exe and the zip
#   bash scripts/windows.sh --qt       only build (or reuse) the static Qt for Windows
#   bash scripts/windows.sh --check    also run porome.exe under Wine on a virtual
#                                      screen, play it with xdotool and keep a
#                                      screenshot of every step in shots/wine/
#
# Qt 6.4.2 (qtbase and qtsvg) is built once as static libraries with MinGW-w64 into
# $POROME_QT_CACHE (default ~/.cache/porome/qt-6.4.2-mingw); later runs reuse it.
# The first build takes a good half hour on two cores.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
. scripts/packages.sh
CACHE=${POROME_CACHE:-$HOME/.cache/porome}
. scripts/qt-source.sh

QT_PREFIX=${POROME_QT_CACHE:-$CACHE/qt-$QT_VERSION-mingw}
QT_WORK=$CACHE/qt-$QT_VERSION-mingw-build
JOBS=${POROME_JOBS:-2}
BUILD_DIR=$ROOT/build-windows
VERSION=$(sed -n 's/^project(porome VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
ZIP=$ROOT/dist/porome-$VERSION-windows-x64.zip

WINDOWS_PACKAGES=(
  cmake ninja-build dpkg-dev xz-utils
  g++-mingw-w64-x86-64-posix
  qt6-base-dev qt6-svg-dev qt6-base-dev-tools libgl-dev
  qt6-translations-l10n fonts-ipafont-gothic fonts-ipafont-mincho librsvg2-bin python3
  imagemagick zip unzip file
)
CHECK_PACKAGES=(wine64 xvfb xauth xdotool imagemagick)

log() { printf '\n== %s\n' "$*"; }

seconds_to_text() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# --- Static Qt for Windows -------------------------------------------------------

write_toolchain() {
  mkdir -p "$QT_WORK"
  cat >"$QT_WORK/mingw-w64-x86_64.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

build_qtbase() {
  local b=$QT_WORK/qtbase
  cmake -G Ninja -S "$CACHE/src/qtbase" -B "$b" \
    -DCMAKE_TOOLCHAIN_FILE="$QT_WORK/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$QT_PREFIX" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DINPUT_opengl=dynamic -DFEATURE_direct2d=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=ON \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
  nice -n 5 cmake --build "$b" -j"$JOBS"
  cmake --install "$b"
}

build_qtsvg() {
  local b=$QT_WORK/qtsvg
  # Qt's own qt-cmake finds the Qt Base just installed and the host tools.
  "$QT_PREFIX/bin/qt-cmake" -G Ninja -S "$CACHE/src/qtsvg" -B "$b" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$QT_PREFIX" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  nice -n 5 cmake --build "$b" -j"$JOBS"
  cmake --install "$b"
}

# Qt Base 6.4.2 leaves its DirectWrite font database out of Qt Gui when Direct2D is off,
# yet its Windows platform plugin still offers it (as the fontengine=directwrite option),
# so porome.exe would not link. The plugin's one file that offers it is compiled again as
# it was, but with DirectWrite 3 off, and replaces its first build in libqwindows.a.
fix_windows_plugin() {
  local b=$QT_WORK/qtbase lib=$QT_PREFIX/plugins/platforms/libqwindows.a
  local obj=src/plugins/platforms/windows/CMakeFiles/QWindowsIntegrationPlugin.dir/qwindowsintegration.cpp.obj
  local over=$QT_WORK/no-directwrite3
  if [ -f "$QT_PREFIX/.porome-windows-plugin-fixed" ]; then
    return 0
  fi
  log "Building the Windows platform plugin's qwindowsintegration.cpp without DirectWrite 3"
  rm -rf "$over"
  mkdir -p "$over/QtGui/private" "$over/private"
  sed 's/^#define QT_FEATURE_directwrite3 1$/#define QT_FEATURE_directwrite3 -1/' \
    "$QT_PREFIX/include/QtGui/$QT_VERSION/QtGui/private/qtgui-config_p.h" >"$over/qtgui-config_p.h"
  grep -qx '#define QT_FEATURE_directwrite3 -1' "$over/qtgui-config_p.h"
  cp "$over/qtgui-config_p.h" "$over/QtGui/private/"
  cp "$over/qtgui-config_p.h" "$over/private/"
  local cmd
  cmd=$(cd "$b" && ninja -t commands "$obj" | tail -1)
  # The precompiled header holds the old setting: leave it out; look in $over first.
  cmd=$(sed -E 's# -include [^ ]*cmake_pch\.hxx##' <<<"$cmd")
  cmd=${cmd/ / -I$over }
  cmd=${cmd//$obj/$over/qwindowsintegration.cpp.obj}
  (cd "$b" && eval "$cmd")
  if x86_64-w64-mingw32-nm -C "$over/qwindowsintegration.cpp.obj" | grep -q QWindowsDirectWriteFontDatabase; then
    echo "qwindowsintegration.cpp still makes a DirectWrite font database" >&2
    return 1
  fi
  x86_64-w64-mingw32-ar rs "$lib" "$over/qwindowsintegration.cpp.obj"
  touch "$QT_PREFIX/.porome-windows-plugin-fixed"
}

# Builds the static Qt unless the cache already holds it. Each half leaves a stamp
# file only when it is installed, so an interrupted build starts that half again.
ensure_qt() {
  if [ -f "$QT_PREFIX/.porome-qtbase-done" ] && [ -f "$QT_PREFIX/.porome-qtsvg-done" ]; then
    fix_windows_plugin
    echo "Reusing the static Qt $QT_VERSION for Windows in $QT_PREFIX ($(cat "$QT_PREFIX/.porome-qtbase-done"); $(cat "$QT_PREFIX/.porome-qtsvg-done"))."
    return 0
  fi
  local start
  write_toolchain
  if [ ! -f "$QT_PREFIX/.porome-qtbase-done" ]; then
    log "Building static Qt Base $QT_VERSION for Windows (a good half hour or more on two cores)"
    start=$SECONDS
    fetch_qtbase
    build_qtbase
    fix_windows_plugin
    echo "qtbase built in $(seconds_to_text $((SECONDS - start))) with $JOBS jobs" >"$QT_PREFIX/.porome-qtbase-done"
  fi
  log "Building static Qt SVG $QT_VERSION for Windows"
  start=$SECONDS
  fetch_qtsvg
  build_qtsvg
  echo "qtsvg built in $(seconds_to_text $((SECONDS - start))) with $JOBS jobs" >"$QT_PREFIX/.porome-qtsvg-done"
  cat "$QT_PREFIX/.porome-qtbase-done" "$QT_PREFIX/.porome-qtsvg-done"
}

# --- porome.exe and the zip -----------------------------------------------------------

build_exe() {
  log "Building porome.exe in build-windows/"
  "$QT_PREFIX/bin/qt-cmake" -G Ninja -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$BUILD_DIR" -j"$JOBS" --target porome
}

# Notepad reads UTF-8 with a byte-order mark and Windows line ends everywhere.
to_windows_text() {
  printf '\xef\xbb\xbf'
  sed -e "s/@VERSION@/$VERSION/g" -e 's/$/\r/' "$1"
}

# Lists the third-party parts built into the static Qt, from Qt's attribution files,
# and copies their licence files: write_qt_third_party DIR
write_qt_third_party() {
  python3 - "$1" "$CACHE/src/qtbase/src" "$CACHE/src/qtsvg/src" <<'PY'
import json, os, re, shutil, sys
out = sys.argv[1]
# Parts that the Windows build of Qt Core, Gui, Widgets and Svg does not contain.
unused = re.compile(r"/(xcb|wasm|android|gradle|cocoa|dbus|network|testlib|libjpeg|libpsl|"
                    r"pixman|VulkanMemoryAllocator|vulkan|forkfd)(/|$)")
lines = ["Third-party parts of Qt 6.4.2 in porome.exe", "=" * 44, ""]
for root in sys.argv[2:]:
    for folder, _, files in sorted(os.walk(root)):
        if "qt_attribution.json" not in files or unused.search(folder):
            continue
        with open(os.path.join(folder, "qt_attribution.json"), encoding="utf-8") as f:
            entries = json.loads(f.read(), strict=False)
        for e in entries if isinstance(entries, list) else [entries]:
            lines.append(f"{e.get('Name', e.get('Id'))} {e.get('Version', '')}".rstrip())
            lines.append(f"  licence: {e.get('License', '')} ({e.get('LicenseId', '')})")
            for c in str(e.get("Copyright", "")).splitlines():
                lines.append(f"  {c.strip()}")
            lic = e.get("LicenseFile")
            if lic and os.path.isfile(os.path.join(folder, lic)):
                name = f"{e.get('Id', os.path.basename(folder))}-{os.path.basename(lic)}"
                if not name.lower().endswith(".txt"):
                    name += ".txt"
                shutil.copyfile(os.path.join(folder, lic), os.path.join(out, name))
                lines.append(f"  licence text: {name}")
            lines.append("")
with open(os.path.join(out, "THIRD-PARTY.txt"), "w", encoding="utf-8") as f:
    f.write("\n".join(lines))
PY
}

make_zip() {
  log "Making $(basename "$ZIP")"
  local top=porome-$VERSION-windows-x64
  local stage=$BUILD_DIR/zip/$top
  rm -rf "$BUILD_DIR/zip"
  mkdir -p "$stage/licenses/qt" "$stage/licenses/ipafont" "$ROOT/dist" "$BUILD_DIR/zip/third-party"
  x86_64-w64-mingw32-strip -o "$stage/porome.exe" "$BUILD_DIR/porome.exe"
  to_windows_text windows/README.txt >"$stage/README.txt"
  to_windows_text LICENSE >"$stage/LICENSE.txt"
  to_windows_text windows/qt-notice.txt >"$stage/licenses/qt/README.txt"
  local f
  for f in LGPL-3.0-only GPL-3.0-only GPL-2.0-only BSD-3-Clause MIT CC0-1.0 BSL-1.0 Apache-2.0; do
    to_windows_text "$CACHE/src/qtbase/LICENSES/$f.txt" >"$stage/licenses/qt/$f.txt"
  done
  write_qt_third_party "$BUILD_DIR/zip/third-party"
  for f in "$BUILD_DIR"/zip/third-party/*; do
    to_windows_text "$f" >"$stage/licenses/qt/$(basename "$f")"
  done
  to_windows_text /usr/share/doc/fonts-ipafont-gothic/copyright >"$stage/licenses/ipafont/IPA_Font_License.txt"
  rm -f "$ZIP"
  (cd "$BUILD_DIR/zip" && TZ=UTC zip -X -r -q "$ZIP" "$top")
  echo "$ZIP"
  unzip -l "$ZIP"
  file "$stage/porome.exe"
  ls -l "$BUILD_DIR/porome.exe" "$stage/porome.exe" "$ZIP"
  echo "DLLs porome.exe imports:"
  x86_64-w64-mingw32-objdump -p "$stage/porome.exe" | sed -n 's/^\tDLL Name: /  /p' | sort -u
}

# --- Under Wine ------------------------------------------------------------------------

# Starts Xvfb on a free display and sets DISPLAY; XVFB_PID is its process.
start_xvfb() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" &
  XVFB_PID=$!
  local n
  read -r n <"$fifo"
  rm -f "$fifo"
  export DISPLAY=:$n
}

stop_pid() {
  if [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; then
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
  fi
}

run_check() {
  ensure_packages "${CHECK_PACKAGES[@]}"
  . scripts/pupil.sh
  local wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
  export WINEPREFIX=$CACHE/wine64
  export WINEDEBUG=-all
  # No Mono or Gecko: porome.exe needs neither, and their installers would ask.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local shots=$ROOT/shots
  start_xvfb
  trap 'stop_pid "${APP_PID:-}"; stop_pid "${XVFB_PID:-}"' EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "Preparing a Wine prefix in $WINEPREFIX"
    "$wine" wineboot --init
    "$(dirname "$wine")/wineserver64" --wait 2>/dev/null || wineserver --wait 2>/dev/null || true
  fi

  log "porome.exe under Wine on $DISPLAY"
  local exe=$BUILD_DIR/zip/porome-$VERSION-windows-x64/porome.exe
  "$wine" "$exe" &
  APP_PID=$!
  pupil_play "$shots/wine"
  wait "$APP_PID" || true
  APP_PID=
  "$(dirname "$wine")/wineserver64" --wait 2>/dev/null || wineserver --wait 2>/dev/null || true

  log "The Linux build on $DISPLAY, for comparison"
  ensure_packages "${POROME_BUILD_PACKAGES[@]}"
  configure_in build >/dev/null
  cmake --build build -j"$JOBS" --target porome
  LANG=ja_JP.UTF-8 build/porome &
  APP_PID=$!
  pupil_play "$shots/linux"
  wait "$APP_PID" || true
  APP_PID=
  echo "Screenshots: $shots/wine and $shots/linux"
}

MODE=${1:-}
case "$MODE" in
  --qt)
    ensure_packages "${WINDOWS_PACKAGES[@]}"
    ensure_qt
    ;;
  "" | --check)
    ensure_packages "${WINDOWS_PACKAGES[@]}"
    ensure_qt
    build_exe
    make_zip
    if [ "$MODE" = --check ]; then
      run_check
    fi
    ;;
  *)
    echo "usage: bash scripts/windows.sh [--qt | --check]" >&2
    exit 2
    ;;
esac
