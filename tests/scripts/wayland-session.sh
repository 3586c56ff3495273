#!/usr/bin/env bash
# Runs a command in a headless Wayland session with XWayland, as GNOME gives
# one: mutter as the Wayland compositor on a virtual monitor, and as the
# window manager of its XWayland display, which keeps the X11 stacking and
# placement rules (_NET_WM_STATE_ABOVE, _NET_CLIENT_LIST_STACKING) a program
# on XWayland relies on. Needs a session bus (run it inside session-bus.sh).
# The command gets WAYLAND_DISPLAY (an absolute path, so a private
# XDG_RUNTIME_DIR of its own does not hide it), DISPLAY and XAUTHORITY for
# the XWayland display, and XDG_SESSION_TYPE=wayland.
#   wayland-session.sh COMMAND [ARGS...]
#
# (Weston's XWayland window manager would not do here: it places and frames
# X11 tool windows itself and knows no "above".)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: wayland-session.sh COMMAND [ARGS...]" >&2; exit 2; }
command -v mutter >/dev/null || { echo "wayland-session.sh: mutter is not installed (scripts/install-deps --test)" >&2; exit 2; }
command -v Xwayland >/dev/null || { echo "wayland-session.sh: xwayland is not installed (scripts/install-deps --test)" >&2; exit 2; }
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "wayland-session.sh: no session bus (run it in session-bus.sh)" >&2; exit 2; }

root=$(mktemp -d /tmp/orvella-wayland.XXXXXX)
chmod 700 "$root"
mutter_pid=
cleanup() {
  [ -n "$mutter_pid" ] && kill "$mutter_pid" 2>/dev/null && wait "$mutter_pid" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT

HOME="$root" XDG_RUNTIME_DIR="$root" XDG_CONFIG_HOME="$root/config" XDG_CACHE_HOME="$root/cache" \
  mutter --headless --wayland --virtual-monitor 1280x1024 --wayland-display=wayland-orvella --sm-disable \
  >"$root/mutter.log" 2>&1 &
mutter_pid=$!

# Mutter names the X display it gives XWayland, and the cookie XWayland wants.
display=
for _ in $(seq 1 600); do
  display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$root/mutter.log" | head -n1)
  [ -n "$display" ] && [ -S "$root/wayland-orvella" ] && break
  if ! kill -0 "$mutter_pid" 2>/dev/null; then
    echo "wayland-session.sh: mutter ended:" >&2
    cat "$root/mutter.log" >&2
    exit 2
  fi
  sleep 0.05
done
[ -n "$display" ] || { echo "wayland-session.sh: mutter started no XWayland" >&2; cat "$root/mutter.log" >&2; exit 2; }
auth=$(ls "$root"/.mutter-Xwaylandauth.* 2>/dev/null | head -n1 || true)

export WAYLAND_DISPLAY="$root/wayland-orvella" DISPLAY="$display" XDG_SESSION_TYPE=wayland
[ -n "$auth" ] && export XAUTHORITY="$auth"
# A window manager that runs names its check window on the root window.
for _ in $(seq 1 600); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
  { echo "wayland-session.sh: XWayland on $display has no window manager" >&2; cat "$root/mutter.log" >&2; exit 2; }

# No exec: mutter must end with the command.
set +e
"$@"
status=$?
[ $status -ne 0 ] && { echo "--- mutter log ---" >&2; tail -n 40 "$root/mutter.log" >&2; }
exit $status
