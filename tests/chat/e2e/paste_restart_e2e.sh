#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server: a paste still read from a slow owner (two bytes
# a second) when the pane's session restarts or stops belongs to the pane. A word typed,
# Ctrl+V, Return, then Restart session from the pane menu: the message reaches the model with the
# paste. Ctrl+V, Restart session, then Return: the same. Ctrl+V, Return, Stop: the paste lands in
# the kept draft, and the stopped card's Restart sends the message with it. Then picture data with a
# PNG's signature and no picture after it is refused (the next message carries no image), and a
# real PNG beside it goes.
#
# Usage: paste_restart_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=paste_restart_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

echo '[]' >"$work/claude.json"
server claude-server "$work/claude.json"
as_test_user "$port"
seed_chat_pane claude "$work/projects/web" False
asked() { grep -qs "$1" "$work/claude-server.jsonl"; }

# <file>: the test's owner serves it on the clipboard, 2 bytes every second; "sent" in its output
# once a read of it has ended.
owner() {
    : >"$work/owner.out"
    "$build/tests/chat/x11/selection_owner" CLIPBOARD serve "$1" 2 1000 >"$work/owner.out" 2>&1 &
    pids+=($!)
    wait_for 10 grep -qs owner "$work/owner.out" || fail "the owner did not take the clipboard"
}
all_sent() { grep -qs sent "$work/owner.out"; }

start_app
wait_for 30 some_sidecar || fail "the pane's sidecar never started"
wait_settled

# Return, then Restart session while the paste is read.
printf 'PASTE-ONE arrives slowly' >"$work/one.txt"
owner "$work/one.txt"
focus_composer
wait_settled
xdotool type --delay 20 "Before restart "
xdotool key ctrl+v Return
pane_menu_entry 2  # Restart session
grep -qs sent "$work/owner.out" && fail "the paste was read before the restart: the owner is too quick"
wait_for 60 asked "Before restart PASTE-ONE arrives slowly" || { shot 1_not_sent; fail "the message waiting for the paste did not go with it across Restart session"; }
wait_settled
shot 1_sent_across_restart

# Ctrl+V, Restart session, then Return in the new composer.
printf 'PASTE-TWO arrives slowly' >"$work/two.txt"
owner "$work/two.txt"
focus_composer
wait_settled
xdotool type --delay 20 "Then "
xdotool key ctrl+v
pane_menu_entry 2
wait_for 30 some_sidecar || fail "no sidecar after the restart"
focus_composer
xdotool key ctrl+End Return
wait_for 60 asked "Then PASTE-TWO arrives slowly" || { shot 2_not_sent; fail "Return after the restart did not send the paste"; }
wait_settled

# Return, then Stop: the paste goes into the kept draft; the card's Restart sends the message.
printf 'PASTE-THREE arrives slowly' >"$work/three.txt"
owner "$work/three.txt"
focus_composer
wait_settled
xdotool type --delay 20 "Stopped "
xdotool key ctrl+v Return
pane_menu_entry 6  # Stop
wait_for 10 find_restart_button >/dev/null || fail "no stopped card after Stop"
wait_for 30 all_sent || fail "the owner never finished sending"
wait_settled
shot 3_stopped_with_the_paste_in_the_draft
asked "Stopped " && fail "the message went while the pane was stopped"
card_restart
wait_for 60 asked "Stopped PASTE-THREE arrives slowly" || { shot 3_not_sent; fail "the message waiting across Stop did not go with its paste"; }
wait_settled
shot 3_sent_after_the_cards_restart

# A PNG's signature and 200,000 bytes of noise: refused, nothing attached; a real PNG beside it goes.
python3 -c "import os,sys; open(sys.argv[1],'wb').write(b'\x89PNG\r\n\x1a\n' + os.urandom(200000))" "$work/broken.png"
paste_as image/png "$work/broken.png"
wait_settled
shot 4_broken_png_refused
xdotool type --delay 20 "Broken picture"
xdotool key Return
wait_for 60 asked "Broken picture" || fail "the message after the broken picture did not go"
sent_with "Broken picture" 0 || fail "the broken picture went with the message"
convert -size 64x40 xc:'#e07a2f' "$work/good.png"
paste_as image/png "$work/good.png"
wait_settled
xdotool type --delay 20 "Good picture"
xdotool key Return
wait_for 60 asked "Good picture" || fail "the message with the good picture did not go"
sent_with "Good picture" 1 || fail "the good picture did not go with its message"
quit_app
echo "$e2e: pastes read across Restart session (Return before and after) and Stop went with their messages; a broken PNG was refused, a good one sent"
