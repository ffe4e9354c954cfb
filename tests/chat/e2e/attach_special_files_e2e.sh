#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server: files named as images that are no regular files,
# pasted into the composer as file links. A link "zero.png" to /dev/zero (a device whose size says
# 0 and whose reading never ends) leaves the app's size as it was; a pipe "fifo.png" with no writer
# (opening it to read waits for one) holds the GUI thread no longer than a window may freeze. Both
# are refused by name, and the close button still quits the app.
#
# Usage: attach_special_files_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=attach_special_files_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

echo '[{"text": "Nothing to see."}]' >"$work/claude.json"
server claude-server "$work/claude.json"
as_test_user "$port"
export BRINMOOR_STALL_LOG="$work/stalls.log"
ln -s /dev/zero "$work/zero.png"
mkfifo "$work/fifo.png"

start_app
add_chat_pane 1
wait_settled
# A file link on the clipboard, pasted into the composer.
paste_file() {  # <path>
    printf 'file://%s\r\n' "$1" >"$work/uri-list"
    xclip -quiet -selection clipboard -t text/uri-list -i "$work/uri-list" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 bash -c "xclip -o -selection clipboard -t text/uri-list 2>/dev/null | grep -q '$1'" || fail "the clipboard never held $1"
    xdotool mousemove --window "$window" 700 $(( $(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/{print $NF}') - 72 )) click 1
    xdotool key ctrl+v
}

rss_before=$(rss_mb) hwm_before=$(rss_mb VmHWM) since=$(now_ms)
paste_file "$work/zero.png"
wait_settled
shot 1_zero_refused
stall_report "$since" "pasting zero.png"
grown=$(( $(rss_mb) - rss_before )) peak_grown=$(( $(rss_mb VmHWM) - hwm_before ))
echo "$e2e: zero.png: the app grew by $grown MB (its peak by $peak_grown MB)"
[ "$grown" -lt 50 ] && [ "$peak_grown" -lt 50 ] || fail "pasting zero.png grew the app by $grown MB (peak $peak_grown MB)"

since=$(now_ms)
paste_file "$work/fifo.png"
wait_settled
shot 2_fifo_refused
stall_report "$since" "pasting fifo.png"
quit_app
echo "$e2e: passed"
