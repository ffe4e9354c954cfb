#!/usr/bin/env bash
# The first window fits the screen: the built app under X with openbox, on whatever screen the
# X server has (ctest runs it on 1366 × 768, and on 2560 × 1440 with QT_SCALE_FACTOR=2), opens
# wholly inside the screen, as large as its 1240 × 780 allows, with the top bar's buttons on it.
#
# Usage: fit_screen_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (xvfb-run -a with
# -s '-screen 0 WxHxD'), openbox, xdotool and ImageMagick.
set -euo pipefail
e2e=fit_screen_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 20 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || fail "openbox did not start"
as_test_user 9

read -r screen_w screen_h < <(xdotool getdisplaygeometry)
scale=${QT_SCALE_FACTOR:-1}
start_app
wait_settled
shot "${screen_w}x${screen_h}"
read -r x y w h < <(xdotool getwindowgeometry "$window" | awk -F'[ ,x:]+' '/Position/{px=$3; py=$4} /Geometry/{print px, py, $3, $4}')
echo "$e2e: screen ${screen_w}x${screen_h} at scale $scale: window ${w}x${h} at $x,$y"
((x >= 0 && y >= 0 && x + w <= screen_w && y + h <= screen_h)) || fail "the window (${w}x${h} at $x,$y) is not inside the screen"
# As large as the screen allows, up to 1240 × 780 (device-independent pixels).
want_w=$((1240 * scale < screen_w ? 1240 * scale : screen_w))
want_h=$((780 * scale < screen_h ? 780 * scale : screen_h))
((w == want_w && h == want_h)) || fail "the window is ${w}x${h}, not ${want_w}x${want_h}"
# The close button, the red dot in the top left corner, at the screen's scale.
xdotool mousemove --window "$window" $((22 * scale)) $((18 * scale)) click 1
wait_for 30 gone "$app" || fail "the app did not quit"
app=""
echo "$e2e: passed"
