# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by windows.sh and web.sh (sourced, not run on its own): the sources of the
# static Qt both build, and the steps of that build they share. Expects CACHE to be set,
# and QT_PREFIX, QT_WORK and JOBS for the build.
#
# Qt Base comes from Debian's own source package, fetched with `apt-get source` through
# a private apt configuration: the deb-src twins of the machine's own configured apt
# sources (so a mirror or proxy set up for apt is used as it is), while the system's
# apt configuration stays untouched. Qt SVG comes from the archive kept in the
# repository, third_party/ (its README says where it comes from), checked against its
# SHA-256 before it is unpacked.

QT_VERSION=6.4.2
QTBASE_DEB_VERSION=6.4.2+dfsg-10
QTBASE_ORIG=qt6-base_6.4.2+dfsg.orig.tar.xz
QTBASE_ORIG_SHA256=4f14b89a9463a540fd84a6718b8519a2297119b454ef547721015a9e9019ae9e
QTSVG_ARCHIVE=$ROOT/third_party/qtsvg-everywhere-src-6.4.2.tar.xz
QTSVG_SHA256=b7f5c33044bc14926e9d7f3de46591e84ea943bb937592a5258fdfbd7f392cc6

# Writes the deb-src twins of the machine's enabled apt sources into a private
# configuration folder: write_deb_src_sources DIR. One-line sources (sources.list and
# sources.list.d/*.list) and deb822 sources (sources.list.d/*.sources) are both read;
# files apt itself ignores (other endings) are left out.
write_deb_src_sources() {
  local dir=$1 f etc
  etc=$(apt-config shell E Dir::Etc/d | sed -n "s/^E='\(.*\)'$/\1/p")
  etc=${etc:-/etc/apt/}
  mkdir -p "$dir/sources.list.d"
  rm -f "$dir"/sources.list.d/* "$dir/sources.list"
  : >"$dir/sources.list"
  for f in "$etc/sources.list" "$etc"/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$f" >>"$dir/sources.list"
  done
  for f in "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Each stanza's Types line becomes deb-src; stanzas with Enabled: no stay off.
    sed -E 's/^Types:.*$/Types: deb-src/I' "$f" >"$dir/sources.list.d/$(basename "$f")"
  done
  if [ ! -s "$dir/sources.list" ] && ! ls "$dir"/sources.list.d/*.sources >/dev/null 2>&1; then
    echo "No apt sources found in $etc to take deb-src twins of" >&2
    return 1
  fi
}

# The apt-get options of the private configuration with those deb-src twins, one a line.
source_apt_options() {
  local apt=$CACHE/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  write_deb_src_sources "$apt/etc" || return 1
  printf '%s\n' -o "Dir::Etc::sourcelist=$apt/etc/sources.list" -o "Dir::Etc::sourceparts=$apt/etc/sources.list.d" \
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=$(id -un)"
}

# Unpacks Debian's qt6-base source into $CACHE/src/qtbase, unless it is there.
fetch_qtbase() {
  local src=$CACHE/src opts
  if [ -d "$src/qtbase" ]; then
    return 0
  fi
  mkdir -p "$src"
  mapfile -t opts < <(source_apt_options)
  if [ ! -f "$src/$QTBASE_ORIG" ] || ! echo "$QTBASE_ORIG_SHA256  $src/$QTBASE_ORIG" | sha256sum -c --quiet; then
    apt-get "${opts[@]}" update -q
    (cd "$src" && apt-get "${opts[@]}" source --download-only "qt6-base=$QTBASE_DEB_VERSION")
  fi
  echo "$QTBASE_ORIG_SHA256  $src/$QTBASE_ORIG" | sha256sum -c
  rm -rf "$src/qtbase.tmp"
  (cd "$src" && dpkg-source --no-check -x "qt6-base_$QTBASE_DEB_VERSION.dsc" qtbase.tmp)
  mv "$src/qtbase.tmp" "$src/qtbase"
}

# Checks that the repository's Qt SVG archive is there and is the one its README names.
check_qtsvg_archive() {
  if [ ! -f "$QTSVG_ARCHIVE" ]; then
    echo "Qt SVG's source is missing: $QTSVG_ARCHIVE (third_party/README.md says what it is)" >&2
    return 1
  fi
  echo "$QTSVG_SHA256  $QTSVG_ARCHIVE" | sha256sum -c
}

# Unpacks the repository's Qt SVG archive into $CACHE/src/qtsvg, unless it is there.
fetch_qtsvg() {
  local src=$CACHE/src
  if [ -d "$src/qtsvg" ]; then
    return 0
  fi
  check_qtsvg_archive
  rm -rf "$src/qtsvg.tmp"
  mkdir -p "$src/qtsvg.tmp"
  tar -xf "$QTSVG_ARCHIVE" -C "$src/qtsvg.tmp" --strip-components=1
  mv "$src/qtsvg.tmp" "$src/qtsvg"
}

log() { printf '\n== %s\n' "$*"; }

seconds_to_text() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# Qt SVG, built with the qt-cmake of the Qt Base just installed (which knows the host
# tools and the target), into the same prefix.
build_qtsvg() {
  local b=$QT_WORK/qtsvg
  "$QT_PREFIX/bin/qt-cmake" -G Ninja -S "$CACHE/src/qtsvg" -B "$b" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$QT_PREFIX" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  nice -n 10 cmake --build "$b" -j"$JOBS"
  cmake --install "$b"
}

# Builds the static Qt for a target unless the cache already holds it, with the calling
# script's build_qtbase: ensure_static_qt TARGET HOW_LONG. Each half leaves a stamp file
# only when it is installed, so an interrupted build starts that half again.
ensure_static_qt() {
  local target=$1 base=$QT_PREFIX/.porome-qtbase-done svg=$QT_PREFIX/.porome-qtsvg-done start
  if [ -f "$base" ] && [ -f "$svg" ]; then
    echo "Reusing the static Qt $QT_VERSION for $target in $QT_PREFIX ($(cat "$base"); $(cat "$svg"))."
    return 0
  fi
  # Before the long half: a missing or changed Qt SVG archive stops the build at once.
  if [ ! -f "$svg" ] && [ ! -d "$CACHE/src/qtsvg" ]; then
    check_qtsvg_archive
  fi
  if [ ! -f "$base" ]; then
    log "Building static Qt Base $QT_VERSION for $target ($2)"
    start=$SECONDS
    fetch_qtbase
    build_qtbase
    echo "qtbase built in $(seconds_to_text $((SECONDS - start))) with $JOBS jobs" >"$base"
  fi
  log "Building static Qt SVG $QT_VERSION for $target"
  start=$SECONDS
  fetch_qtsvg
  build_qtsvg
  echo "qtsvg built in $(seconds_to_text $((SECONDS - start))) with $JOBS jobs" >"$svg"
  cat "$base" "$svg"
}
