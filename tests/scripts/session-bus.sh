#!/usr/bin/env bash
# Runs a command on a private session bus that starts no service of the
# machine on demand: no notification daemon, no keyring, nothing the test did
# not start itself. Everything is torn down with the command.
#
#   session-bus.sh [--keyring] COMMAND [ARGS...]
#
# --keyring   also runs a GNOME Keyring (its Secret Service only) with a fresh
#             "login" keyring, unlocked with the password "orvella-test", and
#             sets ORVELLA_TEST_KEYRING=1 for the command.
#
# HOME, XDG_RUNTIME_DIR and XDG_DATA_HOME point into a temporary folder, so
# the keyring file and the bus socket never touch the user's own. Needs
# dbus-daemon (and gnome-keyring for --keyring: scripts/install-deps --test).
set -euo pipefail

keyring=0
if [ "${1:-}" = "--keyring" ]; then keyring=1; shift; fi
[ $# -ge 1 ] || { echo "usage: session-bus.sh [--keyring] COMMAND [ARGS...]" >&2; exit 2; }

if [ -z "${ORVELLA_BUS_INNER:-}" ]; then
  command -v dbus-run-session >/dev/null || { echo "session-bus: dbus-run-session missing" >&2; exit 1; }
  root=$(mktemp -d /tmp/orvella-bus.XXXXXX)
  trap 'rm -rf "$root"' EXIT
  mkdir -p "$root/runtime" "$root/home" "$root/services"
  chmod 700 "$root/runtime"
  "$(dirname "$0")/private-bus-conf.sh" "$root/bus.conf" "$root/runtime" "$root/services"
  export ORVELLA_BUS_INNER=1 HOME="$root/home" XDG_RUNTIME_DIR="$root/runtime" \
         XDG_DATA_HOME="$root/home/.local/share" XDG_CONFIG_HOME="$root/home/.config"
  args=()
  [ $keyring -eq 1 ] && args+=(--keyring)
  # No exec: the trap must remove the folder afterwards.
  dbus-run-session --config-file="$root/bus.conf" -- "$0" "${args[@]}" "$@"
  exit $?
fi

if [ $keyring -eq 1 ]; then
  "$(dirname "$0")/keyring-start.sh"
  export ORVELLA_TEST_KEYRING=1
fi
exec "$@"
