#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server: a chat pane's unsent draft (two lines and a pasted
# image's chip) outlives every restart of the pane's agent: the CLI killed mid-turn and the stopped
# card's Restart, the pane menu's Restart session while idle, its Stop and the card's Restart, and
# Restart session mid-turn. After each the composer holds the same text and the chip; sent, the
# draft reaches the model whole with its image.
#
# Usage: chat_draft_restart_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=chat_draft_restart_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

# Two turns the model holds open (the agent at work while the draft is typed), each followed by
# the answer to the draft sent after it.
echo '[{"text": "Working on it", "hold": true}, {"text": "Got the draft."},
       {"text": "Working again", "hold": true}, {"text": "Got the second draft."}]' >"$work/claude.json"
server claude-server "$work/claude.json"
as_test_user "$port"
seed_chat_pane claude "$work/projects/web" False
start_app
read -r width height < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')
asked() { grep -qs "$1" "$work/claude-server.jsonl"; }
editor() { xdotool mousemove --window "$window" 600 $((height - 72)) click 1; }

# The draft: typed into the editor, and an image pasted, whose chip shows in the composer.
convert -size 64x40 xc:'#e07a2f' "$work/chip.png"
# While the agent works its row's spinner turns: only the composer is looked at to settle.
composer_settled() { settle_crop="900x200+230+$((height - 200))" wait_settled; }
write_draft() {  # <first line>
    editor
    composer_settled
    xdotool type --delay 20 "$1"
    xdotool key shift+Return
    xdotool type --delay 20 "second line"
    xclip -quiet -selection clipboard -t image/png -i "$work/chip.png" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 offers_png || fail "the image never reached the clipboard"
    xdotool key ctrl+v
    wait_for 20 chip_shown || { shot no_chip; fail "no image chip in the composer"; }
}
offers_png() { xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/png; }
chip_shown() {
    import -window "$window" -depth 8 -crop 900x260+230+$((height - 260)) +repage "$work/chip-area.ppm"
    python3 - "$work/chip-area.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
px = data.split(b"\n", 3)[3]
sys.exit(sum(1 for i in range(0, len(px), 3) if px[i:i + 3] == b"\xe0\x7a\x2f") < 200)
PY
}
# What the editor holds, read through the clipboard: a marker put there first, then the editor's
# text selected and copied over it.
clipboard_is() { [ "$(xclip -selection clipboard -o 2>/dev/null || true)" = "$1" ]; }
draft_is() {  # <first line>
    local want
    want=$(printf '%s\nsecond line' "$1")
    printf 'marker' | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 clipboard_is marker || fail "the clipboard took no marker"
    editor
    xdotool key ctrl+a ctrl+c
    wait_for 10 clipboard_is "$want" || { echo "$e2e: the composer holds: $(xclip -selection clipboard -o 2>/dev/null)" >&2; return 1; }
    xdotool key ctrl+End
}
kept() {  # <first line> <what ended the session>
    wait_for 30 some_sidecar || fail "$2: no sidecar started again"
    wait_settled
    draft_is "$1" || { shot "no_draft"; fail "$2: the draft's text is not in the composer"; }
    chip_shown || { shot "no_chip"; fail "$2: the draft's chip is not in the composer"; }
}
sent_whole() {  # <first line>
    editor
    xdotool key ctrl+End Return
    wait_for 60 asked "$1\\\\nsecond line" || fail "the draft did not reach the model whole"
    python3 - "$work/claude-server.jsonl" "$1" <<'PY' || fail "the draft's image did not go with it"
import json, sys
for line in open(sys.argv[1]):
    if sys.argv[2] not in line: continue
    body = json.loads(line)
    body = body.get("body", body)
    last = [m for m in body["messages"] if m["role"] == "user"][-1]
    if any(isinstance(c, dict) and c.get("type") == "image" for c in last["content"]): sys.exit(0)
sys.exit(1)
PY
}

# The agent at work; the draft typed meanwhile; then its CLI killed.
type_message "Start a long turn"
wait_for 60 asked "Start a long turn" || fail "the first message never reached the model"
write_draft "DRAFT-ONE words"
composer_settled
shot 1_draft_while_working
[ -n "$(claude_clis)" ] || fail "no Claude CLI runs for the pane"
kill -9 $(claude_clis)
wait_for 30 sidecars_are 0 || fail "the sidecar outlived its agent"
wait_for 10 find_restart_button >/dev/null || fail "no stopped card after the CLI died"
wait_settled
shot 2_stopped_card_with_draft
card_restart
kept "DRAFT-ONE words" "the CLI killed mid-turn"
shot 3_after_card_restart
pane_menu_entry 2  # Restart session
kept "DRAFT-ONE words" "Restart session while idle"
pane_menu_entry 6  # Stop
wait_for 10 find_restart_button >/dev/null || fail "no stopped card after Stop"
wait_settled
shot 4_stopped_by_the_user
card_restart
kept "DRAFT-ONE words" "Stop, then Restart"
sent_whole "DRAFT-ONE words"
wait_settled

# Restart session while the agent works on another turn.
type_message "Another long turn"
wait_for 60 asked "Another long turn" || fail "the third message never reached the model"
write_draft "DRAFT-TWO words"
pane_menu_entry 2
kept "DRAFT-TWO words" "Restart session mid-turn"
shot 5_after_restart_mid_turn
sent_whole "DRAFT-TWO words"
wait_settled
shot 6_sent
quit_app
echo "$e2e: the draft and its chip outlived a killed CLI, Restart session idle and mid-turn, and Stop; sent, both drafts arrived whole"
