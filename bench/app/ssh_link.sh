#!/usr/bin/env bash
# usage: bench/app/ssh_link.sh BUILD_DIR [RATE]  -- the whole show over ssh to this machine, as a
# remote user sees it: tmux (80 x 50) runs ssh to a throwaway sshd on 127.0.0.1, whose side runs
# the show in a pseudo-terminal of its own (script) and sends its output through `pv -L RATE`
# (default 128k, 1 Mbit/s). Prints the frames the show wrote, and how many a second.
# Needs tmux, script, pv and openssh-server (apt-get install pv openssh-server); the keys stay
# in a folder of their own, which the sshd of the run names, and ~/.ssh is left alone.
set -euo pipefail
build=$(cd "$1" && pwd)
rate=${2:-128k}
for tool in tmux script pv ssh /usr/sbin/sshd; do
  command -v "$tool" > /dev/null || { echo "ssh_link.sh: $tool is needed" >&2; exit 2; }
done
dir=$(mktemp -d)
port=$((20000 + RANDOM % 20000))
cleanup() {
  tmux -S "$dir/tmux" kill-server 2> /dev/null || true
  if [ -f "$dir/sshd.pid" ]; then kill "$(cat "$dir/sshd.pid")" 2> /dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT
ssh-keygen -q -t ed25519 -N '' -f "$dir/host"
ssh-keygen -q -t ed25519 -N '' -f "$dir/user"
cp "$dir/user.pub" "$dir/authorized_keys"
mkdir -p /run/sshd
cat > "$dir/sshd_config" << EOF
Port $port
ListenAddress 127.0.0.1
HostKey $dir/host
AuthorizedKeysFile $dir/authorized_keys
PubkeyAuthentication yes
PasswordAuthentication no
StrictModes no
UsePAM no
PidFile $dir/sshd.pid
EOF
/usr/sbin/sshd -f "$dir/sshd_config"
# The far side's terminal passes every byte as it is; the show's own pseudo-terminal is script's.
remote="stty raw -echo; cd '$build' && script -qfec './vorlek 2>$dir/stderr' /dev/null | pv -q -L $rate"
ssh="ssh -t -i $dir/user -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR"
tmux -S "$dir/tmux" -f /dev/null new-session -d -s s -x 80 -y 50 \
  "$ssh -p $port $(id -un)@127.0.0.1 \"$remote\"; touch $dir/done; sleep 60"
start=$(date +%s)
while [ ! -f "$dir/done" ] && [ $(($(date +%s) - start)) -lt 300 ]; do sleep 1; done
# The show says, once it has given the terminal back, how many frames it left out.
line=$(grep -o '[0-9]* of [0-9]* frames were left out' "$dir/stderr" || true)
if [ -z "$line" ]; then
  echo "every frame written, or the show did not run: $(cat "$dir/stderr" 2> /dev/null)"
  exit 1
fi
read -r left _ made _ <<< "$line"
awk -v made="$made" -v left="$left" -v rate="$rate" 'BEGIN {
  printf "over ssh through pv -L %s: %d of %d frames written, %.1f a second of the 92 s show\n",
         rate, made - left, made, (made - left) / 92 }'
