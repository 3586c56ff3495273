#!/usr/bin/env bash
# Starts a private Dovecot (POP3 and IMAP) on loopback for the tests and benchmarks.
#
#   dovecot-start.sh <dir>      start (or restart) the instance that lives in <dir>
#   dovecot-stop.sh <dir>       stop it again
#   dovecot-deliver.sh ...      put messages into a user's Maildir, or empty it
#
# Everything belongs to <dir>: its own dovecot.conf (nothing from /etc/dovecot is
# included), passwd-file, self-signed certificate, Maildirs, log and run folders.
# The system's Dovecot is neither needed nor touched. Running the script again
# stops the old instance and starts a fresh one with empty mailboxes, so a crashed
# earlier run never leaves stale state behind. Needs root (CI runs as root) and
# the packages dovecot-pop3d, dovecot-imapd, openssl and python3
# (scripts/install-deps --test).
#
# What it listens on (all on 127.0.0.1, ports picked free at start):
#   POP3  plain port; STLS offered there; loopback counts as secure for Dovecot,
#         so USER/PASS and SASL PLAIN work without TLS as well
#   POP3S implicit TLS
#   IMAP  plain port; STARTTLS offered there; LOGIN and AUTHENTICATE PLAIN work
#         without TLS as on POP3; IDLE notices new mail within a second
#   IMAPS implicit TLS
# The certificate is self-signed (CN=localhost, SAN localhost and 127.0.0.1), so
# a client only accepts it when told its SHA-256 fingerprint.
#
# OAuth2: SASL XOAUTH2 and OAUTHBEARER are offered on both ports. Dovecot asks
# an introspection server on 127.0.0.1:DOVECOT_OAUTH_PORT whether a token is
# good: "POST /introspect" with the form "token=<token>", answered with JSON
# {"active": true, "username": "<user>"} for a good one. This script only picks
# the free port; the test that signs in with a token runs the server there
# (tests/support/fake_oauth_server.py). While none runs there, Dovecot answers
# every token sign-in with "-ERR [SYS/TEMP] Temporary authentication failure."
# A refused token gets the challenge {"status":"401","schemes":"bearer",
# "scope":"mail"} (base64), then "-ERR [AUTH] Authentication failed." after
# about 2 s.
# Password logins never reach that server: the oauth2 passdb serves only the
# two token mechanisms, and the password files never serve them (a password
# is no token).
#
# Users (password = user name + "-pw"), one or more per test group so that tests
# running in parallel never see each other's mail:
#   pop3plain pop3stls pop3tls pop3retr pop3dots pop3empty pop3bad pop3bench
#   e2e1 e2e2 e2e3 e2e4 reader1 reader2 killtrial dropped wizard1 notify1 keyring1 keyring2 keyring3
#   storage1 storage2 instance1 instance2 silentbus1 quiet1 oauth1 oauth2 signin1 signin2 imap1 imap2 imap3
#   imapw1 imapw2 imapw3 imapw4 imapbench
# and one mailbox reached through each port with a password of its own, as two
# mailboxes of one name on one host: keyring4 ("keyring4-pw" on the POP3 port,
# "keyring4-tls-pw" on the POP3S port).
# A wrong password is answered "-ERR [AUTH] Authentication failed." after about
# 2 s. Dovecot normally also slows down every later login from the same address
# (up to 15 s); that penalty is switched off here so one test's failing login
# never delays another test.
#
# The script writes <dir>/dovecot.env, lines of KEY=value a shell can source
# and tests/support/DovecotFixture.h reads:
#   DOVECOT_HOST, DOVECOT_POP3_PORT, DOVECOT_POP3S_PORT, DOVECOT_IMAP_PORT, DOVECOT_IMAPS_PORT,
#   DOVECOT_CERT_SHA256 (AA:BB:... upper case), DOVECOT_CERT_FILE,
#   DOVECOT_OAUTH_PORT (where the introspection server is to listen),
#   DOVECOT_USERS (blank-separated), DOVECOT_UID, DOVECOT_GID,
#   DOVECOT_PASSWORD_<user>, DOVECOT_MAILDIR_<user>, DOVECOT_CONF, DOVECOT_LOG
set -euo pipefail

