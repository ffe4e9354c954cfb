#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server, a terminal pane beside the chat pane: the program
# holding the clipboard never freezes the window, whatever it does. An owner that answers nothing
# takes the clipboard: no stall of 200 ms (Qt's text fields each asked it for its types, 5 s apiece);
# Ctrl+V then: no stall, and a line comes that says it did not answer. Ctrl+V pressed 12 times
# against an owner that trickles 1 KB every 4 s, then the add-session sheet opened (a large fill,
# which the software renderer splits over Qt's shared pool): no stall of 200 ms. A word typed, a
# slow paste, Return at once: the message reaches the model with the paste. A middle click of a
# 50 MB primary selection: no stall of 200 ms, and it goes as an attachment. The window closed while
# a paste is read: the process ends within 2 s.
#
# Usage: paste_owners_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=paste_owners_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

echo '[]' >"$work/claude.json"
server claude-server "$work/claude.json"
as_test_user "$port"
seed_terminal_pane "$work/projects/web"
export BRINMOOR_STALL_LOG="$work/stalls.log"
E2E_STALL_MS=${E2E_STALL_MS:-200}
asked() { grep -qs "$1" "$work/claude-server.jsonl"; }

# <selection> hang | serve <file> <piece bytes> <delay ms>: the test's owner, once it holds the
# selection (a new one takes it from the last, which then ends).
owner() {
    "$build/tests/chat/x11/selection_owner" "$@" >"$work/owner.out" 2>&1 &
    pids+=($!)
    wait_for 10 grep -qs owner "$work/owner.out" || fail "the owner did not take $1"
}
# The composer's field, in the chat pane on the right, clicked so that keys go to it.
to_composer() { xdotool mousemove --window "$window" $((width * 3 / 4)) $((height - 72)) click 1; }
# The composer's part of the window differs from <picture> (a line came or went).
composer_changed() {
    import -window "$window" -crop "$composer_crop" "$work/now.rgb" 2>/dev/null
    ! cmp -s "$1" "$work/now.rgb"
}

start_app
add_chat_pane 2
wait_for 30 some_sidecar || fail "the pane's sidecar never started"
wait_settled
read -r width height < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')
composer_crop="$((width / 2))x160+$((width / 2))+$((height - 160))"

since=$(now_ms)
owner CLIPBOARD hang
wait_settled
stall_report "$since" "an owner that answers nothing takes the clipboard"
to_composer
wait_settled
import -window "$window" -crop "$composer_crop" "$work/before.rgb"
since=$(now_ms)
xdotool key ctrl+v
wait_for 20 composer_changed "$work/before.rgb" || { shot 0_nothing_showed; fail "nothing showed after Ctrl+V"; }
import -window "$window" -crop "$composer_crop" "$work/before.rgb"
# Waiting for the owner, then (5 s on) the line that it did not answer.
wait_for 20 composer_changed "$work/before.rgb" || fail "no line said that the owner did not answer"
wait_settled
shot 1_owner_did_not_answer
stall_report "$since" "Ctrl+V from an owner that answers nothing"

head -c 200000 /dev/zero | tr '\0' 'x' >"$work/trickle.txt"
owner CLIPBOARD serve "$work/trickle.txt" 1024 4000
since=$(now_ms)
for i in $(seq 12); do xdotool key ctrl+v; done
wait_settled
shot 2_paste_in_progress
xdotool key ctrl+shift+t
wait_settled
stall_report "$since" "12 pastes from an owner that trickles, then the add-session sheet"
xdotool key Escape
wait_settled

printf 'and the slow paste' >"$work/slow.txt"
owner CLIPBOARD serve "$work/slow.txt" 8 500
to_composer
since=$(now_ms)
xdotool type --delay 20 "Here comes "
xdotool key ctrl+v Return
wait_for 60 asked "Here comes and the slow paste" || fail "the message did not go with its paste"
stall_report "$since" "Return during a slow paste"
wait_settled

python3 -c "
import sys
line = b'middle click line of a long selection, ' * 2 + b'\n'
with open(sys.argv[1], 'wb') as f:
    f.write(line * (50_000_000 // len(line)))
" "$work/primary.txt"
owner PRIMARY serve "$work/primary.txt" 1048576 0
to_composer
wait_settled
since=$(now_ms)
xdotool click 2
wait_settled
shot 3_middle_click_chip
stall_report "$since" "a middle click of a 50 MB primary selection"
xdotool type --delay 20 "Middle"
xdotool key Return
wait_for 120 asked "Middle" || fail "the message with the middle click's paste did not go"
python3 - "$work/claude-server.jsonl" <<'PY' || fail "the 50 MB selection did not go as an attachment"
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    if "Middle" not in line:
        continue
    body = json.loads(line)["body"]
    last = [m for m in body["messages"] if m["role"] == "user"][-1]
    content = last["content"] if isinstance(last["content"], list) else [{"type": "text", "text": last["content"]}]
    size = sum(len(c.get("text", "")) for c in content)
    print(f"paste_owners_e2e: the middle click's message carried {size} characters")
    sys.exit(0 if size >= 49_000_000 else 1)
sys.exit(1)
PY
wait_settled

owner CLIPBOARD serve "$work/trickle.txt" 1024 4000
to_composer
xdotool key ctrl+v
wait_settled
closing=$(now_ms)
pid=$app
xdotool mousemove --window "$window" 22 18 click 1
wait_for 30 gone "$pid" || fail "the app did not end"
took=$(( $(now_ms) - closing ))
echo "$e2e: the window closed during a read; the process ended $took ms later"
[ "$took" -le "${E2E_QUIT_MS:-2000}" ] || fail "the process ended $took ms after the window closed during a read"
app=""
