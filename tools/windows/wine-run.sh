#!/bin/sh
# Runs a Windows program under Wine, quietly, in the project's Wine prefix (see wine-env.sh).
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
