#!/usr/bin/env bash
# Takes the screenshots of the character on an X server without a compositor
# (plain Xvfb), where its windows are cut to their figure:
#   docs/screenshots/no-compositor-shots.sh BUILD_DIR
# Needs xvfb, imagemagick. Writes vela-{64,256}-{speaking,thinking}-no-compositor.png here.
set -euo pipefail
build=$(realpath "${1:-build/dev}")
here=$(cd "$(dirname "$0")" && pwd)
desk='#5b84b1'

inner() {
  local size=$1 mode=$2 out=$3 tmp
  tmp=$(mktemp -d)
  convert -size 1280x1024 "xc:$desk" "$tmp/desk.png"
  display -window root "$tmp/desk.png" || true # sets the background, then exits non-zero
  local text="Hello! I am Vela. You have three new messages. The first is from Anna, about the garden club."
  [ "$mode" = thinking ] && text="I wonder whether the garden club will bring cake on Saturday."
  # A long --at keeps the balloon up while the screen is taken from outside.
  "$build/bench/bench_speech_demo" --size "$size" "--$([ "$mode" = thinking ] && echo think || echo screenshot)" \
    "$tmp/unused.png" --at 60 "$text" >/dev/null 2>&1 &
  local pid=$!
  sleep 3.5
  import -window root "$tmp/root.png"
  kill "$pid"
  convert "$tmp/root.png" -trim +repage -bordercolor "$desk" -border 14 -strip "$out"
  rm -rf "$tmp"
}

if [ "${2:-}" = --inner ]; then inner "$3" "$4" "$5"; exit; fi
for size in 64 256; do
  for mode in speaking thinking; do
    PULSE_SERVER=unix:/nonexistent xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
      "$0" "$build" --inner "$size" "$mode" "$here/vela-$size-$mode-no-compositor.png"
  done
done
