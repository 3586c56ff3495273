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
  # Only the master this instance wrote down, never Dovecot processes by name.
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
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
