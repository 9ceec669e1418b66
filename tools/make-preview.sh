#!/usr/bin/env bash
# Makes the README's animated preview: 1.6 s of each part, from vorlek-capture --frames at 12.5
# frames a second, as a 320 x 200 GIF of 32 colours. Needs ffmpeg. The intro's prompt shows the
# folder it runs in; the track is found as vorlek-capture finds it (see the README).
#   tools/make-preview.sh docs/preview.gif
set -euo pipefail
capture="${VORLEK_CAPTURE:-$(cd "$(dirname "$0")/.." && pwd)/build/vorlek-capture}"
out="$(realpath -m "${1:-preview.gif}")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$capture" --step 80 --frames "$tmp/all" >/dev/null
mkdir "$tmp/pick"
n=0
# Frame i shows the show at about i x 80 ms: 4.4 s, 11.2 s, 29.2 s, 48 s, 68 s and 77.2 s.
for first in 55 140 365 600 850 965; do
  for i in $(seq "$first" $((first + 19))); do
    cp "$tmp/all/$(printf %05d "$i").png" "$tmp/pick/$(printf %04d "$n").png"
    n=$((n + 1))
  done
done
ffmpeg -loglevel error -y -framerate 12.5 -i "$tmp/pick/%04d.png" \
  -vf "scale=320:200:flags=area,split[a][b];[a]palettegen=max_colors=32[p];[b][p]paletteuse=dither=none" \
  "$out"
