#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server, seven workspaces: a chat pane read at four depths
# of a 108-paragraph answer that has three short exchanges after it comes back to the same rows on
# every return that makes its workspace's grid anew (three returns a depth). Qt draws each frame at
# once (QT_QPA_UPDATE_IDLE_TIME=0), so a frame falls between the pane getting its session and the
# list laying out its rows on every return, where a return is most easily taken to the end. Then,
# back at the end, a return still follows the conversation's end.
#
# Usage: chat_return_depths_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick; the CLI comes from the test cache. E2E_DEPTHS (wheel steps
# up, blank-separated) replaces the four depths.
set -euo pipefail
e2e=chat_return_depths_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

python3 - >"$work/claude.json" <<'PY'
import json
answer = "\n\n".join("Paragraph %d of 108: the migration rewrote table %d and its index, then the checks ran again." % (i, i)
                     for i in range(1, 109))
print(json.dumps([{"text": answer}] + [{"text": "Short answer %d." % i} for i in range(1, 4)]))
PY
server claude-server "$work/claude.json"
as_test_user "$port"
# Seven workspaces; the first holds one Claude pane in the projects' folder.
python3 - "$state" "$work/projects/web" <<'PY'
import json, sys
state, folder = sys.argv[1:]
colours = ["5b8cee", "c98a3a", "3aa655", "b04fc9", "d9534f", "2bb3b3", "8a8f3a"]
pane = {"autoApprove": False, "autoCompact": True, "directory": folder, "id": "5E1F0A00-0000-4000-8000-0000000000E1",
        "kind": "chat", "muted": False, "project": "web", "provider": "claude", "sessionLabel": "session 1"}
json.dump({"recents": [folder], "selected": "5E1F0A00-0000-4000-8000-000000000001", "workspaces": [
    {"bigSideLeft": False, "colorHex": c, "id": "5E1F0A00-0000-4000-8000-%012d" % (i + 1), "maxRows": 4,
     "name": "W%d" % (i + 1), "sessions": [pane] if i == 0 else []} for i, c in enumerate(colours)]},
    open(state, "w"))
PY

export QT_QPA_UPDATE_IDLE_TIME=0
start_app
read -r width height < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')
asked() { grep -qs "$1" "$work/claude-server.jsonl"; }
for message in "Tell me everything" "Short question 1" "Short question 2" "Short question 3"; do
    type_message "$message"
    wait_for 60 asked "$message" || fail "\"$message\" never reached the model"
    wait_settled
done
shot 1_conversation
# The conversation's rows (the jump button's corner and the composer left out), as a picture.
rows() { import -window "$window" -depth 8 -crop 860x$((height - 330))+260+120 +repage "$work/$1.ppm"; }
differ() { python3 "$src/tests/tools/ppm_diff.py" pixels "$work/$1.ppm" "$work/$2.ppm"; }
# Away to every other workspace, then back: the first one's grid is made anew.
return_to_pane() {
    local colour
    for colour in c98a3a 3aa655 b04fc9 d9534f 2bb3b3 8a8f3a 5b8cee; do select_workspace "$colour"; done
}
wheel() {  # <up|down> <clicks>, over the conversation
    local button=4 i
    [ "$1" = up ] || button=5
    xdotool mousemove --window "$window" 700 300
    for ((i = 0; i < $2; i++)); do xdotool click "$button"; done
    wait_settled
}
for depth in ${E2E_DEPTHS-5 12 22 34}; do
    wheel down 200
    wheel up "$depth"
    rows "d$depth"
    for visit in 1 2 3; do
        return_to_pane
        rows "d$depth-$visit"
        changed=$(differ "d$depth" "d$depth-$visit")
        echo "$e2e: $depth wheel steps up, return $visit: $changed pixels of the conversation differ"
        [ "$changed" -lt 200 ] || { shot "2_depth${depth}_return${visit}"; fail "$depth steps up, return $visit: not the rows being read"; }
    done
    shot "2_depth${depth}"
done
# At the end: every return comes back to the end (the pane's own end, where its row stops short of
# the list's bottom margin that a wheel reaches), and a new answer then shows.
wheel down 200
return_to_pane
rows at_end
shot 3_at_end
for visit in 1 2; do
    return_to_pane
    rows "at_end-$visit"
    changed=$(differ at_end "at_end-$visit")
    echo "$e2e: at the end, return $visit: $changed pixels of the conversation differ"
    [ "$changed" -lt 200 ] || { shot "3_at_end_return$visit"; fail "a reader at the end came back elsewhere"; }
done
type_message "One more"
wait_for 60 asked "One more" || fail "\"One more\" never reached the model"
wait_settled
rows at_end-answered
[ "$(differ at_end at_end-answered)" -ge 200 ] || fail "the new answer did not show at the end"
quit_app
echo "$e2e: twelve returns at four depths came back to the rows being read; at the end a return follows the end"
