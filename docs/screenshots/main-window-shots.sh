#!/usr/bin/env bash
# Takes the screenshots of the main window's pages on a private X server, at
# a small and a large screen and at scale 2, with stored messages listed and
# the preview shown:
#   docs/screenshots/main-window-shots.sh BUILD_DIR
# Needs xvfb, xdotool, imagemagick. Writes main-<page>-<screen>.png here.
set -euo pipefail
build=$(realpath "${1:-build/dev}")
here=$(cd "$(dirname "$0")" && pwd)

inner() {
  local screen=$1 scale=$2 tag=$3 tmp app
  tmp=$(mktemp -d)
  app=$tmp/app
  mkdir -p "$app/msg" "$tmp/config" "$tmp/data" "$tmp/run"
  chmod 700 "$tmp/run"
  printf '[Account]\r\nConnectionType=2\r\nUserName=Robin\r\nPOPServer=pop.example.org\r\nAccountName=robin\r\nPassword=679*\r\n[General]\r\nDontCheck=Yes\r\nShowTips=No\r\nShowPreviewPanel=Yes\r\nSayTime=No\r\n[Character]\r\nWelcomeGesture=None\r\n' >"$app/Zentra.INI"
  local n=0
  while IFS='|' read -r from subject body; do
    n=$((n + 1))
    printf '"<%s@shots>"\r\n"20261210%02d1500%d"\r\n"%s"\r\n"%s"\r\n"%s\r\n"\r\n' "$n" "$((8 + n))" "$n" "$from" "$subject" "$body" \
      >"$app/msg/20261210$(printf %02d $((8 + n)))1500$n.tem"
  done <<'MAIL'
'Garden Shop' <shop@example.org>|Seeds for the spring are in|Dear customer, the new seeds have arrived. Tomatoes, beans and sweet peas.
Anna Berg <anna@example.net>|Saturday at the club?|Are you coming on Saturday? Bring the cake if you can.
Builds <ci@example.com>|All checks passed|Every test passed on the main branch.
Mother <mum@example.net>|Sunday lunch|Lunch is at one. Your brother comes too.
MAIL
  export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_RUNTIME_DIR=$tmp/run QT_SCALE_FACTOR=$scale
  "$build/src/orvella" --show -D "$app" >/dev/null 2>&1 &
  local pid=$!
  sleep 5
  local win
  win=$(xdotool search --name '^Orvella$' | tail -1)
  xdotool windowsize "$win" "$(( ${screen%x*} * 9 / 10 ))" "$(( ${screen#*x} * 9 / 10 ))" 2>/dev/null || true
  xdotool windowactivate "$win" 2>/dev/null || true
  sleep 1
  xdotool key --window "$win" alt+g; sleep 0.5
  xdotool key --window "$win" Tab; sleep 0.3; xdotool key --window "$win" Down Up; sleep 0.7
  xdotool key --window "$win" alt+g; sleep 0.3
  import -window root "$here/main-messages-$tag.png"
  xdotool key --window "$win" ctrl+Tab; sleep 0.8
  import -window root "$here/main-reminders-$tag.png"
  xdotool key --window "$win" ctrl+Tab; sleep 0.8
  import -window root "$here/main-quick-control-$tag.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  rm -rf "$tmp"
}

if [ "${2:-}" = --inner ]; then inner "$3" "$4" "$5"; exit; fi
for shot in 640x480:1:640x480 1920x1080:1:1920x1080 1920x1080:2:1920x1080-2x; do
  IFS=: read -r screen scale tag <<<"$shot"
  PULSE_SERVER=unix:/nonexistent xvfb-run -a -s "-screen 0 ${screen}x24 -nolisten tcp" \
    "$0" "$build" --inner "$screen" "$scale" "$tag"
done
