#!/usr/bin/env bash
# Runs a command under a real window manager: Openbox on the X server of
# $DISPLAY (a private Xvfb, started by xvfb-run or atspi-session.sh), with its
# stock configuration. Waits until Openbox manages windows, so the command's
# first window is already placed, stacked and focused as a user's desktop
# would; Openbox ends with the command.
#   openbox-session.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: openbox-session.sh COMMAND [ARGS...]" >&2; exit 2; }
[ -n "${DISPLAY:-}" ] || { echo "openbox-session.sh: no DISPLAY" >&2; exit 2; }
command -v openbox >/dev/null || { echo "openbox-session.sh: openbox is not installed (scripts/install-deps --test)" >&2; exit 2; }

# Openbox keeps its session and cache files under the home; a private one
# keeps them out of the user's.
home=$(mktemp -d /tmp/orvella-openbox.XXXXXX)
config=/etc/xdg/openbox/rc.xml
openbox_pid=
cleanup() {
  [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null && wait "$openbox_pid" 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT

HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
  openbox --sm-disable --config-file "$config" >"$home/openbox.log" 2>&1 &
openbox_pid=$!

# A window manager that runs names its check window on the root window
# (_NET_SUPPORTING_WM_CHECK) once it has taken over the screen.
for _ in $(seq 1 200); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
    break
  fi
  if ! kill -0 "$openbox_pid" 2>/dev/null; then
    echo "openbox-session.sh: openbox ended:" >&2
    cat "$home/openbox.log" >&2
    exit 2
  fi
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
  { echo "openbox-session.sh: openbox did not take over the screen" >&2; exit 2; }

# No exec: Openbox must end with the command.
set +e
"$@"
status=$?
exit $status
