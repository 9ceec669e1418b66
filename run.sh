#!/usr/bin/env bash
# Sets up (packages, build) and starts the show in this terminal.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
"$root/tools/setup.sh" >&2
cd "$root/build"
exec ./vorlek "$@"
