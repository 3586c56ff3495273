#!/usr/bin/env bash
# Stops the private PulseAudio daemon that pulse-start.sh started under DIR.
#   pulse-stop.sh DIR
set -uo pipefail
dir=${1:?usage: pulse-stop.sh DIR}
pidfile="$dir/runtime/pulse/pid"
[ -f "$pidfile" ] || exit 0
pid=$(cat "$pidfile")
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid"
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
fi
exit 0
