#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds ポロメ for 64-bit Windows on this Debian machine: one static porome.exe, the zip
# handed to teachers, dist/porome-<version>-windows-x64.zip, and the installer school IT
# deploys, dist/porome-<version>-x64.msi.
#
#   bash scripts/windows.sh            build Qt once (cached), porome.exe, the zip and the MSI
#   bash scripts/windows.sh --qt       only build (or reuse) the static Qt for Windows
#   bash scripts/windows.sh --check    also run porome.exe under Wine on a virtual
#                                      screen, play it with xdotool and keep a
#                                      screenshot of every step in shots/wine/; then
#                                      install, upgrade, run and remove the MSI under
#                                      Wine (shots/msi/)
#
# Qt 6.4.2 (qtbase and qtsvg) is built once as static libraries with MinGW-w64 into
# $POROME_QT_CACHE (default ~/.cache/porome/qt-6.4.2-mingw); later runs reuse it.
# The first build takes a good half hour on two cores.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
. scripts/packages.sh
. scripts/pupil.sh
# The report's workbook: Debian's libxlsxwriter source, built static into the Qt prefix.
XLSXWRITER_DEB_VERSION=1.1.4-2

CACHE=${POROME_CACHE:-$HOME/.cache/porome}
. scripts/qt-source.sh

# The folder's name changes with what the static Qt must hold: a Qt built for an earlier
# porome.exe (one without Qt Network) is never taken for this one.
QT_PREFIX=${POROME_QT_CACHE:-$CACHE/qt-$QT_VERSION-mingw-network}
QT_WORK=$CACHE/qt-$QT_VERSION-mingw-network-build
JOBS=${POROME_JOBS:-2}
BUILD_DIR=$ROOT/build-windows
VERSION=$(sed -n 's/^project(porome VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
ZIP=$ROOT/dist/porome-$VERSION-windows-x64.zip
MSI=$ROOT/dist/porome-$VERSION-x64.msi

WINDOWS_PACKAGES=(
  cmake ninja-build dpkg-dev xz-utils
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev pkg-config
  qt6-base-dev qt6-svg-dev qt6-base-dev-tools libgl-dev
  qt6-translations-l10n fonts-ipafont-gothic fonts-ipafont-mincho librsvg2-bin python3 python3-fonttools
  imagemagick zip unzip file wixl msitools
)
CHECK_PACKAGES=(wine64 xvfb xauth xdotool imagemagick)


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
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=ON \
    -DFEATURE_network=ON -DFEATURE_schannel=ON -DFEATURE_openssl=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
  nice -n 5 cmake --build "$b" -j"$JOBS"
  cmake --install "$b"
}

# Fetches Debian's libxlsxwriter source (its minizip and tmpfileplus are inside; zlib
# comes from libz-mingw-w64-dev).
fetch_xlsxwriter() {
  local src=$CACHE/src
  if [ -d "$src/libxlsxwriter" ]; then
    return 0
  fi
  mkdir -p "$src"
  local opts
  mapfile -t opts < <(source_apt_options)
  apt-get "${opts[@]}" update -q
  (cd "$src" && apt-get "${opts[@]}" source --download-only "libxlsxwriter=$XLSXWRITER_DEB_VERSION")
  rm -rf "$src/libxlsxwriter.tmp"
  (cd "$src" && dpkg-source --no-check -x "libxlsxwriter_$XLSXWRITER_DEB_VERSION.dsc" libxlsxwriter.tmp)
  mv "$src/libxlsxwriter.tmp" "$src/libxlsxwriter"
}

