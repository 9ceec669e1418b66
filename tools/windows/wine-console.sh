#!/bin/sh
# Runs a Windows program under Wine with a console: its input is an 80 x 50 pseudo-terminal (the
# console Wine makes from it), its output and errors stay where this script's went, so that a
# caller (ctest, its test discovery) reads them unmangled. Keeps the program's exit code.
. "$(dirname "$0")/wine-env.sh"
cmd="stty cols 80 rows 50; exec wine"
for a in "$@"; do cmd="$cmd '$(printf %s "$a" | sed "s/'/'\\\\''/g")'"; done
exec 3>&1 4>&2
exec script -qefc "$cmd >&3 2>&4" /dev/null </dev/null >/dev/null 2>&1
