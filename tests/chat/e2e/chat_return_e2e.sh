#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server, seven workspaces: what the user left in two chat
# panes comes back after visiting the six other workspaces (the first one's grid is made anew):
# pane A's two-line draft with its cursor and its pasted image chip, and its conversation scrolled
# up into a 108-paragraph answer, at the same place; pane B's question card with "Other…" chosen
# and half-typed text. Then an Effort change on pane A, which its running sidecar takes (nothing
# restarts), leaves the scrolled-up view where it was; and the draft, sent, reaches the model
# whole with its image and at the new effort, as does the typed answer.
#
# Usage: chat_return_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=chat_return_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

python3 - >"$work/claude.json" <<'PY'
import json
answer = "\n\n".join("Paragraph %d of 108: the migration rewrote table %d and its index, then the checks ran again." % (i, i)
                     for i in range(1, 109))
print(json.dumps([
    {"text": answer},
    {"tool": {"name": "AskUserQuestion", "input": {"questions": [{"question": "Which store should the migration target?",
        "header": "Store", "multiSelect": False,
        "options": [{"label": "Postgres", "description": "the server"}, {"label": "SQLite", "description": "a file"}]}]}}},
    {"text": "Noted the store."},
    {"text": "Got the draft."}]))
PY
server claude-server "$work/claude.json"
as_test_user "$port"
# Seven workspaces; the first holds two Claude panes in the projects' folder.
python3 - "$state" "$work/projects/web" <<'PY'
import json, sys
state, folder = sys.argv[1:]
colours = ["5b8cee", "c98a3a", "3aa655", "b04fc9", "d9534f", "2bb3b3", "8a8f3a"]
def pane(n):
    return {"autoApprove": False, "autoCompact": True, "directory": folder, "id": "5E1F0A00-0000-4000-8000-0000000000E%d" % n,
            "kind": "chat", "muted": False, "project": "web", "provider": "claude", "sessionLabel": "session %d" % n}
json.dump({"recents": [folder], "selected": "5E1F0A00-0000-4000-8000-000000000001", "workspaces": [
    {"bigSideLeft": False, "colorHex": c, "id": "5E1F0A00-0000-4000-8000-%012d" % (i + 1), "maxRows": 4,
     "name": "W%d" % (i + 1), "sessions": [pane(1), pane(2)] if i == 0 else []} for i, c in enumerate(colours)]},
    open(state, "w"))
PY

start_app
read -r width height < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')
echo "$e2e: window ${width}x${height}"
wait_settled
shot 0_start
# Pane A (left) and pane B (right): their composers, their timelines.
a_x=460 b_x=960 composer_y=$((height - 72))
say() {  # <x> <text>: typed into that pane's composer and sent
    xdotool mousemove --window "$window" "$1" "$composer_y" click 1
    wait_settled
    xdotool type --delay 20 "$2"
    xdotool key Return
}
asked() { grep -qs "$1" "$work/claude-server.jsonl"; }
say "$a_x" "Tell me everything"
wait_for 60 asked 'Tell me everything' || fail "pane A's message never reached the model"
wait_settled
shot 1_answer
say "$b_x" "Ask me"
wait_for 60 asked 'Ask me' || fail "pane B's message never reached the model"
wait_settled
shot 2_question
# Pane B: "Other…", the card's last row above the composer, and half an answer typed.
xdotool mousemove --window "$window" "$b_x" $((height - 122)) click 1
wait_settled
xdotool type --delay 20 "PARTIAL-OTHER text"
# Pane A: scrolled up into the answer by the wheel, then the draft: two lines and a pasted image.
xdotool mousemove --window "$window" "$a_x" 400
for _ in $(seq 1 12); do xdotool click 4; done
wait_settled
xdotool mousemove --window "$window" "$a_x" "$composer_y" click 1
xdotool type --delay 20 "DRAFT-ALPHA unsent words"
xdotool key shift+Return
xdotool type --delay 20 "second line"
convert -size 64x40 xc:'#e07a2f' "$work/chip.png"
xclip -quiet -selection clipboard -t image/png -i "$work/chip.png" >/dev/null 2>&1 &
pids+=($!)
offers_png() { xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/png; }
wait_for 10 offers_png || fail "the image never reached the clipboard"
xdotool key ctrl+v
# The chip: the image's orange in pane A's composer (its lower part of the window).
chip_shown() {
    import -window "$window" -depth 8 -crop 490x260+230+$((height - 260)) +repage "$work/chip-area.ppm"
    python3 - "$work/chip-area.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
px = data.split(b"\n", 3)[3]
sys.exit(sum(1 for i in range(0, len(px), 3) if px[i:i + 3] == b"\xe0\x7a\x2f") < 200)
PY
}
wait_for 20 chip_shown || { shot 3_no_chip; fail "no image chip in pane A's composer"; }
wait_settled
shot 3_before
# The panes as pictures (right of the rail), and how many pixels differ from an earlier one.
# Pane A's conversation and pane B's question card, as pictures.
grid() {
    import -window "$window" -depth 8 -crop 470x460+240+125 +repage "$work/$1.ppm"
    import -window "$window" -depth 8 -crop 480x270+740+415 +repage "$work/$1-card.ppm"
}
grid_diff() {  # <earlier> <now>
    python3 "$src/tests/tools/ppm_diff.py" pixels "$work/$1.ppm" "$work/$2.ppm"
}
grid before
# Two other workspaces and back: the first one's grid was kept, nothing of it was made again.
for colour in c98a3a 3aa655 5b8cee; do select_workspace "$colour"; done
grid kept
echo "$e2e: after two others $(grid_diff before kept) pixels of the conversation and $(grid_diff before-card kept-card) of the card differ"
[ "$(grid_diff before kept)" -lt 200 ] && [ "$(grid_diff before-card kept-card)" -lt 200 ] \
    || fail "the panes changed after a return from two other workspaces"