# A static libxlsxwriter in the Qt prefix, which Qt's toolchain file searches, with a
# pkg-config file of its own for porome's CMakeLists.txt.
build_xlsxwriter() {
  local b=$QT_WORK/libxlsxwriter
  cmake -G Ninja -S "$CACHE/src/libxlsxwriter" -B "$b" \
    -DCMAKE_TOOLCHAIN_FILE="$QT_WORK/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$QT_PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DUSE_SYSTEM_MINIZIP=OFF \
    -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include
  nice -n 5 cmake --build "$b" -j"$JOBS"
  cmake --install "$b"
  mkdir -p "$QT_PREFIX/lib/pkgconfig"
  cat >"$QT_PREFIX/lib/pkgconfig/xlsxwriter.pc" <<EOF
prefix=$QT_PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libxlsxwriter
Description: A C library for creating Excel XLSX files (static, for Windows)
Version: ${XLSXWRITER_DEB_VERSION%-*}
Cflags: -I\${includedir}
Libs: -L\${libdir} -lxlsxwriter -lz
EOF
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

# The static Qt for Windows, built once into the cache, its platform plugin mended.
ensure_qt() {
  write_toolchain
  ensure_static_qt Windows "a good half hour or more on two cores"
  fix_windows_plugin
}

# The static libxlsxwriter, once, next to Qt.
ensure_xlsxwriter() {
  if [ -f "$QT_PREFIX/.porome-xlsxwriter-done" ]; then
    return 0
  fi
  log "Building static libxlsxwriter $XLSXWRITER_DEB_VERSION for Windows"
  write_toolchain
  fetch_xlsxwriter
  build_xlsxwriter
  echo "libxlsxwriter $XLSXWRITER_DEB_VERSION" >"$QT_PREFIX/.porome-xlsxwriter-done"
}

# --- porome.exe and the zip -----------------------------------------------------------

build_exe() {
  log "Building porome.exe in build-windows/"
  # Only the Windows libxlsxwriter's pkg-config file, never the host's.
  PKG_CONFIG_LIBDIR="$QT_PREFIX/lib/pkgconfig" PKG_CONFIG_PATH='' \
    "$QT_PREFIX/bin/qt-cmake" -G Ninja -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
  grep -q '^XLSXWRITER_FOUND:INTERNAL=1' "$BUILD_DIR/CMakeCache.txt" \
    || { echo "windows.sh: the Windows libxlsxwriter was not found" >&2; exit 1; }
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
# Parts that the Windows build of Qt Core, Gui, Widgets, Network and Svg does not contain
# (Qt Network's own folder stays in: it holds the public suffix list, under the MPL 2.0).
unused = re.compile(r"/(xcb|wasm|android|gradle|cocoa|dbus|testlib|libjpeg|libpsl|"
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
  mkdir -p "$stage/licenses/qt" "$stage/licenses/ipafont" "$stage/licenses/libxlsxwriter" "$ROOT/dist" \
    "$BUILD_DIR/zip/third-party"
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
  to_windows_text assets/fonts-notice.txt >"$stage/licenses/ipafont/README.txt"
  to_windows_text "$BUILD_DIR/carried/fonts/characters.txt" >"$stage/licenses/ipafont/characters.txt"
  cp "$BUILD_DIR"/carried/fonts/porome-gothic.ttf "$BUILD_DIR"/carried/fonts/porome-pmincho.ttf "$stage/licenses/ipafont/"
  to_windows_text "$CACHE/src/libxlsxwriter/License.txt" >"$stage/licenses/libxlsxwriter/License.txt"
  to_windows_text /usr/share/doc/libz-mingw-w64-dev/copyright >"$stage/licenses/libxlsxwriter/zlib-copyright.txt"
  rm -f "$ZIP"
  (cd "$BUILD_DIR/zip" && TZ=UTC zip -X -r -q "$ZIP" "$top")
  echo "$ZIP"
  unzip -l "$ZIP"
  file "$stage/porome.exe"
  ls -l "$BUILD_DIR/porome.exe" "$stage/porome.exe" "$ZIP"
  echo "DLLs porome.exe imports:"
  x86_64-w64-mingw32-objdump -p "$stage/porome.exe" | sed -n 's/^\tDLL Name: /  /p' | sort -u
}

# --- The MSI ---------------------------------------------------------------------------

# Builds the installer from the zip's files: make_msi VERSION OUTPUT. The same files built
# as another version make an older or newer package for trying upgrades.
make_msi() {
  local version=$1 out=$2 stage=$BUILD_DIR/zip/porome-$VERSION-windows-x64 work=$BUILD_DIR/msi
  log "Making $(basename "$out")"
  rm -rf "$work"
  mkdir -p "$work" "$(dirname "$out")"
  # wixl takes the files' paths relative to the folder it runs in.
  ln -s "$stage" "$work/stage"
  cp "$BUILD_DIR/windows/porome.ico" windows/porome.wxs "$work/"
  (cd "$stage" && find licenses -type f | LC_ALL=C sort |
    wixl-heat -p licenses/ --directory-ref LICENSES --component-group Licenses --var var.Licenses --win64) \
    >"$work/licenses.wxs"
  (cd "$work" && wixl -a x64 -D Version="$version" -D Stage=stage -D Licenses=stage/licenses -D Win64=yes \
    -D Icon=porome.ico -o porome.msi porome.wxs licenses.wxs)
  # wixl leaves text outside ASCII out of the tables: the database becomes Japanese (code
  # page 932) and takes its Japanese names here. RECORDFOLDER must reach the installing
  # service from the command line of a managed install, so it is a secure property, as are
  # the store's settings.
  local secure='LRSENDPOINT;LRSKEY;LRSSECRET;LRSHOMEPAGE;EARLIERLRSENDPOINT;EARLIERLRSKEY;EARLIERLRSSECRET;EARLIERLRSHOMEPAGE'
  printf '\r\n\r\n932\t_ForceCodepage\r\n' >"$work/_ForceCodepage.idt"
  msibuild "$work/porome.msi" -i "$work/_ForceCodepage.idt"
  msibuild "$work/porome.msi" \
    -q "UPDATE Property SET Value='ポロメ' WHERE Property='ProductName'" \
    -q "UPDATE Property SET Value='ポロメの開発者 (Porome developers)' WHERE Property='Manufacturer'" \
    -q "UPDATE Property SET Value='分数のドリル / a fraction drill' WHERE Property='ARPCOMMENTS'" \
    -q "UPDATE Property SET Value='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;RECORDFOLDER;EARLIERRECORDFOLDER;$secure' WHERE Property='SecureCustomProperties'" \
    -q "UPDATE Shortcut SET Name='POROME|ポロメ', Description='分数のドリル' WHERE Shortcut='StartMenuEntry'" \
    -q "UPDATE Shortcut SET Name='POROMEKI|ポロメ　きろく', Description='学習のきろく（さいごの３０日）' WHERE Shortcut='StartMenuReport'" \
    -q "UPDATE Feature SET Title='ポロメ' WHERE Feature='Porome'"
  local got
  got=$(msiinfo export "$work/porome.msi" Property | sed -n 's/^ProductName\t//p' | tr -d '\r')
  [ "$got" = ポロメ ] || { echo "the MSI's product name is '$got', not ポロメ" >&2; return 1; }
  msiinfo export "$work/porome.msi" Shortcut | grep -q 'POROMEKI|ポロメ　きろく.*--teacher-report' ||
    { echo "the MSI has no Start menu entry ポロメ　きろく running --teacher-report" >&2; return 1; }
  # HKLM is read by every pupil's account: the MSI writes the key that only writes, never a
  # read key.
  ! msiinfo export "$work/porome.msi" Registry | grep -qi 'readKey\|readSecret' ||
    { echo "the MSI writes a read key into the settings of every account" >&2; return 1; }
  mv "$work/porome.msi" "$out"
  ls -l "$out"
}

# --- Under Wine ------------------------------------------------------------------------

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
  start_xvfb 1280x1024
  trap 'stop_pid "${APP_PID:-}"; stop_pid "${XVFB_PID:-}"' EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "Preparing a Wine prefix in $WINEPREFIX"
    "$wine" wineboot --init
    "$(dirname "$wine")/wineserver64" --wait 2>/dev/null || wineserver --wait 2>/dev/null || true
  fi

  # The drill sends its statements to the real store on 127.0.0.1 where one can be installed,
  # with the settings in the account's registry, as the MSI writes them for every account.
  . scripts/lrs.sh
  local store=
  if lrs_install; then
    local port
    port=$(lrs_free_port)
    lrs_start "$port" test
    store=http://127.0.0.1:$port/xAPI/
    trap 'stop_pid "${APP_PID:-}"; lrs_stop; stop_pid "${XVFB_PID:-}"' EXIT
  fi
  local key=HKCU\\Software\\porome\\porome\\lrs
  "$wine" reg delete "$key" /f >/dev/null 2>&1 || true
  if [ -n "$store" ]; then
    "$wine" reg add "$key" /v endpoint /t REG_SZ /d "$store" /f >/dev/null
    "$wine" reg add "$key" /v homePage /t REG_SZ /d https://school.example.jp /f >/dev/null
    # The report reads with the teacher's own key (this account's), which this store takes
    # as it takes any.
    "$wine" reg add "$key" /v readKey /t REG_SZ /d teacher /f >/dev/null
    "$wine" reg add "$key" /v readSecret /t REG_SZ /d teacher /f >/dev/null
  fi

  log "porome.exe under Wine on $DISPLAY"
  local exe=$BUILD_DIR/zip/porome-$VERSION-windows-x64/porome.exe
  "$wine" "$exe" &
  APP_PID=$!
  pupil_play "$shots/wine"
  wait "$APP_PID" || true
  APP_PID=
  "$(dirname "$wine")/wineserver64" --wait 2>/dev/null || wineserver --wait 2>/dev/null || true

  if [ -n "$store" ]; then
    log "porome.exe's statements in the store, and its report read back from there"
    lrs_statements "$store" "$BUILD_DIR/wine-statements.json"
    python3 - "$BUILD_DIR/wine-statements.json" "$VERSION" <<'PY'
import collections, json, sys
statements = json.load(open(sys.argv[1]))
statements = statements if isinstance(statements, list) else statements["statements"]
verbs = collections.Counter(s["verb"]["id"].rsplit("/", 1)[1] for s in statements)
platforms = {s["context"]["platform"] for s in statements}
print(f"  {len(statements)} statements: {dict(verbs)}; platform {platforms}")
if verbs["answered"] < 3 or verbs["attempted"] != verbs["completed"] or platforms != {f"ポロメ {sys.argv[2]} (Windows)"}:
    sys.exit("porome.exe did not send its drill to the store")
PY
    "$wine" "$exe" --report --lrs "$store" -o "$("$wine" winepath -w "$BUILD_DIR/wine-store-report.html" 2>/dev/null)" ||
      { echo "porome.exe could not make the report from the store" >&2; return 1; }
    "$wine" reg delete "$key" /f >/dev/null 2>&1 || true
  fi

  log "The report's workbook from porome.exe under Wine, read back with openpyxl"
  ensure_packages python3-openpyxl
  printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$wine" "$exe" >"$BUILD_DIR/porome-under-wine"
  chmod +x "$BUILD_DIR/porome-under-wine"
  /usr/bin/python3 tests/report_workbook.py "$BUILD_DIR/porome-under-wine"

  run_msi_check "$wine"

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

# Installs, upgrades, runs and removes the MSI under Wine, in a Wine prefix of its own, as
# school IT would with msiexec: run_msi_check WINE
run_msi_check() {
  local wine=$1 old=$BUILD_DIR/porome-1.0.0-x64.msi
  local shots=$ROOT/shots/msi failures=0
  export WINEPREFIX=$CACHE/wine64-msi
  local drive=$WINEPREFIX/drive_c dir="$WINEPREFIX/drive_c/Program Files/Porome"
  local folder='C:\porome-kiroku'
  msi_fail() { echo "MSI: FAIL: $*"; failures=$((failures + 1)); }
  msiexec_qn() { "$wine" msiexec "$@" /qn; "$(dirname "$wine")/wineserver64" --wait 2>/dev/null || true; }
  # Values of the machine's registry below a key, read from Wine's saved registry as lines
  # "key|name|value" (reg.exe's output loses the Japanese through the console's code page).
  hklm() {
    python3 - "$WINEPREFIX/system.reg" "$1" <<'PY'
import re, sys
path, below = sys.argv[1], sys.argv[2].lower()
text = lambda s: re.sub(r"\\x([0-9a-fA-F]{1,4})|\\(.)", lambda m: chr(int(m[1], 16)) if m[1] else m[2], s)
key = None
for line in open(path, encoding="utf-8", errors="replace"):
    m = re.match(r"^\[(.*)\] \d+", line)
    if m:
        key = text(m[1])
        continue
    m = re.match(r'^"((?:[^"\\]|\\.)*)"="((?:[^"\\]|\\.)*)"$', line.rstrip("\n"))
    if m and key and key.lower().startswith(below):
        print(f"{key}|{text(m[1])}|{text(m[2])}")
PY
  }
  entries() { hklm 'Software\Microsoft\Windows\CurrentVersion\Uninstall' | grep -c '|DisplayName|ポロメ$' || true; }
  folder_set() { hklm 'Software\porome\porome\record' | sed -n 's/^[^|]*|folder|//p'; }
  start_menu() { find "$drive/ProgramData/Microsoft/Windows/Start Menu" "$drive/users" -name "${1:-ポロメ}.lnk" 2>/dev/null; }

  log "The MSI under Wine, in a new prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX" "$shots"
  mkdir -p "$shots"
  "$wine" wineboot --init
  "$(dirname "$wine")/wineserver64" --wait 2>/dev/null || true
  make_msi 1.0.0 "$old"

  echo "Install 1.0.0 silently with RECORDFOLDER=$folder"
  msiexec_qn /i "$old" "RECORDFOLDER=$folder"
  [ "$(folder_set)" = "$folder" ] || msi_fail "the record folder setting is '$(folder_set)' after installing 1.0.0"
  echo "Upgrade to $VERSION silently, without RECORDFOLDER"
  msiexec_qn /i "$MSI"
  [ "$(entries)" = 1 ] || msi_fail "$(entries) entries in Apps and features after the upgrade, not 1"
  local entry
  entry=$(hklm 'Software\Microsoft\Windows\CurrentVersion\Uninstall' | grep '|DisplayName|ポロメ$' | cut -d'|' -f1)
  hklm "$entry" | grep -E '\|(DisplayName|DisplayVersion|Publisher|DisplayIcon|UninstallString)\|'
  hklm "$entry" | grep -q "|DisplayVersion|$VERSION\$" || msi_fail "Apps and features does not show version $VERSION"
  hklm "$entry" | grep -q '|Publisher|ポロメの開発者' || msi_fail "Apps and features shows no publisher"
  [ "$(folder_set)" = "$folder" ] || msi_fail "the upgrade lost the record folder: '$(folder_set)'"
  local f
  for f in porome.exe README.txt LICENSE.txt licenses/qt/LGPL-3.0-only.txt licenses/ipafont/IPA_Font_License.txt; do
    [ -f "$dir/$f" ] || msi_fail "not installed: Program Files\\Porome\\$f"
  done
  cmp -s "$dir/porome.exe" "$BUILD_DIR/zip/porome-$VERSION-windows-x64/porome.exe" || msi_fail "the installed porome.exe is not the zip's"
  [ -n "$(start_menu)" ] || msi_fail "no Start menu entry ポロメ"
  [ -n "$(start_menu 'ポロメ　きろく')" ] || msi_fail "no Start menu entry ポロメ　きろく"
  echo "Start menu: $(start_menu) $(start_menu 'ポロメ　きろく')"

  echo "The installed porome.exe, with the record folder from the machine-wide setting"
  . scripts/pupil.sh
  PUPIL_OUT=$shots
  PUPIL_STEP=0
  "$wine" 'C:\Program Files\Porome\porome.exe' &
  APP_PID=$!
  local kiroku=$drive/porome-kiroku rows=0
  if pupil_wait_window; then
    sleep 2
    pupil_shot menu
    pupil_start_level 14
    pupil_drill_kinds level14 || msi_fail "the drill"
    pupil_quit installed
  else
    msi_fail "the installed porome.exe showed no window"
  fi
  wait "$APP_PID" || true
  APP_PID=
  "$(dirname "$wine")/wineserver64" --wait 2>/dev/null || true
  rows=$(cat "$kiroku"/porome-*.csv 2>/dev/null | grep -c 'ボタン' || true)
  echo "Record files in $folder: $(ls "$kiroku" 2>/dev/null | tr '\n' ' '), $rows kind-button rows"
  [ "$rows" -gt 0 ] || msi_fail "the drill left no record in $folder"
  # The teacher's report of that folder, as a page, by the installed program.
  "$wine" 'C:\Program Files\Porome\porome.exe' --report "$folder" -o "$folder\\report.html" >/dev/null 2>&1 || true
  grep -q 'L04' "$kiroku/report.html" 2>/dev/null && echo "Report: $folder\\report.html names level L04" ||
    msi_fail "no report of $folder made by the installed porome.exe"

  echo "Uninstall silently"
  msiexec_qn /x "$MSI"
  [ ! -e "$dir" ] || msi_fail "Program Files\\Porome is still there: $(find "$dir" | head -5)"
  [ -z "$(start_menu)$(start_menu 'ポロメ　きろく')" ] || msi_fail "a Start menu entry is still there"
  [ "$(entries)" = 0 ] || msi_fail "Apps and features still lists ポロメ"
  [ -z "$(folder_set)" ] || msi_fail "the record folder setting is still there"
  msi_secret_rotation
  if [ "$failures" -ne 0 ]; then
    echo "MSI: $failures check(s) failed; screenshots in $shots"
    return 1
  fi
  echo "MSI: installed, upgraded from 1.0.0 in place, ran with the machine-wide record folder and removed;" \
    "the store's secret changed by an upgrade; screenshots in $shots"
}

# The store's secret changed as school IT would, inside run_msi_check (its helpers and
# prefix): 1.0.0 installed with a key and a secret, the upgrade to $VERSION given only a
# new secret must write it and keep the key and the endpoint; the uninstall takes them away.
# Nothing is run, so nothing is sent.
msi_secret_rotation() {
  local store='https://127.0.0.1:9/xapi/' school='https://school.example.jp/'
  lrs_value() { hklm 'Software\porome\porome\lrs' | sed -n "s/^[^|]*|$1|//p"; }
  echo "The store's secret: 1.0.0 with secret old-secret, then $VERSION with new-secret only"
  msiexec_qn /i "$old" "LRSENDPOINT=$store" LRSKEY=porome-key LRSSECRET=old-secret "LRSHOMEPAGE=$school"
  [ "$(lrs_value secret)" = old-secret ] || msi_fail "the secret is '$(lrs_value secret)' after installing 1.0.0"
  msiexec_qn /i "$MSI" LRSSECRET=new-secret
  [ "$(lrs_value secret)" = new-secret ] || msi_fail "the upgrade did not write the new secret: '$(lrs_value secret)'"
  [ "$(lrs_value key)" = porome-key ] || msi_fail "the upgrade lost the key: '$(lrs_value key)'"
  [ "$(lrs_value endpoint)" = "$store" ] || msi_fail "the upgrade lost the endpoint: '$(lrs_value endpoint)'"
  [ "$(entries)" = 1 ] || msi_fail "$(entries) entries in Apps and features after the secret's upgrade, not 1"
  msiexec_qn /x "$MSI"
  [ -z "$(lrs_value secret)$(lrs_value key)" ] || msi_fail "the store's key or secret is still there after the uninstall"
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
    ensure_xlsxwriter
    build_exe
    make_zip
    make_msi "$VERSION" "$MSI"
    if [ "$MODE" = --check ]; then
      run_check
    fi
    ;;
  *)
    echo "usage: bash scripts/windows.sh [--qt | --check]" >&2
    exit 2
    ;;
esac
