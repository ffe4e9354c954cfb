#!/usr/bin/env bash
# End to end in the built app under X, with real input (xdotool): an open sheet lets nothing
# through to the terminal pane behind it. Another program holds "PRIMARYPASTE" as the primary
# selection; the pane's program writes down every byte the terminal sends it. A middle click on
# the pane pastes there (the control). With the New Workspace sheet open, a middle click, a right
# click and the wheel on the pane behind its backdrop, then "XY" typed: the program reads none of
# it. A left click on the backdrop closes the sheet, and a second middle click on the pane pastes
# again: the program has read the text exactly twice (pastes go in one at a time, in order, so the
# one after the sheet comes after any that leaked).
#
# Usage: sheet_backdrop_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (xvfb-run -a),
# xdotool, xclip and ImageMagick.
set -euo pipefail
e2e=sheet_backdrop_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9  # no agent runs here: the model's address is never used
project="$work/projects/web"
seed_terminal_pane "$project"
pane_runs sh -c 'stty raw -echo; exec cat >typed.log'
printf 'PRIMARYPASTE' | xclip -quiet -selection primary -i >/dev/null 2>&1 &
pids+=($!)

pastes() { grep -o PRIMARYPASTE "$project/typed.log" | wc -l; }
pastes_are() { [ "$(pastes)" = "$1" ]; }
# The colour of one pixel of the window: the top bar's, which the sheet's backdrop darkens.
bar_pixel() {
    import -window "$window" "$work/px.png" 2>/dev/null
    convert "$work/px.png" -format '%[pixel:p{600,8}]' info:
}
bar_is() { [ "$(bar_pixel)" = "$1" ]; }
bar_is_not() { [ "$(bar_pixel)" != "$1" ]; }

start_app
wait_for 20 test -e "$project/typed.log" || fail "the pane's program did not start"
read -r width height < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')
# On the pane, beside where the sheet stands (it is centred, some 330 points wide).
at=(300 $((height / 2)))
xdotool mousemove --window "$window" "${at[@]}" click 2
wait_for 10 pastes_are 1 || fail "the control: a middle click on the pane pasted nothing ($(od -An -c "$project/typed.log"))"
wait_settled
bar=$(bar_pixel)

xdotool key ctrl+shift+n
wait_for 10 bar_is_not "$bar" || fail "Ctrl+Shift+N showed no sheet"
wait_settled
xdotool mousemove --window "$window" "${at[@]}" click 2 click 3 click 4 click 5
xdotool type --delay 20 XY
wait_settled
shot 1_sheet_after_clicks
bar_is_not "$bar" || fail "the clicks behind the sheet closed it"
# What leaked has mostly arrived by now; the count after the sheet catches the rest.
pastes_are 1 || fail "the middle click behind the sheet pasted into the pane"
! grep -q XY "$project/typed.log" || fail "the keys typed into the sheet reached the pane"
# A left click on the backdrop closes the sheet, wherever the keyboard went.
xdotool mousemove --window "$window" "${at[@]}" click 1
wait_for 10 bar_is "$bar" || fail "a left click on the backdrop did not close the sheet"

xdotool mousemove --window "$window" "${at[@]}" click 2
wait_for 10 bash -c "[ \$(grep -o PRIMARYPASTE '$project/typed.log' | wc -l) -ge 2 ]" || fail "the middle click after the sheet pasted nothing"
wait_settled
read_text=$(od -An -c "$project/typed.log" | tr -s ' \n' ' ')
pastes_are 2 || fail "the program read the paste $(pastes) times, not twice: $read_text"
! grep -q XY "$project/typed.log" || fail "the keys typed into the sheet reached the pane: $read_text"
quit_app
echo "$e2e: passed"
