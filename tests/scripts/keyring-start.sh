#!/usr/bin/env bash
# Starts a GNOME Keyring (its Secret Service only) on the session bus of the
# caller, with a fresh "login" keyring unlocked with the password
# "orvella-test", and returns once the keyring answers on the bus.
set -euo pipefail
command -v gnome-keyring-daemon >/dev/null \
  || { echo "keyring-start: gnome-keyring-daemon missing (scripts/install-deps --test)" >&2; exit 1; }
# --unlock reads the login keyring's password from stdin, creating the keyring.
printf '%s' orvella-test | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
# The daemon returns before it owns its bus name.
for _ in $(seq 1 100); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
       string:org.freedesktop.secrets 2>/dev/null | grep -q true; then
    exit 0
  fi
  sleep 0.05
done
echo "keyring-start: the keyring did not come onto the bus" >&2
exit 1