# Every other workspace in turn, then the first again: its grid went and is made anew.
for colour in c98a3a 3aa655 b04fc9 d9534f 2bb3b3 8a8f3a 5b8cee; do select_workspace "$colour"; done
wait_for 20 chip_shown || { shot 4_no_chip; fail "the image chip is gone after the return"; }
wait_settled
shot 4_returned
grid returned
echo "$e2e: after the return $(grid_diff before returned) pixels of the conversation and $(grid_diff before-card returned-card) of the card differ"
[ "$(grid_diff before returned)" -lt 200 ] || fail "pane A's conversation is not where it was left"
[ "$(grid_diff before-card returned-card)" -lt 200 ] || fail "pane B's question card is not as it was left"

# Another Effort for pane A, in its mode menu (the pill at the foot, the dot left of "High"): its
# running sidecar and CLI take it (a restart would end what its agent started); the draft, sent
# below, asks at it.
sidecars() { leftovers | awk '/brinmoor-agent.mjs/ {print $1}' | sort | tr '\n' ' '; }
old_sidecars=$(sidecars)
old_clis=$(claude_clis | sort | tr '\n' ' ')
xdotool mousemove --window "$window" 340 $((height - 35)) click 1
wait_settled
shot 5_modes
xdotool mousemove --window "$window" 539 $((height - 126)) click 1
xdotool key Escape
wait_settled
shot 6_effort_changed
[ "$(sidecars)" = "$old_sidecars" ] || fail "pane A's sidecar started again for the new effort"
[ "$(claude_clis | sort | tr '\n' ' ')" = "$old_clis" ] || fail "pane A's Claude CLI started again for the new effort"
grid effort
echo "$e2e: after the Effort change $(grid_diff before effort) pixels of the conversation differ"
[ "$(grid_diff before effort)" -lt 200 ] || fail "pane A's conversation moved with the Effort change"
chip_shown || fail "the image chip is gone after the Effort change"

# The typed answer, submitted with Return in its box, reaches the model as typed.
xdotool mousemove --window "$window" 1100 $((height - 158)) click 1
xdotool key End Return
wait_for 60 asked 'PARTIAL-OTHER text' || fail "the half-typed answer did not reach the model"
wait_settled
# The draft, sent from its editor, reaches the model whole with its image.
xdotool mousemove --window "$window" 600 $((height - 72)) click 1
xdotool key ctrl+End Return
wait_for 60 asked 'DRAFT-ALPHA unsent words\\nsecond line' || fail "the draft did not reach the model whole"
python3 - "$work/claude-server.jsonl" <<'PY' || fail "the draft's image did not go with it"
import json, sys
for line in open(sys.argv[1]):
    if "DRAFT-ALPHA" not in line: continue
    body = json.loads(line)
    body = body.get("body", body)
    last = [m for m in body["messages"] if m["role"] == "user"][-1]
    if body.get("output_config", {}).get("effort") != "medium": sys.exit(f"asked at effort {body.get('output_config')}")
    if any(isinstance(c, dict) and c.get("type") == "image" for c in last["content"]): sys.exit(0)
sys.exit(1)
PY
wait_settled
shot 7_sent
quit_app
echo "$e2e: the draft, its chip, the typed answer and the reading position came back after six other workspaces and held through an Effort change, which the draft's request was asked at"
