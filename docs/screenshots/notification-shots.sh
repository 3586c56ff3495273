#!/usr/bin/env bash
# Takes the screenshots of the desktop notifications of new mail and of a
# reminder, as the notification tests post them, under dunst (and with the
# buttons under xfce4-notifyd when it is installed), on a private X server
# and a private session bus:
#   docs/screenshots/notification-shots.sh BUILD_DIR
# Needs xvfb, dunst, imagemagick (and optionally xfce4-notifyd). Writes
# notification-new-mail.png, notification-new-mail-and-reminder.png and
# notification-new-mail-xfce.png here.
set -euo pipefail
build=$(realpath "${1:-build/dev}")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
ORVELLA_SCREENSHOT_DIR="$here" QT_QPA_PLATFORM=offscreen \
  "$root/tests/scripts/session-bus.sh" xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$build/tests/notifications/tst_NotificationsDunst" >/dev/null
