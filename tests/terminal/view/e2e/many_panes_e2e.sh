#!/usr/bin/env bash
# A hundred terminal panes under an address-space limit, as `ulimit -v` sets it on shared
# machines: the built app under X with the software renderer and a 3 GB limit (E2E_AS_KB), a saved
# state of 20 workspaces of 5 terminal panes (bash), each workspace visited in turn. The app must
# stay up with every shell started, and a pane of the first and of the last workspace must still
# run typed commands. Prints the app's address space, threads and resident size after each five.
# Then that pane of the first workspace answers for margins spanning its width, before and after
# the window is resized (margins_probe.py).
#
# Usage: many_panes_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, xdotool, python3 and
# ImageMagick.
set -euo pipefail
e2e=many_panes_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

workspaces=20
per=5
as_test_user 9
cat >"$HOME/.bash_profile" <<'SH'
PS1='\$ '
HISTFILE=
alive() { echo alive >"$PWD/alive"; }
SH
echo "margins() { python3 '$src/tests/terminal/view/e2e/margins_probe.py' \"\$PWD/margins-\$1\"; }" >>"$HOME/.bash_profile"
# Twenty colours of the rail, one a workspace, and their panes' folders.
python3 "$src/tests/terminal/view/e2e/seed_workspaces.py" "$state" "$work/projects" "$workspaces" "$per" >"$work/colours"
mapfile -t colours <"$work/colours"
settle_crop=200x2000+0+0 # the rail: carets blink in the grid

ulimit -S -v "${E2E_AS_KB:-2929687}" # 3,000,000,000 bytes, for the app and what it starts
start_app
figures() { awk '/^(VmSize|Threads|VmRSS):/ { printf "%s %s ", $1, $2 } END { print "" }' "/proc/$app/status"; }
# Selects a workspace, scrolling the rail (button 5 down, 4 up) until its row shows.
visit() {  # <hex colour> <4|5>
    local i
    for i in $(seq 1 12); do
        if rail_row "$1" >/dev/null 2>&1; then
            select_workspace "$1"
            return
        fi
        xdotool mousemove --window "$window" 100 400 click --repeat 3 "$2"
        wait_settled
    done
    fail "no rail row of colour $1"
}
shells() { pgrep -c -x bash -P "$app" || true; }
for w in $(seq 1 "$workspaces"); do
    visit "${colours[$((w - 1))]}" 5
    wait_for 30 bash -c "[ \"\$(pgrep -c -x bash -P $app)\" -ge $((w * per)) ]" \
        || fail "workspace $w: $(shells) shells of $((w * per)) started"
    kill -0 "$app" || fail "the app ended at workspace $w"
    ((w % 5)) || echo "$e2e: after $w workspaces: $(shells) shells; $(figures)"
done
shot 1_last_workspace

# A pane of the last workspace (shown now) and of the first still answer.
answers() {  # <workspace number>
    point_at_middle
    xdotool click 1
    xdotool type --delay 20 alive
    xdotool key Return
    wait_for 20 bash -c "ls $work/projects/w$(printf %02d "$1")p*/alive >/dev/null 2>&1"
}
answers "$workspaces" || fail "no pane of the last workspace ran a typed command"
visit "${colours[0]}" 4
answers 1 || fail "no pane of the first workspace ran a typed command"
shot 2_first_workspace

# That pane's terminal has margins spanning its width, before and after the window is resized: it
# answers DECRQSS for DECSLRM with 1;<columns>s and prints the alphabet in margin mode on one line.
margins_hold() {  # <name>
    local file cols answer before after
    xdotool type --delay 20 "margins $1"
    xdotool key Return
    wait_for 20 bash -c "ls $work/projects/w01p*/margins-$1 >/dev/null 2>&1" || fail "$1: the margins probe did not answer"
    file=$(ls "$work"/projects/w01p*/margins-"$1")
    read -r cols answer before after <"$file"
    [ "$answer" = "\\eP1\$r1;${cols}s\\e\\" ] || fail "$1: $cols columns, DECRQSS for DECSLRM answered $answer"
    [ "${before%,*}" = "${after%,*}" ] && [ "${after#*,}" = 27 ] || fail "$1: the alphabet wrapped (cursor at $before, then $after)"
    echo "$e2e: $1: $cols columns, DECRQSS for DECSLRM answers $answer, the alphabet printed on one line" >&2
    echo "$cols"
}
cols_before=$(margins_hold new-pane)
xdotool windowsize "$window" 1000 700
wait_settled
cols_after=$(margins_hold after-resize)
[ "$cols_before" != "$cols_after" ] || fail "the resize left the pane at $cols_before columns"
kill -0 "$app" || fail "the app ended"
echo "$e2e: $((workspaces * per)) panes under a $(ulimit -v) KB address-space limit; $(figures)"
quit_app
# app.log holds the app's diagnostics once it has quit.
! grep -h "Cannot start" "$work/app.log" || fail "a pane could not start"
