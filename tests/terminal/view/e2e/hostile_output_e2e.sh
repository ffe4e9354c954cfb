#!/usr/bin/env bash
# A terminal pane fed hostile output (hostile_program.py as its login shell), in the built app
# under X, driven with xdotool: 20,000 images at one spot grow the app by less than 200 MB; a sixel
# band painted 200,000 times and 50 sixels of 4096 x 4096 stall the GUI thread less than 500 ms,
# inline images (twenty dots drawn at 4095 x 4095, ten 5600 x 5600 PNGs), 400,000 links (more than
# there are link codes) and an 8 MB title pushed 10,000 times less than 200 ms, the title growing
# the app by less than 20 MB (E2E_STALL_MS overrides the stall bounds); a Ctrl+click on text a link only passed over opens nothing, and
# one on a link whose address holds ";" opens it whole (xdg-open is a stand-in that logs).
#
# Usage: hostile_output_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, xdotool,
# python3 and ImageMagick.
set -euo pipefail
e2e=hostile_output_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9
folder="$work/projects/web"
pane_runs python3 "$src/tests/terminal/view/e2e/hostile_program.py" "$folder"
mkdir -p "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>%q\n' "$work/opened.log" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH" BRINMOOR_STALL_LOG="$work/stalls.log"
seed_terminal_pane "$folder"

# Types a key for the program and waits until the terminal has taken in what it printed.
run_key() {  # <key> <seconds> <screenshot>
    xdotool type "$1"
    wait_for "$2" test -e "$folder/$1-done" || fail "the output of key $1 was never taken in"
    wait_settled
    shot "$3"
}

start_app
wait_for 30 test -e "$folder/ready" || fail "the pane's program did not start"
wait_settled
point_at_middle
xdotool click 1 # the pane takes the keyboard

before=$(rss_mb)
run_key i 300 1_images
after=$(rss_mb)
echo "$e2e: 20,000 images at one spot: the app went from $before MB to $after MB"
[ $((after - before)) -lt 200 ] || fail "20,000 images at one spot grew the app by $((after - before)) MB"

for step in "s 120 499 2_sixel_band a sixel band painted 200,000 times" "k 300 499 3_sixel_stack 50 sixels of 4096 x 4096" \
    "p 120 199 3_dots twenty 1 x 1 PNGs drawn at 4095 x 4095" "g 300 199 3_pictures ten 5600 x 5600 PNGs" \
    "n 300 199 3_links 400,000 links, a row full to a line" "t 120 199 3_titles an 8 MB title pushed 10,000 times"; do
    read -r key seconds limit name what <<<"$step"
    since=$(now_ms) before=$(rss_mb)
    run_key "$key" "$seconds" "$name"
    E2E_STALL_MS=${E2E_STALL_MS:-$limit} stall_report "$since" "$what"
    # Titles are bounded to what a window shows: their pushes cost nothing near the title's size.
    [ "$key" != t ] || [ $(($(rss_mb) - before)) -lt 20 ] || fail "$what grew the app by $(($(rss_mb) - before)) MB"
done

run_key l 30 4_text_under_a_passing_link
xdotool keydown ctrl click 1 keyup ctrl
run_key m 30 5_link_with_semicolon
xdotool keydown ctrl click 1 keyup ctrl
wait_for 20 test -s "$work/opened.log" || fail "a Ctrl+click on the link opened nothing"
[ "$(cat "$work/opened.log")" = "http://x.example/a;b=c" ] || fail "opened $(tr '\n' ' ' <"$work/opened.log")"

xdotool type q
quit_app
echo "$e2e: images at one spot bounded, sixels without a freeze, links only on their own text and whole"
