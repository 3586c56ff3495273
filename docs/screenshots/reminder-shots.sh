#!/usr/bin/env bash
# Takes the screenshots of the Reminders page, the reminder editor on each of
# its recurrence pages and a reminder window, as the reminder tests build them,
# on a private X server:
#   docs/screenshots/reminder-shots.sh BUILD_DIR
# Needs xvfb. Writes reminders-page.png, reminder-editor-*.png and reminder-window.png here.
set -euo pipefail
build=$(realpath "${1:-build/dev}")
here=$(cd "$(dirname "$0")" && pwd)
for t in tst_RemindersPage:screenshot tst_frmAddEditReminder:screenshots tst_frmReminder:showsTheReminder; do
  ORVELLA_SCREENSHOT_DIR="$here" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$build/tests/reminders/${t%%:*}" "${t##*:}" >/dev/null
done
