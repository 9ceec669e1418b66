# Sourced by the Windows scripts: the Wine prefix lives in build-windows/wine (about 700 MB, made on
# first use), unless WINEPREFIX names another; Wine's own messages are off.
: "${WINEPREFIX:=$(cd "$(dirname "$0")/../.." && pwd)/build-windows/wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"

# Starts a persistent wineserver, making the prefix first when it is new. A wineserver that a
# program starts on its own inherits that program's pipes and keeps ctest or ninja waiting for it.
wine_start() {
  local fresh=0
  [ -d "$WINEPREFIX" ] || fresh=1
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1 || true  # fails when one already runs
  if [ $fresh -eq 1 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i </dev/null >/dev/null 2>&1
    # No sound driver: the host's ALSA would print its complaints into every test's output.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d '' /f </dev/null >/dev/null 2>&1
  else
    wine wineboot </dev/null >/dev/null 2>&1
  fi
}

wine_stop() { wineserver -k >/dev/null 2>&1 || true; }
