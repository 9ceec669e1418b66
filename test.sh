#!/usr/bin/env bash
# Sets up (packages, build) and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
"$root/tools/setup.sh"
ctest --test-dir "$root/build" --output-on-failure -j"$(nproc)"
