#!/usr/bin/env bash
# Writes the configuration of a private session bus that listens in
# SOCKET_DIR and starts on demand only the services in SERVICES_DIR.
#   private-bus-conf.sh CONF SOCKET_DIR SERVICES_DIR
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: private-bus-conf.sh CONF SOCKET_DIR SERVICES_DIR" >&2; exit 2; }
cat > "$1" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$2</listen>
  <servicedir>$3</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
