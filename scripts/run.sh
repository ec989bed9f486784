#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program in build/ and opens its window.
# Without a display the window opens on a virtual screen (Xvfb).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/packages.sh

packages=("${POROME_BUILD_PACKAGES[@]}")
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  packages+=(xvfb xauth)
fi
ensure_packages "${packages[@]}"

# Only the program itself: the tests are built by test.sh.
configure_in build
cmake --build build -j"$(nproc)" --target porome

if [ "$headless" -eq 1 ]; then
  echo "No display: opening the window on a virtual 1280x1024 screen."
  exec xvfb-run -a -s '-screen 0 1280x1024x24' build/porome
fi
exec build/porome
