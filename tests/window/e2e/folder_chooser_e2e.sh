#!/usr/bin/env bash
# End to end in the built app under X: the add-session sheet's folder chooser visits a folder of
# 1,000,000 folders ten times, each time opened from the sheet, sent there by its typed path, the
# listing shown, and closed with Escape. The app may never grow 250 MB above where it was with the
# sheet open, and once the chooser is closed it must hold less than 300 MB (a listing a script
# array held kept 632 MB after closing and grew to 1 GB until the script engine collected it).
# Nor may the GUI thread stall 250 ms over it (the folder is read and sorted on a pool thread).
#
# Usage: folder_chooser_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (xvfb-run -a),
# xdotool, python3 and ImageMagick. Makes the million folders in its work folder (some 25 s).
set -euo pipefail
e2e=folder_chooser_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

huge="$work/huge"
python3 - "$huge" <<'PY'
import os, sys
os.makedirs(sys.argv[1])
for i in range(1000000):
    os.mkdir("%s/folder-%07d" % (sys.argv[1], i))
PY
as_test_user 9
export BRINMOOR_STALL_LOG="$work/stalls.log"
start_app
xdotool key ctrl+shift+t
wait_settled
shot 1_sheet
start_mb=$(rss_mb)
echo 5 >"/proc/$app/clear_refs"  # the peak from here
since=$(now_ms)
# The sheet's "Browse for another folder…" row, under the project folder's field.
browse() { xdotool mousemove --window "$window" 515 557 click 1; }
# The chooser's list shows rows: light text on at least 60 lines of pixels of its box (it is blank
# while the folder is read; "No folders in this folder" is one line of text).
listed() {
    import -window "$window" -crop 480x300+380+250 -colorspace gray -depth 8 "$work/list.pgm"
    python3 - "$work/list.pgm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
head = data.split(b"\n", 3)
w, h = map(int, head[1].split())
px = head[3]
lines = sum(1 for y in range(h) if max(px[y * w:(y + 1) * w]) > 128)
sys.exit(0 if lines >= 60 else 1)
PY
}
for visit in 1 2 3 4 5 6 7 8 9 10; do
    browse
    wait_settled
    xdotool type --delay 5 "$huge"
    xdotool key Return
    wait_for 60 listed || fail "visit $visit: the million folders were never listed"
    wait_settled
    [ "$visit" = 1 ] && shot 2_million_folders
    now=$(rss_mb)
    echo "$e2e: visit $visit: the app holds $now MB (it started at $start_mb MB)"
    xdotool key Escape
    wait_settled
done
shot 3_closed
stall_report "$since" "ten visits to a folder of a million folders"
peak=$(rss_mb VmHWM)
held=$(rss_mb)
echo "$e2e: over ten visits the app peaked at $peak MB, $(( peak - start_mb )) MB above its start; closed, it holds $held MB"
[ $(( peak - start_mb )) -lt 250 ] || fail "ten visits grew the app $(( peak - start_mb )) MB above its start"
[ "$held" -lt 300 ] || fail "after closing the chooser the app holds $held MB"
xdotool key Escape
wait_settled
quit_app
echo "$e2e: passed"
