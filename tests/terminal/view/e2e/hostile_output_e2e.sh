#!/usr/bin/env bash
# End to end on a terminal pane fed hostile output: the built app under X, its one terminal pane
# running hostile_program.py as the login shell, driven with real input (xdotool). (Helpers in
# the chat tests' e2e_lib.sh; no agent CLI is needed.)
#
# Images: 20,000 times cursor home and an inline image 199 cells wide grow the app by less than
# 200 MB (its resident memory before and after). Sixel: one band painted 200,000 times over
# (1.4 MB) leaves no stretch of 500 ms or more in which the GUI thread did not turn its event loop
# (the app's stall log; E2E_STALL_MS overrides), nor do 50 sixels of 4096 x 4096 pixels (240 KB),
# after which the text that followed them is on the screen. Links: with "xdg-open" a stand-in that logs what
# it is asked to open, a Ctrl+click on text printed before a link was opened (the cursor only
# passed over it inside the link) opens nothing, and a Ctrl+click on text printed inside a link
# whose address holds a ";" opens that address whole.
#
# Usage: hostile_output_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, python3 and ImageMagick.
set -euo pipefail
e2e=hostile_output_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9
folder="$work/projects/web"
cat >"$work/pane-shell" <<SH
#!/bin/sh
exec python3 "$src/tests/terminal/view/e2e/hostile_program.py" "$folder"
SH
chmod +x "$work/pane-shell"
export SHELL="$work/pane-shell"
mkdir -p "$work/bin"
cat >"$work/bin/xdg-open" <<SH
#!/bin/sh
printf '%s\n' "\$*" >>"$work/opened.log"
SH
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH"
seed_terminal_pane "$folder"
export BRINMOOR_STALL_LOG="$work/stalls.log"

rss_mb() { awk '/^VmRSS/ { print int($2 / 1024) }' "/proc/$app/status"; }
# Types a key for the program and waits until the terminal has taken in what it printed.
run_key() {  # <key> <seconds>
    xdotool type "$1"
    wait_for "$2" test -e "$folder/$1-done" || fail "the output of key $1 was never taken in"
}

start_app
wait_for 30 test -e "$folder/ready" || fail "the pane's program did not start"
wait_settled
point_at_middle
xdotool click 1 # the pane takes the keyboard

before=$(rss_mb)
run_key i 300
wait_settled
after=$(rss_mb)
shot 1_images
echo "$e2e: 20,000 images at one spot: the app went from $before MB to $after MB"
[ $((after - before)) -lt 200 ] || fail "20,000 images at one spot grew the app by $((after - before)) MB"

since=$(now_ms)
run_key s 120
wait_settled
shot 2_sixel_band
E2E_STALL_MS=${E2E_STALL_MS:-499} stall_report "$since" "a sixel band painted 200,000 times"

since=$(now_ms)
run_key k 300
wait_settled
shot 3_sixel_stack
E2E_STALL_MS=${E2E_STALL_MS:-499} stall_report "$since" "50 sixels of 4096 x 4096"

run_key l 30
wait_settled
shot 4_text_under_a_passing_link
xdotool keydown ctrl click 1 keyup ctrl
run_key m 30
wait_settled
shot 5_link_with_semicolon
xdotool keydown ctrl click 1 keyup ctrl
wait_for 20 test -s "$work/opened.log" || fail "a Ctrl+click on the link opened nothing"
echo "$e2e: opened: $(tr '\n' ' ' <"$work/opened.log")"
[ "$(cat "$work/opened.log")" = "http://x.example/a;b=c" ] || fail "opened $(cat "$work/opened.log")"

xdotool type q
quit_app
echo "$e2e: images at one spot bounded, a sixel band without a freeze, links only on their own text and whole"
