#!/usr/bin/env bash
# A quit with many live terminal panes, and a start while it goes: the built app under X with a
# saved state of E2E_WORKSPACES workspaces (20) of 5 bash panes, each workspace visited so every
# shell runs; then the window's close button, and half a second later a second start of the app.
# Every shell must be gone once the first copy has ended, and the second start must open its own
# window on the same data (it waits for the quitting copy instead of ending without one). Prints
# how long the first copy lived after the click, and after its window went.
#
# Usage: quit_many_panes_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, xdotool, python3
# and ImageMagick.
set -euo pipefail
e2e=quit_many_panes_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

workspaces=${E2E_WORKSPACES:-20}
per=${E2E_PER:-5}
as_test_user 9
printf 'PS1="\\$ "\nHISTFILE=\n' >"$HOME/.bash_profile"
python3 "$src/tests/terminal/view/e2e/seed_workspaces.py" "$state" "$work/projects" "$workspaces" "$per" >"$work/colours"
mapfile -t colours <"$work/colours"
settle_crop=200x2000+0+0 # the rail: carets blink in the grid

start_app
first=$app
visit() {  # <hex colour>: selects a workspace, scrolling the rail down until its row shows
    local i
    for i in $(seq 1 12); do
        if rail_row "$1" >/dev/null 2>&1; then
            select_workspace "$1"
            return
        fi
        xdotool mousemove --window "$window" 100 400 click --repeat 3 5
        wait_settled
    done
    fail "no rail row of colour $1"
}
shells_of() { pgrep -x bash -P "$1" || true; }
for w in $(seq 1 "$workspaces"); do
    [ "$w" = 1 ] || visit "${colours[$((w - 1))]}"
    wait_for 30 bash -c "[ \"\$(pgrep -c -x bash -P $first)\" -ge $((w * per)) ]" \
        || fail "workspace $w: $(shells_of "$first" | wc -l) shells of $((w * per)) started"
done
shells=$(shells_of "$first")
echo "$e2e: $(wc -w <<<"$shells") shells run"

# The close button; the window's and the process's ends, timed.
clicked=$(now_ms)
xdotool mousemove --window "$window" 22 18 click 1
(
    sleep 0.5
    "$build/bin/brinmoor" >>"$work/second.log" 2>&1 &
    echo $! >"$work/second.pid"
    wait
    echo "$?" >"$work/second.status"
) &
pids+=($!)
window_gone=""
while kill -0 "$first" 2>/dev/null; do
    if [ -z "$window_gone" ] && ! xwininfo -id "$window" 2>/dev/null | grep -q IsViewable; then
        window_gone=$(now_ms)
    fi
    sleep 0.02
done
ended=$(now_ms)
app=""
[ -n "$window_gone" ] || window_gone=$ended
echo "$e2e: $((workspaces * per)) panes: the process ended $((ended - clicked)) ms after the click," \
     "$((ended - window_gone)) ms after its window went"
for s in $shells; do
    ! kill -0 "$s" 2>/dev/null || fail "shell $s outlived the app"
done

# The second start opens a window of its own, on the same workspaces, and runs their shells.
wait_for 10 test -s "$work/second.pid" || fail "the second start did not begin"
app=$(cat "$work/second.pid")
second=$(timeout 30 xdotool search --sync --onlyvisible --pid "$app" --name Brinmoor | head -1) || true
if [ -z "$second" ]; then
    wait_for 5 test -s "$work/second.status" || true
    fail "the start during the quit opened no window (exit status $(cat "$work/second.status" 2>/dev/null || echo none)): $(cat "$work/second.log")"
fi
window=$second
wait_settled
wait_for 30 bash -c "[ \"\$(pgrep -c -x bash -P $app)\" -ge $per ]" || fail "the second copy runs no shells"
shot second_copy
quit_app
