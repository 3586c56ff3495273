#!/usr/bin/env bash
# Starts a private PulseAudio daemon with one null sink ("spk") under DIR, so
# tests can play into it and record its monitor without touching the user's
# sound server. Clients reach it with PULSE_SERVER=unix:DIR/runtime/pulse/native.
#   pulse-start.sh DIR
set -euo pipefail
dir=${1:?usage: pulse-start.sh DIR}

"$(dirname "$0")/pulse-stop.sh" "$dir" || true
rm -rf "$dir"
mkdir -p "$dir/runtime" "$dir/home"
chmod 700 "$dir/runtime"

export XDG_RUNTIME_DIR="$dir/runtime"
# Its cookie and state go under DIR, not the real home.
export HOME="$dir/home"
export XDG_CONFIG_HOME="$dir/home/.config"
unset PULSE_SERVER

# Root may run a per-user daemon; it only warns. -n skips the system's default
# script so nothing but these two modules is loaded (no hardware, no autosuspend).
pulseaudio --daemonize=yes --exit-idle-time=-1 --system=no -n \
  --log-target="file:$dir/pulse.log" \
  --load="module-native-protocol-unix auth-anonymous=1" \
  --load="module-null-sink sink_name=spk"

sock="$dir/runtime/pulse/native"
for _ in $(seq 1 100); do
  if [ -S "$sock" ] && PULSE_SERVER="unix:$sock" pactl info >/dev/null 2>&1; then
    PULSE_SERVER="unix:$sock" pactl set-default-sink spk
    echo "PulseAudio ready at unix:$sock"
    exit 0
  fi
  sleep 0.1
done
echo "PulseAudio did not start; log follows" >&2
cat "$dir/pulse.log" >&2 || true
exit 1
