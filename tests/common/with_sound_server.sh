#!/usr/bin/env bash
# with_sound_server.sh [--none] COMMAND...
#
# Runs COMMAND with a sound server of its own: a PulseAudio daemon in a
# runtime directory of its own, with one null sink (16 kHz, mono, 16-bit)
# whose monitor records exactly what was played. Nothing is heard, and no
# other sound server on the machine is touched or seen.
#
# With --none, COMMAND runs with no sound server at all: the client library
# is pointed at a socket nobody listens on and may not spawn a daemon.
#
# COMMAND sees:
#   PULSE_SERVER        the daemon's socket (clients, Wine included, use it)
#   VD_SOUND_SINK       the null sink's name ("" with --none)
#   VD_SOUND_WORK       a scratch directory for recordings, removed afterwards
#
# VD_PULSE_LOG_LEVEL (e.g. debug) sets the daemon's log level; its log is
# $VD_SOUND_WORK/../pulse.log while COMMAND runs.
#
# The daemon is stopped by its process id when COMMAND ends, whatever
# happens; a watchdog stops it too if this script itself is killed.
set -uo pipefail

none=0
if [ "${1:-}" = "--none" ]; then none=1; shift; fi

work="$(mktemp -d "${TMPDIR:-/tmp}/vdsound.XXXXXX")"
pulse_pid=""
watchdog_pid=""
cleanup() {
  if [ -n "$watchdog_pid" ]; then kill "$watchdog_pid" 2>/dev/null; wait "$watchdog_pid" 2>/dev/null; fi
  if [ -n "$pulse_pid" ]; then
    kill "$pulse_pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$pulse_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pulse_pid" 2>/dev/null
    wait "$pulse_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

mkdir -p "$work/runtime" "$work/state" "$work/recordings"
chmod 700 "$work/runtime"
printf 'autospawn = no\n' >"$work/client.conf"
export PULSE_CLIENTCONFIG="$work/client.conf"
export PULSE_RUNTIME_PATH="$work/runtime"
export PULSE_STATE_PATH="$work/state"
export PULSE_COOKIE="$work/state/cookie"
export VD_SOUND_WORK="$work/recordings"

if [ $none -eq 1 ]; then
  export PULSE_SERVER="unix:$work/runtime/nobody-listens"
  export VD_SOUND_SINK=""
  "$@"
  exit $?
fi

sink="vdsink"
socket="$work/runtime/native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
  --log-target=file:"$work/pulse.log" --log-level="${VD_PULSE_LOG_LEVEL:-notice}" \
  --load="module-null-sink sink_name=$sink rate=16000 channels=1 format=s16le norewinds=1" \
  --load="module-native-protocol-unix socket=$socket auth-anonymous=1" \
  </dev/null >"$work/pulse.out" 2>&1 &
pulse_pid=$!

# The watchdog outlives nothing it does not watch: when this script is gone
# (even killed outright), it stops the daemon and ends.
parent=$$
( trap - EXIT TERM INT
  while kill -0 "$parent" 2>/dev/null; do sleep 1; done
  kill "$pulse_pid" 2>/dev/null ) </dev/null >/dev/null 2>&1 &
watchdog_pid=$!

export PULSE_SERVER="unix:$socket"
export VD_SOUND_SINK="$sink"
ready=0
for _ in $(seq 1 100); do
  if pactl info >/dev/null 2>&1; then ready=1; break; fi
  kill -0 "$pulse_pid" 2>/dev/null || break
  sleep 0.1
done
if [ $ready -ne 1 ]; then
  echo "with_sound_server: the PulseAudio daemon did not start:"
  cat "$work/pulse.out" "$work/pulse.log" 2>/dev/null
  exit 1
fi
pactl set-default-sink "$sink" >/dev/null 2>&1 || true
"$@"
