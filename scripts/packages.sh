# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by run.sh and test.sh (sourced, not run on its own).
# Installs the Debian packages the program needs to build, test and show itself.

# Packages for building the program and its tests, with the Japanese fonts and
# the Japanese texts of Qt's own dialog buttons.
POROME_BUILD_PACKAGES=(
  cmake g++ make
  qt6-base-dev qt6-svg-dev libgl-dev
  qt6-translations-l10n
  fonts-ipafont-gothic fonts-ipafont-mincho
  libxlsxwriter-dev libzip-dev pkg-config python3-openpyxl python3-fonttools
  qt6-httpserver-dev qt6-websockets-dev libssl-dev
)

# Installs those of the named packages that are missing; does nothing, and needs
# no network, when all of them are there already.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$p")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    echo "All needed packages are installed."
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures a build folder: configure_in DIR [extra cmake arguments].
configure_in() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}

# Configures and builds everything in a build folder: build_in DIR [extra cmake arguments].
build_in() {
  configure_in "$@"
  cmake --build "$1" -j"$(nproc)"
}
