#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package: installs what is missing, builds the program for release in
# build-package/ with Debian's compiler flags, makes porome_VERSION_ARCH.deb there with CPack,
# checks it (scripts/check-package.sh) and prints its path. Exits non-zero if a check fails.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/packages.sh

# dpkg-shlibdeps (dpkg-dev) and file find the libraries' packages; the rest check the result.
ensure_packages "${POROME_BUILD_PACKAGES[@]}" \
  dpkg-dev file lintian desktop-file-utils appstream man-db gzip

dir=build-package
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Debian's flags with all hardening (bind-now too). Debian's -O2 rather than CMake's -O3 for
# Release, no -g (the binary is stripped and no debug-symbol package is made) and no compiler
# banner in the binary.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
# CPack installs without building everything first: only what the package holds is built here,
# the tests are built by test.sh.
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) -fno-ident" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" -j"$(nproc)" --target porome porome-desktop-files
rm -f "$dir"/porome_*.deb
(cd "$dir" && cpack -G DEB)

debs=("$dir"/porome_*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package.sh: CPack made no single porome_*.deb in $dir" >&2
  exit 1
fi
deb=$(realpath "${debs[0]}")

status=0
bash scripts/check-package.sh "$deb" || status=1
echo
echo "$deb"
exit "$status"
