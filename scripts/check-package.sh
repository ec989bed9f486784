#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks a porome .deb: its file list, control fields, desktop entry and metainfo, lintian,
# that apt can install it here, and that the program unpacked from it runs. Given the
# porome-server .deb too, checks that one as well: its files and their modes, the conffile,
# the systemd unit (its sandbox, systemd-analyze), the manual page, the unpacked server's
# answers to a missing or unwritten settings file and a short start, and, as root, a real
# install and purge. Then checks that the source files name their licence. Runs every check,
# prints what each found and exits non-zero if any failed.
#   bash scripts/check-package.sh path/to/porome_VERSION_ARCH.deb [path/to/porome-server_VERSION_ARCH.deb]
set -uo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -f "$1" ] || { [ $# -eq 2 ] && [ ! -f "$2" ]; }; then
  echo "usage: bash scripts/check-package.sh PACKAGE.deb [SERVER-PACKAGE.deb]" >&2
  exit 2
fi
deb=$(realpath "$1")
server_deb=
[ $# -eq 2 ] && server_deb=$(realpath "$2")
cd "$(dirname "${BASH_SOURCE[0]}")/.."

app_id=io.github.porome.Porome
failed=()
fail() {
  echo "FAILED: $*"
  failed+=("$*")
}
section() {
  echo
  echo "== $* =="
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root

section "control"
dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends | tee "$work/control"
version=$(dpkg-deb --field "$deb" Version)
depends=$(dpkg-deb --field "$deb" Depends)
for dep in fonts-ipafont-gothic fonts-ipafont-mincho libqt6widgets6 libqt6svgwidgets6 libc6; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep"
done
[ "$(dpkg-deb --field "$deb" Recommends)" = qt6-translations-l10n ] || fail "Recommends is not qt6-translations-l10n"
[ "$(dpkg-deb --field "$deb" Section)" = education ] || fail "Section is not education"
[ "$(basename "$deb")" = "porome_${version}_$(dpkg-deb --field "$deb" Architecture).deb" ] ||
  fail "file name $(basename "$deb") does not follow porome_VERSION_ARCH.deb"

section "files"
dpkg-deb --contents "$deb" | awk '{ print $1, $6 }' | tee "$work/contents"
expected=(
  ./usr/bin/porome
  ./usr/share/applications/$app_id.desktop
  ./usr/share/applications/$app_id.Report.desktop
  ./usr/share/metainfo/$app_id.metainfo.xml
  ./usr/share/icons/hicolor/scalable/apps/$app_id.svg
  ./usr/share/man/man1/porome.1.gz
  ./usr/share/doc/porome/copyright
  ./usr/share/doc/porome/changelog.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
for f in "${expected[@]}"; do
  grep -qxF -- "$f" <(awk '{ print $2 }' "$work/contents") || fail "package lacks $f"
done
grep -qE '^-rwxr-xr-x \./usr/bin/porome$' "$work/contents" || fail "/usr/bin/porome is not mode 755"

dpkg -x "$deb" "$root"
file "$root/usr/bin/porome" | grep -q ', stripped' || fail "/usr/bin/porome is not stripped"

section "desktop-file-validate"
for entry in "$app_id" "$app_id.Report"; do
  desktop-file-validate "$root/usr/share/applications/$entry.desktop" && echo "$entry.desktop: no errors or warnings" ||
    fail "desktop-file-validate $entry.desktop"
done

section "appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
# The metainfo, the desktop entry and the icon together, as a software centre finds them.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"

section "lintian"
lintian --fail-on error --display-info "$deb" $server_deb || fail "lintian reports errors"

section "apt-get install --simulate"
apt-get install --simulate "$deb" $server_deb >"$work/apt" 2>&1 || { cat "$work/apt"; fail "apt cannot install the packages"; }
grep -E '^(Inst|Conf) porome(-server)? |^E:' "$work/apt"

section "the unpacked program"
run() { # run NAME ARGS...: the unpacked program, its output in $work/NAME.out and .err
  local name=$1
  shift
  env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen "$@" >"$work/$name.out" 2>"$work/$name.err"
}
mkdir -p "$work/home" && mkdir -m 700 "$work/runtime"
run version "$root/usr/bin/porome" --version
echo "porome --version: exit $?, printed: $(cat "$work/version.out")"
[ "$(cat "$work/version.out")" = "porome $version" ] || fail "--version does not print 'porome $version'"

run unknown "$root/usr/bin/porome" --no-such-option
rc=$?
echo "porome --no-such-option: exit $rc, first line: $(head -n 1 "$work/unknown.err")"
[ "$rc" -ne 0 ] && grep -q '^Usage: porome' "$work/unknown.err" || fail "an unknown option does not fail with the usage"

# The window program never ends by itself: timeout's 124 means it was still running.
run window timeout 5 "$root/usr/bin/porome"
rc=$?
echo "porome (offscreen, 5 s): exit $rc"
cat "$work/window.out" "$work/window.err"
[ "$rc" -eq 124 ] || fail "the window program ended with status $rc within 5 s"
[ ! -s "$work/window.out" ] && [ ! -s "$work/window.err" ] || fail "the window program printed something"

[ -n "$server_deb" ] && . scripts/check-package-server.sh

section "licence lines in the sources"
bash scripts/check-spdx.sh || fail "source files without an SPDX-License-Identifier line"

echo
if [ "${#failed[@]}" -ne 0 ]; then
  echo "Package check FAILED (${#failed[@]}):"
  printf '  %s\n' "${failed[@]}"
  exit 1
fi
echo "Package check passed: $deb${server_deb:+ $server_deb}"
