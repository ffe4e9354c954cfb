#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server: files named as images that are no regular files,
# pasted into the composer as file links. A link "zero.png" to /dev/zero (a device whose size says
# 0 and whose reading never ends) leaves the app's size as it was; a pipe "fifo.png" with no writer
# (opening it to read waits for one) holds the GUI thread no longer than a window may freeze. Both
# are refused by name, and the close button still quits the app.
# Then, with the app's address space capped at 3 GB: ten images of 19,000,000 bytes are attached and
# sent; the GUI thread never stalls 500 ms, the request reaches the model server within 60 s, and
# the app's peak rises by less than 2.5 times the images' size. Then 200 links to one 19.35 MB image
# pasted under a typed draft: the app lives, attaches what one message can carry, and sends the draft
# with those images.
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

# File links on the clipboard, pasted into the composer.
paste_files() {  # <path...>
    local f
    for f; do printf 'file://%s\r\n' "$f"; done >"$work/uri-list"
    xclip -quiet -selection clipboard -t text/uri-list -i "$work/uri-list" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 bash -c "xclip -o -selection clipboard -t text/uri-list 2>/dev/null | grep -q '$1'" || fail "the clipboard never held $1"
    xdotool key ctrl+v
}
wait_for 30 some_sidecar || fail "the pane's sidecar never started"
prlimit --as=3221225472 --pid "$app"

noise_png "$work/photo-0.png" 19000000
ten=("$work/photo-0.png")
for i in 1 2 3 4 5 6 7 8 9; do cp "$work/photo-0.png" "$work/photo-$i.png"; ten+=("$work/photo-$i.png"); done
echo 5 >"/proc/$app/clear_refs"  # the peak from here
hwm_before=$(rss_mb) since=$(now_ms)
paste_files "${ten[@]}"
wait_settled
shot 3_ten_images
xdotool type --delay 20 "Ten photos"
sent_at=$(now_ms)
xdotool key Return
wait_for 60 sent_with "Ten photos" 10 || fail "the ten images did not reach the model server within 60 s (it got: $(images_sent_with "Ten photos"))"
echo "$e2e: ten 19,000,000-byte images reached the model server $(( $(now_ms) - sent_at )) ms after Return"
E2E_STALL_MS=500 stall_report "$since" "attaching and sending ten 19 MB images"
peak_grown=$(( $(rss_mb VmHWM) - hwm_before ))
echo "$e2e: ten images: the app's peak rose by $peak_grown MB (2.5 times the images: 453 MB)"
[ "$peak_grown" -lt 453 ] || fail "sending ten 19 MB images raised the app's peak by $peak_grown MB"
wait_settled

noise_png "$work/big.png" 19350000
# The composer's line about a paste still being read (its Cancel link, in the accent colour, at the
# right end of the line over the editor) is gone: every file pasted is read, and checked as the
# picture it is named as.
paste_read() {
    local w h
    read -r w h < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')
    import -window "$window" -crop "80x40+$((w - 100))+$((h - 125))" -depth 8 +repage "$work/paste-line.ppm"
    python3 - "$work/paste-line.ppm" <<'PY'
import re, sys
ppm = open(sys.argv[1], "rb").read()
px = ppm[re.match(rb"P6\s+\d+\s+\d+\s+\d+\s", ppm).end():]
# The link's letters, smoothed: pixels near the accent (5b8cdd), well bluer than grey text.
blue = sum(1 for i in range(0, len(px) - 2, 3)
           if px[i + 2] > px[i] + 70 and abs(px[i] - 0x5b) + abs(px[i + 1] - 0x8c) + abs(px[i + 2] - 0xdd) < 90)
sys.exit(1 if blue >= 12 else 0)
PY
}
links=()
for i in $(seq 0 199); do ln -s "$work/big.png" "$work/link-$i.png"; links+=("$work/link-$i.png"); done
xdotool type --delay 20 "Keep this draft"
since=$(now_ms)
paste_files "${links[@]}"
wait_settled
# Return then would wait for the read and keep the draft for the line on the links left out.
wait_for 60 paste_read || { shot 4_links_not_read; fail "the 200 links were not read within 60 s"; }
wait_settled
shot 4_two_hundred_links
kill -0 "$app" 2>/dev/null || fail "pasting 200 links to a 19 MB image ended the app"
stall_report "$since" "pasting 200 links to a 19 MB image"
echo "$e2e: 200 links: the app holds $(rss_mb) MB"
xdotool key Return
wait_for 60 sent_with "Keep this draft" 9 || fail "the draft did not go with the nine images that fit (the server got: $(images_sent_with "Keep this draft"))"
echo "$e2e: 200 links: the draft went with the 9 images one message can carry"
wait_settled
quit_app
echo "$e2e: passed"
