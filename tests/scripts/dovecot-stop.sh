#!/usr/bin/env bash
# Stops the private Dovecot started by dovecot-start.sh <dir>. Safe to run when
# nothing runs there (it then does nothing); keeps the certificate for the next
# start and removes the mail data.
set -uo pipefail

[ $# -eq 1 ] || { echo "usage: $0 <dir>" >&2; exit 1; }
[ -d "$1" ] || exit 0
dir=$(cd "$1" && pwd)
run=$(cat "$dir/run-dir" 2>/dev/null || echo "$dir/run")

pid=""
[ -s "$run/master.pid" ] && pid=$(cat "$run/master.pid")
if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
  # Only the master this instance wrote down and its own process group, never
  # Dovecot processes by name (the system may run its own Dovecot).
  pgid=$(ps -o pgid= -p "$pid" | tr -d ' ')
  kill -TERM "$pid" 2>/dev/null || true
  # A clean shutdown takes Dovecot about two seconds (its log process lingers);
  # nothing here needs keeping, so after a short grace the group is killed.
  for _ in $(seq 1 10); do
    ps -o stat= -p "$pid" 2>/dev/null | grep -qv '^Z' || break
    sleep 0.05
  done
  if [ "$pgid" = "$pid" ]; then
    kill -KILL -- "-$pgid" 2>/dev/null || true
    # Done when only zombies are left (they hold no ports; reaping them is
    # init's business and can take a while in containers).
    for _ in $(seq 1 100); do
      ps -eo pgid=,stat= | awk -v g="$pgid" '$1 == g && $2 !~ /^Z/ { found = 1 } END { exit !found }' || break
      sleep 0.02
    done
  elif kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null || true
  fi
fi

if [ -f "$dir/dovecot.env" ]; then
  data=$(sed -n 's/^DOVECOT_MAILDIR_[^=]*=\(.*\)\/home\/.*$/\1/p' "$dir/dovecot.env" | head -n1)
  case "$data" in
    "$dir"/data|/tmp/orvella-dovecot-*) rm -rf "$data" ;;
  esac
fi
rm -f "$dir/dovecot.env"
case "$run" in
  "$dir"/run|/tmp/orvella-dovecot-run-*) rm -rf "$run" ;;
esac
exit 0
