#!/usr/bin/env bash
# The silent show's cells under Wine against Linux, at every second: vorlek-capture.exe from
# build-windows/ and LINUX_BUILD_DIR/vorlek-capture, each in a folder whose path is as long as the
# other's (the intro prints the working folder: its text differs by nature, its length need not).
# Prints the share of agreeing cells (glyph and attribute) per second and where they differ;
# fails when a second agrees in less than 99.9 % of its cells outside the prompt.
#   usage: tools/windows/cells-check.sh LINUX_BUILD_DIR      (after tools/windows/build.sh)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
linux="$(cd "${1:?usage: cells-check.sh LINUX_BUILD_DIR}" && pwd)"
. "$here/wine-env.sh"
work="$(mktemp -d /tmp/vorlek-cells.XXXXXX)"
trap 'wine_stop; rm -rf "$work"' EXIT
wine_start
# Z:\tmp\vorlek-cells.XXXXXX\w and /tmp/vorlek-cells.XXXXXX/lin: one length.
mkdir "$work/w" "$work/lin"
at=(); for ((ms = 0; ms < 92000; ms += 1000)); do at+=(--cells-at $ms); done
(cd "$work/w" && wine "$root/build-windows/vorlek-capture.exe" --silent "${at[@]}") >"$work/windows.txt" &
(cd "$work/lin" && "$linux/vorlek-capture" --silent "${at[@]}") >"$work/linux.txt"
wait
python3 - "$work/windows.txt" "$work/linux.txt" <<'PY'
import sys
def load(path):
    frames, lines, i = {}, open(path, encoding='utf-8').read().split('\n'), 0
    while i < len(lines):
        if lines[i].startswith('@ '):
            frames[int(lines[i][2:])] = (lines[i + 1:i + 51], lines[i + 52:i + 102])
            i += 102
        else:
            i += 1
    return frames
windows, linux = load(sys.argv[1]), load(sys.argv[2])
prompt = len(linux[0][0][0].split('>')[0]) + 1  # the working folder and '>', row 0 of the intro
ok, total = True, 0
for ms in sorted(linux):
    (wg, wa), (lg, la) = windows.get(ms, ([''] * 50, [''] * 50)), linux[ms]
    differ = [(x, y) for y in range(50) for x in range(80)
              if wg[y][x:x + 1] != lg[y][x:x + 1] or wa[y][2 * x:2 * x + 2] != la[y][2 * x:2 * x + 2]]
    outside = [(x, y) for x, y in differ if not (y == 0 and x < prompt and ms < 5500)]
    total += len(differ)
    share = 100 - len(outside) / 40
    ok &= share >= 99.9
    where = f'; outside the prompt: {outside[:8]}' if outside else (' (the prompt only)' if differ else '')
    print(f'{ms // 1000:3d} s: {100 - len(differ) / 40:7.3f} % of cells agree, {len(differ)} differ{where}')
print(f'{len(linux)} frames, {total} of {len(linux) * 4000} cells differ')
sys.exit(0 if ok else 1)
PY
