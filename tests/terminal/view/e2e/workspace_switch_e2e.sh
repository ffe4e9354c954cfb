#!/usr/bin/env bash
# Panes that are drawing when their workspace comes back show their own screen: the built app under
# X with the software renderer, two workspaces ("Busy": a pane listing / under a spinner that
# rewrites its row 100 times a second, and a pane running `yes`; "Quiet": a bash). Each round
# selects "Quiet" and then "Busy" again; the grid must then look as it did before the first switch
# but for the spinner's row and the carets (fewer than 3,000 pixels differ: a pane painted only
# where it changed differs by hundreds of thousands). Rounds: $ROUNDS (3).
#
# Usage: workspace_switch_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, xdotool,
# python3 and ImageMagick.
set -euo pipefail
rounds=${ROUNDS:-3}
e2e=workspace_switch_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9
pane_runs bash "$src/tests/terminal/view/e2e/switch_panes.sh"
mkdir -p "$work/projects/spin" "$work/projects/yes"
python3 - "$state" "$work/projects" <<'PY'
import json, sys
state, projects = sys.argv[1:]
def pane(n, folder):
    return {"id": "5E1F0A00-0000-4000-8000-%012d" % n, "kind": "terminal", "project": folder,
            "directory": projects + "/" + folder, "sessionLabel": "", "autoApprove": False, "muted": False}
def ws(n, name, colour, sessions):
    return {"id": "5E1F0A00-0000-4000-8000-%012d" % n, "name": name, "colorHex": colour, "maxRows": 4,
            "bigSideLeft": False, "sessions": sessions}
json.dump({"recents": [projects + "/web"], "selected": "5E1F0A00-0000-4000-8000-000000000001", "workspaces": [
    ws(1, "Busy", "5b8cee", [pane(11, "spin"), pane(12, "yes")]),
    ws(2, "Quiet", "c98a3a", [pane(21, "web")])]}, open(state, "w"))
PY
# Settled is judged on the rail alone: the busy panes never stop changing.
settle_crop=200x2000+0+0

start_app
touch "$work/projects/spin/go" "$work/projects/yes/go"
# The grid (right of the rail) as a picture.
grid() { import -window "$window" -depth 8 -crop +230+0 +repage "$work/$1.ppm"; }
# How many pixels of the grid differ from the picture before the switches.
grid_diff() {
    grid now
    python3 "$(dirname "$0")/../../../tools/ppm_diff.py" pixels "$work/before.ppm" "$work/now.ppm"
}
# Two pictures in a row agree but for the spinner: the listing and yes have drawn.
until_drawn() { grid before && [ "$(grid_diff)" -lt 3000 ]; }
wait_for 30 test -e "$work/projects/spin/started" -a -e "$work/projects/yes/started" || fail "the panes did not start"
wait_for 30 until_drawn || fail "the busy panes never drew a steady picture"
shot 1_before
for round in $(seq 1 "$rounds"); do
    select_workspace c98a3a # Quiet
    select_workspace 5b8cee # Busy
    back_right() { [ "$(grid_diff)" -lt 3000 ]; }
    if ! wait_for 10 back_right; then
        shot "round${round}_after"
        fail "round $round: $(grid_diff) pixels of the grid differ from before the switch"
    fi
    echo "$e2e: round $round: $(grid_diff) pixels of the grid differ from before the switch"
done
shot 2_after
quit_app
echo "$e2e: the busy panes show their own screen after every switch back"
