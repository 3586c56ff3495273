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
  mkdir -p "$runtime/home" "$runtime/services" "$runtime/bus"
  chmod 700 "$runtime/bus"
  # The bus starts on demand only the accessibility bus: no keyring, no
  # notification daemon, nothing the test did not start itself. A keyring the
  # machine would start when asked answers late, or puts up its own prompt,
  # whenever the program moves a password into it, which would make every
  # test's timing depend on it (ORVELLA_ATSPI_KEYRING=1 starts one on purpose).
  for dir in /usr/share/dbus-1/services /usr/local/share/dbus-1/services; do
    [ -f "$dir/org.a11y.Bus.service" ] && cp "$dir/org.a11y.Bus.service" "$runtime/services/"
  done
  "$(dirname "$0")/private-bus-conf.sh" "$runtime/bus.conf" "$runtime/bus" "$runtime/services"
  # Services the bus starts keep their files in this home, never in the user's own.
  export XDG_RUNTIME_DIR="$runtime" HOME="$runtime/home" ORVELLA_ATSPI_INNER=1
  unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
  # No exec: the trap must remove the folder afterwards.
  dbus-run-session --config-file="$runtime/bus.conf" -- \
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
  exit $?
fi

# The accessibility bus starts on demand; a Qt program only joins it when it
# is running and switched on at the program's start, so start it first.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
# ORVELLA_ATSPI_KEYRING=1: also a GNOME Keyring (its Secret Service only) with
# a fresh "login" keyring, unlocked with the password "orvella-test".
if [ "${ORVELLA_ATSPI_KEYRING:-}" = 1 ]; then
  "$(dirname "$0")/keyring-start.sh"
fi
exec "$@"
