#!/usr/bin/env bash
# Takes the screenshots of the tip window (with a tip and without its file),
# the message viewer and the About box, as their tests build them, on a
# private X server: at scale 1 and 2, each in the style as it is and in Fusion
# with a dark palette.
#   docs/screenshots/tip-view-about-shots.sh BUILD_DIR
# Needs xvfb. Writes tip*.png, view*.png and about*.png here.
set -euo pipefail
build=$(realpath "${1:-build/dev}")
here=$(cd "$(dirname "$0")" && pwd)
for scale in 1 2; do
  for t in tst_frmTip tst_frmView tst_frmCopyRight; do
    ORVELLA_SCREENSHOT_DIR="$here" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
      xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$build/tests/ui/$t" fitsInEveryTheme >/dev/null
  done
done
