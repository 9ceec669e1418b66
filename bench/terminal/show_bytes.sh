#!/usr/bin/env bash
# usage: show_bytes.sh BUILD_DIR [encoder_bytes options]  -- the encoder's bytes per part on the
# show's frames: 61 consecutive frames (16 ms apart, silent) from 5, 14, 30, 50, 66 and 80 s.
set -euo pipefail
b=$(cd "$1" && pwd); shift
cells=${VORLEK_CELLS:-$b/bench/terminal/show-windows.txt}
if [ ! -s "$cells" ]; then
  at=()
  for start in 5000 14000 30000 50000 66000 80000; do
    for ((i = -1; i < 60; i++)); do at+=(--cells-at $((start + 16 * i))); done
  done
  "$b/vorlek-capture" --silent --until 81000 "${at[@]}" > "$cells.part"
  mv "$cells.part" "$cells"
fi
"$b/bench/terminal/encoder_bytes" "$cells" "$@"
