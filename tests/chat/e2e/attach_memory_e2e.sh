#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server, the app's address space capped at 3 GB: what was
# sent is given back, and pasting never freezes the window.
# Three messages of ten 19,000,000-byte images, one after the other: once each has reached the model
# server, the app's resident size is within 100 MB of what it was before the first (it keeps
# thumbnails, not the pictures). A 6000 x 4000 JPEG copied as image data (image/jpeg, as browsers
# copy pictures) attaches as "pasted.jpg" with no stall of 400 ms, and goes to the model as the JPEG
# it is. A text of 150,000,000 bytes pasted never holds the GUI thread 600 ms: the composer reads it
# from xclip on an X connection of its own on a pool thread, where it is also scanned, converted and
# copied (Qt 6.4's X11 clipboard would read it on the GUI thread: 0.4-1.1 s for these 150 MB, by
# machine and load; now no stall of 16 ms shows at all). Sent, it never holds it 500 ms, and the app
# lives on to send it. (The limits leave room for a machine running other tests; the benchmarks hold
# the figures.)
#
# Usage: attach_memory_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=attach_memory_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

echo '[]' >"$work/claude.json"
server claude-server "$work/claude.json"
as_test_user "$port"
export BRINMOOR_STALL_LOG="$work/stalls.log"

start_app
add_chat_pane 1
wait_settled
wait_for 30 some_sidecar || fail "the pane's sidecar never started"
prlimit --as=3000000000 --pid "$app"
# The composer's field, clicked so that keys go to it.

noise_png "$work/photo-0.png" 19000000
for i in 1 2 3 4 5 6 7 8 9; do cp "$work/photo-0.png" "$work/photo-$i.png"; done
before=$(rss_mb)
echo "$e2e: before the first message the app holds $before MB"
for n in 1 2 3; do
    for i in 0 1 2 3 4 5 6 7 8 9; do printf 'file://%s\r\n' "$work/photo-$i.png"; done >"$work/uri-list"
    paste_as text/uri-list "$work/uri-list"
    wait_settled
    xdotool type --delay 20 "Photos $n"
    xdotool key Return
    wait_for 90 sent_with "Photos $n" 10 || fail "message $n's ten images did not reach the model server (it got: $(images_sent_with "Photos $n"))"
    wait_settled
    kill -0 "$app" 2>/dev/null || fail "message $n ended the app"
    echo "$e2e: after message $n of ten 19 MB images the app holds $(rss_mb) MB"
done
shot 1_three_messages
grown=$(( $(rss_mb) - before ))
[ "$grown" -le 100 ] || fail "three messages of ten 19 MB images left the app $grown MB larger"

convert -size 6000x4000 xc:gray50 -attenuate 2 +noise Gaussian -quality 65 "$work/photo.jpg"
echo "$e2e: a 6000 x 4000 JPEG of $(stat -c %s "$work/photo.jpg") bytes"
since=$(now_ms)
paste_as image/jpeg "$work/photo.jpg"
wait_settled
shot 2_pasted_jpeg
# Decoded and re-encoded on the GUI thread this held the window for 11 s; the limit leaves room for
# a machine busy with other tests (alone it stays under 100 ms).
E2E_STALL_MS=400 stall_report "$since" "pasting a 6000 x 4000 JPEG as image data"
xdotool type --delay 20 "A pasted photo"
xdotool key Return
wait_for 60 sent_with "A pasted photo" 1 || fail "the pasted JPEG did not reach the model server (it got: $(images_sent_with "A pasted photo"))"
[ "$(images_sent_with "A pasted photo" | tail -1)" = "1 image/jpeg" ] || fail "the pasted JPEG went as $(images_sent_with "A pasted photo" | tail -1)"
wait_settled

python3 - "$work/long.txt" <<'PY'
import sys
line = b"2026-12-08 13:37:00 INFO a line of a long log, pasted whole\n"
size = 150_000_000
with open(sys.argv[1], "wb") as f:
    f.write(b"LONG-PASTE-START\n")
    f.write(line * ((size - 17) // len(line)))
    f.write(b"x" * ((size - 17) % len(line)))
PY
since=$(now_ms) held=$(rss_mb)
paste_as UTF8_STRING "$work/long.txt"
# The text is read (150 MB as sent, then 300 MB as UTF-16) and made into a chip (150 MB as UTF-8) on a pool thread,
# after which the read text is let go: its chip is made once the app holds about 150 MB more.
rss_over() { [ "$(rss_mb)" -ge "$1" ]; }
rss_under() { [ "$(rss_mb)" -le "$1" ]; }
wait_for 60 rss_over $(( held + 300 )) || fail "the pasted text was never read"
wait_for 60 rss_under $(( held + 260 )) || fail "the pasted text never became a chip (the app holds $(rss_mb) MB)"
wait_settled
shot 3_pasted_text
E2E_STALL_MS=600 stall_report "$since" "pasting 150,000,000 bytes of text"
kill -0 "$app" 2>/dev/null || fail "pasting 150 MB of text ended the app"
since=$(now_ms)
xdotool key Return
wait_for 120 grep -q "LONG-PASTE-START" "$work/claude-server.jsonl" || fail "the pasted text never reached the model server"
kill -0 "$app" 2>/dev/null || fail "sending 150 MB of text ended the app"
# Built whole on the GUI thread, 50 MB held it 0.6 s and 150 MB ended the app; alone the send holds
# it a few milliseconds, and a machine running other tests beside it about a quarter of a second.
E2E_STALL_MS=500 stall_report "$since" "sending 150,000,000 bytes of pasted text"
echo "$e2e: after sending 150 MB of text the app holds $(rss_mb) MB"
wait_settled

quit_app
echo "$e2e: passed"
