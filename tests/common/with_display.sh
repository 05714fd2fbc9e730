#!/usr/bin/env bash
# with_display.sh COMMAND...
#
# Runs COMMAND with a display of its own: a new Xvfb on a free display
# number, and the Wine prefix named by VD_WINEPREFIX (default: the build's
# wineprefix-display) with a Wine server started afresh on that display (a
# server left from an earlier run would still draw on the old one). Xvfb is
# stopped by its process id and the prefix's server ended when COMMAND ends,
# whatever happens; a watchdog stops Xvfb too if this script is killed.
#
# Programs that share the prefix must not run at the same time (ctest:
# RESOURCE_LOCK wineprefix-display).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export VD_WINEPREFIX="${VD_WINEPREFIX:-$here/../../build/win32/wineprefix-display}"

work="$(mktemp -d "${TMPDIR:-/tmp}/vddisplay.XXXXXX")"
xvfb_pid=""
watchdog_pid=""
cleanup() {
  WINEPREFIX="$VD_WINEPREFIX" wineserver -k </dev/null >/dev/null 2>&1 || true
  if [ -n "$watchdog_pid" ]; then kill "$watchdog_pid" 2>/dev/null; wait "$watchdog_pid" 2>/dev/null; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# Xvfb picks a free display number and writes it to the descriptor.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 5>&-

parent=$$
( trap - EXIT TERM INT
  while kill -0 "$parent" 2>/dev/null; do sleep 1; done
  kill "$xvfb_pid" 2>/dev/null ) </dev/null >/dev/null 2>&1 &
watchdog_pid=$!

for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "with_display: Xvfb did not start:"
  cat "$work/xvfb.log"
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
WINEPREFIX="$VD_WINEPREFIX" wineserver -k </dev/null >/dev/null 2>&1 || true
"$@"
