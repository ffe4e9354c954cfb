#!/usr/bin/env bash
# End to end, real Claude and Codex CLIs against the fake servers, in the built app under X: a quit
# with ten chat panes (five Claude, five Codex) gives every server an agent left running its grace.
# Each pane's first turn starts a server that takes a second to close its files after SIGTERM
# (recording-server.py NAME 1); the window's close button then quits the app. Every server is
# asked with SIGTERM and finishes closing (none is killed within its second); prints how long the
# quit took, which does not grow with the number of panes.
#
# Usage: quit_panes_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=quit_panes_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

recorder="$src/tests/agent/fakes/recording-server.py"
python3 - "$work" "$recorder" <<'PY'
import json, sys
work, recorder = sys.argv[1:]
serve = lambda name: f"setsid -f python3 {recorder} {work}/{name} 1 >/dev/null 2>&1; echo started {name}"
claude, codex = [], []
for i in range(5):
    claude += [{"tool": {"name": "Bash", "input": {"command": serve(f"claude-{i}"), "description": "Start a server"}}},
               {"text": "Started it."}]
    codex += [{"call": {"name": "exec_command", "arguments": {"cmd": serve(f"codex-{i}")}}}, {"text": "Started it."}]
json.dump(claude, open(f"{work}/claude.json", "w"))
json.dump(codex, open(f"{work}/codex.json", "w"))
PY
server claude-server "$work/claude.json"
claude_port=$port
server openai-server "$work/codex.json"
as_test_user "$claude_port" "$port"
# Ten panes in one folder, Claude and Codex in turn; Codex in full access, Claude asking (it refuses
# to skip its permissions as root).
python3 - "$state" "$work/projects/web" <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))
s["workspaces"][0]["sessions"] = [{"autoApprove": i % 2 == 1, "autoCompact": True, "directory": sys.argv[2],
    "id": f"5E1F0A00-0000-4000-8000-0000000000{i:02X}", "kind": "chat", "muted": False, "project": "web",
    "provider": "codex" if i % 2 else "claude", "sessionLabel": f"session {i}"} for i in range(10)]
json.dump(s, open(sys.argv[1], "w"))
PY

start_app
shot 1_ten_panes
# The composers of the ten panes in the window's grid of three columns (sessions 0 to 9).
composers=(370,193 700,250 1040,250 370,365 700,479 1040,479 370,536 700,708 1040,708 370,708)
for i in "${!composers[@]}"; do
    xy=${composers[$i]}
    xdotool mousemove --window "$window" "${xy%,*}" "${xy#*,}" click 1
    wait_settled
    xdotool type --delay 20 "Start a server"
    xdotool key Return
    # One pane of each provider at a time: each fake hands out its replies in order.
    name=$([ $((i % 2)) = 0 ] && echo claude || echo codex)-$((i / 2))
    n=900
    until [ -e "$work/$name.port" ]; do
        if [ $((i % 2)) = 0 ] && read -r x y < <(find_amber_button); then xdotool mousemove --window "$window" "$x" "$y" click 1; fi
        ((n-- > 0)) || { shot never_served; fail "$name: the server never started; running: $(leftovers)"; }
        sleep 0.1
    done
done
# Every turn has had its second request (the command's result, answered "Started it.").
turns_done() { [ "$(wc -l <"$work/claude-server.jsonl")" -ge 10 ] && [ "$(wc -l <"$work/openai-server.jsonl")" -ge 10 ]; }
wait_for 60 turns_done || fail "the turns never ended"
wait_settled
shot 2_ten_servers

quit_at=$(date +%s%3N)
quit_app
took=$(($(date +%s%3N) - quit_at))
asked=$(ls "$work"/*.term 2>/dev/null | wc -l)
closed=$(ls "$work"/*.closed 2>/dev/null | wc -l)
echo "$e2e: quit with 10 chat panes took $took ms; $asked of 10 servers asked with SIGTERM, $closed finished closing"
[ "$asked" = 10 ] || fail "only $asked of 10 servers were asked to end: the others were killed outright"
[ "$closed" = 10 ] || fail "only $closed of 10 servers finished closing: the others were killed within their second"
echo "$e2e: passed"
