#!/usr/bin/env bash
# with_display.sh COMMAND...: runs COMMAND with a display of its own: a new
# Xvfb on a free display number, and a Wine prefix of its own whose Wine
# server starts on that display. Both are ended (by process id, and by the
# prefix's own server) when the command ends, whatever happens.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${VD_BUILD_DIR:-$here/../../build/win32}"
work="$(mktemp -d)"
xvfb_pid=""
export VD_WINEPREFIX="$build/wineprefix-display"
cleanup() {
  WINEPREFIX="$VD_WINEPREFIX" wineserver -k </dev/null >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to the descriptor.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 5>&-
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "with_display: Xvfb did not start:"; cat "$work/xvfb.log"
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
# A Wine server left from an earlier run would not see this display.
WINEPREFIX="$VD_WINEPREFIX" wineserver -k </dev/null >/dev/null 2>&1 || true
"$@"
