#!/usr/bin/env bash
# Runs the cross-built tests (tools/windows/build.sh) under Wine, in the prefix wine-env.sh names.
# Arguments go to ctest (for example -R image).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
. "$here/wine-env.sh"
wine_start
trap wine_stop EXIT
ctest --test-dir "$root/build-windows" --output-on-failure -j"$(nproc)" "$@"
