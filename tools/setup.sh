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

build() {
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEK_WERROR=$werror >/dev/null
  cmake --build "$root/build" -j"$(nproc)"
}

"$(dirname "${BASH_SOURCE[0]}")/install-packages.sh" "${PACKAGES[@]}"
build