die() { echo "dovecot-start: $*" >&2; exit 1; }
[ $# -eq 1 ] || die "usage: $0 <dir>"
[ "$(id -u)" -eq 0 ] || die "must run as root (Dovecot drops privileges itself)"
command -v dovecot >/dev/null || die "dovecot not installed: run scripts/install-deps --test"
[ -x /usr/lib/dovecot/imap ] || die "dovecot-imapd not installed: run scripts/install-deps --test"
command -v openssl >/dev/null || die "openssl not installed: run scripts/install-deps --test"
command -v python3 >/dev/null || die "python3 not installed: run scripts/install-deps --test"

here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
dir=$(cd "$1" && pwd)

# A restart begins with a clean stop of whatever ran here before.
"$here/dovecot-stop.sh" "$dir" >/dev/null 2>&1 || true

vuid=5000
vgid=5000
users="pop3plain pop3stls pop3tls pop3retr pop3dots pop3empty pop3bad pop3bench e2e1 e2e2 e2e3 e2e4 reader1 reader2 killtrial dropped wizard1 notify1 keyring1 keyring2 keyring3 storage1 storage2 instance1 instance2 silentbus1 quiet1 oauth1 oauth2 signin1 signin2 imap1 imap2 imap3 imapw1 imapw2 imapw3 imapw4 imapbench"

# The auth process runs as user "dovecot" and the mail processes as uid 5000:
# both must be able to walk down to the passwd-file and the Maildirs. When some
# parent of <dir> is closed to others (a build tree under /root, a 0700 folder
# from mktemp -d) the data goes to a folder under /tmp instead; the env file
# says where.
traversable() {
  local p=$1
  while [ "$p" != "/" ]; do
    local mode
    mode=$(stat -c %A "$p")
    [ "${mode:9:1}" = "x" ] || [ "${mode:9:1}" = "t" ] || return 1
    p=$(dirname "$p")
  done
}
hash=$(printf '%s' "$dir" | md5sum | cut -c1-10)
data="$dir/data"
if ! traversable "$dir"; then
  data="/tmp/orvella-dovecot-$hash"
fi
# Unix socket paths must stay below 107 bytes; base_dir holds the longest ones
# (e.g. login/pop3, token-login/tokenlogin, auth-userdb...), so a deep build tree
# gets a short run folder in /tmp.
run="$dir/run"
if [ ${#run} -gt 60 ]; then
  run="/tmp/orvella-dovecot-run-$hash"
fi

rm -rf "$data" "$run"
mkdir -p "$data" "$run" "$dir/state"
chmod 755 "$dir" "$data" "$run" "$dir/state"
echo "$run" > "$dir/run-dir"

# Certificate and DH parameters are kept between runs: making them is the slow
# part and they never change. ffdhe2048 is a named group, so it is instant.
tls="$dir/tls"
mkdir -p "$tls"
chmod 755 "$tls"
if [ ! -s "$tls/cert.pem" ] || [ ! -s "$tls/key.pem" ]; then
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$tls/key.pem" -out "$tls/cert.pem" -days 3650 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" >/dev/null 2>&1 \
    || die "openssl could not make the certificate"
fi
if [ ! -s "$tls/dh.pem" ]; then
  openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out "$tls/dh.pem" >/dev/null 2>&1 \
    || die "openssl could not make the DH parameters"
fi
chmod 644 "$tls/cert.pem" "$tls/dh.pem"
chmod 600 "$tls/key.pem"
fingerprint=$(openssl x509 -in "$tls/cert.pem" -noout -fingerprint -sha256 | sed 's/^.*=//' | tr 'a-f' 'A-F')

# Users: passwd-file readable by the auth process (root:dovecot 0640).
passwd="$data/passwd"
: > "$passwd"
for u in $users; do
  home="$data/home/$u"
  mkdir -p "$home/Maildir/cur" "$home/Maildir/new" "$home/Maildir/tmp"
  echo "$u:{PLAIN}$u-pw:$vuid:$vgid::$home::" >> "$passwd"
done
# The user whose password depends on the port: the passwd-file gives its home
# (and a password nobody sends); the file of the port it came in on, looked up
# first, gives its password there.
perport=keyring4
mkdir -p "$data/home/$perport/Maildir/cur" "$data/home/$perport/Maildir/new" "$data/home/$perport/Maildir/tmp"
echo "$perport:{PLAIN}$(openssl rand -hex 24):$vuid:$vgid::$data/home/$perport::" >> "$passwd"
chown root:dovecot "$passwd"
chmod 640 "$passwd"
write_port_passwords() {
  echo "$perport:{PLAIN}$perport-pw" > "$data/passwd-port-$1"
  echo "$perport:{PLAIN}$perport-tls-pw" > "$data/passwd-port-$2"
  # The IMAP ports have no passwords of their own, but the lookup needs a file.
  : > "$data/passwd-port-$3"
  : > "$data/passwd-port-$4"
  chown root:dovecot "$data/passwd-port-$1" "$data/passwd-port-$2" "$data/passwd-port-$3" "$data/passwd-port-$4"
  chmod 640 "$data/passwd-port-$1" "$data/passwd-port-$2" "$data/passwd-port-$3" "$data/passwd-port-$4"
}
chmod 755 "$data/home"
chown -R "$vuid:$vgid" "$data/home"/*

# Five free ports: POP3, POP3S, IMAP, IMAPS and the OAuth2 introspection
# server. Ports are taken by the time Dovecot binds them only in a rare race;
# the start is retried with new ports when that happens.
free_ports() {
  python3 - <<'PY'
import socket
socks = []
for _ in range(5):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
}

# What the oauth2 passdb asks and expects. The introspection server gets the
# token as a form POST and answers with the user it belongs to; Dovecot then
# also requires that user to be the one who signed in.
write_oauth_conf() {
  cat > "$data/oauth2.conf" <<CONF
introspection_mode = post
introspection_url = http://127.0.0.1:$1/introspect
username_attribute = username
active_attribute = active
active_value = true
timeout_msecs = 5000
CONF
  chmod 644 "$data/oauth2.conf"
}

write_conf() {
  cat > "$dir/dovecot.conf" <<CONF
# Generated by dovecot-start.sh; includes nothing from /etc/dovecot.
instance_name = orvella-$hash
base_dir = $run
state_dir = $dir/state
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
protocols = pop3 imap
listen = 127.0.0.1
shutdown_clients = yes

ssl = yes
ssl_cert = <$tls/cert.pem
ssl_key = <$tls/key.pem
ssl_dh = <$tls/dh.pem
ssl_min_protocol = TLSv1.2

# Loopback counts as a secure connection for Dovecot, so these still allow
# USER/PASS, SASL PLAIN and the token mechanisms there without TLS.
disable_plaintext_auth = yes
auth_mechanisms = plain login xoauth2 oauthbearer
# Each passdb serves its own mechanisms: USER/PASS goes through PLAIN.
passdb {
  driver = passwd-file
  mechanisms = plain login
  args = scheme=PLAIN username_format=%u $data/passwd-port-%{lport}
}
passdb {
  driver = passwd-file
  mechanisms = plain login
  args = scheme=PLAIN username_format=%u $passwd
}
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $data/oauth2.conf
}
userdb {
  driver = passwd-file
  args = username_format=%u $passwd
}

mail_location = maildir:~/Maildir
mail_uid = $vuid
mail_gid = $vgid
first_valid_uid = $vuid
last_valid_uid = $vuid
first_valid_gid = $vgid
last_valid_gid = $vgid
default_login_user = dovenull
default_internal_user = dovecot

pop3_uidl_format = %08Xu%08Xv
# IDLE looks at the Maildir every second (inotify tells it sooner), not every 30 s.
mailbox_idle_check_interval = 1 secs

service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $1
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $2
    ssl = yes
  }
}
service imap-login {
  inet_listener imap {
    address = 127.0.0.1
    port = $3
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $4
    ssl = yes
  }
}
# No penalty for failed logins: otherwise one test's wrong password slows down
# every later login from 127.0.0.1 for up to 15 s.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
}

greets() {
  python3 - "$1" <<'PY'
import socket, sys
try:
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=2)
    s.settimeout(2)
    ok = s.recv(512).startswith(b"+OK")
    s.sendall(b"QUIT\r\n")
    s.close()
    sys.exit(0 if ok else 1)
except OSError:
    sys.exit(1)
PY
}

started=0
for attempt in 1 2 3; do
  read -r pop3 pop3s imap imaps oauth < <(free_ports)
  write_oauth_conf "$oauth"
  write_conf "$pop3" "$pop3s" "$imap" "$imaps"
  write_port_passwords "$pop3" "$pop3s" "$imap" "$imaps"
  : > "$dir/dovecot.log"
  if ! dovecot -c "$dir/dovecot.conf" 2>>"$dir/dovecot.log"; then
    continue
  fi
  for _ in $(seq 1 100); do
    if greets "$pop3"; then started=1; break; fi
    sleep 0.05
  done
  [ $started -eq 1 ] && break
  "$here/dovecot-stop.sh" "$dir" >/dev/null 2>&1 || true
done
if [ $started -ne 1 ]; then
  cat "$dir/dovecot.log" >&2 || true
  die "Dovecot did not start (log above, config in $dir/dovecot.conf)"
fi

env="$dir/dovecot.env"
{
  echo "DOVECOT_HOST=127.0.0.1"
  echo "DOVECOT_POP3_PORT=$pop3"
  echo "DOVECOT_POP3S_PORT=$pop3s"
  echo "DOVECOT_OAUTH_PORT=$oauth"
  echo "DOVECOT_IMAP_PORT=$imap"
  echo "DOVECOT_IMAPS_PORT=$imaps"
  echo "DOVECOT_CERT_SHA256=$fingerprint"
  echo "DOVECOT_CERT_FILE=$tls/cert.pem"
  echo "DOVECOT_CONF=$dir/dovecot.conf"
  echo "DOVECOT_LOG=$dir/dovecot.log"
  echo "DOVECOT_UID=$vuid"
  echo "DOVECOT_GID=$vgid"
  echo "DOVECOT_USERS=\"$users\""
  for u in $users; do
    echo "DOVECOT_PASSWORD_$u=$u-pw"
    echo "DOVECOT_MAILDIR_$u=$data/home/$u/Maildir"
  done
  echo "DOVECOT_PASSWORD_$perport=$perport-pw"
  echo "DOVECOT_POP3S_PASSWORD_$perport=$perport-tls-pw"
  echo "DOVECOT_MAILDIR_$perport=$data/home/$perport/Maildir"
} > "$env.tmp"
mv "$env.tmp" "$env"
echo "dovecot-start: POP3 on 127.0.0.1:$pop3, POP3S on 127.0.0.1:$pop3s, IMAP on 127.0.0.1:$imap, IMAPS on 127.0.0.1:$imaps, OAuth2 introspection expected on 127.0.0.1:$oauth ($env)"
