#!/usr/bin/env bash
# End to end in the built app under X, with real input (xdotool): the keyboard comes back to a
# terminal pane after a sheet. The pane's program asks for focus reports (?1004h) and reads what
# the terminal sends; Ctrl+Shift+T opens the add-session sheet and Escape closes it. The program
# then has read CSI O and CSI I, and the next command typed, with no click in between, runs in
# that pane.
#
# Usage: focus_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under xvfb-run -a),
# xdotool and ImageMagick.
set -euo pipefail
e2e=focus_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9  # no agent runs here: the model's address is never used
project="$work/projects/web"
seed_terminal_pane "$project"
# The program: focus reports on, the terminal raw, the two reports read byte by byte, then back.
cat >"$project/focus.sh" <<'SH'
printf '\033[?1004h'; stty raw -echo; dd bs=1 count=6 of=focus.log 2>/dev/null; stty sane; printf '\033[?1004l'; touch focus.done
SH

# The colour of one pixel of the window: the top bar's, which the sheet's backdrop darkens.
bar_pixel() {
    import -window "$window" "$work/px.png" 2>/dev/null
    convert "$work/px.png" -format '%[pixel:p{600,8}]' info:
}
bar_is() { [ "$(bar_pixel)" = "$1" ]; }
bar_is_not() { [ "$(bar_pixel)" != "$1" ]; }

start_app
point_at_middle
xdotool click 1
wait_settled
xdotool type --delay 20 "sh focus.sh"
xdotool key Return
wait_for 20 test -f "$project/focus.log" || fail "the program did not start in the terminal"
wait_settled  # its output, the mode included, has been read and drawn
bar=$(bar_pixel)
shot 1_terminal

xdotool key ctrl+shift+t
wait_for 10 bar_is_not "$bar" || fail "Ctrl+Shift+T showed no sheet"
wait_settled
shot 2_sheet
xdotool key Escape
wait_for 10 bar_is "$bar" || fail "Escape did not close the sheet"
wait_for 10 test -f "$project/focus.done" \
    || fail "the program never heard that the keyboard came back (it read: $(od -An -c "$project/focus.log" 2>/dev/null))"
[ "$(od -An -tx1 "$project/focus.log" | tr -d ' \n')" = 1b5b4f1b5b49 ] \
    || fail "the program read $(od -An -c "$project/focus.log"), not CSI O then CSI I"

xdotool type --delay 20 "touch typed-after-the-sheet"
xdotool key Return
wait_for 10 test -f "$project/typed-after-the-sheet" || fail "the keys typed after the sheet closed went nowhere"
wait_settled
shot 3_typed_after
quit_app
echo "$e2e: passed"
