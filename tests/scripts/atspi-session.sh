#!/usr/bin/env bash
# Runs a command as a screen-reader user's session would see the program: a
# private session bus, the accessibility bus switched on, and a private X
# server. Everything is torn down with the command.
#   atspi-session.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: atspi-session.sh COMMAND [ARGS...]" >&2; exit 2; }

if [ -z "${ORVELLA_ATSPI_INNER:-}" ]; then
  runtime=$(mktemp -d /tmp/orvella-atspi.XXXXXX)
  chmod 700 "$runtime"
  trap 'rm -rf "$runtime"' EXIT
  export XDG_RUNTIME_DIR="$runtime" ORVELLA_ATSPI_INNER=1
  # No exec: the trap must remove the folder afterwards.
  dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
  exit $?
fi

# The accessibility bus starts on demand; a Qt program only joins it when it
# is running and switched on at the program's start, so start it first.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
exec "$@"
