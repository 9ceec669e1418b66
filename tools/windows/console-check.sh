#!/usr/bin/env bash
# What a user sees of vorlek.exe under Wine in a tmux pane of 80 x 50, checked against the Linux
# capture of the silent show: the glyphs of the pane against the Linux frames near the same moment,
# Right and Left moving the show a second, Escape ending it within a second with exit code 0, and
# the pane given back. The pane shows a frame drawn at no 10 ms step of the capture, and in the
# tunnel frames 10 ms apart share only 67-84 % of their glyphs: 80 % passes. Silent: no vorlek.ogg where it runs, and Wine has no sound driver.
#   usage: tools/windows/console-check.sh LINUX_BUILD_DIR      (after tools/windows/build.sh)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
linux="$(cd "${1:?usage: console-check.sh LINUX_BUILD_DIR}" && pwd)"
. "$here/wine-env.sh"
work="$(mktemp -d)"
sock="vorlek-check-$$"
cleanup() { tmux -L "$sock" kill-server 2>/dev/null || true; wine_stop; rm -rf "$work"; }
[ -n "${KEEP:-}" ] && echo "keeping $work" || trap cleanup EXIT
wine_start
cp "$root/build-windows/vorlek.exe" "$work/"

now() { date +%s.%N; }
pane() { tmux -L "$sock" capture-pane -p -t show >"$work/pane-$1.txt"; }
printf 'set -g status off\nset -g remain-on-exit on\n' >"$work/tmux.conf"
tmux -L "$sock" -f "$work/tmux.conf" new-session -d -s show -x 80 -y 50 \
  "cd '$work' && WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all wine ./vorlek.exe; echo \$? >'$work/exit'; echo the shell again; sleep 60"
# The show has begun when the pane first shows more than blanks.
start=""
for _ in $(seq 1 300); do
  if [ -n "$(tmux -L "$sock" capture-pane -p -t show | tr -d ' \n')" ]; then start="$(now)"; break; fi
  sleep 0.05
done
[ -n "$start" ] || { echo "FAIL: the show never appeared"; exit 1; }
elapsed() { echo "$(now) - $start" | bc; }
sample() { sleep "$2"; local t; t="$(elapsed)"; pane "$1"; echo "$1 $t" >>"$work/samples"; }
# In the tunnel (10 s to 26 s): the intro's noise is drawn anew every frame, so no two runs agree there.
sample a 12
sample b 2
tmux -L "$sock" send-keys -t show Right
sample right 1
# One key a frame: the second Left comes a frame later at least.
tmux -L "$sock" send-keys -t show Left
sleep 0.3
tmux -L "$sock" send-keys -t show Left
sample left 0.7
tmux -L "$sock" send-keys -t show Escape
sent="$(now)"
for _ in $(seq 1 100); do [ -f "$work/exit" ] && break; sleep 0.02; done
ended="$(echo "$(now) - $sent" | bc)"
sleep 1
pane after
cursor="$(tmux -L "$sock" display -p -t show '#{cursor_flag}')"
# The Linux frames every 10 ms within 1.2 s of each sample's moment (the keys move it).
at=()
while read -r name t; do
  case "$name" in right) shift_ms=1000 ;; left) shift_ms=-1000 ;; *) shift_ms=0 ;; esac
  mid="$(echo "$t * 1000 + $shift_ms" | bc | cut -d. -f1)"
  for ((ms = mid - 1200; ms <= mid + 1200; ms += 10)); do ((ms >= 0)) && at+=(--cells-at $ms); done
done <"$work/samples"
(cd "$work" && "$linux/vorlek-capture" --silent "${at[@]}") >"$work/linux.txt"
python3 - "$work" "$ended" "$cursor" <<'PY'
import sys
work, ended, cursor = sys.argv[1], float(sys.argv[2]), sys.argv[3]
frames = {}
lines = open(f'{work}/linux.txt', encoding='utf-8').read().split('\n')
i = 0
while i < len(lines):
    if lines[i].startswith('@ '):
        frames[int(lines[i][2:])] = [r.replace('\u00a0', ' ') for r in lines[i + 1:i + 51]]
        i += 51
    else:
        i += 1
def pane(name):
    rows = open(f'{work}/pane-{name}.txt', encoding='utf-8').read().split('\n')[:50]
    return [(r.replace('\u00a0', ' ') + ' ' * 80)[:80] for r in rows + [''] * (50 - len(rows))]
def agree(a, b):
    return sum(x == y for ra, rb in zip(a, b) for x, y in zip(ra, rb)) / 4000
ok = True
expected_shift = {'a': 0, 'b': 0, 'right': 1000, 'left': -1000}
for line in open(f'{work}/samples'):
    name, t = line.split()
    t = float(t) * 1000
    got = pane(name)
    best = max(frames, key=lambda ms: agree(got, frames[ms]))
    share = agree(got, frames[best])
    want = t + expected_shift[name]
    near = abs(best - want) <= 1000
    ok &= near and share >= 0.8
    print(f'{name:6s} at {t/1000:6.2f} s (+{expected_shift[name]} ms of keys): best Linux frame {best/1000:6.2f} s, '
          f'{share*100:.2f} % of glyphs agree -> {"ok" if near and share >= 0.8 else "FAIL"}')
code = open(f'{work}/exit').read().strip() if ended < 2 else 'none'
after = pane('after')
given_back = any('the shell again' in r for r in after) and cursor == '1'
ok &= code == '0' and ended <= 1.0 and given_back
print(f'Escape: ended after {ended:.2f} s with exit code {code}; pane given back (cursor shown, shell text): {given_back}')
sys.exit(0 if ok else 1)
PY
