#!/usr/bin/env bash
# Stops the private Dovecot started by dovecot-start.sh <dir>. Safe to run when
# nothing runs there (it then does nothing); keeps the certificate for the next
# start and removes the mail data.
set -uo pipefail

[ $# -eq 1 ] || { echo "usage: $0 <dir>" >&2; exit 1; }
[ -d "$1" ] || exit 0
dir=$(cd "$1" && pwd)
run=$(cat "$dir/run-dir" 2>/dev/null || echo "$dir/run")

# "<state> <process group>" of a process, read from /proc (no procps needed).
# The command name in /proc/PID/stat may hold blanks: skip past its ")".
proc_state() {
  local s
  s=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  set -- ${s##*) }
  echo "$1 $3"
}
# True while a process of group $1 is alive; zombies hold no ports and
# reaping them is init's business (slow in some containers), so they don't count.
group_alive() {
  local f s
  for f in /proc/[0-9]*/stat; do
    s=$(cat "$f" 2>/dev/null) || continue
    set -- ${s##*) }
    [ "$3" = "$1" ] && [ "$1" != "Z" ] && return 0
  done
  return 1
}

pid=""
[ -s "$run/master.pid" ] && pid=$(cat "$run/master.pid")
if [ -n "$pid" ] && st=$(proc_state "$pid"); then
  read -r state pgid <<< "$st"
  if [ "$state" != "Z" ]; then
    # Only the master this instance wrote down and its own process group,
    # never Dovecot processes by name (the system may run its own Dovecot).
    kill -TERM "$pid" 2>/dev/null || true
    # A clean shutdown takes Dovecot about two seconds (its log process
    # lingers); nothing here needs keeping, so after a short grace the group
    # is killed.
    for _ in $(seq 1 10); do
      st=$(proc_state "$pid") || break
      [ "${st%% *}" = "Z" ] && break
      sleep 0.05
    done
    if [ "$pgid" = "$pid" ]; then
      kill -KILL -- "-$pgid" 2>/dev/null || true
      for _ in $(seq 1 100); do
        group_alive "$pgid" || break
        sleep 0.02
      done
    else
      kill -KILL "$pid" 2>/dev/null || true
    fi
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
