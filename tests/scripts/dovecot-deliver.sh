#!/usr/bin/env bash
# Puts messages into a user's Maildir of the private Dovecot started by
# dovecot-start.sh, or empties that mailbox.
#
#   dovecot-deliver.sh <dir> <user> FILE...    deliver each file (- reads stdin)
#   dovecot-deliver.sh <dir> <user> --clear    remove every message of the user
#
# Messages are delivered in argument order; POP3 numbers them in that order.
# CR LF line ends are stored as LF (Dovecot adds the CR back on the wire).
# Files are written to tmp/ and renamed into new/, owned by the virtual mail
# user, as a real delivery agent does, so a running POP3 session never sees a
# half-written message. Clear only while no session of that user is open.
set -euo pipefail

die() { echo "dovecot-deliver: $*" >&2; exit 1; }
[ $# -ge 3 ] || die "usage: $0 <dir> <user> FILE...|--clear"
dir=$1 user=$2
shift 2
env="$dir/dovecot.env"
[ -f "$env" ] || die "$env missing: is the Dovecot fixture running?"
# shellcheck disable=SC1090
source "$env"
var="DOVECOT_MAILDIR_$user"
maildir=${!var:-}
[ -n "$maildir" ] && [ -d "$maildir" ] || die "unknown user '$user'"

if [ "$1" = "--clear" ]; then
  # Dovecot's index and uidlist go too: stale ones would make it renumber oddly.
  find "$maildir" -mindepth 1 -delete
  install -d -o "$DOVECOT_UID" -g "$DOVECOT_GID" -m 700 "$maildir/cur" "$maildir/new" "$maildir/tmp"
  chown "$DOVECOT_UID:$DOVECOT_GID" "$maildir"
  exit 0
fi

host=$(hostname | tr '/:' '__')
n=0
for f in "$@"; do
  n=$((n + 1))
  # Seconds plus a nanosecond counter keep names unique and in delivery order
  # (Dovecot numbers new messages by their name).
  ts=$(date +%s.%N)
  name="${ts%.*}.M${ts#*.}P$$Q$n.$host"
  if [ "$f" = "-" ]; then
    tr -d '\r' > "$maildir/tmp/$name"
  else
    [ -f "$f" ] || die "no such file: $f"
    tr -d '\r' < "$f" > "$maildir/tmp/$name"
  fi
  chown "$DOVECOT_UID:$DOVECOT_GID" "$maildir/tmp/$name"
  chmod 600 "$maildir/tmp/$name"
  mv "$maildir/tmp/$name" "$maildir/new/$name"
done
