#!/usr/bin/env bash
# usage: tools/show-digests.sh BUILD_DIR [OUT_DIR]
# The MD5 of what vorlek-capture records of the whole show, to tell whether a change moved any of
# it: the cells every 250 ms, with the music and silent with keys pressed (these change only when
# the picture is meant to), and four casts (with the music; 24-bit, silent, keys pressed; the
# Linux console; 200 x 60 with 8 x 16 cells and line drawing), whose bytes change with the
# encoder's. Where a cast changed, `BUILD_DIR/tests/terminal/cast_compare OLD NEW` replays both
# and compares every cell of every frame (add --linux-console for the console's). The recordings
# stay in OUT_DIR (default: a new temporary folder). The intro's prompt shows the working folder,
# so compare digests made from the same folder.
set -euo pipefail
build=$(cd "${1:?usage: tools/show-digests.sh BUILD_DIR [OUT_DIR]}" && pwd)
[ -f "$build/vorlek.ogg" ] || { echo "show-digests: no $build/vorlek.ogg: build first" >&2; exit 1; }
out=${2:-$(mktemp -d /tmp/vorlek-digests.XXXXXX)}
mkdir -p "$out"
capture="$build/vorlek-capture"
music=(--music "$build/vorlek.ogg")
keys=(--silent --keys 15000:right,33000:left,47000:right,60000:left,70000:right)
at=()
for ((ms = 0; ms < 92000; ms += 250)); do at+=(--cells-at "$ms"); done

"$capture" "${music[@]}" "${at[@]}" > "$out/cells-music.txt"
"$capture" "${keys[@]}" "${at[@]}" > "$out/cells-silent-keys.txt"
"$capture" "${music[@]}" --cast "$out/music.cast"
"$capture" "${keys[@]}" --truecolor --cast "$out/silent-keys-truecolor.cast"
"$capture" "${music[@]}" --linux-console --cast "$out/linux-console.cast"
"$capture" "${music[@]}" --size 200x60 --cell 8x16 --line-drawing \
  --cast "$out/wide-line-drawing.cast"
cd "$out" && md5sum cells-music.txt cells-silent-keys.txt music.cast silent-keys-truecolor.cast \
  linux-console.cast wide-line-drawing.cast
