#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the project needs (only the missing
# ones) and builds into build/. Idempotent; fast when nothing changed.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libegl-dev libegl-mesa0 libgles-dev libgl1-mesa-dri
  libsdl2-dev libasound2-dev libvorbis-dev libkissfft-dev
  libvterm-dev libpng-dev zlib1g-dev console-setup-linux tmux nlohmann-json3-dev
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEK_WERROR=$werror >/dev/null
  cmake --build "$root/build" -j"$(nproc)"
}

install_missing
build
