#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian packages: installs what is missing, builds the programs for release in
# build-package/ with Debian's compiler flags, makes porome_VERSION_ARCH.deb and
# porome-server_VERSION_ARCH.deb there with CPack, checks them (scripts/check-package.sh) and
# prints their paths. Exits non-zero if a check fails.
# porome-server's package takes the page from dist/porome-VERSION-web/ where scripts/web.sh
# has made it, and is made without it (and says so) where not.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/packages.sh

# dpkg-shlibdeps (dpkg-dev) and file find the libraries' packages; the rest check the result.
# systemd gives systemd-analyze for the server's unit.
ensure_packages "${POROME_BUILD_PACKAGES[@]}" \
  dpkg-dev file lintian desktop-file-utils appstream man-db gzip systemd

dir=build-package
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Debian's flags with all hardening (bind-now too). Debian's -O2 rather than CMake's -O3 for
# Release, no -g (the binary is stripped and no debug-symbol package is made) and no compiler
# banner in the binary.
# --as-needed: porome-server takes nothing of Qt's widgets from the library it shares with
# the window program, and so does not depend on their packages.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g DEB_LDFLAGS_MAINT_APPEND=-Wl,--as-needed
version=$(sed -n 's/^project(porome VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
page=$PWD/dist/porome-$version-web
if [ -f "$page/index.html" ]; then
  echo "porome-server's package takes the page of $page"
else
  echo "porome-server's package is made without the page (no $page/index.html: scripts/web.sh makes it)"
  page=
fi
# CPack installs without building everything first: only what the package holds is built here,
# the tests are built by test.sh.
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_INSTALL_SYSCONFDIR=/etc -DPOROME_SERVER_PAGE="$page" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) -fno-ident" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" -j"$(nproc)" --target porome porome-server porome-desktop-files
rm -f "$dir"/porome_*.deb "$dir"/porome-server_*.deb
(cd "$dir" && cpack -G DEB)

debs=()
for name in porome porome-server; do
  found=("$dir/${name}_"*.deb)
  if [ "${#found[@]}" -ne 1 ] || [ ! -f "${found[0]}" ]; then
    echo "package.sh: CPack made no single ${name}_*.deb in $dir" >&2
    exit 1
  fi
  debs+=("$(realpath "${found[0]}")")
done

status=0
bash scripts/check-package.sh "${debs[@]}" || status=1
echo
printf '%s\n' "${debs[@]}"
exit "$status"
